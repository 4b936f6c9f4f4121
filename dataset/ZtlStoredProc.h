// The stored-procedure component: a dataset that reads a procedure's
// parameters from the catalog, has the driver write the call statement, runs
// it as a command or as a result set and copies output values back.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/ZtlDataset.h"

namespace ztl {

// TZantrelCustomStoredProc runs the stored procedure named StoredProcName.
//
// Its parameters are not scanned from SQL text. When the dataset is
// prepared (by Prepare, Open or ExecProc) with no parameters, it reads them
// from the catalog through the driver's GetParamDescSQL query; with
// parameters (from the catalog, a form file or SetParamsList) it only
// rebuilds the call from them. Either way the driver's BuildProcSQL writes
// the call statement into SQL, which is prepared unless only the
// description was wanted. After every run the values of the input-output,
// output and result parameters are copied from the cursor into Params.
//
// Writing a driver: override GetParamDescSQL and BuildProcSQL besides the
// dataset's CreateSQL, ReadFieldData and WriteFieldData, and call
// ConstructSQL at the end of the constructor.
class TZantrelCustomStoredProc : public TZantrelDataset {
public:
  explicit TZantrelCustomStoredProc(TComponent* AOwner = nullptr);
  ~TZantrelCustomStoredProc() override;

  const std::string& GetStoredProcName() const { return StoredProcName; }
  // While read from a form: stores Name as it is. Otherwise the dataset must
  // be inactive; a Name that differs from the current one (compared exactly,
  // before trimming) is stored trimmed and unprepares the dataset, empties
  // Params and clears SQL. The same name changes nothing.
  void SetProcName(const std::string& Name);

  // Runs the procedure as a command (no result set) and copies the output
  // values into Params. The dataset must be inactive; it holds the session
  // for the call only, and is unprepared afterwards unless Prepare was used.
  void ExecProc();
  // Fills Value with the procedure's parameters. A dataset that is neither
  // prepared nor has parameters reads them from the catalog first (without
  // preparing a statement) and keeps them in its own Params afterwards.
  void CopyParams(TZantrelParams* Value);
  // Copies the values of the input-output, output and result parameters
  // that the cursor lists among its output variables into Params. A Null
  // makes the parameter null and keeps its data type.
  void GetResults();

  // Replaces the whole parameter list by Value (none: no parameters). A
  // prepared dataset is unprepared first and prepared again, so that the
  // call statement follows the new list. The dataset must be inactive.
  void SetParamsList(const TZantrelParams* Value) override;

protected:
  // ExecProc.
  void PSExecute() override;
  // The framework's answer: a procedure names no table.
  std::string PSGetTableName() override;
  // Takes CommandText as the procedure name; an empty text is ignored.
  void PSSetCommandText(const std::string& CommandText) override;

  // Refuses, in this order and parameter by parameter, a parameter without
  // a data type ("No value for parameter"), one without a direction ("No
  // parameter type for parameter") and more than one result parameter, then
  // prepares Text.
  void PrepareSQL(const std::string& Text) override;
  // Keeps SQLText equal to the lines of SQL; the call text carries no
  // parameter markers to scan, and the procedure's parameters survive.
  void QueryChanged(TObject* Sender) override;
  // Raises "Empty or missing Stored Procedure name" without a name;
  // otherwise prepares and runs the call (GenHandle: as a result set).
  // Parameters are not taken from a master data source.
  void CreateCursor(bool GenHandle) override;
  // Reads the procedure's parameters from the catalog into Params, then
  // builds the call (SetServerParams).
  void CreateParamDesc() override;
  // Empties SQL and, when there is a procedure name, has the driver write
  // the call with the parameters now in Params.
  void SetServerParams() override;
  // Runs the call, then GetResults.
  void GetCursor(bool GenHandle) override;

  // ---- Supplied by the driver ---------------------------------------------------

  // Text of a query listing the parameters of one procedure of Owner (empty
  // without an owner). It takes one parameter value, the procedure's name,
  // and returns one row per parameter, in call order, with the columns
  // "parm_name" (text), "parm_type" (0 skip, 1 input, 2 input-output,
  // 3 output, 4 result) and "data_type" (a catalog type code, see
  // ZtlCatalogDataType).
  virtual std::string GetParamDescSQL(const std::string& Owner) = 0;
  // Writes the call statement into SQL, which is empty when it is called.
  // ResultPart is empty or ":" and the result parameter's name; ArgList is
  // empty or the other parameters' names, each preceded by ":" and
  // separated by "," (":a,:b"). The inputs are later given positionally in
  // that order.
  virtual void BuildProcSQL(const std::string& ResultPart, const std::string& ArgList) = 0;

private:
  std::string StoredProcName; // the procedure's name, optionally owner.name
};

// The parameter type of a catalog data-type code: its low byte indexes the
// table of 30 codes; a low byte of 30 or more gives ntUnknown.
TZantrelFieldTypes ZtlCatalogDataType(std::int32_t Code);

// Registers TZantrelCustomStoredProc and its published StoredProcName (and,
// first, the dataset classes it builds on) with the class registry. Calling
// it again does nothing new.
void RegisterZantrelStoredProcClass();

} // namespace ztl
