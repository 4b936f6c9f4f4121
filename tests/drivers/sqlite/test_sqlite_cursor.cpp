// The SQLite cursor: which path a statement takes, host variables and their
// reuse, scrolling over the row cache, executing, and transactions.
#include <gtest/gtest.h>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/SQLiteApi_p.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {

class SQLiteCursor : public SQLiteTest {
protected:
  // A table of N rows with ids 1 .. N and names "row <id>".
  void MakeRows(int N) {
    Exec("CREATE TABLE r(id INTEGER PRIMARY KEY, name VARCHAR(20))");
    Exec("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
         std::to_string(N) + ") INSERT INTO r SELECT i, 'row ' || i FROM k");
  }
  std::int64_t Id() { return Cursor->GetFieldValue("id").AsInt64(); }
};

TEST_F(SQLiteCursor, PrepareTakesTheCursorPathOnlyForStatementsWithColumns) {
  Exec("CREATE TABLE p(a INT)");
  struct Case {
    const char* SQL;
    bool Open;
  };
  const Case Cases[] = {{"SELECT a FROM p", true},
                        {"PRAGMA table_info(p)", true},
                        {"INSERT INTO p VALUES (1)", false},
                        {"UPDATE p SET a = 2", false},
                        {"INSERT INTO p VALUES (3) RETURNING a", true},
                        {"CREATE INDEX pa ON p(a)", false}};
  for (const Case& C : Cases) {
    ASSERT_TRUE(Cursor->Prepare(C.SQL)) << C.SQL << ": " << Session->GetLastError();
    EXPECT_EQ(Cursor->GetPreparedForOpen(), C.Open) << C.SQL;
    EXPECT_EQ(Cursor->GetPreparedForExecute(), !C.Open) << C.SQL;
  }
  // Opening a statement without columns is refused.
  EXPECT_FALSE(Cursor->Open("DELETE FROM p", {}, true));
  EXPECT_EQ(Session->GetLastError(), "The statement doesn't return a result-set");
}

TEST_F(SQLiteCursor, TextThatIsNotExactlyOneStatementIsRefused) {
  struct Case {
    std::string SQL;
    const char* Error;
  };
  const Case Cases[] = {
      {std::string("SELECT 1\0; DROP TABLE x", 23), "The SQL text contains a NUL character"},

      {"SELEC 1", "near \"SELEC\": syntax error"},
  };
  for (const Case& C : Cases) {
    EXPECT_FALSE(Cursor->Prepare(C.SQL)) << C.SQL;
    EXPECT_EQ(Session->GetLastError(), C.Error) << C.SQL;
    EXPECT_LT(Session->GetLastErrorCode(), 0) << C.SQL;
  }
  // Blanks, comments and semicolons after the statement are fine.
  EXPECT_TRUE(Cursor->Prepare("SELECT 1; ; -- done\n"));
  // A cursor needs a statement; only executing takes several or none.
  EXPECT_FALSE(Cursor->PrepareOpen("SELECT 1; SELECT 2"));
  EXPECT_EQ(Session->GetLastError(), "The SQL text holds more than one statement");
  EXPECT_FALSE(Cursor->PrepareOpen("  -- nothing\n"));
  EXPECT_EQ(Session->GetLastError(), "The SQL text holds no statement");
}

TEST_F(SQLiteCursor, NamedMarkersTakeOneValueEachInOrderOfFirstAppearance) {
  ASSERT_TRUE(Cursor->OpenRead("SELECT :b || '-' || :a || '-' || :b AS t, ? AS q", {"B", "A", 7}))
      << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue("t").AsString(), "B-A-B");
  EXPECT_EQ(Cursor->GetFieldValue("q").AsInteger(), 7);
  EXPECT_FALSE(Cursor->OpenRead("SELECT :b, :a", {1}));
  EXPECT_EQ(Session->GetLastError(), "The statement takes 2 parameter values, 1 were given");
}

// The statistics prove the promise: a repeated open or execute of the same
// shape compiles and binds nothing.
TEST_F(SQLiteCursor, SameShapeReusesTheCompiledStatementAndItsBinding) {
  MakeRows(10);
  Session->ResetStatistics();
  // The key is in the result, so no hidden rowid needs a second compile.
  const std::string Find = "SELECT name, id FROM r WHERE id = ?";
  for (int Id = 1; Id <= 5; ++Id) {
    ASSERT_TRUE(Cursor->OpenRead(Find, {Id}));
    EXPECT_EQ(Cursor->GetFieldValue(0).AsString(), "row " + std::to_string(Id));
  }
  EXPECT_EQ(Stats().Prepares, 1);
  EXPECT_EQ(Stats().Binds, 1);
  EXPECT_EQ(Stats().Opens, 5);
  // Another parameter type binds again but keeps the compiled statement.
  ASSERT_TRUE(Cursor->OpenRead(Find, {"3"}));
  EXPECT_EQ(Cursor->GetFieldValue(0).AsString(), "row 3");
  EXPECT_EQ(Stats().Prepares, 1);
  EXPECT_EQ(Stats().Binds, 2);

  Session->ResetStatistics();
  for (int I = 0; I < 4; ++I)
    ASSERT_TRUE(Cursor->Execute("UPDATE r SET name = ? WHERE id = ?", {"new", I + 1}));
  EXPECT_EQ(Stats().Prepares, 1);
  EXPECT_EQ(Stats().Binds, 1);
  EXPECT_EQ(Stats().Executes, 4);
  EXPECT_EQ(Cursor->GetRowsProcessed(), 1);
}

TEST_F(SQLiteCursor, ScrollsBothWaysAcrossCacheFills) {
  MakeRows(100);
  Cursor->SetMaxFetchCount(7);
  ASSERT_TRUE(Cursor->Open("SELECT * FROM r ORDER BY id", {}, true));
  // Only the first fill is read at open; the count grows as rows are read.
  EXPECT_EQ(Cursor->GetRecordCount(), 7);
  EXPECT_FALSE(Cursor->GetAtEnd());
  for (int I = 0; I < 100; ++I) {
    ASSERT_TRUE(Cursor->FetchNext()) << I;
    EXPECT_EQ(Cursor->GetRecNo(), I);
    EXPECT_EQ(Id(), I + 1);
  }
  EXPECT_FALSE(Cursor->FetchNext());
  EXPECT_TRUE(Cursor->GetEof());
  EXPECT_EQ(Cursor->GetRecordCount(), 100);
  for (int I = 99; I >= 0; --I) {
    ASSERT_TRUE(Cursor->FetchPrior()) << I;
    EXPECT_EQ(Id(), I + 1);
  }
  EXPECT_FALSE(Cursor->FetchPrior());
  EXPECT_TRUE(Cursor->GetBof());
  EXPECT_EQ(Cursor->GetRecNo(), -1);
  // Positioning: MoveTo then FetchCurrent, MoveToLast then FetchPrior.
  ASSERT_TRUE(Cursor->MoveTo(50));
  ASSERT_TRUE(Cursor->FetchCurrent());
  EXPECT_EQ(Id(), 51);
  EXPECT_FALSE(Cursor->MoveTo(100));
  EXPECT_TRUE(Cursor->GetEof());
  EXPECT_FALSE(Cursor->FetchCurrent());
  ASSERT_TRUE(Cursor->MoveToFirst());
  ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Id(), 1);
}

TEST_F(SQLiteCursor, MoveToLastReadsTheRestAndMakesTheCountExact) {
  MakeRows(60);
  Cursor->SetMaxFetchCount(25);
  ASSERT_TRUE(Cursor->Open("SELECT id FROM r", {}, true));
  EXPECT_EQ(Cursor->GetRecordCount(), 25);
  ASSERT_TRUE(Cursor->MoveToLast());
  EXPECT_EQ(Cursor->GetRecordCount(), 60);
  EXPECT_TRUE(Cursor->GetEof());
  ASSERT_TRUE(Cursor->FetchPrior());
  EXPECT_EQ(Id(), 60);
  // An empty result: both ends at once.
  ASSERT_TRUE(Cursor->Open("SELECT id FROM r WHERE id < 0", {}, true));
  EXPECT_FALSE(Cursor->FetchNext());
  EXPECT_TRUE(Cursor->GetEof());
  EXPECT_EQ(Cursor->GetRecordCount(), 0);
  ASSERT_TRUE(Cursor->MoveToLast());
  EXPECT_FALSE(Cursor->FetchPrior());
  EXPECT_TRUE(Cursor->GetBof());
}

// Once the last row is read the statement is reset: another connection can
// write while the cursor stays open and scrollable.
TEST_F(SQLiteCursor, AFullyReadResultHoldsNoLock) {
  MakeRows(3);
  ASSERT_TRUE(Cursor->Open("SELECT * FROM r", {}, true));
  TZantrelSQLiteSession Other;
  Other.SetDatabaseName(Session->GetDatabaseName());
  Other.SetBusyTimeout(0);
  Other.Open();
  EXPECT_TRUE(Other.Execute("INSERT INTO r VALUES (4, 'four')")) << Other.GetLastError();
  ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetRecordCount(), 3);
}

TEST_F(SQLiteCursor, ExecuteCountsChangedRowsAndReturnsOutputValues) {
  MakeRows(5);
  ASSERT_TRUE(Cursor->Execute("UPDATE r SET name = 'x' WHERE id > 2"));
  EXPECT_EQ(Cursor->GetRowsProcessed(), 3);
  ASSERT_TRUE(Cursor->Execute("CREATE TABLE other(a)"));
  EXPECT_EQ(Cursor->GetRowsProcessed(), 0);
  ASSERT_TRUE(Cursor->Execute("DELETE FROM r WHERE id > 100"));
  EXPECT_EQ(Cursor->GetRowsProcessed(), 0);
  ASSERT_TRUE(Cursor->Execute("INSERT INTO r(name) VALUES (?) RETURNING id, name", {"six"}));
  EXPECT_EQ(Cursor->GetRowsProcessed(), 1);
  EXPECT_EQ(Cursor->GetOutVar("id").AsInt64(), 6);
  EXPECT_EQ(Cursor->GetOutVar("name").AsString(), "six");
  EXPECT_FALSE(Cursor->Execute("INSERT INTO r VALUES (1, 'dup')"));
  EXPECT_EQ(Session->GetLastError(), "UNIQUE constraint failed: r.id");
  EXPECT_EQ(Session->GetLastErrorCode(), -SQLITE_CONSTRAINT_PRIMARYKEY);
}

TEST_F(SQLiteCursor, UserTransactionsBeginLazilyAndEndWithCommitOrRollback) {
  MakeRows(1);
  TZantrelSQLiteSession Other;
  Other.SetDatabaseName(Session->GetDatabaseName());
  Other.Open();
  auto Count = [&] {
    TZantrelSQLiteSQL Q;
    Q.SetSession(&Other);
    EXPECT_TRUE(Q.OpenRead("SELECT count(*) FROM r"));
    return Q.GetFieldValue(0).AsInteger();
  };
  Session->StartTransaction();
  EXPECT_NE(SQLite().get_autocommit(Session->GetDatabase()), 0); // no BEGIN yet
  ASSERT_TRUE(Cursor->Execute("INSERT INTO r VALUES (2, 'b')"));
  EXPECT_EQ(SQLite().get_autocommit(Session->GetDatabase()), 0);
  EXPECT_EQ(Count(), 1);
  Session->Rollback();
  EXPECT_EQ(Count(), 1);
  Session->StartTransaction();
  ASSERT_TRUE(Cursor->Execute("INSERT INTO r VALUES (3, 'c')"));
  ASSERT_TRUE(Cursor->Execute("INSERT INTO r VALUES (4, 'd')"));
  Session->Commit();
  EXPECT_EQ(Count(), 3);
  // Outside a user transaction each statement commits on its own.
  ASSERT_TRUE(Cursor->Execute("INSERT INTO r VALUES (5, 'e')"));
  EXPECT_EQ(Count(), 4);
  // With AutoCommit off, statements gather until Commit.
  Session->SetAutoCommit(false);
  ASSERT_TRUE(Cursor->Execute("INSERT INTO r VALUES (6, 'f')"));
  EXPECT_EQ(Count(), 4);
  Session->Commit();
  EXPECT_EQ(Count(), 5);
}

} // namespace ztl::testing
