// The ztl program's connections: the session of the right driver for a
// --db text, on a data module.
#include "tools/ztl/Connection.h"

#include "drivers/postgres/ZtlPostgres.h"
#include "drivers/sqlite/ZtlSQLite.h"

namespace ztl::cli {

TConnection::TConnection(const TConnectionTarget& Target, const std::string& Library)
    : Postgres(Target.Postgres) {
  std::string LibraryName;
  if (Postgres) {
    auto* S = new TZantrelPgSession(&Module);
    Session = S;
    if (!Library.empty())
      S->SetLibraryName(Library);
    LibraryName = S->GetLibraryName();
    S->SetDatabaseName(Target.DbName);
    S->SetConnectOptions(ConnectOptionsText(Target));
  } else {
    auto* S = new TZantrelSQLiteSession(&Module);
    Session = S;
    if (!Library.empty())
      S->SetLibraryName(Library);
    LibraryName = S->GetLibraryName();
    S->SetDatabaseName(Target.File);
  }
  try {
    Session->Open();
  } catch (const Exception& E) {
    // The package's message does not say which library it looked for.
    const std::int32_t Loaded = Postgres ? TZantrelPgSession::GetDriverLibraryRefCount()
                                         : TZantrelSQLiteSession::GetDriverLibraryRefCount();
    if (Loaded == 0)
      throw Exception(std::string(E.what()) + ": " + LibraryName +
                      " (install it, or name it with --library)");
    throw;
  }
  if (!Postgres || !Target.DbName.empty())
    return;
  auto* S = static_cast<TZantrelPgSession*>(Session);
  // The catalog finds a session by its database name, and libpq chose
  // one of its own (the user's name, PGDATABASE, a service file); name
  // the session after the database it reached.
  const std::unique_ptr<TZtlDriverSQL> Cursor = NewCursor();
  std::string Name;
  if (Cursor->Open("SELECT current_database()::text AS name", TZtlVarParams(), true) &&
      Cursor->FetchNext())
    Name = TZantrelSQL::SetVarToStr(Cursor->GetFieldValue(Variant("name")));
  Cursor->Close();
  if (!Name.empty()) {
    S->Close();
    S->SetDatabaseName(Name);
    S->Open();
  }
}

TConnection::~TConnection() = default;

const std::string& TConnection::GetDatabaseName() const {
  return Session->GetDatabaseName();
}

std::unique_ptr<TZtlDriverSQL> TConnection::NewCursor() const {
  std::unique_ptr<TZtlDriverSQL> Cursor;
  if (Postgres)
    Cursor = std::make_unique<TZantrelPgSQL>();
  else
    Cursor = std::make_unique<TZantrelSQLiteSQL>();
  Cursor->SetSession(Session);
  return Cursor;
}

std::vector<std::string> TConnection::ParamNames(const TZtlDriverSQL& Cursor) const {
  if (const auto* Pg = dynamic_cast<const TZantrelPgSQL*>(&Cursor))
    return Pg->GetParamNames();
  if (const auto* Lite = dynamic_cast<const TZantrelSQLiteSQL*>(&Cursor))
    return Lite->GetParamNames();
  return {};
}

TZantrelDatasetClass TConnection::QueryClass() const {
  return Postgres ? ZtlDatasetClass<TZantrelPgQuery>() : ZtlDatasetClass<TZantrelSQLiteQuery>();
}

TZantrelCustomStoredProc* TConnection::NewStoredProc() {
  TZantrelCustomStoredProc* Proc;
  if (Postgres)
    Proc = new TZantrelPgStoredProc(&Module);
  else
    Proc = new TZantrelSQLiteStoredProc(&Module);
  Proc->SetSession(Session);
  return Proc;
}

const TStatementDialect& TConnection::Dialect() const {
  return Postgres ? PostgresDialect : SQLiteDialect;
}

} // namespace ztl::cli
