// ztl against the throw-away PostgreSQL cluster, run as a user runs it: the
// connection as a URI and as libpq settings, results in every format,
// parameters, statements from standard input with dollar-quoted bodies,
// stored functions and procedures through call, and what goes wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/PgCluster.h"
#include "tests/tools/ZtlRun.h"

namespace {

using ztl::test::Quote;
using ztl::test::RunZtlSplit;
using ztl::test::TSplitRun;
using ztl::testing::PgCluster;

// The objects the tests read, made once per run through ztl itself: the
// bodies in dollar quotes hold semicolons that must not end a statement.
const char* const Schema = R"SQL(
DROP SCHEMA IF EXISTS cli CASCADE;
CREATE SCHEMA cli;
CREATE TABLE cli.items (id int PRIMARY KEY, name varchar(20), note text, price numeric(8,2),
  ok boolean, born date, data bytea, r double precision);
INSERT INTO cli.items VALUES (1, 'Ann', '', 2.5, true, '2001-02-03', '\x00ff', 1.5),
  (2, NULL, E'a,"b"\nc', NULL, false, NULL, NULL, -0.25);
CREATE VIEW cli.cheap AS SELECT id FROM cli.items WHERE price < 5;
CREATE FUNCTION cli.add(a int, b int) RETURNS int AS $$ SELECT a + b; $$ LANGUAGE sql;
CREATE FUNCTION cli.span(n int) RETURNS TABLE (i int, sq bigint)
  AS $body$ SELECT g, g * g FROM generate_series(1, n) g; $body$ LANGUAGE sql;
CREATE PROCEDURE cli.bump(INOUT x int, d date) LANGUAGE plpgsql AS $$
BEGIN
  x := x + extract(day FROM d)::int;
END;
$$;
CREATE PROCEDURE cli.touch(k int) LANGUAGE sql
  AS $$ UPDATE cli.items SET ok = NOT ok WHERE id = k; $$;
)SQL";

class ZtlPostgres : public ::testing::Test {
protected:
  void SetUp() override {
    if (!PgCluster::Shared().Available())
      GTEST_SKIP() << "PostgreSQL tests skipped: " << PgCluster::Shared().Reason();
    static bool Made = false;
    if (!Made) {
      const std::string Script = Temp.File("schema.sql");
      std::ofstream(Script) << Schema;
      const TSplitRun R = Run(Settings() + " < " + Quote(Script));
      ASSERT_EQ(R.ExitCode, 0) << R.Out << R.Err;
      Made = true;
    }
  }

  TSplitRun Run(const std::string& Arguments) { return RunZtlSplit(Temp, Arguments); }

  // --db as libpq settings.
  static std::string Settings() {
    const PgCluster& C = PgCluster::Shared();
    return "--db " + Quote("host=" + C.SocketDir() + " port=" + std::to_string(C.Port()) +
                           " user=" + PgCluster::User + " dbname=" + PgCluster::Database);
  }

  // --db as a URI, the socket directory %-escaped.
  static std::string Uri(const std::string& Database = PgCluster::Database) {
    const PgCluster& C = PgCluster::Shared();
    std::string Host;
    for (const char Ch : C.SocketDir())
      Host += Ch == '/' ? std::string("%2F") : std::string(1, Ch);
    return "--db " + Quote(std::string("postgresql://") + PgCluster::User + "@" + Host + ":" +
                           std::to_string(C.Port()) + "/" + Database);
  }

  ztl::test::TTempDir Temp{"ztl-pg"};
};

TEST_F(ZtlPostgres, ResultsInEachFormatOverEitherFormOfConnection) {
  struct Case {
    const char* Option;
    const char* Expected;
  };
  const Case Cases[] = {
      {"", "id | name | note     | price | ok    | born       | data    | r\n"
           "---+------+----------+-------+-------+------------+---------+------\n"
           " 1 | Ann  |          |   2.5 | True  | 2001-02-03 | x'00FF' |   1.5\n"
           " 2 | NULL | a,\"b\"\\nc |  NULL | False | NULL       | NULL    | -0.25\n"
           "(2 rows)\n"},
      {"--csv", "id,name,note,price,ok,born,data,r\n"
                "1,Ann,\"\",2.5,true,2001-02-03,00FF,1.5\n"
                "2,,\"a,\"\"b\"\"\nc\",,false,,,-0.25\n"},
      {"--json", "[\n"
                 "{\"id\":1,\"name\":\"Ann\",\"note\":\"\",\"price\":2.5,\"ok\":true,\"born\":"
                 "\"2001-02-03\","
                 "\"data\":\"00FF\",\"r\":1.5},\n"
                 "{\"id\":2,\"name\":null,\"note\":\"a,\\\"b\\\"\\nc\",\"price\":null,\"ok\":false,"
                 "\"born\":null,\"data\":null,\"r\":-0.25}\n"
                 "]\n"},
  };
  for (const Case& C : Cases)
    for (const std::string& Db : {Settings(), Uri()}) {
      const TSplitRun R =
          Run(std::string(C.Option) + " " + Db + " 'SELECT * FROM cli.items ORDER BY id'");
      EXPECT_EQ(R.ExitCode, 0) << C.Option << Db << R.Err;
      EXPECT_EQ(R.Out, C.Expected) << C.Option << Db;
    }
  // Without a database name libpq picks one: PGDATABASE, else the user's,
  // which this cluster does not have.
  TSplitRun R =
      RunZtlSplit(Temp, Uri("") + " --csv 'SELECT current_database() AS d'", "PGDATABASE=postgres");
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "d\npostgres\n");
  R = RunZtlSplit(Temp, Uri("") + " 'SELECT 1'", "PGDATABASE=");
  EXPECT_EQ(R.ExitCode, 3);
  EXPECT_NE(R.Err.find("FATAL:  database \"ztl\" does not exist"), std::string::npos) << R.Err;
}

TEST_F(ZtlPostgres, ParametersStatementsAndErrors) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string Out;
    std::string Err;
  };
  const Case Cases[] = {
      {"'SELECT name FROM cli.items WHERE id = :k' -p k=1", 0, "name\nAnn\n", ""},
      // One value for a name however often it appears, in any case.
      {"'SELECT :k::int + :K::int + 1 AS s' -p k=2", 0, "s\n5\n", ""},
      {"'SELECT ? || ? AS s' -p 1=a -p 2=7", 0, "s\na7\n", ""},
      // Casts and dollar quotes hold no markers.
      {"'SELECT 1::text || $$:x$$ AS s'", 0, "s\n1:x\n", ""},
      {"'UPDATE cli.items SET r = r WHERE id > :k' -p k=0", 0, "rows_affected\n2\n", ""},
      {"'SELECT :k AS s'", 1, "", "ztl: No value for parameter 'k'\n"},
      {"'SELECT 1' -p x=1", 1, "", "ztl: The statement has no parameter 'x'\n"},
      {"'SELECT nope FROM cli.items'", 1, "",
       "ztl: ERROR:  column \"nope\" does not exist; LINE 1: SELECT nope FROM cli.items; ^; "
       "HINT:  Perhaps you meant to reference the column \"items.note\".\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run("--csv " + Settings() + " " + C.Arguments);
    EXPECT_EQ(R.ExitCode, C.ExitCode) << C.Arguments;
    EXPECT_EQ(R.Out, C.Out) << C.Arguments;
    EXPECT_EQ(R.Err, C.Err) << C.Arguments;
  }
  // Piped statements stop at the first that fails.
  const std::string Input = Temp.File("input.sql");
  std::ofstream(Input) << "SELECT $x$;$x$ AS a;\nSELECT * FROM missing;\nSELECT 3;\n";
  const TSplitRun R = Run("--csv " + Settings() + " < " + Quote(Input));
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Out, "a\n;\n");
  EXPECT_EQ(R.Err.rfind("ztl: ERROR:  relation \"missing\" does not exist", 0), 0u) << R.Err;
}

TEST_F(ZtlPostgres, CallRunsFunctionsAndProceduresWithTheirDeclaredTypes) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string Out;
    std::string Err;
  };
  const Case Cases[] = {
      {"cli.add -p a=2 -p b=3", 0, "result\n5\n", ""},
      {"cli.span -p n=3", 0, "i,sq\n1,1\n2,4\n3,9\n", ""},
      // A procedure's output arguments come back as its one row.
      {"cli.bump -p x=40 -p d=2020-01-02", 0, "x\n42\n", ""},
      // Nothing comes back from a procedure without outputs.
      {"cli.touch -p k=2", 0, "", ""},
      {"cli.add -p a=x -p b=1", 1, "",
       "ztl call: The value 'x' of parameter 'a' is not a whole number\n"},
      {"cli.add -p a=99999999999 -p b=1", 1, "",
       "ztl call: The value '99999999999' of parameter 'a' is not a 32-bit whole number\n"},
      {"cli.bump -p x=1 -p d=2020-13-01", 1, "",
       "ztl call: The value '2020-13-01' of parameter 'd' is not a date (YYYY-MM-DD)\n"},
      {"cli.add -p a=1", 1, "", "ztl call: No value for parameter 'b'\n"},
      {"cli.add -p a=1 -p b=2 -p c=3", 1, "", "ztl call: The procedure has no parameter 'c'\n"},
      {"cli.add -p a=1 -p b=2 -p result=3", 1, "",
       "ztl call: The parameter 'result' is an output of the procedure and takes no value\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run("call --csv " + Settings() + " " + C.Arguments);
    EXPECT_EQ(R.ExitCode, C.ExitCode) << C.Arguments;
    EXPECT_EQ(R.Out, C.Out) << C.Arguments;
    EXPECT_EQ(R.Err, C.Err) << C.Arguments;
  }
  TSplitRun R = Run("call cli.touch -p k=2 " + Settings());
  EXPECT_EQ(R.Out, "(no result)\n");
  R = Run("call --json cli.bump -p x=1 -p d=2020-01-01 " + Uri());
  EXPECT_EQ(R.Out, "[\n{\"x\":2}\n]\n");
  R = Run("call cli.nosuch " + Settings());
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_NE(R.Err.find("does not exist"), std::string::npos) << R.Err;
  EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;
}

TEST_F(ZtlPostgres, CatalogCommandsListTheClustersObjects) {
  const auto Lines = [](const std::string& Text) {
    std::vector<std::string> L;
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);)
      L.push_back(Line);
    return L;
  };
  const auto Has = [](const std::vector<std::string>& L, const std::string& Line) {
    return std::find(L.begin(), L.end(), Line) != L.end();
  };
  TSplitRun R = Run("tables --all --owner --csv " + Settings());
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_TRUE(Has(Lines(R.Out), "cli.items")) << R.Out;
  EXPECT_FALSE(Has(Lines(R.Out), "cli.cheap")) << R.Out; // a view is no base table
  R = Run("columns cli.items --csv " + Uri());
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "column_name\nid\nname\nnote\nprice\nok\nborn\ndata\nr\n");
  R = Run("procs --owner --csv " + Settings());
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  for (const char* Proc : {"cli.add", "cli.bump", "cli.span", "cli.touch"})
    EXPECT_TRUE(Has(Lines(R.Out), Proc)) << Proc << "\n" << R.Out;
  // The session is found by the database libpq reached when none is named.
  R = RunZtlSplit(Temp, "tables --all --owner --csv " + Uri(""), "PGDATABASE=postgres");
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_TRUE(Has(Lines(R.Out), "cli.items")) << R.Out;
}

} // namespace
