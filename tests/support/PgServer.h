// What the tests' throw-away PostgreSQL servers share: finding the server
// programs, choosing the system user they run as, and a temporary
// directory that user owns.
#pragma once

#include <cstdint>
#include <string>

namespace ztl::testing {

// The server programs and a temporary directory to run them in. The server
// refuses to run as root, so as root everything runs as the "postgres"
// system user that Debian's package creates, and the directory is handed
// to it.
class PgServerHost {
public:
  // Finds the newest installed server and makes a temporary directory named
  // after Prefix. False, with Reason() saying why, when either fails.
  bool Prepare(const std::string& Prefix);
  const std::string& Reason() const { return Why; }
  // The temporary directory (empty before a successful Prepare).
  const std::string& Dir() const { return Root; }
  // Runs Program from the server's bin directory with Args (already quoted
  // for the shell) as the servers' user, its output appended to
  // Dir()/setup.log; true on exit status 0.
  bool Run(const std::string& Program, const std::string& Args) const;
  // Runs a shell command line as the servers' user; true on exit status 0.
  bool RunShell(const std::string& Command) const;
  // Makes the directory Path (inside Dir()) for the servers' user.
  bool MakeDir(const std::string& Path) const;
  // Removes Dir() and everything in it.
  void Remove();
  // A random port number, so that parallel test programs rarely collide.
  static std::int32_t RandomPort();

private:
  std::string BinDir;      // /usr/lib/postgresql/<version>/bin
  std::string Root;        // temporary directory
  bool AsPostgres = false; // run as the "postgres" system user (we are root)
  unsigned Uid = 0;        // that user's ids, for the directories we make
  unsigned Gid = 0;
  std::string Why; // why Prepare failed
};

} // namespace ztl::testing
