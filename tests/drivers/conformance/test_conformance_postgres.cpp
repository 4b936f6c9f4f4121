// The conformance cases on the PostgreSQL driver, against the program's
// throw-away cluster (skipped when no server can run here). The tests share
// the cluster's database; each makes its tables anew.
#include "drivers/postgres/ZtlPostgres.h"
#include "tests/drivers/conformance/ConformanceCases.h"
#include "tests/drivers/conformance/SqlDriverTraits.h"
#include "tests/support/PgCluster.h"

namespace ztl::conformance {
namespace {

using testing::PgCluster;

class TPgDriver : public TSqlDriverTraits<TPgDriver, TZantrelPgSession, TZantrelPgSQL,
                                          TZantrelPgQuery, TZantrelPgStoredProc> {
public:
  static constexpr const char* Name = "PostgreSQL";
  static std::string Unavailable() {
    return PgCluster::Shared().Available() ? std::string() : PgCluster::Shared().Reason();
  }
  static bool Runs(TCase) { return true; }

  static std::string TypeName(TLogical T, int Length) {
    switch (T) {
    case TLogical::String:
      return "varchar(" + std::to_string(Length) + ")";
    case TLogical::Integer:
      return "int4";
    case TLogical::Int64:
      return "int8";
    case TLogical::Float:
      return "float8";
    case TLogical::Currency:
      return "money";
    case TLogical::Date:
      return "date";
    case TLogical::Time:
      return "time";
    case TLogical::DateTime:
      return "timestamp";
    case TLogical::Boolean:
      return "bool";
    case TLogical::Binary:
      return {}; // bytea is a blob; the rows hold no fixed-length binaries
    case TLogical::Memo:
      return "text";
    case TLogical::Blob:
      return "bytea";
    }
    return {};
  }

  TPgDriver() {
    Connect();
    // CreateTable's DROP TABLE IF EXISTS would print a notice every time.
    Own->Execute("SET client_min_messages = warning");
  }

  std::unique_ptr<TZantrelSession> NewSession(TComponent* Owner = nullptr) {
    auto S = std::make_unique<TZantrelPgSession>(Owner);
    const PgCluster& C = PgCluster::Shared();
    S->SetServerName(C.SocketDir());
    S->SetPort(C.Port());
    S->SetUserName(PgCluster::User);
    S->SetDatabaseName(PgCluster::Database);
    // The shared edge values are Windows-1252 text; the database is UTF-8.
    S->SetClientEncoding("WIN1252");
    return S;
  }
  static void RegisterClasses() { RegisterZantrelPgClasses(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(PostgreSQL, DriverDatasets, TPgDriver);
INSTANTIATE_TYPED_TEST_SUITE_P(PostgreSQL, DriverSql, TPgDriver);

} // namespace
} // namespace ztl::conformance
