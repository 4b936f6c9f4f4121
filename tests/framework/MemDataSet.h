// An in-memory dataset for the framework's tests, and the example a driver
// author reads: every operation a descendant must supply, over rows held in a
// vector.
//
// Record buffer layout (all offsets fixed at open):
//   [each data field's bytes at a running offset][calc area of CalcFieldsSize]
//   [bookmark: int32 row id, uint8 flag, 3 spare bytes][one null byte per field]
// Rows carry a stable id, so a bookmark survives inserts and deletes; the
// physical cursor is an index from -1 (before the first row) to the row count
// (after the last). Blob contents live in the rows; a blob written while
// editing waits in the dataset until the post.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/db/DB.h"
#include "framework/classes/Streams.h"

namespace ztl::test {

// One column of the in-memory table.
struct TMemColumn {
  std::string Name;
  TFieldType Type = ftInteger;
  std::size_t Size = 0;
  bool Required = false;
};

// One stored value: bytes in the field data format (blob: the content).
struct TMemCell {
  std::vector<std::uint8_t> Data;
  bool Null = true;
};

struct TMemRow {
  int Id = 0;                  // stable identity; bookmarks hold it
  std::vector<TMemCell> Cells; // one per column
};

// Bytes a value of Type and Size takes in a record buffer.
inline std::size_t MemDataSize(TFieldType Type, std::size_t Size) {
  switch (Type) {
  case ftString:
    return Size + 1;
  case ftWideString:
    return (Size + 1) * 2;
  case ftSmallint:
  case ftWord:
  case ftBoolean:
    return 2;
  case ftInteger:
  case ftAutoInc:
  case ftDate:
  case ftTime:
    return 4;
  case ftLargeint:
  case ftFloat:
  case ftCurrency:
  case ftBCD:
  case ftDateTime:
    return 8;
  case ftBytes:
    return Size;
  case ftVarBytes:
    return Size + 2;
  default:
    return 0; // blobs and unknown types take no buffer room
  }
}

inline bool MemIsBlob(TFieldType Type) {
  return Type == ftBlob || Type == ftMemo || Type == ftGraphic;
}

class TMemDataSet;

// The dataset's blob stream: reads the content of the record's row (or the
// pending content of an edit), collects writes, and hands them back to the
// dataset when destroyed.
class TMemBlobStream : public TStream {
public:
  TMemBlobStream(TMemDataSet& DataSet, TBlobField& Field, TBlobStreamMode Mode);
  ~TMemBlobStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    if (!Opened || Count <= 0 || Position >= static_cast<std::int64_t>(Content.size()))
      return 0;
    std::size_t N = std::min<std::size_t>(static_cast<std::size_t>(Count),
                                          Content.size() - static_cast<std::size_t>(Position));
    std::memcpy(Buffer, Content.data() + Position, N);
    Position += static_cast<std::int64_t>(N);
    return static_cast<std::int32_t>(N);
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, int Origin) override {
    if (!Opened)
      return 0;
    std::int64_t Base = Origin == soFromBeginning ? 0
                        : Origin == soFromCurrent ? Position
                                                  : static_cast<std::int64_t>(Content.size());
    Position = std::max<std::int64_t>(Base + Offset, 0);
    return Position;
  }

private:
  TMemDataSet& DataSet;
  TBlobField& Field;
  TBlobStreamMode Mode;
  TRecordBuffer Buffer = nullptr; // the record the stream was opened on
  bool Opened = false;            // false: no record, the stream is inert
  bool Written = false;           // content changed (a write-mode open truncates)
  std::string Content;
  std::int64_t Position = 0;
};

class TMemDataSet : public TDataSet {
public:
  explicit TMemDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner) {}
  ~TMemDataSet() override { CloseOnDestroy(); }

  // ---- Table set-up ----------------------------------------------------------
  std::vector<TMemColumn> Columns;
  std::vector<TMemRow> Rows;
  int NextId = 1;

  void AddColumn(const std::string& Name, TFieldType Type, std::size_t Size = 0,
                 bool Required = false) {
    Columns.push_back({Name, Type, Size, Required});
  }
  // Appends a row; Values[i] goes to column i (missing ones are null).
  void AddRow(const std::vector<Variant>& Values) {
    TMemRow Row;
    Row.Id = NextId++;
    Row.Cells.resize(Columns.size());
    for (std::size_t I = 0; I < Values.size() && I < Columns.size(); ++I)
      Row.Cells[I] = Encode(Columns[I], Values[I]);
    Rows.push_back(std::move(Row));
  }
  // Rows 1..N of one integer column "ID" holding 1..N.
  void FillNumbers(int N) {
    if (Columns.empty())
      AddColumn("ID", ftInteger);
    for (int I = 1; I <= N; ++I)
      AddRow({Variant(I)});
  }
  static TMemCell Encode(const TMemColumn& Column, const Variant& V) {
    TMemCell Cell;
    if (V.IsClear())
      return Cell;
    Cell.Null = false;
    Cell.Data.assign(MemDataSize(Column.Type, Column.Size), 0);
    auto Put = [&](auto Value) {
      std::memcpy(Cell.Data.data(), &Value, std::min(sizeof(Value), Cell.Data.size()));
    };
    switch (Column.Type) {
    case ftString: {
      std::string S = V.AsString().substr(0, Column.Size);
      std::memcpy(Cell.Data.data(), S.data(), S.size());
      break;
    }
    case ftSmallint:
    case ftWord:
      Put(static_cast<std::int16_t>(V.AsInteger()));
      break;
    case ftBoolean:
      Put(static_cast<std::int16_t>(V.AsBoolean() ? 1 : 0));
      break;
    case ftInteger:
    case ftAutoInc:
      Put(V.AsInteger());
      break;
    case ftLargeint:
      Put(V.AsInt64());
      break;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      Put(V.AsDouble());
      break;
    case ftBlob:
    case ftMemo:
    case ftGraphic: {
      std::string S = V.AsString();
      Cell.Data.assign(S.begin(), S.end());
      break;
    }
    default:
      throw std::logic_error("the test table cannot encode this type");
    }
    return Cell;
  }
  int RowIndexOf(int Id) const {
    for (std::size_t I = 0; I < Rows.size(); ++I)
      if (Rows[I].Id == Id)
        return static_cast<int>(I);
    return -1;
  }

  // ---- Test instruments --------------------------------------------------------
  std::vector<std::string>* CallLog = nullptr; // shared log of hooks and handlers
  std::vector<int> Fetched;                    // row ids delivered by GetRecord, in order
  std::map<std::string, int> Failures;         // step name -> failures left
  std::map<std::string, bool> ForeignFailures; // step name -> raise a non-database error
  int GotoCount = 0;                           // InternalGotoBookmark calls
  int LiveBuffers = 0;                         // record buffers not yet freed
  bool CanModifyFlag = true;
  TRecordBuffer FilterBuffer = nullptr; // buffer of field access in dsFilter

  void Log(const std::string& Text) {
    if (CallLog)
      CallLog->push_back(Text);
  }
  // Makes the named step raise EDatabaseError the next Times times.
  void FailNext(const std::string& Step, int Times = 1, bool Foreign = false) {
    Failures[Step] = Times;
    ForeignFailures[Step] = Foreign;
  }
  // Appends every dataset event, by name, to the log.
  void LogEvents() {
    auto Bind = [this](TDataSetNotifyEvent& Event, std::string Name) {
      Event = [this, Name](TDataSet*) { Log(Name); };
    };
    Bind(BeforeOpen, "BeforeOpen");
    Bind(AfterOpen, "AfterOpen");
    Bind(BeforeClose, "BeforeClose");
    Bind(AfterClose, "AfterClose");
    Bind(BeforeInsert, "BeforeInsert");
    Bind(AfterInsert, "AfterInsert");
    Bind(BeforeEdit, "BeforeEdit");
    Bind(AfterEdit, "AfterEdit");
    Bind(BeforePost, "BeforePost");
    Bind(AfterPost, "AfterPost");
    Bind(BeforeCancel, "BeforeCancel");
    Bind(AfterCancel, "AfterCancel");
    Bind(BeforeDelete, "BeforeDelete");
    Bind(AfterDelete, "AfterDelete");
    Bind(BeforeScroll, "BeforeScroll");
    Bind(AfterScroll, "AfterScroll");
    Bind(BeforeRefresh, "BeforeRefresh");
    Bind(AfterRefresh, "AfterRefresh");
    Bind(OnNewRecord, "OnNewRecord");
  }

  // ---- Master link ------------------------------------------------------------------
  void SetDataSource(TDataSource* Value) {
    if (Value && IsLinkedTo(Value))
      DatabaseError(SCircularDataLink, this);
    MasterSource = Value;
  }
  TDataSource* GetDataSource() const override { return MasterSource; }

  // Builds a search key in the dataset's own spare buffer, the way a key
  // search does: the filter state points field access at that buffer, and
  // the active record is never touched.
  void AssignKey(const std::string& FieldName, const Variant& Value) {
    FilterBuffer = TempBuffer();
    TTempState Temp(*this, dsFilter);
    InitRecord(FilterBuffer);
    FieldByName(FieldName)->SetValue(Value);
  }

  // Exposed for tests of the protected machinery.
  using TDataSet::CalcFieldsSize;
  using TDataSet::GetBuffer;
  using TDataSet::GetCalcFields;
  using TDataSet::InternalHandleException;
  using TDataSet::PSExecute;
  using TDataSet::PSGetDefaultOrder;
  using TDataSet::PSGetKeyFields;
  using TDataSet::PSGetParams;
  using TDataSet::PSGetQuoteChar;
  using TDataSet::PSGetTableName;
  using TDataSet::PSGetUpdateException;
  using TDataSet::PSInTransaction;
  using TDataSet::PSIsSQLBased;

  // ---- Field data ---------------------------------------------------------------------
  bool GetFieldData(TField* Field, void* Buffer) override {
    TRecordBuffer RecBuf = GetActiveRecBuf();
    if (!RecBuf)
      return false;
    if (Field->FieldNo() > 0) {
      std::size_t I = static_cast<std::size_t>(Field->FieldNo() - 1);
      if (I >= Columns.size() || RecBuf[NullOffset + I])
        return false;
      if (Buffer)
        std::memcpy(Buffer, RecBuf + Offsets[I], MemDataSize(Columns[I].Type, Columns[I].Size));
      return true;
    }
    const TDataSetState S = State();
    if (S != dsBrowse && S != dsEdit && S != dsInsert && S != dsCalcFields && S != dsBlockRead)
      return false;
    const std::uint8_t* P = RecBuf + DataEnd + Field->Offset();
    if (!P[0])
      return false;
    if (Buffer)
      std::memcpy(Buffer, P + 1, Field->DataSize());
    return true;
  }

  void SetFieldData(TField* Field, const void* Buffer) override {
    static constexpr TDataSetStates Writable{dsEdit,   dsInsert,   dsSetKey,      dsCalcFields,
                                             dsFilter, dsNewValue, dsInternalCalc};
    const TDataSetState S = State();
    if (!Writable.Contains(S))
      DatabaseError(SNotEditing, this);
    TRecordBuffer RecBuf = GetActiveRecBuf();
    if (!RecBuf)
      DatabaseError(SNotEditing, this);
    if (Field->FieldNo() > 0) {
      if (S == dsCalcFields)
        DatabaseError(SNotEditing, this);
      if (Field->ReadOnly() && S != dsSetKey && S != dsFilter)
        DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()}, this);
      Field->Validate(Buffer);
      std::size_t I = static_cast<std::size_t>(Field->FieldNo() - 1);
      if (Buffer)
        std::memcpy(RecBuf + Offsets[I], Buffer, MemDataSize(Columns[I].Type, Columns[I].Size));
      RecBuf[NullOffset + I] = Buffer ? 0 : 1;
    } else {
      std::uint8_t* P = RecBuf + DataEnd + Field->Offset();
      P[0] = Buffer ? 1 : 0;
      if (Buffer)
        std::memcpy(P + 1, Buffer, Field->DataSize());
    }
    if (S != dsCalcFields && S != dsFilter && S != dsNewValue) {
      TDataEventInfo Info;
      Info.Field = Field;
      DataEvent(deFieldChange, Info);
    }
  }

  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
    auto* Blob = dynamic_cast<TBlobField*>(Field);
    if (!Blob)
      throw EInvalidCast(SInvalidCast);
    return std::make_unique<TMemBlobStream>(*this, *Blob, Mode);
  }

  // The buffer field access works on in the current state.
  TRecordBuffer GetActiveRecBuf() {
    switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
      return CalcBuffer();
    case dsFilter:
      return FilterBuffer;
    case dsOldValue:
    case dsCurValue:
      return OldRecord();
    default:
      return nullptr;
    }
  }

  // The stored row of the active record, copied into the old-value buffer.
  TRecordBuffer OldRecord() {
    TRecordBuffer Active = ActiveBuffer();
    if (!Active || OldBuffer.empty())
      return nullptr;
    int Index = RowIndexOf(RowIdOf(Active));
    if (Index < 0)
      return nullptr;
    CopyRow(Rows[static_cast<std::size_t>(Index)], OldBuffer.data());
    return OldBuffer.data();
  }

  // Ids of the records the window holds, in slot order.
  std::vector<int> Held() const {
    std::vector<int> Ids;
    for (int I = 0; I < GetBufferedCount(); ++I)
      Ids.push_back(RowIdOf(GetBuffer(I)));
    return Ids;
  }

  int RowIdOf(TRecordBuffer Buffer) const {
    std::int32_t Id;
    std::memcpy(&Id, Buffer + BookmarkOffset, 4);
    return Id;
  }

  int GetRecNo() override {
    CheckActive();
    TRecordBuffer Buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    if (!Buffer)
      return -1;
    int Index = RowIndexOf(RowIdOf(Buffer));
    return Index < 0 ? -1 : Index + 1;
  }
  int GetRecordCount() override {
    CheckActive();
    return static_cast<int>(Rows.size());
  }
  int CompareBookmarks(const std::uint8_t* B1, const std::uint8_t* B2) override {
    if (!B1 || !B2)
      return B1 == B2 ? 0 : (B1 ? -1 : 1);
    std::int32_t I1, I2;
    std::memcpy(&I1, B1, 4);
    std::memcpy(&I2, B2, 4);
    int P1 = RowIndexOf(I1), P2 = RowIndexOf(I2);
    return P1 < P2 ? -1 : P1 > P2 ? 1 : 0;
  }
  bool BookmarkValid(const std::uint8_t* Bookmark) override {
    if (!Bookmark || !Active())
      return false;
    std::int32_t Id;
    std::memcpy(&Id, Bookmark, 4);
    return RowIndexOf(Id) >= 0;
  }

  // Linear search; string keys honour both options.
  bool Locate(const std::string& KeyFields, const Variant& KeyValues,
              TLocateOptions Options) override {
    CheckBrowseMode();
    DoBeforeScroll();
    int Index = FindRow(KeyFields, KeyValues, Options);
    if (Index < 0)
      return false;
    CursorPosChanged();
    Cursor = Index;
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
  }
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                 const std::string& ResultFields) override {
    int Index = FindRow(KeyFields, KeyValues, {});
    if (Index < 0)
      return Variant::Null();
    CopyRow(Rows[static_cast<std::size_t>(Index)], TempBuffer());
    FilterBuffer = TempBuffer();
    TTempState Temp(*this, dsFilter);
    return GetFieldValue(ResultFields);
  }

  // Index of the first row whose key fields equal KeyValues, or -1. Each row
  // is read through the fields from the spare buffer in the filter state.
  int FindRow(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    std::vector<TField*> Keys;
    GetFieldList(Keys, KeyFields);
    if (Keys.empty())
      return -1;
    FilterBuffer = TempBuffer();
    TTempState Temp(*this, dsFilter);
    for (std::size_t R = 0; R < Rows.size(); ++R) {
      CopyRow(Rows[R], FilterBuffer);
      bool Match = true;
      for (std::size_t K = 0; K < Keys.size() && Match; ++K) {
        Variant Want = Keys.size() == 1 && !KeyValues.IsArray()
                           ? KeyValues
                           : KeyValues.GetElement(KeyValues.LowBound() + static_cast<int>(K));
        Match = Matches(Keys[K]->Value(), Want, Options);
      }
      if (Match)
        return static_cast<int>(R);
    }
    return -1;
  }
  static bool Matches(const Variant& Have, const Variant& Want, TLocateOptions Options) {
    if (Want.IsClear() || Have.IsClear())
      return Want.IsClear() && Have.IsClear();
    if (!VarIsStr(Want))
      return VarCompareValue(Have, Want) == vrEqual;
    std::string H = Have.AsString();
    std::string W = Want.AsString();
    if (Options.Contains(loPartialKey))
      H = H.substr(0, W.size());
    return Options.Contains(loCaseInsensitive) ? AnsiCompareText(H, W) == 0 : H == W;
  }

  int Translate(const char* Src, char* Dest, bool ToOem) override {
    int Result = TDataSet::Translate(Src, Dest, ToOem);
    if (TranslateUpper) {
      // A stand-in code page: upper case on the way in, lower on the way out.
      for (int I = 0; I < Result; ++I)
        Dest[I] = ToOem ? AnsiUpperChar(Dest[I]) : AnsiLowerChar(Dest[I]);
    }
    return Result;
  }
  bool TranslateUpper = false;

  // Pending blob content of the record being edited, by field number.
  std::map<int, std::string> PendingBlobs;
  // Content of a blob column in the row a buffer holds ("" for a new record).
  std::string StoredBlob(TRecordBuffer Buffer, int FieldNo) {
    auto It = PendingBlobs.find(FieldNo);
    if (It != PendingBlobs.end() && Buffer == ActiveBuffer() &&
        (State() == dsEdit || State() == dsInsert))
      return It->second;
    int Index = RowIndexOf(RowIdOf(Buffer));
    if (Index < 0)
      return {};
    const TMemCell& Cell =
        Rows[static_cast<std::size_t>(Index)].Cells[static_cast<std::size_t>(FieldNo - 1)];
    return std::string(Cell.Data.begin(), Cell.Data.end());
  }
  void SetNullFlag(TRecordBuffer Buffer, int FieldNo, bool Null) {
    Buffer[NullOffset + static_cast<std::size_t>(FieldNo - 1)] = Null ? 1 : 0;
  }

  std::size_t DataEnd = 0;        // row data bytes (GetRecordSize)
  std::size_t BookmarkOffset = 0; // start of the bookmark
  std::size_t NullOffset = 0;     // start of the null flags
  std::size_t BufferSize = 0;     // whole buffer
  int Cursor = -1;                // physical position, -1 .. Rows.size()

protected:
  // ---- Buffers ------------------------------------------------------------------------
  TRecordBuffer AllocRecordBuffer() override {
    ++LiveBuffers;
    return new std::uint8_t[BufferSize]();
  }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    --LiveBuffers;
    delete[] Buffer;
    Buffer = nullptr;
  }
  std::size_t GetRecordSize() override { return DataEnd; }

  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override {
    if (Failures["GetRecord"] > 0) {
      --Failures["GetRecord"];
      if (DoCheck)
        DatabaseError("GetRecord failed", this);
      return grError;
    }
    const int Count = static_cast<int>(Rows.size());
    switch (GetMode) {
    case gmNext:
      Cursor = std::min(Cursor + 1, Count);
      break;
    case gmPrior:
      Cursor = std::max(Cursor - 1, -1);
      break;
    case gmCurrent:
      break;
    }
    if (Cursor < 0)
      return grBOF;
    if (Cursor >= Count)
      return grEOF;
    const TMemRow& Row = Rows[static_cast<std::size_t>(Cursor)];
    CopyRow(Row, Buffer);
    Fetched.push_back(Row.Id);
    GetCalcFields(Buffer);
    return grOK;
  }

  void CopyRow(const TMemRow& Row, TRecordBuffer Buffer) {
    static const TMemCell NullCell;
    for (std::size_t I = 0; I < Columns.size(); ++I) {
      // A column added after the row was made reads as null.
      const TMemCell& Cell = I < Row.Cells.size() ? Row.Cells[I] : NullCell;
      Buffer[NullOffset + I] = Cell.Null ? 1 : 0;
      std::size_t Size = MemDataSize(Columns[I].Type, Columns[I].Size);
      std::memset(Buffer + Offsets[I], 0, Size);
      if (!Cell.Null && Size > 0)
        std::memcpy(Buffer + Offsets[I], Cell.Data.data(), std::min(Size, Cell.Data.size()));
    }
    std::int32_t Id = Row.Id;
    std::memcpy(Buffer + BookmarkOffset, &Id, 4);
    Buffer[BookmarkOffset + 4] = bfCurrent;
  }

  // ---- Open and close -------------------------------------------------------------------
  void InternalOpen() override {
    Log("InternalOpen");
    Step("InternalOpen");
    // The cursor exists from here on, so the definitions come from it
    // directly rather than through an information query.
    Opened = true;
    FieldDefs().Updated = false;
    FieldDefs().Update();
    if (DefaultFields())
      CreateFields();
    BindFields(true);
    BookmarkSize = 8;
    Offsets.clear();
    DataEnd = 0;
    for (const TMemColumn& Column : Columns) {
      Offsets.push_back(DataEnd);
      DataEnd += MemDataSize(Column.Type, Column.Size);
    }
    BookmarkOffset = DataEnd + CalcFieldsSize();
    NullOffset = BookmarkOffset + 8;
    BufferSize = NullOffset + Columns.size();
    OldBuffer.assign(BufferSize, 0);
    Cursor = -1;
  }
  void InternalClose() override {
    Log("InternalClose");
    BindFields(false);
    if (DefaultFields())
      DestroyFields();
    OldBuffer.clear();
    PendingBlobs.clear();
    Opened = false;
  }
  void InternalInitFieldDefs() override {
    Log("InternalInitFieldDefs");
    FieldDefs().Clear();
    for (const TMemColumn& Column : Columns)
      FieldDefs().Add(Column.Name, Column.Type, Column.Size, Column.Required);
  }
  bool IsCursorOpen() override { return Opened; }
  bool GetCanModify() override { return CanModifyFlag; }

  // ---- Cursor -------------------------------------------------------------------------------
  void InternalFirst() override { Cursor = -1; }
  void InternalLast() override { Cursor = static_cast<int>(Rows.size()); }
  void InternalGotoBookmark(const std::uint8_t* Bookmark) override {
    ++GotoCount;
    std::int32_t Id;
    std::memcpy(&Id, Bookmark, 4);
    int Index = RowIndexOf(Id);
    // A vanished row leaves the cursor at the end: nothing is current there.
    Cursor = Index < 0 ? static_cast<int>(Rows.size()) : Index;
  }
  void GetBookmarkData(TRecordBuffer Buffer, std::uint8_t* Data) override {
    std::memcpy(Data, Buffer + BookmarkOffset, 8);
  }
  void SetBookmarkData(TRecordBuffer Buffer, const std::uint8_t* Data) override {
    std::memcpy(Buffer + BookmarkOffset, Data, 8);
  }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override {
    return static_cast<TBookmarkFlag>(Buffer[BookmarkOffset + 4]);
  }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override {
    Buffer[BookmarkOffset + 4] = Value;
  }

  // ---- Records ---------------------------------------------------------------------------------
  void InternalInitRecord(TRecordBuffer Buffer) override {
    std::memset(Buffer, 0, DataEnd);
    std::memset(Buffer + NullOffset, 1, Columns.size());
  }
  void ClearCalcFields(TRecordBuffer Buffer) override {
    std::memset(Buffer + DataEnd, 0, CalcFieldsSize());
  }
  void InitRecord(TRecordBuffer Buffer) override {
    TDataSet::InitRecord(Buffer);
    std::int32_t NoRow = -1;
    std::memcpy(Buffer + BookmarkOffset, &NoRow, 4);
  }

  void InternalEdit() override {
    Log("InternalEdit");
    Step("InternalEdit");
  }
  void InternalInsert() override { Log("InternalInsert"); }
  void InternalCancel() override {
    Log("InternalCancel");
    PendingBlobs.clear();
  }
  void InternalRefresh() override { Log("InternalRefresh"); }

  void InternalPost() override {
    Log("InternalPost");
    Step("InternalPost");
    TRecordBuffer Buffer = ActiveBuffer();
    if (State() == dsEdit) {
      if (Cursor < 0 || Cursor >= static_cast<int>(Rows.size()) ||
          Rows[static_cast<std::size_t>(Cursor)].Id != RowIdOf(Buffer))
        throw std::logic_error("the cursor is not on the edited record");
      StoreRow(Rows[static_cast<std::size_t>(Cursor)], Buffer);
    } else {
      AddRowFrom(Buffer, GetBookmarkFlag(Buffer) == bfEOF);
    }
    PendingBlobs.clear();
  }
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override {
    Log(Append ? "InternalAddRecord(append)" : "InternalAddRecord(insert)");
    Step("InternalAddRecord");
    AddRowFrom(Buffer, Append);
    PendingBlobs.clear();
  }
  void InternalDelete() override {
    Log("InternalDelete");
    Step("InternalDelete");
    if (Cursor < 0 || Cursor >= static_cast<int>(Rows.size()))
      throw std::logic_error("the cursor is not on a record");
    Rows.erase(Rows.begin() + Cursor);
  }

private:
  friend class TMemBlobStream;

  void Step(const std::string& Name) {
    auto It = Failures.find(Name);
    if (It != Failures.end() && It->second > 0) {
      --It->second;
      if (ForeignFailures[Name])
        throw std::runtime_error(Name + " failed");
      DatabaseError(Name + " failed");
    }
  }

  // Writes a record buffer (and pending blobs) into a row.
  void StoreRow(TMemRow& Row, TRecordBuffer Buffer) {
    Row.Cells.resize(Columns.size());
    for (std::size_t I = 0; I < Columns.size(); ++I) {
      TMemCell& Cell = Row.Cells[I];
      Cell.Null = Buffer[NullOffset + I] != 0;
      if (MemIsBlob(Columns[I].Type)) {
        auto It = PendingBlobs.find(static_cast<int>(I) + 1);
        if (It != PendingBlobs.end())
          Cell.Data.assign(It->second.begin(), It->second.end());
        if (Cell.Null)
          Cell.Data.clear();
        continue;
      }
      std::size_t Size = MemDataSize(Columns[I].Type, Columns[I].Size);
      Cell.Data.assign(Buffer + Offsets[I], Buffer + Offsets[I] + Size);
    }
  }

  // Inserts a new row before the cursor's row (or appends) and leaves the
  // cursor on it, where the framework's re-synchronisation looks.
  void AddRowFrom(TRecordBuffer Buffer, bool Append) {
    TMemRow Row;
    Row.Id = NextId++;
    StoreRow(Row, Buffer);
    int Count = static_cast<int>(Rows.size());
    int At = Append ? Count : std::clamp(Cursor, 0, Count);
    Rows.insert(Rows.begin() + At, std::move(Row));
    Cursor = At;
  }

  TDataSource* MasterSource = nullptr;
  std::vector<std::size_t> Offsets;    // data offset of each column
  std::vector<std::uint8_t> OldBuffer; // old-value record
  bool Opened = false;
};

inline TMemBlobStream::TMemBlobStream(TMemDataSet& ADataSet, TBlobField& AField,
                                      TBlobStreamMode AMode)
    : DataSet(ADataSet), Field(AField), Mode(AMode) {
  Buffer = DataSet.GetActiveRecBuf();
  if (!Buffer)
    return;
  if (Mode == bmWrite) {
    if (Field.ReadOnly())
      DatabaseErrorFmt(SFieldReadOnly, {Field.DisplayName()}, &DataSet);
    if (DataSet.State() != dsEdit && DataSet.State() != dsInsert)
      DatabaseError(SNotEditing, &DataSet);
    // Opening for writing empties the content, which makes it null.
    Written = true;
    DataSet.SetNullFlag(Buffer, Field.FieldNo(), true);
  } else if (Buffer[DataSet.NullOffset + static_cast<std::size_t>(Field.FieldNo() - 1)] == 0) {
    Content = DataSet.StoredBlob(Buffer, Field.FieldNo());
  }
  Opened = true;
}

inline std::int32_t TMemBlobStream::Write(const void* Data, std::int32_t Count) {
  if (!Opened || Count <= 0)
    return 0;
  std::size_t End = static_cast<std::size_t>(Position) + static_cast<std::size_t>(Count);
  if (Content.size() < End)
    Content.resize(End);
  std::memcpy(Content.data() + Position, Data, static_cast<std::size_t>(Count));
  Position = static_cast<std::int64_t>(End);
  Written = true;
  if (Mode != bmRead)
    DataSet.SetNullFlag(Buffer, Field.FieldNo(), Content.empty());
  return Count;
}

inline TMemBlobStream::~TMemBlobStream() {
  if (!Opened || Mode == bmRead || !Written)
    return;
  DataSet.PendingBlobs[Field.FieldNo()] = Content;
  Field.SetModified(true);
  try {
    TDataEventInfo Info;
    Info.Field = &Field;
    DataSet.DataEvent(deFieldChange, Info);
  } catch (...) {
    Application().HandleException(&DataSet);
  }
}

// A data link that writes each hook it receives into a log, then runs the
// framework's default, so default chains show up in order.
class TLogLink : public TDataLink {
public:
  std::vector<std::string> Calls;

protected:
  static std::string Name(TField* Field) { return Field ? Field->FieldName() : "nil"; }
  void ActiveChanged() override { Calls.push_back("ActiveChanged"); }
  void CheckBrowseMode() override { Calls.push_back("CheckBrowseMode"); }
  void DataSetChanged() override {
    Calls.push_back("DataSetChanged");
    TDataLink::DataSetChanged();
  }
  void DataSetScrolled(int Distance) override {
    Calls.push_back("DataSetScrolled(" + std::to_string(Distance) + ")");
    TDataLink::DataSetScrolled(Distance);
  }
  void EditingChanged() override { Calls.push_back("EditingChanged"); }
  void FocusControl(TField** Field) override {
    Calls.push_back("FocusControl(" + Name(*Field) + ")");
  }
  void LayoutChanged() override {
    Calls.push_back("LayoutChanged");
    TDataLink::LayoutChanged();
  }
  void RecordChanged(TField* Field) override {
    Calls.push_back("RecordChanged(" + Name(Field) + ")");
  }
  void UpdateData() override { Calls.push_back("UpdateData"); }
};

} // namespace ztl::test
