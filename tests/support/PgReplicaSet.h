// A throw-away primary with a streaming hot standby, and pgpool-II in front
// of the two when it is installed, for tests of sessions that reach more
// than one server.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/PgServer.h"

namespace ztl::testing {

// A primary (initdb) and a hot standby copied from it with pg_basebackup -R,
// streaming from it. Each server listens on a Unix socket in a directory of
// its own inside one temporary directory, never on TCP. Commits on the
// primary wait until the standby has applied them (synchronous_commit =
// remote_apply), so a read on the standby after a write on the primary sees
// it. With WithPooler, pgpool-II runs in front of both in streaming
// replication mode with load balancing on, when its program is installed.
//
// When the servers cannot run, Available() is false and Reason() says why;
// when only the pooler cannot, PoolerAvailable() is false and PoolerReason()
// says why. Everything is stopped and removed when the object is destroyed.
class PgReplicaSet {
public:
  explicit PgReplicaSet(bool WithPooler = false);
  ~PgReplicaSet();
  PgReplicaSet(const PgReplicaSet&) = delete;
  PgReplicaSet& operator=(const PgReplicaSet&) = delete;

  bool Available() const { return Running; }
  const std::string& Reason() const { return Why; }
  bool PoolerAvailable() const { return Pooling; }
  const std::string& PoolerReason() const { return PoolWhy; }

  // Socket directories and ports of the primary, the standby and the pooler.
  const std::string& PrimaryDir() const { return Primary.Socket; }
  std::int32_t PrimaryPort() const { return Primary.Port; }
  const std::string& StandbyDir() const { return Standby.Socket; }
  std::int32_t StandbyPort() const { return Standby.Port; }
  const std::string& PoolerDir() const { return PoolSocket; }
  std::int32_t PoolerPort() const { return PoolPort; }
  // The two servers as libpq lists: "primary-dir,standby-dir" and
  // "primary-port,standby-port" (Reversed: the standby first).
  std::string Hosts(bool Reversed = false) const;
  std::string Ports(bool Reversed = false) const;

  // Stops the primary: Immediate cuts every connection at once, as a crash
  // does; otherwise the server ends its sessions and ships its last WAL to
  // the standby first. True when it stopped.
  bool StopPrimary(bool Immediate);
  // Promotes the standby to a primary and waits until it accepts writes.
  bool Promote();
  // Waits until some session of the primary satisfies Condition, an SQL
  // condition on pg_stat_activity ("wait_event = 'PgSleep'"), asking with
  // psql so that no component of the library leaves the test's thread.
  // False when it does not within ten seconds.
  bool WaitOnPrimary(const std::string& Condition);

  static constexpr const char* User = "ztl";
  static constexpr const char* Database = "postgres";

private:
  struct TServer {
    std::string Data;        // data directory
    std::string Socket;      // socket directory
    std::int32_t Port = 0;   // port number of the socket
    bool Started = false;    // pg_ctl start succeeded and no stop since
  };
  bool StartServer(TServer& S, const std::string& Log);
  void StartPooler();

  PgServerHost Host;
  TServer Primary;
  TServer Standby;
  bool Running = false;     // both servers accept connections
  std::string Why;          // why not
  std::string PoolSocket;   // the pooler's socket directory
  std::int32_t PoolPort = 0;
  std::string PoolConf;     // its configuration file
  bool Pooling = false;     // the pooler accepts connections
  std::string PoolWhy;      // why not
};

} // namespace ztl::testing
