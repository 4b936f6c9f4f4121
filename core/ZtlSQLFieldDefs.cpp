// The cursor's field definitions: unique naming, field addresses and the
// tolerant Variant conversions that drivers use to fill buffers.
#include "core/ZtlSQL.h"

namespace ztl {

TZantrelFieldDef* TZantrelSQL::InternalAddFieldDef(TZantrelFieldDefs& Defs, const std::string& Name,
                                                   TZantrelFieldTypes FieldType,
                                                   std::int32_t ExtType, std::int32_t Size,
                                                   std::int32_t Length, std::int32_t Decimals,
                                                   bool Nulls, TZantrelKeyIndicator KeyIndicator) {
  // Names are made unique against the result columns whichever list grows:
  // host variables only need to stay clear of column names.
  std::string Unique = Name;
  for (std::int64_t I = 1; FieldDefs.IndexOf(Unique) >= 0; ++I)
    Unique = Name + "_" + std::to_string(I);
  TZantrelFieldDef* Def = Defs.AddFieldDef(Unique);
  Def->FieldType = FieldType;
  Def->ExtType = ExtType;
  Def->Size = Size;
  Def->Length = Length;
  Def->Decimals = Decimals;
  Def->Nulls = Nulls;
  Def->KeyIndicator = KeyIndicator;
  return Def;
}

bool TZantrelSQL::CheckVarType(const Variant& Value, TVarType TypeCode) {
  const TVarType Type = Value.VarType();
  if (TypeCode == varInteger || TypeCode == varSmallint)
    return Type == varInteger || Type == varSmallint;
  return Type == TypeCode;
}

TZantrelFieldDef* TZantrelSQL::GetField(const Variant& Field) const {
  // Rows are read by position millions of times: a position goes straight
  // to the list, with no text made and no names compared.
  const TVarType Type = Field.VarType();
  if (Type == varInteger || Type == varSmallint) {
    const std::int64_t I = Field.RawInt();
    const std::vector<TZantrelFieldDef*>& List = FieldDefs.GetList();
    return I >= 0 && static_cast<std::uint64_t>(I) < List.size() ? List[static_cast<std::size_t>(I)]
                                                                 : nullptr;
  }
  return FieldDefs.FieldByName(SetVarToStr(Field));
}

// The conversions catch the framework's errors only: running out of memory
// is not a conversion failure and must not be turned into a fallback value.

std::string TZantrelSQL::SetVarToStr(const Variant& Value) {
  try {
    return VarToStr(Value);
  } catch (const Exception&) {
    return {};
  }
}

std::int32_t TZantrelSQL::SetVarToInt(const Variant& Value) {
  try {
    if (Value.VarType() == varBoolean)
      return Value.RawInt() != 0 ? 1 : 0;
    return Value.AsInteger();
  } catch (const Exception&) {
    return 0;
  }
}

std::int64_t TZantrelSQL::SetVarToInt64(const Variant& Value) {
  try {
    // The Variant's own conversion rounds reals to nearest with ties to even
    // and, unlike a detour through a double, keeps every digit of a 64-bit
    // integer; values beyond the range raise, which gives the fallback.
    if (Value.VarType() == varBoolean)
      return Value.RawInt() != 0 ? 1 : 0;
    return Value.AsInt64();
  } catch (const Exception&) {
    return 0;
  }
}

double TZantrelSQL::SetVarToFloat(const Variant& Value) {
  try {
    if (Value.VarType() == varBoolean)
      return Value.RawInt() != 0 ? 1.0 : 0.0;
    return Value.AsDouble();
  } catch (const Exception&) {
    return 0.0;
  }
}

bool TZantrelSQL::SetVarToBoolean(const Variant& Value) {
  try {
    return Value.AsBoolean();
  } catch (const Exception&) {
    return false;
  }
}

TDateTime TZantrelSQL::SetVarToDateTime(const Variant& Value) {
  try {
    return Value.AsDateTime();
  } catch (const Exception&) {
    return 0;
  }
}

} // namespace ztl
