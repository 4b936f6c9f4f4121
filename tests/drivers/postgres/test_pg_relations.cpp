// What the PostgreSQL session keeps of a result's table (name, columns, key):
// asked of the catalog once, asked again after this session's schema
// changes, and never used to read or write the wrong table or column after
// another connection changed the schema.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/drivers/postgres/PgTestSupport.h"

namespace ztl::testing {
namespace {

class PgRelationsTest : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (!Session)
      return;
    Exec("DROP TABLE IF EXISTS facts, facts_old CASCADE");
    Exec("CREATE TABLE facts(id int PRIMARY KEY, a varchar(10), b varchar(10))");
    Exec("INSERT INTO facts VALUES (1, 'a1', 'b1'), (2, 'a2', 'b2')");
  }
  void TearDown() override {
    if (Session)
      Session->Execute("DROP TABLE IF EXISTS facts, facts_old CASCADE");
  }

  static std::unique_ptr<TZantrelPgSession> NewSession() {
    auto S = std::make_unique<TZantrelPgSession>();
    AimAtCluster(*S);
    S->Open();
    return S;
  }

  static std::unique_ptr<TZantrelPgSQL> NewCursor(TZantrelPgSession& S) {
    auto C = std::make_unique<TZantrelPgSQL>();
    C->SetSession(&S);
    return C;
  }

  // The table, the key roles and names of the columns, and the rows.
  static std::string Picture(TZantrelPgSQL& C) {
    std::string P = C.GetBaseTable() + " updatable=" + std::to_string(C.GetUpdatable()) + "\n";
    for (const TZantrelFieldDef* D : C.GetFieldDefs())
      P += D->Name + "/" + std::to_string(D->KeyIndicator) + " ";
    P += "\n";
    C.MoveToFirst();
    while (C.FetchNext())
      for (std::int32_t I = 0; I < C.GetFieldCount(); ++I)
        if (C.GetFieldDefs().GetItem(I)->KeyIndicator != kiHiddenKeyField)
          P += C.IsFieldNull(I) ? std::string("NULL|") : C.GetFieldValue(Variant(I)).AsString() + "|";
    return P;
  }

  // Column 0 of the first row of SQL, read on a session of its own.
  static std::string Value(const std::string& SQL) {
    auto S = NewSession();
    auto C = NewCursor(*S);
    EXPECT_TRUE(C->OpenRead(SQL)) << S->GetLastError();
    return C->GetFieldValue(Variant(0)).AsString();
  }
};

TEST_F(PgRelationsTest, TheCatalogIsAskedOncePerTableUntilTheSchemaChanges) {
  auto C = NewCursor(*Session);
  Session->ResetStatistics();
  for (const char* SQL : {"SELECT * FROM facts", "SELECT id, a FROM facts WHERE id > 1",
                          "SELECT b FROM facts ORDER BY b"}) {
    ASSERT_TRUE(C->OpenRead(SQL)) << SQL << ": " << Session->GetLastError();
    EXPECT_EQ(C->GetBaseTable(), "public.facts") << SQL;
  }
  EXPECT_EQ(Stats().Relations, 1);

  // Every way this session changes a schema sends the next open to the
  // catalog again; reading and writing rows does not.
  auto Other = NewCursor(*Session);
  struct Case {
    const char* How;
    std::function<void()> Change;
    bool Asks;
  } Cases[] = {
      {"rows written", [&] { Exec("UPDATE facts SET b = b WHERE id = 1"); }, false},
      {"session", [&] { Exec("ALTER TABLE facts ADD COLUMN c int"); }, true},
      {"cursor", [&] { ASSERT_TRUE(Other->Execute("ALTER TABLE facts DROP COLUMN c", {})); }, true},
      {"script, DDL first",
       [&] {
         ASSERT_TRUE(Other->Execute("COMMENT ON TABLE facts IS 'x'; SELECT 1", {}))
             << Session->GetLastError();
       },
       true},
      {"session script, DDL first", [&] { Exec("CREATE INDEX facts_b ON facts(b); SELECT 1"); },
       true},
      {"rollback",
       [&] {
         Session->StartTransaction();
         Exec("ALTER TABLE facts ADD COLUMN d int");
         ASSERT_TRUE(Other->OpenRead("SELECT * FROM facts")) << Session->GetLastError();
         Session->Rollback();
       },
       true},
  };
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.How);
    ASSERT_TRUE(C->OpenRead("SELECT * FROM facts")) << Session->GetLastError();
    K.Change();
    Session->ResetStatistics();
    ASSERT_TRUE(C->OpenRead("SELECT id, a FROM facts")) << Session->GetLastError();
    EXPECT_EQ(Stats().Relations, K.Asks ? 1 : 0);
  }
}

// Each change made once by this session and once by another: the next
// open through the session that knew the table before shows and writes
// what a session that never saw it would.
TEST_F(PgRelationsTest, ASchemaChangedByThisOrAnotherSessionIsNeverWrittenThroughStaleFacts) {
  struct Case {
    const char* What;
    std::vector<const char*> Change;
    const char* SQL;    // opened after the change
    const char* Field;  // set to 'x' on the first row
    const char* Check;  // read after the write
    const char* Expect; // what it reads
  } Cases[] = {
      {"column added", {"ALTER TABLE facts ADD COLUMN c varchar(10)"},
       "SELECT * FROM facts ORDER BY id", "c", "SELECT a || b || c FROM facts WHERE id = 1",
       "a1b1x"},
      {"column dropped", {"ALTER TABLE facts DROP COLUMN a"}, "SELECT * FROM facts ORDER BY id",
       "b", "SELECT b FROM facts WHERE id = 1", "x"},
      {"column renamed", {"ALTER TABLE facts RENAME COLUMN a TO z"},
       "SELECT id, z FROM facts ORDER BY id", "z", "SELECT z || b FROM facts WHERE id = 1",
       "xb1"},
      {"two columns swap names",
       {"ALTER TABLE facts RENAME COLUMN a TO t", "ALTER TABLE facts RENAME COLUMN b TO a",
        "ALTER TABLE facts RENAME COLUMN t TO b"},
       "SELECT id, a FROM facts ORDER BY id", "a", "SELECT a || '|' || b FROM facts WHERE id = 1",
       "x|a1"},
      {"column retyped", {"ALTER TABLE facts ALTER COLUMN a TYPE varchar(20)"},
       "SELECT id, a FROM facts ORDER BY id", "a", "SELECT a || b FROM facts WHERE id = 1", "xb1"},
      {"dropped and made again without a key",
       {"DROP TABLE facts",
        "CREATE TABLE facts(id int, a varchar(10), b varchar(10))",
        "INSERT INTO facts VALUES (1, 'n1', 'm1'), (2, 'n2', 'm2')"},
       "SELECT id, a, b FROM facts ORDER BY id", "a", "SELECT a || b FROM facts WHERE id = 1",
       "xm1"},
      {"renamed, another made under its name",
       {"ALTER TABLE facts RENAME TO facts_old",
        "CREATE TABLE facts(id int PRIMARY KEY, a varchar(10), b varchar(10))",
        "INSERT INTO facts VALUES (1, 'n1', 'm1')"},
       "SELECT id, a, b FROM facts_old ORDER BY id", "a",
       "SELECT (SELECT a FROM facts_old WHERE id = 1) || (SELECT a FROM facts WHERE id = 1)",
       "xn1"},
      {"key moved",
       {"ALTER TABLE facts DROP CONSTRAINT facts_pkey", "ALTER TABLE facts ADD PRIMARY KEY (a)"},
       "SELECT id, a, b FROM facts ORDER BY id", "b", "SELECT b FROM facts WHERE id = 1", "x"},
  };
  for (const bool ByOther : {false, true}) {
    for (const Case& K : Cases) {
      SCOPED_TRACE(std::string(K.What) + (ByOther ? ", by another session" : ", by this one"));
      SetUp();
      Session->Close();
      Session->Open();
      // This session learns the table as it is before the change.
      auto C = NewCursor(*Session);
      ASSERT_TRUE(C->OpenRead("SELECT * FROM facts")) << Session->GetLastError();
      ASSERT_TRUE(C->OpenRead("SELECT id, a FROM facts")) << Session->GetLastError();
      auto Changer = ByOther ? NewSession() : nullptr;
      for (const char* SQL : K.Change)
        ASSERT_TRUE((ByOther ? *Changer : *Session).Execute(SQL)) << SQL;

      ASSERT_TRUE(C->OpenWrite(K.SQL)) << Session->GetLastError();
      C->SetFieldValue(Variant(K.Field), Variant("x"));
      // A key moved by another session is not seen before the write, which
      // finds the row by the key it was read with.
      ASSERT_TRUE(C->UpdateRecord()) << Session->GetLastError();
      EXPECT_EQ(Value(K.Check), K.Expect);

      auto Fresh = NewSession();
      auto F = NewCursor(*Fresh);
      ASSERT_TRUE(F->OpenRead(K.SQL)) << Fresh->GetLastError();
      auto Again = NewCursor(*Session);
      ASSERT_TRUE(Again->OpenRead(K.SQL)) << Session->GetLastError();
      EXPECT_EQ(Picture(*Again), Picture(*F));
    }
  }
}

} // namespace
} // namespace ztl::testing
