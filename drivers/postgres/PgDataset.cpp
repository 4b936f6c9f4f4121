// The PostgreSQL driver's query component, the cursor of its datasets, and
// the conversions between the cursor's row values and the framework's field
// data.
//
// Row format (see PgTypes.cpp): ntString NUL-terminated text in Size bytes;
// ntInteger int32; ntInt64 int64; ntFloat double; ntCurrency int64 scaled by
// 10 000; ntDate, ntTime, ntDateTime a date-time (double); ntBoolean a
// 16-bit word 0 or 1. No column is ntBinary (bytea is a blob).
#include "drivers/postgres/PgDataset.h"

#include <cstring>

#include "framework/DBErrors.h"
#include "framework/DateUtils.h"
#include "framework/SysUtils.h"
#include "framework/Variants.h"

namespace ztl {

namespace {

// Day numbers of 0001-01-01 and 9999-12-31: the dates the cursor reads back.
constexpr std::int32_t FirstDay = 1;
constexpr std::int32_t LastDay = 3652059;

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
  DatabaseErrorFmt(SPgFieldDataMisfit, {Def.Name, Why});
}

std::int64_t Num(std::size_t N) {
  return static_cast<std::int64_t>(N);
}

// Raises unless the row value has at least RowBytes and the field data side
// (Have bytes) at least DataBytes.
void CheckSizes(const TZantrelFieldDef& Def, std::size_t RowBytes, std::size_t DataBytes,
                std::size_t Have) {
  if (Def.Size < 0 || static_cast<std::size_t>(Def.Size) < RowBytes)
    Misfit(Def, Format("the row holds %d bytes, %d are needed",
                       {std::int64_t{Def.Size}, Num(RowBytes)}));
  if (Have < DataBytes)
    Misfit(Def, Format("the field data has %d bytes, %d are needed", {Num(Have), Num(DataBytes)}));
}

void CheckDay(const TZantrelFieldDef& Def, std::int32_t Day) {
  if (Day < FirstDay || Day > LastDay)
    Misfit(Def, "the date lies outside the years 1 to 9999");
}

// No column of this driver has another type; a definition that claims one
// has no row value to convert.
[[noreturn]] void NoFieldData(const TZantrelFieldDef& Def) {
  Misfit(Def, "its type has no place in the row");
}

} // namespace

void PgReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) {
  switch (Def.FieldType) {
  case ntString: {
    CheckSizes(Def, 1, 1, DestSize);
    const char* Text = reinterpret_cast<const char*>(Source);
    const std::size_t Len = strnlen(Text, static_cast<std::size_t>(Def.Size));
    if (Len >= DestSize)
      Misfit(Def, Format("%d characters are longer than the field's size of %d",
                         {Num(Len), Num(DestSize - 1)}));
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
  case ntMemo:
  case ntBlob:
    break; // their data lives in the column's blob stream
  default:
    NoFieldData(Def);
  }
}

void PgWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) {
  // Every value is converted and checked before the first row byte changes.
  switch (Def.FieldType) {
  case ntString: {
    CheckSizes(Def, 1, 0, DataSize);
    const std::size_t Room = static_cast<std::size_t>(Def.Size) - 1;
    const std::size_t Len = strnlen(static_cast<const char*>(Source), DataSize);
    if (Len > Room)
      Misfit(Def, Format("%d characters are longer than its size of %d", {Num(Len), Num(Room)}));
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
    CheckDay(Def, Day);
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
    CheckDay(Def, Stamp.Date);
    Store(Dest, TimeStampToDateTime(Stamp));
    break;
  }
  case ntBoolean:
    CheckSizes(Def, 2, 2, DataSize);
    Store<std::uint16_t>(Dest, Load<std::int16_t>(Source) != 0 ? 1 : 0);
    break;
  case ntMemo:
  case ntBlob:
    break; // their data goes through the column's blob stream
  default:
    NoFieldData(Def);
  }
}

// ---- The datasets' cursor ---------------------------------------------------------

TZantrelPgDatasetSQL::TZantrelPgDatasetSQL(TComponent* AOwner) : TZantrelPgSQL(AOwner) {}

TZantrelPgDatasetSQL::~TZantrelPgDatasetSQL() {
  DestroySQL();
}

bool TZantrelPgDatasetSQL::InternalPrepare(const std::string& SQL) {
  Deferred = false;
  if (!TZantrelPgSQL::InternalPrepare(SQL))
    return false;
  if (PreparedForOpen && !PreparedForExecute) {
    TZantrelSQL::InternalPrepareExecute(SQL);
    Deferred = true;
  }
  return true;
}

bool TZantrelPgDatasetSQL::InternalPrepareExecute(const std::string& SQL) {
  Deferred = false;
  return TZantrelPgSQL::InternalPrepareExecute(SQL);
}

bool TZantrelPgDatasetSQL::PrepareDeferred() {
  if (!Deferred)
    return true;
  const std::string Text = ExecSQL;
  if (!TZantrelPgSQL::InternalPrepareExecute(Text))
    return false;
  Deferred = false;
  return true;
}

bool TZantrelPgDatasetSQL::InternalBindExecVariables(TStringList* List) {
  return PrepareDeferred() && TZantrelPgSQL::InternalBindExecVariables(List);
}

bool TZantrelPgDatasetSQL::InternalExecute(TStringList* List) {
  if (!PrepareDeferred() || !TZantrelPgSQL::InternalExecute(List))
    return false;
  // Output variables are kept apart from the result columns by a suffix
  // (b becomes b_1). When both are the same statement's columns they are
  // the same values, and the outputs must answer to the columns' names.
  if (PreparedForOpen && OpenSQL == ExecSQL)
    for (TZantrelFieldDef* Out : OutVariables)
      if (const TZantrelFieldDef* Column = FieldDefs.GetItem(Out->Index))
        Out->Name = Column->Name;
  return true;
}

void TZantrelPgDatasetSQL::InternalUnprepareExecute() {
  Deferred = false;
  TZantrelPgSQL::InternalUnprepareExecute();
}

// ---- The query ----------------------------------------------------------------------

TZantrelPgQuery::TZantrelPgQuery(TComponent* AOwner) : TZantrelCustomDataset(AOwner) {
  ConstructSQL();
}

TZantrelPgQuery::~TZantrelPgQuery() {
  DestroyDataset();
}

std::unique_ptr<TZantrelSQL> TZantrelPgQuery::CreateSQL() {
  auto SQL = std::make_unique<TZantrelPgDatasetSQL>();
  if (TZantrelSession* Session = GetSession())
    SQL->SetSession(Session);
  return SQL;
}

void TZantrelPgQuery::ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source,
                                    void* Dest, std::size_t DestSize) {
  PgReadFieldData(FieldDef, Source, Dest, DestSize);
}

void TZantrelPgQuery::WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                                     const void* Source, std::size_t DataSize) {
  PgWriteFieldData(FieldDef, Dest, Source, DataSize);
}

} // namespace ztl
