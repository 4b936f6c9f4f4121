// The dataset's statement lifecycle: the session link and the hold on it,
// preparing and unpreparing, opening and closing the cursor, describing the
// result columns to the framework, and the next result set of a stored
// procedure.
#include <algorithm>
#include <exception>
#include <optional>

#include "dataset/ZtlDataset.h"

namespace ztl {

namespace {

// The framework field type and size of a result column.
struct TFieldMapping {
  TFieldType Type;
  std::int32_t SizeCut; // what the column size gives up; -1: the size is 0
};

TFieldMapping MapColumnType(unsigned Type) {
  switch (Type) {
  case ntString:
    return {ftString, 1}; // the terminator
  case ntInteger:
    return {ftInteger, -1};
  case ntInt64:
    return {ftLargeint, -1};
  case ntFloat:
    return {ftFloat, -1};
  case ntCurrency:
    return {ftCurrency, -1};
  case ntDate:
    return {ftDate, -1};
  case ntTime:
    return {ftTime, -1};
  case ntDateTime:
    return {ftDateTime, -1};
  case ntBoolean:
    return {ftBoolean, -1};
  case ntBinary:
    return {ftBytes, 2}; // the length word
  case ntMemo:
    return {ftMemo, -1};
  case ntBlob:
    return {ftBlob, -1};
  default:
    return {ftUnknown, -1};
  }
}

// Text without its trailing blanks, control characters and semicolons:
// what is left of a statement to prepare.
std::string CutStatementEnd(const std::string& Text) {
  std::string Statement = Text;
  while (!Statement.empty() && static_cast<unsigned char>(Statement.back()) <= 32)
    Statement.pop_back();
  // Only the semicolons go: blanks in front of them belong to the statement.
  while (!Statement.empty() && Statement.back() == ';')
    Statement.pop_back();
  return Statement;
}

constexpr std::uint8_t FlagBit(int Flag) {
  return static_cast<std::uint8_t>(1u << Flag);
}

} // namespace

// ---- Session and options ----------------------------------------------------------------

TZantrelSession* TZantrelDataset::GetSession() const {
  return Cursor ? Cursor->GetSessionObject() : nullptr;
}

void TZantrelDataset::SetSession(TZantrelSession* Value) {
  if (Value == GetSession())
    return;
  CheckUnPrepared();
  // Any hold (a provider transaction, a running ExecSQL) ties the dataset to
  // the session it has: switching would leave that one held for ever and
  // release the new one, which others may hold, when the reason ends.
  if (DBFlags != 0)
    DatabaseError(LoadZtlStr(SZtlDataSetPrepared));
  Cursor->SetSession(Value);
  DataEvent(dePropertyChange);
}

void TZantrelDataset::CheckUnPrepared() {
  if (Prepared)
    DatabaseError(LoadZtlStr(SZtlDataSetPrepared));
}

void TZantrelDataset::SetReadOnly(bool Value) {
  if (Value == ReadOnly)
    return;
  CheckUnPrepared();
  ReadOnly = Value;
}

void TZantrelDataset::SetUniDirectional(bool Value) {
  if (Value == IsUniDirectional())
    return;
  CheckInactive();
  TDataSet::SetUniDirectional(Value);
  Cursor->SetUniDirectional(Value);
}

void TZantrelDataset::SetSyncInserts(bool Value) {
  if (Value == SyncInserts)
    return;
  CheckInactive();
  SyncInserts = Value;
}

// ---- Preparing ------------------------------------------------------------------------------

void TZantrelDataset::Prepare() {
  const bool Held = SetDBFlag(dfPrepared, true);
  try {
    SetPrepared(true);
  } catch (...) {
    // A failed prepare leaves no hold behind that nothing would release.
    if (!Held) {
      try {
        SetDBFlag(dfPrepared, false);
      } catch (...) {
        // The prepare's own error is the one to report.
      }
    }
    throw;
  }
}

void TZantrelDataset::UnPrepare() {
  SetPrepared(false);
  SetDBFlag(dfPrepared, false);
}

void TZantrelDataset::SetPrepare(bool Value) {
  if (Value)
    Prepare();
  else
    UnPrepare();
}

void TZantrelDataset::SetPrepared(bool Value) {
  CheckInactive();
  if (Value == Prepared)
    return;
  if (Value) {
    if (Params->Count() == 0)
      CreateParamDesc();
    else
      SetServerParams();
    if (!DescribeOnly) {
      // Measured without the line break every line of SQL ends in, which
      // would otherwise make any text long enough.
      if (CutStatementEnd(SQLText).size() < 2)
        DatabaseError(LoadZtlStr(SZtlEmptySQLStatement));
      PrepareSQL(SQLText);
    }
  } else {
    FreeStatement();
  }
  Prepared = Value;
}

void TZantrelDataset::PrepareSQL(const std::string& Text) {
  Check(Cursor->Prepare(CutStatementEnd(Text)));
  Cursor->AfterUnprepare = [this](TObject* Sender) { FDoAfterUnPrepare(Sender); };
}

void TZantrelDataset::FreeStatement() {
  Cursor->AfterUnprepare = nullptr;
  Cursor->Unprepare();
}

void TZantrelDataset::CreateParamDesc() {}

void TZantrelDataset::SetServerParams() {}

// ---- Opening and closing -------------------------------------------------------------------

void TZantrelDataset::OpenCursor(bool InfoQuery) {
  if (!InResume) {
    SetDBFlag(dfOpen, true);
    ResumedResult = false;
    CreateHandle();
  }
  TDataSet::OpenCursor(InfoQuery);
}

void TZantrelDataset::CreateHandle() {
  CreateCursor(true);
  Cursor->AfterClose = [this](TObject* Sender) { FDoAfterClose(Sender); };
}

void TZantrelDataset::CreateCursor(bool GenHandle) {
  if (SQL->Count() == 0)
    DatabaseError(LoadZtlStr(SZtlEmptySQLStatement));
  SetPrepared(true);
  if (DataLink->GetDataSource())
    SetParamsFromCursor();
  GetCursor(GenHandle);
}

void TZantrelDataset::GetCursor(bool GenHandle) {
  Variant Values;
  GetParamValues(Values);
  // The cursor receives exactly one argument: the array of values, or Null.
  if (GenHandle)
    Check(Cursor->OpenPrepared(Values, !GetCanModify()));
  else
    Check(Cursor->ExecutePrepared(Values));
}

bool TZantrelDataset::FieldDefsMatchCursor() {
  const std::int32_t Count = Cursor->GetFieldCount();
  if (Count < 0 || static_cast<std::size_t>(Count) != DefsShape.size())
    return false;
  const TFieldDefs& Defs = FieldDefs();
  const TZantrelFieldDefs& Columns = Cursor->GetFieldDefs();
  int K = 0;
  for (std::int32_t I = 0; I < Count; ++I) {
    const TDefsShapeItem& Was = DefsShape[static_cast<std::size_t>(I)];
    const TZantrelFieldDef* Column = Columns.GetItem(I);
    if ((Column && Column->KeyIndicator == kiHiddenKeyField) != Was.Hidden)
      return false;
    if (Was.Hidden)
      continue;
    // What GetFieldName, GetFieldType and GetFieldSize read for a column
    // by position, without a copy of the name.
    if (K >= Defs.Count() || !Column || Column->Name != Was.ColumnName ||
        Column->FieldType != Was.ColumnType || Column->Size != Was.ColumnSize)
      return false;
    // The application may have changed the definitions while closed.
    const TFieldDef& Def = Defs[K++];
    if (Def.Name != Was.Name || Def.DataType != Was.DataType || Def.Size != Was.Size ||
        Def.FieldNo != I + 1 || Def.Precision != 0 || !Def.Attributes.Empty())
      return false;
  }
  return K == Defs.Count();
}

void TZantrelDataset::InternalInitFieldDefs() {
  // A re-opened statement of the same result shape would give the same
  // definitions again; building them compares every name with every other.
  if (FieldDefsMatchCursor())
    return;
  TFieldDefs& Defs = FieldDefs();
  Defs.Clear();
  DefsShape.clear();
  const std::int32_t Count = Cursor->GetFieldCount();
  const TZantrelFieldDefs& Columns = Cursor->GetFieldDefs();
  for (std::int32_t I = 0; I < Count; ++I) {
    // A key the driver added to reach the row again is the driver's own:
    // the application neither sees it nor reads it as a field. Later
    // fields keep the column's number, which is how they find their data.
    if (const TZantrelFieldDef* Column = Columns.GetItem(I);
        Column && Column->KeyIndicator == kiHiddenKeyField) {
      DefsShape.push_back({{}, true, {}, 0, {}, ftUnknown, 0});
      continue;
    }
    const Variant Address(I);
    const std::string ColumnName = Cursor->GetFieldName(I);
    std::string Name = ColumnName;
    for (std::int64_t K = 1; Defs.IndexOf(Name) >= 0; ++K)
      Name = ColumnName + "_" + IntToStr(K);
    const TZantrelFieldTypes ColumnType = Cursor->GetFieldType(Address);
    const std::int32_t ColumnSize = Cursor->GetFieldSize(Address);
    const TFieldMapping Mapping = MapColumnType(ColumnType & 0x7F);
    std::int32_t Size = 0;
    if (Mapping.SizeCut >= 0)
      Size = ColumnSize - Mapping.SizeCut;
    // Sizes are 16-bit: a size the column cannot have (negative) or the
    // field cannot hold is brought into range instead of wrapping around.
    Size = std::clamp<std::int32_t>(Size, 0, 0xFFFF);
    Defs.Add(Name, Mapping.Type, static_cast<std::size_t>(Size), false).FieldNo = I + 1;
    DefsShape.push_back({ColumnName, false, ColumnType, ColumnSize, Name, Mapping.Type,
                         static_cast<std::size_t>(Size)});
  }
}

void TZantrelDataset::InternalOpen() {
  ++OpenCount;
  FieldDefs().Updated = false;
  FieldDefs().Update();
  if (DefaultFields())
    CreateFields();
  BindFields(true);
  BookmarkSize = ZtlBookmarkSize;
  LayoutRowSize = static_cast<std::size_t>(std::max(Cursor->GetRowSize(), 0));
  LayoutNullSize = static_cast<std::size_t>(std::max(Cursor->GetNullSize(), 0));
  BookmarkOffset = LayoutRowSize + CalcFieldsSize();
  NullOffset = BookmarkOffset + ZtlBookmarkSize;
  RecordBufferSize = NullOffset + LayoutNullSize;
  OldRecordBuffer.assign(RecordBufferSize, 0);
  Cursor->MoveToFirst();
  AtLast = false;
  UpdateKeyFields();
  UpdateIndexFields();
}

void TZantrelDataset::InternalClose() {
  OldRecordBuffer.clear();
  OldRecordBuffer.shrink_to_fit();
  IndexDefs->Clear();
  KeyFields.clear();
  BindFields(false);
  if (DefaultFields())
    DestroyFields();
}

void TZantrelDataset::CloseCursor() {
  // After a failed open the framework closes the cursor before it leaves
  // the browse state; the statement is given up all the same.
  std::optional<TTempState> Inactive;
  if (State() != dsInactive)
    Inactive.emplace(*this, dsInactive);
  std::exception_ptr Error;
  try {
    TDataSet::CloseCursor();
  } catch (...) {
    Error = std::current_exception();
  }
  if (!InResume) {
    Cursor->AfterClose = nullptr;
    // The open reason goes even when the driver fails to close: nothing
    // else would ever release the session it holds.
    try {
      Cursor->Close();
    } catch (...) {
      if (!Error)
        Error = std::current_exception();
    }
    try {
      SetDBFlag(dfOpen, false);
    } catch (...) {
      if (!Error)
        Error = std::current_exception();
    }
  }
  if (Error)
    std::rethrow_exception(Error);
}

void TZantrelDataset::FDoAfterClose(TObject* /*Sender*/) {
  Close();
  DataEvent(dePropertyChange);
}

void TZantrelDataset::FDoAfterUnPrepare(TObject* /*Sender*/) {
  UnPrepare();
}

void TZantrelDataset::Disconnect() {
  Close();
  UnPrepare();
}

bool TZantrelDataset::SetDBFlag(int Flag, bool Value) {
  const bool InRange = Flag >= 0 && Flag <= 7;
  const bool Was = InRange && (DBFlags & FlagBit(Flag)) != 0;
  if (Value && !Was) {
    if (DBFlags == 0) {
      TZantrelSession* Session = GetSession();
      if (!Session)
        throw EZantrelException(LoadZtlStr(ZTL_ERR_SESS_NIL), 0);
      Session->OpenSession(this);
    }
    if (InRange)
      DBFlags |= FlagBit(Flag);
  } else if (!Value && Was) {
    DBFlags &= static_cast<std::uint8_t>(~FlagBit(Flag));
    if (DBFlags == 0) {
      // The hold goes with the last reason even when unpreparing fails:
      // no flag would be left to release it later.
      std::exception_ptr Error;
      try {
        SetPrepared(false);
      } catch (...) {
        Error = std::current_exception();
      }
      if (TZantrelSession* Session = GetSession())
        Session->CloseSession(this);
      if (Error)
        std::rethrow_exception(Error);
    }
  }
  return Was;
}

std::int32_t TZantrelDataset::GetRowsAffected() const {
  return Cursor->GetRowsProcessed();
}

bool TZantrelDataset::GetStillInProc() const {
  return Cursor->GetStillInProc();
}

// ---- Result sets of stored procedures -------------------------------------------------------

void TZantrelDataset::Resume() {
  if (!GetStillInProc())
    DatabaseError(LoadZtlStr(SZtlStoredProcCompleted));
  CheckActive();
  Cursor->Resume();
  if (!GetStillInProc()) {
    Disconnect();
    return;
  }
  ResumedResult = true;
  InResume = true;
  try {
    // Closing and opening while InResume keeps the cursor and the session
    // hold: the dataset re-reads the next result set of the same cursor.
    Close();
    Open();
  } catch (...) {
    InResume = false;
    // A dataset left closed gives up the cursor and its hold, which the
    // close under InResume kept.
    if (!Active()) {
      try {
        Cursor->AfterClose = nullptr;
        Cursor->Close();
        SetDBFlag(dfOpen, false);
      } catch (...) {
        Application().HandleException(this);
      }
    }
    throw;
  }
  InResume = false;
}

} // namespace ztl
