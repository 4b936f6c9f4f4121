// ztl tables, procs, columns and call on SQLite: the catalog commands over a
// database whose own catalog tables replace the driver's "sys" on connecting, their
// command lines, and the plain answer that SQLite has no stored procedures.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/tools/ZtlRun.h"

namespace {

using ztl::test::Quote;
using ztl::test::RunZtlSplit;
using ztl::test::TSplitRun;

class ZtlCatalog : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string Script = Temp.File("catalog.sql");
    std::ofstream(Script)
        << "create table sysuserperms (user_id int, user_name varchar(30));\n"
           "create table systable (table_id int, table_name varchar(30), "
           "table_type varchar(10), creator int);\n"
           "create table syscolumn (table_id int, column_id int, column_name varchar(30));\n"
           "create table sysprocedure (proc_name varchar(30), creator int);\n"
           "insert into sysuserperms values (1, 'DBA'), (2, 'alice');\n"
           "insert into systable values (1, 'customers', 'BASE', 1), (2, 'orders', 'BASE', 2),\n"
           "  (3, 'big_orders', 'VIEW', 2), (4, 'audit', 'BASE', 1);\n"
           "insert into syscolumn values (1, 2, 'name'), (1, 1, 'id'), (2, 1, 'id'),\n"
           "  (2, 2, 'customer');\n"
           "insert into sysprocedure values ('refresh', 1), ('archive', 2);\n";
    const TSplitRun Made = Run("--db " + Quote(Temp.File("catalog.db")) + " < " + Quote(Script));
    ASSERT_EQ(Made.ExitCode, 0) << Made.Out << Made.Err;
  }

  TSplitRun Run(const std::string& Arguments) {
    return RunZtlSplit(Temp, Arguments, "XDG_DATA_HOME=" + Quote(Temp.Path().string()));
  }

  // The sales database with a hand-made catalog in place of the driver's.
  std::string OnSales() {
    return " --db " + Quote(Temp.File("Sales.db")) + " --init " +
           Quote("DETACH DATABASE sys; ATTACH DATABASE '" + Temp.File("catalog.db") + "' AS sys") +
           " ";
  }

  ztl::test::TTempDir Temp{"ztl-catalog"};
};

TEST_F(ZtlCatalog, ListsTablesProceduresAndColumnsInEachFormat) {
  struct Case {
    std::string Arguments;
    std::string Expected;
  };
  const Case Cases[] = {
      {"tables", "table_name\n----------\naudit\ncustomers\n(2 rows)\n"},
      {"tables --all --owner --csv", "table_name\nDBA.audit\nDBA.customers\nalice.orders\n"},
      {"tables --all --json", "[\n{\"table_name\":\"audit\"},\n{\"table_name\":\"customers\"},\n"
                              "{\"table_name\":\"orders\"}\n]\n"},
      {"procs --owner --csv", "proc_name\nDBA.refresh\nalice.archive\n"},
      {"procs --csv", "proc_name\nrefresh\narchive\n"},
      {"columns customers --csv", "column_name\nid\nname\n"},
      {"columns ' alice .orders' --csv", "column_name\nid\ncustomer\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run(C.Arguments + OnSales());
    EXPECT_EQ(R.ExitCode, 0) << C.Arguments << "\n" << R.Err;
    EXPECT_EQ(R.Out, C.Expected) << C.Arguments;
  }
}

TEST_F(ZtlCatalog, WrongCommandLinesAndUnknownNamesFailClearly) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string Err;
  };
  const Case Cases[] = {
      {"columns DBA.orders", 1,
       "ztl columns: The table 'DBA.orders' has no columns or does not exist\n"},
      {"columns", 2, "ztl columns: expected one name, got 0\n"},
      {"columns a b", 2, "ztl columns: expected one name, got 2\n"},
      {"tables extra", 2, "ztl tables: expected no arguments, got 1\n"},
      {"procs --all", 2, "ztl procs: unknown option '--all' (see ztl --help)\n"},
      {"tables -p =1", 2, "ztl tables: a parameter is given as name=value, not '=1'\n"},
      {"call", 2, "ztl call: expected one name, got 0\n"},
      {"call refresh -p x", 2, "ztl call: a parameter is given as name=value, not 'x'\n"},
      // SQLite has none, and says so whatever is asked.
      {"call refresh", 1,
       "ztl call: SQLite has no stored procedures; run the statement with a query instead\n"},
      {"call refresh -p a=1 --json", 1,
       "ztl call: SQLite has no stored procedures; run the statement with a query instead\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run(C.Arguments + OnSales());
    EXPECT_EQ(R.ExitCode, C.ExitCode) << C.Arguments;
    EXPECT_EQ(R.Err, C.Err) << C.Arguments;
    EXPECT_EQ(R.Out, "") << C.Arguments;
  }
}

TEST_F(ZtlCatalog, TheDemoDatabasesTablesAndColumnsAreListed) {
  TSplitRun R = Run("tables --csv");
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "table_name\ncustomers\norder_lines\norders\nproducts\n");
  R = Run("columns customers --csv");
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "column_name\nid\nname\ncity\nemail\nsince\n");
  R = Run("procs --csv");
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "proc_name\n");
}

} // namespace
