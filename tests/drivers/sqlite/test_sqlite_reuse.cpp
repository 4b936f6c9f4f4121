// Values through a reused binding and read back by position: every execute
// and open of the same shape must carry its own values, extremes included.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {
namespace {

using SQLiteReuse = SQLiteTest;

TEST_F(SQLiteReuse, EachExecuteOfTheSameShapeWritesItsOwnValues) {
  Exec("CREATE TABLE r(id INTEGER PRIMARY KEY, i INT, b BIGINT, f REAL, s VARCHAR(8))");
  struct TRow {
    std::int32_t I;
    std::int64_t B;
    double F;
    const char* S;
  };
  const TRow Rows[] = {
      {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int64_t>::min(), -0.5,
       ""},
      {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int64_t>::max(), 1e300,
       "12345678"},
      {0, 0, 0.1, "x"},
  };
  const std::string Insert = "INSERT INTO r(i, b, f, s) VALUES (?, ?, ?, ?)";
  for (const TRow& R : Rows)
    ASSERT_TRUE(Cursor->Execute(Insert, {Variant(R.I), Variant(R.B), Variant(R.F), Variant(R.S)}))
        << Session->GetLastError();
  EXPECT_EQ(Stats().Prepares, 1u);

  // A Smallint and a Byte go into the same integer slots as an Integer.
  ASSERT_TRUE(Cursor->Execute(
      Insert, {Variant(std::int16_t{-3}), Variant(std::int64_t{4}), Variant(2.0), Variant("y")}));
  ASSERT_TRUE(Cursor->Execute(
      Insert, {Variant(std::uint8_t{200}), Variant(std::int64_t{5}), Variant(3.0), Variant("z")}));

  ASSERT_TRUE(Cursor->Open("SELECT i, b, f, s FROM r ORDER BY id", {}, true));
  for (const TRow& R : Rows) {
    ASSERT_TRUE(Cursor->FetchNext());
    EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).RawInt(), R.I);
    EXPECT_EQ(Cursor->GetFieldValue(Variant(1)).RawInt(), R.B);
    EXPECT_EQ(Cursor->GetFieldValue(Variant(2)).RawReal(), R.F);
    EXPECT_EQ(Cursor->GetFieldValue(Variant(3)).RawText(), R.S);
  }
  ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInteger(), -3);
  ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInteger(), 200);
  EXPECT_FALSE(Cursor->FetchNext());
}

TEST_F(SQLiteReuse, LookupsWithAReusedBindingFindEachRow) {
  Exec("CREATE TABLE k(id INTEGER PRIMARY KEY, name VARCHAR(10), amount REAL, note TEXT)");
  for (int Id = 1; Id <= 5; ++Id)
    ASSERT_TRUE(Cursor->Execute("INSERT INTO k VALUES (?, ?, ?, ?)",
                                {Variant(Id), Variant("n" + std::to_string(Id)), Variant(Id * 0.5),
                                 Variant("note " + std::to_string(Id))}));
  const std::string Lookup = "SELECT * FROM k WHERE id = ?";
  const std::uint64_t PreparesBefore = Stats().Prepares;
  for (const int Id : {3, 1, 5, 2, 4, 6}) {
    SCOPED_TRACE(Id);
    // A key without a row opens on no row.
    const bool Found = Cursor->OpenRead(Lookup, {Variant(Id)});
    ASSERT_EQ(Found, Id != 6) << Session->GetLastError();
    if (!Found) {
      EXPECT_TRUE(Cursor->GetEof());
      continue;
    }
    EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInteger(), Id);
    EXPECT_EQ(Cursor->GetFieldValue(Variant(1)).AsString(), "n" + std::to_string(Id));
    EXPECT_EQ(Cursor->GetFieldValue(Variant(2)).AsDouble(), Id * 0.5);
    TZantrelBlobStream* Note = Cursor->GetBlobManager()->BlobByName("NOTE");
    EXPECT_EQ(Note->GetBlobSize(), 6);
    EXPECT_EQ(Cursor->GetFieldValue("note").AsString(), "note " + std::to_string(Id));
  }
  EXPECT_EQ(Stats().Prepares, PreparesBefore + 1);
}

// A statement is reset only when it was stepped; these are the ways it can
// be left stepped: on a row of a result read in part, at the end of a
// statement that failed, and after rows an execute produced.
TEST_F(SQLiteReuse, AStatementLeftStandingIsResetBeforeItsNextUse) {
  Exec("CREATE TABLE s(id INTEGER PRIMARY KEY, name VARCHAR(10))");
  const std::string Insert = "INSERT INTO s VALUES (?, ?) RETURNING id, name";
  for (int Id = 1; Id <= 5; ++Id) {
    ASSERT_TRUE(Cursor->Execute(Insert, {Variant(Id), Variant("n" + std::to_string(Id))}))
        << Session->GetLastError();
    EXPECT_EQ(Cursor->GetOutVar("id").AsInteger(), Id);
  }
  // A failing execute, then the same statement with good values.
  EXPECT_FALSE(Cursor->Execute(Insert, {Variant(1), Variant("dup")}));
  ASSERT_TRUE(Cursor->Execute(Insert, {Variant(6), Variant("n6")})) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetOutVar("name").AsString(), "n6");

  // Read in part: the statement stands on a row when the cursor is opened
  // again with other values, and when it is closed.
  Cursor->SetMaxFetchCount(1);
  const std::string From = "SELECT id FROM s WHERE id >= ? ORDER BY id";
  for (const int First : {2, 4, 1}) {
    ASSERT_TRUE(Cursor->OpenRead(From, {Variant(First)})) << Session->GetLastError();
    EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInteger(), First);
    ASSERT_TRUE(Cursor->FetchNext());
    EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInteger(), First + 1);
  }
  Cursor->Close();
  // A statement still running on the table would make dropping it fail
  // with "database table is locked".
  Exec("DROP TABLE s");
}

} // namespace
} // namespace ztl::testing
