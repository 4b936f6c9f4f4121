// A throw-away PostgreSQL cluster for tests: created with initdb in a
// temporary directory, served on a Unix socket in that directory only, and
// removed when the test program ends.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/PgServer.h"

namespace ztl::testing {

// One cluster per test program. Started on first use; stopped (immediate
// shutdown) and deleted at program exit. When the server binaries are
// missing or the server does not start, Available() is false and Reason()
// says why, so tests can skip with that message.
class PgCluster {
public:
  // The program's cluster, started if this is the first call.
  static PgCluster& Shared();

  bool Available() const { return Running; }
  const std::string& Reason() const { return Why; }
  // The socket directory (the ServerName of a session), the port, and the
  // superuser and database the cluster was created with.
  const std::string& SocketDir() const { return Host.Dir(); }
  std::int32_t Port() const { return ServerPort; }
  static constexpr const char* User = "ztl";
  static constexpr const char* Database = "postgres";

  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

private:
  PgCluster();

  PgServerHost Host;           // programs and temporary directory: data, socket, log
  std::int32_t ServerPort = 0; // the port number of the socket
  bool Running = false;        // the server accepts connections
  std::string Why;             // why not, when it does not
};

} // namespace ztl::testing
