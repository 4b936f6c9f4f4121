// Creation, failover and removal of the tests' primary, hot standby and
// pooler.
#include "tests/support/PgReplicaSet.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

namespace ztl::testing {

namespace {

constexpr const char* PoolerProgram = "/usr/sbin/pgpool";

bool WaitForFile(const std::string& Path, std::chrono::seconds Limit) {
  const auto End = std::chrono::steady_clock::now() + Limit;
  std::error_code Ec;
  while (!std::filesystem::exists(Path, Ec)) {
    if (std::chrono::steady_clock::now() > End)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

} // namespace

PgReplicaSet::PgReplicaSet(bool WithPooler) {
  if (!Host.Prepare("ztl-rs")) {
    Why = Host.Reason();
    return;
  }
  const std::string& Dir = Host.Dir();
  Primary = {Dir + "/primary", Dir + "/p", PgServerHost::RandomPort(), false};
  Standby = {Dir + "/standby", Dir + "/s", Primary.Port + 1, false};
  if (!Host.MakeDir(Primary.Socket) || !Host.MakeDir(Standby.Socket)) {
    Why = "cannot make the socket directories in " + Dir;
    return;
  }
  // initdb's trust rules admit local replication connections too.
  if (!Host.Run("initdb", "-D '" + Primary.Data + "' -U " + User +
                              " -A trust -E UTF8 --locale=C --no-sync --no-instructions")) {
    Why = "initdb failed; see " + Dir + "/setup.log";
    return;
  }
  if (!StartServer(Primary, "primary.log"))
    return;
  if (!Host.Run("pg_basebackup", "-D '" + Standby.Data + "' -R -c fast -X stream --no-sync -h '" +
                                     Primary.Socket + "' -p " + std::to_string(Primary.Port) +
                                     " -U " + User)) {
    Why = "pg_basebackup failed; see " + Dir + "/setup.log";
    return;
  }
  if (!StartServer(Standby, "standby.log"))
    return;
  // Set after the copy, so that the standby, once promoted, does not wait
  // for a standby of its own.
  std::ofstream(Primary.Data + "/postgresql.auto.conf", std::ios::app)
      << "synchronous_standby_names = '*'\nsynchronous_commit = remote_apply\n";
  if (!Host.Run("pg_ctl", "-D '" + Primary.Data + "' reload")) {
    Why = "the primary did not reload its settings; see " + Dir + "/setup.log";
    return;
  }
  Running = true;
  if (WithPooler)
    StartPooler();
  else
    PoolWhy = "no pooler was asked for";
}

bool PgReplicaSet::StartServer(TServer& S, const std::string& Log) {
  // No TCP; fsync off: the data is thrown away.
  const std::string Options = "-k '" + S.Socket + "' -h '' -p " + std::to_string(S.Port) +
                              " -F -c max_connections=40 -c shared_buffers=16MB";
  if (!Host.Run("pg_ctl", "-D '" + S.Data + "' -l '" + Host.Dir() + "/" + Log +
                              "' -w -t 60 -o \"" + Options + "\" start")) {
    Why = "a server did not start; see " + Host.Dir() + "/" + Log;
    return false;
  }
  S.Started = true;
  return true;
}

void PgReplicaSet::StartPooler() {
  std::error_code Ec;
  if (!std::filesystem::exists(PoolerProgram, Ec)) {
    PoolWhy = std::string(PoolerProgram) + " not found (install the Debian package pgpool2)";
    return;
  }
  const std::string& Dir = Host.Dir();
  PoolSocket = Dir + "/pool";
  PoolPort = Standby.Port + 1;
  if (!Host.MakeDir(PoolSocket)) {
    PoolWhy = "cannot make the pooler's directory";
    return;
  }
  PoolConf = PoolSocket + "/pgpool.conf";
  std::ofstream Conf(PoolConf);
  const auto Backend = [&](int N, const TServer& S) {
    Conf << "backend_hostname" << N << " = '" << S.Socket << "'\n"
         << "backend_port" << N << " = " << S.Port << "\n"
         << "backend_weight" << N << " = 1\n"
         << "backend_data_directory" << N << " = '" << S.Data << "'\n"
         << "backend_flag" << N << " = 'DISALLOW_TO_FAILOVER'\n";
  };
  Conf << "backend_clustering_mode = 'streaming_replication'\n"
       << "listen_addresses = ''\n"
       << "port = " << PoolPort << "\n"
       << "socket_dir = '" << PoolSocket << "'\n"
       << "pcp_listen_addresses = ''\n"
       << "pcp_port = " << PoolPort + 1 << "\n"
       << "pcp_socket_dir = '" << PoolSocket << "'\n"
       << "pid_file_name = '" << PoolSocket << "/pgpool.pid'\n"
       << "logdir = '" << PoolSocket << "'\n"
       << "enable_pool_hba = off\n"
       << "pool_passwd = ''\n"
       << "num_init_children = 4\n"
       << "max_pool = 1\n"
       << "load_balance_mode = on\n"
       << "sr_check_user = '" << User << "'\n"
       << "sr_check_database = '" << Database << "'\n"
       << "sr_check_period = 0\n"
       << "health_check_period = 0\n"
       << "failover_on_backend_error = off\n"
       << "use_watchdog = off\n"
       << "memory_cache_enabled = off\n"
       << "ssl = off\n";
  Backend(0, Primary);
  Backend(1, Standby);
  Conf.close();
  std::ofstream(PoolSocket + "/pcp.conf").close();
  std::ofstream(PoolSocket + "/pool_hba.conf").close();
  Host.RunShell(std::string(PoolerProgram) + " -n -f '" + PoolConf + "' -F '" + PoolSocket +
                "/pcp.conf' -a '" + PoolSocket + "/pool_hba.conf' >>'" + PoolSocket +
                "/pgpool.log' 2>&1 &");
  if (!WaitForFile(PoolSocket + "/.s.PGSQL." + std::to_string(PoolPort), std::chrono::seconds(30))) {
    PoolWhy = "pgpool did not start; see " + PoolSocket + "/pgpool.log";
    return;
  }
  Pooling = true;
}

std::string PgReplicaSet::Hosts(bool Reversed) const {
  return Reversed ? Standby.Socket + "," + Primary.Socket : Primary.Socket + "," + Standby.Socket;
}

std::string PgReplicaSet::Ports(bool Reversed) const {
  const std::string P = std::to_string(Primary.Port), S = std::to_string(Standby.Port);
  return Reversed ? S + "," + P : P + "," + S;
}

bool PgReplicaSet::StopPrimary(bool Immediate) {
  if (!Primary.Started)
    return true;
  Primary.Started = !Host.Run("pg_ctl", "-D '" + Primary.Data + "' -m " +
                                            (Immediate ? "immediate" : "fast") + " -w stop");
  return !Primary.Started;
}

bool PgReplicaSet::Promote() {
  return Host.Run("pg_ctl", "-D '" + Standby.Data + "' -w -t 60 promote");
}

bool PgReplicaSet::WaitOnPrimary(const std::string& Condition) {
  // psql's exit status says whether the block raised.
  const std::string Script = Host.Dir() + "/wait.sql";
  std::ofstream(Script) << "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_stat_activity WHERE "
                        << Condition << ") THEN RAISE EXCEPTION 'not yet'; END IF; END $$;\n";
  const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < End) {
    if (Host.Run("psql", "-X -q -v ON_ERROR_STOP=1 -h '" + Primary.Socket + "' -p " +
                             std::to_string(Primary.Port) + " -U " + User + " -d " + Database +
                             " -f '" + Script + "'"))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

PgReplicaSet::~PgReplicaSet() {
  // Also after a start that was not seen to succeed: it may be running.
  if (!PoolConf.empty())
    Host.RunShell(std::string(PoolerProgram) + " -f '" + PoolConf + "' -m immediate stop >>'" +
                  PoolSocket + "/pgpool.log' 2>&1");
  for (TServer* S : {&Standby, &Primary})
    if (S->Started)
      Host.Run("pg_ctl", "-D '" + S->Data + "' -m immediate -w stop");
  Host.Remove();
}

} // namespace ztl::testing
