// The PostgreSQL cursor: type mapping and value round trips, nulls, memos
// and blobs, statement reuse, navigation across window fills, row
// operations and re-reading, and markers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "drivers/postgres/PgMarkers_p.h"
#include "drivers/postgres/PgTypes_p.h"
#include "framework/variant/DateUtils.h"
#include "tests/drivers/postgres/PgTestSupport.h"

namespace ztl::testing {
namespace {

class PgCursorTest : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (!Session)
      return;
    Cursor = std::make_unique<TZantrelPgSQL>();
    Cursor->SetSession(Session.get());
  }
  void TearDown() override { Cursor.reset(); }

  std::unique_ptr<TZantrelPgSQL> Cursor;
};

TEST(PgMarkersTest, RewritesMarkersOutsideWhatTheServerReadsAsLiterals) {
  struct Case {
    const char* In;
    bool Positional; // positional values are given
    const char* Out;
    int Count;
  } Cases[] = {
      {"SELECT ? , ?", true, "SELECT $1 , $2", 2},
      {"WHERE a = :x OR b = :y OR c = :X", false, "WHERE a = $1 OR b = $2 OR c = $1", 2},
      {"SELECT '?:x', \"a?\" -- ?\n, ?", true, "SELECT '?:x', \"a?\" -- ?\n, $1", 1},
      {"SELECT 1::int, /* :a /* ? */ */ :b", false, "SELECT 1::int, /* :a /* ? */ */ $1", 1},
      {"SELECT $$ ? :a $$, $q$?$q$, E'\\'?', ?", true, "SELECT $$ ? :a $$, $q$?$q$, E'\\'?', $1",
       1},
      // Casts, assignments, slices and escape strings hold no marker.
      {"SELECT :a::int, x := 1, arr[1:2], arr[:n], E'\\' :b'", false,
       "SELECT $1::int, x := 1, arr[1:2], arr[:n], E'\\' :b'", 1},
      // Named texts and texts without values keep "?" as the operator.
      {"SELECT j ? 'k', j ?| :keys, j ?& :keys", false, "SELECT j ? 'k', j ?| $1, j ?& $1", 1},
      {"SELECT j ? 'k', j ?| :keys", true, "SELECT j ? 'k', j ?| $1", 1},
      {"SELECT j ? 'k', j ?? 'x'", false, "SELECT j ? 'k', j ?? 'x'", 0},
      // With positional values "??" is the literal operator.
      {"SELECT j ?? ?, j ??| ?", true, "SELECT j ? $1, j ?| $2", 2},
      // Neither ":" nor "?" anywhere: the text goes as written.
      {"SELECT 'it''s', $$x$$ FROM t -- done", true, "SELECT 'it''s', $$x$$ FROM t -- done", 0},
  };
  for (const Case& C : Cases) {
    const TPgMarkers M = PgRewriteMarkers(C.In, C.Positional);
    EXPECT_EQ(M.Text, C.Out) << C.In;
    EXPECT_EQ(M.Count, C.Count) << C.In;
  }
}

TEST(PgMarkersTest, CountsStatementsOutsideLiteralsAndComments) {
  const struct {
    const char* Text;
    int Count;
  } Cases[] = {
      {"", 0},
      {"  -- only a comment\n /* and ; another */ ;; ", 0},
      {"SELECT 1", 1},
      {"SELECT 1;", 1},
      {"SELECT ';'; -- ;\n", 1},
      {"INSERT INTO t VALUES (1); INSERT INTO t VALUES (2)", 2},
      {"DO $$ BEGIN PERFORM 1; END $$; SELECT 2", 2},
      {"SELECT E'\\';'; SELECT \"a;b\"", 2},
      // Without a semicolon: one statement unless only blanks and comments.
      {" \t\r\n\v\f", 0},
      {"-- a\n/* b /* nested */ */\n", 0},
      {"/* unterminated SELECT 1", 0},
      {"-- a\nSELECT 1", 1},
      {"/**/-", 1},
      {"\xA0", 1}, // a byte the server does not read as a blank, whatever the locale
  };
  for (const auto& C : Cases)
    EXPECT_EQ(PgCountStatements(C.Text), C.Count) << C.Text;
}

TEST(PgMarkersTest, AppendsTheHiddenKeyOnlyWhereItKeepsTheMeaning) {
  const struct {
    const char* In;
    const char* Out; // "" when the shape is left alone
  } Cases[] = {
      {"SELECT a FROM t ORDER BY 1", "SELECT a , ctid FROM t ORDER BY 1"},
      {"select * from t limit 1 offset 2", "select * , ctid from t limit 1 offset 2"},
      {"SELECT a IS DISTINCT FROM b, extract(year FROM d) FROM t",
       "SELECT a IS DISTINCT FROM b, extract(year FROM d) , ctid FROM t"},
      {"WITH c AS (SELECT 1 FROM u) SELECT a FROM t", "WITH c AS (SELECT 1 FROM u) SELECT a , ctid FROM t"},
      {"SELECT a, row_number() OVER (ORDER BY a) FROM t",
       "SELECT a, row_number() OVER (ORDER BY a) , ctid FROM t"},
      {"SELECT DISTINCT a FROM t", ""},
      {"SELECT a FROM t GROUP BY a", ""},
      {"SELECT a FROM t HAVING count(*) > 0", ""},
      {"SELECT a FROM t UNION SELECT a FROM u", ""},
      {"SELECT a INTO n FROM t", ""},
      {"(SELECT a FROM t) ORDER BY 1", ""},
      {"WITH d AS (DELETE FROM u RETURNING *) INSERT INTO t SELECT 1 FROM d", ""},
      {"SELECT 1", ""},
      {"SELECT a FROM t; SELECT 2", ""},
      // Words longer than any keyword are still words.
      {"SELECT a_rather_long_column_name FROM a_rather_long_table_name_union",
       "SELECT a_rather_long_column_name , ctid FROM a_rather_long_table_name_union"},
      {"SeLeCt a\tfRoM\nt", "SeLeCt a\t, ctid fRoM\nt"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(PgAppendSelectColumn(C.In, "ctid"), C.Out) << C.In;
}

TEST(PgValuesTest, ReadsTheServersNumberTextsExactly) {
  const double Inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* Text;
    bool Ok;
    double Value; // compared bit for bit; NaN by kind
  } Cases[] = {
      {"1.5", true, 1.5},
      {"-0", true, -0.0},
      {"123.4500", true, 123.45},
      {"0.1", true, 0.1},
      {"1.7976931348623157e+308", true, 1.7976931348623157e+308},
      {"4.9406564584124654e-324", true, 4.9406564584124654e-324},
      {"Infinity", true, Inf},
      {"-Infinity", true, -Inf},
      {"NaN", true, std::numeric_limits<double>::quiet_NaN()},
      // A numeric beyond the double range reads as it always did.
      {"1e400", true, Inf},
      {"-1e400", true, -Inf},
      {"1e-400", true, 0.0},
      {"", false, 0},
      {"1.5x", false, 0},
      {" 1", false, 0},
      {"1,5", false, 0},
  };
  for (const auto& C : Cases) {
    std::uint8_t Dest[8] = {};
    const std::string Why = PgParseValue(ntFloat, C.Text, Dest, 8);
    EXPECT_EQ(Why.empty(), C.Ok) << C.Text << ": " << Why;
    if (!C.Ok || !Why.empty())
      continue;
    double V;
    std::memcpy(&V, Dest, sizeof V);
    if (std::isnan(C.Value))
      EXPECT_TRUE(std::isnan(V)) << C.Text;
    else
      EXPECT_EQ(std::memcmp(&V, &C.Value, sizeof V), 0) << C.Text << " read as " << V;
  }
}

TEST_F(PgCursorTest, EveryLogicalTypeRoundTrips) {
  Exec("CREATE TEMP TABLE types (i2 int2, i4 int4, i8 int8, f4 float4, f8 float8, "
       "n numeric(10,2), nw numeric(30,10), m money, b bool, d date, t time, ts timestamp, "
       "vc varchar(5), ch char(3), tx text, by bytea)");
  ASSERT_TRUE(Cursor->Execute(
      "INSERT INTO types VALUES (?, ?, ?, ?, ?, ?, ?, ?::numeric, ?, ?, "
      "?, ?, ?, ?, ?, ?)",
      {Variant(std::int16_t{-7}), 2147483647, std::int64_t{1} << 40, 1.5, 0.1, 12345678.91,
       "12345678901234567890.0123456789", Currency::FromRaw(-123456700), true,
       Variant::FromDateTime(EncodeDate(1999, 12, 31)),
       Variant::FromDateTime(EncodeTime(13, 14, 15, 16)),
       Variant::FromDateTime(EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 500)), "h\xC3\xA9llo",
       "ab", std::string(3000, 'x'), VarArrayFromBytes("\0\1\xFF", 3)}))
      << Session->GetLastError();
  ASSERT_TRUE(Cursor->OpenRead("SELECT * FROM types", {})) << Session->GetLastError();
  const struct {
    const char* Name;
    TZantrelFieldTypes Type;
    std::int32_t Size;
  } Expected[] = {
      {"i2", ntInteger, 4}, {"i4", ntInteger, 4}, {"i8", ntInt64, 8},   {"f4", ntFloat, 8},
      {"f8", ntFloat, 8},   {"n", ntFloat, 8},    {"nw", ntString, 33}, {"m", ntCurrency, 8},
      {"b", ntBoolean, 2},  {"d", ntDate, 8},     {"t", ntTime, 8},     {"ts", ntDateTime, 8},
      {"vc", ntString, 21}, {"ch", ntString, 13},  {"tx", ntMemo, 0},    {"by", ntBlob, 0}};
  for (const auto& E : Expected) {
    EXPECT_EQ(Cursor->GetFieldType(Variant(E.Name)), E.Type) << E.Name;
    EXPECT_EQ(Cursor->GetFieldSize(Variant(E.Name)), E.Size) << E.Name;
  }
  EXPECT_EQ(Cursor->GetFieldValue(Variant("i2")).AsInteger(), -7);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("i4")).AsInteger(), 2147483647);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("i8")).AsInt64(), std::int64_t{1} << 40);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("f4")).AsDouble(), 1.5);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("f8")).AsDouble(), 0.1);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("n")).AsDouble(), 12345678.91);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("nw")).AsString(), "12345678901234567890.0123456789");
  EXPECT_EQ(Cursor->GetFieldValue(Variant("m")).AsCurrency().Raw(), -123456700);
  EXPECT_TRUE(Cursor->GetFieldValue(Variant("b")).AsBoolean());
  EXPECT_EQ(Cursor->GetFieldValue(Variant("d")).AsDateTime(), EncodeDate(1999, 12, 31));
  EXPECT_NEAR(Cursor->GetFieldValue(Variant("t")).AsDateTime(), EncodeTime(13, 14, 15, 16), 1e-9);
  EXPECT_NEAR(Cursor->GetFieldValue(Variant("ts")).AsDateTime(),
              EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 500), 1e-9);
  EXPECT_EQ(Cursor->GetFieldValue(Variant("vc")).AsString(), "h\xC3\xA9llo");
  EXPECT_EQ(Cursor->GetFieldValue(Variant("ch")).AsString(), "ab ");
  EXPECT_EQ(Cursor->GetFieldValue(Variant("tx")).AsString(), std::string(3000, 'x'));
  const Variant By = Cursor->GetFieldValue(Variant("by"));
  ASSERT_EQ(By.Bytes().size(), 3u);
  EXPECT_EQ(By.Bytes()[2], 0xFF);
}

TEST_F(PgCursorTest, NullsAreFlaggedAndUnfitValuesNameTheColumn) {
  ASSERT_TRUE(Cursor->OpenRead("SELECT NULL::int4 AS a, NULL::text AS b, NULL::bytea AS c", {}));
  for (const char* N : {"a", "b", "c"})
    EXPECT_TRUE(Cursor->IsFieldNull(Variant(N))) << N;
  EXPECT_FALSE(Cursor->OpenRead("SELECT 'infinity'::date AS far", {}));
  EXPECT_NE(Session->GetLastError().find("\"far\""), std::string::npos) << Session->GetLastError();
  EXPECT_LT(Session->GetLastErrorCode(), 0);
}

TEST_F(PgCursorTest, ServerErrorsCarryTheSqlState) {
  EXPECT_FALSE(Cursor->OpenRead("SELECT * FROM missing_table", {}));
  EXPECT_EQ(Session->GetLastErrorCode(), PgErrorCode("42P01"));
  EXPECT_FALSE(Cursor->Execute("SELECT 1/0", {}));
  EXPECT_EQ(Session->GetLastErrorCode(), PgErrorCode("22012"));
  EXPECT_FALSE(Cursor->OpenRead("SELECT ?::int", {1, 2}));
  EXPECT_NE(Session->GetLastError().find("takes 1 parameter values, 2 were given"),
            std::string::npos);
}

TEST_F(PgCursorTest, SameShapeReopenSkipsPrepareAndBind) {
  const std::string SQL = "SELECT :a::int + :b::int + :a::int AS s";
  ASSERT_TRUE(Cursor->OpenRead(SQL, {1, 2})) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue(Variant("s")).AsInteger(), 4);
  Session->ResetStatistics();
  ASSERT_TRUE(Cursor->OpenRead(SQL, {10, 20}));
  EXPECT_EQ(Cursor->GetFieldValue(Variant("s")).AsInteger(), 40);
  EXPECT_EQ(Stats().Prepares, 0);
  EXPECT_EQ(Stats().Binds, 0);
  EXPECT_EQ(Stats().Opens, 1);
  ASSERT_TRUE(Cursor->OpenRead(SQL, {1.0, 2})) << Session->GetLastError(); // Double: new shape
  EXPECT_EQ(Stats().Binds, 1);
}

TEST_F(PgCursorTest, NavigatesBothWaysAcrossWindowFills) {
  Cursor->SetMaxFetchCount(4);
  ASSERT_TRUE(Cursor->OpenRead("SELECT g FROM generate_series(0, 9) g", {}));
  EXPECT_EQ(Cursor->GetRecordCount(), 10);
  for (int I = 1; I < 10; ++I) {
    ASSERT_TRUE(Cursor->FetchNext());
    EXPECT_EQ(Cursor->GetRecNo(), I);
    EXPECT_EQ(Cursor->GetFieldValue(Variant("g")).AsInteger(), I);
  }
  EXPECT_FALSE(Cursor->FetchNext());
  EXPECT_TRUE(Cursor->GetEof());
  for (int I = 9; I >= 0; --I) {
    ASSERT_TRUE(Cursor->FetchPrior());
    EXPECT_EQ(Cursor->GetFieldValue(Variant("g")).AsInteger(), I);
  }
  EXPECT_FALSE(Cursor->FetchPrior());
  EXPECT_TRUE(Cursor->GetBof());
  EXPECT_GE(Stats().Fills, 5);
  ASSERT_TRUE(Cursor->MoveTo(7));
  ASSERT_TRUE(Cursor->FetchCurrent());
  EXPECT_EQ(Cursor->GetFieldValue(Variant("g")).AsInteger(), 7);
  ASSERT_TRUE(Cursor->MoveToLast());
  ASSERT_TRUE(Cursor->FetchPrior());
  EXPECT_EQ(Cursor->GetRecNo(), 9);
}

class PgRowOpsTest : public PgCursorTest {};

TEST_F(PgRowOpsTest, UpdateInsertDeleteByPrimaryKey) {
  Exec("CREATE TEMP TABLE pk (id serial PRIMARY KEY, name varchar(10), note text, data bytea)");
  Exec("INSERT INTO pk (name) VALUES ('a'), ('b')");
  ASSERT_TRUE(Cursor->OpenWrite("SELECT id, name, note, data FROM pk ORDER BY id", {}));
  EXPECT_TRUE(Cursor->GetUpdatable());
  Cursor->SetFieldValue(Variant("name"), "A2");
  Cursor->SetFieldValue(Variant("note"), "memo");
  Cursor->SetFieldValue(Variant("data"), VarArrayFromBytes("xy", 2));
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  EXPECT_FALSE(Cursor->IsDirty());
  Cursor->Clear();
  Cursor->SetFieldValue(Variant("name"), "c");
  ASSERT_TRUE(Cursor->InsertRecord()) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue(Variant("id")).AsInteger(), 3); // the serial's default
  ASSERT_TRUE(Cursor->FetchNext());
  ASSERT_TRUE(Cursor->DeleteRecord()) << Session->GetLastError();

  auto Check = std::make_unique<TZantrelPgSQL>();
  Check->SetSession(Session.get());
  ASSERT_TRUE(Check->OpenRead("SELECT string_agg(id || name || coalesce(note, '') || "
                              "coalesce(encode(data, 'escape'), ''), ',' ORDER BY id) AS s FROM pk",
                              {}));
  EXPECT_EQ(Check->GetFieldValue(Variant("s")).AsString(), "1A2memoxy,3c");
}

TEST_F(PgRowOpsTest, HiddenCtidKeysTablesWithoutPrimaryKey) {
  Exec("CREATE TEMP TABLE nokey (n int, s varchar(4))");
  Exec("INSERT INTO nokey VALUES (1, 'x'), (1, 'x')"); // twins told apart by ctid
  ASSERT_TRUE(Cursor->OpenWrite("SELECT n, s FROM nokey", {}));
  EXPECT_TRUE(Cursor->GetUpdatable());
  EXPECT_EQ(Cursor->GetFieldCount(), 3);
  EXPECT_EQ(Cursor->GetFieldDefs().GetItem(2)->KeyIndicator, kiHiddenKeyField);
  Cursor->SetFieldValue(Variant("s"), "y");
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  Cursor->SetFieldValue(Variant("s"), "z"); // the new ctid finds the row again
  ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  ASSERT_TRUE(Cursor->OpenRead("SELECT string_agg(s, ',' ORDER BY s) AS s FROM nokey", {}));
  EXPECT_EQ(Cursor->GetFieldValue(Variant("s")).AsString(), "x,z");
}

TEST_F(PgRowOpsTest, JoinsAndExpressionsAreReadOnly) {
  Exec("CREATE TEMP TABLE ro (id int PRIMARY KEY)");
  Exec("INSERT INTO ro VALUES (1)");
  for (const char* SQL : {"SELECT id + 1 AS x FROM ro", "SELECT count(*) FROM ro",
                          "SELECT DISTINCT id * 2 FROM ro"}) {
    ASSERT_TRUE(Cursor->OpenWrite(SQL, {})) << SQL;
    EXPECT_FALSE(Cursor->GetUpdatable()) << SQL;
    EXPECT_FALSE(Cursor->DeleteRecord()) << SQL;
  }
}

TEST_F(PgRowOpsTest, FetchCurrentSeesAChangeFromAnotherConnection) {
  Exec("CREATE TABLE shared_rows (id int PRIMARY KEY, v int)");
  Exec("INSERT INTO shared_rows VALUES (1, 10)");
  ASSERT_TRUE(Cursor->OpenWrite("SELECT id, v FROM shared_rows", {}));
  TZantrelPgSession Other;
  AimAtCluster(Other);
  Other.Open();
  ASSERT_TRUE(Other.Execute("UPDATE shared_rows SET v = 11"));
  EXPECT_EQ(Cursor->GetFieldValue(Variant("v")).AsInteger(), 10);
  ASSERT_TRUE(Cursor->FetchCurrent());
  EXPECT_EQ(Cursor->GetFieldValue(Variant("v")).AsInteger(), 11);
  ASSERT_TRUE(Other.Execute("DELETE FROM shared_rows"));
  EXPECT_FALSE(Cursor->FetchCurrent());
  EXPECT_EQ(Session->GetLastError(), "The row is no longer in table \"public.shared_rows\"");
  Cursor->Close();
  Exec("DROP TABLE shared_rows");
}

TEST_F(PgCursorTest, ExecuteReportsAffectedRowsAndOutputValues) {
  Exec("CREATE TEMP TABLE ex (id serial, v text)");
  ASSERT_TRUE(Cursor->Execute("INSERT INTO ex (v) VALUES (?), (?)", {"a", "b"}));
  EXPECT_EQ(Cursor->GetRowsProcessed(), 2);
  ASSERT_TRUE(Cursor->Execute("UPDATE ex SET v = 'c' WHERE id = ? RETURNING id, v", {2}));
  EXPECT_EQ(Cursor->GetRowsProcessed(), 1);
  EXPECT_EQ(Cursor->GetOutVar(Variant("v")).AsString(), "c");
}

} // namespace
} // namespace ztl::testing
