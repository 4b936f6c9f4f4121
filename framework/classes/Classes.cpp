// Lists, persistent objects and components.
#include "framework/classes/Classes.h"

#include <algorithm>

namespace ztl {

// ---- TList ------------------------------------------------------------------

void TList::Error(int Index) {
  throw EListError(Format(SListIndexError, {std::int64_t{Index}}));
}

void TList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count())
    Error(Index);
}

int TList::Add(void* Item) {
  Items.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count())
    Error(Index);
  Items.insert(Items.begin() + Index, Item);
}

void TList::Delete(int Index) {
  CheckIndex(Index);
  Items.erase(Items.begin() + Index);
}

int TList::Remove(void* Item) {
  int Index = IndexOf(Item);
  if (Index >= 0)
    Items.erase(Items.begin() + Index);
  return Index;
}

void* TList::Extract(void* Item) {
  return Remove(Item) >= 0 ? Item : nullptr;
}

int TList::IndexOf(const void* Item) const {
  auto It = std::find(Items.begin(), Items.end(), Item);
  return It == Items.end() ? -1 : static_cast<int>(It - Items.begin());
}

void TList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(Items[static_cast<std::size_t>(Index1)], Items[static_cast<std::size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex)
    return;
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  void* Item = Items[static_cast<std::size_t>(CurIndex)];
  Items.erase(Items.begin() + CurIndex);
  Items.insert(Items.begin() + NewIndex, Item);
}

void* TList::Get(int Index) const {
  CheckIndex(Index);
  return Items[static_cast<std::size_t>(Index)];
}

void TList::Put(int Index, void* Item) {
  CheckIndex(Index);
  Items[static_cast<std::size_t>(Index)] = Item;
}

// ---- TPersistent ------------------------------------------------------------

std::string TPersistent::GetNamePath() const {
  std::string Path = ClassName();
  if (const TPersistent* Owner = GetOwner()) {
    const std::string OwnerPath = Owner->GetNamePath();
    if (!OwnerPath.empty())
      Path = OwnerPath + "." + Path;
  }
  return Path;
}

void TPersistent::Assign(const TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError(Format(SAssignError, {"nil", ClassName()}));
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  std::string Target = Dest ? Dest->ClassName() : std::string("nil");
  throw EConvertError(Format(SAssignError, {ClassName(), Target}));
}

void TPersistent::DefineProperties(TFiler*) {}

// ---- TComponent -------------------------------------------------------------

bool IsValidIdent(std::string_view Ident) {
  if (Ident.empty())
    return false;
  auto IsAlpha = [](char C) {
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
  };
  if (!IsAlpha(Ident[0]))
    return false;
  for (char C : Ident)
    if (!IsAlpha(C) && !(C >= '0' && C <= '9'))
      return false;
  return true;
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner)
    AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked about us; they may ask to be removed in turn,
  // so take them one at a time from the end.
  while (!FreeNotifies.empty()) {
    TComponent* Other = FreeNotifies.back();
    FreeNotifies.pop_back();
    auto& Theirs = Other->FreeNotifies;
    Theirs.erase(std::remove(Theirs.begin(), Theirs.end(), this), Theirs.end());
    Other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (Owner)
    Owner->RemoveComponent(this);
}

void TComponent::Destroying() {
  ComponentState.Include(csDestroying);
}

void TComponent::DestroyComponents() {
  while (!Components.empty()) {
    TComponent* Child = Components.back();
    // The child removes itself from us in its destructor.
    delete Child;
  }
}

TComponent* TComponent::GetComponent(int Index) const {
  if (Index < 0 || Index >= GetComponentCount())
    TList::Error(Index);
  return Components[static_cast<std::size_t>(Index)];
}

int TComponent::GetComponentIndex() const {
  if (!Owner)
    return -1;
  auto& Siblings = Owner->Components;
  auto It = std::find(Siblings.begin(), Siblings.end(), this);
  return It == Siblings.end() ? -1 : static_cast<int>(It - Siblings.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty())
    return nullptr;
  for (TComponent* C : Components)
    if (SameText(C->Name, AName))
      return C;
  return nullptr;
}

const std::string& TComponent::GetMethodName(std::string_view Event) const {
  static const std::string None;
  for (const auto& [Prop, Handler] : MethodNames)
    if (SameText(Prop, Event))
      return Handler;
  return None;
}

void TComponent::SetMethodName(std::string_view Event, const std::string& Handler) {
  for (auto It = MethodNames.begin(); It != MethodNames.end(); ++It)
    if (SameText(It->first, Event)) {
      if (Handler.empty())
        MethodNames.erase(It);
      else
        It->second = Handler;
      return;
    }
  if (!Handler.empty())
    MethodNames.emplace_back(std::string(Event), Handler);
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) {
  if (AComponent && !SameText(CurName, NewName) && !NewName.empty()) {
    TComponent* Other = FindComponent(NewName);
    if (Other && Other != AComponent)
      throw EComponentError(Format("A component named %s already exists", {NewName}));
  }
}

void TComponent::SetName(const std::string& NewName) {
  if (Name == NewName)
    return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError(Format("'%s' is not a valid component name", {NewName}));
  if (Owner)
    Owner->ValidateRename(this, Name, NewName);
  Name = NewName;
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    ComponentState.Include(csDesigning);
  else
    ComponentState.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* C : Components)
      C->SetDesigning(Value, true);
}

void TComponent::SetLoadingState(bool Loading) {
  if (Loading)
    ComponentState.Include(csLoading);
  else
    ComponentState.Exclude(csLoading);
}

void TComponent::SetReadingState(bool Reading) {
  if (Reading)
    ComponentState.Include(csReading);
  else
    ComponentState.Exclude(csReading);
}

void TComponent::SetAncestorState(bool Ancestor) {
  if (Ancestor)
    ComponentState.Include(csAncestor);
  else
    ComponentState.Exclude(csAncestor);
}

void TComponent::InsertInto(TComponent* AComponent) {
  Components.push_back(AComponent);
  AComponent->Owner = this;
}

void TComponent::RemoveFrom(TComponent* AComponent) {
  Components.erase(std::remove(Components.begin(), Components.end(), AComponent), Components.end());
  AComponent->Owner = nullptr;
}

void TComponent::NotifyAll(TComponent* AComponent, TOperation Operation) {
  Notification(AComponent, Operation);
  // A handler may destroy siblings; walk a copy and skip those gone. Every
  // field a dataset creates or frees comes through here, so a small copy
  // stays on the stack, and a sibling still at its place in an unchanged
  // list needs no search.
  constexpr std::size_t InlineCount = 16;
  TComponent* Inline[InlineCount];
  std::vector<TComponent*> Heap;
  const std::size_t Count = Components.size();
  TComponent** Snapshot = Inline;
  if (Count > InlineCount) {
    Heap = Components;
    Snapshot = Heap.data();
  } else {
    std::copy(Components.begin(), Components.end(), Inline);
  }
  for (std::size_t I = 0; I < Count; ++I) {
    TComponent* C = Snapshot[I];
    const bool InPlace = Components.size() == Count && Components[I] == C;
    if (InPlace || std::find(Components.begin(), Components.end(), C) != Components.end())
      C->Notification(AComponent, Operation);
  }
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->Owner == this)
    return;
  if (AComponent->Owner)
    AComponent->Owner->RemoveComponent(AComponent);
  ValidateRename(AComponent, std::string(), AComponent->Name);
  InsertInto(AComponent);
  if (InState(csDesigning))
    AComponent->SetDesigning(true);
  NotifyAll(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->Owner != this)
    return;
  NotifyAll(AComponent, opRemove);
  RemoveFrom(AComponent);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this)
    return;
  if (std::find(FreeNotifies.begin(), FreeNotifies.end(), AComponent) == FreeNotifies.end())
    FreeNotifies.push_back(AComponent);
  auto& Theirs = AComponent->FreeNotifies;
  if (std::find(Theirs.begin(), Theirs.end(), this) == Theirs.end())
    Theirs.push_back(this);
  ComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  // The two lists always name each other, so an empty list of ours means no
  // list names us; every removal of an owned component comes through here
  // once per sibling.
  if (!AComponent || FreeNotifies.empty())
    return;
  FreeNotifies.erase(std::remove(FreeNotifies.begin(), FreeNotifies.end(), AComponent),
                     FreeNotifies.end());
  auto& Theirs = AComponent->FreeNotifies;
  Theirs.erase(std::remove(Theirs.begin(), Theirs.end(), this), Theirs.end());
}

void TComponent::Loaded() {
  ComponentState.Exclude(csLoading);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent)
    RemoveFreeNotification(AComponent);
}

} // namespace ztl
