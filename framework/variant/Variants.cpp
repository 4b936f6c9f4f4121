// Variant arrays, kind predicates and names, and comparison of Variants.
#include "framework/variant/Variants.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "framework/variant/Variants_p.h"

namespace ztl {

// Elements of one array value, shared by the Variants that copied it until
// one of them writes (copy on write).
struct TVarArrayData {
  TVarType ElemType = varVariant;  // kind of every element
  int Low = 0;                     // index of the first element
  std::vector<std::uint8_t> Bytes; // the elements of a byte array
  std::vector<Variant> Items;      // the elements of every other array

  std::size_t Count() const { return ElemType == varByte ? Bytes.size() : Items.size(); }

  // Position of Index in the element vector, or SVarArrayBounds.
  std::size_t Offset(int Index) const {
    const std::int64_t Off = std::int64_t{Index} - Low;
    if (Off < 0 || static_cast<std::uint64_t>(Off) >= Count())
      throw EVariantError(SVarArrayBounds);
    return static_cast<std::size_t>(Off);
  }

  // Grows or shrinks to Count elements, new ones holding the kind's zero.
  void Resize(std::size_t NewCount) {
    if (ElemType == varByte)
      Bytes.resize(NewCount, 0);
    else
      Items.resize(NewCount, ElemType == varVariant ? Variant() : Variant().AsType(ElemType));
  }
};

namespace {

bool IsArrayElementKind(TVarType T) {
  switch (T) {
  case varSmallint:
  case varInteger:
  case varSingle:
  case varDouble:
  case varCurrency:
  case varDate:
  case varOleStr:
  case varBoolean:
  case varVariant:
  case varByte:
  case varInt64:
  case varString:
    return true;
  default:
    return false;
  }
}

// Number of elements for bounds Low .. High, or SVarArrayCreate when High is
// below Low - 1.
std::size_t CountOf(int Low, int High) {
  const std::int64_t Count = std::int64_t{High} - Low + 1;
  if (Count < 0)
    throw EVariantError(SVarArrayCreate);
  return static_cast<std::size_t>(Count);
}

} // namespace

// ---- Array storage --------------------------------------------------------

const TVarArrayData& Variant::ConstArray() const {
  if (!IsArray())
    throw EVariantError(SVarNotArray);
  return *std::get<std::shared_ptr<TVarArrayData>>(FValue);
}

TVarArrayData& Variant::MutableArray() {
  if (!IsArray())
    throw EVariantError(SVarNotArray);
  auto& Data = std::get<std::shared_ptr<TVarArrayData>>(FValue);
  if (Data.use_count() > 1)
    Data = std::make_shared<TVarArrayData>(*Data);
  return *Data;
}

Variant VarArrayCreate(int Low, int High, TVarType ElemType) {
  if (!IsArrayElementKind(ElemType))
    throw EVariantError(SVarArrayCreate);
  const std::size_t Count = CountOf(Low, High);
  auto Data = std::make_shared<TVarArrayData>();
  Data->ElemType = ElemType;
  Data->Low = Low;
  Data->Resize(Count);
  Variant V;
  V.FType = static_cast<TVarType>(varArray | ElemType);
  V.FValue = std::move(Data);
  return V;
}

Variant VarArrayOf(std::span<const Variant> Values) {
  if (Values.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw EVariantError(SVarArrayCreate);
  Variant V = VarArrayCreate(0, static_cast<int>(Values.size()) - 1, varVariant);
  TVarArrayData& Data = V.MutableArray();
  Data.Items.assign(Values.begin(), Values.end());
  return V;
}

Variant VarArrayOf(std::initializer_list<Variant> Values) {
  return VarArrayOf(std::span<const Variant>(Values.begin(), Values.size()));
}

Variant VarArrayFromBytes(const void* Data, std::size_t Size, int Low) {
  if ((Data == nullptr && Size != 0) ||
      Size > static_cast<std::uint64_t>(std::int64_t{std::numeric_limits<int>::max()} - Low + 1))
    throw EVariantError(SVarArrayCreate);
  const int High = static_cast<int>(std::int64_t{Low} + static_cast<std::int64_t>(Size) - 1);
  Variant V = VarArrayCreate(Low, High, varByte);
  if (Size != 0) {
    const auto* Src = static_cast<const std::uint8_t*>(Data);
    std::copy(Src, Src + Size, V.LockBytes().begin());
  }
  return V;
}

int Variant::LowBound() const {
  return ConstArray().Low;
}

int Variant::HighBound() const {
  const TVarArrayData& Data = ConstArray();
  return static_cast<int>(std::int64_t{Data.Low} + static_cast<std::int64_t>(Data.Count()) - 1);
}

std::size_t Variant::ElementCount() const {
  return ConstArray().Count();
}

Variant Variant::GetElement(int Index) const {
  const TVarArrayData& Data = ConstArray();
  const std::size_t Off = Data.Offset(Index);
  if (Data.ElemType == varByte)
    return Variant(Data.Bytes[Off]);
  return Data.Items[Off];
}

void Variant::PutElement(int Index, const Variant& Value) {
  const TVarArrayData& Current = ConstArray();
  const std::size_t Off = Current.Offset(Index);
  const TVarType Elem = Current.ElemType;
  // Convert (and copy) before detaching: Value may be this very array or one
  // of its elements, and a failed conversion must leave the array untouched.
  Variant Stored = Elem == varVariant ? Value : Value.AsType(Elem);
  TVarArrayData& Data = MutableArray();
  if (Elem == varByte)
    Data.Bytes[Off] = static_cast<std::uint8_t>(Stored.RawInt());
  else
    Data.Items[Off] = std::move(Stored);
}

void Variant::Redim(int HighBound) {
  const std::size_t Count = CountOf(ConstArray().Low, HighBound);
  MutableArray().Resize(Count);
}

std::span<std::uint8_t> Variant::LockBytes() {
  if (IsArray() && ConstArray().ElemType != varByte)
    throw EVariantError(SInvalidVarOp);
  TVarArrayData& Data = MutableArray();
  return {Data.Bytes.data(), Data.Bytes.size()};
}

std::span<const std::uint8_t> Variant::Bytes() const {
  const TVarArrayData& Data = ConstArray();
  if (Data.ElemType != varByte)
    throw EVariantError(SInvalidVarOp);
  return {Data.Bytes.data(), Data.Bytes.size()};
}

std::span<const Variant> Variant::Elements() const {
  const TVarArrayData& Data = ConstArray();
  if (Data.ElemType == varByte)
    throw EVariantError(SInvalidVarOp);
  return {Data.Items.data(), Data.Items.size()};
}

std::span<Variant> Variant::MutableElements() {
  if (ConstArray().ElemType != varVariant)
    throw EVariantError(SInvalidVarOp);
  TVarArrayData& Data = MutableArray();
  return {Data.Items.data(), Data.Items.size()};
}

int VarArrayDimCount(const Variant& V) noexcept {
  return V.IsArray() ? 1 : 0;
}

int VarArrayLowBound(const Variant& V, int Dim) {
  if (!V.IsArray())
    throw EVariantError(SVarNotArray);
  if (Dim != 1)
    throw EVariantError(SVarArrayBounds);
  return V.LowBound();
}

int VarArrayHighBound(const Variant& V, int Dim) {
  if (!V.IsArray())
    throw EVariantError(SVarNotArray);
  if (Dim != 1)
    throw EVariantError(SVarArrayBounds);
  return V.HighBound();
}

Variant VarArrayGet(const Variant& A, int Index) {
  return A.GetElement(Index);
}

void VarArrayPut(Variant& A, const Variant& Value, int Index) {
  A.PutElement(Index, Value);
}

void VarArrayRedim(Variant& A, int HighBound) {
  A.Redim(HighBound);
}

std::span<std::uint8_t> VarArrayLock(Variant& A) {
  return A.LockBytes();
}

// ---- Kinds ----------------------------------------------------------------

bool VarIsOrdinal(const Variant& V) noexcept {
  switch (V.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
  case varBoolean:
    return true;
  default:
    return false;
  }
}

bool VarIsFloat(const Variant& V) noexcept {
  const TVarType T = V.VarType();
  return T == varSingle || T == varDouble || T == varCurrency;
}

bool VarIsNumeric(const Variant& V) noexcept {
  return VarIsOrdinal(V) || VarIsFloat(V);
}

bool VarIsStr(const Variant& V) noexcept {
  return V.VarType() == varString || V.VarType() == varOleStr;
}

std::string VarTypeAsText(TVarType Type) {
  if ((Type & varArray) != 0)
    return "Array of " + VarTypeAsText(Type & varTypeMask);
  switch (Type) {
  case varEmpty:
    return "Empty";
  case varNull:
    return "Null";
  case varSmallint:
    return "Smallint";
  case varInteger:
    return "Integer";
  case varSingle:
    return "Single";
  case varDouble:
    return "Double";
  case varCurrency:
    return "Currency";
  case varDate:
    return "Date";
  case varOleStr:
    return "OleStr";
  case varBoolean:
    return "Boolean";
  case varVariant:
    return "Variant";
  case varByte:
    return "Byte";
  case varInt64:
    return "Int64";
  case varString:
    return "String";
  default: {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string S = "$";
    for (int Shift = 12; Shift >= 0; Shift -= 4)
      S += Hex[(Type >> Shift) & 0xF];
    return S;
  }
  }
}

// ---- Comparison -----------------------------------------------------------

namespace {

constexpr double TwoPow63 = 9223372036854775808.0;

// A number of one of three exact representations.
struct TNumber {
  enum { Int, Real, Curr } Kind = Int; // which member holds the value
  std::int64_t I = 0;                  // Int: the value; Curr: the scaled amount
  double D = 0.0;                      // Real: the value
};

bool NumberOf(const Variant& V, TNumber& N) {
  switch (V.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    N = {TNumber::Int, V.RawInt(), 0.0};
    return true;
  case varBoolean:
    N = {TNumber::Int, V.RawInt() != 0 ? -1 : 0, 0.0};
    return true;
  case varCurrency:
    N = {TNumber::Curr, V.RawInt(), 0.0};
    return true;
  case varSingle:
  case varDouble:
  case varDate:
    N = {TNumber::Real, 0, V.RawReal()};
    return true;
  default:
    return false;
  }
}

bool NumberOfText(const std::string& S, TNumber& N) {
  detail::TTextNumber T;
  if (!detail::ParseTextNumber(S, T))
    return false;
  N = T.IsInteger ? TNumber{TNumber::Int, T.Integer, 0.0} : TNumber{TNumber::Real, 0, T.Real};
  return true;
}

template <class T>
int ThreeWay(T A, T B) {
  return A < B ? -1 : (B < A ? 1 : 0);
}

// NaN sorts below every other number and equal to itself.
int CompareReal(double A, double B) {
  if (std::isnan(A) || std::isnan(B))
    return std::isnan(A) ? (std::isnan(B) ? 0 : -1) : 1;
  return ThreeWay(A, B);
}

// Exact comparison of a 64-bit integer with a double, without rounding the
// integer into a double.
int CompareIntReal(std::int64_t A, double B) {
  if (std::isnan(B))
    return 1;
  if (B >= TwoPow63)
    return -1;
  if (B < -TwoPow63)
    return 1;
  const double Floor = std::floor(B);
  const auto F = static_cast<std::int64_t>(Floor);
  if (A != F)
    return ThreeWay(A, F);
  return B > Floor ? -1 : 0;
}

int CompareIntCurr(std::int64_t A, std::int64_t Raw) {
  constexpr std::int64_t Limit = std::numeric_limits<std::int64_t>::max() / Currency::Scale;
  if (A > Limit)
    return 1;
  if (A < -Limit)
    return -1;
  return ThreeWay(A * Currency::Scale, Raw);
}

int CompareNumbers(const TNumber& A, const TNumber& B) {
  switch (A.Kind) {
  case TNumber::Int:
    if (B.Kind == TNumber::Int)
      return ThreeWay(A.I, B.I);
    if (B.Kind == TNumber::Curr)
      return CompareIntCurr(A.I, B.I);
    return CompareIntReal(A.I, B.D);
  case TNumber::Curr:
    if (B.Kind == TNumber::Curr)
      return ThreeWay(A.I, B.I);
    if (B.Kind == TNumber::Int)
      return -CompareIntCurr(B.I, A.I);
    return CompareIntReal(A.I, B.D * Currency::Scale);
  case TNumber::Real:
  default:
    if (B.Kind == TNumber::Real)
      return CompareReal(A.D, B.D);
    return -CompareNumbers(B, A);
  }
}

// Byte order, as unsigned characters.
int CompareBytes(const std::string& A, const std::string& B) {
  const int C = A.compare(B);
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

// Null below Empty below every value.
int Rank(const Variant& V) {
  return V.IsNull() ? 0 : (V.IsEmpty() ? 1 : 2);
}

int CompareVariants(const Variant& A, const Variant& B) {
  const int RA = Rank(A), RB = Rank(B);
  if (RA != 2 || RB != 2)
    return ThreeWay(RA, RB);
  if (A.IsArray() || B.IsArray()) {
    if (!A.IsArray() || !B.IsArray())
      throw EVariantError(SInvalidVarOp);
    const std::size_t NA = A.ElementCount(), NB = B.ElementCount();
    for (std::size_t I = 0; I < NA && I < NB; ++I) {
      const int C = CompareVariants(A.GetElement(A.LowBound() + static_cast<int>(I)),
                                    B.GetElement(B.LowBound() + static_cast<int>(I)));
      if (C != 0)
        return C;
    }
    return ThreeWay(NA, NB);
  }
  TNumber NA, NB;
  const bool AIsNumber = NumberOf(A, NA), BIsNumber = NumberOf(B, NB);
  if (AIsNumber && BIsNumber)
    return CompareNumbers(NA, NB);
  if (!AIsNumber && !BIsNumber) // what is left is two texts
    return CompareBytes(A.RawText(), B.RawText());
  // One number, one text: numerically when the text is a number.
  const Variant& Text = AIsNumber ? B : A;
  TNumber NT;
  if (NumberOfText(Text.AsString(), NT))
    return AIsNumber ? CompareNumbers(NA, NT) : CompareNumbers(NT, NB);
  return CompareBytes(A.AsString(), B.AsString());
}

} // namespace

bool Variant::operator==(const Variant& Other) const {
  if (IsArray() != Other.IsArray() && !IsClear() && !Other.IsClear())
    return false;
  return CompareVariants(*this, Other) == 0;
}

std::weak_ordering Variant::operator<=>(const Variant& Other) const {
  const int C = CompareVariants(*this, Other);
  return C < 0 ? std::weak_ordering::less
               : (C > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent);
}

TVariantRelationship VarCompareValue(const Variant& A, const Variant& B) {
  if (A.IsArray() != B.IsArray() && !A.IsClear() && !B.IsClear())
    return vrNotEqual;
  const int C = CompareVariants(A, B);
  return C < 0 ? vrLessThan : (C > 0 ? vrGreaterThan : vrEqual);
}

bool VarSameValue(const Variant& A, const Variant& B) {
  return VarCompareValue(A, B) == vrEqual;
}

} // namespace ztl
