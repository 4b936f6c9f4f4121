// The PostgreSQL cursor: preparing on the server, describing the result,
// binding host variables, opening and executing.
#include "drivers/postgres/PgCursor_p.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/ZtlConsts.h"
#include "drivers/postgres/PgCatalog_p.h"
#include "drivers/postgres/PgRelations_p.h"
#include "drivers/common/ZtlBufferValues_p.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgBlobStream.h"
#include "drivers/postgres/PgSession.h"

namespace ztl {

// Every refused value is reported as "string data right truncation",
// whatever the reason, as this driver always has.
TZantrelPgSQL::TZantrelPgSQL(TComponent* AOwner)
    : TZtlDriverSQL(AOwner, {PgErrorCode("22001"), PgErrorCode("22001")}) {}

TZantrelPgSQL::~TZantrelPgSQL() {
  DestroySQL();
}

TZantrelPgSession& TZantrelPgSQL::PgSession() {
  auto* S = dynamic_cast<TZantrelPgSession*>(GetSession());
  if (!S)
    RaiseLastError(Format(SZtlWrongSession, {"PostgreSQL"}), -1);
  return *S;
}

bool TZantrelPgSQL::Connected() {
  if (PgSession().GetConnection())
    return true;
  return PgSession().Fail(LoadZtlStr(ZTL_ERR_SESS_INVALID_HANDLE), -1);
}

// --- Statements on the server -------------------------------------------------

bool TZantrelPgSQL::PrepareOnServer(const std::string& SQL, TStatement& Stmt, bool Positional,
                                    bool AllowScript) {
  Deallocate(Stmt);
  if (!Connected())
    return false;
  TZantrelPgSession& S = PgSession();
  PGconn* C = S.GetConnection();
  const std::string Text = S.WithCatalog(SQL);
  TPgMarkers Markers = PgRewriteMarkers(Text, Positional);
  Stmt.Positional = Positional && !Markers.Named && Markers.Questions > 0;
  Stmt.Named = Markers.Named;
  Stmt.Questions = Markers.Questions;
  Stmt.Names = std::move(Markers.Names);
  if (AllowScript && PgCountStatements(Text) != 1) {
    // The server prepares one statement only; a script runs as written.
    Stmt.Script = true;
    Stmt.Text = Text;
    return true;
  }
  // Where names do not survive, the unnamed statement serves to learn the
  // parameters and columns; the text is sent again to run.
  const bool Unnamed = S.GetUnnamedStatements();
  const std::string Name = S.NewStatementName();
  const char* ServerName = Unnamed ? "" : Name.c_str();
  const TPgResult Prepared(Pq().prepare(C, ServerName, Markers.Text.c_str(), 0, nullptr));
  if (!Prepared.Ok())
    return S.Fail(Prepared.Get());
  ++S.GetStatistics().Prepares;
  Stmt.Name = Name;
  Stmt.Unnamed = Unnamed;
  Stmt.Text = std::move(Markers.Text);
  TPgResult Desc(Pq().describePrepared(C, ServerName));
  if (!Desc.Ok()) {
    S.Fail(Desc.Get());
    Deallocate(Stmt);
    return false;
  }
  Stmt.Params = Pq().nparams(Desc.Get());
  Stmt.Description = std::move(Desc);
  return true;
}

void TZantrelPgSQL::Deallocate(TStatement& Stmt) {
  auto* S = dynamic_cast<TZantrelPgSession*>(GetSessionObject());
  if (!Stmt.Name.empty() && !Stmt.Unnamed && S && S->GetConnection() && TPgLibrary::Loaded())
    S->DropStatement(Stmt.Name);
  Stmt = TStatement{};
}

TZantrelPgSQL::TParamArrays::TParamArrays(const std::vector<TParam>& Params) {
  for (const TParam& P : Params) {
    Values.push_back(P.Null ? nullptr : P.Text.c_str());
    Lengths.push_back(static_cast<int>(P.Text.size()));
    Formats.push_back(P.Binary ? 1 : 0);
  }
}

TPgResult TZantrelPgSQL::RunPrepared(const std::string& Name, const std::vector<TParam>& Params) {
  const TParamArrays A(Params);
  return TPgResult(Pq().execPrepared(PgSession().GetConnection(), Name.c_str(), A.Count(),
                                     A.ValuesOrNull(), A.LengthsOrNull(), A.FormatsOrNull(), 0));
}

TPgResult TZantrelPgSQL::RunStatement(TStatement& Stmt, const std::vector<TParam>& Params) {
  if (Stmt.Unnamed)
    return RunParams(Stmt.Text, Params);
  TPgResult R = RunPrepared(Stmt.Name, Params);
  const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
  if (!State || std::strcmp(State, "26000") != 0)
    return R;
  // A name this cursor prepared is gone: a pooler gave the server
  // connection to another client, or the application dropped every
  // statement. Names cannot be trusted on this session any more. Inside a
  // transaction block the failure has aborted the block, so it stands.
  PgSession().NoteStatementsLost();
  Stmt.Unnamed = true;
  if (Pq().transactionStatus(PgSession().GetConnection()) != PQTRANS_IDLE)
    return R;
  return RunParams(Stmt.Text, Params);
}

TPgResult TZantrelPgSQL::RunParams(const std::string& SQL, const std::vector<TParam>& Params) {
  const TParamArrays A(Params);
  return TPgResult(Pq().execParams(PgSession().GetConnection(), SQL.c_str(), A.Count(), nullptr,
                                   A.ValuesOrNull(), A.LengthsOrNull(), A.FormatsOrNull(), 0));
}

// --- Preparing ----------------------------------------------------------------

// Without values at hand (Prepare unprepares both statements first) a "?"
// is read as the operator it is without them; a text the server refuses so
// is read with "?" as markers, which it will be once values come. The bind
// prepares again when the values say otherwise.
bool TZantrelPgSQL::InternalPrepare(const std::string& SQL) {
  TStatement Stmt;
  if (!PrepareEitherWay(SQL, Stmt))
    return false;
  if (!Stmt.Script && Pq().nfields(Stmt.Description.Get()) > 0) {
    OpenStmt = std::move(Stmt);
    return AdoptQuery(SQL);
  }
  ExecStmt = std::move(Stmt);
  return TZantrelSQL::InternalPrepareExecute(SQL);
}

std::vector<std::string> TZantrelPgSQL::GetParamNames() const {
  const TStatement& Stmt = OpenStmt.Name.empty() && !OpenStmt.Deferred ? ExecStmt : OpenStmt;
  std::vector<std::string> Names;
  if (Stmt.Script)
    return Names;
  if (Stmt.Named) {
    for (const std::string& Name : Stmt.Names)
      Names.push_back(":" + Name);
  } else if (Stmt.Positional) {
    // A "?" the server took as its operator is no marker.
    Names.assign(static_cast<std::size_t>(Stmt.Questions), std::string());
  }
  return Names;
}

bool TZantrelPgSQL::PrepareEitherWay(const std::string& SQL, TStatement& Stmt) {
  const TPgMarkers Markers = PgRewriteMarkers(SQL, false);
  if (Markers.Named || Markers.Questions == 0)
    return PrepareOnServer(SQL, Stmt, false, true);
  TZantrelPgSession& S = PgSession();
  if (!Connected())
    return false;
  // Inside a transaction the refused attempt would abort it.
  const bool InBlock = Pq().transactionStatus(S.GetConnection()) != PQTRANS_IDLE;
  if (InBlock && !S.Run("SAVEPOINT ztl_markers").Ok())
    return S.Fail(nullptr);
  bool Ok = PrepareOnServer(SQL, Stmt, false, true);
  if (!Ok) {
    const std::string Error = S.GetLastError();
    const std::int32_t Code = S.GetLastErrorCode();
    if (InBlock)
      S.Run("ROLLBACK TO SAVEPOINT ztl_markers");
    Ok = PrepareOnServer(SQL, Stmt, true, true);
    if (!Ok) {
      if (InBlock)
        S.Run("ROLLBACK TO SAVEPOINT ztl_markers");
      S.SetLastError(Error, Code);
    }
  }
  if (InBlock)
    S.Run("RELEASE SAVEPOINT ztl_markers");
  return Ok;
}

bool TZantrelPgSQL::InternalPrepareOpen(const std::string& SQL) {
  if (OpenFollows && CanRunOnce(SQL))
    return DeferOpen(SQL);
  return PrepareOnServer(SQL, OpenStmt, OpenVariables.GetCount() > 0, false) && AdoptQuery(SQL);
}

// A text with markers is meant to be run again with other values, so it
// keeps its name on the server. "$" is left out because it may be a marker
// of the text's own (the server's count would then differ from ours) and a
// catalog relation because the catalog text is asked for by a query of its
// own anyway.
bool TZantrelPgSQL::CanRunOnce(const std::string& SQL) {
  if (OpenVariables.GetCount() > 0 || !PgSession().GetConnection() ||
      SQL.find('$') != std::string::npos || PgCatalogReferences(SQL) != 0 ||
      PgCountStatements(SQL) != 1)
    return false;
  const TPgMarkers Markers = PgRewriteMarkers(SQL, false);
  return !Markers.Named && Markers.Count == 0 && Markers.Questions == 0;
}

bool TZantrelPgSQL::DeferOpen(const std::string& SQL) {
  Deallocate(OpenStmt);
  Columns.clear();
  Collations.clear();
  OpenStmt.Deferred = true;
  OpenStmt.Source = SQL;
  OpenStmt.Text = PgRewriteMarkers(SQL, false).Text;
  return TZantrelSQL::InternalPrepareOpen(SQL);
}

bool TZantrelPgSQL::PrepareNamed() {
  const std::string SQL = OpenStmt.Source;
  if (PrepareOnServer(SQL, OpenStmt, false, false) && AdoptQuery(SQL))
    return true;
  // As when the prepare itself failed: nothing is left prepared.
  const std::string Error = PgSession().GetLastError();
  const std::int32_t Code = PgSession().GetLastErrorCode();
  InternalUnprepareOpen();
  PgSession().SetLastError(Error, Code);
  return false;
}

bool TZantrelPgSQL::RunOnce(TPgResult& R) {
  TZantrelPgSession& S = PgSession();
  if (OpenStmt.Shaped) {
    R = RunParams(OpenStmt.Text, {});
    if (!R.Ok())
      return S.Fail(R.Get());
    bool Same = Pq().nfields(R.Get()) == static_cast<int>(Columns.size());
    for (const TColumn& C : Columns)
      Same = Same && Pq().ftype(R.Get(), C.StmtColumn) == C.Oid &&
             Pq().fmod(R.Get(), C.StmtColumn) == C.Mod;
    // The server's own words for a named statement whose table changed.
    if (!Same)
      return S.Fail("ERROR:  cached plan must not change result type", PgErrorCode("0A000"));
    ++S.GetStatistics().OneShots;
    return true;
  }
  const auto RunNamed = [&] {
    R = RunStatement(OpenStmt, {});
    return R.Ok() || S.Fail(R.Get());
  };
  if (Pq().transactionStatus(S.GetConnection()) != PQTRANS_IDLE)
    return PrepareNamed() && RunNamed();
  const std::string WithCtid = PgAppendSelectColumn(OpenStmt.Source, "ctid");
  const std::string ProbeText = WithCtid.empty() ? "" : PgRewriteMarkers(WithCtid, false).Text;
  bool Probe = !WithCtid.empty();
  R = RunParams(Probe ? ProbeText : OpenStmt.Text, {});
  if (Probe && R && !R.Ok()) {
    // A ctid the text has no room for (a join, a view, a sub-query, an
    // aggregate without GROUP BY) is refused while the text is analysed,
    // before anything ran; the text as written is then what the prepared
    // probe would have left.
    const char* State = Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE);
    if (State && (std::strcmp(State, "42702") == 0 || std::strcmp(State, "42703") == 0 ||
                  std::strcmp(State, "42803") == 0)) {
      Probe = false;
      R = RunParams(OpenStmt.Text, {});
    }
  }
  if (R.Ok()) {
    ++S.GetStatistics().OneShots;
    return AdoptResult(R.Get(), Probe, ProbeText);
  }
  // A refused run changed nothing the transaction keeps (outside a block
  // the server rolled it back), so the statement is prepared as it always
  // was: that gives its own error, or the state a failure at run time
  // leaves. Only a text refused while it was analysed (class 42) ran
  // nothing at all; with the ctid that may have been the ctid's fault, so
  // it is run again as written. A failure at run time is never run again:
  // what is not rolled back (a sequence's nextval) would happen twice.
  const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
  const bool Analysed = State && std::strncmp(State, "42", 2) == 0;
  S.Fail(R.Get());
  const std::string Error = S.GetLastError();
  const std::int32_t Code = S.GetLastErrorCode();
  R.Reset();
  if (!PrepareNamed())
    return false;
  if (Probe && Analysed)
    return RunNamed();
  S.SetLastError(Error, Code);
  return false;
}

bool TZantrelPgSQL::AdoptResult(const PGresult* Res, bool Probe, const std::string& ProbeText) {
  const int N = Pq().nfields(Res) - (Probe ? 1 : 0);
  DescribeColumns(Res, N);
  bool WantCtid = false;
  if (!AnalyseColumns(WantCtid)) {
    InternalUnprepareOpen();
    return false;
  }
  // The same test the prepared probe passes: the last column is the base
  // table's own row identity.
  if (WantCtid && Probe && Pq().ftype(Res, N) == pgTid &&
      Pq().ftable(Res, N) == BaseOid && Pq().ftablecol(Res, N) < 0) {
    OpenStmt.Text = ProbeText;
    AddHiddenKey(N);
  }
  LayOut();
  OpenStmt.Shaped = true;
  return true;
}

bool TZantrelPgSQL::InternalPrepareExecute(const std::string& SQL) {
  if (ExecuteFollows && CanExecuteOnce(SQL))
    return DeferExecute(SQL);
  return PrepareOnServer(SQL, ExecStmt, ExecVariables.GetCount() > 0, true) &&
         TZantrelSQL::InternalPrepareExecute(SQL);
}

bool TZantrelPgSQL::CanExecuteOnce(const std::string& SQL) {
  if (!PgSession().GetConnection() || SQL.find('$') != std::string::npos ||
      PgCatalogReferences(SQL) != 0 || PgCountStatements(SQL) != 1)
    return false;
  return PgRewriteMarkers(SQL, false).Questions == 0;
}

bool TZantrelPgSQL::DeferExecute(const std::string& SQL) {
  Deallocate(ExecStmt);
  TPgMarkers Markers = PgRewriteMarkers(SQL, false);
  ExecStmt.Deferred = true;
  ExecStmt.Source = SQL;
  ExecStmt.Text = std::move(Markers.Text);
  ExecStmt.Named = Markers.Named;
  ExecStmt.Names = std::move(Markers.Names);
  // Every ":name" is one "$n", however often it appears.
  ExecStmt.Params = static_cast<std::int32_t>(ExecStmt.Names.size());
  return TZantrelSQL::InternalPrepareExecute(SQL);
}

bool TZantrelPgSQL::AdoptQuery(const std::string& SQL) {
  const PGresult* D = OpenStmt.Description.Get();
  DescribeColumns(D, Pq().nfields(D));
  if (!AnalyseTable(SQL)) {
    Deallocate(OpenStmt);
    Columns.clear();
    return false;
  }
  LayOut();
  return TZantrelSQL::InternalPrepareOpen(SQL);
}

void TZantrelPgSQL::DescribeColumns(const PGresult* D, int N) {
  Columns.clear();
  Collations.clear();
  const std::int32_t CharBytes = PgSession().GetMaxCharBytes();
  for (int I = 0; I < N; ++I) {
    TColumn C;
    C.Name = Pq().fname(D, I);
    C.StmtColumn = I;
    C.Oid = Pq().ftype(D, I);
    C.Mod = Pq().fmod(D, I);
    C.SourceTable = Pq().ftable(D, I);
    C.SourceCol = Pq().ftablecol(D, I);
    const TPgColumnType T = PgMapType(C.Oid, C.Mod, CharBytes);
    C.Type = T.Type;
    C.Size = T.Size;
    C.Length = T.Length;
    C.Decimals = T.Decimals;
    Columns.push_back(std::move(C));
  }
}

void TZantrelPgSQL::LayOut() {
  std::int32_t Offset = 0;
  BlobColumns = 0;
  for (TColumn& C : Columns) {
    TZantrelFieldDef* Def =
        InternalAddFieldDef(FieldDefs, C.Name, C.Type, static_cast<std::int32_t>(C.Oid), C.Size,
                            C.Length, C.Decimals, C.Key == kiRegularField, C.Key);
    C.Name = Def->Name;
    C.Offset = Offset;
    Offset += C.Size;
    if (IsBlobFieldType(C.Type)) {
      ++BlobColumns;
      // The manager owns the stream it is handed.
      new TZantrelPgBlobStream(BlobManager.get(), Def->Name);
    }
  }
  RowSize = Offset;
  NullSize = static_cast<std::int32_t>(Columns.size());
  FetchRows = MaxFetchCount;
  InternalAllocOpenBuffer();
}

bool TZantrelPgSQL::AnalyseColumns(bool& WantCtid) {
  WantCtid = false;
  Updatable = false;
  HiddenKey = false;
  BaseTable.clear();
  BaseOid = 0;
  ReadOnlyReason = "The result does not come from one table";
  std::uint32_t Table = 0;
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const std::uint32_t T = Columns[I].SourceTable;
    const int Col = Columns[I].SourceCol;
    if (T == 0 || Col <= 0 || (Table != 0 && T != Table))
      return true;
    Table = T;
    for (std::size_t J = 0; J < I; ++J)
      if (Columns[J].SourceCol == Col)
        return true;
  }
  if (Table == 0)
    return true;
  const TPgRelationFacts* F = TableFacts(Table);
  if (!F)
    return false;
  if (F->Kind != 'r' && F->Kind != 'p')
    return true;
  for (const TColumn& C : Columns)
    if (F->Attributes.count(C.SourceCol) == 0)
      return true; // a column the catalog no longer has: dropped since
  for (TColumn& C : Columns) {
    C.TableCol = static_cast<std::int16_t>(C.SourceCol);
    C.Attr = F->Attributes.at(C.SourceCol).Name;
  }
  const std::vector<int>& KeyCols = F->KeyColumns;
  BaseTable = F->Name;
  BaseOid = Table;
  bool AllKeys = !KeyCols.empty();
  for (const int K : KeyCols) {
    bool Found = false;
    for (const TColumn& C : Columns)
      Found = Found || C.TableCol == K;
    AllKeys = AllKeys && Found;
  }
  if (AllKeys) {
    for (TColumn& C : Columns)
      for (const int K : KeyCols)
        if (C.TableCol == K)
          C.Key = kiKeyField;
    Updatable = true;
    ReadOnlyReason.clear();
    return true;
  }
  WantCtid = true;
  return true;
}

const TPgRelationFacts* TZantrelPgSQL::TableFacts(std::uint32_t Table) {
  TZantrelPgSession& S = PgSession();
  TPgRelationCache& Cache = S.GetRelationCache();
  FactsChecked = false;
  // Another connection's change shows in the result when it added or
  // retyped a column read here or made a new table under the old name
  // (a new OID); only then are the kept facts doubted.
  if (TPgRelationFacts* Kept = Cache.Find(Table)) {
    bool Same = true;
    for (const TColumn& C : Columns) {
      const auto It = Kept->Attributes.find(C.SourceCol);
      Same = Same && It != Kept->Attributes.end() && It->second.Type == C.Oid &&
             It->second.Mod == C.Mod;
    }
    if (Same)
      return Kept;
  }
  const TPgResult Rel = S.DescribeRelation(Table);
  if (!Rel.Ok()) {
    S.Fail(Rel.Get());
    return nullptr;
  }
  TPgRelationFacts& F = Cache.Store(Table, PgReadRelationFacts(Rel.Get()));
  NoteColumnTypes(F);
  FactsChecked = true;
  return &F;
}

void TZantrelPgSQL::NoteColumnTypes(TPgRelationFacts& F) const {
  // A domain's column comes in the result as its base type: what the
  // result shows is what the next result from the table is compared with.
  for (const TColumn& C : Columns)
    if (const auto It = F.Attributes.find(C.SourceCol); It != F.Attributes.end()) {
      It->second.Type = C.Oid;
      It->second.Mod = C.Mod;
    }
}

bool TZantrelPgSQL::CheckFacts() {
  if (FactsChecked)
    return true;
  TZantrelPgSession& S = PgSession();
  const TPgResult Rel = S.DescribeRelation(BaseOid);
  if (!Rel.Ok())
    return S.Fail(Rel.Get());
  TPgRelationFacts F = PgReadRelationFacts(Rel.Get());
  // Attribute numbers outlive renames: a column read here is written under
  // the name it has now, in the table under the name it has now. A key
  // moved since is not followed: rows are found by the key they were read
  // with, and a write that would reach another number of rows than one is
  // undone anyway.
  bool Same = F.Kind == 'r' || F.Kind == 'p';
  for (const TColumn& C : Columns)
    Same = Same && (C.Key == kiHiddenKeyField || F.Attributes.count(C.TableCol) != 0);
  if (!Same) {
    S.GetRelationCache().Forget(BaseOid);
    return S.Fail(Format(SZtlTableAltered, {BaseTable}), PgErrorCode("0A000"));
  }
  for (TColumn& C : Columns)
    if (C.Key != kiHiddenKeyField)
      C.Attr = F.Attributes.at(C.TableCol).Name;
  BaseTable = F.Name;
  NoteColumnTypes(F);
  S.GetRelationCache().Store(BaseOid, std::move(F));
  FactsChecked = true;
  return true;
}

void TZantrelPgSQL::AddHiddenKey(int N) {
  TColumn Ctid;
  Ctid.Name = "ctid";
  Ctid.StmtColumn = N;
  Ctid.Oid = pgTid;
  Ctid.SourceTable = BaseOid;
  Ctid.SourceCol = -1;
  const TPgColumnType T = PgMapType(pgTid, -1, 1);
  Ctid.Type = T.Type;
  Ctid.Size = T.Size;
  Ctid.Length = T.Length;
  Ctid.Attr = "ctid";
  Ctid.Key = kiHiddenKeyField;
  Columns.push_back(std::move(Ctid));
  HiddenKey = true;
  Updatable = true;
  ReadOnlyReason.clear();
}

bool TZantrelPgSQL::AnalyseTable(const std::string& SQL) {
  bool WantCtid = false;
  if (!AnalyseColumns(WantCtid))
    return false;
  if (!WantCtid)
    return true;
  // No usable primary key: try the statement again with the row's ctid as
  // its last column, where it moves no ORDER BY position and no "*". Shapes
  // a further column would change (DISTINCT, GROUP BY, compounds) stay
  // read-only, and so does a statement the server refuses with it (a
  // subquery or join without one table's ctid). The attempt runs under a
  // savepoint inside a transaction, whose failure would otherwise abort the
  // transaction.
  const std::string WithCtid = PgAppendSelectColumn(SQL, "ctid");
  if (WithCtid.empty())
    return true;
  TZantrelPgSession& S = PgSession();
  const std::uint32_t Table = BaseOid;
  const int N = static_cast<int>(Columns.size());
  PGconn* Conn = S.GetConnection();
  const bool InBlock = Pq().transactionStatus(Conn) != PQTRANS_IDLE;
  if (InBlock && !S.Run("SAVEPOINT ztl_probe").Ok())
    return true;
  const std::string SavedError = S.GetLastError();
  const std::int32_t SavedCode = S.GetLastErrorCode();
  TStatement Probe;
  bool Ok = PrepareOnServer(WithCtid, Probe, OpenStmt.Positional, false);
  if (Ok) {
    const PGresult* PD = Probe.Description.Get();
    Ok = Pq().nfields(PD) == N + 1 && Pq().ftype(PD, N) == pgTid && Pq().ftable(PD, N) == Table &&
         Pq().ftablecol(PD, N) < 0 && Probe.Params == OpenStmt.Params;
  }
  if (InBlock)
    S.Run(Ok ? "RELEASE SAVEPOINT ztl_probe" : "ROLLBACK TO SAVEPOINT ztl_probe");
  if (!Ok) {
    Deallocate(Probe);
    S.SetLastError(SavedError, SavedCode);
    return true;
  }
  Deallocate(OpenStmt);
  OpenStmt = std::move(Probe);
  AddHiddenKey(N);
  return true;
}

void TZantrelPgSQL::InternalUnprepareOpen() {
  Deallocate(OpenStmt);
  Columns.clear();
  Collations.clear();
  Updatable = false;
  HiddenKey = false;
  BaseTable.clear();
  TZantrelSQL::InternalUnprepareOpen();
}

void TZantrelPgSQL::InternalUnprepareExecute() {
  Deallocate(ExecStmt);
  TZantrelSQL::InternalUnprepareExecute();
}

// --- Host variables -----------------------------------------------------------

std::int32_t TZantrelPgSQL::InternalGetDefaultSize(TZantrelFieldTypes FieldType) {
  return ZtlVariableSizeOf(FieldType);
}

std::int32_t TZantrelPgSQL::InternalGetExtType(TZantrelFieldTypes FieldType) {
  return PgOidOf(FieldType);
}

// --- Opening and executing ----------------------------------------------------

bool TZantrelPgSQL::InternalIsScrollable() {
  return true;
}

bool TZantrelPgSQL::InternalOpen(bool AReadOnly) {
  if (!Connected())
    return false;
  TZantrelPgSession& S = PgSession();
  if (!S.EnsureTransaction())
    return false;
  CloseScan();
  // A forward-only scan needs the statement's columns before its first
  // batch, which a text run once only learns from its result.
  bool Scan = false;
  if (GetUniDirectional() && PgDeclarable(OpenStmt.Text)) {
    if (OpenStmt.Deferred && !PrepareNamed())
      return false;
    bool Declined = false;
    Scan = DeclareScan(VariableParams(OpenVariables), Declined);
    if (!Scan && !Declined)
      return false;
  }
  TPgResult R;
  if (Scan) {
    if (!FetchBatch()) {
      const std::string Error = S.GetLastError();
      const std::int32_t Code = S.GetLastErrorCode();
      CloseScan();
      S.SetLastError(Error, Code);
      return false;
    }
  } else if (OpenStmt.Deferred) {
    if (!RunOnce(R))
      return false;
  } else {
    R = RunStatement(OpenStmt, VariableParams(OpenVariables));
    if (!R.Ok())
      return S.Fail(R.Get());
  }
  ++S.GetStatistics().Opens;
  TZantrelSQL::InternalOpen(AReadOnly);
  if (!Scan) {
    Rows = std::move(R);
    Rewritten.clear();
    RecordCount = Pq().ntuples(Rows.Get());
    RowsProcessed = RecordCount;
    BufferPos = 0;
  }
  Position = -1;
  WindowRows = 0;
  BufferRows = 0;
  InternalAutoCommit();
  return true;
}

void TZantrelPgSQL::InternalClose() {
  CloseScan();
  Rows.Reset();
  Rewritten.clear();
  Position = -1;
  WindowRows = 0;
  TZantrelSQL::InternalClose();
}

bool TZantrelPgSQL::InternalExecute(TStringList*) {
  if (!Connected())
    return false;
  TZantrelPgSession& S = PgSession();
  if (!S.EnsureTransaction())
    return false;
  if (ExecStmt.Script) {
    if (!RunScript(ExecStmt))
      return false;
    ++S.GetStatistics().Executes;
    InternalAutoCommit();
    return true;
  }
  // A text run once before is run again: it is worth a name now.
  if (ExecStmt.Deferred && ExecStmt.Shaped) {
    const std::string SQL = ExecStmt.Source; // the prepare starts afresh
    if (!PrepareOnServer(SQL, ExecStmt, ExecVariables.GetCount() > 0, false))
      return false;
  }
  const bool Once = ExecStmt.Deferred;
  const TPgResult R = Once ? RunParams(ExecStmt.Text, VariableParams(ExecVariables))
                           : RunStatement(ExecStmt, VariableParams(ExecVariables));
  S.NoteCommand(R.Get());
  if (Once && !R.Ok()) {
    // Refused while analysed (class 42): what a refused prepare leaves,
    // nothing prepared.
    const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
    S.Fail(R.Get());
    if (State && std::strncmp(State, "42", 2) == 0) {
      const std::string Error = S.GetLastError();
      const std::int32_t Code = S.GetLastErrorCode();
      InternalUnprepareExecute();
      S.SetLastError(Error, Code);
    }
    return false;
  }
  ExecStmt.Shaped = Once;
  if (R && Pq().resultStatus(R.Get()) == PGRES_EMPTY_QUERY) {
    // Nothing to run (a text of comments) is done once it is not run.
    ++S.GetStatistics().Executes;
    RowsProcessed = 0;
    return true;
  }
  if (!R.Ok())
    return S.Fail(R.Get());
  ++S.GetStatistics().Executes;
  RowsProcessed = std::atoi(Pq().cmdTuples(R.Get()));
  if (Pq().nfields(R.Get()) > 0 && Pq().ntuples(R.Get()) > 0)
    ReadOutVariables(R.Get());
  InternalAutoCommit();
  return true;
}

bool TZantrelPgSQL::RunScript(const TStatement& Stmt) {
  TZantrelPgSession& S = PgSession();
  PGconn* C = S.GetConnection();
  RowsProcessed = 0;
  if (!Pq().sendQuery(C, Stmt.Text.c_str()))
    return S.Fail(nullptr);
  // Every result is read, so the connection is ready for the next
  // statement; the server runs nothing after the first error, and that
  // error is the one reported.
  TPgResult Failed;
  while (PGresult* Next = Pq().getResult(C)) {
    TPgResult R(Next);
    S.NoteCommand(R.Get());
    const ExecStatusType Status = Pq().resultStatus(R.Get());
    if (Status == PGRES_COPY_IN) {
      // A copy stream needs data the cursor has no way to give; ending it
      // with an error makes the server fail the COPY, which ends the text.
      Pq().putCopyEnd(C, "COPY FROM STDIN cannot run through a cursor");
    } else if (Status == PGRES_COPY_OUT) {
      // Its rows have nowhere to go; they are read and dropped.
      char* Row = nullptr;
      while (Pq().getCopyData(C, &Row, 0) > 0) {
        Pq().freemem(Row);
        Row = nullptr;
      }
    } else if (Status == PGRES_COPY_BOTH) {
      // Only replication connections stream both ways; nothing to read on.
      return S.Fail("A replication stream cannot run through a cursor", PgErrorCode("0A000"));
    } else if (Status == PGRES_COMMAND_OK || Status == PGRES_TUPLES_OK ||
               Status == PGRES_EMPTY_QUERY) {
      if (!Failed)
        RowsProcessed += std::atoi(Pq().cmdTuples(R.Get()));
    } else if (!Failed) {
      Failed = std::move(R);
    }
  }
  if (Failed)
    return S.Fail(Failed.Get());
  return true;
}

void TZantrelPgSQL::ReadOutVariables(const PGresult* Res) {
  // Output values are the first row's columns, each sized to its value; a
  // null one is an untyped variable, which reads as Null.
  OutVariables.Clear();
  const int N = Pq().nfields(Res);
  std::vector<std::string> Texts(static_cast<std::size_t>(N));
  for (int I = 0; I < N; ++I) {
    const bool Null = Pq().getisnull(Res, 0, I) != 0;
    TPgColumnType T =
        PgMapType(Pq().ftype(Res, I), Pq().fmod(Res, I), PgSession().GetMaxCharBytes());
    std::string Text(Pq().getvalue(Res, 0, I), static_cast<std::size_t>(Pq().getlength(Res, 0, I)));
    if (T.Type == ntBlob && !PgDecodeBytea(Text, Texts[static_cast<std::size_t>(I)]))
      T.Type = ntMemo;
    if (T.Type != ntBlob)
      Texts[static_cast<std::size_t>(I)] = std::move(Text);
    if (!Null && !IsBlobFieldType(T.Type) && T.Type != ntString) {
      // A value this driver cannot decode is handed over as its text.
      std::uint8_t Scratch[16];
      if (!PgParseValue(T.Type, Texts[static_cast<std::size_t>(I)], Scratch, T.Size).empty())
        T = {ntMemo, 0, 0, 0};
    }
    if (Null)
      T = {ntUnknown, 0, 0, 0};
    else if (IsBlobFieldType(T.Type))
      T.Size = static_cast<std::int32_t>(Texts[static_cast<std::size_t>(I)].size());
    else if (T.Type == ntString)
      T.Size = std::max<std::int32_t>(
          T.Size, static_cast<std::int32_t>(Texts[static_cast<std::size_t>(I)].size()) + 1);
    InternalAddFieldDef(OutVariables, Pq().fname(Res, I), T.Type,
                        static_cast<std::int32_t>(Pq().ftype(Res, I)), T.Size, T.Length, T.Decimals,
                        true, kiRegularField);
  }
  OutVariables.SetBufSize(OutVariables.Size());
  for (const TZantrelFieldDef* Def : OutVariables) {
    const std::string& Text = Texts[static_cast<std::size_t>(Def->Index)];
    std::uint8_t* P = OutVariables.GetBuffer() + Def->Offset;
    if (IsBlobFieldType(Def->FieldType))
      std::memcpy(P, Text.data(), Text.size());
    else if (Def->FieldType != ntUnknown)
      PgParseValue(Def->FieldType, Text, P, Def->Size);
  }
}

// --- The dialect and the order of text ----------------------------------------

TZantrelMarkerRules TZantrelPgSQL::GetMarkerRules() const {
  return {true, true, true, true, true};
}

TZantrelCollation TZantrelPgSQL::GetColumnCollation(std::int32_t Column) const {
  if (Column < 0 || static_cast<std::size_t>(Column) >= Columns.size())
    return coUnknown;
  if (Collations.size() != Columns.size())
    Collations = ReadCollations();
  return Collations[static_cast<std::size_t>(Column)];
}

std::vector<TZantrelCollation> TZantrelPgSQL::ReadCollations() const {
  std::vector<TZantrelCollation> Result(Columns.size(), coUnknown);
  const auto* S = dynamic_cast<const TZantrelPgSession*>(GetSessionObject());
  if (!S || !S->GetConnection() || !TPgLibrary::Loaded())
    return Result;
  // Only text read straight from a table column has a collation the
  // catalog can tell; expressions may carry another one.
  std::string Rels, Nums;
  std::vector<std::size_t> Asked;
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const TColumn& C = Columns[I];
    if (C.Oid != pgText && C.Oid != pgVarchar && C.Oid != pgBpchar && C.Oid != pgName)
      continue;
    const std::uint32_t Table = C.SourceTable;
    const int Col = C.SourceCol;
    if (Table == 0 || Col <= 0)
      continue;
    Rels += (Rels.empty() ? "" : ",") + std::to_string(Table);
    Nums += (Nums.empty() ? "" : ",") + std::to_string(Col);
    Asked.push_back(I);
  }
  if (Asked.empty())
    return Result;
  // Byte order: the libc "C" and "POSIX" locales, the builtin provider's
  // "C", and pg_catalog's C, POSIX and ucs_basic collations; the default
  // collation (100) is the database's. Columns added in later server
  // versions (the locale providers) are read through to_jsonb, which
  // gives null where a version lacks them.
  static const char* const SQL =
      "SELECT k.ord, CASE WHEN a.attcollation = 0 THEN false "
      "WHEN a.attcollation = 100 THEN (SELECT (coalesce(to_jsonb(d) ->> 'datlocprovider', 'c') = "
      "'c' AND d.datcollate::text IN ('C', 'POSIX')) OR (to_jsonb(d) ->> 'datlocprovider' = 'b' "
      "AND to_jsonb(d) ->> 'datlocale' = 'C') FROM pg_catalog.pg_database d "
      "WHERE d.datname = current_database()) "
      "ELSE coalesce((c.collnamespace = 11 AND c.collname::text IN ('C', 'POSIX', 'ucs_basic')) "
      "OR (coalesce(to_jsonb(c) ->> 'collprovider', 'c') = 'c' AND "
      "c.collcollate::text IN ('C', 'POSIX')) OR (to_jsonb(c) ->> 'collprovider' = 'b' AND "
      "to_jsonb(c) ->> 'colllocale' = 'C'), false) END "
      "FROM unnest($1::oid[], $2::int2[]) WITH ORDINALITY AS k(rel, num, ord) "
      "JOIN pg_catalog.pg_attribute a ON a.attrelid = k.rel AND a.attnum = k.num "
      "LEFT JOIN pg_catalog.pg_collation c ON c.oid = a.attcollation";
  const std::string RelArray = "{" + Rels + "}", NumArray = "{" + Nums + "}";
  const char* Values[] = {RelArray.c_str(), NumArray.c_str()};
  // A failed read (say, inside an aborted transaction) leaves every order
  // unknown, which only makes searches read on; it is no error of the
  // application's.
  const TPgResult R(
      Pq().execParams(S->GetConnection(), SQL, 2, nullptr, Values, nullptr, nullptr, 0));
  if (!R.Ok())
    return Result;
  for (int Row = 0; Row < Pq().ntuples(R.Get()); ++Row) {
    const long Ord = std::atol(Pq().getvalue(R.Get(), Row, 0));
    if (Ord < 1 || static_cast<std::size_t>(Ord) > Asked.size() ||
        std::strcmp(Pq().getvalue(R.Get(), Row, 1), "t") != 0)
      continue;
    const std::size_t I = Asked[static_cast<std::size_t>(Ord - 1)];
    // char(n) compares without its trailing blanks.
    Result[I] = Columns[I].Oid == pgBpchar ? coRTrim : coBinary;
  }
  return Result;
}

} // namespace ztl
