// The SQL cursor's statements, row buffers and session link.
#include "core/ZtlSQL.h"

#include <algorithm>
#include <limits>

#include "core/ZtlConsts.h"
#include "framework/rtl/Application.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

namespace {

// Bytes of Rows rows of RowBytes each, for filling a block that clamps to
// its own size anyway; negative counts give 0.
std::size_t RowBytes(std::int32_t RowBytes, std::int32_t Rows) {
  if (RowBytes <= 0 || Rows <= 0)
    return 0;
  return static_cast<std::size_t>(RowBytes) * static_cast<std::size_t>(Rows);
}

} // namespace

TZantrelSQL::TZantrelSQL(TComponent* AOwner)
    : TComponent(AOwner), BlobManager(std::make_unique<TZantrelBlobManager>(this)) {}

TZantrelSQL::~TZantrelSQL() {
  DestroySQL();
  BlobManager.reset();
  OutVariables.Clear();
  ExecVariables.Clear();
  OpenVariables.Clear();
  FieldDefs.Clear();
  if (Session)
    Session->RemoveQuery(this);
}

void TZantrelSQL::DestroySQL() {
  if (SQLDestroyed)
    return;
  SQLDestroyed = true;
  Destroying();
  // A destructor cannot raise; what the driver raises while letting go of
  // its statements is reported like any other unhandled error.
  try {
    UnprepareOpen();
  } catch (...) {
    Application().HandleException(this);
  }
  try {
    UnprepareExecute();
  } catch (...) {
    Application().HandleException(this);
  }
  // Streams of the driver's class go while the driver is still whole.
  BlobManager->Clear();
}

// --- Session link -------------------------------------------------------------

TZantrelSession* TZantrelSQL::GetSession() const {
  if (!Session && !InState(csDesigning))
    throw EZantrelException(LoadZtlStr(ZTL_ERR_SESS_NIL), 0);
  return Session;
}

void TZantrelSQL::SetSession(TZantrelSession* Value) {
  if (Session)
    Session->RemoveQuery(this);
  if (Value)
    Value->AddQuery(this);
}

void TZantrelSQL::StatementToOem(std::string& SQL) {
  TZantrelSession* S = GetSession();
  if (!S || !S->GetOemConvert())
    return;
  const std::size_t Len = std::min(SQL.find('\0'), SQL.size());
  std::string Buffer(SQL.data(), Len);
  // The conversion counts in 32 bits; longer texts go in slices.
  constexpr std::size_t Slice = std::numeric_limits<std::int32_t>::max();
  for (std::size_t Done = 0; Done < Len; Done += Slice) {
    const auto Count = static_cast<std::int32_t>(std::min(Slice, Len - Done));
    S->TranslateChar(Buffer.data() + Done, Buffer.data() + Done, Count, true);
  }
  SQL = std::move(Buffer);
}

const std::string& TZantrelSQL::ConvertedText(const std::string& SQL, std::string& Scratch) {
  const TZantrelSession* S = GetSession();
  const bool Convert = S && S->GetOemConvert();
  // Unpreparing empties OpenSQL and ExecSQL, so a caller's reference to one
  // of them must not be used past that point.
  if (!Convert && &SQL != &OpenSQL && &SQL != &ExecSQL)
    return SQL;
  Scratch = SQL;
  if (Convert)
    StatementToOem(Scratch);
  return Scratch;
}

std::int32_t TZantrelSQL::Check(void* AHandle, std::int32_t Code, std::int32_t Code2,
                                bool RaiseError) {
  TZantrelSession* S = GetSession();
  if (!S)
    throw EZantrelException(LoadZtlStr(ZTL_ERR_SESS_NIL), 0);
  return S->Check(AHandle, Code, Code2, RaiseError);
}

std::string TZantrelSQL::GetLastError() const {
  const TZantrelSession* S = GetSession();
  return S ? S->GetLastError() : std::string();
}

std::int32_t TZantrelSQL::GetLastErrorCode() const {
  const TZantrelSession* S = GetSession();
  return S ? S->GetLastErrorCode() : 0;
}

std::string TZantrelSQL::GetLastSQLState() const {
  const TZantrelSession* S = GetSession();
  return S ? S->GetLastSQLState() : std::string();
}

void TZantrelSQL::InternalAutoCommit() {
  TZantrelSession* S = GetSession();
  if (S && !S->GetInTransaction() && S->GetAutoCommit())
    S->InternalCommit(true);
}

void TZantrelSQL::SetBlobSize(std::int32_t Value) {
  if (Value >= 0 && Value <= 32763)
    BlobSize = Value;
}

void TZantrelSQL::SetMaxFetchCount(std::int32_t Value) {
  if (Value >= 1 && Value <= 1000)
    MaxFetchCount = Value;
}

// --- Statements ---------------------------------------------------------------

bool TZantrelSQL::Prepare(const std::string& SQL) {
  std::string Scratch;
  const std::string& S = ConvertedText(SQL, Scratch);
  Unprepare();
  return InternalPrepare(S);
}

bool TZantrelSQL::PrepareOpen(const std::string& SQL) {
  std::string Scratch;
  const std::string& S = ConvertedText(SQL, Scratch);
  UnprepareOpen();
  return InternalPrepareOpen(S);
}

bool TZantrelSQL::OpenCursor(const std::string* SQL, TZtlVarParams Params, bool AReadOnly,
                             bool ReadFirst, bool ReprepareReadOnly) {
  std::string Scratch;
  const std::string* S = nullptr;
  if (SQL) {
    S = &ConvertedText(*SQL, Scratch);
    if (*S != OpenSQL || (ReprepareReadOnly && ReadOnly))
      UnprepareOpen();
    else
      InternalClose();
  } else {
    if (!PreparedForOpen)
      RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_NOT_PREPARED), 0);
    InternalClose();
  }
  InternalSetVariables(InternalCheckVarValues(Params), OpenVariables);
  bool Prepared = !S || PreparedForOpen;
  if (!Prepared) {
    OpenFollows = true;
    try {
      Prepared = InternalPrepareOpen(*S);
    } catch (...) {
      OpenFollows = false;
      throw;
    }
    OpenFollows = false;
  }
  bool Ok = Prepared &&
            (OpenVariables.GetBound() || InternalBindOpenVariables(nullptr)) &&
            InternalOpen(AReadOnly);
  if (Ok && ReadFirst)
    Ok = InternalIsScrollable() ? InternalFetchFirst() : InternalFetchNext();
  if (Ok && AfterOpen)
    AfterOpen(this);
  return Ok;
}

bool TZantrelSQL::Open(const std::string& SQL, TZtlVarParams Params, bool AReadOnly) {
  return OpenCursor(&SQL, Params, AReadOnly, false, false);
}

bool TZantrelSQL::OpenRead(const std::string& SQL, TZtlVarParams Params) {
  return OpenCursor(&SQL, Params, true, true, false);
}

bool TZantrelSQL::OpenWrite(const std::string& SQL, TZtlVarParams Params) {
  return OpenCursor(&SQL, Params, false, true, true);
}

bool TZantrelSQL::OpenPrepared(TZtlVarParams Params, bool AReadOnly) {
  return OpenCursor(nullptr, Params, AReadOnly, false, false);
}

bool TZantrelSQL::OpenReadPrepared(TZtlVarParams Params) {
  return OpenCursor(nullptr, Params, true, true, false);
}

bool TZantrelSQL::OpenWritePrepared(TZtlVarParams Params) {
  return OpenCursor(nullptr, Params, false, true, false);
}

bool TZantrelSQL::Describe(const std::string& SQL) {
  std::string Scratch;
  const std::string& S = ConvertedText(SQL, Scratch);
  if (S != OpenSQL)
    UnprepareOpen();
  else
    InternalClose();
  // A statement prepared before is not prepared again, but the answer is
  // still whether it yields columns, so asking twice gives the same answer.
  if (PreparedForOpen)
    return FieldDefs.GetCount() > 0;
  return InternalPrepareOpen(S) && FieldDefs.GetCount() > 0;
}

void TZantrelSQL::Close() {
  InternalClose();
}

void TZantrelSQL::Unprepare() {
  UnprepareOpen();
  UnprepareExecute();
}

void TZantrelSQL::UnprepareOpen() {
  InternalClose();
  if (PreparedForOpen)
    InternalUnprepareOpen();
  OpenVariables.Clear();
}

bool TZantrelSQL::PrepareExecute(const std::string& SQL) {
  std::string Scratch;
  const std::string& S = ConvertedText(SQL, Scratch);
  UnprepareExecute();
  return InternalPrepareExecute(S);
}

bool TZantrelSQL::ExecuteStatement(const std::string* SQL, TZtlVarParams Params) {
  std::string Scratch;
  const std::string* S = nullptr;
  if (SQL) {
    S = &ConvertedText(*SQL, Scratch);
    if (*S != ExecSQL)
      UnprepareExecute();
  } else if (!PreparedForExecute) {
    RaiseLastError(LoadZtlStr(ZTL_ERR_STMT_NOT_PREPARED), 0);
  }
  InternalSetVariables(InternalCheckVarValues(Params), ExecVariables);
  OutVariables.ClearBuffer();
  TStringList List; // the bind's fresh list, handed on to the execution
  bool Prepared = !S || PreparedForExecute;
  if (!Prepared) {
    const bool Was = ExecuteFollows;
    ExecuteFollows = true;
    try {
      Prepared = InternalPrepareExecute(*S);
    } catch (...) {
      ExecuteFollows = Was;
      throw;
    }
    ExecuteFollows = Was;
  }
  return Prepared && (ExecVariables.GetBound() || InternalBindExecVariables(&List)) &&
         InternalExecute(&List);
}

bool TZantrelSQL::Execute(const std::string& SQL, TZtlVarParams Params) {
  return ExecuteStatement(&SQL, Params);
}

bool TZantrelSQL::ExecutePrepared(TZtlVarParams Params) {
  return ExecuteStatement(nullptr, Params);
}

TZantrelArrayResult TZantrelSQL::ExecuteArrayStatement(const std::string* SQL,
                                                       std::span<const TZtlVarParams> Rows,
                                                       bool StopOnError) {
  if (!SQL && !PreparedForExecute)
    RaiseLastError(LoadZtlStr(ZTL_ERR_STMT_NOT_PREPARED), 0);
  TZantrelArrayResult Result;
  InternalExecuteArray(SQL, Rows, StopOnError, Result);
  return Result;
}

void TZantrelSQL::InternalExecuteArray(const std::string* SQL,
                                       std::span<const TZtlVarParams> Rows, bool StopOnError,
                                       TZantrelArrayResult& Result) {
  for (std::size_t I = 0; I < Rows.size(); ++I)
    if (!RunArrayElement(SQL, Rows[I], static_cast<std::int32_t>(I), Result) && StopOnError)
      break;
}

bool TZantrelSQL::RunArrayElement(const std::string* SQL, TZtlVarParams Params,
                                  std::int32_t Index, TZantrelArrayResult& Result) {
  const auto Failed = [&](std::int32_t Code, std::string Message, std::string SQLState) {
    Result.Errors.push_back({Index, Code, std::move(Message), std::move(SQLState)});
    return false;
  };
  // Each element runs as Execute would: an element whose shape differs is
  // bound again, and one that failed half-way leaves nothing behind that
  // the next element could trip over.
  try {
    if (ExecuteStatement(SQL, Params)) {
      ++Result.Executed;
      Result.RowsAffected += RowsProcessed;
      return true;
    }
    return Failed(GetLastErrorCode(), GetLastError(), GetLastSQLState());
  } catch (const EZantrelException& E) {
    return Failed(E.GetErrorCode(), E.what(), E.GetSQLState());
  } catch (const Exception& E) {
    return Failed(0, E.what(), {});
  }
}

TZantrelArrayResult TZantrelSQL::ExecuteArray(const std::string& SQL,
                                              std::span<const TZtlVarParams> Rows,
                                              bool StopOnError) {
  return ExecuteArrayStatement(&SQL, Rows, StopOnError);
}

TZantrelArrayResult TZantrelSQL::ExecutePreparedArray(std::span<const TZtlVarParams> Rows,
                                                      bool StopOnError) {
  return ExecuteArrayStatement(nullptr, Rows, StopOnError);
}

void TZantrelSQL::UnprepareExecute() {
  if (PreparedForExecute)
    InternalUnprepareExecute();
  ExecVariables.Clear();
  OutVariables.Clear();
}

// --- Navigation -----------------------------------------------------------------

void TZantrelSQL::CheckOpened() {
  if (!Opened)
    RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), 0);
}

void TZantrelSQL::PrepareMove() {
  FetchBuffer.Fill(0, RowBytes(RowSize, FetchRows));
  FetchNulls.Fill(255, RowBytes(NullSize, FetchRows));
}

bool TZantrelSQL::MoveToFirst() {
  CheckOpened();
  PrepareMove();
  return InternalMoveToFirst();
}

bool TZantrelSQL::MoveToLast() {
  CheckOpened();
  PrepareMove();
  return InternalMoveToLast();
}

bool TZantrelSQL::MoveTo(std::int32_t Row) {
  CheckOpened();
  PrepareMove();
  return InternalMoveTo(Row);
}

// --- Base bodies of the overridable steps ---------------------------------------

bool TZantrelSQL::InternalPrepareOpen(const std::string& SQL) {
  OpenSQL = SQL;
  PreparedForOpen = true;
  return true;
}

bool TZantrelSQL::InternalOpen(bool AReadOnly) {
  RecNo = -1;
  Bof = false;
  Eof = false;
  ReadOnly = AReadOnly;
  Opened = true;
  return true;
}

void TZantrelSQL::InternalClose() {
  BufferRows = 0;
  BufferPos = 0;
  RecNo = -1;
  Bof = true;
  Eof = true;
  RecordCount = 0;
  Opened = false;
}

void TZantrelSQL::InternalUnprepareOpen() {
  InternalFreeOpenBuffer();
  FieldDefs.Clear();
  OpenSQL.clear();
  PreparedForOpen = false;
}

bool TZantrelSQL::InternalPrepareExecute(const std::string& SQL) {
  ExecSQL = SQL;
  PreparedForExecute = true;
  return true;
}

void TZantrelSQL::InternalUnprepareExecute() {
  ExecSQL.clear();
  PreparedForExecute = false;
}

bool TZantrelSQL::GetStillInProc() {
  return false;
}

bool TZantrelSQL::Resume() {
  return false;
}

std::string TZantrelSQL::GetTableName() {
  return ZtlGetTableNameFromSQL(OpenSQL);
}

void TZantrelSQL::InternalAllocOpenBuffer() {
  if (RowSize < 0 || NullSize < 0 || FetchRows < 0)
    RaiseLastError(Format("Invalid row buffer layout (row %d, nulls %d, rows %d)",
                          {std::int64_t{RowSize}, std::int64_t{NullSize}, std::int64_t{FetchRows}}),
                   0);
  RowsAllocated = FetchRows;
  FetchBuffer.Allocate(RowBytes(RowSize, RowsAllocated));
  CurrentRow.Allocate(static_cast<std::size_t>(RowSize));
  OldRow.Allocate(static_cast<std::size_t>(RowSize));
  FetchNulls.Allocate(RowBytes(NullSize, RowsAllocated));
  CurrentNulls.Allocate(static_cast<std::size_t>(NullSize));
  OldNulls.Allocate(static_cast<std::size_t>(NullSize));
}

void TZantrelSQL::InternalFreeOpenBuffer() {
  BlobManager->Clear();
  FetchBuffer.Release();
  CurrentRow.Release();
  OldRow.Release();
  FetchNulls.Release();
  CurrentNulls.Release();
  OldNulls.Release();
  RowsAllocated = 0;
  RowSize = 0;
  NullSize = 0;
}

} // namespace ztl
