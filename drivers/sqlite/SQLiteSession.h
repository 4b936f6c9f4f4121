// The SQLite driver's session: the connection to one database file, its
// connection properties, transactions and the counters that show how often
// statements were prepared and bound.
#pragma once

#include <cstdint>
#include <string>

#include "core/ZtlSession.h"

// As <sqlite3.h> declares it; applications handle the connection by pointer only.
struct sqlite3;

namespace ztl {

// How often the session's cursors did the expensive things, so that tests
// and measurements can prove what was skipped.
struct TZantrelSQLiteStatistics {
  std::int64_t Prepares = 0; // statements compiled (sqlite3_prepare_v2)
  std::int64_t Binds = 0;    // host-variable lists bound to a statement
  std::int64_t Opens = 0;    // cursor statements started
  std::int64_t Executes = 0; // executable statements run
  std::int64_t Rereads = 0;  // rows read again by key
};

// A connection to one SQLite database: a file path, ":memory:", or an
// SQLite "file:" URI (DatabaseName).
//
// The client library is the system's shared SQLite library, loaded when the
// first session of the driver needs it and unloaded when the last one is
// destroyed (LibraryName names it; the first session to load it decides).
//
// Transactions: outside a user transaction every statement commits on its
// own (SQLite's autocommit), so the automatic commit a cursor asks for has
// nothing left to do. StartTransaction only commits what may be pending; the
// BEGIN is issued lazily, before the first statement that runs inside the
// user transaction, and Commit or Rollback end it. With AutoCommit off, the
// statements outside a user transaction also gather in one lazily begun
// transaction that lasts until Commit or Rollback.
//
// Catalog: a connection the session opens itself gets the relations
// sys.systable, sys.syscolumn, sys.sysprocedure and sys.sysuserperms, read
// live from its schemas (an in-memory database attached as "sys"; nothing is
// written to the user's databases). When that cannot be set up (a "sys"
// schema exists, the library lacks virtual tables) the session connects all
// the same, and GetCatalogError says why; an adopted connection gets no
// catalog.
//
// Failures of the library are recorded as the last error with SQLite's
// message and minus its extended result code.
class TZantrelSQLiteSession : public TZantrelSession {
public:
  // The system's SQLite library.
  static constexpr const char* DefaultLibraryName = "libsqlite3.so.0";

  explicit TZantrelSQLiteSession(TComponent* AOwner = nullptr);
  ~TZantrelSQLiteSession() override;

  // Published connection properties. Changing DatabaseName, ReadOnly or
  // CreateIfMissing while connected raises "Not allowed while connected to a
  // database"; BusyTimeout applies at once.
  const std::string& GetDatabaseName() const { return DatabaseName; }
  void SetDatabaseName(const std::string& Value);
  // The shared library to load; read when the driver's library is loaded.
  const std::string& GetLibraryName() const { return LibraryPath; }
  void SetLibraryName(const std::string& Value);
  // Open the database read-only.
  bool GetReadOnly() const { return ReadOnlyOpen; }
  void SetReadOnly(bool Value);
  // Create the database file when it does not exist (default true).
  bool GetCreateIfMissing() const { return CreateIfMissing; }
  void SetCreateIfMissing(bool Value);
  // Milliseconds to wait for a lock held by another connection before a
  // statement fails as busy (default 5000; 0 fails at once).
  std::int32_t GetBusyTimeout() const { return BusyTimeout; }
  void SetBusyTimeout(std::int32_t Value);
  // Text columns without a declared length (TEXT, expressions) become memos
  // by default (0); a positive value makes them strings of that many bytes,
  // which cursors prepared afterwards use. A longer value is reported, never
  // cut.
  std::int32_t GetMaxStringSize() const { return MaxStringSize; }
  void SetMaxStringSize(std::int32_t Value);

  // The connection, or null while disconnected.
  sqlite3* GetDatabase() const { return Db; }
  // Why the connection has no catalog; empty when it has one (or none is
  // connected).
  const std::string& GetCatalogError() const { return CatalogError; }

  TZantrelSQLiteStatistics& GetStatistics() { return Statistics; }
  void ResetStatistics() { Statistics = TZantrelSQLiteStatistics{}; }

  // The driver-wide library reference count.
  static std::int32_t GetDriverLibraryRefCount();

  // Runs SQL (any number of statements) on the connection. False, with the
  // error recorded, when one fails or when not connected.
  bool Execute(const std::string& SQL) override;
  // 0 when the connection answers, else minus SQLite's result code.
  std::int32_t Ping(const char* P) override;

  // --- For the driver's cursors ---------------------------------------------

  // Issues the BEGIN of a user transaction (or of the AutoCommit-off
  // transaction) if it is due and not yet issued. False, with the error
  // recorded, when that fails.
  bool EnsureTransaction();
  // Records the connection's current error (SQLite's message, minus its
  // extended result code) as the last error and returns false.
  bool Fail();
  // Records Msg with Code and returns false.
  bool Fail(const std::string& Msg, std::int32_t Code);
  // Raises the connection's current error through RaiseLastError.
  [[noreturn]] void RaiseDatabaseError();

protected:
  std::int32_t GetLibraryRefCount() override;
  void SetLibraryRefCount(std::int32_t Value) override;
  void InternalLoadLibrary() override;
  void InternalFreeLibrary() override;
  void InternalInitLibrary() override;
  void InternalConnect(void*& AHandle) override;
  void InternalDisconnect() override;
  void InternalSetHandle(void* Value) override;
  // Code is an SQLite result code for the connection AHandle (the session's
  // own when null): success codes give 0; an error is recorded and, with
  // RaiseError, raised, else minus its extended code is returned.
  std::int32_t Check(void* AHandle, std::int32_t Code, std::int32_t Code2,
                     bool RaiseError) override;
  void InternalCommit(bool Automatic) override;
  void InternalRollback() override;

private:
  // Raises "Not allowed while connected to a database" when connected.
  void CheckDisconnected();
  // Runs one statement without results; raises its error.
  void ExecOrRaise(const char* SQL);
  // Called after every failure: notes when SQLite has rolled back the
  // transaction this session began (it does so after an I/O error or a full
  // disk), so that the rest of the transaction is refused instead of
  // running, and committing, in a fresh one.
  void NoteLostTransaction();
  // Raises SZtlTransactionLost when the session's transaction is gone.
  void CheckTransactionKept();

  sqlite3* Db = nullptr;               // the connection (own or adopted), null when none
  bool ReadOnlyOpen = false;           // open read-only
  bool CreateIfMissing = true;         // create a missing file
  std::int32_t BusyTimeout = 5000;     // lock wait in milliseconds
  std::int32_t MaxStringSize = 0;      // size of undeclared-length text; 0: memo
  bool OwnTransaction = false;         // the open transaction was begun by this session
  bool TransactionLost = false;        // SQLite rolled that transaction back after an error
  std::string CatalogError;            // why the connection has no catalog, "" when it has
  TZantrelSQLiteStatistics Statistics; // counters of the cursors' work
};

} // namespace ztl
