// Number texts: the grammar of numbers the library reads, the framework's
// general float format, Currency text, and Currency's conversions.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "framework/variant/Variants_p.h"
#include "framework/variant/Variants.h"

namespace ztl {

namespace {

constexpr double TwoPow63 = 9223372036854775808.0;
constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
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

} // namespace

namespace detail {

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

} // namespace detail

using detail::FormatGeneral;
using detail::RoundHalfEven;
using detail::TrimView;

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

} // namespace ztl
