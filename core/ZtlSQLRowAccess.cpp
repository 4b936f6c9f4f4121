// Field access on the cursor's current row: descriptions, reading, writing,
// clearing, null tests and dirty tracking.
#include <algorithm>
#include <cstring>

#include "core/ZtlConsts.h"
#include "core/ZtlSQL.h"

namespace ztl {

// --- Descriptions -----------------------------------------------------------------

bool TZantrelSQL::FindField(const std::string& Name) const {
  return FieldDefs.IndexOf(Name) >= 0;
}

std::string TZantrelSQL::GetFieldName(std::int32_t Index) const {
  const TZantrelFieldDef* Def = FieldDefs.GetItem(Index);
  return Def ? Def->Name : std::string();
}

TZantrelFieldTypes TZantrelSQL::GetFieldType(const Variant& Field) const {
  const TZantrelFieldDef* Def = GetField(Field);
  return Def ? Def->FieldType : ntUnknown;
}

std::int32_t TZantrelSQL::GetFieldSize(const Variant& Field) const {
  const TZantrelFieldDef* Def = GetField(Field);
  return Def ? Def->Size : 0;
}

std::int32_t TZantrelSQL::GetFieldLength(const Variant& Field) const {
  const TZantrelFieldDef* Def = GetField(Field);
  return Def ? Def->Length : 0;
}

std::int32_t TZantrelSQL::GetFieldDecimals(const Variant& Field) const {
  const TZantrelFieldDef* Def = GetField(Field);
  return Def ? Def->Decimals : 0;
}

bool TZantrelSQL::GetFieldNulls(const Variant& Field) const {
  const TZantrelFieldDef* Def = GetField(Field);
  return Def ? Def->Nulls : false;
}

// --- Checks shared by the operations on the row ---------------------------------

namespace {

// The definition at Field when Field is a position in range, the way
// GetField answers a position; null for anything else. Inline, so that
// reading a row by positions makes no call per value to find the column.
inline TZantrelFieldDef* FieldAtPosition(const TZantrelFieldDefs& Defs, const Variant& Field) {
  const TVarType Type = Field.VarType();
  if (Type == varInteger || Type == varSmallint) {
    const std::int64_t I = Field.RawInt();
    const std::vector<TZantrelFieldDef*>& List = Defs.GetList();
    if (I >= 0 && static_cast<std::uint64_t>(I) < List.size())
      return List[static_cast<std::size_t>(I)];
  }
  return nullptr;
}

} // namespace

TZantrelFieldDef& TZantrelSQL::FieldOrRaise(const Variant& Field) {
  if (TZantrelFieldDef* Def = FieldAtPosition(FieldDefs, Field))
    return *Def;
  TZantrelFieldDef* Def = GetField(Field);
  if (!Def)
    RaiseLastError(LoadZtlStrFmt(ZTL_ERR_FIELD_NOT_FOUND, {SetVarToStr(Field)}), 0);
  return *Def;
}

TZantrelBlobStream* TZantrelSQL::BlobOf(const TZantrelFieldDef& Def) {
  if (!IsBlobFieldType(Def.FieldType))
    return nullptr;
  // Drivers make one stream per memo or blob column, in column order, so the
  // stream is usually found at the column's rank among those columns. It is
  // taken only when it carries the name and no stream before it answers to
  // the name too; otherwise the search by name decides, as it always has.
  const std::vector<TZantrelBlobStream*>& Streams = BlobManager->GetList();
  std::size_t Rank = 0;
  for (const TZantrelFieldDef* Other : FieldDefs) {
    if (Other == &Def)
      break;
    if (IsBlobFieldType(Other->FieldType))
      ++Rank;
  }
  if (Rank < Streams.size() && Streams[Rank]->GetFieldName() == Def.Name &&
      std::none_of(Streams.begin(), Streams.begin() + static_cast<std::ptrdiff_t>(Rank),
                   [&](const TZantrelBlobStream* S) {
                     return S->GetFieldName().size() == Def.Name.size() &&
                            AnsiSameText(S->GetFieldName(), Def.Name);
                   }))
    return Streams[Rank];
  return BlobManager->BlobByName(Def.Name);
}

// Drivers decode and encode values in place, so a column whose bytes are
// not all inside the row (no row yet, or a definition added after the
// buffers were allocated) is refused before any byte is touched.
// Inline: every value read passes here, and only the refusal needs a frame.
inline void TZantrelSQL::CheckRowCovers(const TZtlBuffer& Row, const TZantrelFieldDef& Def) {
  if (!Row.Covers(Def.Offset, Def.Size)) [[unlikely]]
    RaiseNotOpened();
}

[[gnu::cold, gnu::noinline]] void TZantrelSQL::RaiseNotOpened() {
  RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), 0);
}

void TZantrelSQL::CheckNullsExist(const TZtlBuffer& Nulls) {
  if (!Nulls.Assigned())
    RaiseNotOpened();
}

// --- Reading and writing ----------------------------------------------------------

inline Variant TZantrelSQL::ReadValue(const TZtlBuffer& Row, const Variant& Field) {
  Variant Result = Variant::Null();
  TZantrelFieldDef* const At = FieldAtPosition(FieldDefs, Field);
  const TZantrelFieldDef& Def = At ? *At : FieldOrRaise(Field);
  TZantrelBlobStream* Blob = IsBlobFieldType(Def.FieldType) ? BlobOf(Def) : nullptr;
  CheckRowCovers(Row, Def);
  InternalGetValue(Row.Data(), Def.Offset, Def.Size, Def.FieldType, Blob, Result);
  return Result;
}

Variant TZantrelSQL::GetFieldValue(const Variant& Field) {
  return ReadValue(CurrentRow, Field);
}

Variant TZantrelSQL::GetOldValue(const Variant& Field) {
  return ReadValue(OldRow, Field);
}

void TZantrelSQL::SetFieldValue(const Variant& Field, const Variant& Value) {
  if (ReadOnly)
    RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), 0);
  const TZantrelFieldDef& Def = FieldOrRaise(Field);
  if (Value.IsNull()) {
    InternalClearField(Def, true);
    return;
  }
  TZantrelBlobStream* Blob = BlobOf(Def);
  CheckRowCovers(CurrentRow, Def);
  CheckNullsExist(CurrentNulls);
  InternalSetValue(CurrentRow.Data(), Def.Offset, Def.Size, Def.FieldType, Value, Blob);
  SetNull(CurrentNulls.Data(), Def.Index, false);
}

void TZantrelSQL::InternalClearField(const TZantrelFieldDef& Def, bool SetNullFlag) {
  CheckRowCovers(CurrentRow, Def);
  CheckNullsExist(CurrentNulls);
  std::memset(CurrentRow.Data() + Def.Offset, 0, static_cast<std::size_t>(Def.Size));
  SetNull(CurrentNulls.Data(), Def.Index, SetNullFlag);
}

void TZantrelSQL::ClearField(const std::string& Name) {
  if (const TZantrelFieldDef* Def = FieldDefs.FieldByName(Name))
    InternalClearField(*Def, true);
}

void TZantrelSQL::ClearFieldNotNull(const std::string& Name) {
  if (const TZantrelFieldDef* Def = FieldDefs.FieldByName(Name))
    InternalClearField(*Def, false);
}

void TZantrelSQL::Clear() {
  CheckOpened();
  if (ReadOnly)
    RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), 0);
  for (const TZantrelFieldDef* Def : FieldDefs)
    if (Def->KeyIndicator != kiHiddenKeyField)
      InternalClearField(*Def, true);
}

void TZantrelSQL::ClearNotNull() {
  CheckOpened();
  if (ReadOnly)
    RaiseLastError(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), 0);
  for (const TZantrelFieldDef* Def : FieldDefs)
    if (Def->KeyIndicator != kiHiddenKeyField)
      InternalClearField(*Def, false);
}

// --- Null states and dirty tracking -------------------------------------------------

bool TZantrelSQL::IsFieldNull(const Variant& Field) {
  const TZantrelFieldDef& Def = FieldOrRaise(Field);
  CheckNullsExist(CurrentNulls);
  return IsNull(CurrentNulls.Data(), Def.Index);
}

bool TZantrelSQL::FieldDirty(const TZantrelFieldDef& Def) {
  CheckNullsExist(CurrentNulls);
  CheckNullsExist(OldNulls);
  const bool CurNull = IsNull(CurrentNulls.Data(), Def.Index);
  const bool OldNull = IsNull(OldNulls.Data(), Def.Index);
  if (IsBlobFieldType(Def.FieldType))
    return BlobOf(Def)->GetModified() || CurNull != OldNull;
  if (Def.Size <= 0)
    return false;
  CheckRowCovers(CurrentRow, Def);
  CheckRowCovers(OldRow, Def);
  return std::memcmp(CurrentRow.Data() + Def.Offset, OldRow.Data() + Def.Offset,
                     static_cast<std::size_t>(Def.Size)) != 0 ||
         CurNull != OldNull;
}

bool TZantrelSQL::IsFieldDirty(const Variant& Field) {
  return FieldDirty(FieldOrRaise(Field));
}

bool TZantrelSQL::IsDirty() {
  CheckOpened();
  for (const TZantrelFieldDef* Def : FieldDefs)
    if (FieldDirty(*Def))
      return true;
  return false;
}

} // namespace ztl
