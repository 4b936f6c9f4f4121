// Conversions of Variants between kinds, Currency arithmetic, and the number
// texts the conversions read and write.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "framework/VariantInternal.h"
#include "framework/Variants.h"

namespace ztl {

using detail::RoundHalfEven;
using detail::TTextNumber;
using detail::VarCastError;

namespace {

constexpr double TwoPow63 = 9223372036854775808.0;
constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();

bool IsBlank(char C) {
  return static_cast<unsigned char>(C) <= ' ';
}
bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

std::string_view TrimView(std::string_view S) {
  while (!S.empty() && IsBlank(S.front()))
    S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back()))
    S.remove_suffix(1);
  return S;
}

// The shape of a number text, found before any value is computed so that
// nothing but the accepted grammar reaches the parsers.
struct TNumberShape {
  bool Negative = false;      // a leading '-'
  std::size_t Start = 0;      // first character after the sign
  std::size_t IntDigits = 0;  // digits before the decimal point
  std::size_t FracDigits = 0; // digits after it
  bool HasExponent = false;   // an 'e' or 'E' part follows
  std::int64_t Exponent = 0;  // its value, clamped to +-100000
};

// Sign, digits with an optional '.', optional exponent, nothing else.
bool ScanNumber(std::string_view S, TNumberShape& Shape) {
  std::size_t I = 0;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) {
    Shape.Negative = S[I] == '-';
    ++I;
  }
  Shape.Start = I;
  while (I < S.size() && IsDigit(S[I])) {
    ++I;
    ++Shape.IntDigits;
  }
  if (I < S.size() && S[I] == '.') {
    ++I;
    while (I < S.size() && IsDigit(S[I])) {
      ++I;
      ++Shape.FracDigits;
    }
  }
  if (Shape.IntDigits + Shape.FracDigits == 0)
    return false;
  if (I < S.size() && (S[I] == 'e' || S[I] == 'E')) {
    ++I;
    bool NegExp = false;
    if (I < S.size() && (S[I] == '+' || S[I] == '-')) {
      NegExp = S[I] == '-';
      ++I;
    }
    std::size_t ExpDigits = 0;
    while (I < S.size() && IsDigit(S[I])) {
      if (Shape.Exponent < 100000)
        Shape.Exponent = Shape.Exponent * 10 + (S[I] - '0');
      ++I;
      ++ExpDigits;
    }
    if (ExpDigits == 0)
      return false;
    if (NegExp)
      Shape.Exponent = -Shape.Exponent;
    Shape.HasExponent = true;
  }
  return I == S.size();
}

// Reads a scanned number as a double. A value too large fails; one too small
// for a double becomes zero.
bool ShapeToDouble(std::string_view S, const TNumberShape& Shape, double& Result) {
  // from_chars takes no '+' sign; a '-' it reads itself.
  const std::size_t From = Shape.Negative ? Shape.Start - 1 : Shape.Start;
  double Value = 0.0;
  const auto [Ptr, Ec] = std::from_chars(S.data() + From, S.data() + S.size(), Value);
  if (Ec == std::errc::result_out_of_range) {
    // Decide between overflow and underflow from the decimal magnitude.
    std::size_t I = Shape.Start;
    std::int64_t Magnitude = 0;
    while (I < S.size() && (S[I] == '0' || S[I] == '.'))
      ++I;
    const std::size_t FirstSignificant = I;
    std::size_t Point = S.find('.', Shape.Start);
    std::size_t IntEnd = Point == std::string_view::npos ? Shape.Start + Shape.IntDigits : Point;
    if (FirstSignificant < IntEnd)
      Magnitude = static_cast<std::int64_t>(IntEnd - FirstSignificant);
    else
      Magnitude = -static_cast<std::int64_t>(FirstSignificant - IntEnd - 1);
    if (Magnitude + Shape.Exponent > 0)
      return false;
    Result = Shape.Negative ? -0.0 : 0.0;
    return true;
  }
  if (Ec != std::errc() || Ptr != S.data() + S.size())
    return false;
  Result = Value;
  return true;
}

// A plain integer text (no point, no exponent) that fits 64 bits.
bool ShapeToInt64(std::string_view S, const TNumberShape& Shape, std::int64_t& Result) {
  if (Shape.FracDigits != 0 || Shape.HasExponent || S.find('.') != std::string_view::npos)
    return false;
  const std::size_t From = Shape.Negative ? Shape.Start - 1 : Shape.Start;
  std::int64_t Value = 0;
  const auto [Ptr, Ec] = std::from_chars(S.data() + From, S.data() + S.size(), Value);
  if (Ec != std::errc() || Ptr != S.data() + S.size())
    return false;
  Result = Value;
  return true;
}

// Exact decimal text to Currency: plain notation is read digit by digit (no
// detour through a double), rounding the fifth decimal and beyond half to
// even; exponent notation goes through a double.
bool TextToCurrency(std::string_view Text, Currency& Result) {
  const std::string_view S = TrimView(Text);
  TNumberShape Shape;
  if (!ScanNumber(S, Shape))
    return false;
  if (Shape.HasExponent) {
    double D;
    return ShapeToDouble(S, Shape, D) && Currency::TryFromDouble(D, Result);
  }
  // Magnitude in units of 1/10 000, kept unsigned so that the most negative
  // amount is reachable.
  constexpr std::uint64_t Limit = std::uint64_t{1} << 63;
  std::uint64_t Units = 0;
  std::size_t I = Shape.Start;
  for (; I < S.size() && IsDigit(S[I]); ++I) {
    Units = Units * 10 + static_cast<unsigned>(S[I] - '0');
    if (Units > Limit / Currency::Scale)
      return false;
  }
  Units *= Currency::Scale;
  int Decimals = 0;
  bool Tie = false, Above = false;
  if (I < S.size() && S[I] == '.')
    ++I;
  std::uint64_t Fraction = 0;
  for (; I < S.size(); ++I) {
    const int Digit = S[I] - '0';
    if (Decimals < 4) {
      Fraction = Fraction * 10 + static_cast<unsigned>(Digit);
      ++Decimals;
    } else if (Decimals == 4) {
      Tie = Digit == 5;
      Above = Digit > 5;
      ++Decimals;
    } else if (Digit != 0 && Tie) {
      Tie = false;
      Above = true;
    }
  }
  for (; Decimals < 4; ++Decimals)
    Fraction *= 10;
  Units += Fraction;
  if (Above || (Tie && (Units & 1) != 0))
    ++Units;
  if (Units > Limit || (Units == Limit && !Shape.Negative))
    return false;
  Result = Currency::FromRaw(Shape.Negative ? static_cast<std::int64_t>(0 - Units)
                                            : static_cast<std::int64_t>(Units));
  return true;
}

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

// Digits and decimal exponent of |Value| rounded to Precision significant
// digits, trailing zeros removed: 1.5 gives "15" and 0.
void Significant(double Value, int Precision, std::string& Digits, int& Exponent) {
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.*e", Precision - 1, std::fabs(Value));
  Digits.clear();
  const char* P = Buf;
  for (; *P && *P != 'e'; ++P)
    if (IsDigit(*P))
      Digits += *P;
  Exponent = 0;
  if (*P == 'e') {
    ++P;
    const bool Neg = *P == '-';
    if (*P == '-' || *P == '+')
      ++P;
    for (; IsDigit(*P); ++P)
      Exponent = Exponent * 10 + (*P - '0');
    if (Neg)
      Exponent = -Exponent;
  }
  while (Digits.size() > 1 && Digits.back() == '0')
    Digits.pop_back();
}

// The framework's general float format with the given precision.
std::string FormatGeneral(double Value, int Precision) {
  if (std::isnan(Value))
    return "NAN";
  if (std::isinf(Value))
    return Value < 0 ? "-INF" : "INF";
  if (Value == 0.0)
    return "0";
  std::string Digits;
  int Exp = 0;
  Significant(Value, Precision, Digits, Exp);
  std::string Out = Value < 0 ? "-" : "";
  if (Exp >= Precision || Exp < -5) {
    Out += Digits[0];
    if (Digits.size() > 1) {
      Out += '.';
      Out.append(Digits, 1, std::string::npos);
    }
    Out += 'E';
    Out += std::to_string(Exp);
    return Out;
  }
  if (Exp < 0) {
    Out += "0.";
    Out.append(static_cast<std::size_t>(-Exp - 1), '0');
    Out += Digits;
    return Out;
  }
  const auto IntLen = static_cast<std::size_t>(Exp) + 1;
  if (Digits.size() <= IntLen) {
    Out += Digits;
    Out.append(IntLen - Digits.size(), '0');
  } else {
    Out.append(Digits, 0, IntLen);
    Out += '.';
    Out.append(Digits, IntLen, std::string::npos);
  }
  return Out;
}

} // namespace

namespace detail {

void VarCastError(TVarType From, TVarType To) {
  throw EVariantError(Format(SVarTypeCouldNotConvert, {VarTypeAsText(From), VarTypeAsText(To)}));
}

double RoundHalfEven(double Value) {
  if (!std::isfinite(Value))
    return Value;
  const double Floor = std::floor(Value);
  const double Diff = Value - Floor;
  if (Diff > 0.5)
    return Floor + 1.0;
  if (Diff < 0.5)
    return Floor;
  return std::fmod(Floor, 2.0) == 0.0 ? Floor : Floor + 1.0;
}

bool ParseTextNumber(std::string_view Text, TTextNumber& Result) {
  const std::string_view S = TrimView(Text);
  TNumberShape Shape;
  if (!ScanNumber(S, Shape))
    return false;
  std::int64_t I;
  if (ShapeToInt64(S, Shape, I)) {
    Result.IsInteger = true;
    Result.Integer = I;
    Result.Real = static_cast<double>(I);
    return true;
  }
  double D;
  if (!ShapeToDouble(S, Shape, D))
    return false;
  Result.IsInteger = false;
  Result.Real = D;
  return true;
}

} // namespace detail

void VarOverflowError(TVarType From, TVarType To) {
  throw EVariantError(Format(SVarTypeConvertOverflow, {VarTypeAsText(From), VarTypeAsText(To)}));
}

// ---- Currency -------------------------------------------------------------

bool Currency::TryFromDouble(double Value, Currency& Result) noexcept {
  if (!std::isfinite(Value))
    return false;
  const double Scaled = RoundHalfEven(Value * static_cast<double>(Scale));
  if (!(Scaled >= -TwoPow63 && Scaled < TwoPow63))
    return false;
  Result = FromRaw(static_cast<std::int64_t>(Scaled));
  return true;
}

Currency Currency::FromDouble(double Value) {
  Currency Result;
  if (!TryFromDouble(Value, Result))
    VarOverflowError(varDouble, varCurrency);
  return Result;
}

bool Currency::TryFromInt64(std::int64_t Value, Currency& Result) noexcept {
  if (Value > Int64Max / Scale || Value < Int64Min / Scale)
    return false;
  Result = FromRaw(Value * Scale);
  return true;
}

// ---- Number text ----------------------------------------------------------

std::string FloatToStr(double Value) {
  return FormatGeneral(Value, 15);
}

std::string SingleToStr(float Value) {
  return FormatGeneral(static_cast<double>(Value), 7);
}

std::string CurrToStr(Currency Value) {
  const std::int64_t Raw = Value.Raw();
  // Unsigned magnitude: the most negative amount has no positive twin.
  const std::uint64_t Abs = Raw < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(Raw)
                                    : static_cast<std::uint64_t>(Raw);
  std::string Out = Raw < 0 ? "-" : "";
  Out += std::to_string(Abs / Currency::Scale);
  std::uint64_t Frac = Abs % Currency::Scale;
  if (Frac != 0) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, "%04u", static_cast<unsigned>(Frac));
    std::string F = Buf;
    while (F.back() == '0')
      F.pop_back();
    Out += '.';
    Out += F;
  }
  return Out;
}

bool TryStrToFloat(std::string_view Text, double& Result) {
  const std::string_view S = TrimView(Text);
  TNumberShape Shape;
  double D;
  if (!ScanNumber(S, Shape) || !ShapeToDouble(S, Shape, D))
    return false;
  Result = D;
  return true;
}

double StrToFloat(std::string_view S) {
  double Result;
  if (!TryStrToFloat(S, Result))
    throw EConvertError(Format(SInvalidFloat, {S}));
  return Result;
}

// ---- Raw access -----------------------------------------------------------

std::int64_t Variant::RawInt() const {
  if (const auto* P = std::get_if<std::int64_t>(&FValue))
    return *P;
  throw EVariantError(SInvalidVarCast);
}

double Variant::RawReal() const {
  if (const auto* P = std::get_if<double>(&FValue))
    return *P;
  throw EVariantError(SInvalidVarCast);
}

const std::string& Variant::RawText() const {
  if (const auto* P = std::get_if<std::string>(&FValue))
    return *P;
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
    if (!TextToCurrency(RawText(), C)) {
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
    const std::string_view S = TrimView(RawText());
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
    return FormatGeneral(RawReal(), 7);
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
