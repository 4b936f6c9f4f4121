// Internal to the library; not part of its interface and may change.
// Helpers shared by the Variant's translation units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/variant/Variants.h"

// Hidden, so that a shared build keeps these out of its interface.
#pragma GCC visibility push(hidden)
namespace ztl::detail {

// Raises EVariantError with SVarTypeCouldNotConvert for the two kinds.
[[noreturn]] void VarCastError(TVarType From, TVarType To);

// A number read from a text: an integer when the text is a plain integer that
// fits 64 bits, otherwise a real.
struct TTextNumber {
  bool IsInteger = false; // Integer holds the value, else Real does
  std::int64_t Integer = 0;
  double Real = 0.0;
};

// True when S (blanks around it allowed) holds one number as TryStrToFloat
// reads it.
bool ParseTextNumber(std::string_view S, TTextNumber& Result);

// Round to the nearest whole number, ties to the even neighbour. NaN and
// infinities come back unchanged.
double RoundHalfEven(double Value);

// Exact decimal text to Currency: plain notation is read digit by digit,
// rounding beyond the fourth decimal half to even; exponent notation goes
// through a double. False when S is no number or the amount is out of range.
bool TextToCurrency(std::string_view S, Currency& Result);

// The framework's general float format with Precision significant digits.
std::string FormatGeneral(double Value, int Precision);

// S without the blanks around it: number and date texts may carry any
// character up to ' ' on either side.
inline std::string_view TrimView(std::string_view S) {
  const auto IsBlank = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
  while (!S.empty() && IsBlank(S.front()))
    S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back()))
    S.remove_suffix(1);
  return S;
}

} // namespace ztl::detail
#pragma GCC visibility pop
