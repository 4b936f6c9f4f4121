// Index definitions and their list.
#include "framework/db/IndexDefs.h"

#include <algorithm>

#include "framework/db/DBErrors.h"

namespace ztl {

inline constexpr const char* SIndexNotFound = "Index '%s' not found";

TIndexDef::TIndexDef(std::string AName, std::string AFields, TIndexOptions AOptions)
    : Name(std::move(AName)), Fields(std::move(AFields)), Options(AOptions) {}

TIndexDef::~TIndexDef() = default;

void TIndexDef::Assign(const TPersistent* Source) {
  if (auto* Other = dynamic_cast<const TIndexDef*>(Source)) {
    if (Other == this)
      return;
    Name = Other->Name;
    Fields = Other->Fields;
    DescFields = Other->DescFields;
    CaseInsFields = Other->CaseInsFields;
    Options = Other->Options;
    return;
  }
  TPersistent::Assign(Source);
}

TIndexDefs::~TIndexDefs() {
  Clear();
}

TIndexDef& TIndexDefs::Add(const std::string& Name, const std::string& Fields,
                           TIndexOptions Options) {
  return AddIndexDef(std::make_unique<TIndexDef>(Name, Fields, Options));
}

TIndexDef& TIndexDefs::AddIndexDef(std::unique_ptr<TIndexDef> Def) {
  if (!Def)
    throw EListError(Format(SListIndexError, {std::int64_t{-1}}));
  if (Def->FCollection)
    Def->FCollection->Extract(*Def).release();
  Def->FCollection = this;
  Items.push_back(std::move(Def));
  return *Items.back();
}

std::unique_ptr<TIndexDef> TIndexDefs::Extract(TIndexDef& Def) {
  auto It = std::find_if(Items.begin(), Items.end(), [&](auto& P) { return P.get() == &Def; });
  if (It == Items.end())
    return nullptr;
  std::unique_ptr<TIndexDef> Result = std::move(*It);
  Items.erase(It);
  Result->FCollection = nullptr;
  return Result;
}

void TIndexDefs::Clear() {
  while (!Items.empty()) {
    Items.back()->FCollection = nullptr;
    Items.pop_back();
  }
}

TIndexDef& TIndexDefs::operator[](int Index) const {
  if (Index < 0 || Index >= Count())
    TList::Error(Index);
  return *Items[static_cast<std::size_t>(Index)];
}

int TIndexDefs::IndexOf(const std::string& Name) const {
  for (std::size_t I = 0; I < Items.size(); ++I)
    if (AnsiSameText(Items[I]->Name, Name))
      return static_cast<int>(I);
  return -1;
}

TIndexDef& TIndexDefs::Find(const std::string& Name) const {
  int Index = IndexOf(Name);
  if (Index < 0)
    DatabaseErrorFmt(SIndexNotFound, {Name});
  return *Items[static_cast<std::size_t>(Index)];
}

void TIndexDefs::Assign(const TPersistent* Source) {
  if (auto* Other = dynamic_cast<const TIndexDefs*>(Source)) {
    if (Other == this)
      return;
    Clear();
    for (auto& Item : Other->Items) {
      auto Copy = std::make_unique<TIndexDef>();
      Copy->Assign(Item.get());
      AddIndexDef(std::move(Copy));
    }
    return;
  }
  TPersistent::Assign(Source);
}

} // namespace ztl
