// The SQLite driver and its datasets on a disk that fails: every read, write,
// sync, lock, truncate and journal delete of a piece of work is failed in
// turn, and each time the error must reach the caller with SQLite's text and
// code, the session must stay truthful about its connection and transaction,
// a failed post must keep the user's values, and the file must end up whole
// and holding exactly what was committed.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/ZtlErrors.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "tests/drivers/sqlite/FaultVfs.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

using test::TFault;
using test::TFaultVfs;

constexpr int Rows = 40;

// The error a piece of work raised, as the caller sees it.
struct TRaised {
  std::string Type;    // dynamic type of the exception
  std::string Message; // its text
  std::int32_t Code;   // its ErrorCode (0 for one without)
};

// For the messages of failed expectations.
void PrintTo(const TRaised& R, std::ostream* Os) {
  *Os << R.Type << " (" << R.Code << "): " << R.Message;
}

// Runs Work and describes what it raised, if anything.
std::optional<TRaised> RaisedBy(const std::function<void()>& Work) {
  try {
    Work();
  } catch (const EZantrelException& E) {
    return TRaised{"EZantrelException", E.what(), E.GetErrorCode()};
  } catch (const EZantrelDatasetError& E) {
    return TRaised{"EZantrelDatasetError", E.what(), E.GetErrorCode()};
  } catch (const std::exception& E) {
    return TRaised{test::TypeNameOf(E), E.what(), 0};
  }
  return std::nullopt;
}

// SQLite's own sqlite3_get_autocommit, from the library the driver loaded,
// to see whether a transaction is really open on a connection.
bool LibraryInAutocommit(sqlite3* Db) {
  static auto* Fn = [] {
    void* Lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    return reinterpret_cast<decltype(&sqlite3_get_autocommit)>(
        Lib ? dlsym(Lib, "sqlite3_get_autocommit") : nullptr);
  }();
  return Fn && Fn(Db) != 0;
}

// What a piece of work may leave behind.
struct TWork {
  TZantrelSQLiteSession& Session;
  std::unique_ptr<TZantrelSQLiteQuery> Query; // the query it edits through, if any
  std::function<void()> OnFailure;            // checks of the state a failure must leave
  bool Retried = false;                       // OnFailure posted again, with success
  std::function<bool()> Unchanged;            // the file still holds the rows before the work

  TZantrelSQLiteQuery& Open(const std::string& SQL, bool Writable = true) {
    Query = std::make_unique<TZantrelSQLiteQuery>();
    Query->SetSession(&Session);
    Query->GetSQL()->SetText(SQL);
    Query->SetReadOnly(!Writable);
    Query->Open();
    return *Query;
  }
};

// One piece of work and what the table holds once it succeeded.
struct TScenario {
  const char* Name;
  std::function<void(TWork&)> Run;
  std::function<void(std::vector<std::string>&)> Expect; // turns the rows before into those after
};

// Row text of the table as the snapshot keeps it.
std::string RowText(std::int64_t Id, const std::string& S, const std::string& Blob) {
  return std::to_string(Id) + "|" + S + "|" + Blob;
}

// A blob as the snapshot shows it: its length and its first bytes in hex.
std::string BlobText(const std::string& Bytes) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Out = std::to_string(Bytes.size()) + ":";
  for (const unsigned char C : Bytes.substr(0, 8)) {
    Out += Digits[C >> 4];
    Out += Digits[C & 15];
  }
  return Out;
}

// Posts the record Q holds. A failed post must leave it in State with the
// values typed (Kept says so); once the disk is back, with Retry, the same
// post goes through. (A post whose write was saved before a later step
// failed, reading the row back, is not posted twice.)
void Post(TWork& W, TZantrelSQLiteQuery& Q, TDataSetState State, const std::function<bool()>& Kept,
          bool Retry = true) {
  W.OnFailure = [&W, &Q, State, Kept, Retry] {
    EXPECT_EQ(Q.State(), State);
    EXPECT_TRUE(Kept());
    if (Retry && W.Unchanged()) {
      Q.Post();
      W.Retried = true;
    }
  };
  Q.Post();
  W.OnFailure = nullptr;
}

// Edits the field S of the row Id through the query and posts it.
void EditAndPost(TWork& W, TZantrelSQLiteQuery& Q, int Id, const std::string& Value,
                 bool Retry = true) {
  ASSERT_TRUE(Q.Locate("ID", Id, {}));
  Q.Edit();
  Q.FieldByName("S")->SetAsString(Value);
  Post(
      W, Q, dsEdit, [&Q, Value] { return Q.FieldByName("S")->GetAsString() == Value; }, Retry);
}

void Replace(std::vector<std::string>& Rows, int Id, const std::string& S) {
  const std::string Prefix = std::to_string(Id) + "|";
  for (auto& R : Rows)
    if (R.starts_with(Prefix)) {
      const auto Blob = R.substr(R.rfind('|') + 1);
      R = RowText(Id, S, Blob);
    }
}

const std::string BigBlob(20000, '\x5a');

const std::vector<TScenario>& Scenarios() {
  static const std::vector<TScenario> All = {
      {"connect", [](TWork&) {}, [](auto&) {}},
      {"scroll",
       [](TWork& W) {
         auto& Q = W.Open("SELECT * FROM T ORDER BY ID", false);
         Q.Last();
         EXPECT_EQ(Q.FieldByName("ID")->GetAsInteger(), Rows);
         int Seen = 0;
         for (Q.First(); !Q.Eof(); Q.Next())
           ++Seen;
         EXPECT_EQ(Seen, Rows);
       },
       [](auto&) {}},
      {"edit and post",
       [](TWork& W) { EditAndPost(W, W.Open("SELECT * FROM T ORDER BY ID"), 7, "edited"); },
       [](auto& R) { Replace(R, 7, "edited"); }},
      {"insert",
       [](TWork& W) {
         auto& Q = W.Open("SELECT * FROM T ORDER BY ID");
         Q.Append();
         Q.FieldByName("ID")->SetAsInteger(100);
         Q.FieldByName("S")->SetAsString("added");
         Post(W, Q, dsInsert, [&Q] {
           return Q.FieldByName("ID")->GetAsInteger() == 100 &&
                  Q.FieldByName("S")->GetAsString() == "added";
         });
       },
       [](auto& R) { R.push_back(RowText(100, "added", "")); }},
      {"delete",
       [](TWork& W) {
         auto& Q = W.Open("SELECT * FROM T ORDER BY ID");
         // The row with the long blob: deleting it frees pages, which
         // auto-vacuum gives back by truncating the file.
         ASSERT_TRUE(Q.Locate("ID", 20, {}));
         Q.Delete();
       },
       [](auto& R) { R.erase(R.begin() + 19); }},
      {"blob write",
       [](TWork& W) {
         auto& Q = W.Open("SELECT * FROM T ORDER BY ID");
         ASSERT_TRUE(Q.Locate("ID", 3, {}));
         Q.Edit();
         Q.FieldByName("BL")->SetAsString(BigBlob);
         Post(W, Q, dsEdit, [&Q] { return Q.FieldByName("BL")->GetAsString() == BigBlob; });
       },
       [](auto& R) { R[2] = RowText(3, "row 3", BlobText(BigBlob)); }},
      {"commit",
       [](TWork& W) {
         W.Session.StartTransaction();
         auto& Q = W.Open("SELECT * FROM T ORDER BY ID");
         // A post that failed inside the transaction is not tried again:
         // SQLite may have rolled the whole transaction back.
         EditAndPost(W, Q, 1, "first", false);
         EditAndPost(W, Q, Rows, "last", false);
         W.Session.Commit();
       },
       [](auto& R) {
         Replace(R, 1, "first");
         Replace(R, Rows, "last");
       }},
  };
  return All;
}

class SQLiteFaults : public ::testing::TestWithParam<TFault> {
protected:
  void SetUp() override { TFaultVfs::Register(); }

  // A fresh database of Rows rows at Path. Auto-vacuum makes a delete shrink
  // the file, so that truncation is part of the work too.
  void Seed() {
    std::filesystem::remove(Path);
    TZantrelSQLiteSession S;
    S.SetDatabaseName(Path);
    S.Open();
    ASSERT_TRUE(
        S.Execute("PRAGMA auto_vacuum = FULL;"
                  "CREATE TABLE T (ID integer primary key, S varchar(40), BL blob);"
                  "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N "
                  "WHERE I < 40) INSERT INTO T SELECT I, 'row ' || I, "
                  "CASE WHEN I = 20 THEN zeroblob(20000) WHEN I % 2 = 0 THEN zeroblob(300) END "
                  "FROM N"))
        << S.GetLastError();
  }

  // The rows of T in key order, read without the fault VFS, after SQLite's
  // own check of the file found nothing wrong.
  std::vector<std::string> Snapshot() {
    TZantrelSQLiteSession S;
    S.SetDatabaseName(Path);
    S.Open();
    TZantrelSQLiteQuery Q;
    Q.SetSession(&S);
    Q.GetSQL()->SetText("PRAGMA integrity_check");
    Q.Open();
    EXPECT_EQ(Q.FieldByName("integrity_check")->GetAsString(), "ok");
    Q.Close();
    Q.GetSQL()->SetText("SELECT ID, S, length(BL) || ':' || hex(substr(BL, 1, 8)) AS H "
                        "FROM T ORDER BY ID");
    Q.Open();
    std::vector<std::string> Out;
    for (; !Q.Eof(); Q.Next())
      Out.push_back(RowText(Q.FieldByName("ID")->GetAsLargeInt(), Q.FieldByName("S")->GetAsString(),
                            Q.FieldByName("H")->GetAsString()));
    return Out;
  }

  test::TTempDir Dir{"ztl-faults"};
  std::string Path = Dir.File("faults.db");
};

TEST_P(SQLiteFaults, EveryFailedOperationIsReportedAndLosesNothing) {
  const TFault Kind = GetParam();
  const int Primary = test::FaultResultCode(Kind) & 0xff;
  int Delivered = 0;
  for (const auto& Scenario : Scenarios()) {
    int Fired = 0;
    for (int N = 1; N < 500; ++N) {
      SCOPED_TRACE(std::string(Scenario.Name) + ", fault at call " + std::to_string(N));
      Seed();
      auto Before = Snapshot();
      auto After = Before;
      Scenario.Expect(After);

      TZantrelSQLiteSession Session;
      Session.SetDatabaseName(TFaultVfs::Uri(Path));
      TWork Work{Session, nullptr, nullptr, false, [&] { return Snapshot() == Before; }};
      TFaultVfs::Arm(Kind, N);
      const auto Raised = RaisedBy([&] {
        Session.Open();
        Scenario.Run(Work);
      });
      TFaultVfs::Disarm();
      const bool Hit = TFaultVfs::Fired();
      SCOPED_TRACE(Raised ? Raised->Type + ": " + Raised->Message : "no error raised");

      if (Raised) {
        ASSERT_TRUE(Hit) << "error without a fault: " << Raised->Message;
        EXPECT_TRUE(Raised->Type == "EZantrelException" || Raised->Type == "EZantrelDatasetError")
            << Raised->Type << ": " << Raised->Message;
        // SQLite's own text and its extended code, negated; or, when the
        // fault struck a read whose error waits for the row it concerns, the
        // news that SQLite rolled the transaction back because of it.
        if (Raised->Message == SZtlTransactionLost) {
          EXPECT_EQ(Raised->Code, -SQLITE_ABORT_ROLLBACK);
        } else {
          EXPECT_EQ(-Raised->Code & 0xff, Primary) << Raised->Message;
          EXPECT_NE(Raised->Message.find(Primary == SQLITE_FULL ? "full" : "I/O error"),
                    std::string::npos)
              << Raised->Message;
        }
        if (Work.OnFailure) {
          EXPECT_EQ(RaisedBy(Work.OnFailure), std::nullopt);
        }
      }
      if (Session.GetConnected()) {
        // No transaction is left open behind the session's back. One that
        // SQLite rolled back on its own stays the application's to end: its
        // commit must not pass the lost work off as saved.
        const bool Open = !LibraryInAutocommit(Session.GetDatabase());
        if (!Session.GetInTransaction()) {
          EXPECT_FALSE(Open);
        } else {
          if (!Open) {
            EXPECT_EQ(test::MessageOf([&] { Session.Commit(); }), SZtlTransactionLost);
          }
          Session.Rollback();
        }
        // The connection still answers once the disk is back.
        Work.Query.reset();
        TZantrelSQLiteQuery Count;
        Count.SetSession(&Session);
        Count.GetSQL()->SetText("SELECT count(*) AS N FROM T");
        EXPECT_EQ(RaisedBy([&] { Count.Open(); }), std::nullopt);
      }
      Work.Query.reset();
      Session.Close();

      const auto Now = Snapshot();
      if (!Raised || Work.Retried)
        EXPECT_EQ(Now, After);
      else
        EXPECT_TRUE(Now == Before || Now == After);
      if (!Hit)
        break;
      ++Fired;
    }
    // Every piece of work reads; a sweep that never met its fault proved
    // nothing.
    if (Kind == TFault::Read) {
      EXPECT_GT(Fired, 0) << Scenario.Name;
    }
    Delivered += Fired;
  }
  EXPECT_GT(Delivered, 0);
}

INSTANTIATE_TEST_SUITE_P(, SQLiteFaults,
                         ::testing::Values(TFault::Read, TFault::Write, TFault::Sync, TFault::Lock,
                                           TFault::Truncate, TFault::Delete, TFault::DiskFull),
                         [](const auto& Info) {
                           std::string Name = test::FaultName(Info.param);
                           std::erase(Name, ' ');
                           return Name;
                         });

} // namespace
} // namespace ztl::testing
