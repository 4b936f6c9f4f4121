// The SQLite driver's session: library loading, connecting, adopting a
// handle, transactions and error records.
#include "drivers/sqlite/SQLiteSession.h"

#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteCatalog_p.h"

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"

namespace ztl {

TZantrelSQLiteSession::TZantrelSQLiteSession(TComponent* AOwner) : TZantrelSession(AOwner) {
  LibraryPath = DefaultLibraryName;
}

TZantrelSQLiteSession::~TZantrelSQLiteSession() {
  DestroySession();
}

// --- Properties ---------------------------------------------------------------

void TZantrelSQLiteSession::CheckDisconnected() {
  if (GetConnected())
    RaiseLastError(LoadZtlStr(ZTL_ERR_SESS_CONNECTED), 0);
}

void TZantrelSQLiteSession::SetDatabaseName(const std::string& Value) {
  if (Value == DatabaseName)
    return;
  CheckDisconnected();
  DatabaseName = Value;
}

void TZantrelSQLiteSession::SetLibraryName(const std::string& Value) {
  if (Value == LibraryPath)
    return;
  CheckDisconnected();
  LibraryPath = Value;
}

void TZantrelSQLiteSession::SetReadOnly(bool Value) {
  if (Value == ReadOnlyOpen)
    return;
  CheckDisconnected();
  ReadOnlyOpen = Value;
}

void TZantrelSQLiteSession::SetCreateIfMissing(bool Value) {
  if (Value == CreateIfMissing)
    return;
  CheckDisconnected();
  CreateIfMissing = Value;
}

void TZantrelSQLiteSession::SetBusyTimeout(std::int32_t Value) {
  BusyTimeout = Value < 0 ? 0 : Value;
  // An adopted connection keeps the timeout its owner gave it.
  if (Db && !HandleShared)
    SQLite().busy_timeout(Db, BusyTimeout);
}

void TZantrelSQLiteSession::SetMaxStringSize(std::int32_t Value) {
  MaxStringSize = Value < 0 ? 0 : Value;
}

// --- Errors -------------------------------------------------------------------

bool TZantrelSQLiteSession::Fail() {
  if (!Db)
    return Fail(LoadZtlStr(ZTL_ERR_SESS_INVALID_HANDLE), -SQLITE_MISUSE);
  return Fail(SQLite().errmsg(Db), -SQLite().extended_errcode(Db));
}

bool TZantrelSQLiteSession::Fail(const std::string& Msg, std::int32_t Code) {
  // SQLite's "no such table: sys.systable" alone would send the user looking
  // for a table they never had to create.
  if (!CatalogError.empty() && Msg.starts_with("no such table: sys.")) {
    SetLastError(Msg + " (the catalog is not available on this connection: " + CatalogError + ")",
                 Code);
    return false;
  }
  SetLastError(Msg, Code);
  NoteLostTransaction();
  return false;
}

void TZantrelSQLiteSession::NoteLostTransaction() {
  if (Db && OwnTransaction && SQLite().get_autocommit(Db) != 0)
    TransactionLost = true;
}

void TZantrelSQLiteSession::CheckTransactionKept() {
  if (TransactionLost)
    RaiseLastError(SZtlTransactionLost, -SQLITE_ABORT_ROLLBACK);
}

void TZantrelSQLiteSession::RaiseDatabaseError() {
  Fail();
  RaiseLastError(LastError, LastErrorCode);
}

std::int32_t TZantrelSQLiteSession::Check(void* AHandle, std::int32_t Code, std::int32_t,
                                          bool RaiseError) {
  if (Code == SQLITE_OK || Code == SQLITE_ROW || Code == SQLITE_DONE)
    return 0;
  sqlite3* Conn = AHandle ? static_cast<sqlite3*>(AHandle) : Db;
  if (Conn)
    SetLastError(SQLite().errmsg(Conn), -SQLite().extended_errcode(Conn));
  else
    SetLastError(SQLite().errstr(Code), -Code);
  NoteLostTransaction();
  if (RaiseError)
    RaiseLastError(LastError, LastErrorCode);
  return LastErrorCode;
}

// --- Library ------------------------------------------------------------------

std::int32_t TZantrelSQLiteSession::GetLibraryRefCount() {
  return TSQLiteLibrary::GetRefCount();
}

void TZantrelSQLiteSession::SetLibraryRefCount(std::int32_t Value) {
  TSQLiteLibrary::SetRefCount(Value);
}

std::int32_t TZantrelSQLiteSession::GetDriverLibraryRefCount() {
  return TSQLiteLibrary::GetRefCount();
}

void TZantrelSQLiteSession::InternalLoadLibrary() {
  TSQLiteLibrary::LoadOrRaise(*this, LibraryPath);
}

void TZantrelSQLiteSession::InternalInitLibrary() {
  // A library that is not SQLite (or too old) fails here.
  TSQLiteLibrary::CheckOrFree([this] {
    const int Rc = SQLite().initialize();
    if (Rc != SQLITE_OK)
      RaiseLastError(LoadZtlStr(ZTL_ERR_LIB_INIT_FAILED), -Rc);
  });
}

void TZantrelSQLiteSession::InternalFreeLibrary() {
  // sqlite3_shutdown is not called: other code in the process may use the
  // same library.
  TSQLiteLibrary::Free();
}

// --- Connection ---------------------------------------------------------------

void TZantrelSQLiteSession::InternalConnect(void*& AHandle) {
  if (DatabaseName.empty())
    RaiseLastError("No database file given (DatabaseName is empty)", -SQLITE_CANTOPEN);
  // One connection is only ever used by the thread that owns the session, so
  // SQLite's per-connection mutex is not needed.
  int Flags = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
  if (ReadOnlyOpen)
    Flags |= SQLITE_OPEN_READONLY;
  else
    Flags |= SQLITE_OPEN_READWRITE | (CreateIfMissing ? SQLITE_OPEN_CREATE : 0);
  sqlite3* Conn = nullptr;
  const int Rc = SQLite().open_v2(DatabaseName.c_str(), &Conn, Flags, nullptr);
  std::string Msg;
  std::int32_t Code = 0;
  if (Rc != SQLITE_OK) {
    Msg = Conn ? SQLite().errmsg(Conn) : SQLite().errstr(Rc);
    Code = -(Conn ? SQLite().extended_errcode(Conn) : Rc);
  } else {
    SQLite().busy_timeout(Conn, BusyTimeout);
    // SQLite opens files lazily; reading the schema now reports a file that
    // is no database (or is locked away) at connect time, not at the first
    // statement.
    char* Err = nullptr;
    if (SQLite().exec(Conn, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &Err) !=
        SQLITE_OK) {
      Msg = Err ? Err : SQLite().errmsg(Conn);
      Code = -SQLite().extended_errcode(Conn);
    }
    SQLite().free(Err);
  }
  if (Code != 0) {
    SQLite().close_v2(Conn);
    RaiseLastError(Msg, Code);
  }
  // Without the catalog the connection is still good for everything else;
  // the reason is kept for the error of a statement that reads it.
  CatalogError.clear();
  SQLiteInstallCatalog(Conn, CatalogError);
  Db = Conn;
  OwnTransaction = false;
  TransactionLost = false;
  AHandle = Conn;
}

void TZantrelSQLiteSession::InternalDisconnect() {
  if (!Db)
    return;
  // close_v2 defers the close until the last statement is finalized, so a
  // statement that somebody still holds cannot make the close fail.
  SQLite().close_v2(Db);
  Db = nullptr;
  OwnTransaction = false;
  TransactionLost = false;
  CatalogError.clear();
}

void TZantrelSQLiteSession::InternalSetHandle(void* Value) {
  Db = static_cast<sqlite3*>(Value);
  OwnTransaction = false;
  TransactionLost = false;
  // An adopted connection belongs to its owner, who did not ask for a
  // database attached to it.
  CatalogError = Db ? "the connection was adopted from its owner" : "";
}

bool TZantrelSQLiteSession::Execute(const std::string& SQL) {
  if (!Db)
    return Fail();
  if (!EnsureTransaction())
    return false;
  char* Err = nullptr;
  const int Rc = SQLite().exec(Db, SQL.c_str(), nullptr, nullptr, &Err);
  if (Rc != SQLITE_OK) {
    const std::string Msg = Err ? Err : SQLite().errmsg(Db);
    SQLite().free(Err);
    return Fail(Msg, -SQLite().extended_errcode(Db));
  }
  if (!InTransaction && AutoCommit)
    InternalCommit(true);
  return true;
}

std::int32_t TZantrelSQLiteSession::Ping(const char*) {
  if (!Db)
    return -SQLITE_MISUSE;
  const int Rc = SQLite().exec(Db, "SELECT 1", nullptr, nullptr, nullptr);
  return Rc == SQLITE_OK ? 0 : -Rc;
}

// --- Transactions -------------------------------------------------------------

void TZantrelSQLiteSession::ExecOrRaise(const char* SQL) {
  char* Err = nullptr;
  const int Rc = SQLite().exec(Db, SQL, nullptr, nullptr, &Err);
  if (Rc == SQLITE_OK)
    return;
  const std::string Msg = Err ? Err : SQLite().errmsg(Db);
  SQLite().free(Err);
  const std::int32_t Code = -SQLite().extended_errcode(Db);
  NoteLostTransaction();
  RaiseLastError(Msg, Code);
}

bool TZantrelSQLiteSession::EnsureTransaction() {
  if (TransactionLost)
    return Fail(SZtlTransactionLost, -SQLITE_ABORT_ROLLBACK);
  if (!Db || (!InTransaction && AutoCommit) || SQLite().get_autocommit(Db) == 0)
    return true;
  char* Err = nullptr;
  if (SQLite().exec(Db, "BEGIN", nullptr, nullptr, &Err) != SQLITE_OK) {
    const std::string Msg = Err ? Err : SQLite().errmsg(Db);
    SQLite().free(Err);
    return Fail(Msg, -SQLite().extended_errcode(Db));
  }
  OwnTransaction = true;
  return true;
}

void TZantrelSQLiteSession::InternalCommit(bool Automatic) {
  // Committing what is left of a transaction SQLite rolled back would
  // report its lost work as saved.
  CheckTransactionKept();
  if (!Db || SQLite().get_autocommit(Db) != 0) {
    OwnTransaction = false;
    return;
  }
  // The automatic commit comes after a statement outside a user transaction;
  // SQLite has committed that statement already. Only a transaction this
  // session began while AutoCommit was off is still open then; one the
  // application began with its own BEGIN is left to it.
  if (Automatic && !OwnTransaction)
    return;
  ExecOrRaise("COMMIT");
  OwnTransaction = false;
}

void TZantrelSQLiteSession::InternalRollback() {
  TransactionLost = false;
  if (!Db || SQLite().get_autocommit(Db) != 0) {
    OwnTransaction = false;
    return;
  }
  ExecOrRaise("ROLLBACK");
  OwnTransaction = false;
}

} // namespace ztl
