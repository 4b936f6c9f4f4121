// Creation, start and removal of the tests' throw-away PostgreSQL cluster.
#include "tests/support/PgCluster.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

namespace ztl::testing {

namespace {

// The bin directory of the newest installed server, or "".
std::string FindBinDir() {
  std::error_code Ec;
  std::filesystem::path Best;
  int BestVersion = -1;
  for (const auto& E : std::filesystem::directory_iterator("/usr/lib/postgresql", Ec)) {
    const std::string Name = E.path().filename().string();
    const int Version = std::atoi(Name.c_str());
    if (Version > BestVersion && std::filesystem::exists(E.path() / "bin" / "initdb", Ec) &&
        std::filesystem::exists(E.path() / "bin" / "pg_ctl", Ec)) {
      BestVersion = Version;
      Best = E.path() / "bin";
    }
  }
  return Best.string();
}

} // namespace

PgCluster& PgCluster::Shared() {
  static PgCluster Cluster;
  return Cluster;
}

bool PgCluster::RunAs(const std::string& Program, const std::string& Args) const {
  std::string Cmd;
  if (AsPostgres)
    Cmd = "runuser -u postgres -- ";
  Cmd += "'" + BinDir + "/" + Program + "' " + Args + " >>'" + Dir + "/setup.log' 2>&1";
  return std::system(Cmd.c_str()) == 0;
}

PgCluster::PgCluster() {
  BinDir = FindBinDir();
  if (BinDir.empty()) {
    Why = "PostgreSQL server binaries not found under /usr/lib/postgresql "
          "(install the Debian package postgresql)";
    return;
  }
  // The server refuses to run as root; as root the cluster belongs to the
  // "postgres" system user that Debian's package creates.
  const passwd* Pw = nullptr;
  if (geteuid() == 0) {
    Pw = getpwnam("postgres");
    if (!Pw) {
      Why = "running as root and there is no postgres system user";
      return;
    }
    AsPostgres = true;
  }
  std::string Pattern = (std::filesystem::temp_directory_path() / "ztl-pg-XXXXXX").string();
  if (!mkdtemp(Pattern.data())) {
    Why = "mkdtemp failed";
    return;
  }
  Dir = Pattern;
  if (AsPostgres && chown(Dir.c_str(), Pw->pw_uid, Pw->pw_gid) != 0) {
    Why = "cannot hand the cluster directory to the postgres user";
    return;
  }
  std::random_device Rd;
  ServerPort = static_cast<std::int32_t>(20000 + Rd() % 40000);
  if (!RunAs("initdb", "-D '" + Dir + "/data' -U " + User +
                           " -A trust -E UTF8 --locale=C --no-sync --no-instructions")) {
    Why = "initdb failed; see " + Dir + "/setup.log";
    return;
  }
  // Unix socket in our own directory only, no TCP; fsync off: the data is
  // thrown away.
  const std::string Options = "-k '" + Dir + "' -h '' -p " + std::to_string(ServerPort) +
                              " -F -c max_connections=20 -c shared_buffers=16MB";
  if (!RunAs("pg_ctl", "-D '" + Dir + "/data' -l '" + Dir + "/server.log' -w -t 60 -o \"" +
                           Options + "\" start")) {
    Why = "the server did not start; see " + Dir + "/server.log";
    return;
  }
  Running = true;
}

PgCluster::~PgCluster() {
  if (Running)
    RunAs("pg_ctl", "-D '" + Dir + "/data' -m immediate -w stop");
  if (!Dir.empty()) {
    std::error_code Ignored;
    std::filesystem::remove_all(Dir, Ignored);
  }
}

} // namespace ztl::testing
