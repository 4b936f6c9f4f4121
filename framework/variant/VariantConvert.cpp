// Conversions of Variants between kinds.
#include <cmath>
#include <limits>

#include "framework/variant/Variants_p.h"
#include "framework/variant/Variants.h"

namespace ztl {

using detail::RoundHalfEven;
using detail::TTextNumber;
using detail::VarCastError;

namespace {

constexpr double TwoPow63 = 9223372036854775808.0;
constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();

// The value of a float kind (real, Boolean) as an integer within [Min, Max].
std::int64_t RealToOrdinal(double Value, TVarType From, TVarType To, std::int64_t Min,
                           std::int64_t Max) {
  if (std::isnan(Value))
    VarCastError(From, To);
  const double R = RoundHalfEven(Value);
  if (!(R >= -TwoPow63 && R < TwoPow63))
    VarOverflowError(From, To);
  const auto I = static_cast<std::int64_t>(R);
  if (I < Min || I > Max)
    VarOverflowError(From, To);
  return I;
}

// Currency rounded to a whole number, ties to even.
std::int64_t CurrencyToWhole(Currency C) {
  const std::int64_t Raw = C.Raw();
  std::int64_t Q = Raw / Currency::Scale;
  const std::int64_t Rem = Raw % Currency::Scale;
  const bool Odd = (Q % 2) != 0;
  if (Rem > Currency::Scale / 2 || (Rem == Currency::Scale / 2 && Odd))
    ++Q;
  else if (Rem < -Currency::Scale / 2 || (Rem == -Currency::Scale / 2 && Odd))
    --Q;
  return Q;
}

} // namespace

namespace detail {

void VarCastError(TVarType From, TVarType To) {
  throw EVariantError(Format(SVarTypeCouldNotConvert, {VarTypeAsText(From), VarTypeAsText(To)}));
}

} // namespace detail

void VarOverflowError(TVarType From, TVarType To) {
  throw EVariantError(Format(SVarTypeConvertOverflow, {VarTypeAsText(From), VarTypeAsText(To)}));
}

// ---- Raw access -----------------------------------------------------------

void Variant::RawCastError() {
  throw EVariantError(SInvalidVarCast);
}

// ---- Conversions ----------------------------------------------------------

namespace {

// The value as a whole number within [Min, Max], for the target kind To.
std::int64_t ToOrdinal(const Variant& V, TVarType To, std::int64_t Min, std::int64_t Max) {
  const TVarType From = V.VarType();
  std::int64_t I = 0;
  switch (From) {
  case varEmpty:
    return 0;
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    I = V.RawInt();
    break;
  case varBoolean:
    I = V.RawInt() != 0 ? -1 : 0;
    break;
  case varSingle:
  case varDouble:
  case varDate:
    return RealToOrdinal(V.RawReal(), From, To, Min, Max);
  case varCurrency:
    I = CurrencyToWhole(Currency::FromRaw(V.RawInt()));
    break;
  case varString:
  case varOleStr: {
    TTextNumber N;
    if (!detail::ParseTextNumber(V.RawText(), N))
      VarCastError(From, To);
    if (!N.IsInteger)
      return RealToOrdinal(N.Real, From, To, Min, Max);
    I = N.Integer;
    break;
  }
  default:
    VarCastError(From, To);
  }
  if (I < Min || I > Max)
    VarOverflowError(From, To);
  return I;
}

} // namespace

std::int32_t Variant::AsInteger() const {
  return static_cast<std::int32_t>(ToOrdinal(*this, varInteger,
                                             std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max()));
}

std::int64_t Variant::AsInt64() const {
  return ToOrdinal(*this, varInt64, Int64Min, Int64Max);
}

double Variant::AsDouble() const {
  switch (FType) {
  case varEmpty:
    return 0.0;
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    return static_cast<double>(RawInt());
  case varBoolean:
    return RawInt() != 0 ? -1.0 : 0.0;
  case varSingle:
  case varDouble:
  case varDate:
    return RawReal();
  case varCurrency:
    return Currency::FromRaw(RawInt()).ToDouble();
  case varString:
  case varOleStr: {
    double D;
    if (!TryStrToFloat(RawText(), D))
      VarCastError(FType, varDouble);
    return D;
  }
  default:
    VarCastError(FType, varDouble);
  }
}

Currency Variant::AsCurrency() const {
  Currency C;
  switch (FType) {
  case varEmpty:
    return C;
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    if (!Currency::TryFromInt64(RawInt(), C))
      VarOverflowError(FType, varCurrency);
    return C;
  case varBoolean:
    return Currency::FromRaw(RawInt() != 0 ? -Currency::Scale : 0);
  case varSingle:
  case varDouble:
  case varDate:
    if (std::isnan(RawReal()))
      VarCastError(FType, varCurrency);
    if (!Currency::TryFromDouble(RawReal(), C))
      VarOverflowError(FType, varCurrency);
    return C;
  case varCurrency:
    return Currency::FromRaw(RawInt());
  case varString:
  case varOleStr:
    if (!detail::TextToCurrency(RawText(), C)) {
      double D;
      if (TryStrToFloat(RawText(), D))
        VarOverflowError(FType, varCurrency);
      VarCastError(FType, varCurrency);
    }
    return C;
  default:
    VarCastError(FType, varCurrency);
  }
}

bool Variant::AsBoolean() const {
  switch (FType) {
  case varEmpty:
    return false;
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
  case varBoolean:
  case varCurrency:
    return RawInt() != 0;
  case varSingle:
  case varDouble:
  case varDate:
    if (std::isnan(RawReal()))
      VarCastError(FType, varBoolean);
    return RawReal() != 0.0;
  case varString:
  case varOleStr: {
    const std::string S = Trim(RawText());
    if (SameText(S, "True"))
      return true;
    if (SameText(S, "False"))
      return false;
    TTextNumber N;
    if (!detail::ParseTextNumber(S, N))
      VarCastError(FType, varBoolean);
    return N.IsInteger ? N.Integer != 0 : N.Real != 0.0;
  }
  default:
    VarCastError(FType, varBoolean);
  }
}

std::string Variant::AsString() const {
  switch (FType) {
  case varEmpty:
  case varNull:
    return std::string();
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    return std::to_string(RawInt());
  case varBoolean:
    return RawInt() != 0 ? "True" : "False";
  case varSingle:
    return SingleToStr(static_cast<float>(RawReal()));
  case varDouble:
    return FloatToStr(RawReal());
  case varCurrency:
    return CurrToStr(Currency::FromRaw(RawInt()));
  case varDate:
    try {
      return DateTimeToStr(RawReal());
    } catch (const EConvertError&) {
      VarCastError(FType, varString);
    }
  case varString:
  case varOleStr:
    return RawText();
  default:
    VarCastError(FType, varString);
  }
}

TDateTime Variant::AsDateTime() const {
  switch (FType) {
  case varEmpty:
    return 0.0;
  case varString:
  case varOleStr: {
    TDateTime D;
    if (!TryStrToDateTime(RawText(), D))
      VarCastError(FType, varDate);
    return D;
  }
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
  case varBoolean:
  case varSingle:
  case varDouble:
  case varDate:
  case varCurrency:
    return AsDouble();
  default:
    VarCastError(FType, varDate);
  }
}

Variant Variant::AsType(TVarType Type) const {
  if (Type == varVariant || Type == FType)
    return *this;
  if (Type == varEmpty)
    return Variant();
  if (Type == varNull)
    return Variant::Null();
  if ((Type & varArray) != 0 || IsArray()) {
    const TVarType Elem = Type & varTypeMask;
    if ((Type & ~(varArray | varTypeMask)) != 0 || (Type & varArray) == 0 || Elem == varEmpty ||
        Elem == varNull)
      VarCastError(FType, Type);
    // An array may become an array of another element kind element by element.
    if (!IsArray())
      VarCastError(FType, Type);
    Variant Result = VarArrayCreate(LowBound(), HighBound(), Elem);
    for (int I = LowBound(); I <= HighBound(); ++I)
      Result.PutElement(I, GetElement(I));
    return Result;
  }
  switch (Type) {
  case varSmallint:
    return Variant(static_cast<std::int16_t>(ToOrdinal(*this, Type, -32768, 32767)));
  case varInteger:
    return Variant(AsInteger());
  case varByte:
    return Variant(static_cast<std::uint8_t>(ToOrdinal(*this, Type, 0, 255)));
  case varInt64:
    return Variant(AsInt64());
  case varSingle: {
    const double D = AsDouble();
    if (std::isfinite(D) && std::fabs(D) > std::numeric_limits<float>::max())
      VarOverflowError(FType, Type);
    return Variant(static_cast<float>(D));
  }
  case varDouble:
    return Variant(AsDouble());
  case varCurrency:
    return Variant(AsCurrency());
  case varDate:
    return Variant::FromDateTime(AsDateTime());
  case varBoolean:
    return Variant(AsBoolean());
  case varString:
    return Variant(AsString());
  case varOleStr:
    return Variant::FromOleStr(AsString());
  default:
    throw EVariantError(SVarBadType);
  }
}

Variant VarAsType(const Variant& V, TVarType Type) {
  return V.AsType(Type);
}

std::string VarToStr(const Variant& V) {
  return V.AsString();
}

TDateTime VarToDateTime(const Variant& V) {
  return V.AsDateTime();
}

} // namespace ztl
