// The class registry, the enumeration registry and the published-property
// descriptions, with the text form of property values used by the inspector
// and the form printer.
#include "framework/classes/TypInfo.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cxxabi.h>
#include <unordered_map>

#include "framework/classes/Strings.h"

namespace ztl {

namespace {

// Everything registered. Entries are never removed, so pointers to them stay
// valid for the life of the process.
struct TRegistry {
  bool Initialized = false;                                // standard classes registered
  std::vector<std::unique_ptr<TClassInfo>> Classes;        // in registration order
  std::unordered_map<std::type_index, TClassInfo*> ByType; // C++ class -> entry
  std::unordered_map<std::string, TClassInfo*> ByName;     // upper-case name -> entry
  std::unordered_map<std::type_index, std::unique_ptr<TEnumInfo>> Enums;
  // Dynamic type -> most derived registered class (null: none); cleared
  // whenever a class is registered.
  std::unordered_map<std::type_index, const TClassInfo*> InstanceCache;
};

TRegistry& RawRegistry() {
  static TRegistry R;
  return R;
}

void RegisterStandardClasses() {
  RegisterClass<TPersistent, TPersistent>();
  RegisterClass<TComponent, TPersistent>();
  // The name travels in the object header, not as a property, but the
  // inspector shows and edits it.
  RegisterProperty<TComponent>("Name", &TComponent::GetName, &TComponent::SetName).Streamed = false;
  RegisterProperty<TComponent>(
      "Tag", [](const TComponent& C) { return C.Tag; },
      [](TComponent& C, std::int64_t V) { C.Tag = V; }, 0);
  RegisterClass<TStrings, TPersistent>();
  RegisterClass<TStringList, TStrings>();
}

// The registry, with the standard classes in it. The flag is set before
// registering them because registration itself comes back here.
TRegistry& Registry() {
  TRegistry& R = RawRegistry();
  if (!R.Initialized) {
    R.Initialized = true;
    RegisterStandardClasses();
  }
  return R;
}

int Depth(const TClassInfo* Info) {
  int D = 0;
  for (; Info; Info = Info->GetParent())
    ++D;
  return D;
}

std::string FloatText(double Value) {
  char Buffer[64];
  auto Result = std::to_chars(Buffer, Buffer + sizeof(Buffer), Value);
  return std::string(Buffer, Result.ptr);
}

} // namespace

// ---- TEnumInfo ---------------------------------------------------------------

std::string TEnumInfo::GetName(std::int64_t Ordinal) const {
  if (Ordinal < 0 || Ordinal >= static_cast<std::int64_t>(Names.size()))
    return {};
  return Names[static_cast<std::size_t>(Ordinal)];
}

int TEnumInfo::GetValue(std::string_view Name) const {
  for (std::size_t I = 0; I < Names.size(); ++I)
    if (SameText(Names[I], Name))
      return static_cast<int>(I);
  return -1;
}

// ---- TPropInfo ---------------------------------------------------------------

void TPropInfo::SetValue(TPersistent& Instance, const TPropValue& Value) const {
  if (!Setter)
    throw EPropertyError(Format(SReadOnlyProperty, {Name}));
  Setter(Instance, Value);
}

bool TPropInfo::IsStored(const TPersistent& Instance) const {
  return Streamed && (!StoredTest || StoredTest(Instance));
}

bool TPropInfo::IsDefaultValue(const TPropValue& Value) const {
  if (Default)
    return Value == *Default;
  switch (Kind) {
  case pkString:
  case pkMethod:
    return std::get_if<std::string>(&Value) && std::get<std::string>(Value).empty();
  case pkFloat:
    return std::get_if<double>(&Value) && std::get<double>(Value) == 0.0;
  case pkComponent:
    return std::get_if<TObject*>(&Value) && std::get<TObject*>(Value) == nullptr;
  default:
    return false;
  }
}

// ---- TClassInfo --------------------------------------------------------------

TClassInfo::TClassInfo(std::string AName, const TClassInfo* AParent, std::type_index AType,
                       std::function<bool(const TObject*)> AIsInstance, TComponentFactory AFactory)
    : Name(std::move(AName)), Parent(AParent), Type(AType), IsInstanceOf(std::move(AIsInstance)),
      Factory(std::move(AFactory)) {}

TComponent* TClassInfo::Create(TComponent* Owner) const {
  if (!Factory)
    throw EClassNotFound(Format(SClassNotFound, {Name}));
  return Factory(Owner);
}

bool TClassInfo::InheritsFrom(const TClassInfo* Other) const {
  for (const TClassInfo* C = this; C; C = C->Parent)
    if (C == Other)
      return true;
  return false;
}

std::vector<const TPropInfo*> TClassInfo::GetProperties() const {
  std::vector<const TClassInfo*> Chain;
  for (const TClassInfo* C = this; C; C = C->Parent)
    Chain.push_back(C);
  std::vector<const TPropInfo*> Result;
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It)
    for (const auto& P : (*It)->OwnProps) {
      bool Replaced = false;
      for (const TPropInfo*& Existing : Result)
        if (SameText(Existing->Name, P->Name)) {
          Existing = P.get();
          Replaced = true;
          break;
        }
      if (!Replaced)
        Result.push_back(P.get());
    }
  return Result;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view PropName) const {
  for (const TClassInfo* C = this; C; C = C->Parent)
    for (const auto& P : C->OwnProps)
      if (SameText(P->Name, PropName))
        return P.get();
  return nullptr;
}

TPropInfo& TClassInfo::AddProperty(TPropInfo Info) {
  for (auto& P : OwnProps)
    if (SameText(P->Name, Info.Name)) {
      *P = std::move(Info);
      return *P;
    }
  OwnProps.push_back(std::make_unique<TPropInfo>(std::move(Info)));
  return *OwnProps.back();
}

// ---- registry ----------------------------------------------------------------

namespace {

std::string ShortTypeName(const char* Mangled) {
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Demangled(
      abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), std::free);
  std::string Name = (Status == 0 && Demangled) ? Demangled.get() : Mangled;
  std::size_t Colon = Name.rfind("::");
  return Colon == std::string::npos ? Name : Name.substr(Colon + 2);
}

} // namespace

std::string TypeClassName(const std::type_info& Type) {
  return ShortTypeName(Type.name());
}

TClassInfo& RegisterClassInfo(std::string Name, const TClassInfo* Parent, std::type_index Type,
                              std::function<bool(const TObject*)> IsInstance,
                              TComponentFactory Factory) {
  TRegistry& R = Registry();
  if (auto It = R.ByType.find(Type); It != R.ByType.end())
    return *It->second;
  std::string Key = UpperCase(Name);
  if (R.ByName.count(Key))
    throw EComponentError(Format("A class named %s is already registered", {Name}));
  R.Classes.push_back(std::make_unique<TClassInfo>(std::move(Name), Parent, Type,
                                                   std::move(IsInstance), std::move(Factory)));
  TClassInfo* Info = R.Classes.back().get();
  R.ByType.emplace(Type, Info);
  R.ByName.emplace(std::move(Key), Info);
  R.InstanceCache.clear();
  return *Info;
}

const TClassInfo* FindClassInfo(std::string_view Name) {
  TRegistry& R = Registry();
  auto It = R.ByName.find(UpperCase(Name));
  return It == R.ByName.end() ? nullptr : It->second;
}

const TClassInfo& GetClassInfoByName(std::string_view Name) {
  const TClassInfo* Info = FindClassInfo(Name);
  if (!Info)
    throw EClassNotFound(Format(SClassNotFound, {Name}));
  return *Info;
}

TClassInfo* FindClassInfo(std::type_index Type) {
  TRegistry& R = Registry();
  auto It = R.ByType.find(Type);
  return It == R.ByType.end() ? nullptr : It->second;
}

const TClassInfo* GetClassInfo(const TObject& Object) {
  TRegistry& R = Registry();
  const std::type_index Type = typeid(Object);
  if (auto It = R.ByType.find(Type); It != R.ByType.end())
    return It->second;
  if (auto It = R.InstanceCache.find(Type); It != R.InstanceCache.end())
    return It->second;
  // An unregistered class (a driver's private descendant, say) is described
  // by the nearest registered class it derives from.
  const TClassInfo* Best = nullptr;
  int BestDepth = 0;
  for (const auto& C : R.Classes)
    if (C->IsInstance(&Object)) {
      int D = Depth(C.get());
      if (D > BestDepth) {
        Best = C.get();
        BestDepth = D;
      }
    }
  R.InstanceCache.emplace(Type, Best);
  return Best;
}

TComponent* CreateComponentByName(std::string_view ClassName, TComponent* Owner) {
  const TClassInfo* Info = FindClassInfo(ClassName);
  if (!Info || !Info->CanCreate())
    throw EClassNotFound(Format(SClassNotFound, {ClassName}));
  return Info->Create(Owner);
}

std::vector<const TClassInfo*> GetRegisteredClasses() {
  std::vector<const TClassInfo*> Result;
  for (const auto& C : Registry().Classes)
    Result.push_back(C.get());
  return Result;
}

const TPropInfo* GetPropInfo(const TObject& Instance, std::string_view Name) {
  const TClassInfo* Info = GetClassInfo(Instance);
  return Info ? Info->FindProperty(Name) : nullptr;
}

std::vector<const TPropInfo*> GetPropList(const TObject& Instance) {
  const TClassInfo* Info = GetClassInfo(Instance);
  return Info ? Info->GetProperties() : std::vector<const TPropInfo*>{};
}

const TEnumInfo& RegisterEnumInfo(std::type_index Type, std::string TypeName,
                                  std::vector<std::string> Names) {
  TRegistry& R = Registry();
  auto& Slot = R.Enums[Type];
  if (!Slot)
    Slot = std::make_unique<TEnumInfo>();
  // Replaced in place: properties already registered point at this entry.
  Slot->TypeName = std::move(TypeName);
  Slot->Names = std::move(Names);
  return *Slot;
}

const TEnumInfo* FindEnumInfo(std::type_index Type) {
  TRegistry& R = Registry();
  auto It = R.Enums.find(Type);
  return It == R.Enums.end() ? nullptr : It->second.get();
}

namespace typinfo_detail {

const TEnumInfo& RequireEnum(std::type_index Type) {
  const TEnumInfo* Info = FindEnumInfo(Type);
  if (!Info)
    throw EComponentError(Format(SEnumNotRegistered, {ShortTypeName(Type.name())}));
  return *Info;
}

void InvalidValue() {
  throw EPropertyError(SInvalidPropertyValue);
}

TClassInfo& RequireClass(std::type_index Type) {
  TClassInfo* Info = FindClassInfo(Type);
  if (!Info)
    throw EComponentError(Format(SClassNotRegistered, {ShortTypeName(Type.name())}));
  return *Info;
}

} // namespace typinfo_detail

// ---- event handlers ----------------------------------------------------------

void TEventHandlers::Put(std::string Name, std::type_index Type, std::shared_ptr<const void> Code) {
  for (TEntry& E : Entries)
    if (SameText(E.Name, Name)) {
      E = TEntry{std::move(Name), Type, std::move(Code)};
      return;
    }
  Entries.push_back(TEntry{std::move(Name), Type, std::move(Code)});
}

const void* TEventHandlers::FindRaw(std::string_view Name, std::type_index Type,
                                    std::string_view EventName) const {
  for (const TEntry& E : Entries)
    if (SameText(E.Name, Name)) {
      if (E.Type != Type)
        throw EPropertyError(Format(SHandlerTypeMismatch, {E.Name, std::string(EventName)}));
      return E.Code.get();
    }
  return nullptr;
}

namespace {
// Tables by upper-case root class name. Shared, so that a table replaced
// while a form is being bound stays alive until the binding is done.
std::unordered_map<std::string, std::shared_ptr<const TEventHandlers>>& HandlerTables() {
  static std::unordered_map<std::string, std::shared_ptr<const TEventHandlers>> Tables;
  return Tables;
}

void BindComponent(TComponent& C, const TEventHandlers* Handlers, std::vector<std::string>& Unbound,
                   int Depth) {
  for (const TPropInfo* P : GetPropList(C))
    if (P->Kind == pkMethod && P->Bind && !P->Bind(C, Handlers))
      Unbound.push_back(C.GetName() + "." + P->Name + " = " + C.GetMethodName(P->Name));
  // Ownership cannot form a cycle, but a pathological depth must not cost the stack.
  if (Depth >= 1000)
    return;
  for (int I = 0; I < C.GetComponentCount(); ++I)
    BindComponent(*C.GetComponent(I), Handlers, Unbound, Depth + 1);
}
} // namespace

void RegisterEventHandlers(std::string RootClassName, TEventHandlers Handlers) {
  const std::string Key = UpperCase(RootClassName);
  if (Handlers.Empty())
    HandlerTables().erase(Key);
  else
    HandlerTables()[Key] = std::make_shared<const TEventHandlers>(std::move(Handlers));
}

std::shared_ptr<const TEventHandlers> FindEventHandlers(const TComponent& Component) {
  const auto& Tables = HandlerTables();
  if (Tables.empty())
    return nullptr;
  // A form may itself be owned (by the application, say): the nearest owner
  // whose own class has a table wins, before any base class is considered.
  const TComponent* Root = &Component;
  for (const TComponent* C = &Component; C; C = C->GetOwnerComponent()) {
    if (auto It = Tables.find(UpperCase(C->ClassName())); It != Tables.end())
      return It->second;
    Root = C;
  }
  for (const TClassInfo* Info = GetClassInfo(*Root); Info; Info = Info->GetParent())
    if (auto It = Tables.find(UpperCase(Info->GetName())); It != Tables.end())
      return It->second;
  return nullptr;
}

std::vector<std::string> BindEventHandlers(TComponent& Root, const TEventHandlers* Handlers) {
  std::vector<std::string> Unbound;
  BindComponent(Root, Handlers, Unbound, 0);
  return Unbound;
}

// ---- text form of values -----------------------------------------------------

std::string GetPropValueText(const TPersistent& Instance, const TPropInfo& Prop) {
  const TPropValue Value = Prop.GetValue(Instance);
  switch (Prop.Kind) {
  case pkInteger:
    return IntToStr(std::get<std::int64_t>(Value));
  case pkBoolean:
    return std::get<std::int64_t>(Value) ? "True" : "False";
  case pkEnumeration:
    return Prop.EnumType->GetName(std::get<std::int64_t>(Value));
  case pkSet: {
    const std::uint64_t Bits = static_cast<std::uint64_t>(std::get<std::int64_t>(Value));
    std::string Text = "[";
    for (std::size_t I = 0; I < Prop.EnumType->Names.size() && I < 64; ++I)
      if (Bits & (std::uint64_t{1} << I)) {
        if (Text.size() > 1)
          Text += ',';
        Text += Prop.EnumType->Names[I];
      }
    return Text + "]";
  }
  case pkString:
  case pkMethod:
    return std::get<std::string>(Value);
  case pkFloat:
    return FloatText(std::get<double>(Value));
  case pkComponent: {
    const TObject* O = std::get<TObject*>(Value);
    const TComponent* C = dynamic_cast<const TComponent*>(O);
    return C ? C->GetName() : std::string();
  }
  case pkPersistent:
  case pkStrings: {
    const TObject* O = std::get<TObject*>(Value);
    return O ? "(" + O->ClassName() + ")" : std::string();
  }
  }
  return {};
}

void SetPropValueText(TPersistent& Instance, const TPropInfo& Prop, std::string_view Text,
                      TComponent* LookupRoot) {
  const std::string T = Trim(Text);
  switch (Prop.Kind) {
  case pkInteger: {
    std::int64_t V = 0;
    auto Result = std::from_chars(T.data(), T.data() + T.size(), V);
    if (T.empty() || Result.ec != std::errc() || Result.ptr != T.data() + T.size())
      throw EPropertyError(Format(SInvalidInteger, {T}));
    Prop.SetValue(Instance, V);
    return;
  }
  case pkBoolean:
    if (SameText(T, "True"))
      Prop.SetValue(Instance, std::int64_t{1});
    else if (SameText(T, "False"))
      Prop.SetValue(Instance, std::int64_t{0});
    else
      throw EPropertyError(SInvalidPropertyValue);
    return;
  case pkEnumeration: {
    int V = Prop.EnumType->GetValue(T);
    if (V < 0)
      throw EPropertyError(SInvalidPropertyValue);
    Prop.SetValue(Instance, std::int64_t{V});
    return;
  }
  case pkSet: {
    std::string_view Body = T;
    if (Body.size() < 2 || Body.front() != '[' || Body.back() != ']')
      throw EPropertyError(SInvalidPropertyValue);
    Body = Body.substr(1, Body.size() - 2);
    std::uint64_t Bits = 0;
    while (!Trim(Body).empty()) {
      std::size_t Comma = Body.find(',');
      std::string Member = Trim(Body.substr(0, Comma));
      int V = Prop.EnumType->GetValue(Member);
      if (V < 0 || V >= 64)
        throw EPropertyError(SInvalidPropertyValue);
      Bits |= std::uint64_t{1} << V;
      Body = Comma == std::string_view::npos ? std::string_view() : Body.substr(Comma + 1);
    }
    Prop.SetValue(Instance, static_cast<std::int64_t>(Bits));
    return;
  }
  case pkString:
    Prop.SetValue(Instance, std::string(Text));
    return;
  case pkMethod:
    if (!T.empty() && !IsValidIdent(T))
      throw EPropertyError(SInvalidPropertyValue);
    Prop.SetValue(Instance, T);
    return;
  case pkFloat: {
    double V = 0;
    auto Result = std::from_chars(T.data(), T.data() + T.size(), V);
    if (T.empty() || Result.ec != std::errc() || Result.ptr != T.data() + T.size() ||
        !std::isfinite(V))
      throw EPropertyError(Format(SInvalidFloat, {T}));
    Prop.SetValue(Instance, V);
    return;
  }
  case pkComponent: {
    if (T.empty()) {
      Prop.SetValue(Instance, static_cast<TObject*>(nullptr));
      return;
    }
    TComponent* C = nullptr;
    if (LookupRoot)
      C = SameText(LookupRoot->GetName(), T) ? LookupRoot : LookupRoot->FindComponent(T);
    if (!C)
      throw EPropertyError(SInvalidPropertyValue);
    Prop.SetValue(Instance, static_cast<TObject*>(C));
    return;
  }
  case pkPersistent:
  case pkStrings:
    throw EPropertyError(SInvalidPropertyValue);
  }
}

} // namespace ztl
