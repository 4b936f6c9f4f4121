// The ztl program as a user runs it: its output and exit code for the analyse command, the
// version and help options, and a wrong command line.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestHelpers.h"

namespace {

using ztl::test::RunZtl;
using ztl::test::TRun;

} // namespace

TEST(ZtlProgram, AnalysePrintsTableOrderByAndParameters) {
  const TRun Run = RunZtl("analyse \"SELECT c.name, o.total FROM customers c, orders o "
                          "WHERE c.id = :cust ORDER BY o.total DESC, c.name\"");
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Output, "table:    customers\n"
                        "order by: total DESC, name ASC\n"
                        "params:   cust\n");
}

TEST(ZtlProgram, AnalysePrintsNoneForEmptyPartsAndUnpairedDirections) {
  TRun Run = RunZtl("analyse 'x := :y'");
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Output, "table:    (none)\norder by: (none)\nparams:   y\n");
  Run = RunZtl("analyse 'SELECT a FROM t ORDER BY t.a DESC DESC'");
  EXPECT_EQ(Run.Output, "table:    t\norder by: a DESC, DESC\nparams:   (none)\n");
}

TEST(ZtlProgram, OptionsAndWrongCommandLines) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string OutputStart;
  };
  const Case Cases[] = {
      {"--version", 0, "1.91\n"},
      {"--help", 0, "Usage: ztl <command>"},
      // Without a command the program runs SQL: from standard input, or the
      // words given, which are then no command but a statement.
      {"--db :memory: < /dev/null", 0, ""},
      {"--db :memory: frobnicate", 1, "ztl: near \"frobnicate\": syntax error"},
      {"analyse", 2, "ztl analyse: expected exactly one SQL statement"},
      {"analyse a b", 2, "ztl analyse: expected exactly one SQL statement"},
  };
  for (const Case& C : Cases) {
    const TRun Run = RunZtl(C.Arguments);
    EXPECT_EQ(Run.ExitCode, C.ExitCode) << C.Arguments;
    EXPECT_EQ(Run.Output.substr(0, C.OutputStart.size()), C.OutputStart) << C.Arguments;
  }
}
