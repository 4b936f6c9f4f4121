// The generic dataset: construction, opening and closing, states and checks,
// field management, searching and provider defaults.
#include "framework/db/DataSet.h"

#include <cassert>
#include <cstring>
#include <unordered_set>

#include "framework/rtl/Application.h"
#include "framework/db/DBConsts.h"
#include "framework/db/DataSource.h"
#include "framework/db/IndexDefs.h"
#include "framework/classes/Streams.h"

namespace ztl {

// Marks the dataset as inside Open or Close for the guard's lifetime, so a
// handler that asks for another Open or Close meanwhile is ignored.
class TDataSet::TOpenCloseGuard {
public:
  explicit TOpenCloseGuard(TDataSet& DataSet) : FDataSet(DataSet) { FDataSet.FOpenClosing = true; }
  ~TOpenCloseGuard() { FDataSet.FOpenClosing = false; }
  TOpenCloseGuard(const TOpenCloseGuard&) = delete;
  TOpenCloseGuard& operator=(const TOpenCloseGuard&) = delete;

private:
  TDataSet& FDataSet;
};

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner), FFieldDefs(std::make_unique<TFieldDefs>(this)), FFields(this) {}

TDataSet::~TDataSet() {
  // The most derived destructor closes; a dataset still open here can no
  // longer reach its descendant, so only the window's bookkeeping is dropped.
  assert(FState == dsInactive && "the most derived destructor must Close the dataset");
  Destroying();
  FState = dsInactive;
  while (!FDataSources.empty()) {
    TDataSource* Source = FDataSources.back();
    FDataSources.pop_back();
    Source->FDataSet = nullptr;
    try {
      Source->NotifyLinkStates();
    } catch (...) {
      Application().HandleException(this);
    }
  }
  DestroyFields();
  while (FFields.Count() > 0) {
    TField* Field = FFields.List.back();
    FFields.List.pop_back();
    Field->FDataSet = nullptr;
  }
}

// ---- Open and close -----------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (InState(csReading) || InState(csLoading)) {
    FStreamedActive = Value;
    return;
  }
  if (Value == GetActive() || FOpenClosing)
    return;
  if (Value)
    DoOpen();
  else
    DoClose();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (!FStreamedActive)
    return;
  try {
    SetActive(true);
  } catch (...) {
    // A form must still load in the designer when its dataset cannot open.
    if (InState(csDesigning))
      InternalHandleException();
    else
      throw;
  }
}

void TDataSet::DoOpen() {
  TOpenCloseGuard Guard(*this);
  DoBeforeOpen();
  FDefaultFields = FieldCount() == 0;
  bool Announced = false;
  try {
    OpenCursor(false);
    AllocateBuffers();
    FState = dsBrowse;
    FModified = false;
    ClearBuffers();
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
    FBOF = true;
    FEOF = IsEmpty();
    Announced = true;
    DataEvent(deUpdateState);
    DoAfterOpen();
    DoAfterScroll();
  } catch (...) {
    std::exception_ptr Error = std::current_exception();
    CleanUp([this] { CloseCursor(); });
    FState = dsInactive;
    FModified = false;
    FBOF = FEOF = true;
    if (Announced)
      CleanUp([this] { DataEvent(deUpdateState); });
    std::rethrow_exception(Error);
  }
}

void TDataSet::DoClose() {
  TOpenCloseGuard Guard(*this);
  // BeforeClose may refuse; only then are pending changes dropped, so a
  // refused close keeps the edit intact.
  DoBeforeClose();
  if (FState == dsEdit || FState == dsInsert)
    InternalCancel();
  SetState(dsInactive);
  FBOF = FEOF = true;
  FBlockReadSize = 0;
  if (FDisableCount == 0)
    FPendingEvent = TPendingEvent::None; // nothing is left to catch up with
  CloseCursor();
  DoAfterClose();
}

void TDataSet::CloseOnDestroy() noexcept {
  CleanUp([this] { Close(); });
  if (FState == dsInactive)
    return;
  FState = dsInactive;
  FModified = false;
  CleanUp([this] { CloseCursor(); });
}

void TDataSet::OpenCursor(bool InfoQuery) {
  FInfoQuery = InfoQuery;
  if (InfoQuery)
    InternalInitFieldDefs();
  else
    InternalOpen();
}

void TDataSet::CloseCursor() {
  FreeBuffers();
  ClearBuffers();
  FCalcBuffer = nullptr;
  if (FInfoQuery) {
    FInfoQuery = false;
    return;
  }
  InternalClose();
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
    return;
  }
  try {
    OpenCursor(true);
  } catch (...) {
    std::exception_ptr Error = std::current_exception();
    CleanUp([this] { CloseCursor(); });
    std::rethrow_exception(Error);
  }
  CloseCursor();
}

void TDataSet::InternalHandleException() {
  Application().HandleException(this);
}

void TDataSet::ReportSecondaryError() noexcept {
  try {
    Application().HandleException(this);
  } catch (...) {
  }
}

// ---- States and checks ----------------------------------------------------------

void TDataSet::CheckActive() const {
  if (FState == dsInactive)
    DatabaseError(SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (FState != dsInactive)
    DatabaseError(SDataSetOpen, this);
}

void TDataSet::CheckBiDirectional() const {
  if (FIsUniDirectional)
    DatabaseError(SDataSetUnidirectional, this);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (FState) {
  case dsEdit:
  case dsInsert:
    UpdateRecord();
    if (FModified)
      Post();
    else
      Cancel();
    break;
  case dsSetKey:
    Post();
    break;
  default:
    break;
  }
}

void TDataSet::CheckCanModify() {
  if (!CanModify())
    DatabaseError(SDataSetReadOnly, this);
}

void TDataSet::SetState(TDataSetState Value) {
  if (FState == Value)
    return;
  FState = Value;
  FModified = false;
  DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState Old = FState;
  FState = Value;
  ++FTempStateDepth;
  return Old;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
  if (FTempStateDepth > 0)
    --FTempStateDepth;
}

void TDataSet::SetBlockReadSize(int Value) {
  if (Value > 0) {
    CheckActive();
    if (FState != dsBlockRead)
      CheckBrowseMode();
    FBlockReadSize = Value;
    SetState(dsBlockRead);
    return;
  }
  FBlockReadSize = 0;
  if (FState != dsBlockRead)
    return;
  SetState(dsBrowse);
  if (FBufferCountPending) {
    UpdateCursorPos();
    Resync({});
  }
  FlushPendingEvent();
}

// ---- Event helpers ---------------------------------------------------------------

#define ZTL_FIRE(Event)                                                                            \
  do {                                                                                             \
    if (Event)                                                                                     \
      Event(this);                                                                                 \
  } while (false)

void TDataSet::DoAfterCancel() {
  ZTL_FIRE(AfterCancel);
}
void TDataSet::DoAfterClose() {
  ZTL_FIRE(AfterClose);
}
void TDataSet::DoAfterDelete() {
  ZTL_FIRE(AfterDelete);
}
void TDataSet::DoAfterEdit() {
  ZTL_FIRE(AfterEdit);
}
void TDataSet::DoAfterInsert() {
  ZTL_FIRE(AfterInsert);
}
void TDataSet::DoAfterOpen() {
  ZTL_FIRE(AfterOpen);
}
void TDataSet::DoAfterPost() {
  ZTL_FIRE(AfterPost);
}
void TDataSet::DoAfterRefresh() {
  ZTL_FIRE(AfterRefresh);
}
void TDataSet::DoAfterScroll() {
  ZTL_FIRE(AfterScroll);
}
void TDataSet::DoBeforeCancel() {
  ZTL_FIRE(BeforeCancel);
}
void TDataSet::DoBeforeClose() {
  ZTL_FIRE(BeforeClose);
}
void TDataSet::DoBeforeDelete() {
  ZTL_FIRE(BeforeDelete);
}
void TDataSet::DoBeforeEdit() {
  ZTL_FIRE(BeforeEdit);
}
void TDataSet::DoBeforeInsert() {
  ZTL_FIRE(BeforeInsert);
}
void TDataSet::DoBeforeOpen() {
  ZTL_FIRE(BeforeOpen);
}
void TDataSet::DoBeforePost() {
  ZTL_FIRE(BeforePost);
}
void TDataSet::DoBeforeRefresh() {
  ZTL_FIRE(BeforeRefresh);
}
void TDataSet::DoBeforeScroll() {
  ZTL_FIRE(BeforeScroll);
}
void TDataSet::DoOnCalcFields() {
  ZTL_FIRE(OnCalcFields);
}
void TDataSet::DoOnNewRecord() {
  ZTL_FIRE(OnNewRecord);
}

#undef ZTL_FIRE

// ---- Fields ------------------------------------------------------------------------

void TDataSet::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  // Copied first: a callback that changes the field list must not move the walk.
  const std::vector<TField*> Fields(FFields.begin(), FFields.end());
  for (TField* Field : Fields)
    if (Field->GetOwnerComponent() == Root)
      Proc(Field);
}

void TDataSet::CreateFields() {
  for (int I = 0; I < FFieldDefs->Count(); ++I) {
    TFieldDef& Def = (*FFieldDefs)[I];
    if (Def.Attributes.Contains(faHiddenCol) || Def.DataType == ftUnknown)
      continue;
    Def.CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  for (int I = FFields.Count() - 1; I >= 0; --I) {
    if (I >= FFields.Count())
      continue;
    TField* Field = FFields.List[static_cast<std::size_t>(I)];
    if (Field->GetOwnerComponent() == this)
      delete Field; // detaches itself from the list and from us as owner
  }
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FCalcFieldCount = 0;
  for (TField* Field : FFields.List) {
    if (!Binding) {
      if (Field->FFieldKind == fkData)
        Field->FFieldNo = 0;
      Field->FOffset = 0;
      continue;
    }
    if (Field->FFieldKind == fkData) {
      int Index = FFieldDefs->IndexOf(Field->FieldName());
      if (Index < 0)
        DatabaseErrorFmt(SFieldNotFound, {Field->DisplayName()}, this);
      const TFieldDef& Def = (*FFieldDefs)[Index];
      if (Def.DataType != Field->DataType())
        DatabaseErrorFmt(
            SFieldTypeMismatch,
            {Field->DisplayName(), FieldTypeName(Field->DataType()), FieldTypeName(Def.DataType)},
            this);
      // A descendant copies as many bytes as the definition says; a field
      // sized otherwise would hand it a buffer of the wrong size.
      switch (Def.DataType) {
      case ftString:
      case ftWideString:
      case ftBytes:
      case ftVarBytes:
        if (Def.Size != Field->Size())
          DatabaseErrorFmt(
              SFieldSizeMismatch,
              {Field->DisplayName(), std::int64_t(Field->Size()), std::int64_t(Def.Size)}, this);
        break;
      default:
        break;
      }
      Field->FFieldNo = Def.FieldNo;
      Field->FOffset = 0;
      continue;
    }
    if (Field->IsBlob())
      DatabaseErrorFmt(SInvalidCalcType, {Field->DisplayName()}, this);
    if (Field->FFieldKind == fkLookup &&
        (!Field->LookupDataSet() || Field->KeyFields.empty() || Field->LookupKeyFields.empty() ||
         Field->LookupResultField.empty()))
      DatabaseErrorFmt(SLookupInfoError, {Field->DisplayName()}, this);
    Field->FFieldNo = -1;
    Field->FOffset = FCalcFieldsSize;
    FCalcFieldsSize += 1 + Field->DataSize();
    ++FCalcFieldCount;
  }
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
  std::size_t Pos = 0;
  while (Pos <= FieldNames.size()) {
    std::size_t End = FieldNames.find(';', Pos);
    if (End == std::string::npos)
      End = FieldNames.size();
    std::string Name = Trim(std::string_view(FieldNames).substr(Pos, End - Pos));
    if (!Name.empty())
      List.push_back(FieldByName(Name));
    Pos = End + 1;
  }
}

Variant TDataSet::GetFieldValue(const std::string& FieldNames) const {
  std::vector<TField*> List;
  GetFieldList(List, FieldNames);
  if (List.size() == 1)
    return List[0]->Value();
  Variant Result = VarArrayCreate(0, static_cast<int>(List.size()) - 1, varVariant);
  for (std::size_t I = 0; I < List.size(); ++I)
    Result.PutElement(static_cast<int>(I), List[I]->Value());
  return Result;
}

void TDataSet::SetFieldValue(const std::string& FieldNames, const Variant& Value) {
  std::vector<TField*> List;
  GetFieldList(List, FieldNames);
  if (List.size() == 1 && !Value.IsArray()) {
    List[0]->SetValue(Value);
    return;
  }
  if (!Value.IsArray()) {
    // One value for several fields cannot be spread; say so rather than
    // assign it to only some of them.
    throw EVariantError(SVarNotArray);
  }
  for (std::size_t I = 0; I < List.size(); ++I)
    List[I]->SetValue(Value.GetElement(Value.LowBound() + static_cast<int>(I)));
}

void TDataSet::CheckRequiredFields() {
  for (TField* Field : FFields.List)
    if (Field->Required() && !Field->ReadOnly() && Field->FieldKind() == fkData && Field->IsNull())
      DatabaseErrorFmt(SFieldRequired, {Field->DisplayName()}, Field);
}

void TDataSet::FreeFieldBuffers() {
  for (TField* Field : FFields.List)
    if (auto* Blob = dynamic_cast<TBlobField*>(Field))
      Blob->SetModified(false);
}

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldCount == 0)
    return;
  TTempState Temp(*this, dsCalcFields);
  CalculateFields(Buffer);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  ClearCalcFields(Buffer);
  for (TField* Field : FFields.List) {
    if (Field->FieldKind() != fkLookup)
      continue;
    TDataSet* Source = Field->LookupDataSet();
    if (!Source || !Source->Active())
      continue;
    Field->SetValue(Source->Lookup(Field->LookupKeyFields, GetFieldValue(Field->KeyFields),
                                   Field->LookupResultField));
  }
  DoOnCalcFields();
}

// ---- Defaults of the record exchange ----------------------------------------------

bool TDataSet::GetFieldData(TField*, void*) {
  return false;
}

void TDataSet::SetFieldData(TField*, const void*) {}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* Field, TBlobStreamMode) {
  DatabaseErrorFmt(SBlobStreamUnsupported, {Field ? Field->DisplayName() : std::string()}, this);
}

int TDataSet::Translate(const char* Src, char* Dest, bool) {
  if (!Src || !Dest)
    return 0;
  std::size_t Len = std::strlen(Src);
  if (Src != Dest)
    std::memmove(Dest, Src, Len + 1);
  return static_cast<int>(Len);
}

bool TDataSet::GetCurrentRecord(TRecordBuffer) {
  return false;
}

bool TDataSet::Locate(const std::string&, const Variant&, TLocateOptions) {
  return false;
}

Variant TDataSet::Lookup(const std::string&, const Variant&, const std::string&) {
  return Variant::Null();
}

// ---- Provider defaults -------------------------------------------------------------

void TDataSet::PSExecute() {
  DatabaseError(SProviderNotSupported, this);
}

std::unique_ptr<TIndexDef> TDataSet::PSGetDefaultOrder() {
  return nullptr;
}

std::string TDataSet::PSGetKeyFields() {
  std::string Result;
  for (TField* Field : FFields.List) {
    if (!Field->ProviderFlags.Contains(pfInKey))
      continue;
    if (!Result.empty())
      Result += ';';
    Result += Field->FieldName();
  }
  return Result;
}

std::unique_ptr<EUpdateError> TDataSet::PSGetUpdateException(std::exception_ptr E,
                                                             const EUpdateError* Prev) {
  std::string Message;
  try {
    if (E)
      std::rethrow_exception(E);
  } catch (const std::exception& Ex) {
    Message = Ex.what();
  } catch (...) {
  }
  return std::make_unique<EUpdateError>(std::move(Message), std::string(), 1,
                                        Prev ? Prev->ErrorCode() : 0, std::move(E));
}

// ---- Master links -----------------------------------------------------------------

bool TDataSet::IsLinkedTo(TDataSource* DataSource) const {
  std::unordered_set<const TDataSet*> Visited;
  while (DataSource) {
    const TDataSet* DataSet = DataSource->GetDataSet();
    if (!DataSet)
      return false;
    if (DataSet == this)
      return true;
    if (!Visited.insert(DataSet).second)
      return false;
    DataSource = DataSet->GetDataSource();
  }
  return false;
}

void TDataSet::AddDataSource(TDataSource* Source) {
  FDataSources.push_back(Source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* Source) {
  std::erase(FDataSources, Source);
  UpdateBufferCount();
}

} // namespace ztl
