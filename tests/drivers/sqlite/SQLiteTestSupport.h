// Shared set-up of the SQLite driver's tests: a throw-away directory, a
// connected session on a database file in it, and a cursor on that session.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "drivers/sqlite/ZtlSQLite.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {

using test::TTempDir;

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

  TTempDir Dir{"ztl-sqlite"};
  std::unique_ptr<TZantrelSQLiteSession> Session;
  std::unique_ptr<TZantrelSQLiteSQL> Cursor; // destroyed before the session
};

} // namespace ztl::testing
