// Shared set-up of the PostgreSQL driver's tests: a session connected to the
// program's throw-away cluster, and cursors on it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "drivers/postgres/ZtlPostgres.h"
#include "tests/support/PgCluster.h"

namespace ztl::testing {

// Points Session at the shared cluster.
inline void AimAtCluster(TZantrelPgSession& Session) {
  const PgCluster& C = PgCluster::Shared();
  Session.SetServerName(C.SocketDir());
  Session.SetPort(C.Port());
  Session.SetUserName(PgCluster::User);
  Session.SetDatabaseName(PgCluster::Database);
}

// A connected session, skipped when no cluster can run here.
class PgTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!PgCluster::Shared().Available())
      GTEST_SKIP() << "PostgreSQL tests skipped: " << PgCluster::Shared().Reason();
    Session = std::make_unique<TZantrelPgSession>();
    AimAtCluster(*Session);
    Session->Open();
  }

  void Exec(const std::string& SQL) {
    ASSERT_TRUE(Session->Execute(SQL)) << Session->GetLastError();
  }

  TZantrelPgStatistics& Stats() { return Session->GetStatistics(); }

  std::unique_ptr<TZantrelPgSession> Session;
};

} // namespace ztl::testing
