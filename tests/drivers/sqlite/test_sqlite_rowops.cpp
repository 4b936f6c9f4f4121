// Row operations of the SQLite cursor: updating, inserting and deleting
// rows of single-table results by primary key or hidden rowid, re-reading a
// row by key, and refusing everything else.
#include <gtest/gtest.h>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/SQLiteApi_p.h"
#include "framework/classes/Streams.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {

class SQLiteRowOps : public SQLiteTest {
protected:
  void SetUp() override {
    SQLiteTest::SetUp();
    Exec("CREATE TABLE c(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, "
         "city VARCHAR(20) DEFAULT 'Nowhere', note TEXT)");
    Exec("INSERT INTO c VALUES (1, 'Ada', 'Uppsala', 'first'), (2, 'Bruno', 'Porto', NULL)");
  }
  // The value of a column of the row with id Id, read freshly.
  std::string Stored(int Id, const std::string& Column) {
    auto Q = NewCursor();
    EXPECT_TRUE(Q->OpenRead("SELECT " + Column + " FROM c WHERE id = ?", {Id}));
    return Q->IsFieldNull(0) ? "NULL" : Q->GetFieldValue(0).AsString();
  }
};

TEST_F(SQLiteRowOps, UpdateWritesOnlyChangedColumnsByPrimaryKey) {
  ASSERT_TRUE(Cursor->OpenWrite("SELECT id, name, city, note FROM c ORDER BY id"));
  EXPECT_TRUE(Cursor->GetUpdatable());
  EXPECT_EQ(Cursor->GetFieldDefs().GetItem(0)->KeyIndicator, kiKeyField);
  Cursor->SetFieldValue("name", Variant("Ada L."));
  Cursor->SetFieldValue("note", Variant::Null());
  EXPECT_TRUE(Cursor->IsDirty());
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetRowsProcessed(), 1);
  EXPECT_FALSE(Cursor->IsDirty()); // the cursor now shows the stored row
  EXPECT_EQ(Stored(1, "name"), "Ada L.");
  EXPECT_EQ(Stored(1, "note"), "NULL");
  EXPECT_EQ(Stored(1, "city"), "Uppsala");
  // Nothing changed: nothing is written.
  ASSERT_TRUE(Cursor->UpdateRecord());
  EXPECT_EQ(Cursor->GetRowsProcessed(), 0);
  // The cached row shows the update when the cursor comes back to it.
  ASSERT_TRUE(Cursor->FetchNext());
  ASSERT_TRUE(Cursor->FetchPrior());
  EXPECT_EQ(Cursor->GetFieldValue("name").AsString(), "Ada L.");
}

TEST_F(SQLiteRowOps, WithoutTheKeyInTheResultAHiddenRowidFindsTheRow) {
  Exec("CREATE TABLE nokey(a INT, b TEXT)");
  Exec("INSERT INTO nokey VALUES (1, 'one'), (1, 'one')");
  for (const char* SQL : {"SELECT a, b FROM nokey", "SELECT name FROM c WHERE id = 2"}) {
    ASSERT_TRUE(Cursor->OpenWrite(SQL)) << SQL;
    EXPECT_TRUE(Cursor->GetUpdatable()) << SQL;
    const TZantrelFieldDef* Last = Cursor->GetFieldDefs().GetItem(Cursor->GetFieldCount() - 1);
    EXPECT_EQ(Last->KeyIndicator, kiHiddenKeyField) << SQL;
    EXPECT_EQ(Last->FieldType, ntInt64) << SQL;
  }
  // Two equal rows: the update changes exactly the one the cursor is on.
  ASSERT_TRUE(Cursor->OpenWrite("SELECT a, b FROM nokey"));
  Cursor->SetFieldValue("b", Variant("changed"));
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  auto Q = NewCursor();
  ASSERT_TRUE(Q->OpenRead("SELECT count(*) FROM nokey WHERE b = 'one'"));
  EXPECT_EQ(Q->GetFieldValue(0).AsInteger(), 1);
  ASSERT_TRUE(Cursor->DeleteRecord());
  ASSERT_TRUE(Q->OpenRead("SELECT count(*) FROM nokey"));
  EXPECT_EQ(Q->GetFieldValue(0).AsInteger(), 1);
}

TEST_F(SQLiteRowOps, InsertLeavesDefaultsToTheTableAndShowsTheStoredRow) {
  ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM c"));
  Cursor->Clear();
  Cursor->SetFieldValue("name", Variant("Chiara"));
  Cursor->SetFieldValue("note", Variant("new\nline"));
  ASSERT_TRUE(Cursor->InsertRecord()) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue("id").AsInt64(), 3);
  EXPECT_EQ(Cursor->GetFieldValue("city").AsString(), "Nowhere");
  EXPECT_EQ(Stored(3, "note"), "new\nline");
  // A WITHOUT ROWID table gives its key itself.
  Exec("CREATE TABLE w(k TEXT PRIMARY KEY, v INT DEFAULT 7) WITHOUT ROWID");
  ASSERT_TRUE(Cursor->Open("SELECT * FROM w", {}, false)); // empty: nothing to read first
  Cursor->Clear();
  Cursor->SetFieldValue("k", Variant("key"));
  ASSERT_TRUE(Cursor->InsertRecord()) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue("v").AsInteger(), 7);
}

TEST_F(SQLiteRowOps, DeleteRemovesTheRowAndAVanishedRowIsReported) {
  ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM c ORDER BY id"));
  ASSERT_TRUE(Cursor->DeleteRecord());
  EXPECT_EQ(Stored(2, "name"), "Bruno");
  EXPECT_FALSE(Cursor->DeleteRecord());
  EXPECT_EQ(Session->GetLastError(), "The row to delete is no longer in table \"c\"");
  EXPECT_EQ(Session->GetLastErrorCode(), -SQLITE_NOTFOUND);
  EXPECT_FALSE(Cursor->FetchCurrent());
  EXPECT_EQ(Session->GetLastError(), "The row is no longer in table \"c\"");
}

// SQLite lets rows of a rowid table share a NULL primary key; a write by
// such a key would hit both, so it is undone and reported.
TEST_F(SQLiteRowOps, AWriteTouchingMoreThanOneRowIsUndone) {
  Exec("CREATE TABLE d(k TEXT PRIMARY KEY, v INT)");
  Exec("INSERT INTO d VALUES (NULL, 1), (NULL, 2)");
  ASSERT_TRUE(Cursor->OpenWrite("SELECT k, v FROM d ORDER BY v"));
  Cursor->SetFieldValue("v", Variant(5));
  EXPECT_FALSE(Cursor->UpdateRecord());
  EXPECT_EQ(Session->GetLastError(),
            "The update would have changed 2 rows of table \"d\"; it was undone");
  auto Q = NewCursor();
  ASSERT_TRUE(Q->OpenRead("SELECT sum(v) FROM d"));
  EXPECT_EQ(Q->GetFieldValue(0).AsInteger(), 3);
  EXPECT_FALSE(Cursor->DeleteRecord());
  ASSERT_TRUE(Q->OpenRead("SELECT count(*) FROM d"));
  EXPECT_EQ(Q->GetFieldValue(0).AsInteger(), 2);
}

TEST_F(SQLiteRowOps, ResultsThatAreNotRowsOfOneTableAreReadOnly) {
  Exec("CREATE TABLE o(id INTEGER PRIMARY KEY, cid INT, total REAL)");
  Exec("CREATE VIEW cv AS SELECT id, name FROM c");
  Exec("CREATE TABLE wr(k TEXT PRIMARY KEY, v INT) WITHOUT ROWID");
  struct Case {
    const char* SQL;
    const char* Error;
  };
  const Case Cases[] = {
      {"SELECT c.id, c.name FROM c JOIN o ON o.cid = c.id", "The cursor is read-only"},
      {"SELECT c.id, c.name FROM c, o", "The cursor is read-only"},
      {"SELECT count(*) FROM c", "The cursor is read-only"},
      {"SELECT id, name || '!' FROM c", "The cursor is read-only"},
      {"SELECT DISTINCT id, name FROM c", "The cursor is read-only"},
      {"SELECT id, name FROM c GROUP BY id", "The cursor is read-only"},
      {"SELECT id, name FROM c UNION ALL SELECT id, name FROM c", "The cursor is read-only"},
      {"SELECT id, name FROM cv", "The cursor is read-only"},
      {"SELECT id, name FROM (SELECT * FROM c)", "The cursor is read-only"},
      {"SELECT id, name, name FROM c", "The cursor is read-only"},
      {"SELECT v FROM wr", "Cursor is missing rowid"},
  };
  for (const Case& C : Cases) {
    ASSERT_TRUE(Cursor->Open(C.SQL, {}, false)) << C.SQL << ": " << Session->GetLastError();
    EXPECT_FALSE(Cursor->GetUpdatable()) << C.SQL;
    EXPECT_FALSE(Cursor->UpdateRecord()) << C.SQL;
    EXPECT_EQ(Session->GetLastError(), C.Error) << C.SQL;
    EXPECT_LT(Session->GetLastErrorCode(), 0);
  }
  // A cursor opened read-only refuses writes even on a writable result.
  ASSERT_TRUE(Cursor->OpenRead("SELECT * FROM c"));
  EXPECT_FALSE(Cursor->InsertRecord());
  EXPECT_EQ(Session->GetLastError(), "The cursor is read-only");
}

TEST_F(SQLiteRowOps, FetchCurrentSeesAChangeMadeThroughAnotherConnection) {
  ASSERT_TRUE(Cursor->OpenRead("SELECT id, name FROM c ORDER BY id"));
  EXPECT_EQ(Cursor->GetFieldValue("name").AsString(), "Ada");
  TZantrelSQLiteSession Other;
  Other.SetDatabaseName(Session->GetDatabaseName());
  Other.Open();
  ASSERT_TRUE(Other.Execute("UPDATE c SET name = 'Ada (changed)' WHERE id = 1"))
      << Other.GetLastError();
  Session->ResetStatistics();
  ASSERT_TRUE(Cursor->FetchCurrent());
  EXPECT_EQ(Cursor->GetFieldValue("name").AsString(), "Ada (changed)");
  EXPECT_EQ(Stats().Rereads, 1);
  // Coming back later shows it too: the cached row was replaced.
  ASSERT_TRUE(Cursor->FetchNext());
  ASSERT_TRUE(Cursor->FetchPrior());
  EXPECT_EQ(Cursor->GetFieldValue("name").AsString(), "Ada (changed)");
}

TEST_F(SQLiteRowOps, WrittenBlobDataIsStoredOnceAndReadBack) {
  Exec("CREATE TABLE p(id INTEGER PRIMARY KEY, pic BLOB, note TEXT)");
  Exec("INSERT INTO p VALUES (1, x'0102', 'old')");
  ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM p"));
  TMemoryStream Picture;
  const std::uint8_t Bytes[] = {9, 8, 7, 0, 6};
  Picture.Write(Bytes, 5);
  Cursor->StreamToBlob("pic", &Picture);
  EXPECT_TRUE(Cursor->IsFieldDirty("pic"));
  EXPECT_FALSE(Cursor->IsFieldDirty("note"));
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  EXPECT_FALSE(Cursor->GetBlobManager()->BlobByName("pic")->GetModified());
  EXPECT_EQ(Cursor->GetBlobManager()->BlobByName("pic")->GetBlobSize(), 5);
  ASSERT_TRUE(Cursor->UpdateRecord());
  EXPECT_EQ(Cursor->GetRowsProcessed(), 0);
  auto Q = NewCursor();
  ASSERT_TRUE(Q->OpenRead("SELECT length(pic), hex(pic), note FROM p"));
  EXPECT_EQ(Q->GetFieldValue(1).AsString(), "0908070006");
  EXPECT_EQ(Q->GetFieldValue(2).AsString(), "old");
  // An emptied value is written as empty, not left alone.
  Cursor->GetBlobManager()->BlobByName("note")->Truncate();
  ASSERT_TRUE(Cursor->UpdateRecord());
  ASSERT_TRUE(Q->OpenRead("SELECT note FROM p"));
  EXPECT_FALSE(Q->IsFieldNull(0));
  EXPECT_EQ(Q->GetFieldValue(0).AsString(), "");
}

TEST_F(SQLiteRowOps, WritesInsideAUserTransactionRollBack) {
  Session->StartTransaction();
  ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM c ORDER BY id"));
  Cursor->SetFieldValue("city", Variant("Rome"));
  ASSERT_TRUE(Cursor->UpdateRecord());
  ASSERT_TRUE(Cursor->DeleteRecord());
  Session->Rollback();
  EXPECT_EQ(Stored(1, "city"), "Uppsala");
}

// An insert that a trigger skips stores no row; it is reported as such, not
// as a row that someone else removed.
TEST_F(SQLiteRowOps, AnInsertThatStoresNoRowSaysSo) {
  Exec("CREATE TABLE s(k INTEGER PRIMARY KEY, v INT)");
  Exec("CREATE TRIGGER s_skip BEFORE INSERT ON s BEGIN SELECT RAISE(IGNORE); END");
  ASSERT_TRUE(Cursor->Open("SELECT * FROM s", {}, false));
  Cursor->Clear();
  Cursor->SetFieldValue("v", Variant(1));
  EXPECT_FALSE(Cursor->InsertRecord());
  EXPECT_EQ(Session->GetLastError(),
            "The insert would have changed 0 rows of table \"s\"; it was undone");
}

} // namespace ztl::testing
