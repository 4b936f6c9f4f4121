// The SQLite driver's stored-procedure component, which says plainly that
// SQLite has none.
#include "drivers/sqlite/SQLiteCursor.h"
#include "drivers/sqlite/SQLiteDataset.h"
#include "framework/db/DBErrors.h"

namespace ztl {

TZantrelSQLiteStoredProc::TZantrelSQLiteStoredProc(TComponent* AOwner)
    : TZantrelCustomStoredProc(AOwner) {
  ConstructSQL();
}

TZantrelSQLiteStoredProc::~TZantrelSQLiteStoredProc() {
  DestroyDataset();
}

std::unique_ptr<TZantrelSQL> TZantrelSQLiteStoredProc::CreateSQL() {
  auto SQL = std::make_unique<TZantrelSQLiteSQL>();
  if (TZantrelSession* Session = GetSession())
    SQL->SetSession(Session);
  return SQL;
}

void TZantrelSQLiteStoredProc::ReadFieldData(const TZantrelFieldDef& FieldDef,
                                             const std::uint8_t* Source, void* Dest,
                                             std::size_t DestSize) {
  SQLiteReadFieldData(FieldDef, Source, Dest, DestSize);
}

void TZantrelSQLiteStoredProc::WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                                              const void* Source, std::size_t DataSize) {
  SQLiteWriteFieldData(FieldDef, Dest, Source, DataSize);
}

std::string TZantrelSQLiteStoredProc::GetParamDescSQL(const std::string&) {
  DatabaseError(SSQLiteNoStoredProcs, this);
}

void TZantrelSQLiteStoredProc::BuildProcSQL(const std::string&, const std::string&) {
  DatabaseError(SSQLiteNoStoredProcs, this);
}

} // namespace ztl
