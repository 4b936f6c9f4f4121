// The dataset's record engine: construction, record buffers and their
// layout, fetching rows into buffers, field values between buffers and
// fields, bookmarks, record numbers and counts.
#include <algorithm>
#include <cstring>

#include "dataset/ZtlCheckError.h"
#include "dataset/ZtlDataset.h"

namespace ztl {

namespace {

// Copies up to Count bytes of Source into Dest, never reading past Source's
// end; the bytes Source lacks are left as they were.
void CopyFrom(std::uint8_t* Dest, std::span<const std::uint8_t> Source, std::size_t Count) {
  const std::size_t N = std::min(Count, Source.size());
  if (N > 0)
    std::memcpy(Dest, Source.data(), N);
}

} // namespace

// ---- Construction and destruction -------------------------------------------------

TZantrelDataset::TZantrelDataset(TComponent* AOwner) : TDataSet(AOwner) {
  SQL = std::make_unique<TStringList>();
  SQL->OnChange = [this](TObject* Sender) { QueryChanged(Sender); };
  Params = std::make_unique<TZantrelParams>(this);
  DataLink = std::make_unique<TZantrelDataLink>(this);
  IndexDefs = std::make_unique<TZantrelIndexDefs>(this);
  ProviderParams = std::make_unique<TParams>();
}

TZantrelDataset::~TZantrelDataset() {
  DestroyDataset();
  SQL->OnChange = nullptr; // the lines go without a word to a dataset half gone
  ProviderParams.reset();
  IndexDefs.reset();
  KeyFields.clear();
  SQL.reset();
  Params.reset();
  DataLink.reset();
  Cursor.reset();
}

void TZantrelDataset::ConstructSQL() {
  if (!Cursor)
    Cursor = CreateSQL();
}

void TZantrelDataset::DestroyDataset() noexcept {
  if (DatasetDestroyed)
    return;
  DatasetDestroyed = true;
  Destroying();
  if (!Cursor)
    return;
  try {
    Disconnect();
  } catch (...) {
    Application().HandleException(this);
  }
  // Whatever failed above, the dataset goes closed and unprepared.
  CloseOnDestroy();
  if (Prepared || DBFlags != 0) {
    try {
      UnPrepare();
    } catch (...) {
      Application().HandleException(this);
    }
  }
}

// ---- Record buffers ------------------------------------------------------------------

TRecordBuffer TZantrelDataset::AllocRecordBuffer() {
  // Handed to the framework, which returns it through FreeRecordBuffer.
  return new std::uint8_t[RecordBufferSize > 0 ? RecordBufferSize : 1]();
}

void TZantrelDataset::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] Buffer;
  Buffer = nullptr;
}

std::size_t TZantrelDataset::GetRecordSize() {
  // The full row size: the calculated-fields area starts right after the
  // row data however long the row is, so it never overlaps it.
  return Cursor ? static_cast<std::size_t>(std::max(Cursor->GetRowSize(), 0)) : 0;
}

void TZantrelDataset::InternalInitRecord(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, LayoutRowSize);
  std::memset(Buffer + NullOffset, 0xFF, LayoutNullSize);
}

void TZantrelDataset::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + LayoutRowSize, 0, CalcFieldsSize());
}

void TZantrelDataset::InitRecord(TRecordBuffer Buffer) {
  TDataSet::InitRecord(Buffer);
  StoreBookmark(Buffer, -1, bfInserted);
}

// ---- Fetching -----------------------------------------------------------------------

TGetResult TZantrelDataset::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  TZantrelFetchError Outcome = TZantrelFetchError::NoError;
  switch (GetMode) {
  case gmCurrent:
    if (!Cursor->FetchCurrent())
      Outcome = Cursor->GetBof()   ? TZantrelFetchError::BOFError
                : Cursor->GetEof() ? TZantrelFetchError::EOFError
                                   : TZantrelFetchError::FetchError;
    break;
  case gmNext:
    if (!Cursor->FetchNext())
      Outcome = Cursor->GetEof() ? TZantrelFetchError::EOFError : TZantrelFetchError::FetchError;
    break;
  case gmPrior:
    if (!Cursor->FetchPrior())
      Outcome = Cursor->GetBof() ? TZantrelFetchError::BOFError : TZantrelFetchError::FetchError;
    break;
  }

  std::uint8_t Bookmark[ZtlBookmarkSize] = {};
  auto PutBookmark = [&Bookmark](std::int32_t Row, TBookmarkFlag Flag) {
    std::memcpy(Bookmark, &Row, sizeof Row);
    Bookmark[4] = static_cast<std::uint8_t>(Flag);
  };
  TGetResult Result = grOK;
  switch (Outcome) {
  case TZantrelFetchError::NoError:
    CopyFrom(Buffer, Cursor->GetCurrentRow(), LayoutRowSize);
    CopyFrom(Buffer + NullOffset, Cursor->GetCurrentNulls(), LayoutNullSize);
    PutBookmark(Cursor->GetRecNo(), bfCurrent);
    GetCalcFields(Buffer);
    break;
  case TZantrelFetchError::BOFError:
  case TZantrelFetchError::EOFError: {
    const bool AtBof = Outcome == TZantrelFetchError::BOFError;
    CopyFrom(Buffer + NullOffset, Cursor->GetCurrentNulls(), LayoutNullSize);
    PutBookmark(-1, AtBof ? bfBOF : bfEOF);
    Result = AtBof ? grBOF : grEOF;
    break;
  }
  case TZantrelFetchError::FetchError:
    if (DoCheck)
      Check(false);
    return grError;
  }
  SetBookmarkData(Buffer, Bookmark);
  return Result;
}

bool TZantrelDataset::IsCursorOpen() {
  return Cursor && Cursor->GetOpened();
}

bool TZantrelDataset::GetCanModify() {
  // Posting finds the row again through the cursor, which a forward-only
  // cursor may have let go.
  return TDataSet::GetCanModify() && !ReadOnly && !ResumedResult && !IsUniDirectional();
}

void TZantrelDataset::Check(bool Value) {
  if (!Value)
    ZantrelCheckError(Cursor->GetLastError(), Cursor->GetLastErrorCode(),
                        Cursor->GetLastSQLState());
}

// ---- Field data -------------------------------------------------------------------------

bool TZantrelDataset::GetActiveRecBuf(TRecordBuffer& RecBuf) {
  switch (State()) {
  case dsBrowse:
  case dsBlockRead:
    RecBuf = IsEmpty() ? nullptr : ActiveBuffer();
    break;
  case dsEdit:
  case dsInsert:
  case dsNewValue:
    RecBuf = ActiveBuffer();
    break;
  case dsCalcFields:
    RecBuf = CalcBuffer();
    break;
  case dsFilter:
    RecBuf = FilterBuffer;
    break;
  case dsOldValue:
    RecBuf = GetOldRecord();
    break;
  default:
    RecBuf = nullptr;
    break;
  }
  return RecBuf != nullptr;
}

TRecordBuffer TZantrelDataset::GetOldRecord() {
  UpdateCursorPos();
  if (!IsCursorOpen() || OldRecordBuffer.size() < RecordBufferSize)
    return nullptr;
  std::uint8_t* Old = OldRecordBuffer.data();
  CopyFrom(Old, Cursor->GetOldRow(), LayoutRowSize);
  // The fetched null indicators come along, so that a column that was null
  // reads as null in its old value too.
  CopyFrom(Old + NullOffset, Cursor->GetOldNulls(), LayoutNullSize);
  return Old;
}

// The column definition behind data field number FieldNo, when its bytes lie
// inside the row data of the record layout.
static const TZantrelFieldDef* RowFieldDef(const TZantrelSQL& Cursor, int FieldNo,
                                           std::size_t RowSize) {
  const TZantrelFieldDef* Def = Cursor.GetFieldDefs().GetItem(FieldNo - 1);
  if (!Def || Def->Offset < 0 || Def->Size < 0 ||
      static_cast<std::size_t>(Def->Offset) + static_cast<std::size_t>(Def->Size) > RowSize)
    return nullptr;
  return Def;
}

bool TZantrelDataset::GetFieldData(TField* Field, void* Buffer) {
  if (!Field)
    return false;
  // The browse state's buffer without the call: nearly every read is there.
  TRecordBuffer RecBuf = nullptr;
  if (State() == dsBrowse)
    RecBuf = IsEmpty() ? nullptr : ActiveBuffer();
  else
    GetActiveRecBuf(RecBuf);
  if (!RecBuf)
    return false;
  const int FieldNo = Field->FieldNo();
  if (FieldNo > 0) {
    const bool Present = !Cursor->IsNull(RecBuf + NullOffset, FieldNo - 1);
    if (Present && Buffer) {
      if (const TZantrelFieldDef* Def = RowFieldDef(*Cursor, FieldNo, LayoutRowSize))
        ReadFieldData(*Def, RecBuf + Def->Offset, Buffer, Field->DataSize());
      else
        std::memset(Buffer, 0, Field->DataSize()); // no column to read: no stray bytes either
    }
    return Present;
  }
  const TDataSetState S = State();
  if (S != dsBrowse && S != dsEdit && S != dsInsert && S != dsCalcFields)
    return false;
  const std::size_t Offset = Field->Offset();
  if (Offset + 1 + Field->DataSize() > CalcFieldsSize())
    return false;
  const std::uint8_t* P = RecBuf + LayoutRowSize + Offset;
  const bool HasValue = *P != 0;
  if (HasValue && Buffer)
    std::memcpy(Buffer, P + 1, Field->DataSize());
  return HasValue;
}

void TZantrelDataset::SetFieldData(TField* Field, const void* Buffer) {
  static constexpr TDataSetStates Writable{dsEdit,   dsInsert,   dsSetKey,      dsCalcFields,
                                           dsFilter, dsNewValue, dsInternalCalc};
  const TDataSetState S = State();
  if (!Field || !Writable.Contains(S))
    DatabaseError(SNotEditing, this);
  TRecordBuffer RecBuf = nullptr;
  // A writable state without a buffer (the framework's set-key state) has
  // nothing to write into.
  if (!GetActiveRecBuf(RecBuf))
    DatabaseError(SNotEditing, this);
  const int FieldNo = Field->FieldNo();
  if (FieldNo > 0) {
    if (S == dsCalcFields)
      DatabaseError(SNotEditing, this);
    if (Field->ReadOnly() && S != dsSetKey && S != dsFilter)
      DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
    Field->Validate(Buffer);
    const TZantrelFieldDef* Def = RowFieldDef(*Cursor, FieldNo, LayoutRowSize);
    if (Buffer && Def) {
      WriteFieldData(*Def, RecBuf + Def->Offset, Buffer, Field->DataSize());
      Cursor->SetNull(RecBuf + NullOffset, FieldNo - 1, false);
    } else {
      Cursor->SetNull(RecBuf + NullOffset, FieldNo - 1, true);
    }
  } else {
    const std::size_t Offset = Field->Offset();
    if (Offset + 1 + Field->DataSize() <= CalcFieldsSize()) {
      std::uint8_t* P = RecBuf + LayoutRowSize + Offset;
      *P = Buffer ? 1 : 0;
      if (Buffer)
        std::memcpy(P + 1, Buffer, Field->DataSize());
    }
  }
  if (S != dsCalcFields && S != dsFilter && S != dsNewValue)
    DataEvent(deFieldChange, {Field, 0});
}

bool TZantrelDataset::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent)
    return false;
  UpdateCursorPos();
  if (!Buffer)
    return false;
  CopyFrom(Buffer, Cursor->GetCurrentRow(), LayoutRowSize);
  return true;
}

std::unique_ptr<TStream> TZantrelDataset::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  if (State() != dsCalcFields)
    UpdateCursorPos();
  // Only the blob field classes say IsBlob; every memo read comes here, so
  // the test stays a virtual call rather than a walk of the class tree.
  if (!Field || !Field->IsBlob())
    throw EInvalidCast(SInvalidCast);
  auto* Blob = static_cast<TBlobField*>(Field);
  if (Field->DataSet() != this)
    return std::make_unique<TZantrelDatasetBlobStream>(Blob, Mode);
  return std::unique_ptr<TZantrelDatasetBlobStream>(new TZantrelDatasetBlobStream(Blob, Mode, this));
}

int TZantrelDataset::Translate(const char* Src, char* Dest, bool ToOem) {
  const int Result = TDataSet::Translate(Src, Dest, ToOem);
  // Every string field read comes here; a session that converts nothing
  // (the usual case) is not asked to.
  if (Result > 0)
    if (TZantrelSession* Session = GetSession(); Session && Session->GetOemConvert())
      Session->TranslateChar(Src, Dest, static_cast<std::int32_t>(std::strlen(Src)), ToOem);
  return Result;
}

// ---- Bookmarks and position ---------------------------------------------------------------

void TZantrelDataset::StoreBookmark(TRecordBuffer Buffer, std::int32_t Row, TBookmarkFlag Flag) {
  std::uint8_t* P = Buffer + BookmarkOffset;
  std::memset(P, 0, ZtlBookmarkSize);
  std::memcpy(P, &Row, sizeof Row);
  P[4] = static_cast<std::uint8_t>(Flag);
}

std::int32_t TZantrelDataset::BookmarkRow(const std::uint8_t* Bookmark) {
  std::int32_t Row;
  std::memcpy(&Row, Bookmark, sizeof Row);
  return Row;
}

void TZantrelDataset::GetBookmarkData(TRecordBuffer Buffer, std::uint8_t* Data) {
  std::memcpy(Data, Buffer + BookmarkOffset, ZtlBookmarkSize);
}

void TZantrelDataset::SetBookmarkData(TRecordBuffer Buffer, const std::uint8_t* Data) {
  std::memcpy(Buffer + BookmarkOffset, Data, ZtlBookmarkSize);
}

TBookmarkFlag TZantrelDataset::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[BookmarkOffset + 4]);
}

void TZantrelDataset::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[BookmarkOffset + 4] = static_cast<std::uint8_t>(Value);
}

void TZantrelDataset::InternalGotoBookmark(const std::uint8_t* Bookmark) {
  if (Cursor->MoveTo(BookmarkRow(Bookmark)))
    Cursor->FetchCurrent();
}

void TZantrelDataset::InternalSetToRecord(TRecordBuffer Buffer) {
  InternalGotoBookmark(Buffer + BookmarkOffset);
}

int TZantrelDataset::CompareBookmarks(const std::uint8_t* Bookmark1,
                                      const std::uint8_t* Bookmark2) {
  if (!Bookmark1 || !Bookmark2)
    return Bookmark1 == Bookmark2 ? 0 : (Bookmark1 ? -1 : 1);
  const std::int32_t Row1 = BookmarkRow(Bookmark1);
  const std::int32_t Row2 = BookmarkRow(Bookmark2);
  return Row1 < Row2 ? -1 : (Row1 > Row2 ? 1 : 0);
}

bool TZantrelDataset::BookmarkValid(const std::uint8_t* Bookmark) {
  CheckActive();
  CursorPosChanged();
  if (!Bookmark)
    return false;
  const std::int32_t Row = BookmarkRow(Bookmark);
  return Row >= 0 && Row < GetRecordCount();
}

void TZantrelDataset::InternalFirst() {
  Cursor->MoveToFirst();
  AtLast = false;
}

void TZantrelDataset::InternalLast() {
  // A result that cannot be read to its end must not pass off the rows read
  // so far as all of them.
  Check(Cursor->MoveToLast());
  AtLast = true;
}

int TZantrelDataset::GetRecordCount() {
  CheckActive();
  return Cursor->GetRecordCount();
}

int TZantrelDataset::GetRecNo() {
  CheckActive();
  const TRecordBuffer Buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (!Buffer)
    return -1;
  const std::int32_t Row = BookmarkRow(Buffer + BookmarkOffset);
  return Row == -1 ? -1 : Row + 1;
}

void TZantrelDataset::SetRecNo(int Value) {
  CheckBrowseMode();
  if (!IsSequenced() || Value == GetRecNo())
    return;
  if (Value < GetRecNo())
    CheckBiDirectional();
  DoBeforeScroll();
  CursorPosChanged();
  if (Cursor->MoveTo(Value - 1)) {
    Resync({rmCenter});
    DoAfterScroll();
  }
}

} // namespace ztl
