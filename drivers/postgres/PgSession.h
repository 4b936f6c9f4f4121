// The PostgreSQL driver's session: the connection to one server database,
// its connection properties, transactions, error records and the counters
// that show how often statements were prepared and bound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZtlSession.h"
#include "drivers/postgres/PgResult.h"

namespace ztl {

class TPgRelationCache;

// How often the session's cursors did the expensive things, so that tests
// and measurements can prove what was skipped.
struct TZantrelPgStatistics {
  std::int64_t Prepares = 0; // statements prepared on the server (PQprepare)
  std::int64_t Binds = 0;    // host-variable lists bound to a prepared statement
  std::int64_t Opens = 0;    // cursor statements run
  std::int64_t OneShots = 0; // cursor statements run as the unnamed statement
  std::int64_t Executes = 0; // executable statements run
  std::int64_t Rereads = 0;  // rows read again by key
  std::int64_t Fills = 0;    // fetch-buffer fills from a result
  std::int64_t Batches = 0;  // batches fetched from the server-side cursors of forward-only scans
  std::int64_t Pipelined = 0; // array elements sent in pipeline mode
  std::int64_t Relations = 0; // relations looked up in the catalog (DescribeRelation)
};

// The error code this driver records for a failure: minus the SQLSTATE read
// as a base-36 number ("23505" gives -3,291,... ; every class stays apart),
// or -1 for a failure of the client side that carries no SQLSTATE.
std::int32_t PgErrorCode(const char* SqlState) noexcept;
// The SQLSTATE a code of PgErrorCode stands for; empty for -1 and for any
// code that is not one (no error state lies in class "00").
std::string PgSqlStateOfCode(std::int32_t Code);
// Whether SQL begins with COMMIT or END, the statements that end a
// transaction block by committing it.
bool PgIsCommitText(std::string_view SQL);

// A connection to one PostgreSQL database.
//
// Connection properties: ServerName (host name, or the directory of the
// server's Unix socket), Port, DatabaseName, UserName, Password, and
// ConnectOptions, further libpq "key=value" settings appended as given.
// Empty ones take libpq's defaults.
//
// More than one server: ServerName may be a comma-separated list of hosts,
// which libpq tries in order, and ConnectOptions may hold any libpq setting,
// target_session_attrs (read-write, read-only, primary, standby,
// prefer-standby) included, so that libpq itself chooses the server. Port
// is one number and applies to every host of the list; hosts on different
// ports name their ports in ConnectOptions ("port=5432,5433", one per
// host), which come after the properties and so take precedence.
// ConnectedHost, ConnectedPort and InRecovery tell which server was reached.
//
// The client library is loaded at run time from LibraryName (default
// "libpq.so.5") when the first session of the driver needs it and unloaded
// when the last one is destroyed.
//
// Every connection, own or adopted through SetHandle, is switched to the
// settings the driver reads values in: ISO dates, the C monetary locale,
// full float precision and hex bytea output. Text passes through as the
// bytes of the client encoding, which is ClientEncoding when set and else
// the database's own encoding, so nothing the database holds is refused by
// a conversion on the way.
//
// Transactions: outside a user transaction every statement commits on its
// own (the server's autocommit), so the automatic commit a cursor asks for
// has nothing left to do. The BEGIN of a user transaction is issued lazily,
// before its first statement; Commit and Rollback end it. With AutoCommit
// off, statements outside a user transaction gather in one lazily begun
// transaction that lasts until Commit or Rollback.
//
// Catalog: statements may read sys.systable, sys.syscolumn,
// sys.sysprocedure and sys.sysuserperms; the driver answers them from
// pg_catalog (see WithCatalog), creating nothing in the database.
//
// Failures are recorded as the last error with libpq's message and the code
// given by PgErrorCode. A COMMIT whose answer never came, because the
// connection broke while it ran, is reported with SZtlCommitUnknown and the
// code of SQLSTATE 08007: the server may or may not have committed. A
// COMMIT the server answers with the tag ROLLBACK (an earlier statement
// aborted the transaction) fails with SZtlCommitRolledBack and SQLSTATE
// 40000: nothing of the transaction was saved.
//
// Prepared statements: the cursors prepare under names of their own. When
// the server says such a name does not exist (SQLSTATE 26000: a pooler that
// hands server connections from client to client, or a DEALLOCATE ALL or
// DISCARD ALL of the application), the session stops relying on names for
// the rest of its life: the statement runs again by its text, and later
// ones are described through the unnamed statement and run by their text.
class TZantrelPgSession : public TZantrelSession {
public:
  static constexpr const char* DefaultLibraryName = "libpq.so.5";

  explicit TZantrelPgSession(TComponent* AOwner = nullptr);
  ~TZantrelPgSession() override;

  // Published connection properties. Changing one while connected raises
  // "Not allowed while connected to a database".
  const std::string& GetServerName() const { return ServerName; }
  void SetServerName(const std::string& Value);
  std::int32_t GetPort() const { return Port; }
  void SetPort(std::int32_t Value);
  const std::string& GetDatabaseName() const { return DatabaseName; }
  void SetDatabaseName(const std::string& Value);
  const std::string& GetUserName() const { return UserName; }
  void SetUserName(const std::string& Value);
  const std::string& GetPassword() const { return Password; }
  void SetPassword(const std::string& Value);
  const std::string& GetConnectOptions() const { return ConnectOptions; }
  void SetConnectOptions(const std::string& Value);
  // The client encoding the connection uses ("UTF8", "WIN1252", ...); empty
  // for the database's own encoding.
  const std::string& GetClientEncoding() const { return ClientEncoding; }
  void SetClientEncoding(const std::string& Value);
  // The most bytes one character takes in the connection's client encoding
  // (1 while disconnected); string columns are sized with it.
  std::int32_t GetMaxCharBytes() const { return MaxCharBytes; }
  // The server the connection reached, as libpq tells it: the host (the
  // socket directory for a Unix socket) and the port; "" and 0 while
  // disconnected. Read-only, never stored.
  std::string GetConnectedHost() const;
  std::int32_t GetConnectedPort() const;
  // Whether the server reached is a hot standby, which takes reads only;
  // false while disconnected. Read-only, never stored. Servers since 14
  // report it (in_hot_standby) on their own and report it again when a
  // promotion ends recovery, so it follows a promotion at the next
  // statement; an older server is asked once, when the session connects.
  bool GetInRecovery() const;
  // True once the session found a statement it had prepared gone from the
  // server; its statements no longer depend on server-side names.
  bool GetUnnamedStatements() const { return UnnamedOnly; }
  // The shared library to load; read when the driver's library is loaded.
  const std::string& GetLibraryName() const { return LibraryPath; }
  void SetLibraryName(const std::string& Value);

  // The connection, or null while disconnected.
  PGconn* GetConnection() const { return Conn; }

  TZantrelPgStatistics& GetStatistics() { return Statistics; }
  void ResetStatistics() { Statistics = TZantrelPgStatistics{}; }

  static std::int32_t GetDriverLibraryRefCount();

  // Runs SQL (one or more statements) on the connection. False, with the
  // error recorded, when it fails or when not connected.
  bool Execute(const std::string& SQL) override;
  // 0 when the server answers, else the error code.
  std::int32_t Ping(const char* P) override;
  std::string SQLStateOfCode(std::int32_t Code) const override;

  // --- For the driver's cursors ---------------------------------------------

  // Issues the BEGIN of a user transaction (or of the AutoCommit-off
  // transaction) when due. False, with the error recorded, on failure.
  bool EnsureTransaction();
  // Records the error of Res (or, without one, of the connection) and
  // returns false.
  bool Fail(const PGresult* Res);
  // Records Msg with Code and returns false.
  bool Fail(const std::string& Msg, std::int32_t Code);
  // Runs COMMIT. False, with the error recorded, when it fails; when the
  // connection broke before the server answered, the error says that the
  // outcome is unknown (see the class comment).
  bool RunCommit();
  // Called when a statement the session prepared is gone from the server:
  // from now on statements do not depend on server-side names.
  void NoteStatementsLost() { UnnamedOnly = true; }
  // SQL with its references to the catalog relations sys.systable,
  // sys.syscolumn, sys.sysprocedure and sys.sysuserperms replaced by
  // sub-queries over pg_catalog; a relation that a real schema "sys" of the
  // database holds is left to it. Unchanged when it names none.
  std::string WithCatalog(const std::string& SQL);
  // A name for a new server-side prepared statement, unique on this
  // session's connections.
  std::string NewStatementName();
  // Drops the server-side prepared statement Name. Outside a transaction
  // block at once; inside one it waits until the block has ended, because a
  // DEALLOCATE of a name already gone (DEALLOCATE ALL, a pooler) would abort
  // the application's transaction, and a held statement costs nothing but
  // a little server memory meanwhile.
  void DropStatement(const std::string& Name);
  // Closes the server-side cursor Name. Inside a healthy transaction block
  // it closes at once, under a savepoint so that a cursor already gone
  // (CLOSE ALL, a rollback to a savepoint) cannot abort the block: a held
  // cursor left open would be materialised whole when the block commits.
  // Inside an aborted block it waits, as DropStatement does.
  void CloseCursor(const std::string& Name);
  // Runs the DEALLOCATEs and CLOSEs held back, when the connection is
  // outside a transaction block; their errors mean the names are gone
  // already, which is what was wanted.
  void FlushDroppedStatements();
  // Runs one statement without parameters; the result, whatever its state.
  TPgResult Run(const char* SQL);
  // The relation Oid as the cursors' row operations need it: a row per
  // column (attnum, quoted name, part of the primary key "t"/"f") after the
  // relation's quoted schema-qualified name and kind, or one row with null
  // column fields for a relation without columns, none for no relation. The
  // question is prepared once per connection, so that the server plans it
  // once rather than for every result read from one table (and asked by its
  // text once prepared names do not survive).
  TPgResult DescribeRelation(std::uint32_t Oid);
  // What the cursors learnt from DescribeRelation, kept for the connection's
  // life and emptied whenever the schema may have changed under it.
  TPgRelationCache& GetRelationCache() { return *Relations; }
  // Forgets the relation facts when Res is the result of a command that may
  // have changed a relation (DDL, a rollback, DO, CALL).
  void NoteCommand(const PGresult* Res);

protected:
  std::int32_t GetLibraryRefCount() override;
  void SetLibraryRefCount(std::int32_t Value) override;
  void InternalLoadLibrary() override;
  void InternalFreeLibrary() override;
  void InternalInitLibrary() override;
  void InternalConnect(void*& AHandle) override;
  void InternalDisconnect() override;
  void InternalSetHandle(void* Value) override;
  // Code is a libpq ExecStatusType for the connection AHandle (the session's
  // own when null): success statuses give 0; otherwise the connection's
  // error is recorded and, with RaiseError, raised, else its code returned.
  std::int32_t Check(void* AHandle, std::int32_t Code, std::int32_t Code2,
                     bool RaiseError) override;
  void InternalCommit(bool Automatic) override;
  void InternalRollback() override;

private:
  // Called after every failure: when the server has ended the connection,
  // the session reads as disconnected and without a transaction from here.
  void NoteLostConnection();
  void CheckDisconnected();
  // The libpq connection string of the published properties.
  std::string ConnectionString() const;
  // Switches Conn to the driver's settings; raises on failure.
  void ApplySettings(PGconn* C);
  // Runs SQL; raises its error.
  void RunOrRaise(const char* SQL);

  PGconn* Conn = nullptr;          // the connection (own or adopted), null when none
  std::int32_t Port = 0;           // server port; 0 for libpq's default
  std::string ConnectOptions;      // further "key=value" settings for libpq
  std::string ClientEncoding;      // the client encoding asked for, "" for the database's
  std::int32_t MaxCharBytes = 1;   // bytes per character at most in the client encoding
  bool OwnTransaction = false;     // the open transaction was begun by this session
  std::uint64_t StatementSeq = 0;  // numbers prepared-statement names
  bool RelationPrepared = false;   // DescribeRelation's statement is on the connection
  bool RecoveryAtConnect = false;  // pg_is_in_recovery() at connect, for servers before 14
  bool UnnamedOnly = false;        // prepared statements' names did not survive here
  std::vector<std::string> Dropped; // DEALLOCATEs and CLOSEs to run once no block is open
  std::unique_ptr<TPgRelationCache> Relations; // facts of relations the cursors read
  TZantrelPgStatistics Statistics; // counters of the cursors' work
};

} // namespace ztl
