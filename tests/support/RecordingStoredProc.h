// The recording test driver's stored procedure: a stored-procedure dataset
// over the recording cursor whose catalog is a list of rows the test gives
// and whose call statement is a plain text the test can predict.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/ZtlStoredProc.h"
#include "tests/support/RecordingCursor.h"

namespace ztl {

// The stored procedure of the recording driver.
//
// The catalog: every describe cursor serves Catalog, rows of (parm_name,
// parm_type, data_type) under the columns of CatalogColumns. The describe
// query is "select parm_name, parm_type, data_type from sys.procparms where
// owner = '<Owner>' and proc = ?", and the procedure name it was opened with
// is kept in DescribedProcName.
//
// The call: "call NAME(ARGS)", or with CallAsQuery "select * from
// NAME(ARGS)" (which the recording cursor opens as a result set), followed
// by " into :R" when there is a result parameter; NAME is StoredProcName as
// it stands.
//
// Cursors it creates after its own share the log of the dataset's session
// (a fresh log without one). Both driver operations write themselves to the
// log:
// "GetParamDescSQL(<Owner>)" and "BuildProcSQL(<ResultPart>|<ArgList>)".
class TRecordingStoredProc : public TZantrelCustomStoredProc {
public:
  explicit TRecordingStoredProc(TComponent* AOwner = nullptr,
                                TRecordingSession* ASession = nullptr);
  ~TRecordingStoredProc() override;

  static std::vector<TRecordingColumn> CatalogColumns();

  // The dataset's own cursor.
  TRecordingSQL& GetRecordingSQL() const;
  TRecordingLog& GetLog() const { return GetRecordingSQL().GetLog(); }

  std::vector<std::vector<Variant>> Catalog; // rows every describe cursor serves
  bool CallAsQuery = false;                  // build a result-set call instead of a command
  std::string DescribedProcName;             // name value of the last describe query
  // Called with every cursor CreateSQL makes after the dataset's own.
  std::function<void(TRecordingSQL&)> OnCreateSQL;

  // Inner workings, open to tests.
  using TZantrelDataset::Cursor;
  using TZantrelDataset::SetDBFlag;
  bool GetDescribeOnly() const { return DescribeOnly; }

protected:
  std::unique_ptr<TZantrelSQL> CreateSQL() override;
  void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) override;
  void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) override;
  std::string GetParamDescSQL(const std::string& Owner) override;
  void BuildProcSQL(const std::string& ResultPart, const std::string& ArgList) override;

private:
  TRecordingSession* InitialSession; // session of the first cursor, during construction only
};

} // namespace ztl
