// Results as PostgreSQL gives them, through the cursor and the query
// dataset: ORDER BY positions beside the hidden row key, the server's own
// SQL (casts, dollar quotes, jsonb's "?" operators) reaching it unchanged,
// texts of several statements, values beyond the classic types (wide
// numerics, text outside any single-byte code page) and the order the
// server sorts a text column in.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drivers/common/ZtlDriverConsts.h"
#include "tests/drivers/postgres/PgTestSupport.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

class PgResults : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (!Session)
      return;
    // No primary key: rows are written through the hidden ctid.
    Exec("SET client_min_messages = warning; DROP TABLE IF EXISTS r; "
         "CREATE TABLE r (a int, b text); "
         "INSERT INTO r VALUES (3, 'x'); INSERT INTO r VALUES (1, 'z'); "
         "INSERT INTO r VALUES (2, 'y')");
    Cursor = std::make_unique<TZantrelPgSQL>();
    Cursor->SetSession(Session.get());
  }
  void TearDown() override {
    Cursor.reset();
    if (Session)
      Session->Execute("DROP TABLE IF EXISTS r; DROP TABLE IF EXISTS s");
  }

  std::unique_ptr<TZantrelPgQuery> NewQuery(const std::string& Text) {
    auto Q = std::make_unique<TZantrelPgQuery>();
    Q->SetSession(Session.get());
    Q->GetSQL()->SetText(Text);
    return Q;
  }

  // The first column of every row of SQL, read through the cursor.
  std::vector<std::int64_t> Column(const std::string& SQL) {
    std::vector<std::int64_t> Values;
    EXPECT_TRUE(Cursor->Open(SQL, {}, false)) << SQL << ": " << Session->GetLastError();
    while (Cursor->FetchNext())
      Values.push_back(Cursor->GetFieldValue(Variant(0)).AsInt64());
    return Values;
  }

  std::int64_t Count(const std::string& Where) {
    TZantrelPgSQL C;
    C.SetSession(Session.get());
    EXPECT_TRUE(C.OpenRead("SELECT count(*) FROM s WHERE " + Where)) << Session->GetLastError();
    return C.GetFieldValue(Variant(0)).AsInt64();
  }

  std::unique_ptr<TZantrelPgSQL> Cursor;
};

using V = std::vector<std::int64_t>;

TEST_F(PgResults, OrderByPositionsAndEveryShapeKeepTheirMeaning) {
  const struct {
    const char* SQL;
    V Rows;
    bool Updatable; // the driver could add its row key
  } Cases[] = {
      {"SELECT a FROM r ORDER BY 1", {1, 2, 3}, true},
      {"SELECT a FROM r ORDER BY 1 LIMIT 1", {1}, true},
      {"SELECT a FROM r ORDER BY 1 DESC OFFSET 1", {2, 1}, true},
      {"SELECT * FROM r ORDER BY 2", {3, 2, 1}, true},
      {"SELECT r.* FROM r ORDER BY 2 DESC", {1, 2, 3}, true},
      {"WITH c AS (SELECT 2 AS k) SELECT a FROM r WHERE a >= (SELECT k FROM c) ORDER BY 1",
       {2, 3},
       true},
      {"SELECT a FROM r WHERE a IN (SELECT a FROM r WHERE a > 1) ORDER BY 1", {2, 3}, true},
      {"SELECT a, b FROM r ORDER BY row_number() OVER (ORDER BY b DESC)", {1, 2, 3}, true},
      {"SELECT DISTINCT a FROM r ORDER BY 1", {1, 2, 3}, false},
      {"SELECT a FROM r GROUP BY a ORDER BY 1", {1, 2, 3}, false},
      {"SELECT a FROM r UNION SELECT 0 ORDER BY 1", {0, 1, 2, 3}, false},
      {"SELECT a FROM (SELECT a FROM r ORDER BY a DESC) s ORDER BY 1", {1, 2, 3}, false},
      {"SELECT a FROM r ORDER BY 1 FETCH FIRST 2 ROWS ONLY", {1, 2}, true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(Column(C.SQL), C.Rows) << C.SQL;
    EXPECT_EQ(Cursor->GetUpdatable(), C.Updatable) << C.SQL;
    EXPECT_EQ(Cursor->GetFieldName(0), "a") << C.SQL;
  }
}

TEST_F(PgResults, TheQueryDatasetShowsNoRowKeyAndWritesThroughIt) {
  auto Q = NewQuery("SELECT * FROM r ORDER BY 1");
  Q->SetReadOnly(false);
  Q->Open();
  ASSERT_EQ(Q->FieldCount(), 2);
  EXPECT_EQ(Q->Fields()[0]->FieldName(), "a");
  EXPECT_EQ(Q->FieldByName("a")->GetAsInteger(), 1);
  Q->Edit();
  Q->FieldByName("b")->SetAsString("one");
  Q->Post();
  Q->Close();
  ASSERT_TRUE(Cursor->OpenRead("SELECT b FROM r WHERE a = 1")) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsString(), "one");
}

TEST_F(PgResults, TheServersOwnSQLReachesItThroughTheQueryDataset) {
  const struct {
    const char* SQL;
    const char* Value;
  } Cases[] = {
      {"SELECT 7::int AS v", "7"},
      {"SELECT 'a' /* it's */ || '::' AS v", "a::"},
      {"SELECT 2 /* :p */ AS v -- :q", "2"},
      {"SELECT $$:a ' ?$$ || $t$:b$t$ AS v", ":a ' ?:b"},
      {"SELECT E'\\':x' AS v", "':x"},
      {"SELECT ((ARRAY[1,2,3])[2:3])::text AS v", "{2,3}"},
      {"SELECT make_interval(days := 2)::text AS v", "2 days"},
      {"SELECT ('{\"a\":1}'::jsonb ? 'a')::text AS v", "true"},
      {"SELECT ('{\"a\":1}'::jsonb ?| array['b','a'])::text AS v", "true"},
      {"SELECT ('{\"a\":1}'::jsonb ?& array['b','a'])::text AS v", "false"},
  };
  for (const auto& C : Cases) {
    auto Q = NewQuery(C.SQL);
    EXPECT_EQ(Q->GetParamsCount(), 0) << C.SQL;
    Q->Open();
    EXPECT_EQ(Q->FieldByName("v")->GetAsString(), C.Value) << C.SQL;
  }
  // A named parameter beside the operator.
  auto Q = NewQuery("SELECT (CAST(:j AS jsonb) ? 'k')::text AS v");
  ASSERT_EQ(Q->GetParamsCount(), 1);
  Q->ParamByName("j")->SetAsString("{\"k\": 0}");
  Q->Open();
  EXPECT_EQ(Q->FieldByName("v")->GetAsString(), "true");
}

TEST_F(PgResults, QuestionMarksAreMarkersOnlyWherePositionalValuesAreGiven) {
  ASSERT_TRUE(Cursor->OpenRead("SELECT ('{\"a\":1}'::jsonb ? 'a')::text")) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsString(), "true");
  ASSERT_TRUE(Cursor->OpenRead("SELECT (?::jsonb ?? ?)::text, (?::jsonb ??| array['z'])::text",
                               {Variant("{\"a\":1}"), Variant("a"), Variant("{\"z\":1}")}))
      << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue(Variant(0)).AsString(), "true");
  EXPECT_EQ(Cursor->GetFieldValue(Variant(1)).AsString(), "true");
  // Prepared before its values: prepared again once they come.
  Exec("CREATE TABLE s (n int)");
  ASSERT_TRUE(Cursor->Prepare("INSERT INTO s VALUES (?)")) << Session->GetLastError();
  ASSERT_TRUE(Cursor->ExecutePrepared({Variant(5)})) << Session->GetLastError();
  ASSERT_TRUE(Cursor->ExecutePrepared({Variant(6)})) << Session->GetLastError();
  EXPECT_EQ(Count("n IN (5, 6)"), 2);
}

TEST_F(PgResults, SeveralStatementsRunInOrderAndStopAtTheFirstError) {
  Exec("CREATE TABLE s (n int PRIMARY KEY)");
  ASSERT_TRUE(Cursor->Execute("INSERT INTO s VALUES (1); INSERT INTO s VALUES (2);"))
      << Session->GetLastError();
  EXPECT_EQ(Cursor->GetRowsProcessed(), 2);
  EXPECT_EQ(Count("true"), 2);

  // The second fails: its text and SQLSTATE are reported, and the text ran
  // as one transaction, so the first is not left done either.
  EXPECT_FALSE(Cursor->Execute("INSERT INTO s VALUES (3); INSERT INTO s VALUES (1); "
                               "INSERT INTO s VALUES (4)"));
  EXPECT_NE(Session->GetLastError().find("duplicate key"), std::string::npos)
      << Session->GetLastError();
  EXPECT_EQ(Session->GetLastErrorCode(), PgErrorCode("23505"));
  EXPECT_EQ(Count("n IN (3, 4)"), 0);

  EXPECT_FALSE(Cursor->Execute("INSERT INTO s VALUES (?); INSERT INTO s VALUES (9)", {Variant(8)}));
  EXPECT_EQ(Session->GetLastError(), SZtlScriptWithParams);
  EXPECT_EQ(Count("n IN (8, 9)"), 0);

  // Nothing to run is no error, however it is written.
  for (const char* Empty : {"-- nothing\n/* at all */", ";", "  "})
    EXPECT_TRUE(Cursor->Execute(Empty)) << Empty << ": " << Session->GetLastError();

  // Through the query dataset.
  auto Q = NewQuery("INSERT INTO s VALUES (10);\nUPDATE s SET n = n + 100 WHERE n = 10");
  Q->ExecSQL();
  EXPECT_EQ(Count("n = 110"), 1);
  Q->GetSQL()->SetText("INSERT INTO s VALUES (:a); INSERT INTO s VALUES (12)");
  Q->ParamByName("a")->SetAsInteger(11);
  EXPECT_EQ(test::MessageOf([&] { Q->ExecSQL(); }), SZtlScriptWithParams);

  // One statement is still prepared once and reused.
  Stats() = TZantrelPgStatistics{};
  for (int N = 20; N < 23; ++N)
    ASSERT_TRUE(Cursor->Execute("INSERT INTO s VALUES (?)", {Variant(N)})) << Session->GetLastError();
  EXPECT_EQ(Stats().Prepares, 1);
}

TEST_F(PgResults, WideNumericsAndAveragesReadAsNumbers) {
  auto Q = NewQuery("SELECT factorial(60) AS f, avg(a) AS m, sum(a::numeric) AS t FROM r");
  Q->Open();
  const std::string F = "8320987112741390144276341183223364380754172606361245952449277696409600000"
                        "000000000";
  EXPECT_EQ(Q->FieldByName("f")->GetAsString(), F);
  EXPECT_DOUBLE_EQ(Q->FieldByName("f")->GetAsFloat(), 8.320987112741390144e81);
  EXPECT_DOUBLE_EQ(Q->FieldByName("m")->GetAsFloat(), 2.0);
  EXPECT_EQ(Q->FieldByName("t")->GetAsInteger(), 6);
}

TEST_F(PgResults, TextKeepsEveryCharacterAndFieldsHoldItsBytes) {
  Exec("CREATE TABLE s (n int PRIMARY KEY, v varchar(5), t text)");
  const std::string Accented = "\xC3\xA9\xC3\xA0\xC3\xBC\xC3\xB6\xC3\xA7"; // five letters, ten bytes
  const std::string Mixed = "\xC5\x82 \xD0\x96\xD0\xB8 \xE4\xB8\xAD\xE6\x96\x87";
  ASSERT_TRUE(Cursor->Execute("INSERT INTO s VALUES (1, ?, ?)", {Variant(Accented), Variant(Mixed)}))
      << Session->GetLastError();
  auto Q = NewQuery("SELECT n, v, t, chr(322) AS c FROM s");
  Q->SetReadOnly(false);
  Q->Open();
  EXPECT_EQ(Q->FieldByName("v")->Size(), 20u);
  EXPECT_EQ(Q->FieldByName("v")->GetAsString(), Accented);
  EXPECT_EQ(Q->FieldByName("t")->GetAsString(), Mixed);
  EXPECT_EQ(Q->FieldByName("c")->GetAsString(), "\xC5\x82");
  Q->Close();
  Q->GetSQL()->SetText("SELECT n, v FROM s");
  Q->Open();
  Q->Edit();
  Q->FieldByName("v")->SetAsString("\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96");
  Q->Post();
  EXPECT_EQ(Count("char_length(v) = 5 AND v = repeat(chr(1046), 5)"), 1);
}

TEST_F(PgResults, TextColumnsSayHowTheServerOrdersThem) {
  // The test cluster is initialised with the C locale, so the database's
  // default collation orders by bytes.
  Exec("CREATE TABLE s (d text, c text COLLATE \"C\", p varchar(5) COLLATE \"POSIX\", "
       "u text COLLATE ucs_basic, f char(3), i int)");
  std::string Other;
  {
    TZantrelPgSQL Find;
    Find.SetSession(Session.get());
    ASSERT_TRUE(Find.Open("SELECT quote_ident(collname) FROM pg_collation WHERE collname NOT IN "
                          "('C', 'POSIX', 'ucs_basic', 'default') AND collencoding IN (-1, 6) "
                          "ORDER BY collname LIMIT 1",
                          {}, true));
    if (Find.FetchNext())
      Other = Find.GetFieldValue(Variant(0)).AsString();
  }
  if (!Other.empty())
    Exec("ALTER TABLE s ADD COLUMN o text COLLATE " + Other);
  ASSERT_TRUE(Cursor->Open(std::string("SELECT d, c, p, u, f, i, upper(c) AS e, d || c AS j") +
                               (Other.empty() ? "" : ", o") + " FROM s",
                           {}, true))
      << Session->GetLastError();
  const TZantrelCollation Expected[] = {coBinary, coBinary, coBinary,  coBinary,
                                        coRTrim,  coUnknown, coUnknown, coUnknown};
  for (std::int32_t I = 0; I < 8; ++I)
    EXPECT_EQ(Cursor->GetColumnCollation(I), Expected[I]) << Cursor->GetFieldName(I);
  if (!Other.empty()) {
    EXPECT_EQ(Cursor->GetColumnCollation(8), coUnknown) << Other;
  }
  EXPECT_EQ(Cursor->GetColumnCollation(99), coUnknown);
  EXPECT_EQ(Cursor->GetColumnCollation(-1), coUnknown);
}

} // namespace
} // namespace ztl::testing
