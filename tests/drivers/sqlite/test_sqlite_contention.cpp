// The SQLite driver against what other programs and the file system do to a
// database: another process holding the write lock, files and directories
// that cannot be written, and files whose bytes were damaged.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/ZtlConsts.h"
#include "core/ZtlErrors.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "tests/drivers/sqlite/FaultVfs.h"
#include "tests/support/DriverErrors.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

using test::MessageOf;
using test::TFaultVfs;

using test::ErrorCodeOf;

// Another process that holds the write lock of a database file until it is
// told to let go: it begins an immediate transaction, changes a row in it,
// and rolls it back on Release (or when this object goes).
class TLockHolder {
public:
  explicit TLockHolder(const std::string& Path) {
    int Ready[2], Go[2];
    if (pipe(Ready) != 0 || pipe(Go) != 0)
      throw std::runtime_error("pipe");
    Child = fork();
    if (Child == 0) {
      close(Ready[0]);
      close(Go[1]);
      char Byte = 0;
      {
        TZantrelSQLiteSession S;
        S.SetDatabaseName(Path);
        S.Open();
        Byte = S.Execute("BEGIN IMMEDIATE; UPDATE T SET S = 'theirs' WHERE ID = 1") ? 1 : 0;
        (void)!write(Ready[1], &Byte, 1);
        (void)!read(Go[0], &Byte, 1);
        S.Execute("ROLLBACK");
      }
      // The copy of the test program must not run the tests' exit code.
      _exit(0);
    }
    close(Ready[1]);
    close(Go[0]);
    ToChild = Go[1];
    char Byte = 0;
    const bool Locked = read(Ready[0], &Byte, 1) == 1 && Byte == 1;
    close(Ready[0]);
    if (!Locked) {
      Release();
      throw std::runtime_error("the other process could not take the write lock");
    }
  }
  ~TLockHolder() { Release(); }

  void Release() {
    if (Child <= 0)
      return;
    const char Byte = 1;
    (void)!write(ToChild, &Byte, 1);
    close(ToChild);
    int Status = 0;
    waitpid(Child, &Status, 0);
    Child = -1;
  }

private:
  pid_t Child = -1; // the process holding the lock, -1 once it ended
  int ToChild = -1; // write end of the pipe that tells it to let go
};

class SQLiteContention : public ::testing::Test {
protected:
  void SetUp() override {
    TZantrelSQLiteSession S;
    S.SetDatabaseName(Path);
    S.Open();
    ASSERT_TRUE(S.Execute("CREATE TABLE T (ID integer primary key, S varchar(20));"
                          "INSERT INTO T VALUES (1, 'one'), (2, 'two')"))
        << S.GetLastError();
  }

  std::unique_ptr<TZantrelSQLiteSession> Connect(const std::string& Name, std::int32_t Busy = 0) {
    auto S = std::make_unique<TZantrelSQLiteSession>();
    S->SetDatabaseName(Name);
    S->SetBusyTimeout(Busy);
    S->Open();
    return S;
  }
  std::unique_ptr<TZantrelSQLiteQuery> Writable(TZantrelSQLiteSession& S) {
    auto Q = std::make_unique<TZantrelSQLiteQuery>();
    Q->SetSession(&S);
    Q->GetSQL()->SetText("SELECT * FROM T ORDER BY ID");
    Q->SetReadOnly(false);
    Q->Open();
    return Q;
  }
  // The value of S in row Id, read by a connection of its own.
  std::string Stored(int Id) {
    auto S = Connect(Path);
    TZantrelSQLiteQuery Q;
    Q.SetSession(S.get());
    Q.GetSQL()->SetText("SELECT S FROM T WHERE ID = " + std::to_string(Id));
    Q.Open();
    return Q.FieldByName("S")->GetAsString();
  }

  test::TTempDir Dir{"ztl-contention"};
  std::string Path = Dir.File("shared.db");
};

// While another process writes, a post waits BusyTimeout, then fails as
// busy with the record still in edit and a transaction still open; once the
// lock is gone the same post goes through. Reading is not blocked by the
// writer.
TEST_F(SQLiteContention, APostWaitsForTheLockThenFailsAsBusyAndCanBeRetried) {
  for (const bool InTransaction : {false, true}) {
    SCOPED_TRACE(InTransaction ? "in a transaction" : "on its own");
    auto Session = Connect(Path, 300);
    auto Q = Writable(*Session);
    if (InTransaction)
      Session->StartTransaction();
    Q->Edit();
    Q->FieldByName("S")->SetAsString("mine");

    TLockHolder Other(Path);
    EXPECT_EQ(Stored(1), "one");
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorCodeOf([&] { Q->Post(); }) & 0xff, -SQLITE_BUSY & 0xff);
    EXPECT_EQ(Session->GetLastSQLState(), ""); // SQLite has no SQLSTATE
    // Inside a transaction that has read already, waiting could only end
    // in a deadlock with the other writer, so SQLite fails at once.
    if (!InTransaction) {
      EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(250));
    }
    EXPECT_EQ(Session->GetLastError(), "database is locked");
    EXPECT_EQ(Q->State(), dsEdit);
    EXPECT_EQ(Q->FieldByName("S")->GetAsString(), "mine");
    EXPECT_EQ(Session->GetInTransaction(), InTransaction);

    Other.Release();
    EXPECT_EQ(Stored(1), "one"); // nothing was written by the failed post
    Q->Post();
    if (InTransaction)
      Session->Commit();
    EXPECT_EQ(Stored(1), "mine");
    Q->Edit();
    Q->FieldByName("S")->SetAsString("one");
    Q->Post();
  }
}

// A change another connection makes between Edit and Post is not written
// over: the post is refused like the edit would have been, and goes through
// once the record is edited again from the row as it is now.
TEST_F(SQLiteContention, APostDoesNotOverwriteAChangeMadeAfterTheEdit) {
  auto Session = Connect(Path);
  auto Other = Connect(Path);
  auto Q = Writable(*Session);
  Q->Edit();
  Q->FieldByName("S")->SetAsString("mine");
  ASSERT_TRUE(Other->Execute("UPDATE T SET S = 'theirs' WHERE ID = 1"));
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Q->Post(); }), LoadZtlStr(SZtlRowChanged));
  EXPECT_EQ(Q->State(), dsEdit);
  EXPECT_EQ(Q->FieldByName("S")->GetAsString(), "mine");
  EXPECT_EQ(Stored(1), "theirs");
  Q->Cancel();
  Q->Refresh();
  Q->Edit();
  Q->FieldByName("S")->SetAsString("mine");
  Q->Post();
  EXPECT_EQ(Stored(1), "mine");
  // A change to another row of the table is no reason to refuse.
  ASSERT_TRUE(Other->Execute("UPDATE T SET S = 'second' WHERE ID = 2"));
  Q->Edit();
  Q->FieldByName("S")->SetAsString("mine again");
  Q->Post();
  EXPECT_EQ(Stored(1), "mine again");
}

TEST_F(SQLiteContention, WithoutBusyTimeoutALockedDatabaseFailsAtOnce) {
  auto Session = Connect(Path, 0);
  TLockHolder Other(Path);
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Session->Execute("INSERT INTO T VALUES (3, 'three')"));
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
  EXPECT_EQ(Session->GetLastError(), "database is locked");
  EXPECT_EQ(Session->GetLastErrorCode() & 0xff, -SQLITE_BUSY & 0xff);
  Other.Release();
  EXPECT_TRUE(Session->Execute("INSERT INTO T VALUES (3, 'three')")) << Session->GetLastError();
  EXPECT_EQ(Stored(3), "three");
}

// Files that cannot be written: reading works and every kind of write fails
// with SQLite's reason, the record staying in edit and the file unchanged.
TEST_F(SQLiteContention, ReadOnlyFilesAndDirectoriesAreReadableButRefuseWrites) {
  TFaultVfs::Register();
  const struct {
    const char* What;
    std::function<void()> Apply; // makes the file or its directory read-only
    std::function<void()> Undo;
    const char* Says; // a word of SQLite's message
  } Cases[] = {
      {"read-only connection", [] {}, [] {}, "readonly"},
      {"read-only file", [] { TFaultVfs::SetReadOnlyFiles(true); },
       [] { TFaultVfs::SetReadOnlyFiles(false); }, "readonly"},
      {"read-only directory", [] { TFaultVfs::SetReadOnlyDirectory(true); },
       [] { TFaultVfs::SetReadOnlyDirectory(false); }, "open"},
      {"read-only file, by its permissions", [&] { chmod(Path.c_str(), 0444); },
       [&] { chmod(Path.c_str(), 0644); }, "readonly"},
      {"read-only directory, by its permissions", [&] { chmod(Dir.Path().c_str(), 0555); },
       [&] { chmod(Dir.Path().c_str(), 0755); }, "open"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    const bool ByPermissions = std::string(Case.What).find("permissions") != std::string::npos;
    if (ByPermissions && geteuid() == 0)
      continue; // root writes whatever the permissions say
    Case.Apply();
    TZantrelSQLiteSession Session;
    Session.SetDatabaseName(ByPermissions ? Path : TFaultVfs::Uri(Path));
    Session.SetReadOnly(std::string(Case.What) == "read-only connection");
    EXPECT_EQ(MessageOf([&] { Session.Open(); }), "");
    auto Q = Writable(Session);
    Q->Last();
    EXPECT_EQ(Q->FieldByName("S")->GetAsString(), "two");
    Q->Edit();
    Q->FieldByName("S")->SetAsString("changed");
    const std::string Why = MessageOf([&] { Q->Post(); });
    EXPECT_NE(Why.find(Case.Says), std::string::npos) << Why;
    EXPECT_EQ(Q->State(), dsEdit);
    EXPECT_EQ(Q->FieldByName("S")->GetAsString(), "changed");
    Q->Cancel();
    EXPECT_NE(MessageOf([&] { Q->Delete(); }), "");
    EXPECT_FALSE(Session.Execute("INSERT INTO T VALUES (9, 'nine')"));
    EXPECT_LT(Session.GetLastErrorCode(), 0);
    Q.reset();
    Session.Close();
    Case.Undo();
    EXPECT_EQ(Stored(2), "two");
    EXPECT_EQ(Stored(9), ""); // no such row
  }
}

// A file written by another program need not hold what its columns
// declare: each value either reads as some value of the field's type or
// fails with the library's error naming the column.
TEST_F(SQLiteContention, StoredValuesThatContradictTheirDeclaredTypesFailCleanly) {
  const struct {
    const char* Declared;
    const char* Stored; // SQL literal
  } Cases[] = {
      {"integer", "'abc'"},
      {"integer", "'12abc'"},
      {"integer", "9.5"},
      {"integer", "x'00ff'"},
      {"integer", "1e300"},
      {"int", "'99999999999999999999'"},
      {"date", "'not a date'"},
      {"date", "'2024-13-45'"},
      {"date", "'0000-00-00'"},
      {"date", "12345"},
      {"date", "x'01'"},
      {"datetime", "'2024-02-30 25:61:61'"},
      {"datetime", "''"},
      {"time", "'24:00:00.000'"},
      {"time", "'99:99'"},
      {"boolean", "'yes'"},
      {"boolean", "2"},
      {"numeric(10,2)", "'x'"},
      {"numeric(10,2)", "1e300"},
      {"varchar(4)", "'much longer than four'"},
      {"binary(4)", "x'0102030405060708'"},
      {"real", "'text'"},
      {"blob", "zeroblob(8388608)"},
  };
  auto Session = Connect(Path);
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Declared) + " holding " + Case.Stored);
    ASSERT_TRUE(Session->Execute(std::string("DROP TABLE IF EXISTS V; CREATE TABLE V (ID integer "
                                             "primary key, X ") +
                                 Case.Declared + "); INSERT INTO V VALUES (1, 1), (2, " +
                                 Case.Stored + "), (3, 3)"))
        << Session->GetLastError();
    TZantrelSQLiteQuery Q;
    Q.SetSession(Session.get());
    Q.GetSQL()->SetText("SELECT * FROM V ORDER BY ID");
    const std::string Error = MessageOf([&] {
      Q.Open();
      for (Q.First(); !Q.Eof(); Q.Next()) {
        const std::string Text = MessageOf([&] { (void)Q.FieldByName("X")->GetAsString(); });
        EXPECT_FALSE(Text.starts_with("unexpected")) << Text;
      }
    });
    EXPECT_FALSE(Error.starts_with("unexpected")) << Error;
    if (!Error.empty()) {
      EXPECT_NE(Error.find("\"X\""), std::string::npos) << Error;
    }
  }
}

// Damaged files, made from a sound one by overwriting a few bytes at random
// places (the same places every run): opening and reading each ends in a
// result or in the library's error, never in a crash or a hang.
TEST_F(SQLiteContention, DamagedFilesGiveErrorsNotCrashes) {
  {
    auto S = Connect(Path);
    ASSERT_TRUE(S->Execute("CREATE INDEX TS ON T(S);"
                           "CREATE TABLE U (K text primary key, V blob, D date);"
                           "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N "
                           "WHERE I < 300) INSERT INTO U SELECT 'key' || I, randomblob(I * 7), "
                           "'2024-01-01' FROM N"));
  }
  std::vector<char> Sound;
  {
    std::ifstream In(Path, std::ios::binary);
    Sound.assign(std::istreambuf_iterator<char>(In), {});
  }
  ASSERT_GT(Sound.size(), 4096u);
  std::mt19937 Random(20261208);
  const std::string Damaged = Dir.File("damaged.db");
  int Refused = 0;
  for (int Round = 0; Round < 60; ++Round) {
    std::vector<char> Bytes = Sound;
    // Now and then the header too; mostly the pages, where damage hides.
    const std::size_t From = Round % 10 == 0 ? 0 : 100;
    std::uniform_int_distribution<std::size_t> Where(From, Bytes.size() - 1);
    const int Flips = 1 + Round % 8;
    for (int K = 0; K < Flips; ++K)
      Bytes[Where(Random)] = static_cast<char>(Random());
    {
      std::ofstream Out(Damaged, std::ios::binary | std::ios::trunc);
      Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    }
    SCOPED_TRACE("round " + std::to_string(Round));
    TZantrelSQLiteSession Session;
    Session.SetDatabaseName(Damaged);
    Session.SetBusyTimeout(0);
    bool Failed = false;
    for (const char* SQL :
         {"SELECT * FROM T ORDER BY ID", "SELECT * FROM U ORDER BY K DESC",
          "SELECT count(*) FROM U WHERE length(V) > 100", "PRAGMA integrity_check"}) {
      const std::int32_t Code = ErrorCodeOf([&] {
        Session.Open();
        TZantrelSQLiteQuery Q;
        Q.SetSession(&Session);
        Q.GetSQL()->SetText(SQL);
        Q.Open();
        for (Q.First(); !Q.Eof(); Q.Next())
          for (int F = 0; F < Q.FieldCount(); ++F)
            (void)Q.Fields()[F]->GetAsVariant();
      });
      EXPECT_LE(Code, 0) << SQL; // the library's own error, or none
      Failed = Failed || Code < 0;
    }
    Refused += Failed ? 1 : 0;
  }
  // Most damage is found: a sweep that finds none did not damage anything.
  EXPECT_GT(Refused, 0);
}

} // namespace
} // namespace ztl::testing
