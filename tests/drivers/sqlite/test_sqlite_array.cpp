// Array execution on the SQLite driver: one statement run once per element
// of an array of parameter values, through the cursor and through the query,
// with failing elements reported by their index.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ZtlConsts.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {
namespace {

class SQLiteArray : public SQLiteTest {
protected:
  void SetUp() override {
    SQLiteTest::SetUp();
    Exec("CREATE TABLE k(id INTEGER PRIMARY KEY, name TEXT NOT NULL)");
  }

  // The ids in the table, in order, as "1,2,3".
  std::string Ids() {
    auto C = NewCursor();
    std::string Result;
    EXPECT_TRUE(C->Open("SELECT id FROM k ORDER BY id", {}, true)) << Session->GetLastError();
    while (C->FetchNext())
      Result += (Result.empty() ? "" : ",") + C->GetFieldValue(Variant(0)).AsString();
    return Result;
  }

  // One view per row of Values, as ExecuteArray takes them.
  static std::vector<TZtlVarParams> Views(const std::vector<std::vector<Variant>>& Values) {
    return {Values.begin(), Values.end()};
  }
};

// Element 2 repeats the key of element 0; what it does to the array depends
// on StopOnError.
TEST_F(SQLiteArray, AFailingElementIsReportedByIndexAfterThoseBeforeItRan) {
  const std::vector<std::vector<Variant>> Values = {
      {1, "a"}, {2, "b"}, {1, "again"}, {3, "c"}, {Variant::Null(), Variant::Null()}, {4, "d"}};
  const struct {
    bool StopOnError;
    std::int32_t Executed;
    std::vector<std::int32_t> Failed;
    const char* Stored;
  } Cases[] = {{true, 2, {2}, "1,2"}, {false, 4, {2, 4}, "1,2,3,4"}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.StopOnError);
    Exec("DELETE FROM k");
    const TZantrelArrayResult R = Cursor->ExecuteArray("INSERT INTO k VALUES (?, ?)",
                                                       Views(Values), Case.StopOnError);
    EXPECT_EQ(R.Executed, Case.Executed);
    EXPECT_EQ(R.RowsAffected, Case.Executed);
    ASSERT_EQ(R.Errors.size(), Case.Failed.size());
    for (std::size_t I = 0; I < Case.Failed.size(); ++I)
      EXPECT_EQ(R.Errors[I].Index, Case.Failed[I]);
    EXPECT_EQ(R.Errors[0].Message, "UNIQUE constraint failed: k.id");
    EXPECT_FALSE(R.Succeeded());
    EXPECT_EQ(Ids(), Case.Stored);
  }
}

TEST_F(SQLiteArray, TheStatementIsPreparedAndBoundOnceForElementsOfOneShape) {
  const std::vector<std::vector<Variant>> Values = {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}};
  Session->ResetStatistics();
  const TZantrelArrayResult R =
      Cursor->ExecuteArray("INSERT INTO k VALUES (?, ?)", Views(Values));
  EXPECT_TRUE(R.Succeeded());
  EXPECT_EQ(R.Executed, 4);
  EXPECT_EQ(Stats().Prepares, 1);
  EXPECT_EQ(Stats().Binds, 1);
  EXPECT_EQ(Stats().Executes, 4);
  // An element of another shape is bound again, and its value arrives.
  const std::vector<std::vector<Variant>> Mixed = {{5, "e"}, {6, 66}, {7, "g"}};
  EXPECT_TRUE(Cursor->ExecuteArray("INSERT INTO k VALUES (?, ?)", Views(Mixed)).Succeeded());
  EXPECT_EQ(Ids(), "1,2,3,4,5,6,7");
  auto C = NewCursor();
  ASSERT_TRUE(C->OpenRead("SELECT name FROM k WHERE id = 6"));
  EXPECT_EQ(C->GetFieldValue(Variant(0)).AsString(), "66");
}

TEST_F(SQLiteArray, AnEmptyArrayRunsNothingAndAnUnpreparedOneRaises) {
  const TZantrelArrayResult R = Cursor->ExecuteArray("INSERT INTO k VALUES (?, ?)", {});
  EXPECT_TRUE(R.Succeeded());
  EXPECT_EQ(R.Executed, 0);
  auto Fresh = NewCursor();
  const std::vector<std::vector<Variant>> Values = {{1, "a"}};
  EXPECT_THROW(Fresh->ExecutePreparedArray(Views(Values)), EZantrelException);
  EXPECT_EQ(Ids(), "");
}

// A statement that cannot be compiled fails every element the same way.
TEST_F(SQLiteArray, AStatementThatDoesNotCompileFailsItsFirstElement) {
  const std::vector<std::vector<Variant>> Values = {{1}, {2}};
  const TZantrelArrayResult R = Cursor->ExecuteArray("INSERT INTO nowhere VALUES (?)", Views(Values));
  EXPECT_EQ(R.Executed, 0);
  ASSERT_EQ(R.Errors.size(), 1u);
  EXPECT_EQ(R.Errors[0].Index, 0);
  EXPECT_NE(R.Errors[0].Message.find("no such table"), std::string::npos);
}

class SQLiteQueryArray : public SQLiteArray {
protected:
  void SetUp() override {
    SQLiteArray::SetUp();
    Query.SetSession(Session.get());
  }
  TZantrelSQLiteQuery Query;
};

// A name that appears twice passes one value, as ExecSQL passes it.
TEST_F(SQLiteQueryArray, EachElementHoldsOneValuePerDistinctInputParameter) {
  Query.GetSQL()->SetText("INSERT INTO k SELECT :id, :name WHERE :id > 0");
  const std::vector<std::vector<Variant>> Values = {{1, "a"}, {-2, "skipped"}, {3, "c"}};
  Session->ResetStatistics();
  const TZantrelArrayResult R = Query.ExecSQLArray(Views(Values));
  EXPECT_TRUE(R.Succeeded());
  EXPECT_EQ(R.Executed, 3);
  EXPECT_EQ(R.RowsAffected, 2);
  EXPECT_EQ(Stats().Prepares, 1);
  EXPECT_EQ(Ids(), "1,3");
  // The session is held for the call only, and the statement not kept.
  EXPECT_EQ(Session->GetOpenCount(), 0);
  EXPECT_FALSE(Query.GetPrepared());
}

TEST_F(SQLiteQueryArray, AnErrorInTheMiddleLeavesTheRowsBeforeItUnlessRolledBack) {
  Query.GetSQL()->SetText("INSERT INTO k VALUES (:id, :name)");
  const std::vector<std::vector<Variant>> Values = {{1, "a"}, {2, Variant::Null()}, {3, "c"}};
  Session->StartTransaction();
  TZantrelArrayResult R = Query.ExecSQLArray(Views(Values));
  EXPECT_EQ(R.Executed, 1);
  ASSERT_EQ(R.Errors.size(), 1u);
  EXPECT_EQ(R.Errors[0].Index, 1);
  EXPECT_EQ(R.Errors[0].Message, "NOT NULL constraint failed: k.name");
  EXPECT_EQ(Ids(), "1");
  Session->Rollback();
  EXPECT_EQ(Ids(), "");
  // A prepared query stays prepared and held.
  Query.Prepare();
  R = Query.ExecSQLArray(Views({{1, "a"}, {3, "c"}}));
  EXPECT_TRUE(R.Succeeded());
  EXPECT_TRUE(Query.GetPrepared());
  EXPECT_EQ(Ids(), "1,3");
}

TEST_F(SQLiteQueryArray, TheChecksOfExecSQLApply) {
  EXPECT_THROW(Query.ExecSQLArray({}), EDatabaseError); // no statement
  Query.GetSQL()->SetText("SELECT 1");
  Query.Open();
  EXPECT_THROW(Query.ExecSQLArray({}), EDatabaseError); // open
  Query.Close();
  Query.GetSQL()->SetText("INSERT INTO nowhere VALUES (:v)");
  EXPECT_THROW(Query.ExecSQLArray(Views({{1}})), Exception); // the prepare fails
  EXPECT_EQ(Session->GetOpenCount(), 0);
}

} // namespace
} // namespace ztl::testing
