// Forward-only scans on PostgreSQL: rows read in batches through a server
// cursor that survives the application's commits, leaves the connection free
// for other statements, never takes a transaction down when it is closed, and
// refuses to go back to rows it let go.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ZtlConsts.h"
#include "drivers/postgres/PgMarkers_p.h"
#include "tests/drivers/postgres/PgTestSupport.h"
#include "tests/support/DriverErrors.h"

namespace ztl::testing {
namespace {

using test::SQLStateOf;

constexpr int Total = 1000; // rows of the table
constexpr int Batch = 25;   // the cursors' MaxFetchCount

TEST(PgDeclarableTest, OnlyQueriesGetAServerCursor) {
  const struct {
    const char* Text;
    bool Declarable;
  } Cases[] = {
      {"SELECT a FROM t", true},
      {"  /* c */ select 1", true},
      {"VALUES (1), (2)", true},
      {"TABLE t", true},
      {"WITH c AS (SELECT 1) SELECT * FROM c", true},
      {"WITH RECURSIVE c(n) AS (VALUES (1) UNION ALL SELECT n + 1 FROM c) SELECT n FROM c", true},
      {"WITH d AS (SELECT 1) DELETE FROM t RETURNING *", false},
      {"INSERT INTO t VALUES (1) RETURNING a", false},
      {"SHOW search_path", false},
      {"(SELECT 1)", false},
      {"SELECT 1; SELECT 2", false},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(PgDeclarable(C.Text), C.Declarable) << C.Text;
}

class PgScanTest : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped())
      return;
    Exec("DROP TABLE IF EXISTS scan; CREATE TABLE scan (id int primary key, name text); "
         "INSERT INTO scan SELECT g, 'row ' || g FROM generate_series(1, " +
         std::to_string(Total) + ") g");
  }
  std::unique_ptr<TZantrelPgSQL> Scanner() {
    auto C = std::make_unique<TZantrelPgSQL>();
    C->SetSession(Session.get());
    C->SetUniDirectional(true);
    C->SetMaxFetchCount(Batch);
    return C;
  }
  // Reads on from the current row to the end; the ids seen, in order.
  static std::vector<int> ReadRest(TZantrelPgSQL& C) {
    std::vector<int> Ids;
    if (C.GetEof())
      return Ids;
    do
      Ids.push_back(C.GetFieldValue(Variant("id")).AsInteger());
    while (C.FetchNext());
    return Ids;
  }
  int ServerCursors() {
    TZantrelPgSQL Count;
    Count.SetSession(Session.get());
    EXPECT_TRUE(Count.OpenRead("SELECT count(*) AS n FROM pg_cursors WHERE is_holdable"));
    return Count.GetFieldValue(Variant("n")).AsInteger();
  }
  static std::vector<int> Sequence(int From, int To) {
    std::vector<int> Ids;
    for (int I = From; I <= To; ++I)
      Ids.push_back(I);
    return Ids;
  }
};

// Every shape of query and parameter reads all its rows, in order, in
// batches; a query the server will not hold a cursor for reads them all
// the usual way, inside a transaction too.
TEST_F(PgScanTest, EveryRowArrivesInOrderOneBatchAtATime) {
  const struct {
    const char* Text;
    std::vector<Variant> Params;
    bool Batched;
  } Cases[] = {
      {"SELECT id, name FROM scan ORDER BY id", {}, true},
      {"SELECT id FROM scan WHERE id <= :last ORDER BY id", {Variant(Total)}, true},
      {"SELECT id FROM scan WHERE name LIKE ? ORDER BY id", {Variant("row %")}, true},
      {"WITH s AS (SELECT id FROM scan) SELECT id FROM s ORDER BY id", {}, true},
      {"SELECT id, name FROM scan ORDER BY id FOR UPDATE", {}, false},
  };
  for (const bool InTransaction : {false, true}) {
    for (const auto& C : Cases) {
      SCOPED_TRACE(std::string(C.Text) + (InTransaction ? " (in a transaction)" : ""));
      if (InTransaction)
        Session->StartTransaction();
      auto Cursor = Scanner();
      Session->ResetStatistics();
      ASSERT_TRUE(Cursor->OpenRead(C.Text, C.Params)) << Session->GetLastError();
      EXPECT_EQ(ReadRest(*Cursor), Sequence(1, Total));
      EXPECT_EQ(Cursor->GetRecordCount(), Total);
      // Full batches, then the one that finds the end.
      EXPECT_EQ(Stats().Batches, C.Batched ? Total / Batch + 1 : 0);
      Cursor->Close();
      if (InTransaction) {
        Exec("INSERT INTO scan VALUES (" + std::to_string(Total + 1) + ", 'still usable')");
        Session->Rollback();
      }
    }
  }
}

TEST_F(PgScanTest, RowsLetGoCannotBeReachedAgain) {
  auto Cursor = Scanner();
  ASSERT_TRUE(Cursor->OpenRead("SELECT id FROM scan ORDER BY id"));
  for (int I = 1; I < Batch + 5; ++I)
    ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetFieldValue(Variant("id")).AsInteger(), Batch + 5);
  // Back within the batch at hand is fine; before it is not.
  ASSERT_TRUE(Cursor->FetchPrior());
  EXPECT_EQ(Cursor->GetFieldValue(Variant("id")).AsInteger(), Batch + 4);
  const std::string Refused = LoadZtlStr(ZTL_ERR_CURS_BI_NOT_SUPP);
  for (const auto& Move : std::vector<std::function<bool()>>{
           [&] { return Cursor->MoveToFirst(); }, [&] { return Cursor->MoveTo(3); },
           [&] {
             Cursor->MoveTo(Batch);
             return Cursor->FetchPrior();
           }}) {
    EXPECT_FALSE(Move());
    EXPECT_EQ(Session->GetLastError(), Refused);
  }
  // Forward moves read on; the last row is where the rows end.
  ASSERT_TRUE(Cursor->MoveTo(Total - 10));
  ASSERT_TRUE(Cursor->FetchCurrent());
  EXPECT_EQ(Cursor->GetFieldValue(Variant("id")).AsInteger(), Total - 9);
  EXPECT_TRUE(Cursor->MoveToLast());
  EXPECT_FALSE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetRecordCount(), Total);
}

// A scan is held across the application's commits, and across rollbacks of
// transactions begun after it; other statements run on the session while it
// is open. A rollback of the transaction that declared it ends it on the
// server, and the next fetch says so.
TEST_F(PgScanTest, AnOpenScanOutlivesTransactionsAndLeavesTheConnectionFree) {
  const struct {
    const char* Name;
    bool DeclaredInside; // opened after StartTransaction
    bool Commit;
  } Cases[] = {{"declared inside, committed", true, true},
               {"declared before, rolled back", false, false},
               {"declared inside, rolled back", true, false}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Cursor = Scanner();
    if (C.DeclaredInside)
      Session->StartTransaction();
    ASSERT_TRUE(Cursor->OpenRead("SELECT id FROM scan WHERE id <= :n ORDER BY id", {Total}));
    if (!C.DeclaredInside)
      Session->StartTransaction();
    for (int I = 1; I < 3 * Batch; ++I)
      ASSERT_TRUE(Cursor->FetchNext());
    Exec("UPDATE scan SET name = 'changed' WHERE id = 1");
    TZantrelPgSQL Other;
    Other.SetSession(Session.get());
    ASSERT_TRUE(Other.OpenRead("SELECT name FROM scan WHERE id = 1"));
    EXPECT_EQ(Other.GetFieldValue(Variant("name")).AsString(), "changed");
    if (C.Commit)
      Session->Commit();
    else
      Session->Rollback();
    if (C.DeclaredInside && !C.Commit) {
      EXPECT_FALSE(Cursor->FetchNext());
      EXPECT_EQ(Session->GetLastSQLState(), "34000") << Session->GetLastError();
      continue;
    }
    ASSERT_TRUE(Cursor->FetchNext()) << Session->GetLastError();
    EXPECT_EQ(ReadRest(*Cursor), Sequence(3 * Batch + 1, Total));
  }
}

// Closing lets the server cursor go at once, also inside a transaction, and
// a cursor that someone else closed first does not abort the transaction.
TEST_F(PgScanTest, ClosingReleasesTheServerCursorWithoutHarmingTheTransaction) {
  const struct {
    const char* Name;
    const char* Before; // run in the transaction before the scan is closed
  } Cases[] = {{"plain close", ""}, {"closed behind its back", "CLOSE ALL"}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Exec("DELETE FROM scan WHERE id > " + std::to_string(Total));
    auto Cursor = Scanner();
    ASSERT_TRUE(Cursor->OpenRead("SELECT id FROM scan ORDER BY id"));
    EXPECT_EQ(ServerCursors(), 1);
    Session->StartTransaction();
    Exec("INSERT INTO scan VALUES (" + std::to_string(Total + 1) + ", 'kept')");
    if (*C.Before)
      Exec(C.Before);
    Cursor->Close();
    EXPECT_EQ(ServerCursors(), 0);
    EXPECT_EQ(SQLStateOf([&] { Session->Commit(); }), "none") << Session->GetLastError();
    TZantrelPgSQL Kept;
    Kept.SetSession(Session.get());
    EXPECT_TRUE(Kept.OpenRead("SELECT name FROM scan WHERE id = " + std::to_string(Total + 1)));
  }
}

// A failure while the query runs fails the open and leaves nothing behind.
TEST_F(PgScanTest, AQueryThatFailsLeavesNoCursorBehind) {
  for (const bool InTransaction : {false, true}) {
    SCOPED_TRACE(InTransaction ? "in a transaction" : "autocommit");
    if (InTransaction)
      Session->StartTransaction();
    auto Cursor = Scanner();
    EXPECT_FALSE(Cursor->OpenRead("SELECT 1 / (id - 1) AS q FROM scan ORDER BY id"));
    EXPECT_EQ(Session->GetLastSQLState(), "22012") << Session->GetLastError();
    if (InTransaction)
      Session->Rollback();
    EXPECT_EQ(ServerCursors(), 0);
  }
}

// The dataset over a forward-only cursor reads every row, and refuses
// edits, which a unidirectional dataset does not take.
TEST_F(PgScanTest, AForwardOnlyQueryReadsEveryRowAndTakesNoEdits) {
  TZantrelPgQuery Q;
  Q.SetSession(Session.get());
  Q.SetUniDirectional(true);
  Q.GetSQL()->SetText("SELECT id, name FROM scan ORDER BY id");
  Session->ResetStatistics();
  Q.Open();
  std::vector<int> Ids;
  for (; !Q.Eof(); Q.Next())
    Ids.push_back(Q.FieldByName("id")->GetAsInteger());
  EXPECT_EQ(Ids, Sequence(1, Total));
  EXPECT_GT(Stats().Batches, 1);
  EXPECT_FALSE(Q.CanModify());
  EXPECT_ANY_THROW(Q.Edit());
  Q.Close();
  EXPECT_EQ(ServerCursors(), 0);
}

} // namespace
} // namespace ztl::testing
