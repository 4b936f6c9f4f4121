// The forward-only query on the SQLite driver: a scan of any length in the
// memory of one batch of rows, and every way back refused with the
// framework's unidirectional error.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/ZtlConsts.h"
#include "framework/db/DBConsts.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {
namespace {

using test::MessageOf;

class SQLiteForward : public SQLiteTest {
protected:
  static constexpr int Rows = 20000;

  void SetUp() override {
    SQLiteTest::SetUp();
    Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, note TEXT)");
    Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(Rows) + ") INSERT INTO t SELECT i, 'note ' || i FROM n");
    Query.SetSession(Session.get());
    Query.GetSQL()->SetText("SELECT id, note FROM t ORDER BY id");
    Query.SetUniDirectional(true);
  }

  std::size_t CacheMemory() {
    return static_cast<TZantrelSQLiteSQL*>(Query.GetSQLCursor())->GetCacheMemory();
  }

  TZantrelSQLiteQuery Query;
};

TEST_F(SQLiteForward, AScanReadsEveryRowInOrderWithinOneBatchOfMemory) {
  Query.Open();
  EXPECT_TRUE(Query.IsUniDirectional());
  EXPECT_EQ(Query.GetBufferCount(), 1);
  // The first record may be asked for again until the scan moves on.
  Query.First();
  std::size_t EarlyMemory = 0;
  int Seen = 0;
  while (!Query.Eof()) {
    ++Seen;
    // The memo's bytes belong to each row, across batch boundaries too.
    ASSERT_EQ(Query.FieldByName("id")->GetAsInteger(), Seen);
    ASSERT_EQ(Query.FieldByName("note")->GetAsString(), "note " + std::to_string(Seen));
    if (Seen == 100)
      EarlyMemory = CacheMemory();
    Query.Next();
  }
  EXPECT_EQ(Seen, Rows);
  EXPECT_GT(EarlyMemory, 0u);
  EXPECT_EQ(CacheMemory(), EarlyMemory);
  // The same query read both ways keeps every row.
  Query.Close();
  Query.SetUniDirectional(false);
  Query.Open();
  Query.Last();
  EXPECT_GT(CacheMemory(), 4 * EarlyMemory);
}

TEST_F(SQLiteForward, EveryWayBackRaisesTheUnidirectionalError) {
  const std::pair<const char*, std::function<void()>> Moves[] = {
      {"Prior", [&] { Query.Prior(); }},
      {"MoveBy", [&] { Query.MoveBy(-1); }},
      {"Last", [&] { Query.Last(); }},
      {"First", [&] { Query.First(); }},
      {"RecNo", [&] { Query.SetRecNo(1); }},
      {"Locate", [&] { Query.Locate("id", Variant(1), {}); }},
      {"Lookup", [&] { Query.Lookup("id", Variant(1), "note"); }},
      {"GotoBookmark", [&] { Query.GotoBookmark(TBookmark(ZtlBookmarkSize)); }},
  };
  Query.Open();
  for (const auto& [Name, Move] : Moves) {
    SCOPED_TRACE(Name);
    Query.MoveBy(30); // past the first batch
    const int RecNo = Query.GetRecNo();
    EXPECT_NE(MessageOf(Move).find(SDataSetUnidirectional), std::string::npos);
    // Refused before anything moved.
    EXPECT_EQ(Query.GetRecNo(), RecNo);
    EXPECT_EQ(Query.FieldByName("id")->GetAsInteger(), RecNo);
  }
  EXPECT_TRUE(Query.GetBookmark().empty());
}

TEST_F(SQLiteForward, AForwardOnlyQueryIsReadOnlyAndSetWhileClosed) {
  Query.SetReadOnly(false);
  Query.Open();
  EXPECT_FALSE(Query.CanModify());
  EXPECT_THROW(Query.Edit(), EDatabaseError);
  EXPECT_NE(MessageOf([&] { Query.SetUniDirectional(false); }).find(SDataSetOpen),
            std::string::npos);
  EXPECT_TRUE(Query.IsUniDirectional());
}

// The cursor on its own: rows let go cannot be reached again, rows ahead can.
TEST_F(SQLiteForward, TheCursorReportsAMoveToARowItLetGo) {
  Cursor->SetUniDirectional(true);
  ASSERT_TRUE(Cursor->OpenRead("SELECT id FROM t ORDER BY id"));
  ASSERT_TRUE(Cursor->MoveTo(500));
  ASSERT_TRUE(Cursor->FetchCurrent());
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInt64(), 501);
  EXPECT_FALSE(Cursor->MoveTo(2));
  EXPECT_EQ(Session->GetLastError(), LoadZtlStr(ZTL_ERR_CURS_BI_NOT_SUPP));
  EXPECT_FALSE(Cursor->MoveToFirst());
  EXPECT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsInt64(), 502);
  ASSERT_TRUE(Cursor->MoveToLast());
  EXPECT_EQ(Cursor->GetRecordCount(), Rows);
}

} // namespace
} // namespace ztl::testing
