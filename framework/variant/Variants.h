// The framework's tagged value (Variant): type codes, scalars, one-dimensional
// arrays of Variants and of bytes, conversions between kinds, comparison, and
// the number texts those conversions read and write.
#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "framework/variant/DateUtils.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

// Type codes. A value's code is its kind; varArray is or-ed onto the element
// kind for arrays (varArray | varVariant, varArray | varByte, ...).
using TVarType = std::uint16_t;
inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varByte = 0x0011;
// 64-bit integer: a BIGINT read from a database keeps every digit instead of
// passing through a double.
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;

inline constexpr const char* SInvalidVarCast = "Invalid variant type conversion";
inline constexpr const char* SInvalidVarOp = "Invalid variant operation";
inline constexpr const char* SVarBadType = "Invalid variant type";
inline constexpr const char* SVarTypeCouldNotConvert =
    "Could not convert variant of type (%s) into type (%s)";
inline constexpr const char* SVarTypeConvertOverflow =
    "Overflow while converting variant of type (%s) into type (%s)";
inline constexpr const char* SVarArrayBounds = "Variant or safe array index out of bounds";
inline constexpr const char* SVarArrayCreate = "Error creating variant or safe array";
inline constexpr const char* SVarNotArray = "Variant is not an array";

// A fixed-point amount with four decimals, held as a 64-bit integer scaled by
// 10 000 (1.5 is 15000). The range is that of the scaled integer:
// -922 337 203 685 477.5808 .. 922 337 203 685 477.5807.
class Currency {
public:
  static constexpr std::int64_t Scale = 10000;

  constexpr Currency() noexcept = default;
  static constexpr Currency FromRaw(std::int64_t Raw) noexcept {
    Currency C;
    C.FRaw = Raw;
    return C;
  }
  // Rounds to four decimals, ties to even. False for NaN, infinities and
  // values outside the range; Result is then left alone.
  static bool TryFromDouble(double Value, Currency& Result) noexcept;
  // As TryFromDouble, raising EVariantError with the overflow text.
  static Currency FromDouble(double Value);
  // False when Value * 10 000 leaves the range.
  static bool TryFromInt64(std::int64_t Value, Currency& Result) noexcept;

  constexpr std::int64_t Raw() const noexcept { return FRaw; }
  double ToDouble() const noexcept { return static_cast<double>(FRaw) / Scale; }

  constexpr auto operator<=>(const Currency&) const = default;

private:
  std::int64_t FRaw = 0; // the amount times 10 000
};

struct TVarArrayData;

// A value of one of the kinds above. Scalars live inside the object (no heap
// allocation); strings own their text; arrays are shared between copies and
// copied on the first write, so a copy behaves as an independent value.
//
// Construction picks the kind from the C++ type: bool is Boolean, int8/int16
// Smallint, uint8 Byte, uint16/int32 Integer, uint32/int64 Int64 (a uint64
// beyond the Int64 range raises), float Single, double Double, Currency
// Currency, text String. Dates, OleStr texts, Null and Empty have named
// constructors. A plain char is refused: it is unclear whether it means a
// number or a one-letter text.
class Variant {
public:
  Variant() noexcept = default; // Empty
  Variant(bool Value) noexcept : FType(varBoolean), FValue(std::int64_t{Value ? 1 : 0}) {}
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
           !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t>)
      Variant(T Value);
  Variant(char) = delete;
  Variant(float Value) noexcept : FType(varSingle), FValue(static_cast<double>(Value)) {}
  Variant(double Value) noexcept : FType(varDouble), FValue(Value) {}
  Variant(Currency Value) noexcept : FType(varCurrency), FValue(Value.Raw()) {}
  Variant(const char* Value) : FType(varString), FValue(std::string(Value ? Value : "")) {}
  Variant(std::string Value) noexcept : FType(varString), FValue(std::move(Value)) {}
  Variant(std::string_view Value) : FType(varString), FValue(std::string(Value)) {}

  static Variant Null() noexcept {
    Variant V;
    V.FType = varNull;
    return V;
  }
  static Variant Unassigned() noexcept { return Variant(); }
  static Variant FromDateTime(TDateTime Value) noexcept {
    Variant V(Value);
    V.FType = varDate;
    return V;
  }
  static Variant FromOleStr(std::string Value) noexcept {
    Variant V(std::move(Value));
    V.FType = varOleStr;
    return V;
  }

  TVarType VarType() const noexcept { return FType; }
  bool IsEmpty() const noexcept { return FType == varEmpty; }
  bool IsNull() const noexcept { return FType == varNull; }
  bool IsArray() const noexcept { return (FType & varArray) != 0; }
  // Empty or Null: the value is not there.
  bool IsClear() const noexcept { return FType == varEmpty || FType == varNull; }

  // Conversions. Each returns the value in the asked kind or raises
  // EVariantError: SVarTypeCouldNotConvert when the kind cannot become the
  // other (Null to anything but text, an array to a scalar, a text that is no
  // number), SVarTypeConvertOverflow when the value does not fit.
  //  - Empty reads as 0, 0.0, False, "" and the date-time 0.
  //  - Null reads as "" through AsString; every other conversion raises.
  //  - Reals become integers rounded to nearest, ties to even (2.5 -> 2,
  //    3.5 -> 4, -2.5 -> -2); Currency does the same on its four decimals.
  //  - Boolean reads as -1 (True) or 0 (False) as a number, "True"/"False" as
  //    text; numbers are True when not 0; the texts "True" and "False" in any
  //    case, or a number text, become Boolean.
  //  - Texts become numbers when they hold one number in plain or exponent
  //    notation with '.' as decimal point, blanks around it allowed
  //    ("12", " -3 ", "1.5", "1e3"); an integer text keeps all 64 bits.
  //  - Texts become date-times through StrToDateTime; date-times print
  //    through DateTimeToStr.
  //  - Numbers print through FloatToStr (Single with 7 digits), Currency
  //    through CurrToStr.
  std::int32_t AsInteger() const;
  std::int64_t AsInt64() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  bool AsBoolean() const;
  std::string AsString() const;
  TDateTime AsDateTime() const;
  // The value converted to the kind Type (a scalar code, varVariant for an
  // unchanged copy, varEmpty, varNull, or the array code the value already
  // has). An unknown code raises EVariantError with SVarBadType.
  Variant AsType(TVarType Type) const;

  // Direct access without conversion, for code that has checked VarType().
  // Integral kinds and Boolean (0/1) and Currency (scaled) read FInt; reals and
  // dates read FReal; texts read FText. Calling the wrong one is a logic error
  // that raises EVariantError with SInvalidVarCast.
  // Inline: rows are read through them by the million.
  std::int64_t RawInt() const {
    if (const auto* P = std::get_if<std::int64_t>(&FValue)) [[likely]]
      return *P;
    RawCastError();
  }
  double RawReal() const {
    if (const auto* P = std::get_if<double>(&FValue)) [[likely]]
      return *P;
    RawCastError();
  }
  const std::string& RawText() const {
    if (const auto* P = std::get_if<std::string>(&FValue)) [[likely]]
      return *P;
    RawCastError();
  }

  // Array access. Every one raises EVariantError with SVarNotArray on a value
  // that is not an array and with SVarArrayBounds for an index outside
  // LowBound() .. HighBound().
  int LowBound() const;
  int HighBound() const;
  // Number of elements (HighBound - LowBound + 1).
  std::size_t ElementCount() const;
  Variant GetElement(int Index) const;
  // Stores Value converted to the array's element kind (an array of Variants
  // takes it as it is); a failed conversion leaves the array unchanged.
  void PutElement(int Index, const Variant& Value);
  // Moves the high bound, keeping the elements that stay in range; new
  // elements are Empty (Variants) or 0.
  void Redim(int HighBound);
  // The bytes of a byte array: writable (detached from other copies first)
  // and read-only. A scalar raises EVariantError with SVarNotArray, an array
  // of another element kind with SInvalidVarOp.
  std::span<std::uint8_t> LockBytes();
  std::span<const std::uint8_t> Bytes() const;
  // The elements of any other array, read in place without copying them (the
  // way to walk a parameter array without allocating). A scalar raises
  // SVarNotArray, a byte array SInvalidVarOp. Valid until the array changes.
  std::span<const Variant> Elements() const;
  // The elements of an array of Variants, writable in place (detached from
  // other copies first), so that a refill reuses what they hold. Any other
  // element kind raises SInvalidVarOp: its elements must keep their kind.
  std::span<Variant> MutableElements();

  // Equal when VarCompareValue says vrEqual.
  bool operator==(const Variant& Other) const;
  // The order for sorting and searching: Null < Empty < everything else;
  // numbers (integers, reals, Currency, dates, Boolean as -1/0) by value
  // across kinds, NaN below every other number; texts by their bytes; a text
  // against a number as numbers when the text holds one, otherwise the
  // number's text against the text; arrays element by element, then by
  // length. An array against a scalar raises EVariantError with SInvalidVarOp.
  std::weak_ordering operator<=>(const Variant& Other) const;

private:
  friend Variant VarArrayCreate(int Low, int High, TVarType ElemType);
  friend Variant VarArrayOf(std::span<const Variant> Values);
  friend struct TVarArrayData;
  TVarArrayData& MutableArray();
  const TVarArrayData& ConstArray() const;
  // The error of a Raw accessor called on another kind, out of line so the
  // accessors stay small.
  [[noreturn]] static void RawCastError();

  TVarType FType = varEmpty; // kind of the value (type code)
  // Integers, Boolean and scaled Currency / Single, Double and Date / String
  // and OleStr / array elements shared between copies.
  std::variant<std::int64_t, double, std::string, std::shared_ptr<TVarArrayData>> FValue{
      std::int64_t{0}};
};

[[noreturn]] void VarOverflowError(TVarType From, TVarType To);

template <std::integral T>
requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
         !std::same_as<T, char8_t> && !std::same_as<T, char16_t> &&
         !std::same_as<T, char32_t>) Variant::Variant(T Value) {
  if constexpr (std::is_signed_v<T> && sizeof(T) <= 2)
    FType = varSmallint;
  else if constexpr (std::is_unsigned_v<T> && sizeof(T) == 1)
    FType = varByte;
  else if constexpr ((std::is_unsigned_v<T> && sizeof(T) == 2) ||
                     (std::is_signed_v<T> && sizeof(T) == 4))
    FType = varInteger;
  else {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= 8) {
      if (Value > static_cast<T>(std::numeric_limits<std::int64_t>::max()))
        VarOverflowError(varInt64, varInt64);
    }
    FType = varInt64;
  }
  FValue = static_cast<std::int64_t>(Value);
}

inline Variant Null() noexcept {
  return Variant::Null();
}
inline Variant Unassigned() noexcept {
  return Variant();
}

inline TVarType VarType(const Variant& V) noexcept {
  return V.VarType();
}
inline bool VarIsNull(const Variant& V) noexcept {
  return V.IsNull();
}
inline bool VarIsEmpty(const Variant& V) noexcept {
  return V.IsEmpty();
}
inline bool VarIsArray(const Variant& V) noexcept {
  return V.IsArray();
}
inline bool VarIsClear(const Variant& V) noexcept {
  return V.IsClear();
}
// Smallint, Integer, Byte, Int64 (and Boolean, as the framework counts it).
bool VarIsOrdinal(const Variant& V) noexcept;
// Single, Double, Currency.
bool VarIsFloat(const Variant& V) noexcept;
// Ordinal or float.
bool VarIsNumeric(const Variant& V) noexcept;
// String or OleStr.
bool VarIsStr(const Variant& V) noexcept;

// The kind's name as conversion errors print it: "Empty", "Null", "Smallint",
// "Integer", "Single", "Double", "Currency", "Date", "OleStr", "Boolean",
// "Variant", "Byte", "Int64", "String"; arrays "Array of " + the element's
// name; a code without a name prints as "$" + four hex digits.
std::string VarTypeAsText(TVarType Type);

// Arrays. Element kinds: every scalar kind above and varVariant. Low may be any
// number; High may be Low - 1 for an empty array. A bad element kind or
// High < Low - 1 raises EVariantError with SVarArrayCreate. New elements are
// Empty (Variants), 0, False or "" as the kind has it.
Variant VarArrayCreate(int Low, int High, TVarType ElemType);
// An array of Variants, bounds 0 .. count - 1, holding copies of Values.
Variant VarArrayOf(std::initializer_list<Variant> Values);
Variant VarArrayOf(std::span<const Variant> Values);
// A byte array with bounds Low .. Low + Size - 1 holding a copy of the bytes.
Variant VarArrayFromBytes(const void* Data, std::size_t Size, int Low = 0);
// 1 for arrays, 0 for every other value.
int VarArrayDimCount(const Variant& V) noexcept;
// Bounds of dimension Dim (only 1 exists): SVarNotArray on a scalar,
// SVarArrayBounds for another Dim.
int VarArrayLowBound(const Variant& V, int Dim);
int VarArrayHighBound(const Variant& V, int Dim);
Variant VarArrayGet(const Variant& A, int Index);
void VarArrayPut(Variant& A, const Variant& Value, int Index);
void VarArrayRedim(Variant& A, int HighBound);
// The bytes of a byte array for copying in bulk; Unlock does nothing and
// exists for code written in the framework's manner.
std::span<std::uint8_t> VarArrayLock(Variant& A);
inline void VarArrayUnlock(Variant&) noexcept {}

Variant VarAsType(const Variant& V, TVarType Type);
// The text of a value; Null and Empty give "".
std::string VarToStr(const Variant& V);
TDateTime VarToDateTime(const Variant& V);
inline Variant VarFromDateTime(TDateTime Value) noexcept {
  return Variant::FromDateTime(Value);
}

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };
// vrEqual, vrLessThan or vrGreaterThan after the order of operator<=>;
// vrNotEqual when the two cannot be ordered (an array against a scalar).
TVariantRelationship VarCompareValue(const Variant& A, const Variant& B);
bool VarSameValue(const Variant& A, const Variant& B);

// Number text. FloatToStr prints 15 significant digits (Single values 7)
// without trailing zeros, '.' as decimal point, in plain notation while the
// integer part has at most 15 digits and the value is at least 0.00001, else
// as mantissa, 'E', and the exponent without leading zeros or '+' ("1E20",
// "1.5E-7"); NaN and infinities print "NAN", "INF", "-INF".
std::string FloatToStr(double Value);
std::string SingleToStr(float Value);
// Up to four decimals, no trailing zeros: "1.5", "12", "-0.0001".
std::string CurrToStr(Currency Value);
// One number in plain or exponent notation, '.' as decimal point, blanks
// around it allowed; no "INF"/"NAN", no hexadecimal, no thousands separators.
bool TryStrToFloat(std::string_view S, double& Result);
// As TryStrToFloat, raising EConvertError with SInvalidFloat.
double StrToFloat(std::string_view S);

} // namespace ztl
