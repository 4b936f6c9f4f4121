// The ztl program's SQL job as a user runs it: the demo database, result
// tables, affected rows, parameters, statements from standard input and
// error lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TestHelpers.h"

namespace {

using ztl::test::TRun;

// Each test with a demo database of its own, under Home.
class ZtlSql : public ::testing::Test {
protected:
  TRun Run(const std::string& Arguments) {
    return ztl::test::RunZtl(Arguments, "XDG_DATA_HOME='" + Home + "'");
  }

  ztl::test::TTempDir Temp{"ztl-home"};
  const std::string Home = Temp.Path().string();
};

TEST_F(ZtlSql, TheDemoFormIsWrittenBesideTheDemoDatabaseAndThenLeftAlone) {
  ASSERT_EQ(Run("\"SELECT 1\"").ExitCode, 0);
  const std::string Form = Home + "/ztl/demo.dfm";
  const TRun Printed = Run("form '" + Form + "'");
  ASSERT_EQ(Printed.ExitCode, 0) << Printed.Output;
  EXPECT_NE(Printed.Output.find("DatabaseName = '" + Home + "/ztl/demo.db'"), std::string::npos)
      << Printed.Output;
  EXPECT_NE(Printed.Output.find("  Customers: TZantrelSQLiteQuery\n    Tag = 0\n    Active = True"),
            std::string::npos)
      << Printed.Output;
  EXPECT_NE(Printed.Output.find("  Orders: TZantrelSQLiteQuery"), std::string::npos);
  // The user's own edits of the form survive the next run.
  std::ofstream(Form) << "object Mine: TDataModule\r\nend\r\n";
  ASSERT_EQ(Run("\"SELECT 1\"").ExitCode, 0);
  std::ifstream In(Form);
  std::string First;
  std::getline(In, First);
  EXPECT_EQ(First, "object Mine: TDataModule\r");
}

TEST_F(ZtlSql, TheDemoDatabaseIsMadeOnFirstUseAndQueriedAsATable) {
  const TRun R = Run("\"SELECT id, name, city FROM customers WHERE id IN (3, 5) ORDER BY id\"");
  EXPECT_EQ(R.ExitCode, 0) << R.Output;
  EXPECT_EQ(R.Output, "id | name           | city\n"
                      "---+----------------+--------\n"
                      " 3 | Chiara Bianchi | Bologna\n"
                      " 5 | Eun-ji Park    | NULL\n"
                      "(2 rows)\n");
  EXPECT_TRUE(std::filesystem::exists(Home + "/ztl/demo.db"));
  // Types print in their own way: amounts with their decimals, dates as
  // SQLite writes them, Booleans by name, short blobs in hex.
  const TRun T = Run("\"SELECT o.total, o.ordered, o.shipped, p.picture FROM orders o, products p "
                     "WHERE o.id = 4 AND p.id = 1\"");
  EXPECT_EQ(T.Output, "total | ordered             | shipped | picture\n"
                      "------+---------------------+---------+--------------------\n"
                      "68.90 | 2024-02-29 18:00:00 | False   | x'89504E470D0A1A0A'\n"
                      "(1 row)\n");
}

TEST_F(ZtlSql, ParametersStatementsAndErrors) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string Output;
  };
  const Case Cases[] = {
      {"\"SELECT name FROM customers WHERE id = :cust\" -p cust=2", 0,
       "name\n--------------\nBruno Ferreira\n(1 row)\n"},
      {"\"SELECT ? || '/' || ?\" -p 1=a -p 2=7", 0, "? || '/' || ?\n-------------\na/7\n(1 row)\n"},
      {"\"UPDATE orders SET shipped = 1 WHERE shipped = 0\"", 0, "3 rows affected\n"},
      {"\"SELECT name FROM customers WHERE id = :cust\"", 1,
       "ztl: No value for parameter 'cust'\n"},
      {"\"SELECT 1\" -p x=1", 1, "ztl: The statement has no parameter 'x'\n"},
      {"\"SELECT x FROM nowhere\"", 1, "ztl: no such table: nowhere\n"},
      {"\"SELECT 1\" \"SELECT 2\"", 2,
       "ztl: expected one SQL statement, got a second one: 'SELECT 2' (quote the statement)\n"},
      {"-p novalue \"SELECT 1\"", 2, "ztl: a parameter is given as name=value, not 'novalue'\n"},
  };
  for (const Case& C : Cases) {
    const TRun R = Run(C.Arguments);
    EXPECT_EQ(R.ExitCode, C.ExitCode) << C.Arguments;
    EXPECT_EQ(R.Output, C.Output) << C.Arguments;
  }
}

TEST_F(ZtlSql, StatementsFromStandardInputRunOneAfterAnother) {
  const std::string Db = Home + "/own.db";
  const auto Input = [&](const std::string& Text) {
    std::ofstream(Home + "/input.sql") << Text;
    return " < '" + Home + "/input.sql'";
  };
  TRun R = Run("--db '" + Db + "'" +
               Input("CREATE TABLE t(a INT, b TEXT);\n"
                     "INSERT INTO t VALUES (1, 'x;y'), (2, NULL); SELECT * FROM t\n"
                     "  ORDER BY a;\n"
                     "SELECT count(*) AS n FROM t\n"));
  EXPECT_EQ(R.ExitCode, 0);
  EXPECT_EQ(R.Output, "0 rows affected\n2 rows affected\n"
                      "a | b\n--+-----\n1 | x;y\n2 | NULL\n(2 rows)\n"
                      "n\n-\n2\n(1 row)\n");
  // Piped input stops at the first failing statement.
  R = Run("--db '" + Db + "'" + Input("SELECT 1 AS one;\nSELECT * FROM missing;\nSELECT 3;\n"));
  EXPECT_EQ(R.ExitCode, 1);
  // An expression's type is not known before its rows: its values print as text.
  EXPECT_EQ(R.Output, "one\n---\n1\n(1 row)\nztl: no such table: missing\n");
}

} // namespace
