// The recording test driver's stored procedure: its catalog, its call text
// and its field data conversions.
#include "tests/support/RecordingStoredProc.h"

#include <cstring>

#include "tests/support/RecordingDataset.h"

namespace ztl {

namespace {

// The text of string host variable Def in Vars's buffer (NUL-terminated
// within the variable's bytes in the recording format).
std::string VariableText(const TZantrelVariableDefs& Vars, const TZantrelFieldDef& Def) {
  if (Def.FieldType != ntString || Def.Offset < 0 || Def.Size <= 0 ||
      Def.Offset + Def.Size > Vars.GetBufSize())
    return {};
  const char* Text = reinterpret_cast<const char*>(Vars.GetBuffer() + Def.Offset);
  return std::string(Text, strnlen(Text, static_cast<std::size_t>(Def.Size)));
}

} // namespace

TRecordingStoredProc::TRecordingStoredProc(TComponent* AOwner, TRecordingSession* ASession)
    : TZantrelCustomStoredProc(AOwner), InitialSession(ASession) {
  ConstructSQL();
  InitialSession = nullptr;
}

TRecordingStoredProc::~TRecordingStoredProc() {
  DestroyDataset();
}

std::vector<TRecordingColumn> TRecordingStoredProc::CatalogColumns() {
  return {{"parm_name", ntString, 30}, {"parm_type", ntInteger}, {"data_type", ntInteger}};
}

TRecordingSQL& TRecordingStoredProc::GetRecordingSQL() const {
  return static_cast<TRecordingSQL&>(*GetSQLCursor());
}

std::unique_ptr<TZantrelSQL> TRecordingStoredProc::CreateSQL() {
  if (!GetSQLCursor())
    return NewRecordingSQL(InitialSession);
  auto SQL = NewRecordingSQL(dynamic_cast<TRecordingSession*>(GetSession()));
  SQL->SetResult(CatalogColumns(), Catalog);
  TRecordingSQL* Raw = SQL.get();
  SQL->AfterOpen = [this, Raw](TObject*) {
    const TZantrelVariableDefs& Vars = Raw->GetOpenVariables();
    DescribedProcName = Vars.GetCount() > 0 ? VariableText(Vars, *Vars.GetItem(0)) : std::string();
  };
  if (OnCreateSQL)
    OnCreateSQL(*SQL);
  return SQL;
}

void TRecordingStoredProc::ReadFieldData(const TZantrelFieldDef& FieldDef,
                                         const std::uint8_t* Source, void* Dest,
                                         std::size_t DestSize) {
  RecordingReadFieldData(FieldDef, Source, Dest, DestSize);
}

void TRecordingStoredProc::WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                                          const void* Source, std::size_t DataSize) {
  RecordingWriteFieldData(FieldDef, Dest, Source, DataSize);
}

std::string TRecordingStoredProc::GetParamDescSQL(const std::string& Owner) {
  GetLog().Calls.push_back("GetParamDescSQL(" + Owner + ")");
  return "select parm_name, parm_type, data_type from sys.procparms where owner = '" + Owner +
         "' and proc = ?";
}

void TRecordingStoredProc::BuildProcSQL(const std::string& ResultPart, const std::string& ArgList) {
  GetLog().Calls.push_back("BuildProcSQL(" + ResultPart + "|" + ArgList + ")");
  std::string Text =
      (CallAsQuery ? "select * from " : "call ") + GetStoredProcName() + "(" + ArgList + ")";
  if (!ResultPart.empty())
    Text += " into " + ResultPart;
  SQL->SetText(Text);
}

} // namespace ztl
