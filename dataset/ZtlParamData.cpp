// The data buffer of a parameter: its fixed little-endian layout per data
// type, rendered from the value (GetDataSize, GetData) and read back into it
// (SetData).
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "dataset/ZtlParams.h"
#include "framework/variant/DateUtils.h"

namespace ztl {

namespace {

// Bytes of the fixed-size layouts; 0 for the types sized by their value.
std::size_t FixedDataSize(TZantrelParamDataType Type) {
  switch (Type) {
  case ntInteger:
  case ntDate:
  case ntTime:
    return 4;
  case ntInt64:
  case ntFloat:
  case ntCurrency:
  case ntDateTime:
    return 8;
  case ntBoolean:
    return 2;
  default:
    return 0;
  }
}

bool IsTextType(TZantrelParamDataType Type) {
  return Type == ntString || Type == ntMemo;
}

bool IsBinaryType(TZantrelParamDataType Type) {
  return Type == ntBinary || Type == ntBlob;
}

void PutUInt(std::string& Out, std::uint64_t Bits, int Bytes) {
  for (int I = 0; I < Bytes; ++I)
    Out.push_back(static_cast<char>((Bits >> (8 * I)) & 0xFF));
}

std::uint64_t GetUInt(const std::uint8_t* In, int Bytes) {
  std::uint64_t Bits = 0;
  for (int I = 0; I < Bytes; ++I)
    Bits |= std::uint64_t{In[I]} << (8 * I);
  return Bits;
}

// The value as a 64-bit integer. Integer kinds keep every digit; anything
// else goes through a real rounded to nearest, halves to even. A real whose
// rounded value leaves the 64-bit range (2^63 itself included, which is
// what reals within 512 of the maximum round to) or is not a number raises
// the Variant overflow error instead of an undefined conversion.
std::int64_t ValueToInt64(const Variant& V) {
  switch (V.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    return V.AsInt64();
  default:
    break;
  }
  const double Real = std::nearbyint(V.AsDouble());
  constexpr double Limit = 9223372036854775808.0; // 2^63
  if (!(Real >= -Limit && Real < Limit))
    VarOverflowError(V.VarType(), varInt64);
  return static_cast<std::int64_t>(Real);
}

} // namespace

TTimeStamp TZantrelParam::ToTimeStamp(TDateTime AValue) {
  // Dates that far out mean nothing, and they come only from corrupt data;
  // refusing them here keeps the conversion's own arithmetic in range.
  constexpr double Lowest = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  if (!(AValue > Lowest))
    throw EConvertError(Format(SInvalidDateTime, {FloatToStr(AValue)}));
  return DateTimeToTimeStamp(AValue);
}

std::size_t TZantrelParam::GetDataSize() const {
  if (IsTextType(DataType))
    return Value.AsString().size() + 1;
  if (IsBinaryType(DataType))
    return Value.AsString().size();
  return FixedDataSize(DataType);
}

std::string TZantrelParam::GetDataBytes() const {
  std::string Out;
  switch (DataType) {
  case ntString:
  case ntMemo:
    Out = Value.AsString();
    Out.push_back('\0');
    break;
  case ntBinary:
  case ntBlob:
    Out = Value.AsString();
    break;
  case ntInteger:
    PutUInt(Out, static_cast<std::uint32_t>(Value.AsInteger()), 4);
    break;
  case ntInt64:
    PutUInt(Out, static_cast<std::uint64_t>(ValueToInt64(Value)), 8);
    break;
  case ntFloat:
  case ntCurrency:
    PutUInt(Out, std::bit_cast<std::uint64_t>(Value.AsDouble()), 8);
    break;
  case ntDate:
    PutUInt(Out, static_cast<std::uint32_t>(ToTimeStamp(GetAsDateTime()).Date), 4);
    break;
  case ntTime:
    PutUInt(Out, static_cast<std::uint32_t>(ToTimeStamp(GetAsDateTime()).Time), 4);
    break;
  case ntDateTime: {
    const double MSecs = TimeStampToMSecs(ToTimeStamp(GetAsDateTime()));
    PutUInt(Out, std::bit_cast<std::uint64_t>(MSecs), 8);
    break;
  }
  case ntBoolean:
    PutUInt(Out, Value.AsBoolean() ? 1 : 0, 2);
    break;
  default:
    break;
  }
  return Out;
}

void TZantrelParam::GetData(void* Buffer) const {
  const std::string Bytes = GetDataBytes();
  if (Buffer && !Bytes.empty())
    std::memcpy(Buffer, Bytes.data(), Bytes.size());
}

void TZantrelParam::SetData(const void* Buffer) {
  std::size_t Size = 0;
  if (Buffer)
    Size = IsTextType(DataType) ? std::strlen(static_cast<const char*>(Buffer))
                                : FixedDataSize(DataType);
  SetData(Buffer, Size);
}

void TZantrelParam::SetData(const void* Buffer, std::size_t Size) {
  const auto* In = static_cast<const std::uint8_t*>(Buffer);
  if (!In)
    Size = 0;

  if (IsTextType(DataType)) {
    const void* Nul = Size ? std::memchr(In, 0, Size) : nullptr;
    const std::size_t Len =
        Nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(Nul) - In) : Size;
    const std::string Text = Len ? std::string(reinterpret_cast<const char*>(In), Len) : "";
    if (DataType == ntString)
      SetAsString(Text);
    else
      SetAsMemo(Text);
    return;
  }

  // Fixed-size values: a short buffer reads its missing high bytes as zero.
  std::uint8_t Fixed[8] = {};
  if (Size)
    std::memcpy(Fixed, In, std::min(Size, FixedDataSize(DataType)));
  switch (DataType) {
  case ntInteger:
    SetAsInteger(static_cast<std::int32_t>(GetUInt(Fixed, 4)));
    break;
  case ntInt64: {
    // Held as a real like every ntInt64 value, unless the real would lose
    // digits (beyond 2^53): then the integer is kept as it is.
    const auto Whole = static_cast<std::int64_t>(GetUInt(Fixed, 8));
    constexpr std::int64_t Exact = std::int64_t{1} << 53;
    InitValue();
    if (Whole >= -Exact && Whole <= Exact)
      Value = Variant(static_cast<double>(Whole));
    else
      Value = Variant(Whole);
    break;
  }
  case ntFloat:
    SetAsFloat(std::bit_cast<double>(GetUInt(Fixed, 8)));
    break;
  case ntCurrency:
    SetAsCurrency(std::bit_cast<double>(GetUInt(Fixed, 8)));
    break;
  case ntDate: {
    const TTimeStamp Stamp{0, static_cast<std::int32_t>(GetUInt(Fixed, 4))};
    SetAsDate(TimeStampToDateTime(Stamp));
    break;
  }
  case ntTime: {
    const TTimeStamp Stamp{static_cast<std::int32_t>(GetUInt(Fixed, 4)), DateDelta};
    SetAsTime(TimeStampToDateTime(Stamp));
    break;
  }
  case ntDateTime:
    // MSecsToTimeStamp rounds to whole milliseconds and splits into day and
    // time of day; it refuses NaN and days beyond the 32-bit day number.
    SetAsDateTime(TimeStampToDateTime(MSecsToTimeStamp(std::bit_cast<double>(GetUInt(Fixed, 8)))));
    break;
  case ntBoolean:
    SetAsBoolean(GetUInt(Fixed, 2) != 0);
    break;
  default:
    // ntUnknown, ntBinary, ntBlob: sized bytes arrive through SetBlobData,
    // LoadFromStream or SetAsBinary/SetAsBlob instead.
    SetText(std::string());
    break;
  }
}

} // namespace ztl
