// The SQLite driver's query component, and the conversions between the
// SQLite cursor's row values and the framework's field data.
//
// Row format (see drivers/common/ZtlDriverSQL.h): ntString NUL-terminated
// text in Size bytes; ntInteger int32; ntInt64 int64; ntFloat double;
// ntCurrency int64 scaled by 10 000; ntDate, ntTime, ntDateTime a date-time
// (double); ntBoolean a 16-bit word 0 or 1; ntBinary a 16-bit length and the
// bytes.
#include "drivers/sqlite/SQLiteDataset.h"

#include "dataset/ZtlRowFieldData.h"
#include "drivers/sqlite/SQLiteCursor.h"
#include "framework/db/DBErrors.h"

namespace ztl {

namespace {
constexpr TZtlRowEncoding SQLiteRows{true, false, false};
} // namespace

void SQLiteReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                         std::size_t DestSize) {
  ZtlReadRowFieldData(SQLiteRows, Def, Source, Dest, DestSize);
}

void SQLiteWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                          std::size_t DataSize) {
  ZtlWriteRowFieldData(SQLiteRows, Def, Dest, Source, DataSize);
}

// ---- The query ------------------------------------------------------------------

TZantrelSQLiteQuery::TZantrelSQLiteQuery(TComponent* AOwner) : TZantrelCustomDataset(AOwner) {
  ConstructSQL();
}

TZantrelSQLiteQuery::~TZantrelSQLiteQuery() {
  DestroyDataset();
}

std::unique_ptr<TZantrelSQL> TZantrelSQLiteQuery::CreateSQL() {
  auto SQL = std::make_unique<TZantrelSQLiteSQL>();
  if (TZantrelSession* Session = GetSession())
    SQL->SetSession(Session);
  return SQL;
}

void TZantrelSQLiteQuery::ReadFieldData(const TZantrelFieldDef& FieldDef,
                                        const std::uint8_t* Source, void* Dest,
                                        std::size_t DestSize) {
  SQLiteReadFieldData(FieldDef, Source, Dest, DestSize);
}

void TZantrelSQLiteQuery::WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                                         const void* Source, std::size_t DataSize) {
  SQLiteWriteFieldData(FieldDef, Dest, Source, DataSize);
}

} // namespace ztl
