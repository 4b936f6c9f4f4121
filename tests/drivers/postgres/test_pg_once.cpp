// The PostgreSQL cursor's texts opened once: what the unnamed statement
// gives must be what a statement prepared under a name gives (columns, keys,
// the text sent, rows, errors), and a text opened again must notice when
// its table changed in between.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drivers/postgres/PgDataset.h"
#include "tests/drivers/postgres/PgTestSupport.h"

namespace ztl::testing {
namespace {

class PgOnceTest : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (!Session)
      return;
    Exec("DROP TABLE IF EXISTS keyed, loose CASCADE");
    Exec("CREATE TABLE keyed(id int PRIMARY KEY, name varchar(20), note text)");
    Exec("CREATE TABLE loose(a int, b varchar(10) COLLATE \"C\")");
    Exec("INSERT INTO keyed VALUES (1, 'one', 'n1'), (2, 'two', NULL)");
    Exec("INSERT INTO loose VALUES (1, 'x'), (1, 'x'), (2, NULL)");
    Exec("CREATE OR REPLACE VIEW loose_view AS SELECT a, b FROM loose");
  }
  void TearDown() override {
    if (Session)
      Session->Execute("DROP TABLE IF EXISTS keyed, loose CASCADE");
  }

  std::unique_ptr<TZantrelPgSQL> NewCursor() {
    auto C = std::make_unique<TZantrelPgSQL>();
    C->SetSession(Session.get());
    return C;
  }

  // Everything an application can see of an open cursor: columns with their
  // types, sizes and key roles, the text sent, whether rows can be written,
  // the collations and every row.
  static std::string Picture(TZantrelPgSQL& C) {
    std::string P = "sql=" + C.GetServerSQL() + " table=" + C.GetBaseTable() +
                    " updatable=" + std::to_string(C.GetUpdatable()) + "\n";
    for (const TZantrelFieldDef* D : C.GetFieldDefs())
      P += D->Name + ":" + std::to_string(D->FieldType) + "/" + std::to_string(D->Size) + "/" +
           std::to_string(D->Length) + "/" + std::to_string(D->KeyIndicator) + "/" +
           std::to_string(C.GetColumnCollation(D->Index)) + " ";
    P += "\n";
    C.MoveToFirst();
    while (C.FetchNext())
      for (std::int32_t I = 0; I < C.GetFieldCount(); ++I)
        P += C.IsFieldNull(I) ? std::string("NULL|")
                              : C.GetFieldValue(Variant(I)).AsString() + "|";
    return P;
  }
};

TEST_F(PgOnceTest, AnOpenOnceShowsWhatANamedStatementShows) {
  struct Case {
    const char* SQL;
    bool Once; // runs as the unnamed statement, no prepare of its own
  } Cases[] = {
      {"SELECT id * 2 AS twice, upper(name) FROM keyed ORDER BY id", true},
      {"SELECT id, name, note FROM keyed ORDER BY id", true},      // keyed: its own key
      {"SELECT name FROM keyed ORDER BY name", true},              // keyed, key not read
      {"SELECT * FROM loose ORDER BY a, b", true},                 // no key: the hidden ctid
      {"SELECT b FROM loose WHERE a = 1", true},                   // twins
      {"SELECT DISTINCT a FROM loose ORDER BY a", true},           // no room for the ctid
      {"SELECT a, b FROM loose_view ORDER BY a", true},            // a view: refuses the ctid
      {"SELECT k.id, l.b FROM keyed k JOIN loose l ON l.a = k.id ORDER BY 1, 2", true},
      {"SELECT 1 AS one WHERE false", true},
      {"SELECT count(*), max(b) FROM loose WHERE a > 0", true},     // an aggregate: no ctid
      {"SELECT a, count(*) FROM loose", true},                     // refused as written
      {"SELECT '$1' AS dollar FROM keyed", false},                 // what may be a marker
      {"SELECT ? FROM keyed", false},                              // "?" as a marker or operator
      {"SELECT count(*) FROM sys.systable", false},                // the catalog
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.SQL);
    auto Named = NewCursor();
    if (!Named->PrepareOpen(C.SQL)) {
      // A text the server refuses as written must be refused as it was.
      auto Once = NewCursor();
      const std::string Expected = Session->GetLastError();
      EXPECT_FALSE(Once->OpenRead(C.SQL));
      EXPECT_EQ(Session->GetLastError(), Expected);
      EXPECT_FALSE(Once->GetPreparedForOpen());
      continue;
    }
    ASSERT_TRUE(Named->OpenPrepared({}, true)) << Session->GetLastError();
    const std::string Expected = Picture(*Named);

    auto Once = NewCursor();
    Session->ResetStatistics();
    ASSERT_TRUE(Once->Open(C.SQL, {}, true)) << Session->GetLastError();
    EXPECT_EQ(Stats().OneShots, C.Once ? 1 : 0);
    if (C.Once) {
      EXPECT_EQ(Stats().Prepares, 0);
    }
    EXPECT_EQ(Picture(*Once), Expected);
    // Again on the same cursor: run again, the same answer.
    ASSERT_TRUE(Once->Open(C.SQL, {}, true)) << Session->GetLastError();
    EXPECT_EQ(Picture(*Once), Expected);
  }
}

TEST_F(PgOnceTest, FailuresLeaveWhatAFailedPrepareOrRunLeaves) {
  struct Case {
    const char* SQL;
    bool Prepares; // the failure comes at run time, after a good prepare
  } Cases[] = {
      {"SELECT nope FROM keyed", false},
      {"SELEC 1", false},
      {"SELECT a / (a - a) FROM loose", true},   // division by zero, with the ctid tried first
      {"SELECT 1 / (id - id) FROM keyed", true}, // an expression: no ctid
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.SQL);
    auto Named = NewCursor();
    const bool Prepared = Named->PrepareOpen(C.SQL);
    ASSERT_EQ(Prepared, C.Prepares) << Session->GetLastError();
    if (Prepared) {
      ASSERT_FALSE(Named->OpenPrepared({}, true));
    }
    const std::string Error = Session->GetLastError();
    const std::int32_t Code = Session->GetLastErrorCode();

    auto Once = NewCursor();
    EXPECT_FALSE(Once->OpenRead(C.SQL));
    EXPECT_EQ(Session->GetLastError(), Error);
    EXPECT_EQ(Session->GetLastErrorCode(), Code);
    EXPECT_EQ(Once->GetPreparedForOpen(), Named->GetPreparedForOpen());
    EXPECT_EQ(Once->GetFieldCount(), Named->GetFieldCount());
    EXPECT_FALSE(Once->GetOpened());
  }
}

TEST_F(PgOnceTest, AFailedRunIsNotRunAgain) {
  // What a failed run did outside the transaction (a sequence's step) must
  // happen once, as for a statement prepared under a name.
  Exec("DROP SEQUENCE IF EXISTS once_seq");
  Exec("CREATE SEQUENCE once_seq");
  const auto Next = [&] {
    auto C = NewCursor();
    EXPECT_TRUE(C->OpenRead("SELECT nextval('once_seq')")) << Session->GetLastError();
    return C->GetFieldValue(Variant(0)).AsInteger();
  };
  for (const char* SQL : {"SELECT nextval('once_seq') AS n, a / (a - a) AS q FROM loose",
                          "SELECT nextval('once_seq') AS n, 1 / (id - id) AS q FROM keyed"}) {
    SCOPED_TRACE(SQL);
    auto Named = NewCursor();
    ASSERT_TRUE(Named->PrepareOpen(SQL)) << Session->GetLastError();
    std::int64_t Before = Next();
    ASSERT_FALSE(Named->OpenPrepared({}, true));
    const std::int64_t NamedSteps = Next() - Before - 1;

    auto Once = NewCursor();
    Before = Next();
    ASSERT_FALSE(Once->OpenRead(SQL));
    EXPECT_EQ(Next() - Before - 1, NamedSteps);
  }
  Exec("DROP SEQUENCE once_seq");
}

TEST_F(PgOnceTest, ATextExecutedOnceDoesWhatAPreparedOneDoes) {
  struct Case {
    const char* SQL;
    std::vector<Variant> Values;
  } Cases[] = {
      {"INSERT INTO keyed VALUES (:id, :name, :id || '')", {Variant(7), Variant("seven")}},
      {"UPDATE loose SET b = 'u' WHERE a = 1", {}},
      {"UPDATE keyed SET name = 'k' WHERE id = 2 RETURNING id, name", {}},
      {"INSERT INTO keyed VALUES (1, 'again', NULL)", {}}, // fails at run time
      {"INSERT INTO nowhere VALUES (1)", {}},               // refused while analysed
      {"SELEC 1", {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.SQL);
    // Each side in a transaction of its own, rolled back, so both start
    // from the same rows.
    std::vector<std::string> Seen;
    for (const bool Once : {false, true}) {
      auto Cursor = NewCursor();
      Session->StartTransaction();
      Session->ResetStatistics();
      const TZtlVarParams Values(C.Values);
      const bool Ok = Once ? Cursor->Execute(C.SQL, Values)
                           : Cursor->PrepareExecute(C.SQL) && Cursor->ExecutePrepared(Values);
      if (Once) {
        EXPECT_EQ(Stats().Prepares, 0);
      }
      std::string Outputs;
      for (const TZantrelFieldDef* D : Cursor->GetOutVariables())
        Outputs += D->Name + "=" + Cursor->GetOutVar(Variant(D->Name)).AsString() + " ";
      Seen.push_back(std::to_string(Ok) + " " + Session->GetLastError() + " " +
                     std::to_string(Session->GetLastErrorCode()) + " prepared=" +
                     std::to_string(Cursor->GetPreparedForExecute()) +
                     " rows=" + std::to_string(Cursor->GetRowsProcessed()) + " " + Outputs);
      Session->Rollback();
    }
    EXPECT_EQ(Seen[1], Seen[0]);
  }

  // Executed again, the text is worth a name; from then on only its values
  // travel.
  auto Cursor = NewCursor();
  Session->ResetStatistics();
  for (int Id = 10; Id < 14; ++Id)
    ASSERT_TRUE(Cursor->Execute("INSERT INTO keyed (id) VALUES (:id)", {Id}))
        << Session->GetLastError();
  EXPECT_EQ(Stats().Prepares, 1);
  EXPECT_EQ(Stats().Executes, 4);
}

TEST_F(PgOnceTest, ExecSQLWithoutPrepareRunsInOneTrip) {
  auto Q = std::make_unique<TZantrelPgQuery>();
  Q->SetSession(Session.get());
  Q->GetSQL()->SetText("INSERT INTO keyed VALUES (:id, :name, NULL)");
  Session->ResetStatistics();
  for (int Id = 20; Id < 23; ++Id) {
    Q->ParamByName("id")->SetAsInteger(Id);
    Q->ParamByName("name")->SetAsString("n" + std::to_string(Id));
    Q->ExecSQL();
    EXPECT_EQ(Q->GetRowsAffected(), 1);
  }
  EXPECT_EQ(Stats().Prepares, 0);
  EXPECT_FALSE(Q->GetPrepared());
  auto Check = NewCursor();
  ASSERT_TRUE(Check->OpenRead("SELECT string_agg(name, ',' ORDER BY id) FROM keyed WHERE id >= 20"));
  EXPECT_EQ(Check->GetFieldValue(Variant(0)).AsString(), "n20,n21,n22");

  // Prepared by the application, it stays prepared on the server.
  Q->Prepare();
  const std::int64_t Prepared = Stats().Prepares;
  EXPECT_GE(Prepared, 1);
  Q->ParamByName("id")->SetAsInteger(30);
  Q->ExecSQL();
  Q->ParamByName("id")->SetAsInteger(31);
  Q->ExecSQL();
  EXPECT_EQ(Stats().Prepares, Prepared);
  Q->UnPrepare();

  // A text the server refuses fails as it did when prepared first, and
  // leaves the query unprepared.
  Q->GetSQL()->SetText("INSERT INTO nowhere VALUES (:id)");
  Q->ParamByName("id")->SetAsInteger(1);
  EXPECT_ANY_THROW(Q->ExecSQL());
  EXPECT_NE(Session->GetLastError().find("\"nowhere\" does not exist"), std::string::npos);
  EXPECT_FALSE(Q->GetPrepared());
}

TEST_F(PgOnceTest, InsideATransactionBlockTheTextIsPreparedUnderAName) {
  Session->StartTransaction();
  auto C = NewCursor();
  Session->ResetStatistics();
  ASSERT_TRUE(C->OpenRead("SELECT * FROM loose_view")) << Session->GetLastError();
  EXPECT_EQ(Stats().OneShots, 0);
  EXPECT_GE(Stats().Prepares, 1);
  // A refused ctid try would have aborted the transaction.
  ASSERT_TRUE(C->OpenRead("SELECT count(*) FROM loose")) << Session->GetLastError();
  EXPECT_EQ(C->GetFieldValue(Variant(0)).AsInteger(), 3);
  Session->Commit();
}

TEST_F(PgOnceTest, RowsOfATextOpenedOnceCanBeWrittenBack) {
  auto C = NewCursor();
  ASSERT_TRUE(C->OpenWrite("SELECT a, b FROM loose WHERE a = 2")) << Session->GetLastError();
  ASSERT_TRUE(C->GetUpdatable());
  C->SetFieldValue(Variant("b"), Variant("y"));
  ASSERT_TRUE(C->UpdateRecord()) << Session->GetLastError();
  auto Check = NewCursor();
  ASSERT_TRUE(Check->OpenRead("SELECT count(*) FROM loose WHERE b = 'y'"));
  EXPECT_EQ(Check->GetFieldValue(Variant(0)).AsInteger(), 1);
}

TEST_F(PgOnceTest, AReopenNoticesATableChangedInBetween) {
  const std::string SQL = "SELECT * FROM loose ORDER BY a";
  auto C = NewCursor();
  ASSERT_TRUE(C->OpenRead(SQL)) << Session->GetLastError();
  ASSERT_EQ(C->GetFieldCount(), 3); // a, b and the hidden ctid

  // The same shape again after the table was dropped and made anew, with a
  // key this time: rows come, read as before.
  Exec("DROP TABLE loose CASCADE");
  Exec("CREATE TABLE loose(a int PRIMARY KEY, b varchar(10))");
  Exec("INSERT INTO loose VALUES (5, 'z')");
  ASSERT_TRUE(C->OpenRead(SQL)) << Session->GetLastError();
  EXPECT_EQ(C->GetFieldValue(Variant("a")).AsInteger(), 5);

  // Another shape: refused as a named statement is, and a fresh open of the
  // text shows the table as it is now, with its key.
  Exec("ALTER TABLE loose ADD COLUMN c int");
  auto Named = NewCursor();
  ASSERT_TRUE(Named->PrepareOpen(SQL));
  Exec("ALTER TABLE loose DROP COLUMN c");
  ASSERT_FALSE(Named->OpenPrepared({}, true));
  const std::string Error = Session->GetLastError();
  Exec("ALTER TABLE loose ADD COLUMN d int");
  EXPECT_FALSE(C->OpenRead(SQL));
  EXPECT_EQ(Session->GetLastError(), Error);

  C->Unprepare();
  ASSERT_TRUE(C->OpenRead(SQL)) << Session->GetLastError();
  ASSERT_EQ(C->GetFieldCount(), 3);
  EXPECT_EQ(C->GetFieldDefs().GetItem(0)->KeyIndicator, kiKeyField);
  EXPECT_EQ(C->GetFieldDefs().GetItem(2)->Name, "d");
}

TEST_F(PgOnceTest, TheTableQuestionSurvivesTheApplicationDroppingPreparedStatements) {
  auto C = NewCursor();
  ASSERT_TRUE(C->OpenRead("SELECT id, name FROM keyed ORDER BY id")) << Session->GetLastError();
  EXPECT_TRUE(C->GetUpdatable());
  for (const char* Drop : {"DEALLOCATE ALL", "DISCARD ALL"}) {
    Exec(Drop);
    ASSERT_TRUE(C->OpenRead(std::string("SELECT id, note FROM keyed -- ") + Drop))
        << Drop << ": " << Session->GetLastError();
    EXPECT_TRUE(C->GetUpdatable()) << Drop;
    EXPECT_EQ(C->GetBaseTable(), "public.keyed") << Drop;
  }
}

} // namespace
} // namespace ztl::testing
