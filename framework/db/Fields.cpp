// Field definitions, the field base class and a dataset's field list.
#include "framework/db/Fields.h"

#include <algorithm>
#include <cstring>

#include "framework/classes/FormFiles.h"
#include "framework/db/DBConsts.h"
#include "framework/db/DBErrors.h"
#include "framework/db/DataSet.h"

namespace ztl {

// ---- TFieldDef -------------------------------------------------------------------

TFieldDef::TFieldDef(TFieldDefs* AOwner, std::string AName, TFieldType ADataType, std::size_t ASize,
                     bool ARequired, int AFieldNo)
    : Name(std::move(AName)), DataType(ADataType), Size(ASize), FieldNo(AFieldNo), FOwner(AOwner) {
  SetRequired(ARequired);
}

void TFieldDef::SetRequired(bool Value) {
  if (Value)
    Attributes.Include(faRequired);
  else
    Attributes.Exclude(faRequired);
}

TField* TFieldDef::CreateField(TComponent* Owner) {
  TField* Field = CreateFieldOfType(DataType, Owner);
  if (!Field)
    return nullptr;
  // Until the field is attached, the owner (or we) must free it on failure.
  try {
    Field->SetFieldName(Name);
    if (DataType == ftString || DataType == ftWideString || DataType == ftBytes ||
        DataType == ftVarBytes || DataType == ftBCD)
      Field->SetSize(Size);
    Field->SetRequired(Required());
    Field->SetReadOnly(Attributes.Contains(faReadonly));
    // Tested first: every field of every open passes here, and the cast
    // walks the class tree.
    if (Precision > 0)
      if (auto* Float = dynamic_cast<TFloatField*>(Field))
        Float->Precision = Precision;
    if (FOwner && FOwner->DataSet())
      Field->SetDataSet(FOwner->DataSet());
  } catch (...) {
    delete Field;
    throw;
  }
  return Field;
}

void TFieldDef::Assign(const TPersistent* Source) {
  if (auto* Other = dynamic_cast<const TFieldDef*>(Source)) {
    Name = Other->Name;
    DataType = Other->DataType;
    Size = Other->Size;
    Precision = Other->Precision;
    Attributes = Other->Attributes;
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TFieldDefs ----------------------------------------------------------------------

TFieldDefs::TFieldDefs(TDataSet* ADataSet) : FDataSet(ADataSet) {}

TFieldDefs::~TFieldDefs() = default;

TFieldDef& TFieldDefs::Add(const std::string& Name, TFieldType DataType, std::size_t Size,
                           bool Required) {
  if (IndexOf(Name) >= 0)
    DatabaseErrorFmt(SDuplicateFieldName, {Name}, FDataSet);
  Items.push_back(std::make_unique<TFieldDef>(this, Name, DataType, Size, Required, Count() + 1));
  return *Items.back();
}

TFieldDef& TFieldDefs::AddFieldDef() {
  Items.push_back(
      std::make_unique<TFieldDef>(this, std::string(), ftUnknown, 0, false, Count() + 1));
  return *Items.back();
}

void TFieldDefs::Clear() {
  Items.clear();
}

TFieldDef& TFieldDefs::operator[](int Index) const {
  if (Index < 0 || Index >= Count())
    TList::Error(Index);
  return *Items[static_cast<std::size_t>(Index)];
}

int TFieldDefs::IndexOf(const std::string& Name) const {
  for (std::size_t I = 0; I < Items.size(); ++I)
    if (AnsiSameText(Items[I]->Name, Name))
      return static_cast<int>(I);
  return -1;
}

TFieldDef& TFieldDefs::Find(const std::string& Name) const {
  int Index = IndexOf(Name);
  if (Index < 0)
    DatabaseErrorFmt(SFieldNotFound, {Name}, FDataSet);
  return *Items[static_cast<std::size_t>(Index)];
}

void TFieldDefs::Update() {
  if (Updated || !FDataSet)
    return;
  FDataSet->InitFieldDefs();
  Updated = true;
}

void TFieldDefs::Assign(const TPersistent* Source) {
  if (auto* Other = dynamic_cast<const TFieldDefs*>(Source)) {
    if (Other == this)
      return;
    Clear();
    for (const auto& Def : Other->Items) {
      TFieldDef& Copy = AddFieldDef();
      Copy.Assign(Def.get());
    }
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TField ------------------------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  Destroying();
  if (FDataSet) {
    TDataSet* DataSet = FDataSet;
    DataSet->FFields.Remove(this);
    FDataSet = nullptr;
  }
  SetLookupDataSet(nullptr);
}

void TField::CheckInactive() const {
  if (FDataSet)
    FDataSet->CheckInactive();
}

void TField::SetFieldName(const std::string& Value) {
  if (Value == FFieldName)
    return;
  if (FDataSet) {
    FDataSet->CheckInactive();
    TField* Other = FDataSet->FindField(Value);
    if (Other && Other != this)
      DatabaseErrorFmt(SDuplicateFieldName, {Value}, FDataSet);
  }
  FFieldName = Value;
  if (FDataSet)
    FDataSet->DataEvent(deFieldListChange);
}

void TField::SetDisplayLabel(const std::string& Value) {
  if (Value == FDisplayLabel)
    return;
  FDisplayLabel = Value;
  if (FDataSet && FDataSet->Active())
    FDataSet->DataEvent(deLayoutChange);
}

void TField::SetVisible(bool Value) {
  if (Value == FVisible)
    return;
  FVisible = Value;
  LayoutChanged();
}

void TField::LayoutChanged() {
  if (FDataSet && FDataSet->Active())
    FDataSet->DataEvent(deLayoutChange);
}

void TField::SetAlignment(TAlignment Value) {
  if (Value == FAlignment)
    return;
  FAlignment = Value;
  LayoutChanged();
}

void TField::SetDisplayWidth(int Value) {
  // Negative widths mean nothing; they count as "not set" like 0.
  Value = std::max(Value, 0);
  if (Value == FDisplayWidth)
    return;
  FDisplayWidth = Value;
  LayoutChanged();
}

void TField::SetDisplayFormat(const std::string& Value) {
  if (Value == FDisplayFormat)
    return;
  FDisplayFormat = Value;
  LayoutChanged();
}

TComponent* TField::GetParentComponent() const {
  return FDataSet;
}

void TField::SetParentComponent(TComponent* Value) {
  // Only a dataset takes fields; read inside anything else (the form, when a
  // field without a dataset was saved) the field simply stays unattached.
  if (auto* DataSet = dynamic_cast<TDataSet*>(Value))
    SetDataSet(DataSet);
}

void TField::DefineProperties(TFiler* Filer) {
  TComponent::DefineProperties(Filer);
  const auto* Ancestor = dynamic_cast<const TField*>(Filer->GetAncestor());
  auto KindFlag = [this, Filer, Ancestor](const char* Name, TFieldKind Kind) {
    Filer->DefineProperty(
        Name,
        [this, Kind](TReader& Reader) {
          if (Reader.ReadBoolean())
            SetFieldKind(Kind);
          else if (FFieldKind == Kind)
            SetFieldKind(fkData);
        },
        [](TWriter& Writer) { Writer.WriteBoolean(true); },
        FFieldKind == Kind && !(Ancestor && Ancestor->FFieldKind == Kind));
  };
  KindFlag("Calculated", fkCalculated);
  KindFlag("Lookup", fkLookup);
}

int TField::Index() const {
  return FDataSet ? FDataSet->FFields.IndexOf(this) : -1;
}

void TField::SetIndex(int Value) {
  if (!FDataSet)
    return;
  FDataSet->FFields.Move(this, Value);
  FDataSet->DataEvent(deFieldListChange);
}

void TField::SetFieldKind(TFieldKind Value) {
  if (Value == FFieldKind)
    return;
  CheckInactive();
  FFieldKind = Value;
  FFieldNo = 0;
}

void TField::SetSize(std::size_t Value) {
  CheckInactive();
  FSize = Value;
}

bool TField::CanModify() const {
  if (FReadOnly || !FDataSet)
    return false;
  if (FFieldKind == fkData && FFieldNo <= 0 && FDataSet->Active())
    return false;
  return FDataSet->CanModify();
}

void TField::SetDataSet(TDataSet* ADataSet) {
  if (ADataSet == FDataSet)
    return;
  if (FDataSet)
    FDataSet->CheckInactive();
  if (ADataSet) {
    ADataSet->CheckInactive();
    if (!FFieldName.empty() && ADataSet->FindField(FFieldName))
      DatabaseErrorFmt(SDuplicateFieldName, {FFieldName}, ADataSet);
  }
  if (TDataSet* Old = FDataSet) {
    Old->FFields.Remove(this);
    FDataSet = nullptr;
    Old->DataEvent(deFieldListChange);
  }
  if (ADataSet) {
    ADataSet->FFields.Add(this);
    FDataSet = ADataSet;
    ADataSet->DataEvent(deFieldListChange);
  }
}

void TField::SetLookupDataSet(TDataSet* Value) {
  if (Value == FLookupDataSet)
    return;
  if (FLookupDataSet)
    RemoveFreeNotification(FLookupDataSet);
  FLookupDataSet = Value;
  if (FLookupDataSet)
    FreeNotification(FLookupDataSet);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FLookupDataSet)
    FLookupDataSet = nullptr;
}

bool TField::GetData(void* Buffer) const {
  if (FValidating) {
    if (!FValidateBuffer)
      return false;
    if (Buffer)
      std::memcpy(Buffer, FValidateBuffer, DataSize());
    return true;
  }
  if (!FDataSet)
    DatabaseErrorFmt(SDataSetMissing, {DisplayName()});
  return FDataSet->GetFieldData(const_cast<TField*>(this), Buffer);
}

void TField::SetData(const void* Buffer) {
  if (!FDataSet)
    DatabaseErrorFmt(SDataSetMissing, {DisplayName()});
  FDataSet->SetFieldData(this, Buffer);
}

void TField::Validate(const void* Buffer) {
  if (!OnValidate)
    return;
  struct TCandidate {
    TField& Field;
    TCandidate(TField& F, const void* B) : Field(F) {
      Field.FValidating = true;
      Field.FValidateBuffer = B;
    }
    ~TCandidate() {
      Field.FValidating = false;
      Field.FValidateBuffer = nullptr;
    }
  } Candidate(*this, Buffer);
  OnValidate(this);
}

void TField::Change() {
  if (OnChange)
    OnChange(this);
}

void TField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else
    SetVarValue(V);
}

Variant TField::GetAsVariant() const {
  AccessError("Variant");
}
void TField::SetVarValue(const Variant&) {
  AccessError("Variant");
}
std::string TField::GetAsString() const {
  AccessError("String");
}
void TField::SetAsString(const std::string&) {
  AccessError("String");
}
std::int32_t TField::GetAsInteger() const {
  AccessError("Integer");
}
void TField::SetAsInteger(std::int32_t) {
  AccessError("Integer");
}
void TField::SetAsLargeInt(std::int64_t Value) {
  if (Value < INT32_MIN || Value > INT32_MAX)
    RangeError(IntToStr(Value), IntToStr(INT32_MIN), IntToStr(INT32_MAX));
  SetAsInteger(static_cast<std::int32_t>(Value));
}
double TField::GetAsFloat() const {
  AccessError("Float");
}
void TField::SetAsFloat(double) {
  AccessError("Float");
}
bool TField::GetAsBoolean() const {
  AccessError("Boolean");
}
void TField::SetAsBoolean(bool) {
  AccessError("Boolean");
}
TDateTime TField::GetAsDateTime() const {
  AccessError("DateTime");
}
void TField::SetAsDateTime(TDateTime) {
  AccessError("DateTime");
}

void TField::AccessError(const char* TypeName) const {
  DatabaseErrorFmt(SFieldAccessError, {DisplayName(), TypeName});
}

void TField::RangeError(const std::string& Value, const std::string& Min,
                        const std::string& Max) const {
  DatabaseErrorFmt(SFieldRangeError, {Value, DisplayName(), Min, Max});
}

void TField::InvalidValue(const char* Msg, const std::string& Value) const {
  DatabaseErrorFmt(Msg, {Value, DisplayName()});
}

Variant TField::OldValue() const {
  if (!FDataSet)
    DatabaseErrorFmt(SDataSetMissing, {DisplayName()});
  TTempState Temp(*FDataSet, dsOldValue);
  return GetAsVariant();
}

Variant TField::NewValue() const {
  if (!FDataSet)
    DatabaseErrorFmt(SDataSetMissing, {DisplayName()});
  TTempState Temp(*FDataSet, dsNewValue);
  return GetAsVariant();
}

Variant TField::CurValue() const {
  if (!FDataSet)
    DatabaseErrorFmt(SDataSetMissing, {DisplayName()});
  TTempState Temp(*FDataSet, dsCurValue);
  return GetAsVariant();
}

void TField::FocusControl() {
  if (!FDataSet)
    return;
  TDataEventInfo Info;
  Info.Field = this;
  FDataSet->DataEvent(deFocusControl, Info);
}

void TField::Assign(const TPersistent* Source) {
  if (Source == this)
    return;
  if (auto* Other = dynamic_cast<const TField*>(Source)) {
    if (Other->IsNull())
      Clear();
    else
      SetValue(Other->Value());
    return;
  }
  TComponent::Assign(Source);
}

// ---- TFields -----------------------------------------------------------------------------

TField* TFields::operator[](int Index) const {
  if (Index < 0 || Index >= Count())
    DatabaseError(SFieldIndexError, FDataSet);
  return List[static_cast<std::size_t>(Index)];
}

TField* TFields::FindField(const std::string& Name) const {
  for (TField* Field : List)
    if (AnsiSameText(Field->FieldName(), Name))
      return Field;
  return nullptr;
}

TField* TFields::FieldByName(const std::string& Name) const {
  TField* Field = FindField(Name);
  if (!Field)
    DatabaseErrorFmt(SFieldNotFound, {Name}, FDataSet);
  return Field;
}

TField* TFields::FieldByNumber(int FieldNo) const {
  if (FieldNo <= 0)
    return nullptr;
  for (TField* Field : List)
    if (Field->FieldNo() == FieldNo && Field->FieldKind() == fkData)
      return Field;
  return nullptr;
}

int TFields::IndexOf(const TField* Field) const {
  auto It = std::find(List.begin(), List.end(), Field);
  return It == List.end() ? -1 : static_cast<int>(It - List.begin());
}

void TFields::Add(TField* Field) {
  List.push_back(Field);
}

void TFields::Remove(TField* Field) {
  std::erase(List, Field);
}

void TFields::Move(TField* Field, int NewIndex) {
  int Old = IndexOf(Field);
  if (Old < 0)
    return;
  NewIndex = std::clamp(NewIndex, 0, Count() - 1);
  List.erase(List.begin() + Old);
  List.insert(List.begin() + NewIndex, Field);
}

} // namespace ztl
