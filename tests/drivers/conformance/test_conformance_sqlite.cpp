// The conformance cases on the SQLite driver, each test on a database file
// of its own.
#include "drivers/sqlite/ZtlSQLite.h"
#include "tests/drivers/conformance/ConformanceCases.h"
#include "tests/drivers/conformance/SqlDriverTraits.h"

namespace ztl::conformance {
namespace {

class TSQLiteDriver
    : public TSqlDriverTraits<TSQLiteDriver, TZantrelSQLiteSession, TZantrelSQLiteSQL,
                              TZantrelSQLiteQuery, TZantrelSQLiteStoredProc> {
public:
  static constexpr const char* Name = "SQLite";
  static std::string Unavailable() { return {}; }
  static bool Runs(TCase) { return true; }

  static std::string TypeName(TLogical T, int Length) {
    switch (T) {
    case TLogical::String:
      return "VARCHAR(" + std::to_string(Length) + ")";
    case TLogical::Integer:
      return "INT"; // not INTEGER: a key of that name is the 64-bit rowid
    case TLogical::Int64:
      return "BIGINT";
    case TLogical::Float:
      return "REAL";
    case TLogical::Currency:
      return "MONEY";
    case TLogical::Date:
      return "DATE";
    case TLogical::Time:
      return "TIME";
    case TLogical::DateTime:
      return "DATETIME";
    case TLogical::Boolean:
      return "BOOLEAN";
    case TLogical::Binary:
      return "BINARY(" + std::to_string(Length) + ")";
    case TLogical::Memo:
      return "TEXT";
    case TLogical::Blob:
      return "BLOB";
    }
    return {};
  }

  // SQLite's integers are 64-bit whatever the declaration says.
  static TFieldType FieldTypeOf(TLogical T, TFieldType Usual) {
    return T == TLogical::Integer ? ftLargeint : Usual;
  }

  TSQLiteDriver() {
    Connect();
    // Test files need no durability; without it every commit is an fsync.
    Own->Execute("PRAGMA synchronous = OFF");
  }
  // The connection ends before its directory goes.
  ~TSQLiteDriver() { Own.reset(); }

  std::unique_ptr<TZantrelSession> NewSession(TComponent* Owner = nullptr) {
    auto S = std::make_unique<TZantrelSQLiteSession>(Owner);
    S->SetDatabaseName(Dir.File("conformance.db"));
    return S;
  }
  static void RegisterClasses() { RegisterZantrelSQLiteClasses(); }

private:
  test::TTempDir Dir{"ztl-conformance"}; // holds the database file
};

INSTANTIATE_TYPED_TEST_SUITE_P(SQLite, DriverDatasets, TSQLiteDriver);
INSTANTIATE_TYPED_TEST_SUITE_P(SQLite, DriverSql, TSQLiteDriver);

} // namespace
} // namespace ztl::conformance
