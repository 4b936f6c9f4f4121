// ztl with more than one server, run as a user runs it: a multi-host --db,
// as a URI and as libpq settings, reaches the kind of server its
// target_session_attrs asks for; reads and the catalog commands work on the
// standby, and a write there fails with the server's error.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/PgReplicaSet.h"
#include "tests/tools/ZtlRun.h"

namespace {

using ztl::test::Quote;
using ztl::test::RunZtlSplit;
using ztl::test::TSplitRun;
using ztl::testing::PgReplicaSet;

PgReplicaSet& Servers() {
  static PgReplicaSet Set;
  return Set;
}

std::string Escaped(const std::string& Dir) {
  std::string Out;
  for (const char C : Dir)
    Out += C == '/' ? std::string("%2F") : std::string(1, C);
  return Out;
}

class ZtlReplication : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Servers().Available())
      GTEST_SKIP() << "replication tests skipped: " << Servers().Reason();
  }

  // --db as a URI listing both servers, each with its port.
  static std::string Uri(const std::string& Attrs, bool StandbyFirst = false) {
    const PgReplicaSet& S = Servers();
    const std::string P = Escaped(S.PrimaryDir()) + ":" + std::to_string(S.PrimaryPort());
    const std::string B = Escaped(S.StandbyDir()) + ":" + std::to_string(S.StandbyPort());
    return "--db " + Quote(std::string("postgresql://") + PgReplicaSet::User + "@" +
                           (StandbyFirst ? B + "," + P : P + "," + B) + "/" +
                           PgReplicaSet::Database + "?target_session_attrs=" + Attrs);
  }
  // --db as libpq settings with lists of hosts and ports.
  static std::string Settings(const std::string& Attrs) {
    const PgReplicaSet& S = Servers();
    return "--db " + Quote("host=" + S.Hosts() + " port=" + S.Ports() + " user=" +
                           PgReplicaSet::User + " dbname=" + PgReplicaSet::Database +
                           " target_session_attrs=" + Attrs);
  }

  TSplitRun Run(const std::string& Arguments) { return RunZtlSplit(Temp, Arguments); }

  ztl::test::TTempDir Temp{"ztl-rs"};
};

TEST_F(ZtlReplication, TheListReachesTheServerAskedFor) {
  const std::string Which =
      " " + Quote("SELECT CASE WHEN pg_is_in_recovery() THEN 'standby' ELSE 'primary' END AS s");
  struct Case {
    std::string Db;
    const char* Out;
  };
  const Case Cases[] = {
      {Uri("read-write"), "s\nprimary\n"},
      {Uri("read-write", true), "s\nprimary\n"},
      {Uri("standby"), "s\nstandby\n"},
      {Uri("prefer-standby"), "s\nstandby\n"},
      {Settings("read-only"), "s\nstandby\n"},
      {Settings("primary"), "s\nprimary\n"},
  };
  for (const Case& C : Cases) {
    const TSplitRun R = Run("--csv " + C.Db + Which);
    EXPECT_EQ(R.ExitCode, 0) << C.Db << R.Err;
    EXPECT_EQ(R.Out, C.Out) << C.Db;
  }
}

TEST_F(ZtlReplication, TheStandbyAnswersReadsAndTheCatalogAndRefusesWrites) {
  TSplitRun R = Run(Uri("read-write") +
                    " 'CREATE TABLE IF NOT EXISTS shelf (id int PRIMARY KEY, label text)'");
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  R = Run("tables --csv " + Uri("standby"));
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_NE(R.Out.find("shelf\n"), std::string::npos) << R.Out;
  R = Run("columns shelf --csv " + Settings("standby"));
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "column_name\nid\nlabel\n");
  R = Run(Uri("standby") + " 'INSERT INTO shelf VALUES (1, :l)' -p l=x");
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err.rfind("ztl: ERROR:  cannot execute INSERT in a read-only transaction", 0), 0u)
      << R.Err;
  R = Run("--csv " + Uri("any", true) + " 'SELECT count(*) AS n FROM shelf'");
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "n\n0\n");
}

} // namespace
