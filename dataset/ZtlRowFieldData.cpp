// Conversions between the row encoding the bundled drivers share and the
// framework's field data.
#include "dataset/ZtlRowFieldData.h"

#include <algorithm>
#include <cstring>

#include "framework/db/DBErrors.h"
#include "framework/variant/DateUtils.h"
#include "framework/rtl/SysUtils.h"
#include "framework/variant/Variants.h"

namespace ztl {

namespace {

template <class T>
T Load(const void* Src) {
  T Value;
  std::memcpy(&Value, Src, sizeof(T));
  return Value;
}

template <class T>
void Store(void* Dest, T Value) {
  std::memcpy(Dest, &Value, sizeof(T));
}

[[noreturn]] void Misfit(const TZantrelFieldDef& Def, const std::string& Why) {
  DatabaseErrorFmt(SZtlFieldDataMisfit, {Def.Name, Why});
}

// The failure of CheckSizes: the row's side is named first when both fall short.
[[noreturn, gnu::noinline, gnu::cold]] void SizeMisfit(const TZantrelFieldDef& Def,
                                                      std::size_t RowBytes, std::size_t DataBytes,
                                                      std::size_t Have) {
  if (Def.Size < 0 || static_cast<std::size_t>(Def.Size) < RowBytes)
    Misfit(Def, Format("the row holds %d bytes, %d are needed",
                       {std::int64_t{Def.Size}, static_cast<std::int64_t>(RowBytes)}));
  Misfit(Def, Format("the field data has %d bytes, %d are needed",
                     {static_cast<std::int64_t>(Have), static_cast<std::int64_t>(DataBytes)}));
}

// Raises unless the row value has at least RowBytes and the other side
// DataBytes of room (or content). Every value read and written passes
// here, so the passing test stays inline and the message is built apart.
inline void CheckSizes(const TZantrelFieldDef& Def, std::size_t RowBytes, std::size_t DataBytes,
                       std::size_t Have) {
  if (Def.Size < 0 || static_cast<std::size_t>(Def.Size) < RowBytes || Have < DataBytes)
    SizeMisfit(Def, RowBytes, DataBytes, Have);
}

// The row's binary length word, bounded by the bytes the row holds.
std::size_t BinaryLength(const TZantrelFieldDef& Def, const std::uint8_t* Row) {
  return std::min<std::size_t>(Load<std::uint16_t>(Row), static_cast<std::size_t>(Def.Size) - 2);
}

// Dates the driver cannot read back are refused before the row changes.
void CheckDay(const TZtlRowEncoding& Encoding, const TZantrelFieldDef& Def, std::int32_t Day) {
  constexpr std::int32_t FirstDay = 1;      // 0001-01-01
  constexpr std::int32_t LastDay = 3652059; // 9999-12-31
  if (Encoding.DatesInYears1To9999 && (Day < FirstDay || Day > LastDay))
    Misfit(Def, "the date lies outside the years 1 to 9999");
}

// A definition of a type the encoding has no row value for.
void OtherType(const TZtlRowEncoding& Encoding, const TZantrelFieldDef& Def) {
  if (Encoding.RefuseOtherTypes)
    Misfit(Def, "its type has no place in the row");
}

} // namespace

void ZtlReadRowFieldData(const TZtlRowEncoding& Encoding, const TZantrelFieldDef& Def,
                         const std::uint8_t* Source, void* Dest, std::size_t DestSize) {
  switch (Def.FieldType) {
  case ntString: {
    CheckSizes(Def, 1, 1, DestSize);
    const char* Text = reinterpret_cast<const char*>(Source);
    const std::size_t Len = strnlen(Text, static_cast<std::size_t>(Def.Size));
    if (Len >= DestSize)
      Misfit(Def,
             Format("%d characters are longer than the field's size of %d",
                    {static_cast<std::int64_t>(Len), static_cast<std::int64_t>(DestSize - 1)}));
    std::memcpy(Dest, Text, Len);
    static_cast<char*>(Dest)[Len] = '\0';
    break;
  }
  case ntInteger:
    CheckSizes(Def, 4, 4, DestSize);
    std::memcpy(Dest, Source, 4);
    break;
  case ntInt64:
  case ntFloat:
    CheckSizes(Def, 8, 8, DestSize);
    std::memcpy(Dest, Source, 8);
    break;
  case ntCurrency:
    CheckSizes(Def, 8, 8, DestSize);
    Store(Dest, Currency::FromRaw(Load<std::int64_t>(Source)).ToDouble());
    break;
  case ntDate:
    CheckSizes(Def, 8, 4, DestSize);
    Store(Dest, DateTimeToTimeStamp(Load<double>(Source)).Date);
    break;
  case ntTime:
    CheckSizes(Def, 8, 4, DestSize);
    Store(Dest, DateTimeToTimeStamp(Load<double>(Source)).Time);
    break;
  case ntDateTime:
    CheckSizes(Def, 8, 8, DestSize);
    Store(Dest, TimeStampToMSecs(DateTimeToTimeStamp(Load<double>(Source))));
    break;
  case ntBoolean:
    CheckSizes(Def, 2, 2, DestSize);
    Store<std::int16_t>(Dest, Load<std::uint16_t>(Source) != 0 ? 1 : 0);
    break;
  case ntBinary: {
    if (!Encoding.Binary) {
      OtherType(Encoding, Def);
      break;
    }
    CheckSizes(Def, 2, 0, DestSize);
    const std::size_t Len = BinaryLength(Def, Source);
    if (Len > DestSize)
      Misfit(Def, Format("%d bytes are longer than the field's size of %d",
                         {static_cast<std::int64_t>(Len), static_cast<std::int64_t>(DestSize)}));
    std::memcpy(Dest, Source + 2, Len);
    std::memset(static_cast<std::uint8_t*>(Dest) + Len, 0, DestSize - Len);
    break;
  }
  case ntMemo:
  case ntBlob:
    break; // their data lives in the column's blob stream
  default:
    OtherType(Encoding, Def);
  }
}

void ZtlWriteRowFieldData(const TZtlRowEncoding& Encoding, const TZantrelFieldDef& Def,
                          std::uint8_t* Dest, const void* Source, std::size_t DataSize) {
  // Every value is converted and checked before the first row byte changes.
  switch (Def.FieldType) {
  case ntString: {
    CheckSizes(Def, 1, 0, DataSize);
    const std::size_t Room = static_cast<std::size_t>(Def.Size) - 1;
    const std::size_t Len = strnlen(static_cast<const char*>(Source), DataSize);
    if (Len > Room)
      Misfit(Def, Format("%d characters are longer than its size of %d",
                         {static_cast<std::int64_t>(Len), static_cast<std::int64_t>(Room)}));
    std::memcpy(Dest, Source, Len);
    std::memset(Dest + Len, 0, static_cast<std::size_t>(Def.Size) - Len);
    break;
  }
  case ntInteger:
    CheckSizes(Def, 4, 4, DataSize);
    std::memcpy(Dest, Source, 4);
    break;
  case ntInt64:
  case ntFloat:
    CheckSizes(Def, 8, 8, DataSize);
    std::memcpy(Dest, Source, 8);
    break;
  case ntCurrency: {
    CheckSizes(Def, 8, 8, DataSize);
    const double Value = Load<double>(Source);
    Currency C;
    if (!Currency::TryFromDouble(Value, C))
      Misfit(Def, FloatToStr(Value) + " is outside the currency range");
    Store(Dest, C.Raw());
    break;
  }
  case ntDate: {
    CheckSizes(Def, 8, 4, DataSize);
    const auto Day = Load<std::int32_t>(Source);
    CheckDay(Encoding, Def, Day);
    Store(Dest, TimeStampToDateTime({0, Day}));
    break;
  }
  case ntTime: {
    CheckSizes(Def, 8, 4, DataSize);
    const auto MSecs = Load<std::int32_t>(Source);
    if (MSecs < 0 || MSecs >= MSecsPerDay)
      Misfit(Def, IntToStr(MSecs) + " milliseconds are not a time of day");
    Store(Dest, TimeStampToDateTime({MSecs, DateDelta}));
    break;
  }
  case ntDateTime: {
    CheckSizes(Def, 8, 8, DataSize);
    const TTimeStamp Stamp = MSecsToTimeStamp(Load<double>(Source));
    CheckDay(Encoding, Def, Stamp.Date);
    Store(Dest, TimeStampToDateTime(Stamp));
    break;
  }
  case ntBoolean:
    CheckSizes(Def, 2, 2, DataSize);
    Store<std::uint16_t>(Dest, Load<std::int16_t>(Source) != 0 ? 1 : 0);
    break;
  case ntBinary: {
    if (!Encoding.Binary) {
      OtherType(Encoding, Def);
      break;
    }
    CheckSizes(Def, 2, 0, DataSize);
    const std::size_t Room = static_cast<std::size_t>(Def.Size) - 2;
    const auto* Bytes = static_cast<const std::uint8_t*>(Source);
    // Zero bytes at the end are the field's padding, not data; past the
    // room they can go, anything else would be cut.
    std::size_t Len = DataSize;
    while (Len > Room && Bytes[Len - 1] == 0)
      --Len;
    if (Len > Room)
      Misfit(Def, Format("%d bytes are longer than its size of %d",
                         {static_cast<std::int64_t>(Len), static_cast<std::int64_t>(Room)}));
    // The field format has no length, so a value whose only difference from
    // the row is zero padding keeps the row's length: writing back what was
    // read changes nothing.
    const std::size_t Old = BinaryLength(Def, Dest);
    if (Old <= Len && std::memcmp(Dest + 2, Bytes, Old) == 0 &&
        std::all_of(Bytes + Old, Bytes + Len, [](std::uint8_t B) { return B == 0; }))
      Len = Old;
    else
      Len = std::max(Len, std::min(DataSize, Room));
    Store(Dest, static_cast<std::uint16_t>(Len));
    std::memmove(Dest + 2, Bytes, Len);
    std::memset(Dest + 2 + Len, 0, Room - Len);
    break;
  }
  case ntMemo:
  case ntBlob:
    break; // their data goes through the column's blob stream
  default:
    OtherType(Encoding, Def);
  }
}

} // namespace ztl
