// Finding the PostgreSQL server programs and running them as the right user
// in a temporary directory, for the tests' throw-away servers.
#include "tests/support/PgServer.h"

#include <pwd.h>
#include <sys/stat.h>
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

bool PgServerHost::Prepare(const std::string& Prefix) {
  BinDir = FindBinDir();
  if (BinDir.empty()) {
    Why = "PostgreSQL server binaries not found under /usr/lib/postgresql "
          "(install the Debian package postgresql)";
    return false;
  }
  if (geteuid() == 0) {
    const passwd* Pw = getpwnam("postgres");
    if (!Pw) {
      Why = "running as root and there is no postgres system user";
      return false;
    }
    AsPostgres = true;
    Uid = Pw->pw_uid;
    Gid = Pw->pw_gid;
  }
  std::string Pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
  if (!mkdtemp(Pattern.data())) {
    Why = "mkdtemp failed";
    return false;
  }
  Root = Pattern;
  if (AsPostgres && chown(Root.c_str(), Uid, Gid) != 0) {
    Why = "cannot hand the cluster directory to the postgres user";
    return false;
  }
  return true;
}

bool PgServerHost::RunShell(const std::string& Command) const {
  std::string Cmd;
  if (AsPostgres)
    Cmd = "runuser -u postgres -- ";
  Cmd += Command;
  return std::system(Cmd.c_str()) == 0;
}

bool PgServerHost::Run(const std::string& Program, const std::string& Args) const {
  return RunShell("'" + BinDir + "/" + Program + "' " + Args + " >>'" + Root + "/setup.log' 2>&1");
}

bool PgServerHost::MakeDir(const std::string& Path) const {
  // The server wants its socket and data directories private to its user.
  if (mkdir(Path.c_str(), 0700) != 0)
    return false;
  return !AsPostgres || chown(Path.c_str(), Uid, Gid) == 0;
}

void PgServerHost::Remove() {
  if (Root.empty())
    return;
  std::error_code Ignored;
  std::filesystem::remove_all(Root, Ignored);
  Root.clear();
}

std::int32_t PgServerHost::RandomPort() {
  std::random_device Rd;
  return static_cast<std::int32_t>(20000 + Rd() % 40000);
}

} // namespace ztl::testing
