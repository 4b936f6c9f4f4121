// The parameter collection: ownership of its parameters, lookup by position,
// name and alias, comparison, and copying from other collections and from
// the framework's parameter list.
#include <algorithm>

#include "core/ZtlConsts.h"
#include "core/ZtlErrors.h"
#include "dataset/ZtlParams.h"
#include "framework/db/DBParams.h"

namespace ztl {

namespace {

TZantrelParamType FromFrameworkParamType(TParamType Type) {
  switch (Type) {
  case ptInput:
    return nptInput;
  case ptOutput:
    return nptOutput;
  case ptInputOutput:
    return nptInputOutput;
  case ptResult:
    return nptResult;
  default:
    return nptUnknown;
  }
}

[[noreturn]] void ParamNotFound(const std::string& Name) {
  throw EZantrelException(LoadZtlStrFmt(ZTL_ERR_PARAM_NOT_FOUND, {Name}), 0);
}

} // namespace

TZantrelParams::TZantrelParams(TComponent* AOwner) : Owner(AOwner) {}

TZantrelParams::~TZantrelParams() {
  Clear();
}

// ---- membership --------------------------------------------------------------

TZantrelParam* TZantrelParams::CreateParam(const std::string& AName) {
  return new TZantrelParam(this, AName); // owned by this collection from here on
}

void TZantrelParams::AddParam(TZantrelParam* Param) {
  if (!Param)
    return;
  // A parameter listed twice, here or in two collections, would be freed
  // twice; it moves instead.
  if (Param->Params)
    Param->Params->DetachParam(Param);
  Items.push_back(Param);
  Param->Params = this;
}

void TZantrelParams::RemoveParam(TZantrelParam* Param) {
  if (Param && Param->Params == this)
    DetachParam(Param);
}

void TZantrelParams::DetachParam(TZantrelParam* Param) {
  // Searched from the end: Clear frees the last parameter first, so this
  // stays constant time there.
  const auto It = std::find(Items.rbegin(), Items.rend(), Param);
  if (It != Items.rend())
    Items.erase(std::next(It).base());
  Param->Params = nullptr;
}

void TZantrelParams::Clear() {
  while (!Items.empty()) {
    TZantrelParam* Last = Items.back();
    Items.pop_back();
    Last->Params = nullptr;
    delete Last;
  }
}

// ---- lookup ------------------------------------------------------------------

TZantrelParam* TZantrelParams::GetParam(int Index) const {
  if (Index < 0 || Index >= Count())
    TList::Error(Index);
  // The first parameter of the entry's name is the entry itself or one
  // before it, so the search stops there without comparing the entry's
  // name with itself.
  TZantrelParam* const Entry = Items[static_cast<std::size_t>(Index)];
  for (std::size_t I = 0; I < static_cast<std::size_t>(Index); ++I)
    if (AnsiSameText(Items[I]->Name, Entry->Name))
      return Items[I];
  return Entry;
}

TZantrelParam* TZantrelParams::GetItem(int Index) const {
  if (Index < 0 || Index >= Count())
    TList::Error(Index);
  return Items[static_cast<std::size_t>(Index)];
}

TZantrelParam* TZantrelParams::FindParam(const std::string& AName) const {
  for (TZantrelParam* Param : Items)
    if (AnsiSameText(Param->Name, AName))
      return Param;
  return nullptr;
}

TZantrelParam* TZantrelParams::ParamByName(const std::string& AName) const {
  TZantrelParam* Param = FindParam(AName);
  if (!Param)
    ParamNotFound(AName);
  return Param;
}

TZantrelParam* TZantrelParams::ParamByAlias(const std::string& AAlias) const {
  for (TZantrelParam* Param : Items)
    if (AnsiSameText(Param->Alias, AAlias))
      return Param;
  ParamNotFound(AAlias);
}

bool TZantrelParams::IsEqual(const TZantrelParams* Other) const {
  if (!Other || Other->Count() != Count())
    return false;
  for (int I = 0; I < Count(); ++I)
    if (!GetParam(I)->IsEqual(Other->GetParam(I)))
      return false;
  return true;
}

// ---- assignment --------------------------------------------------------------

void TZantrelParams::Assign(const TPersistent* Source) {
  if (const auto* Params = dynamic_cast<const TZantrelParams*>(Source)) {
    // Clearing first would empty the source too: a collection assigned to
    // itself stays as it is.
    if (Params == this)
      return;
    Clear();
    for (int I = 0; I < Params->Count(); ++I)
      CreateParam()->Assign(Params->GetParam(I));
    return;
  }
  if (const auto* Params = dynamic_cast<const TParams*>(Source)) {
    Assign(*Params);
    return;
  }
  TPersistent::Assign(Source);
}

void TZantrelParams::Assign(const TParams& Source) {
  Clear();
  for (int I = 0; I < Source.Count(); ++I) {
    const TParam& Item = Source[I];
    TZantrelParam* Param = CreateParam(Item.Name());
    Param->Alias = Item.Name();
    Param->ParamType = FromFrameworkParamType(Item.ParamType());
    Param->SetAsVariant(Item.Value());
  }
}

void TZantrelParams::AssignTo(TPersistent* Dest) const {
  if (auto* Params = dynamic_cast<TZantrelParams*>(Dest)) {
    Params->Assign(this);
    return;
  }
  TPersistent::AssignTo(Dest);
}

void TZantrelParams::AssignValues(const TZantrelParams* Source) {
  if (!Source)
    return;
  for (int I = 0; I < Count(); ++I) {
    TZantrelParam* Own = GetParam(I);
    for (int J = 0; J < Source->Count(); ++J) {
      const TZantrelParam* Other = Source->GetParam(J);
      if (Other->Name == Own->Name) {
        Own->Assign(Other);
        break;
      }
    }
  }
}

} // namespace ztl
