// The stored-procedure component: describing the parameters from the
// catalog, building and checking the call, running it and reading the
// output values back.
#include "dataset/ZtlStoredProc.h"

#include <array>
#include <memory>
#include <span>
#include <string>

#include "dataset/ZtlCheckError.h"
#include "dataset/ZtlCleanup_p.h"
#include "dataset/ZtlCustomDataset.h"
#include "framework/classes/Strings.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

namespace {

// Parameter types of the catalog's data-type codes 0 .. 29.
constexpr std::array<TZantrelFieldTypes, 30> CatalogTypes = {
    ntUnknown, ntInteger, ntInteger, ntFloat,   ntFloat,  ntFloat,    ntDate,    ntString,
    ntString,  ntString,  ntMemo,    ntBinary,  ntBlob,   ntDateTime, ntTime,    ntUnknown,
    ntUnknown, ntUnknown, ntUnknown, ntInteger, ntInt64,  ntInteger,  ntInteger, ntInt64,
    ntBoolean, ntUnknown, ntUnknown, ntFloat,   ntBinary, ntUnknown};

// The direction of a catalog row's direction byte (1 to 4). A byte beyond
// the known directions is no direction at all, so that preparing reports the
// parameter instead of an invalid direction travelling on into the stored
// format and the provider.
TZantrelParamType CatalogParamType(std::int32_t Kind) {
  return Kind >= nptInput && Kind <= nptResult ? static_cast<TZantrelParamType>(Kind) : nptUnknown;
}

// Clears a flag when the scope ends, however it ends.
class TFlagReset {
public:
  explicit TFlagReset(bool& AFlag) : Flag(AFlag) {}
  ~TFlagReset() { Flag = false; }
  TFlagReset(const TFlagReset&) = delete;
  TFlagReset& operator=(const TFlagReset&) = delete;

private:
  bool& Flag; // the flag cleared
};

} // namespace

TZantrelFieldTypes ZtlCatalogDataType(std::int32_t Code) {
  const std::size_t Index = static_cast<std::size_t>(Code & 0xFF);
  return Index < CatalogTypes.size() ? CatalogTypes[Index] : ntUnknown;
}

TZantrelCustomStoredProc::TZantrelCustomStoredProc(TComponent* AOwner) : TZantrelDataset(AOwner) {}

TZantrelCustomStoredProc::~TZantrelCustomStoredProc() {
  DestroyDataset();
}

void TZantrelCustomStoredProc::SetProcName(const std::string& Name) {
  if (InState(csReading)) {
    StoredProcName = Name;
    return;
  }
  CheckInactive();
  if (Name == StoredProcName)
    return;
  StoredProcName = Trim(Name);
  SetPrepared(false);
  Params->Clear();
  SQL->Clear();
}

void TZantrelCustomStoredProc::ExecProc() {
  CheckInactive();
  SetDBFlag(dfExecProc, true);
  try {
    CreateCursor(false);
  } catch (...) {
    ZtlReleaseAfterFailure(this, [this] { SetDBFlag(dfExecProc, false); });
    throw;
  }
  SetDBFlag(dfExecProc, false);
}

// Without a Value there is nothing to fill.
void TZantrelCustomStoredProc::CopyParams(TZantrelParams* Value) {
  if (!Value)
    return;
  if (Prepared || Params->Count() > 0) {
    Value->Assign(Params.get());
    return;
  }
  DescribeOnly = true;
  const TFlagReset Reset(DescribeOnly);
  try {
    Prepare();
    Value->Assign(Params.get());
  } catch (...) {
    ZtlReleaseAfterFailure(this, [this] { UnPrepare(); });
    throw;
  }
  UnPrepare();
}

// A byte array for a binary parameter keeps the parameter's type; every
// other value sets the type after its own kind. The bytes are those the
// array holds, whatever its low bound. A null value makes the parameter null
// but keeps its type: without one, the next call would be refused for a
// parameter without a value.
void TZantrelCustomStoredProc::GetResults() {
  const TZantrelVariableDefs& OutVariables = Cursor->GetOutVariables();
  for (int I = 0; I < Params->Count(); ++I) {
    TZantrelParam* P = Params->GetParam(I);
    const TZantrelParamType Direction = P->GetParamType();
    if (Direction != nptInputOutput && Direction != nptOutput && Direction != nptResult)
      continue;
    if (!OutVariables.FieldByName(P->GetName()))
      continue;
    const Variant Value = Cursor->GetOutVar(Variant(P->GetName()));
    const TZantrelParamDataType Type = P->GetDataType();
    if ((Type == ntBinary || Type == ntBlob) && Value.VarType() == (varArray | varByte)) {
      const std::span<const std::uint8_t> Bytes = Value.Bytes();
      const std::string Data(Bytes.begin(), Bytes.end());
      if (Type == ntBinary)
        P->SetAsBinary(Data);
      else
        P->SetAsBlob(Data);
    } else if (Value.IsClear()) {
      P->InitValue();
      P->Clear();
    } else {
      P->SetAsVariant(Value);
    }
  }
}

void TZantrelCustomStoredProc::SetParamsList(const TZantrelParams* Value) {
  CheckInactive();
  const auto Replace = [this, Value] {
    if (Value)
      Params->Assign(Value);
    else
      Params->Clear();
  };
  if (Prepared) {
    SetPrepared(false);
    Replace();
    SetPrepared(true);
  } else {
    Replace();
  }
}

void TZantrelCustomStoredProc::PSExecute() {
  ExecProc();
}

std::string TZantrelCustomStoredProc::PSGetTableName() {
  return TDataSet::PSGetTableName();
}

void TZantrelCustomStoredProc::PSSetCommandText(const std::string& CommandText) {
  if (!CommandText.empty())
    SetProcName(CommandText);
}

void TZantrelCustomStoredProc::PrepareSQL(const std::string& Text) {
  int ResultCount = 0;
  for (int I = 0; I < Params->Count(); ++I) {
    const TZantrelParam* P = Params->GetParam(I);
    if (P->GetDataType() == ntUnknown)
      DatabaseError(LoadZtlStrFmt(SZtlNoParameterValue, {P->GetAlias()}));
    if (P->GetParamType() == nptUnknown)
      DatabaseError(LoadZtlStrFmt(SZtlNoParameterType, {P->GetAlias()}));
    if (P->GetParamType() == nptResult)
      ++ResultCount;
  }
  if (ResultCount > 1)
    DatabaseError(LoadZtlStr(SZtlTooManyResultProcParams));
  TZantrelDataset::PrepareSQL(Text);
}

void TZantrelCustomStoredProc::QueryChanged(TObject*) {
  SQLText = SQL->GetText();
}

void TZantrelCustomStoredProc::CreateCursor(bool GenHandle) {
  if (StoredProcName.empty())
    DatabaseError(LoadZtlStr(SZtlNoStoredProcName));
  SetPrepared(true);
  GetCursor(GenHandle);
}

// The description runs on a cursor of its own, so that the dataset's
// statement stays untouched. A driver that reports a failure of the catalog
// query by returning false with a negative code raises that error here like
// every other checked driver call; without such a code the query simply
// described no parameters. A description that fails half-way leaves no
// parameters behind, since a call built from part of them would pass the
// arguments to the wrong places.
void TZantrelCustomStoredProc::CreateParamDesc() {
  const std::unique_ptr<TZantrelSQL> Desc = CreateSQL();
  Desc->SetSession(GetSession());

  std::string Owner;
  std::string ProcName = StoredProcName;
  if (const std::size_t Dot = StoredProcName.find('.'); Dot != std::string::npos) {
    Owner = Trim(std::string_view(StoredProcName).substr(0, Dot));
    ProcName = StoredProcName.substr(Dot + 1);
  }
  const std::string Text = GetParamDescSQL(Owner);
  const Variant ProcNameValue(ProcName);

  try {
    if (Desc->Open(Text, TZtlVarParams(ProcNameValue), true)) {
      while (Desc->FetchNext()) {
        const std::int32_t KindByte =
            TZantrelSQL::SetVarToInt(Desc->GetFieldValue(Variant("parm_type"))) & 0xFF;
        if (KindByte == 0)
          continue;
        const std::string Name =
            TrimRight(TZantrelSQL::SetVarToStr(Desc->GetFieldValue(Variant("parm_name"))));
        const TZantrelFieldTypes Type =
            ZtlCatalogDataType(TZantrelSQL::SetVarToInt(Desc->GetFieldValue(Variant("data_type"))));
        TZantrelParam* P = Params->CreateParam(Name);
        P->SetAlias(Name);
        P->SetDataType(Type);
        P->SetParamType(CatalogParamType(KindByte));
      }
      if (!Desc->GetEof())
        ZantrelCheckError(Desc->GetLastError(), Desc->GetLastErrorCode(),
                        Desc->GetLastSQLState());
      Desc->Close();
    } else {
      ZantrelCheckError(Desc->GetLastError(), Desc->GetLastErrorCode(),
                        Desc->GetLastSQLState());
    }
  } catch (...) {
    Params->Clear();
    throw;
  }
  SetServerParams();
}

void TZantrelCustomStoredProc::SetServerParams() {
  std::string ResultPart;
  std::string ArgList;
  for (int I = 0; I < Params->Count(); ++I) {
    const TZantrelParam* P = Params->GetParam(I);
    std::string Name = P->GetAlias();
    if (!Name.empty() && Name.front() == '@')
      Name.erase(0, 1);
    if (P->GetParamType() == nptResult)
      ResultPart = ":" + Name;
    else if (P->GetParamType() != nptUnknown)
      ArgList += (ArgList.empty() ? ":" : ",:") + Name;
  }
  SQLText.clear();
  SQL->Clear();
  if (!StoredProcName.empty())
    BuildProcSQL(ResultPart, ArgList);
}

void TZantrelCustomStoredProc::GetCursor(bool GenHandle) {
  TZantrelDataset::GetCursor(GenHandle);
  GetResults();
}

// ---- Registration ----------------------------------------------------------------

void RegisterZantrelStoredProcClass() {
  RegisterZantrelDatasetClasses();
  RegisterClass<TZantrelCustomStoredProc, TZantrelDataset>();
  RegisterProperty<TZantrelCustomStoredProc>("StoredProcName",
                                             &TZantrelCustomStoredProc::GetStoredProcName,
                                             &TZantrelCustomStoredProc::SetProcName);
}

} // namespace ztl
