// Host variables: turning parameter values into typed, packed bind
// variables, reusing bound ones of the same shape, and reading them back.
#include <algorithm>
#include <limits>

#include "core/ZtlConsts.h"
#include "core/ZtlSQL.h"

namespace ztl {

const Variant ZtlEmptyParam = Variant::Null();

TZtlHostValues TZantrelSQL::InternalCheckVarValues(TZtlVarParams Params) {
  const std::span<const Variant> P = Params.Span();
  if (P.empty())
    return TZtlHostValues();
  if (P[0].VarType() == (varArray | varVariant)) {
    // The array's elements, read in place; beyond 2^31-1 of them is no
    // parameter list a statement can take.
    const std::span<const Variant> Elements = P[0].Elements();
    if (Elements.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      RaiseLastError("Too many host variables", 0);
    return TZtlHostValues(Elements);
  }
  if (P.size() == 1 && P[0].IsClear())
    return TZtlHostValues();
  return TZtlHostValues(P);
}

// Defined ahead of its callers and inline so that the per-value check and
// fill of a repeated statement run without a call per value.
inline TZantrelFieldTypes TZantrelSQL::TypeAndLength(const Variant& Value, std::int32_t& Size) {
  TZantrelFieldTypes Type = ntUnknown;
  switch (Value.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
    Type = ntInteger;
    break;
  case varInt64:
    // A 64-bit integer keeps its own type; treating it as unknown would lose
    // the value.
    Type = ntInt64;
    break;
  case varSingle:
  case varDouble:
    Type = ntFloat;
    break;
  case varCurrency:
    Type = ntCurrency;
    break;
  case varDate:
    Type = ntDateTime;
    break;
  case varOleStr:
  case varString:
    Type = ntString;
    break;
  case varBoolean:
    Type = ntBoolean;
    break;
  case varArray | varByte:
    Type = ntBinary;
    break;
  default:
    Type = ntUnknown;
    break;
  }
  Size = InternalGetDefaultSize(Type);

  constexpr std::size_t MaxSize = std::numeric_limits<std::int32_t>::max();
  if (Type == ntString) {
    // A memo gets exactly its characters: no room for a terminator.
    const std::size_t Len = Value.RawText().size();
    if (static_cast<std::int64_t>(Len) + 1 > Size) {
      if (Len > MaxSize)
        RaiseLastError("Host variable exceeds 2147483647 bytes", 0);
      Type = ntMemo;
      Size = static_cast<std::int32_t>(Len);
    }
  } else if (Type == ntBinary) {
    const std::size_t Len = Value.ElementCount();
    if (static_cast<std::int64_t>(Len) > Size) {
      if (Len > MaxSize)
        RaiseLastError("Host variable exceeds 2147483647 bytes", 0);
      Type = ntBlob;
      Size = static_cast<std::int32_t>(Len);
    }
  }
  return Type;
}

TZantrelFieldTypes TZantrelSQL::InternalGetVariableTypeAndLength(const Variant& Value,
                                                                 std::int32_t& Size) {
  return TypeAndLength(Value, Size);
}

inline bool TZantrelSQL::ShapeDiffers(const TZtlHostValues& V, const TZantrelVariableDefs& Defs) {
  if (!V.IsArray() || Defs.GetCount() != V.GetCount())
    return true;
  const std::vector<TZantrelFieldDef*>& List = Defs.GetList();
  for (std::size_t I = 0; I < List.size(); ++I) {
    const TZantrelFieldDef* Def = List[I];
    std::int32_t Size = 0;
    const TZantrelFieldTypes Type = TypeAndLength(V.Get(static_cast<std::int32_t>(I)), Size);
    if (!Def || Def->FieldType != Type || Def->Size != Size || IsBlobFieldType(Type))
      return true;
  }
  return false;
}

bool TZantrelSQL::InternalNeedNewVariables(const TZtlHostValues& V,
                                           const TZantrelVariableDefs& Defs) {
  return ShapeDiffers(V, Defs);
}

void TZantrelSQL::InternalSetVariables(const TZtlHostValues& V, TZantrelVariableDefs& Defs) {
  if (ShapeDiffers(V, Defs)) {
    Defs.Clear();
    for (std::int32_t I = 0; I < V.GetCount(); ++I) {
      std::int32_t Size = 0;
      const TZantrelFieldTypes Type = TypeAndLength(V.Get(I), Size);
      InternalAddFieldDef(Defs, "?", Type, InternalGetExtType(Type), Size, 0, 0, false,
                          kiRegularField);
    }
    Defs.SetBufSize(Defs.Size());
  }
  const std::vector<TZantrelFieldDef*>& List = Defs.GetList();
  const TZtlBuffer& Block = Defs.GetBufferBlock();
  std::uint8_t* const Buffer = Defs.GetBuffer();
  const std::size_t Count =
      std::min(List.size(), static_cast<std::size_t>(std::max(0, V.GetCount())));
  for (std::size_t I = 0; I < Count; ++I) {
    const TZantrelFieldDef* Def = List[I];
    // A definition a driver sized beyond the buffer gets no value rather
    // than a write outside it.
    if (!Block.Covers(Def->Offset, Def->Size))
      continue;
    InternalSetValue(Buffer, Def->Offset, Def->Size, Def->FieldType,
                     V.Get(static_cast<std::int32_t>(I)), nullptr);
  }
}

namespace {

// The variable at a field address: a position for Integer and Smallint
// Variants, a name otherwise.
const TZantrelFieldDef* FindVariable(const TZantrelVariableDefs& Defs, const Variant& Field) {
  if (TZantrelSQL::CheckVarType(Field, varInteger))
    return Defs.GetItem(static_cast<std::int32_t>(Field.RawInt()));
  return Defs.FieldByName(TZantrelSQL::SetVarToStr(Field));
}

} // namespace

Variant TZantrelSQL::GetOutVar(const Variant& Field) {
  Variant Result = Variant::Null();
  for (const TZantrelVariableDefs* Defs : {&OutVariables, &ExecVariables}) {
    const TZantrelFieldDef* Def = FindVariable(*Defs, Field);
    if (!Def)
      continue;
    // A variable outside its buffer has no value to read.
    if (Defs->GetBufferBlock().Covers(Def->Offset, Def->Size))
      InternalGetValue(Defs->GetBuffer(), Def->Offset, Def->Size, Def->FieldType, nullptr, Result);
    return Result;
  }
  RaiseLastError(LoadZtlStrFmt(ZTL_ERR_PARAM_NOT_FOUND, {SetVarToStr(Field)}), 0);
}

} // namespace ztl
