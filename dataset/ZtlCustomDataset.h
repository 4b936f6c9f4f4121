// The query component: a dataset over SQL text that publishes its statement
// and options, runs statements without a result set, and answers the
// provider's questions that depend on the text.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "dataset/ZtlDataset.h"

namespace ztl {

// TZantrelCustomDataset is the query dataset a driver derives its query
// component from (the driver supplies CreateSQL, ReadFieldData and
// WriteFieldData, and calls ConstructSQL at the end of its constructor).
//
// Published, besides what every dataset publishes (Active, AutoCalcFields,
// Params, Session): DataSource, ParamCheck, ReadOnly, SQL (stored as
// SQL.Strings), SyncInserts and UniDirectional. RegisterZantrelDatasetClasses
// makes them known to form files and the designer.
class TZantrelCustomDataset : public TZantrelDataset {
public:
  explicit TZantrelCustomDataset(TComponent* AOwner = nullptr);

  // Runs the statement as a command (no result set) with the parameter
  // values, holding the session for the call only. Raises the framework's
  // error for an open dataset and "No SQL statement available" without
  // statement lines; driver failures come through the dataset check. A
  // statement not prepared through Prepare is unprepared again afterwards;
  // GetRowsAffected still reports the rows the driver counted.
  void ExecSQL();
  // Runs the statement once per element of Rows, prepared and bound once,
  // holding the session for the call only. Each element holds the values
  // ExecSQL would pass for the parameters: one per input parameter, a
  // named one once, in the order of first appearance; the dataset's own
  // Params and master link are not read. Failing elements come back by
  // index (TZantrelSQL::ExecuteArray); the checks of ExecSQL (open dataset,
  // no statement) and a failed prepare raise as there.
  TZantrelArrayResult ExecSQLArray(std::span<const TZtlVarParams> Rows, bool StopOnError = true);

protected:
  // ExecSQL.
  void PSExecute() override;
  // The framework's default order when it has one; otherwise, when the open
  // result has an ORDER BY index, a new index definition (owned by the
  // caller) listing every ORDER BY field in Fields and the descending ones
  // also in DescFields.
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() override;
  // The first table of the statement's FROM clause, or empty.
  std::string PSGetTableName() override;
  // Replaces the statement lines by CommandText (which disconnects and
  // rebuilds the parameters); an empty text leaves the statement alone.
  void PSSetCommandText(const std::string& CommandText) override;
};

// Registers the dataset classes and their published properties with the
// class registry, so that queries live in form files and the designer's
// inspector: TDataSet (publishing nothing of its own), TZantrelDataset and
// TZantrelCustomDataset. Calling it again does nothing new. A driver then
// registers its own query class with RegisterClass<TMyQuery,
// TZantrelCustomDataset>().
//
// The framework's dataset events are not registered: the property registry
// has no kind for method references, so they are connected in code.
void RegisterZantrelDatasetClasses();

} // namespace ztl
