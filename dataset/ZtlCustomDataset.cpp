// The query component: ExecSQL, the provider operations that depend on the
// SQL text, and the registration of the datasets' published properties.
#include "dataset/ZtlCustomDataset.h"

#include "dataset/ZtlCleanup_p.h"
#include "framework/db/DBRegister.h"
#include "framework/db/DataSource.h"
#include "framework/classes/Strings.h"
#include "framework/classes/TypInfo.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

TZantrelCustomDataset::TZantrelCustomDataset(TComponent* AOwner) : TZantrelDataset(AOwner) {}

void TZantrelCustomDataset::ExecSQL() {
  CheckInactive();
  SetDBFlag(dfExecSQL, true);
  // Unprepared, the statement is prepared for this one execution and let go
  // after it, which a driver may do in one trip to its server.
  Cursor->SetExecuteFollows(!GetPrepared());
  try {
    CreateCursor(false);
  } catch (...) {
    Cursor->SetExecuteFollows(false);
    ZtlReleaseAfterFailure(this, [this] { SetDBFlag(dfExecSQL, false); });
    throw;
  }
  Cursor->SetExecuteFollows(false);
  SetDBFlag(dfExecSQL, false);
}

TZantrelArrayResult TZantrelCustomDataset::ExecSQLArray(std::span<const TZtlVarParams> Rows,
                                                        bool StopOnError) {
  CheckInactive();
  if (SQL->Count() == 0)
    DatabaseError(LoadZtlStr(SZtlEmptySQLStatement));
  SetDBFlag(dfExecSQL, true);
  TZantrelArrayResult Result;
  try {
    SetPrepared(true);
    Result = Cursor->ExecutePreparedArray(Rows, StopOnError);
  } catch (...) {
    ZtlReleaseAfterFailure(this, [this] { SetDBFlag(dfExecSQL, false); });
    throw;
  }
  SetDBFlag(dfExecSQL, false);
  return Result;
}

void TZantrelCustomDataset::PSExecute() {
  ExecSQL();
}

// Every ORDER BY field belongs to the index, a descending one too: an index
// whose DescFields names a field missing from Fields would drop that field
// from the order.
std::unique_ptr<TIndexDef> TZantrelCustomDataset::PSGetDefaultOrder() {
  std::unique_ptr<TIndexDef> Result = TZantrelDataset::PSGetDefaultOrder();
  if (Result || IndexDefs->Count() == 0)
    return Result;
  Result = std::make_unique<TIndexDef>();
  for (int I = 0; I < IndexDefs->Count(); ++I) {
    const TZantrelIndexDef* Item = IndexDefs->GetItem(I);
    ZtlConcateEmptyField(Result->Fields, ";", Item->GetFieldName());
    if (Item->GetDescending())
      ZtlConcateEmptyField(Result->DescFields, ";", Item->GetFieldName());
  }
  return Result;
}

std::string TZantrelCustomDataset::PSGetTableName() {
  return ZtlGetTableNameFromSQL(SQL->GetText());
}

void TZantrelCustomDataset::PSSetCommandText(const std::string& CommandText) {
  if (!CommandText.empty())
    SQL->SetText(CommandText);
}

// ---- Registration ----------------------------------------------------------------

void RegisterZantrelDatasetClasses() {
  RegisterZantrelParamsClass();
  // Forms that hold a dataset also hold its fields and data sources.
  RegisterDBClasses();
  RegisterClass<TDataSet, TComponent>();

  RegisterClass<TZantrelDataset, TDataSet>();
  RegisterProperty<TZantrelDataset>("Active", &TDataSet::GetActive, &TDataSet::SetActive, false);
  RegisterProperty<TZantrelDataset>("AutoCalcFields", &TDataSet::GetAutoCalcFields,
                                    &TDataSet::SetAutoCalcFields, true);
  RegisterDataSetEvents<TZantrelDataset>();
  RegisterProperty<TZantrelDataset>("Params", &TZantrelDataset::GetParams,
                                    &TZantrelDataset::SetParamsList);
  RegisterProperty<TZantrelDataset>("Session", &TZantrelDataset::GetSession,
                                    &TZantrelDataset::SetSession);

  RegisterClass<TZantrelCustomDataset, TZantrelDataset>();
  RegisterProperty<TZantrelCustomDataset>("DataSource", &TZantrelDataset::GetDataSource,
                                          &TZantrelDataset::SetDataSource);
  RegisterProperty<TZantrelCustomDataset>("ParamCheck", &TZantrelDataset::GetParamCheck,
                                          &TZantrelDataset::SetParamCheck, true);
  RegisterProperty<TZantrelCustomDataset>("ReadOnly", &TZantrelDataset::GetReadOnly,
                                          &TZantrelDataset::SetReadOnly, true);
  RegisterProperty<TZantrelCustomDataset>("SQL", &TZantrelDataset::GetSQL,
                                          &TZantrelDataset::SetQuery);
  RegisterProperty<TZantrelCustomDataset>("SyncInserts", &TZantrelDataset::GetSyncInserts,
                                          &TZantrelDataset::SetSyncInserts, false);
  RegisterProperty<TZantrelCustomDataset>("UniDirectional", &TZantrelDataset::GetUniDirectional,
                                          &TZantrelDataset::SetUniDirectional, false);
}

} // namespace ztl
