// A query opened again and again on the SQLite driver: what it keeps from
// one open to the next (the analysis of its text, its field definitions)
// must follow every change of the text, of the parameters and of the
// tables between the opens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {
namespace {

class SQLiteReopen : public SQLiteTest {
protected:
  void SetUp() override {
    SQLiteTest::SetUp();
    Exec("CREATE TABLE t(a INTEGER, b VARCHAR(10))");
    Exec("INSERT INTO t VALUES (1, 'z'), (2, 'y'), (3, 'x')");
    Query.SetSession(Session.get());
  }

  using TShape = std::vector<std::pair<std::string, TFieldType>>;

  // The open query's fields, names and types.
  TShape Shape() {
    TShape Result;
    for (int I = 0; I < Query.FieldCount(); ++I)
      Result.emplace_back(Query.Fields()[I]->FieldName(), Query.Fields()[I]->DataType());
    return Result;
  }

  TZantrelSQLiteQuery Query;
};

TEST_F(SQLiteReopen, FieldsFollowTheTablesChangedBetweenOpens) {
  Query.GetSQL()->SetText("SELECT * FROM t");
  Query.Open();
  EXPECT_EQ(Shape(), (TShape{{"a", ftLargeint}, {"b", ftString}}));
  const struct {
    const char* Change;
    TShape Fields;
  } Cases[] = {
      {"ALTER TABLE t ADD COLUMN c REAL", {{"a", ftLargeint}, {"b", ftString}, {"c", ftFloat}}},
      {"ALTER TABLE t RENAME COLUMN c TO d", {{"a", ftLargeint}, {"b", ftString}, {"d", ftFloat}}},
      {"DROP TABLE t; CREATE TABLE t(a VARCHAR(4), b INTEGER)", {{"a", ftString}, {"b", ftLargeint}}},
      {"DROP TABLE t; CREATE TABLE t(a VARCHAR(4), b VARCHAR(3))", {{"a", ftString}, {"b", ftString}}},
      {"DROP TABLE t; CREATE TABLE t(a TEXT, b VARCHAR(3))", {{"a", ftMemo}, {"b", ftString}}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Change);
    Query.Close();
    Exec(Case.Change);
    Query.Open();
    EXPECT_EQ(Shape(), Case.Fields);
  }
  // Only the size changed: the string field takes the column's new width.
  EXPECT_EQ(Query.FieldByName("b")->Size(), 12u);
  Query.Close();
  Exec("DROP TABLE t; CREATE TABLE t(a TEXT, b VARCHAR(5))");
  Query.Open();
  EXPECT_EQ(Query.FieldByName("b")->Size(), 20u);
}

TEST_F(SQLiteReopen, FieldsFollowTheTextAndDefinitionsChangedWhileClosed) {
  Query.GetSQL()->SetText("SELECT a, a FROM t");
  Query.Open();
  EXPECT_EQ(Shape(), (TShape{{"a", ftLargeint}, {"a_1", ftLargeint}}));
  Query.Close();
  Query.GetSQL()->SetText("SELECT b, a FROM t");
  Query.Open();
  const TShape Swapped{{"b", ftString}, {"a", ftLargeint}};
  EXPECT_EQ(Shape(), Swapped);
  // Definitions the application changed are built again from the cursor.
  Query.Close();
  Query.FieldDefs().Clear();
  Query.Open();
  EXPECT_EQ(Shape(), Swapped);
  Query.Close();
  Query.FieldDefs()[0].Attributes.Include(faReadonly);
  Query.Open();
  EXPECT_FALSE(Query.FieldByName("b")->ReadOnly());
}

// The ORDER BY clause gives the key search its fields; a new text brings
// its own clause.
TEST_F(SQLiteReopen, TheKeySearchFollowsTheOrderOfTheText) {
  const struct {
    const char* Text;
    Variant Key;
    int Found; // value of a
  } Cases[] = {{"SELECT a, b FROM t ORDER BY a", Variant(2), 2},
               {"SELECT a, b FROM t ORDER BY a", Variant(3), 3},
               {"SELECT a, b FROM t ORDER BY b", Variant("z"), 1},
               {"SELECT a, b FROM t ORDER BY b DESC", Variant("x"), 3},
               {"SELECT a, b FROM t ORDER BY a", Variant(1), 1}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    Query.Close();
    Query.GetSQL()->SetText(Case.Text);
    Query.Open();
    ASSERT_TRUE(Query.FindKey({Case.Key}));
    EXPECT_EQ(Query.FieldByName("a")->GetAsInteger(), Case.Found);
  }
}

// A parameter's type may change between opens, with the statement kept
// prepared or not; each open passes the value it has then.
TEST_F(SQLiteReopen, EachOpenPassesTheParameterValueOfItsOwnType) {
  for (const bool Prepared : {false, true}) {
    SCOPED_TRACE(Prepared);
    Query.Close();
    Query.GetSQL()->SetText("SELECT b FROM t WHERE a = :p OR b = :p");
    if (Prepared)
      Query.Prepare();
    TZantrelParam* P = Query.ParamByName("p");
    const struct {
      Variant Value;
      const char* Found; // "" for no row
    } Cases[] = {{Variant(2), "y"},   {Variant("x"), "x"},      {Variant(1.0), "z"},
                 {Variant(), ""},     {Variant("nothing"), ""}, {Variant(3), "x"}};
    for (const auto& Case : Cases) {
      Query.Close();
      if (Case.Value.IsEmpty())
        P->Clear();
      else
        P->SetAsVariant(Case.Value);
      Query.Open();
      EXPECT_EQ(Query.Eof() ? "" : Query.FieldByName("b")->GetAsString(), Case.Found)
          << Case.Value.AsString();
    }
  }
}

} // namespace
} // namespace ztl::testing
