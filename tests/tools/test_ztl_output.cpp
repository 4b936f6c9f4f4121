// The ztl program's output as scripts read it: the three formats of one
// result with every kind of value, affected rows, timings on standard error
// only, the progress line on a terminal, and the errors of connections that
// cannot be made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/tools/ZtlRun.h"

namespace {

using ztl::test::Quote;
using ztl::test::RunZtlSplit;
using ztl::test::TSplitRun;

class ZtlOutput : public ::testing::Test {
protected:
  void SetUp() override {
    const TSplitRun Made = Run("--db " + Quote(Db) + " < " + Quote(Script()));
    ASSERT_EQ(Made.ExitCode, 0) << Made.Out << Made.Err;
  }

  TSplitRun Run(const std::string& Arguments) {
    return RunZtlSplit(Temp, Arguments, "XDG_DATA_HOME=" + Quote(Temp.Path().string()));
  }

  std::string Script() {
    const std::string Path = Temp.File("make.sql");
    std::ofstream(Path)
        << "CREATE TABLE t(id INTEGER PRIMARY KEY, name VARCHAR(20), note TEXT,\n"
           "  price NUMERIC(8,2), ok BOOLEAN, born DATE, data BLOB, r REAL);\n"
           "INSERT INTO t VALUES (1, 'Ann', '', 2.5, 1, '2001-02-03', x'00FF', 1.5),\n"
           "  (2, NULL, 'a,\"b\"' || char(10) || 'c', NULL, 0, NULL, NULL, -0.25);\n";
    return Path;
  }

  ztl::test::TTempDir Temp{"ztl-output"};
  const std::string Db = Temp.File("t.db");
};

TEST_F(ZtlOutput, EachFormatKeepsNullApartFromTheEmptyText) {
  struct Case {
    const char* Option;
    const char* Expected;
  };
  const Case Cases[] = {
      {"", "id | name | note     | price | ok    | born       | data    | r\n"
           "---+------+----------+-------+-------+------------+---------+------\n"
           " 1 | Ann  |          |  2.50 | True  | 2001-02-03 | x'00FF' |   1.5\n"
           " 2 | NULL | a,\"b\"\\nc |  NULL | False | NULL       | NULL    | -0.25\n"
           "(2 rows)\n"},
      {"--csv", "id,name,note,price,ok,born,data,r\n"
                "1,Ann,\"\",2.50,true,2001-02-03,00FF,1.5\n"
                "2,,\"a,\"\"b\"\"\nc\",,false,,,-0.25\n"},
      {"--json", "[\n"
                 "{\"id\":1,\"name\":\"Ann\",\"note\":\"\",\"price\":2.50,\"ok\":true,\"born\":"
                 "\"2001-02-03\","
                 "\"data\":\"00FF\",\"r\":1.5},\n"
                 "{\"id\":2,\"name\":null,\"note\":\"a,\\\"b\\\"\\nc\",\"price\":null,\"ok\":false,"
                 "\"born\":null,\"data\":null,\"r\":-0.25}\n"
                 "]\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R =
        Run(std::string(C.Option) + " --db " + Quote(Db) + " 'SELECT * FROM t ORDER BY id'");
    EXPECT_EQ(R.ExitCode, 0) << C.Option << R.Err;
    EXPECT_EQ(R.Out, C.Expected) << C.Option;
    EXPECT_EQ(R.Err, "") << C.Option;
  }
}

TEST_F(ZtlOutput, EmptyResultsAffectedRowsAndRepeatedNamesInEachFormat) {
  struct Case {
    const char* Arguments;
    const char* Expected;
  };
  const Case Cases[] = {
      {"'SELECT id FROM t WHERE id > 5'", "id\n--\n(0 rows)\n"},
      {"--csv 'SELECT id FROM t WHERE id > 5'", "id\n"},
      {"--json 'SELECT id FROM t WHERE id > 5'", "[]\n"},
      {"'UPDATE t SET ok = 1'", "2 rows affected\n"},
      {"--csv 'UPDATE t SET ok = 1'", "rows_affected\n2\n"},
      {"--json 'UPDATE t SET ok = 1'", "{\"rows_affected\":2}\n"},
      // A column name that repeats must not make a JSON reader drop a column.
      {"--json 'SELECT id, id, name AS id_2 FROM t WHERE id = 1'",
       "[\n{\"id\":1,\"id_1\":1,\"id_2\":\"Ann\"}\n]\n"},
      {"--csv 'SELECT name AS \"a,b\" FROM t WHERE id = 1'", "\"a,b\"\nAnn\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run("--db " + Quote(Db) + " " + C.Arguments);
    EXPECT_EQ(R.ExitCode, 0) << C.Arguments << R.Err;
    EXPECT_EQ(R.Out, C.Expected) << C.Arguments;
  }
}

TEST_F(ZtlOutput, TimingGoesToStandardErrorAfterEachStatement) {
  const std::string Input = Temp.File("two.sql");
  std::ofstream(Input) << "SELECT 1 AS a;\nSELECT 2 AS b;\n";
  const TSplitRun R = Run("--timing --csv --db " + Quote(Db) + " < " + Quote(Input));
  EXPECT_EQ(R.ExitCode, 0);
  EXPECT_EQ(R.Out, "a\n1\nb\n2\n");
  ASSERT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 2) << R.Err;
  EXPECT_EQ(R.Err.rfind("Time: ", 0), 0u) << R.Err;
  EXPECT_NE(R.Err.find(" ms\nTime: "), std::string::npos) << R.Err;
}

TEST_F(ZtlOutput, ProgressShowsOnATerminalAndNeverInRedirectedOutput) {
  if (std::system("command -v script > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "no script(1) to give the program a terminal";
  // script(1) gives the program a terminal for standard error, while its
  // standard output goes to a file.
  const std::string Out = Temp.File("rows.csv");
  const std::string Rows = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 150000) SELECT i FROM n";
  const std::string Command = std::string("'") + ZTL_PROGRAM + "' --csv --db " + Quote(Db) + " " +
                              Quote(Rows) + " > " + Quote(Out);
  const ztl::test::TRun Terminal =
      ztl::test::RunCommand("script -qec " + Quote(Command) + " /dev/null");
  EXPECT_EQ(Terminal.ExitCode, 0) << Terminal.Output;
  EXPECT_NE(Terminal.Output.find(" rows fetched..."), std::string::npos);
  // The line is wiped when the rows are read.
  EXPECT_EQ(Terminal.Output.substr(Terminal.Output.rfind("...") + 3, 4), "\r\033[K");
  std::ifstream In(Out);
  std::string Line;
  std::size_t Lines = 0;
  bool Clean = true;
  while (std::getline(In, Line)) {
    ++Lines;
    Clean = Clean && Line.find_first_not_of("0123456789") == (Lines == 1 ? 0 : std::string::npos);
  }
  EXPECT_EQ(Lines, 150001u);
  EXPECT_TRUE(Clean);
  // Without a terminal there is no progress at all.
  const TSplitRun Piped = Run("--csv --db " + Quote(Db) + " " + Quote(Rows) + " > /dev/null");
  EXPECT_EQ(Piped.Err, "");
}

TEST_F(ZtlOutput, ConnectionsThatCannotBeMadeAreOneLineWithTheirOwnExitCode) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string Start; // how the error line starts, or a part of it (libpq words its own)
  };
  const std::string NoServer = Temp.Path().string(); // a socket directory without a server
  const Case Cases[] = {
      {"--library /nonexistent/libsqlite3.so 'SELECT 1'", 3,
       "ztl: Could not load the Database Interface library: /nonexistent/libsqlite3.so"},
      {"--db /nonexistent/dir/x.db 'SELECT 1'", 3, "ztl: unable to open database file"},
      {"--db " + Quote("host=" + NoServer + " port=1 dbname=x") + " 'SELECT 1'", 3,
       NoServer + "/.s.PGSQL.1"},
      {"--db 'postgresql:///x' --library /nonexistent/libpq.so 'SELECT 1'", 3,
       "ztl: Could not load the Database Interface library: /nonexistent/libpq.so"},
      {"--db 'postgresql://h:port/x' 'SELECT 1'", 2,
       "ztl: invalid PostgreSQL URI: the port \"port\" of the URI is not a number"},
      {"--db 'host=h dbname' 'SELECT 1'", 2,
       "ztl: invalid PostgreSQL connection string: expected key=value"},
      {"tables --db 'postgres://u:p%4@h/x'", 2,
       "ztl tables: invalid PostgreSQL URI: bad %-escape in the password"},
      {"--db " + Quote(Db) + " --init 'ATTACH nothing' 'SELECT 1'", 1, "ztl: --init: "},
      {"--db " + Quote(Db) + " 'SELEC 1'", 1, "ztl: near \"SELEC\": syntax error"},
      {"--db " + Quote(Db) + " --xml 'SELECT 1'", 2, "ztl: unknown option '--xml'"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run(C.Arguments);
    EXPECT_EQ(R.ExitCode, C.ExitCode) << C.Arguments << "\n" << R.Err;
    if (C.Start.rfind("ztl", 0) == 0)
      EXPECT_EQ(R.Err.substr(0, C.Start.size()), C.Start) << C.Arguments;
    else
      EXPECT_NE(R.Err.find(C.Start), std::string::npos) << C.Arguments << "\n" << R.Err;
    EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << C.Arguments << "\n" << R.Err;
    EXPECT_EQ(R.Out, "") << C.Arguments;
  }
}

} // namespace
