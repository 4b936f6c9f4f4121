// The PostgreSQL driver's query component, the cursor of its datasets, and
// the conversions between the cursor's row values and the framework's field
// data.
//
// Row format (see PgTypes.cpp): ntString NUL-terminated text in Size bytes;
// ntInteger int32; ntInt64 int64; ntFloat double; ntCurrency int64 scaled by
// 10 000; ntDate, ntTime, ntDateTime a date-time (double); ntBoolean a
// 16-bit word 0 or 1. No column is ntBinary (bytea is a blob).
#include "drivers/postgres/PgDataset.h"

#include "framework/db/DBErrors.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

namespace {
// No column of this driver is ntBinary (bytea is a blob), and the cursor
// reads back only dates of the years 1 to 9999.
constexpr TZtlRowEncoding PgRows{false, true, true};
} // namespace

void PgReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) {
  ZtlReadRowFieldData(PgRows, Def, Source, Dest, DestSize);
}

void PgWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) {
  ZtlWriteRowFieldData(PgRows, Def, Dest, Source, DataSize);
}

// ---- The datasets' cursor ---------------------------------------------------------

TZantrelPgDatasetSQL::TZantrelPgDatasetSQL(TComponent* AOwner) : TZantrelPgSQL(AOwner) {}

TZantrelPgDatasetSQL::~TZantrelPgDatasetSQL() {
  DestroySQL();
}

bool TZantrelPgDatasetSQL::InternalPrepare(const std::string& SQL) {
  Deferred = false;
  // ExecSQL without Prepare: only the execution follows, so the text is
  // not prepared for an open it will never have.
  if (ExecuteFollows && CanExecuteOnce(SQL))
    return TZantrelPgSQL::InternalPrepareExecute(SQL);
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
