// The recording test driver's query dataset and its field data conversions.
#include "tests/support/RecordingDataset.h"

#include <algorithm>
#include <cstring>

#include "framework/variant/DateUtils.h"

namespace ztl {

namespace {

template <class T>
T Load(const void* Src) {
  T Value;
  std::memcpy(&Value, Src, sizeof(T));
  return Value;
}

template <class T>
void Store(void* Dest, std::size_t DestSize, T Value) {
  if (DestSize >= sizeof(T))
    std::memcpy(Dest, &Value, sizeof(T));
}

// Day number of 1899-12-30, the date part of a time of day.
constexpr std::int32_t TimeOnlyDate = DateDelta;

} // namespace

void RecordingReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                            std::size_t DestSize) {
  const auto Size = static_cast<std::size_t>(std::max(Def.Size, 0));
  if (DestSize == 0)
    return;
  switch (Def.FieldType) {
  case ntString: {
    // NUL-terminated in the row; the field takes what fits before its NUL.
    const std::size_t Len =
        std::min(strnlen(reinterpret_cast<const char*>(Source), Size), DestSize - 1);
    std::memcpy(Dest, Source, Len);
    static_cast<char*>(Dest)[Len] = '\0';
    break;
  }
  case ntInteger:
    if (Size >= 4)
      Store(Dest, DestSize, Load<std::int32_t>(Source));
    break;
  case ntInt64:
    if (Size >= 8)
      Store(Dest, DestSize, Load<std::int64_t>(Source));
    break;
  case ntCurrency:
    if (Size >= 8)
      Store(Dest, DestSize, Currency::FromRaw(Load<std::int64_t>(Source)).ToDouble());
    break;
  case ntFloat:
    if (Size >= 8)
      Store(Dest, DestSize, Load<double>(Source));
    break;
  case ntDate:
    if (Size >= 8)
      Store(Dest, DestSize, DateTimeToTimeStamp(Load<double>(Source)).Date);
    break;
  case ntTime:
    if (Size >= 8)
      Store(Dest, DestSize, DateTimeToTimeStamp(Load<double>(Source)).Time);
    break;
  case ntDateTime:
    if (Size >= 8)
      Store(Dest, DestSize, TimeStampToMSecs(DateTimeToTimeStamp(Load<double>(Source))));
    break;
  case ntBoolean:
    if (Size >= 1)
      Store<std::int16_t>(Dest, DestSize, *Source != 0 ? 1 : 0);
    break;
  case ntBinary:
    std::memset(Dest, 0, DestSize);
    std::memcpy(Dest, Source, std::min(Size, DestSize));
    break;
  default:
    break; // memo and blob data live in the column streams
  }
}

void RecordingWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                             std::size_t DataSize) {
  const auto Size = static_cast<std::size_t>(std::max(Def.Size, 0));
  if (Size == 0)
    return;
  switch (Def.FieldType) {
  case ntString: {
    const std::size_t Len = std::min(strnlen(static_cast<const char*>(Source), DataSize), Size - 1);
    std::memset(Dest, 0, Size);
    std::memcpy(Dest, Source, Len);
    break;
  }
  case ntInteger:
    if (DataSize >= 4)
      Store(Dest, Size, Load<std::int32_t>(Source));
    break;
  case ntInt64:
    if (DataSize >= 8)
      Store(Dest, Size, Load<std::int64_t>(Source));
    break;
  case ntCurrency:
    if (DataSize >= 8)
      Store(Dest, Size, Currency::FromDouble(Load<double>(Source)).Raw());
    break;
  case ntFloat:
    if (DataSize >= 8)
      Store(Dest, Size, Load<double>(Source));
    break;
  case ntDate:
    if (DataSize >= 4)
      Store(Dest, Size, TimeStampToDateTime({0, Load<std::int32_t>(Source)}));
    break;
  case ntTime:
    if (DataSize >= 4)
      Store(Dest, Size, TimeStampToDateTime({Load<std::int32_t>(Source), TimeOnlyDate}));
    break;
  case ntDateTime:
    if (DataSize >= 8)
      Store(Dest, Size, TimeStampToDateTime(MSecsToTimeStamp(Load<double>(Source))));
    break;
  case ntBoolean:
    if (DataSize >= 2)
      *Dest = Load<std::int16_t>(Source) != 0 ? 1 : 0;
    break;
  case ntBinary:
    std::memset(Dest, 0, Size);
    std::memcpy(Dest, Source, std::min(Size, DataSize));
    break;
  default:
    break;
  }
}

std::unique_ptr<TRecordingSQL> NewRecordingSQL(TRecordingSession* Session) {
  return Session ? std::make_unique<TRecordingSQL>(Session)
                 : std::make_unique<TRecordingSQL>(static_cast<TComponent*>(nullptr));
}

TRecordingDataset::TRecordingDataset(TComponent* AOwner, TRecordingSession* ASession)
    : TZantrelCustomDataset(AOwner), InitialSession(ASession) {
  ConstructSQL();
  InitialSession = nullptr;
}

TRecordingDataset::~TRecordingDataset() {
  DestroyDataset();
}

TRecordingSQL& TRecordingDataset::GetRecordingSQL() const {
  return static_cast<TRecordingSQL&>(*GetSQLCursor());
}

std::unique_ptr<TZantrelSQL> TRecordingDataset::CreateSQL() {
  if (!GetSQLCursor())
    return NewRecordingSQL(InitialSession);
  auto SQL = NewRecordingSQL(dynamic_cast<TRecordingSession*>(GetSession()));
  if (OnCreateSQL)
    OnCreateSQL(*SQL);
  return SQL;
}

void TRecordingDataset::ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source,
                                      void* Dest, std::size_t DestSize) {
  RecordingReadFieldData(FieldDef, Source, Dest, DestSize);
}

void TRecordingDataset::WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                                       const void* Source, std::size_t DataSize) {
  RecordingWriteFieldData(FieldDef, Dest, Source, DataSize);
}

} // namespace ztl
