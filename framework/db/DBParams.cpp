// The framework's parameters and parameter list.
#include "framework/db/DBParams.h"

#include <algorithm>

#include "framework/db/DBConsts.h"
#include "framework/db/DBErrors.h"
#include "framework/db/Fields.h"

namespace ztl {

namespace {
// The field type that describes a value's kind.
TFieldType TypeOfValue(const Variant& V) {
  switch (V.VarType()) {
  case varSmallint:
  case varByte:
    return ftSmallint;
  case varInteger:
    return ftInteger;
  case varInt64:
    return ftLargeint;
  case varSingle:
  case varDouble:
    return ftFloat;
  case varCurrency:
    return ftCurrency;
  case varDate:
    return ftDateTime;
  case varBoolean:
    return ftBoolean;
  case varString:
  case varOleStr:
    return ftString;
  case varArray | varByte:
    return ftBlob;
  default:
    return ftUnknown;
  }
}
} // namespace

// ---- TParam ---------------------------------------------------------------------

TParam::TParam(std::string AName, TFieldType ADataType, TParamType AParamType)
    : FName(std::move(AName)), FDataType(ADataType), FParamType(AParamType) {}

void TParam::SetValue(const Variant& V) {
  FValue = V;
  FBound = !V.IsEmpty();
  if (FDataType == ftUnknown)
    FDataType = TypeOfValue(V);
}

void TParam::SetAsString(const std::string& V) {
  FDataType = ftString;
  SetValue(Variant(V));
}

void TParam::SetAsInteger(std::int32_t V) {
  FDataType = ftInteger;
  SetValue(Variant(V));
}

void TParam::SetAsFloat(double V) {
  FDataType = ftFloat;
  SetValue(Variant(V));
}

void TParam::SetAsBoolean(bool V) {
  FDataType = ftBoolean;
  SetValue(Variant(V));
}

void TParam::SetAsDateTime(TDateTime V) {
  FDataType = ftDateTime;
  SetValue(VarFromDateTime(V));
}

void TParam::AssignField(const TField* Field) {
  if (!Field)
    return;
  FName = Field->FieldName();
  FDataType = Field->DataType();
  FValue = Field->IsNull() ? Variant::Null() : Field->Value();
  FBound = true;
}

void TParam::Assign(const TParam& Source) {
  if (&Source == this)
    return;
  FName = Source.FName;
  FDataType = Source.FDataType;
  FParamType = Source.FParamType;
  FValue = Source.FValue;
  FBound = Source.FBound;
}

void TParam::Assign(const TPersistent* Source) {
  if (auto* Param = dynamic_cast<const TParam*>(Source)) {
    Assign(*Param);
    return;
  }
  if (auto* Field = dynamic_cast<const TField*>(Source)) {
    AssignField(Field);
    return;
  }
  TPersistent::Assign(Source);
}

void TParam::AssignTo(TPersistent* Dest) const {
  if (auto* Field = dynamic_cast<TField*>(Dest)) {
    Field->SetValue(FValue);
    return;
  }
  TPersistent::AssignTo(Dest);
}

// ---- TParams --------------------------------------------------------------------

TParams::~TParams() {
  Clear();
}

TParam& TParams::operator[](int Index) const {
  if (Index < 0 || Index >= Count())
    TList::Error(Index);
  return *Items[static_cast<std::size_t>(Index)];
}

TParam& TParams::CreateParam(TFieldType FieldType, const std::string& Name, TParamType ParamType) {
  return AddParam(std::make_unique<TParam>(Name, FieldType, ParamType));
}

TParam& TParams::AddParam(std::unique_ptr<TParam> Param) {
  if (!Param)
    TList::Error(-1);
  if (Param->FCollection)
    Param->FCollection->RemoveParam(*Param).release();
  Param->FCollection = this;
  Items.push_back(std::move(Param));
  return *Items.back();
}

std::unique_ptr<TParam> TParams::RemoveParam(TParam& Param) {
  auto It = std::find_if(Items.begin(), Items.end(), [&](auto& P) { return P.get() == &Param; });
  if (It == Items.end())
    return nullptr;
  std::unique_ptr<TParam> Result = std::move(*It);
  Items.erase(It);
  Result->FCollection = nullptr;
  return Result;
}

TParam* TParams::FindParam(const std::string& Name) const {
  for (const auto& Param : Items)
    if (AnsiSameText(Param->Name(), Name))
      return Param.get();
  return nullptr;
}

TParam& TParams::ParamByName(const std::string& Name) const {
  TParam* Param = FindParam(Name);
  if (!Param)
    DatabaseErrorFmt(SParameterNotFound, {Name});
  return *Param;
}

void TParams::Clear() {
  while (!Items.empty()) {
    Items.back()->FCollection = nullptr;
    Items.pop_back();
  }
}

void TParams::Assign(const TParams& Source) {
  if (&Source == this)
    return;
  // Build the copy first so that a failure leaves this list as it was.
  std::vector<std::unique_ptr<TParam>> Copy;
  for (const auto& Param : Source.Items) {
    auto Item = std::make_unique<TParam>();
    Item->Assign(*Param);
    Copy.push_back(std::move(Item));
  }
  Clear();
  for (auto& Item : Copy)
    AddParam(std::move(Item));
}

void TParams::Assign(const TPersistent* Source) {
  if (auto* Params = dynamic_cast<const TParams*>(Source)) {
    Assign(*Params);
    return;
  }
  TPersistent::Assign(Source);
}

} // namespace ztl
