// The recording test driver's cursor and blob stream.
#include "tests/support/RecordingCursor.h"

#include <algorithm>
#include <cstring>

#include "framework/rtl/SysUtils.h"

namespace ztl {

namespace {

const char* BoolText(bool Value) {
  return Value ? "True" : "False";
}

// Fixed-size little-endian values inside a row. Every caller has checked
// that the bytes are there.
template <class T>
void Put(std::uint8_t* Dest, T Value) {
  std::memcpy(Dest, &Value, sizeof(T));
}
template <class T>
T Get(const std::uint8_t* Src) {
  T Value;
  std::memcpy(&Value, Src, sizeof(T));
  return Value;
}

// The bytes a value of a binary or blob kind carries: a byte array's bytes,
// otherwise its text.
std::string BytesOf(const Variant& Value) {
  if (Value.VarType() == (varArray | varByte)) {
    const auto Bytes = Value.Bytes();
    return std::string(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
  }
  return TZantrelSQL::SetVarToStr(Value);
}

} // namespace

// --- Blob stream ----------------------------------------------------------------

std::int32_t TRecordingBlobStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || !Buffer || Position < 0 || Position >= Size)
    return 0;
  const auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Count, Size - Position));
  std::memcpy(Buffer, Memory.data() + Position, static_cast<std::size_t>(N));
  Position += N;
  return N;
}

// --- Construction -----------------------------------------------------------------

TRecordingSQL::TRecordingSQL(TRecordingSession* Session, TComponent* AOwner)
    : TZantrelSQL(AOwner),
      Log(Session ? Session->GetSharedLog() : std::make_shared<TRecordingLog>()) {
  if (Session)
    SetSession(Session);
}

TRecordingSQL::TRecordingSQL(TComponent* AOwner, std::shared_ptr<TRecordingLog> ALog)
    : TZantrelSQL(AOwner), Log(ALog ? std::move(ALog) : std::make_shared<TRecordingLog>()) {}

TRecordingSQL::~TRecordingSQL() {
  // Our overrides vanish once this destructor returns: let go of the
  // statements while they are still reachable.
  DestroySQL();
}

bool TRecordingSQL::Enter(std::string_view Call) {
  if (Quiet)
    return true;
  return Log->Enter(std::string(Call), GetSessionObject());
}

void TRecordingSQL::SetResult(std::vector<TRecordingColumn> AColumns,
                              std::vector<std::vector<Variant>> ARows) {
  Columns = std::move(AColumns);
  Rows = std::move(ARows);
  for (auto& Row : Rows)
    Row.resize(Columns.size(), Variant::Null());
}

void TRecordingSQL::SetOutputs(std::vector<std::pair<std::string, Variant>> AOutputs) {
  Outputs = std::move(AOutputs);
}

std::int32_t TRecordingSQL::RowBytesOf(const TRecordingColumn& Column) {
  switch (Column.Type) {
  case ntString:
    return (Column.Length > 0 ? Column.Length : 20) + 1;
  case ntInteger:
    return 4;
  case ntInt64:
  case ntCurrency:
  case ntFloat:
  case ntDate:
  case ntTime:
  case ntDateTime:
    return 8;
  case ntBoolean:
    return 1;
  case ntBinary:
    return Column.Length > 0 ? Column.Length : 16;
  default:
    return 0; // unknown, memo and blob: nothing in the row
  }
}

// --- Statements -------------------------------------------------------------------

bool TRecordingSQL::InternalPrepare(const std::string& SQL) {
  if (!Enter("InternalPrepare(" + SQL + ")"))
    return false;
  // The driver picks the path: a query becomes a cursor statement.
  const std::string Head = LowerCase(TrimLeft(SQL).substr(0, 6));
  return Head == "select" ? InternalPrepareOpen(SQL) : InternalPrepareExecute(SQL);
}

bool TRecordingSQL::InternalPrepareOpen(const std::string& SQL) {
  if (!Enter("InternalPrepareOpen(" + SQL + ")"))
    return false;
  TZantrelSQL::InternalPrepareOpen(SQL);
  // Describe the result: columns, then the layout, then the buffers, then a
  // stream per blob column, in that order.
  for (const TRecordingColumn& Column : Columns)
    InternalAddFieldDef(FieldDefs, Column.Name, Column.Type, InternalGetExtType(Column.Type),
                        RowBytesOf(Column), Column.Length, 0, Column.Nulls, Column.Key);
  RowSize = FieldDefs.Size();
  NullSize = FieldDefs.GetCount();
  FetchRows = MaxFetchCount;
  InternalAllocOpenBuffer();
  for (const TZantrelFieldDef* Def : FieldDefs)
    if (IsBlobFieldType(Def->FieldType))
      new TRecordingBlobStream(BlobManager.get(), Def->Name); // the manager owns it
  return true;
}

bool TRecordingSQL::InternalBindOpenVariables(TStringList* /*List*/) {
  if (!Enter("InternalBindOpenVariables"))
    return false;
  OpenVariables.SetBound(true);
  return true;
}

bool TRecordingSQL::InternalIsScrollable() {
  Enter("InternalIsScrollable");
  return Scrollable;
}

bool TRecordingSQL::InternalOpen(bool AReadOnly) {
  if (!Enter(AReadOnly ? "InternalOpen(True)" : "InternalOpen(False)"))
    return false;
  TZantrelSQL::InternalOpen(AReadOnly);
  RecordCount = static_cast<std::int32_t>(Rows.size());
  Position = 0;
  BufferRows = 0;
  return true;
}

void TRecordingSQL::InternalClose() {
  Enter("InternalClose");
  TZantrelSQL::InternalClose();
  Position = 0;
}

void TRecordingSQL::InternalUnprepareOpen() {
  Enter("InternalUnprepareOpen");
  TZantrelSQL::InternalUnprepareOpen();
}

bool TRecordingSQL::InternalPrepareExecute(const std::string& SQL) {
  if (!Enter("InternalPrepareExecute(" + SQL + ")"))
    return false;
  return TZantrelSQL::InternalPrepareExecute(SQL);
}

bool TRecordingSQL::InternalBindExecVariables(TStringList* /*List*/) {
  if (!Enter("InternalBindExecVariables"))
    return false;
  ExecVariables.SetBound(true);
  return true;
}

bool TRecordingSQL::InternalExecute(TStringList* /*List*/) {
  if (!Enter("InternalExecute"))
    return false;
  // The outputs are made afresh by every execution that has any.
  if (Outputs.empty() && OutVariables.GetCount() == 0) {
    RowsProcessed = 1;
    InternalAutoCommit();
    return true;
  }
  OutVariables.Clear();
  for (const auto& [Name, Value] : Outputs) {
    std::int32_t Size = 0;
    const TZantrelFieldTypes Type = InternalGetVariableTypeAndLength(Value, Size);
    InternalAddFieldDef(OutVariables, Name, Type, InternalGetExtType(Type), Size, 0, 0, true,
                        kiRegularField);
  }
  OutVariables.SetBufSize(OutVariables.Size());
  for (std::size_t I = 0; I < Outputs.size(); ++I) {
    const TZantrelFieldDef* Def = OutVariables.GetItem(static_cast<std::int32_t>(I));
    Encode(OutVariables.GetBuffer() + Def->Offset, Def->Size, Def->FieldType, Outputs[I].second);
  }
  RowsProcessed = 1;
  // A statement outside a user transaction is committed right away.
  InternalAutoCommit();
  return true;
}

void TRecordingSQL::InternalUnprepareExecute() {
  Enter("InternalUnprepareExecute");
  TZantrelSQL::InternalUnprepareExecute();
}

std::int32_t TRecordingSQL::InternalGetDefaultSize(TZantrelFieldTypes FieldType) {
  switch (FieldType) {
  case ntString:
    return DefaultStringSize;
  case ntBinary:
    return DefaultBinarySize;
  default:
    return RowBytesOf(TRecordingColumn{"", FieldType});
  }
}

std::int32_t TRecordingSQL::InternalGetExtType(TZantrelFieldTypes FieldType) {
  return 1000 + FieldType;
}

// --- Navigation -------------------------------------------------------------------

void TRecordingSQL::FillFetchBuffer(std::int32_t First) {
  const auto Count = static_cast<std::int32_t>(Rows.size());
  BufferFirst = First;
  BufferRows = std::clamp(Count - First + 1, 0, RowsAllocated);
  for (std::int32_t I = 0; I < BufferRows; ++I) {
    const std::vector<Variant>& Row = Rows[static_cast<std::size_t>(First - 1 + I)];
    std::uint8_t* RowData = FetchBuffer.Data() + static_cast<std::size_t>(I) * RowSize;
    std::uint8_t* NullData = FetchNulls.Data() + static_cast<std::size_t>(I) * NullSize;
    for (const TZantrelFieldDef* Def : FieldDefs) {
      if (static_cast<std::size_t>(Def->Index) >= Row.size())
        continue;
      const Variant& Value = Row[static_cast<std::size_t>(Def->Index)];
      NullData[Def->Index] = Value.IsClear() ? 255 : 0;
      if (!Value.IsClear())
        Encode(RowData + Def->Offset, Def->Size, Def->FieldType, Value);
    }
  }
}

bool TRecordingSQL::FetchRow(std::int32_t R) {
  const auto Count = static_cast<std::int32_t>(Rows.size());
  if (!Opened || !CurrentRow.Assigned() || RowsAllocated < 1)
    return false;
  if (R < 1 || R > Count) {
    // Off either end no row is current; an empty result is at both ends.
    Position = R < 1 ? 0 : Count + 1;
    RecNo = -1;
    Bof = R < 1 || Count == 0;
    Eof = R > Count || Count == 0;
    return false;
  }
  if (R < BufferFirst || R >= BufferFirst + BufferRows)
    FillFetchBuffer(R);
  BufferPos = R - BufferFirst;
  std::memcpy(CurrentRow.Data(), FetchBuffer.Data() + static_cast<std::size_t>(BufferPos) * RowSize,
              static_cast<std::size_t>(RowSize));
  std::memcpy(CurrentNulls.Data(),
              FetchNulls.Data() + static_cast<std::size_t>(BufferPos) * NullSize,
              static_cast<std::size_t>(NullSize));
  std::memcpy(OldRow.Data(), CurrentRow.Data(), static_cast<std::size_t>(RowSize));
  std::memcpy(OldNulls.Data(), CurrentNulls.Data(), static_cast<std::size_t>(NullSize));
  // Blob data goes straight into the streams, as fetched (not modified).
  for (const TZantrelFieldDef* Def : FieldDefs)
    if (IsBlobFieldType(Def->FieldType)) {
      const std::vector<Variant>& Row = Rows[static_cast<std::size_t>(R - 1)];
      const auto Index = static_cast<std::size_t>(Def->Index);
      const std::string Bytes =
          Index >= Row.size() || Row[Index].IsClear() ? std::string() : BytesOf(Row[Index]);
      BlobManager->BlobByName(Def->Name)->LoadData(Bytes.data(),
                                                   static_cast<std::int32_t>(Bytes.size()));
    }
  Position = R;
  RecNo = R - 1;
  Bof = false;
  Eof = false;
  return true;
}

bool TRecordingSQL::InternalFetchNext() {
  return Enter("InternalFetchNext") && FetchRow(Position + 1);
}

bool TRecordingSQL::InternalFetchFirst() {
  return Enter("InternalFetchFirst") && FetchRow(1);
}

bool TRecordingSQL::FetchNext() {
  return Enter("FetchNext") && FetchRow(Position + 1);
}

bool TRecordingSQL::FetchCurrent() {
  return Enter("FetchCurrent") && FetchRow(Position);
}

bool TRecordingSQL::FetchPrior() {
  return Enter("FetchPrior") && FetchRow(Position - 1);
}

bool TRecordingSQL::InternalMoveToFirst() {
  // The base has cleared the fetch buffer: it holds nothing any more,
  // whether or not the move succeeds.
  BufferRows = 0;
  if (!Enter("InternalMoveToFirst"))
    return false;
  Position = 0;
  return true;
}

bool TRecordingSQL::InternalMoveToLast() {
  // The base has cleared the fetch buffer: it holds nothing any more,
  // whether or not the move succeeds.
  BufferRows = 0;
  if (!Enter("InternalMoveToLast"))
    return false;
  Position = static_cast<std::int32_t>(Rows.size()) + 1;
  return true;
}

bool TRecordingSQL::InternalMoveTo(std::int32_t Row) {
  BufferRows = 0;
  if (!Enter("InternalMoveTo(" + IntToStr(Row) + ")"))
    return false;
  // Row counts from 0; the position counts from 1, with 0 before the first row.
  Position = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      std::int64_t{Row} + 1, 0, static_cast<std::int64_t>(Rows.size()) + 1));
  return true;
}

bool TRecordingSQL::GetStillInProc() {
  Enter("GetStillInProc");
  return TZantrelSQL::GetStillInProc();
}

std::string TRecordingSQL::GetTableName() {
  Enter("GetTableName");
  return TZantrelSQL::GetTableName();
}

bool TRecordingSQL::Resume() {
  return Enter("Resume") && TZantrelSQL::Resume();
}

// --- Writing rows back ----------------------------------------------------------------

std::vector<Variant> TRecordingSQL::CurrentValues() {
  std::vector<Variant> Values(Columns.size(), Variant::Null());
  for (const TZantrelFieldDef* Def : FieldDefs) {
    if (static_cast<std::size_t>(Def->Index) >= Values.size())
      continue;
    Variant& Value = Values[static_cast<std::size_t>(Def->Index)];
    if (IsNull(CurrentNulls.Data(), Def->Index))
      continue;
    TZantrelBlobStream* Blob =
        IsBlobFieldType(Def->FieldType) ? BlobManager->BlobByName(Def->Name) : nullptr;
    InternalGetValue(CurrentRow.Data(), Def->Offset, Def->Size, Def->FieldType, Blob, Value);
  }
  return Values;
}

bool TRecordingSQL::UpdateRecord() {
  if (!Enter("UpdateRecord"))
    return false;
  if (RecNo < 0 || RecNo >= static_cast<std::int32_t>(Rows.size()))
    return false;
  Rows[static_cast<std::size_t>(RecNo)] = CurrentValues();
  BufferRows = 0;
  return true;
}

bool TRecordingSQL::InsertRecord() {
  if (!Enter("InsertRecord"))
    return false;
  Rows.push_back(CurrentValues());
  RecordCount = static_cast<std::int32_t>(Rows.size());
  RecNo = RecordCount - 1;
  Position = RecordCount;
  BufferRows = 0;
  return true;
}

bool TRecordingSQL::DeleteRecord() {
  if (!Enter("DeleteRecord"))
    return false;
  if (RecNo < 0 || RecNo >= static_cast<std::int32_t>(Rows.size()))
    return false;
  Rows.erase(Rows.begin() + RecNo);
  RecordCount = static_cast<std::int32_t>(Rows.size());
  BufferRows = 0;
  return true;
}

// --- Values and null indicators ----------------------------------------------------------

bool TRecordingSQL::IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) {
  // An indicator outside the area (or no area) reads as null.
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return true;
  return NullBuffer[FieldIndex] != 0;
}

void TRecordingSQL::SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) {
  if (!Enter("SetNull(" + IntToStr(FieldIndex) + "," + BoolText(Null) + ")"))
    return;
  if (NullBuffer && FieldIndex >= 0 && FieldIndex < NullSize)
    NullBuffer[FieldIndex] = Null ? 255 : 0;
}

void TRecordingSQL::InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset,
                                     std::int32_t Size, TZantrelFieldTypes FieldType,
                                     TZantrelBlobStream* Blob, Variant& Value) {
  const std::uint8_t* P = Buffer + Offset;
  switch (FieldType) {
  case ntString:
    if (Size > 0)
      Value =
          std::string(reinterpret_cast<const char*>(P),
                      strnlen(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Size)));
    break;
  case ntInteger:
    if (Size >= 4)
      Value = Get<std::int32_t>(P);
    break;
  case ntInt64:
    if (Size >= 8)
      Value = Get<std::int64_t>(P);
    break;
  case ntCurrency:
    if (Size >= 8)
      Value = Currency::FromRaw(Get<std::int64_t>(P));
    break;
  case ntFloat:
    if (Size >= 8)
      Value = Get<double>(P);
    break;
  case ntDate:
  case ntTime:
  case ntDateTime:
    if (Size >= 8)
      Value = Variant::FromDateTime(Get<double>(P));
    break;
  case ntBoolean:
    if (Size >= 1)
      Value = *P != 0;
    break;
  case ntBinary:
    Value = TZantrelSQL::StrToVarByte(P, Size);
    break;
  case ntMemo:
  case ntBlob: {
    // A column's data is in its stream; a host variable's in the buffer.
    const std::uint8_t* Data = Blob ? Blob->GetMemory() : P;
    const std::int32_t Len = Blob ? Blob->GetDataSize() : Size;
    if (FieldType == ntMemo)
      Value = Len > 0
                  ? std::string(reinterpret_cast<const char*>(Data), static_cast<std::size_t>(Len))
                  : std::string();
    else
      Value = TZantrelSQL::StrToVarByte(Data, Len);
    break;
  }
  default:
    break;
  }
}

void TRecordingSQL::InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                     TZantrelFieldTypes FieldType, const Variant& Value,
                                     TZantrelBlobStream* Blob) {
  if (!Enter("InternalSetValue"))
    return;
  if (Blob) {
    const std::string Bytes = BytesOf(Value);
    Blob->Clear();
    Blob->Write(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
    return;
  }
  Encode(Buffer + Offset, Size, FieldType, Value);
}

void TRecordingSQL::Encode(std::uint8_t* Dest, std::int32_t Size, TZantrelFieldTypes FieldType,
                           const Variant& Value) {
  if (Size <= 0)
    return;
  const auto Bytes = static_cast<std::size_t>(Size);
  std::memset(Dest, 0, Bytes);
  switch (FieldType) {
  case ntString: {
    // Cut to the room left for the terminator.
    const std::string Text = SetVarToStr(Value);
    std::memcpy(Dest, Text.data(), std::min(Text.size(), Bytes - 1));
    break;
  }
  case ntInteger:
    if (Size >= 4)
      Put<std::int32_t>(Dest, SetVarToInt(Value));
    break;
  case ntInt64:
    if (Size >= 8)
      Put<std::int64_t>(Dest, SetVarToInt64(Value));
    break;
  case ntCurrency:
    if (Size >= 8) {
      Currency C;
      try {
        C = Value.AsCurrency();
      } catch (const Exception&) {
        C = Currency(); // the tolerant fallback, as SetVarTo... give
      }
      Put<std::int64_t>(Dest, C.Raw());
    }
    break;
  case ntFloat:
    if (Size >= 8)
      Put<double>(Dest, SetVarToFloat(Value));
    break;
  case ntDate:
  case ntTime:
  case ntDateTime:
    if (Size >= 8)
      Put<double>(Dest, SetVarToDateTime(Value));
    break;
  case ntBoolean:
    *Dest = SetVarToBoolean(Value) ? 1 : 0;
    break;
  case ntBinary:
  case ntMemo:
  case ntBlob: {
    const std::string Data = BytesOf(Value);
    std::memcpy(Dest, Data.data(), std::min(Data.size(), Bytes));
    break;
  }
  default:
    break;
  }
}

} // namespace ztl
