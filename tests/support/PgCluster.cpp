// Creation, start and removal of the tests' throw-away PostgreSQL cluster.
#include "tests/support/PgCluster.h"

namespace ztl::testing {

PgCluster& PgCluster::Shared() {
  static PgCluster Cluster;
  return Cluster;
}

PgCluster::PgCluster() {
  if (!Host.Prepare("ztl-pg")) {
    Why = Host.Reason();
    return;
  }
  const std::string Dir = Host.Dir();
  ServerPort = PgServerHost::RandomPort();
  if (!Host.Run("initdb", "-D '" + Dir + "/data' -U " + User +
                              " -A trust -E UTF8 --locale=C --no-sync --no-instructions")) {
    Why = "initdb failed; see " + Dir + "/setup.log";
    return;
  }
  // Unix socket in our own directory only, no TCP; fsync off: the data is
  // thrown away.
  const std::string Options = "-k '" + Dir + "' -h '' -p " + std::to_string(ServerPort) +
                              " -F -c max_connections=20 -c shared_buffers=16MB";
  if (!Host.Run("pg_ctl", "-D '" + Dir + "/data' -l '" + Dir + "/server.log' -w -t 60 -o \"" +
                              Options + "\" start")) {
    Why = "the server did not start; see " + Dir + "/server.log";
    return;
  }
  Running = true;
}

PgCluster::~PgCluster() {
  if (Running)
    Host.Run("pg_ctl", "-D '" + Host.Dir() + "/data' -m immediate -w stop");
  Host.Remove();
}

} // namespace ztl::testing
