// Shared set-up of the SQLite driver's tests: a throw-away directory, a
// connected session on a database file in it, and a cursor on that session.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "drivers/sqlite/ZtlSQLite.h"

namespace ztl::testing {

// A directory that exists for the life of the object.
class TTempDir {
public:
  TTempDir() {
    std::string Pattern = (std::filesystem::temp_directory_path() / "ztl-sqlite-XXXXXX").string();
    if (!mkdtemp(Pattern.data()))
      throw std::runtime_error("mkdtemp failed");
    Path = Pattern;
  }
  ~TTempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path, Ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string File(const std::string& Name) const { return (Path / Name).string(); }

private:
  std::filesystem::path Path;
};

// A session connected to a fresh database file and one cursor on it.
class SQLiteTest : public ::testing::Test {
protected:
  void SetUp() override {
    Session = std::make_unique<TZantrelSQLiteSession>();
    Session->SetDatabaseName(Dir.File("test.db"));
    Session->Open();
    // Test files need no durability; without it every commit is an fsync.
    Exec("PRAGMA synchronous = OFF");
    Cursor = NewCursor();
  }

  std::unique_ptr<TZantrelSQLiteSQL> NewCursor() {
    auto C = std::make_unique<TZantrelSQLiteSQL>();
    C->SetSession(Session.get());
    return C;
  }

  void Exec(const std::string& SQL) {
    ASSERT_TRUE(Session->Execute(SQL)) << Session->GetLastError();
  }

  TZantrelSQLiteStatistics& Stats() { return Session->GetStatistics(); }

  TTempDir Dir;
  std::unique_ptr<TZantrelSQLiteSession> Session;
  std::unique_ptr<TZantrelSQLiteSQL> Cursor; // destroyed before the session
};

} // namespace ztl::testing
