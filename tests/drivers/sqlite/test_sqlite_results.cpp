// What the SQLite driver's results mean: the hidden row key keeps the
// statement's meaning, result columns say how their text is ordered, and an
// executed text may hold several statements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/sqlite/SQLiteDataset.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {

namespace {

// The first column of every row of an open cursor, as text ("NULL" for null).
std::vector<std::string> FirstColumn(TZantrelSQLiteSQL& Cursor) {
  std::vector<std::string> Values;
  while (Cursor.FetchNext())
    Values.push_back(Cursor.IsFieldNull(0) ? "NULL" : Cursor.GetFieldValue(0).AsString());
  return Values;
}

} // namespace

class SQLiteResults : public SQLiteTest {
protected:
  void SetUp() override {
    SQLiteTest::SetUp();
    // Inserted out of order, so that the rowid order differs from a's.
    Exec("CREATE TABLE t(a INTEGER, b TEXT)");
    Exec("INSERT INTO t VALUES (3, 'c'), (1, 'a'), (2, 'b')");
  }
};

// Adding the hidden key must leave the statement's rows and their order as
// the text says, whatever its shape.
TEST_F(SQLiteResults, HiddenKeyKeepsTheStatementsMeaning) {
  struct Case {
    const char* SQL;
    std::vector<std::string> Rows; // first column
    bool Writable;
  };
  const Case Cases[] = {
      {"SELECT a FROM t ORDER BY 1", {"1", "2", "3"}, true},
      {"SELECT a FROM t ORDER BY 1 LIMIT 1", {"1"}, true},
      {"SELECT a FROM t ORDER BY 1 DESC LIMIT 1 OFFSET 1", {"2"}, true},
      {"SELECT ALL a FROM t ORDER BY 1", {"1", "2", "3"}, true},
      {"SELECT * FROM t ORDER BY 1", {"1", "2", "3"}, true},
      {"SELECT * FROM t ORDER BY 2 DESC", {"3", "2", "1"}, true},
      {"SELECT b, a FROM t ORDER BY 2", {"a", "b", "c"}, true},
      {"SELECT a -- the list ends here\nFROM t ORDER BY 1", {"1", "2", "3"}, true},
      {"SELECT a AS rowid FROM t ORDER BY rowid", {"1", "2", "3"}, true},
      {"SELECT a FROM t WHERE a IN (SELECT a FROM t ORDER BY 1 LIMIT 2) ORDER BY 1",
       {"1", "2"},
       true},
      {"SELECT (SELECT count(*) FROM t AS x WHERE x.a < t.a) FROM t ORDER BY 1",
       {"0", "1", "2"},
       false},
      {"SELECT DISTINCT a FROM t ORDER BY 1", {"1", "2", "3"}, false},
      {"SELECT a FROM t GROUP BY a ORDER BY 1", {"1", "2", "3"}, false},
      {"SELECT a FROM t UNION ALL SELECT 0 ORDER BY 1", {"0", "1", "2", "3"}, false},
      {"WITH c AS (SELECT a FROM t) SELECT a FROM c ORDER BY 1", {"1", "2", "3"}, false},
      {"SELECT a FROM t ORDER BY row_number() OVER (ORDER BY a DESC)", {"3", "2", "1"}, false},
      {"SELECT count(*) FROM t ORDER BY 1", {"3"}, false},
      {"SELECT a FROM t ORDER BY min(a, 2) DESC, a", {"2", "3", "1"}, true},
      {"SELECT a, max(b) FROM t", {"3"}, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.SQL);
    ASSERT_TRUE(Cursor->Open(C.SQL, {}, false)) << Session->GetLastError();
    EXPECT_EQ(FirstColumn(*Cursor), C.Rows);
    EXPECT_EQ(Cursor->GetUpdatable(), C.Writable);
  }
}

TEST_F(SQLiteResults, RowsOrderedByPositionAreWrittenByTheirOwnKey) {
  ASSERT_TRUE(Cursor->OpenWrite("SELECT a FROM t ORDER BY 1 LIMIT 1"));
  ASSERT_EQ(Cursor->GetFieldCount(), 2); // a and the hidden key, last
  EXPECT_EQ(Cursor->GetFieldDefs().GetItem(1)->KeyIndicator, kiHiddenKeyField);
  Cursor->SetFieldValue("a", Variant(std::int64_t{10}));
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  ASSERT_TRUE(Cursor->OpenRead("SELECT group_concat(b || a, ' ') FROM (SELECT * FROM t ORDER BY "
                               "b)"));
  EXPECT_EQ(Cursor->GetFieldValue(0).AsString(), "a10 b2 c3");
  // The dataset shows the statement's own columns in their order.
  TZantrelSQLiteQuery Query;
  Query.SetSession(Session.get());
  Query.GetSQL()->SetText("SELECT * FROM t ORDER BY 1");
  Query.Open();
  ASSERT_EQ(Query.FieldCount(), 2);
  EXPECT_EQ(Query.Fields()[0]->GetAsInteger(), 2);
  EXPECT_EQ(Query.Fields()[1]->GetAsString(), "b");
}

// A column straight from a table is ordered by the collation its table
// declares; anything else is not known.
TEST_F(SQLiteResults, ColumnsSayHowTheirTableOrdersThem) {
  Exec("CREATE TABLE c(x TEXT, n TEXT COLLATE nocase, r TEXT COLLATE RTRIM, "
       "bb TEXT COLLATE Binary)");
  Exec("CREATE VIEW v AS SELECT n AS vn, n || '' AS ve FROM c");
  struct Case {
    const char* SQL;
    std::vector<TZantrelCollation> Expected;
  };
  const Case Cases[] = {
      {"SELECT x, n, r, bb FROM c", {coBinary, coNoCase, coRTrim, coBinary}},
      {"SELECT n || '', upper(x), x COLLATE NOCASE, 'k' FROM c",
       {coUnknown, coUnknown, coUnknown, coUnknown}},
      {"SELECT vn, ve FROM v", {coNoCase, coUnknown}},
      {"SELECT c.n, d.r FROM c JOIN c AS d ON c.x = d.x", {coNoCase, coRTrim}},
      {"SELECT * FROM (SELECT r FROM c)", {coRTrim}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.SQL);
    ASSERT_TRUE(Cursor->Open(C.SQL, {}, false)) << Session->GetLastError();
    for (std::size_t I = 0; I < C.Expected.size(); ++I)
      EXPECT_EQ(Cursor->GetColumnCollation(static_cast<std::int32_t>(I)), C.Expected[I]) << I;
    // Outside the columns, and on the hidden key, nothing is known.
    EXPECT_EQ(Cursor->GetColumnCollation(-1), coUnknown);
    EXPECT_EQ(Cursor->GetColumnCollation(static_cast<std::int32_t>(C.Expected.size()) + 1),
              coUnknown);
  }
}

class SQLiteScripts : public SQLiteTest {
protected:
  std::int64_t Count() {
    auto Reader = NewCursor();
    EXPECT_TRUE(Reader->OpenRead("SELECT count(*) FROM s")) << Session->GetLastError();
    return Reader->GetFieldValue(0).AsInt64();
  }
};

TEST_F(SQLiteScripts, ExecutedTextRunsEveryStatementInOrderAndStopsAtTheFirstError) {
  ASSERT_TRUE(Cursor->Execute("CREATE TABLE s(a); INSERT INTO s VALUES (1);\n"
                              "-- a comment between\nINSERT INTO s VALUES (2), (3);"))
      << Session->GetLastError();
  EXPECT_EQ(Cursor->GetRowsProcessed(), 3);
  EXPECT_EQ(Count(), 3);
  EXPECT_FALSE(Cursor->Execute("INSERT INTO s VALUES (4); INSERT INTO nowhere VALUES (5); "
                               "INSERT INTO s VALUES (6)"));
  EXPECT_EQ(Session->GetLastError(), "no such table: nowhere");
  EXPECT_LT(Session->GetLastErrorCode(), 0);
  EXPECT_EQ(Count(), 4);
  // A failing step, not only a failing compile, stops the script.
  Exec("CREATE TABLE k(a PRIMARY KEY)");
  EXPECT_FALSE(Cursor->Execute("INSERT INTO k VALUES (1); INSERT INTO k VALUES (1); "
                               "INSERT INTO s VALUES (7)"));
  EXPECT_EQ(Session->GetLastError(), "UNIQUE constraint failed: k.a");
  EXPECT_EQ(Count(), 4);
  // Nothing to run is nothing to fail.
  EXPECT_TRUE(Cursor->Execute("  -- only a comment\n ; /* and another */ ;"))
      << Session->GetLastError();
  EXPECT_TRUE(Cursor->Execute(""));
  // Parameters cannot be told apart between the statements.
  EXPECT_FALSE(Cursor->Execute("INSERT INTO s VALUES (?); INSERT INTO s VALUES (8)", {1}));
  EXPECT_EQ(Session->GetLastError(), SZtlScriptWithParams);
  EXPECT_EQ(Count(), 4);
}

TEST_F(SQLiteScripts, QueryExecSQLRunsAScriptAndRefusesItsParameters) {
  TZantrelSQLiteQuery Query;
  Query.SetSession(Session.get());
  Query.GetSQL()->SetText("CREATE TABLE s(a); INSERT INTO s VALUES ('it''s'); "
                          "INSERT INTO s VALUES (2)");
  Query.ExecSQL();
  EXPECT_EQ(Count(), 2);
  Query.GetSQL()->SetText("/* nothing */");
  EXPECT_NO_THROW(Query.ExecSQL());
  Query.GetSQL()->SetText("INSERT INTO s VALUES (:v); INSERT INTO s VALUES (3)");
  Query.GetParams()->ParamByName("v")->SetAsInteger(1);
  try {
    Query.ExecSQL();
    FAIL() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(std::string(E.what()), SZtlScriptWithParams);
  }
  EXPECT_EQ(Count(), 2);
  // One statement keeps its compiled form from one run to the next.
  Query.GetSQL()->SetText("INSERT INTO s VALUES (:v)");
  Query.Prepare();
  Session->ResetStatistics();
  for (int I = 0; I < 3; ++I) {
    Query.GetParams()->ParamByName("v")->SetAsInteger(I);
    Query.ExecSQL();
  }
  EXPECT_EQ(Stats().Prepares, 0);
  EXPECT_EQ(Count(), 5);
}

} // namespace ztl::testing
