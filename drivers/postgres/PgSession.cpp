// The PostgreSQL driver's session: library loading, connecting, adopting a
// handle, transactions and error records.
#include "drivers/postgres/PgSession.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgApi_p.h"
#include "drivers/postgres/PgCatalog_p.h"
#include "drivers/postgres/PgMarkers_p.h"
#include "drivers/postgres/PgRelations_p.h"
#include "drivers/postgres/PgTypes_p.h"

#include "core/ZtlConsts.h"

namespace ztl {

std::int32_t PgErrorCode(const char* SqlState) noexcept {
  if (!SqlState || !*SqlState)
    return -1;
  std::int32_t Value = 0;
  int N = 0;
  for (const char* P = SqlState; *P && N < 5; ++P, ++N) {
    int Digit;
    if (*P >= '0' && *P <= '9')
      Digit = *P - '0';
    else if (*P >= 'A' && *P <= 'Z')
      Digit = *P - 'A' + 10;
    else
      return -1;
    Value = Value * 36 + Digit; // 36^5 stays below 2^31
  }
  return Value == 0 ? -1 : -Value;
}

std::string PgSqlStateOfCode(std::int32_t Code) {
  constexpr std::int32_t FirstState = 36 * 36 * 36;          // "01000"
  constexpr std::int32_t PastLastState = FirstState * 36 * 36; // 36^5
  if (Code >= 0 || Code < -PastLastState + 1 || -Code < FirstState)
    return {};
  std::int32_t Value = -Code;
  std::string State(5, '0');
  for (int I = 4; I >= 0; --I, Value /= 36) {
    const int Digit = Value % 36;
    State[static_cast<std::size_t>(I)] =
        static_cast<char>(Digit < 10 ? '0' + Digit : 'A' + Digit - 10);
  }
  return State;
}

std::string TZantrelPgSession::SQLStateOfCode(std::int32_t Code) const {
  return PgSqlStateOfCode(Code);
}

TZantrelPgSession::TZantrelPgSession(TComponent* AOwner)
    : TZantrelSession(AOwner), Relations(std::make_unique<TPgRelationCache>()) {
  LibraryPath = DefaultLibraryName;
}

TZantrelPgSession::~TZantrelPgSession() {
  DestroySession();
}

// --- Properties ---------------------------------------------------------------

void TZantrelPgSession::CheckDisconnected() {
  if (GetConnected())
    RaiseLastError(LoadZtlStr(ZTL_ERR_SESS_CONNECTED), 0);
}

void TZantrelPgSession::SetServerName(const std::string& Value) {
  if (Value != ServerName) {
    CheckDisconnected();
    ServerName = Value;
  }
}

void TZantrelPgSession::SetPort(std::int32_t Value) {
  if (Value != Port) {
    CheckDisconnected();
    Port = Value < 0 ? 0 : Value;
  }
}

void TZantrelPgSession::SetDatabaseName(const std::string& Value) {
  if (Value != DatabaseName) {
    CheckDisconnected();
    DatabaseName = Value;
  }
}

void TZantrelPgSession::SetUserName(const std::string& Value) {
  if (Value != UserName) {
    CheckDisconnected();
    UserName = Value;
  }
}

void TZantrelPgSession::SetPassword(const std::string& Value) {
  if (Value != Password) {
    CheckDisconnected();
    Password = Value;
  }
}

void TZantrelPgSession::SetConnectOptions(const std::string& Value) {
  if (Value != ConnectOptions) {
    CheckDisconnected();
    ConnectOptions = Value;
  }
}

void TZantrelPgSession::SetClientEncoding(const std::string& Value) {
  if (Value != ClientEncoding) {
    CheckDisconnected();
    ClientEncoding = Value;
  }
}

void TZantrelPgSession::SetLibraryName(const std::string& Value) {
  if (Value != LibraryPath) {
    CheckDisconnected();
    LibraryPath = Value;
  }
}

std::string TZantrelPgSession::GetConnectedHost() const {
  if (!Conn || !GetConnected())
    return std::string();
  const char* Host = Pq().host(Conn);
  return Host ? Host : "";
}

std::int32_t TZantrelPgSession::GetConnectedPort() const {
  if (!Conn || !GetConnected())
    return 0;
  const char* Port = Pq().port(Conn);
  return Port ? static_cast<std::int32_t>(std::atoi(Port)) : 0;
}

bool TZantrelPgSession::GetInRecovery() const {
  if (!Conn || !GetConnected())
    return false;
  const char* Reported = Pq().parameterStatus(Conn, "in_hot_standby");
  return Reported ? std::strcmp(Reported, "on") == 0 : RecoveryAtConnect;
}

// --- Errors -------------------------------------------------------------------

bool TZantrelPgSession::Fail(const std::string& Msg, std::int32_t Code) {
  SetLastError(Msg, Code);
  NoteLostConnection();
  return false;
}

void TZantrelPgSession::NoteLostConnection() {
  if (!Conn || ConnectionLost || Pq().status(Conn) != CONNECTION_BAD)
    return;
  // The server is gone (shut down, restarted, the backend terminated), and
  // with it any transaction: the session no longer claims either.
  ConnectionLost = true;
  InTransaction = false;
  OwnTransaction = false;
}

bool TZantrelPgSession::Fail(const PGresult* Res) {
  if (Res && Pq().resultStatus(Res) != PGRES_COMMAND_OK &&
      Pq().resultStatus(Res) != PGRES_TUPLES_OK) {
    std::string Msg = Pq().resultErrorMessage(Res);
    while (!Msg.empty() && (Msg.back() == '\n' || Msg.back() == ' '))
      Msg.pop_back();
    return Fail(Msg, PgErrorCode(Pq().resultErrorField(Res, PG_DIAG_SQLSTATE)));
  }
  if (!Conn)
    return Fail(LoadZtlStr(ZTL_ERR_SESS_INVALID_HANDLE), -1);
  std::string Msg = Pq().errorMessage(Conn);
  while (!Msg.empty() && (Msg.back() == '\n' || Msg.back() == ' '))
    Msg.pop_back();
  return Fail(Msg.empty() ? std::string("Unknown PostgreSQL client error") : Msg, -1);
}

std::int32_t TZantrelPgSession::Check(void* AHandle, std::int32_t Code, std::int32_t,
                                      bool RaiseError) {
  if (Code == PGRES_COMMAND_OK || Code == PGRES_TUPLES_OK || Code == PGRES_EMPTY_QUERY)
    return 0;
  PGconn* C = AHandle ? static_cast<PGconn*>(AHandle) : Conn;
  std::string Msg = C ? Pq().errorMessage(C) : LoadZtlStr(ZTL_ERR_SESS_INVALID_HANDLE);
  while (!Msg.empty() && Msg.back() == '\n')
    Msg.pop_back();
  SetLastError(Msg, -1);
  NoteLostConnection();
  if (RaiseError)
    RaiseLastError(LastError, LastErrorCode);
  return LastErrorCode;
}

bool TZantrelPgSession::RunCommit() {
  // A connection known to be broken never carried the COMMIT to the server.
  const bool Sent = Conn && Pq().status(Conn) == CONNECTION_OK;
  const TPgResult R = Run("COMMIT");
  if (R.Ok()) {
    FlushDroppedStatements();
    // The server ends an aborted transaction block with a rollback and
    // answers the COMMIT without an error, only with the tag ROLLBACK: work
    // it threw away must not pass for committed. The transaction is over
    // either way. Class 40 (transaction rollback) says what the application
    // has to know: redo the work; 40000 because the cause was the earlier
    // error, not a serialization failure or a deadlock, which the
    // statement that failed reported with their own states.
    if (std::strcmp(Pq().cmdStatus(R.Get()), "ROLLBACK") != 0)
      return true;
    InTransaction = false;
    return Fail(SZtlCommitRolledBack, PgErrorCode("40000"));
  }
  // An answer of the server, an error included, is what happened. Without
  // one the COMMIT may have been carried out before the connection broke,
  // and claiming either outcome could be wrong.
  const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
  if (!Sent || (State && *State) || Pq().status(Conn) != CONNECTION_BAD)
    return Fail(R.Get());
  std::string Msg = Pq().errorMessage(Conn);
  while (!Msg.empty() && (Msg.back() == '\n' || Msg.back() == ' '))
    Msg.pop_back();
  return Fail(Format(SZtlCommitUnknown, {Msg}), PgErrorCode("08007"));
}

void TZantrelPgSession::DropStatement(const std::string& Name) {
  if (!Conn || Pq().status(Conn) != CONNECTION_OK)
    return; // the server forgot it with the connection
  Dropped.push_back("DEALLOCATE " + Name);
  FlushDroppedStatements();
}

void TZantrelPgSession::CloseCursor(const std::string& Name) {
  if (!Conn || Pq().status(Conn) != CONNECTION_OK)
    return;
  if (Pq().transactionStatus(Conn) != PQTRANS_INTRANS) {
    Dropped.push_back("CLOSE " + Name);
    FlushDroppedStatements();
    return;
  }
  // One round trip while the cursor is there; a second one only to undo
  // the failure when it was not.
  if (!Run(("SAVEPOINT ztl_close; CLOSE " + Name + "; RELEASE SAVEPOINT ztl_close").c_str())
           .Ok())
    Run("ROLLBACK TO SAVEPOINT ztl_close; RELEASE SAVEPOINT ztl_close");
}

void TZantrelPgSession::FlushDroppedStatements() {
  if (Dropped.empty() || !Conn || Pq().status(Conn) != CONNECTION_OK ||
      Pq().transactionStatus(Conn) != PQTRANS_IDLE)
    return;
  for (const std::string& Command : Dropped)
    Run(Command.c_str());
  Dropped.clear();
}

TPgResult TZantrelPgSession::Run(const char* SQL) {
  TPgResult R(Conn ? Pq().exec(Conn, SQL) : nullptr);
  NoteCommand(R.Get());
  return R;
}

void TZantrelPgSession::NoteCommand(const PGresult* Res) {
  if (Res && Relations->Size() > 0 &&
      PgMayChangeSchema(Pq().cmdStatus(const_cast<PGresult*>(Res))))
    Relations->Clear();
}

void TZantrelPgSession::RunOrRaise(const char* SQL) {
  const TPgResult R = Run(SQL);
  if (!R.Ok()) {
    Fail(R.Get());
    RaiseLastError(LastError, LastErrorCode);
  }
}

std::string TZantrelPgSession::WithCatalog(const std::string& SQL) {
  const std::uint32_t Named = PgCatalogReferences(SQL);
  if (Named == 0 || !Conn)
    return SQL;
  // Asked afresh for every such statement: a schema "sys" may be created
  // or filled at any time. When the question fails (in an aborted
  // transaction) the statement fails all the same, with the server's word.
  const TPgResult Own = Run(PgOwnCatalogQuery);
  if (!Own.Ok())
    return SQL;
  std::uint32_t Theirs = 0;
  for (int R = 0; R < Pq().ntuples(Own.Get()); ++R)
    Theirs |= PgCatalogReferences(std::string("sys.") + Pq().getvalue(Own.Get(), R, 0));
  return (Named & ~Theirs) == 0 ? SQL : PgRewriteCatalog(SQL, Named & ~Theirs);
}

TPgResult TZantrelPgSession::DescribeRelation(std::uint32_t Oid) {
  static const char* const Name = "ztl_describe_relation";
  static const char* const SQL =
      "SELECT quote_ident(n.nspname) || '.' || quote_ident(c.relname), c.relkind, a.attnum, "
      "quote_ident(a.attname), coalesce(a.attnum = ANY(i.indkey::int2[]), false), "
      "a.atttypid, a.atttypmod "
      "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
      "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 "
      "AND NOT a.attisdropped "
      "LEFT JOIN pg_catalog.pg_index i ON i.indrelid = c.oid AND i.indisprimary "
      "WHERE c.oid = $1::oid";
  if (!Conn)
    return TPgResult();
  const std::string Value = std::to_string(Oid);
  const char* Values[] = {Value.c_str()};
  ++Statistics.Relations;
  if (!UnnamedOnly) {
    if (!RelationPrepared) {
      TPgResult P(Pq().prepare(Conn, Name, SQL, 0, nullptr));
      if (!P.Ok())
        return P;
      RelationPrepared = true;
    }
    TPgResult R(Pq().execPrepared(Conn, Name, 1, Values, nullptr, nullptr, 0));
    const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
    if (R.Ok() || !State || std::string(State) != "26000")
      return R;
    // Dropped behind the session's back (DEALLOCATE ALL, DISCARD ALL, a
    // pooler): asked by its text from now on, as the cursors' statements.
    RelationPrepared = false;
    NoteStatementsLost();
  }
  return TPgResult(Pq().execParams(Conn, SQL, 1, nullptr, Values, nullptr, nullptr, 0));
}

std::string TZantrelPgSession::NewStatementName() {
  return "ztl_stmt_" + std::to_string(++StatementSeq);
}

// --- Library ------------------------------------------------------------------

std::int32_t TZantrelPgSession::GetLibraryRefCount() {
  return TPgLibrary::GetRefCount();
}

void TZantrelPgSession::SetLibraryRefCount(std::int32_t Value) {
  TPgLibrary::SetRefCount(Value);
}

std::int32_t TZantrelPgSession::GetDriverLibraryRefCount() {
  return TPgLibrary::GetRefCount();
}

void TZantrelPgSession::InternalLoadLibrary() {
  TPgLibrary::LoadOrRaise(*this, LibraryPath);
}

void TZantrelPgSession::InternalInitLibrary() {
  // Libraries older than 9.1 lack entry points this driver calls.
  TPgLibrary::CheckOrFree([this] {
    if (Pq().libVersion() < 90100)
      RaiseLastError(LoadZtlStr(ZTL_ERR_LIB_WRONG), -1);
  });
}

void TZantrelPgSession::InternalFreeLibrary() {
  TPgLibrary::Free();
}

// --- Connection ---------------------------------------------------------------

namespace {

// Appends key='value' to S, quoting as libpq's connection strings want.
void AddKeyword(std::string& S, const char* Key, const std::string& Value) {
  if (Value.empty())
    return;
  S += Key;
  S += "='";
  for (const char C : Value) {
    if (C == '\'' || C == '\\')
      S += '\\';
    S += C;
  }
  S += "' ";
}

} // namespace

std::string TZantrelPgSession::ConnectionString() const {
  std::string S;
  AddKeyword(S, "host", ServerName);
  if (Port > 0)
    AddKeyword(S, "port", std::to_string(Port));
  AddKeyword(S, "dbname", DatabaseName);
  AddKeyword(S, "user", UserName);
  AddKeyword(S, "password", Password);
  AddKeyword(S, "client_encoding", ClientEncoding);
  // Free options come last so that they can refine the ones above.
  S += ConnectOptions;
  return S;
}

void TZantrelPgSession::ApplySettings(PGconn* C) {
  // Without a wish of the application the connection takes the database's
  // encoding, whatever the server or the environment would default to, so
  // that text reaches the application as the database holds it.
  std::string Encoding = ClientEncoding;
  if (Encoding.empty()) {
    const char* Server = Pq().parameterStatus(C, "server_encoding");
    Encoding = Server ? Server : "";
  }
  if (!Encoding.empty() && Pq().setClientEncoding(C, Encoding.c_str()) != 0) {
    std::string Msg = Pq().errorMessage(C);
    while (!Msg.empty() && Msg.back() == '\n')
      Msg.pop_back();
    RaiseLastError(Msg.empty() ? "The client encoding " + Encoding + " cannot be set" : Msg, -1);
  }
  const char* Client = Pq().parameterStatus(C, "client_encoding");
  MaxCharBytes = PgMaxCharBytes(Client ? Client : "");
  RunOrRaise("SET DateStyle TO ISO, YMD; SET lc_monetary TO 'C'; "
             "SET extra_float_digits TO 3; SET bytea_output TO hex");
  RecoveryAtConnect = false;
  if (!Pq().parameterStatus(C, "in_hot_standby")) {
    const TPgResult R = Run("SELECT pg_catalog.pg_is_in_recovery()");
    RecoveryAtConnect = R.Ok() && Pq().ntuples(R.Get()) == 1 &&
                        std::strcmp(Pq().getvalue(R.Get(), 0, 0), "t") == 0;
  }
}

void TZantrelPgSession::InternalConnect(void*& AHandle) {
  PGconn* C = Pq().connectdb(ConnectionString().c_str());
  if (!C)
    RaiseLastError("Out of memory while connecting to the server", -1);
  if (Pq().status(C) != CONNECTION_OK) {
    std::string Msg = Pq().errorMessage(C);
    while (!Msg.empty() && Msg.back() == '\n')
      Msg.pop_back();
    Pq().finish(C);
    // libpq reports connection failures without an SQLSTATE; they share
    // the code of class 08 "connection failure".
    RaiseLastError(Msg, PgErrorCode("08006"));
  }
  Conn = C;
  RelationPrepared = false;
  Relations->Clear();
  Dropped.clear();
  try {
    ApplySettings(C);
  } catch (...) {
    Pq().finish(C);
    Conn = nullptr;
    throw;
  }
  OwnTransaction = false;
  AHandle = C;
}

void TZantrelPgSession::InternalDisconnect() {
  if (!Conn)
    return;
  RelationPrepared = false;
  Relations->Clear();
  Dropped.clear();
  Pq().finish(Conn);
  Conn = nullptr;
  OwnTransaction = false;
  MaxCharBytes = 1;
}

void TZantrelPgSession::InternalSetHandle(void* Value) {
  RelationPrepared = false;
  Relations->Clear();
  Dropped.clear();
  Conn = static_cast<PGconn*>(Value);
  OwnTransaction = false;
  if (Conn)
    ApplySettings(Conn);
}

bool TZantrelPgSession::Execute(const std::string& SQL) {
  if (!Conn)
    return Fail(nullptr);
  if (!EnsureTransaction())
    return false;
  const TPgResult R = Run(WithCatalog(SQL).c_str());
  // Only the last statement's tag comes back from a text of several.
  if (PgCountStatements(SQL) > 1)
    Relations->Clear();
  if (!R.Ok() && !(R && Pq().resultStatus(R.Get()) == PGRES_EMPTY_QUERY))
    return Fail(R.Get());
  // The application's own COMMIT of an aborted transaction gets the same
  // answer as the session's (the tag ROLLBACK, no error) and must not pass
  // for done either.
  if (R.Ok() && std::strcmp(Pq().cmdStatus(R.Get()), "ROLLBACK") == 0 && PgIsCommitText(SQL))
    return Fail(SZtlCommitRolledBack, PgErrorCode("40000"));
  if (!InTransaction && AutoCommit)
    InternalCommit(true);
  return true;
}

bool PgIsCommitText(std::string_view SQL) {
  std::size_t I = 0;
  while (I < SQL.size() && std::isspace(static_cast<unsigned char>(SQL[I])))
    ++I;
  const auto Starts = [&](std::string_view Word) {
    if (SQL.size() - I < Word.size())
      return false;
    for (std::size_t K = 0; K < Word.size(); ++K)
      if (std::toupper(static_cast<unsigned char>(SQL[I + K])) != Word[K])
        return false;
    const std::size_t After = I + Word.size();
    return After == SQL.size() ||
           !(std::isalnum(static_cast<unsigned char>(SQL[After])) || SQL[After] == '_');
  };
  return Starts("COMMIT") || Starts("END");
}

std::int32_t TZantrelPgSession::Ping(const char*) {
  if (!Conn)
    return -1;
  const TPgResult R = Run("SELECT 1");
  if (R.Ok())
    return 0;
  return R ? PgErrorCode(Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE)) : -1;
}

// --- Transactions -------------------------------------------------------------

bool TZantrelPgSession::EnsureTransaction() {
  if (!Conn || (!InTransaction && AutoCommit) || Pq().transactionStatus(Conn) != PQTRANS_IDLE)
    return true;
  const TPgResult R = Run("BEGIN");
  if (!R.Ok())
    return Fail(R.Get());
  OwnTransaction = true;
  return true;
}

void TZantrelPgSession::InternalCommit(bool Automatic) {
  if (!Conn || Pq().transactionStatus(Conn) == PQTRANS_IDLE) {
    OwnTransaction = false;
    return;
  }
  // After a statement outside a user transaction the server has committed
  // it already; only a transaction this session began with AutoCommit off
  // is still open then. One the application began with its own BEGIN is
  // left to it.
  if (Automatic && !OwnTransaction)
    return;
  OwnTransaction = false;
  if (!RunCommit())
    RaiseLastError(LastError, LastErrorCode);
}

void TZantrelPgSession::InternalRollback() {
  // On a lost connection the server has discarded the transaction already.
  if (!Conn || Pq().status(Conn) == CONNECTION_BAD ||
      Pq().transactionStatus(Conn) == PQTRANS_IDLE) {
    OwnTransaction = false;
    return;
  }
  OwnTransaction = false;
  RunOrRaise("ROLLBACK");
  FlushDroppedStatements();
}

} // namespace ztl
