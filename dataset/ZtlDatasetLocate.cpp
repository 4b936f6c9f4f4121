// Searching the open result through the cursor: Locate, LocateNext and
// Lookup by any fields, the key searches over the ORDER BY index, and the
// row-by-row comparison of a key record with the cursor's rows.
#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "dataset/ZtlCheckError.h"
#include "dataset/ZtlDataset.h"
#include "framework/text/LocaleCompare.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

namespace {

// The item of a ';' list that starts at Pos; Pos moves past its separator.
std::string ExtractFieldName(const std::string& Fields, std::size_t& Pos) {
  const std::size_t End = std::min(Fields.find(';', Pos), Fields.size());
  std::string Item = Fields.substr(Pos, End - Pos);
  Pos = End < Fields.size() ? End + 1 : End;
  return Item;
}

template <class T>
T Load(const std::uint8_t* P) {
  T Value;
  std::memcpy(&Value, P, sizeof Value);
  return Value;
}

template <class T>
int Sign(T Key, T Row) {
  return Key < Row ? -1 : (Row < Key ? 1 : 0);
}

// Binary values have no order: equal or not.
int CompareBytes(const std::uint8_t* Key, const std::uint8_t* Row, std::size_t Len) {
  return Len == 0 || std::memcmp(Key, Row, Len) == 0 ? 0 : 1;
}

// A fixed-size value of type T read straight from the row format, when the
// column holds that many bytes; a narrower column is only compared bytewise.
template <class T>
int CompareFixed(const std::uint8_t* Key, const std::uint8_t* Row, std::size_t Size) {
  if (Size < sizeof(T))
    return CompareBytes(Key, Row, Size);
  return Sign(Load<T>(Key), Load<T>(Row));
}

// The sign of Key minus Row for text under the server's order, or nullopt
// when that order is not known or cannot decide for this search (a
// case-insensitive search over rows sorted with case, a partial key over
// rows sorted without trailing blanks). Both texts end at a NUL or at Size
// bytes; a partial key compares only its own length of the row.
std::optional<int> ServerTextOrder(const std::uint8_t* Key, const std::uint8_t* Row,
                                   std::size_t Size, TZantrelCollation Collation,
                                   bool CaseInsensitive, bool PartialKey) {
  if (Collation == coUnknown || (CaseInsensitive && Collation != coNoCase) ||
      (PartialKey && Collation == coRTrim))
    return std::nullopt;
  const char* K = reinterpret_cast<const char*>(Key);
  const char* R = reinterpret_cast<const char*>(Row);
  std::size_t KeyLen = strnlen(K, Size);
  std::size_t RowLen = strnlen(R, Size);
  if (PartialKey)
    RowLen = std::min(RowLen, KeyLen);
  if (Collation == coRTrim) {
    while (KeyLen > 0 && K[KeyLen - 1] == ' ')
      --KeyLen;
    while (RowLen > 0 && R[RowLen - 1] == ' ')
      --RowLen;
  }
  const auto Fold = [Collation](char C) -> unsigned char {
    const auto U = static_cast<unsigned char>(C);
    return Collation == coNoCase && U >= 'a' && U <= 'z' ? static_cast<unsigned char>(U - 32) : U;
  };
  const std::size_t Common = std::min(KeyLen, RowLen);
  for (std::size_t I = 0; I < Common; ++I)
    if (const int D = Fold(K[I]) - Fold(R[I]); D != 0)
      return D < 0 ? -1 : 1;
  return Sign(KeyLen, RowLen);
}

} // namespace

// ---- Locate and lookup -----------------------------------------------------------

// Locate and LocateNext differ only in where the search starts.
bool TZantrelDataset::LocateAndScroll(const std::string& AKeyFields, const Variant& KeyValues,
                                      TLocateOptions Options, bool Next) {
  CheckBiDirectional(); // before BeforeScroll announces a move that cannot happen
  DoBeforeScroll();
  const bool Result = LocateRecord(AKeyFields, KeyValues, Options, true, Next);
  if (Result) {
    Resync({rmExact, rmCenter});
    DoAfterScroll();
  } else if (AtLast) {
    Cursor->MoveToLast();
  }
  return Result;
}

bool TZantrelDataset::Locate(const std::string& AKeyFields, const Variant& KeyValues,
                             TLocateOptions Options) {
  return LocateAndScroll(AKeyFields, KeyValues, Options, false);
}

bool TZantrelDataset::LocateNext(const std::string& AKeyFields, const Variant& KeyValues,
                                 TLocateOptions Options) {
  return LocateAndScroll(AKeyFields, KeyValues, Options, true);
}

// Reads the found row in the temporary buffer; the current record and the
// window stay as they are.
Variant TZantrelDataset::Lookup(const std::string& AKeyFields, const Variant& KeyValues,
                                const std::string& ResultFields) {
  Variant Result = Variant::Null();
  if (LocateRecord(AKeyFields, KeyValues, {}, false, false)) {
    const TTempState CalcState(*this, dsCalcFields);
    CalculateFields(TempBuffer());
    Result = GetFieldValue(ResultFields);
  }
  if (AtLast)
    Cursor->MoveToLast();
  return Result;
}

// Writes the key values into the temporary buffer, in the driver's row
// format, through the fields in the filter state, and searches with it.
bool TZantrelDataset::LocateRecord(const std::string& AKeyFields, const Variant& KeyValues,
                                   TLocateOptions Options, bool SyncCursor, bool Next) {
  CheckBrowseMode();
  // A search reads the rows from the first; a forward-only cursor has let
  // those behind it go and would search only the rest.
  CheckBiDirectional();
  CursorPosChanged();
  if (SyncCursor)
    UpdateCursorPos();

  const TRecordBuffer Key = TempBuffer();
  std::vector<TField*> List;
  GetFieldList(List, AKeyFields);
  {
    const TTempState FilterState(*this, dsFilter);
    FilterBuffer = Key;
    InitRecord(Key);
    if (List.size() == 1) {
      List[0]->SetValue(KeyValues);
    } else if (!List.empty()) {
      const int Low = KeyValues.LowBound();
      for (std::size_t I = 0; I < List.size(); ++I)
        List[I]->SetValue(KeyValues.GetElement(Low + static_cast<int>(I)));
    }
  }
  return LocateRecordForKey(&List, Key, Options.Contains(loCaseInsensitive),
                            Options.Contains(loPartialKey), false, SyncCursor, true, !Next, Next);
}

// ---- Key search --------------------------------------------------------------------

// Fills the key buffer: value i goes to the field of index item i; index
// items beyond the values stay null.
void TZantrelDataset::SetKeyFields(const std::vector<Variant>& KeyValues) {
  if (IndexDefs->Count() == 0)
    DatabaseError(LoadZtlStr(SZtlNoMissingOrderBy));
  // The key buffer is the temporary buffer, which exists only while open.
  CheckActive();
  KeyBuffer = TempBuffer();
  KeyOpenCount = OpenCount;
  const TTempState FilterState(*this, dsFilter);
  FilterBuffer = KeyBuffer;
  InitRecord(KeyBuffer);
  const std::size_t Count =
      std::min(KeyValues.size(), static_cast<std::size_t>(IndexDefs->Count()));
  for (std::size_t I = 0; I < Count; ++I)
    FieldByName(IndexDefs->GetItem(static_cast<int>(I))->GetFieldName())->AssignValue(KeyValues[I]);
}

// A key set before the dataset was last reopened lies in a buffer that is
// gone: without a fresh SetKeyFields there is no key. The address alone
// cannot tell, since a reopen may get the same block back.
void TZantrelDataset::DropStaleKey() {
  if (KeyBuffer != TempBuffer() || KeyOpenCount != OpenCount)
    KeyBuffer = nullptr;
}

bool TZantrelDataset::FindKey(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  SetKeyFields(KeyValues);
  return GotoKey();
}

void TZantrelDataset::FindNearest(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  SetKeyFields(KeyValues);
  GotoNearest();
}

bool TZantrelDataset::GotoKey() {
  CheckBrowseMode();
  CursorPosChanged();
  DropStaleKey();
  const bool Result = LocateRecordForKey(&IndexDefs->GetFields(), KeyBuffer, false, false, false,
                                         true, false, false, false);
  if (Result)
    Resync({rmExact, rmCenter});
  else if (AtLast)
    Cursor->MoveToLast();
  return Result;
}

void TZantrelDataset::GotoNearest() {
  CheckBrowseMode();
  CursorPosChanged();
  DropStaleKey();
  LocateRecordForKey(&IndexDefs->GetFields(), KeyBuffer, false, false, true, true, false, false,
                     false);
  Resync({rmCenter});
}

// ---- The index of the ORDER BY clause ---------------------------------------------------

// Rebuilds the index from the statement's ORDER BY items that are fields of
// the dataset. Each item keeps the direction written at its own position,
// so an item left out (an expression, a column number) does not shift the
// directions of the items after it.
void TZantrelDataset::UpdateIndexFields() {
  IndexDefs->Clear();
  // A re-opened query usually has the text it had: tokenising it again
  // would find the same clause.
  if (OrderByText != SQLText || !OrderByKnown) {
    OrderByItems = ZtlGetOrderByFromSQL(SQLText, OrderByDirections);
    OrderByText = SQLText;
    OrderByKnown = true;
  }
  const std::string& Items = OrderByItems;
  std::size_t ItemPos = 0;
  std::size_t DirPos = 0;
  while (ItemPos < Items.size()) {
    const std::string Item = ExtractFieldName(Items, ItemPos);
    const std::string Direction = ExtractFieldName(OrderByDirections, DirPos);
    if (FindField(Item))
      IndexDefs->Add(Item, Direction == "DESC");
  }
}

bool TZantrelDataset::MapsToIndex(const std::vector<TField*>& AFields) {
  if (!UseIndex || static_cast<std::size_t>(IndexDefs->Count()) < AFields.size())
    return false;
  for (std::size_t I = 0; I < AFields.size(); ++I)
    if (!AnsiSameText(AFields[I]->FieldName(),
                      IndexDefs->GetItem(static_cast<int>(I))->GetFieldName()))
      return false;
  return true;
}

// ---- Comparing a key with a row ---------------------------------------------------------

int TZantrelDataset::CompareNulls(const std::uint8_t* KeyNulls, const std::uint8_t* RowNulls,
                                  const TZantrelFieldDef& Def, bool& BothValues) {
  const bool KeyNull = Cursor->IsNull(KeyNulls, Def.Index);
  const bool RowNull = Cursor->IsNull(RowNulls, Def.Index);
  BothValues = !KeyNull && !RowNull;
  if (KeyNull == RowNull)
    return 0;
  return KeyNull ? -1 : 1;
}

// -1, 0 or 1 as S1 sorts before, with or after S2 in the user's locale
// (-2 when the comparison fails, which callers count as before).
int TZantrelDataset::CompareStringValue(const char* S1, const char* S2, bool CaseInsensitive,
                                        int Len) {
  const std::uint32_t Flags = SORT_STRINGSORT | (CaseInsensitive ? NORM_IGNORECASE : 0);
  return CompareStringA(LOCALE_USER_DEFAULT, Flags, S1, Len, S2, Len) - 2;
}

// The sign of Key minus Row for one column, both in the row format at the
// column's offset. Len is the number of bytes (characters for strings) that
// take part. Dates, times and money are compared in the framework's field
// format, which the driver's ReadFieldData produces: their row format is
// the driver's own (money, for one, is often a scaled integer there).
int TZantrelDataset::CompareValues(const std::uint8_t* Key, const std::uint8_t* Row, int Len,
                                   const TZantrelFieldDef& Def, TFieldType DataType,
                                   bool CaseInsensitive) {
  const auto Size = static_cast<std::size_t>(Def.Size > 0 ? Def.Size : 0);
  switch (DataType) {
  case ftString:
  case ftWideString: {
    const int Cmp = CompareStringValue(reinterpret_cast<const char*>(Key),
                                       reinterpret_cast<const char*>(Row), CaseInsensitive, Len);
    return Cmp == 0 ? 0 : (Cmp > 0 ? 1 : -1);
  }
  case ftSmallint:
  case ftInteger:
  case ftWord:
  case ftAutoInc:
    return CompareFixed<std::int32_t>(Key, Row, Size);
  case ftLargeint:
    return CompareFixed<std::int64_t>(Key, Row, Size);
  case ftBoolean:
    return CompareFixed<std::uint8_t>(Key, Row, Size);
  case ftFloat:
    return CompareFixed<double>(Key, Row, Size);
  case ftCurrency:
  case ftBCD:
  case ftDate:
  case ftTime:
  case ftDateTime: {
    std::uint8_t KeyData[8] = {};
    std::uint8_t RowData[8] = {};
    ReadFieldData(Def, Key, KeyData, sizeof KeyData);
    ReadFieldData(Def, Row, RowData, sizeof RowData);
    if (DataType == ftDate || DataType == ftTime)
      return Sign(Load<std::int32_t>(KeyData), Load<std::int32_t>(RowData));
    return Sign(Load<double>(KeyData), Load<double>(RowData));
  }
  case ftBytes:
  case ftVarBytes:
  case ftBlob:
  case ftMemo:
  case ftGraphic:
    return CompareBytes(Key, Row, Len > 0 ? std::min(static_cast<std::size_t>(Len), Size) : 0);
  default:
    return 0;
  }
}

// The one search routine. Scans the cursor's rows (see the options in the
// declaration) for the first row whose key fields equal the key record in
// Buffer, or with Nearest the first row that sorts after it. Rows count as
// sorted by the key fields when CheckIndex is off or the key fields lead
// the ORDER BY index; then the scan stops at the first row that sorts after
// the key. Found: the cursor is put on the row (SyncCursor) or the row is
// copied into Buffer. Not found: the cursor stays where the scan ended.
bool TZantrelDataset::LocateRecordForKey(const std::vector<TField*>* AKeyFields,
                                         TRecordBuffer Buffer, bool CaseInsensitive,
                                         bool PartialKey, bool Nearest, bool SyncCursor,
                                         bool CheckIndex, bool CurrentFirst, bool FromCurrent) {
  CheckBiDirectional();
  if (!AKeyFields || AKeyFields->empty() || !Buffer)
    return false;
  const std::vector<TField*>& Keys = *AKeyFields;
  const bool Sorted = CheckIndex ? MapsToIndex(Keys) : true;
  std::int32_t Found = -1;

  // A row that could not be read is no row that failed to match: the search
  // reports the error instead of "not found".
  bool FetchFailed = false;
  const auto FetchNext = [this, &FetchFailed] {
    const bool Ok = Cursor->FetchNext();
    if (!Ok && !Cursor->GetEof())
      FetchFailed = true;
    return Ok;
  };
  bool HaveRow = CurrentFirst ? Cursor->FetchCurrent() : false;
  if (!HaveRow) {
    CurrentFirst = false;
    if (!FromCurrent)
      Cursor->MoveToFirst();
    HaveRow = FetchNext();
  }

  const TZantrelFieldDefs& Defs = Cursor->GetFieldDefs();
  const std::uint8_t* KeyNulls = Buffer + NullOffset;
  while (HaveRow && Found < 0) {
    const std::span<const std::uint8_t> Row = Cursor->GetCurrentRow();
    const std::span<const std::uint8_t> RowNulls = Cursor->GetCurrentNulls();
    // A cursor whose row no longer has the layout of the record buffers
    // cannot be compared with the key.
    if (Row.size() < LayoutRowSize || RowNulls.size() < LayoutNullSize)
      break;
    for (std::size_t I = 0; I < Keys.size(); ++I) {
      const TField* Field = Keys[I];
      const TZantrelFieldDef* Def =
          Field->FieldNo() > 0 ? Defs.GetItem(Field->FieldNo() - 1) : nullptr;
      // Calculated and lookup fields, and columns outside the row, cannot
      // be compared: the whole search fails.
      if (!Def || Def->Offset < 0 || Def->Size < 0 ||
          static_cast<std::size_t>(Def->Offset) + static_cast<std::size_t>(Def->Size) >
              LayoutRowSize) {
        HaveRow = false;
        break;
      }
      const std::uint8_t* KeyValue = Buffer + Def->Offset;
      int Len = Def->Size;
      if (Field->DataType() == ftString && PartialKey)
        Len = static_cast<int>(
            strnlen(reinterpret_cast<const char*>(KeyValue), static_cast<std::size_t>(Def->Size)));

      bool BothValues = false;
      int Cmp = CompareNulls(KeyNulls, RowNulls.data(), *Def, BothValues);
      if (BothValues)
        Cmp = CompareValues(KeyValue, Row.data() + Def->Offset, Len, *Def, Field->DataType(),
                            CaseInsensitive);
      // Texts that differ: which one comes first is the server's order, not
      // the locale's. Where that order is not known, the row is only no
      // match: the scan reads on (a nearest search keeps the locale's
      // order, the best it has).
      bool Unordered = false; // the row is no match, nor known to sort after the key
      if (Cmp != 0 && BothValues &&
          (Field->DataType() == ftString || Field->DataType() == ftWideString)) {
        const std::optional<int> Order = ServerTextOrder(
            KeyValue, Row.data() + Def->Offset, static_cast<std::size_t>(Def->Size),
            Cursor->GetColumnCollation(Def->Index), CaseInsensitive, PartialKey);
        if (Order && *Order != 0)
          Cmp = *Order;
        else if (Order || !Nearest)
          Unordered = true;
      }
      if (Sorted) {
        const TZantrelIndexDef* Item = IndexDefs->GetItem(static_cast<int>(I));
        if (Item && Item->GetDescending())
          Cmp = -Cmp;
      }

      if (Cmp < 0 && BothValues && !Unordered) {
        // The row sorts after the key.
        if (Nearest)
          Found = Cursor->GetRecNo();
        else if (Sorted && !CurrentFirst)
          HaveRow = false; // no later row can match
        break;
      }
      if (Cmp != 0)
        break;
      if (I + 1 == Keys.size())
        Found = Cursor->GetRecNo();
    }
    if (CurrentFirst && Found < 0 && HaveRow) {
      Cursor->MoveToFirst();
      CurrentFirst = false;
    }
    if (Found < 0 && HaveRow)
      HaveRow = FetchNext();
  }
  if (FetchFailed) {
    const std::string Msg = Cursor->GetLastError();
    const std::int32_t Code = Cursor->GetLastErrorCode();
    const std::string SQLState = Cursor->GetLastSQLState();
    if (AtLast)
      Cursor->MoveToLast();
    ZantrelCheckError(Msg, Code, SQLState);
  }

  bool Result = Found >= 0;
  if (Result) {
    if (SyncCursor) {
      Result = Cursor->MoveTo(Found);
    } else {
      // The cursor stands on the found row.
      const std::span<const std::uint8_t> Row = Cursor->GetCurrentRow();
      const std::span<const std::uint8_t> RowNulls = Cursor->GetCurrentNulls();
      if (LayoutRowSize > 0)
        std::memcpy(Buffer, Row.data(), LayoutRowSize);
      if (LayoutNullSize > 0)
        std::memcpy(Buffer + NullOffset, RowNulls.data(), LayoutNullSize);
    }
  }
  return Result;
}

} // namespace ztl
