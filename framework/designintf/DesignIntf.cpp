// Property and component editors and the registry that chooses them.
#include "framework/designintf/DesignIntf.h"

#include "framework/rtl/SysUtils.h"

namespace ztl {

const TClassInfo* RequireClassInfo(const std::type_info& Type) {
  const TClassInfo* Info = FindClassInfo(std::type_index(Type));
  if (!Info)
    throw EComponentError(Format(SClassNotRegistered, {TypeClassName(Type)}));
  return Info;
}

// ---- property editors --------------------------------------------------------

TPropertyEditor::TPropertyEditor(IDesigner* ADesigner, std::vector<TPersistent*> AComponents,
                                 const TPropInfo& AProp)
    : Designer(ADesigner), Components(std::move(AComponents)), Prop(AProp) {
  if (Components.empty() || !Components.front())
    throw EComponentError("A property editor needs a component");
}

TPropertyAttributes TPropertyEditor::GetAttributes() const {
  TPropertyAttributes Result{paMultiSelect, paRevertable};
  if (Prop.IsReadOnly())
    Result.Include(paReadOnly);
  if (Prop.Kind == pkEnumeration || Prop.Kind == pkBoolean)
    Result.Include(paValueList);
  return Result;
}

std::string TPropertyEditor::GetValue() const {
  return GetPropValueText(*Components.front(), Prop);
}

void TPropertyEditor::SetValue(const std::string& Value) {
  // References name components of the designed form: the first component's
  // owner, or the component itself when it is the form.
  TComponent* Root = dynamic_cast<TComponent*>(Components.front());
  if (Root && Root->GetOwnerComponent())
    Root = Root->GetOwnerComponent();
  for (TPersistent* C : Components)
    SetPropValueText(*C, Prop, Value, Root);
  Modified();
}

std::vector<std::string> TPropertyEditor::GetValues() const {
  if (Prop.Kind == pkBoolean)
    return {"False", "True"};
  if (Prop.Kind == pkEnumeration && Prop.EnumType)
    return Prop.EnumType->Names;
  return {};
}

TPersistent* TPropertyEditor::GetComponent(int Index) const {
  if (Index < 0 || Index >= GetPropCount())
    TList::Error(Index);
  return Components[static_cast<std::size_t>(Index)];
}

void TPropertyEditor::Modified() {
  if (Designer)
    Designer->Modified();
}

std::int64_t TPropertyEditor::GetOrdValue() const {
  const TPropValue V = Prop.GetValue(*Components.front());
  const std::int64_t* Ord = std::get_if<std::int64_t>(&V);
  if (!Ord)
    throw EPropertyError(SInvalidPropertyValue);
  return *Ord;
}

void TPropertyEditor::SetOrdValue(std::int64_t Value) {
  SetPropValue(Value);
}

std::string TPropertyEditor::GetStrValue() const {
  const TPropValue V = Prop.GetValue(*Components.front());
  const std::string* S = std::get_if<std::string>(&V);
  if (!S)
    throw EPropertyError(SInvalidPropertyValue);
  return *S;
}

void TPropertyEditor::SetStrValue(const std::string& Value) {
  SetPropValue(Value);
}

void TPropertyEditor::SetPropValue(const TPropValue& Value) {
  for (TPersistent* C : Components)
    Prop.SetValue(*C, Value);
  Modified();
}

TPropertyAttributes TStringProperty::GetAttributes() const {
  TPropertyAttributes Result{paMultiSelect, paRevertable};
  if (GetPropInfo().IsReadOnly())
    Result.Include(paReadOnly);
  return Result;
}

TPropertyAttributes TClassProperty::GetAttributes() const {
  return {paMultiSelect, paSubProperties, paReadOnly};
}

TObject* TClassProperty::GetOrdValue() const {
  const TPropValue V = GetPropInfo().GetValue(*GetComponent(0));
  TObject* const* O = std::get_if<TObject*>(&V);
  if (!O)
    throw EPropertyError(SInvalidPropertyValue);
  return *O;
}

// ---- component editors ---------------------------------------------------------

void TComponentEditor::Edit() {
  if (InEdit || GetVerbCount() == 0)
    return;
  InEdit = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } Reset{InEdit};
  ExecuteVerb(0);
}

// ---- the registry ----------------------------------------------------------------

namespace {

struct TPropertyEditorEntry {
  TTypeInfo PropertyType;
  const TClassInfo* ComponentClass; // null: any component
  std::string PropertyName;         // empty: any property
  TPropertyEditorClass EditorClass;
};

struct TComponentEditorEntry {
  const TClassInfo* ComponentClass;
  TComponentEditorClass EditorClass;
};

struct TEditorRegistry {
  std::vector<TPropertyEditorEntry> PropertyEditors;   // in registration order
  std::vector<TComponentEditorEntry> ComponentEditors; // in registration order
};

TEditorRegistry& Registry() {
  static TEditorRegistry Instance;
  return Instance;
}

bool IsClassKind(TPropKind Kind) {
  return Kind == pkComponent || Kind == pkPersistent || Kind == pkStrings;
}

// Whether a property of type Actual is of type Registered: the same type, or
// for classes a descendant of it.
bool TypeFits(const TTypeInfo& Registered, const TPropInfo& Actual) {
  if (SameText(Registered.Name, Actual.TypeName))
    return IsClassKind(Registered.Kind) == IsClassKind(Actual.Kind);
  if (!IsClassKind(Registered.Kind) || !IsClassKind(Actual.Kind))
    return false;
  const TClassInfo* R = FindClassInfo(Registered.Name);
  const TClassInfo* A = FindClassInfo(Actual.TypeName);
  return R && A && A->InheritsFrom(R);
}

bool ClassFits(const TClassInfo* Registered, const TObject* Instance) {
  return !Registered || Registered->IsInstance(Instance);
}

// Whether class A is strictly more specific than class B (null is the least).
bool MoreSpecific(const TClassInfo* A, const TClassInfo* B) {
  if (!A || A == B)
    return false;
  return !B || A->InheritsFrom(B);
}

} // namespace

void RegisterPropertyEditor(const TTypeInfo& PropertyType, const TClassInfo* ComponentClass,
                            const std::string& PropertyName, TPropertyEditorClass EditorClass) {
  Registry().PropertyEditors.push_back(
      {PropertyType, ComponentClass, PropertyName, std::move(EditorClass)});
}

std::unique_ptr<TPropertyEditor> GetPropertyEditor(IDesigner* Designer,
                                                   std::vector<TPersistent*> Components,
                                                   const TPropInfo& Prop) {
  if (Components.empty() || !Components.front())
    throw EComponentError("A property editor needs a component");
  const TPersistent* Instance = Components.front();
  const TPropertyEditorEntry* Best = nullptr;
  // Later registrations first: an entry replaces the best only when it is
  // strictly better, so among equals the later one stays.
  const auto& Entries = Registry().PropertyEditors;
  for (auto It = Entries.rbegin(); It != Entries.rend(); ++It) {
    const TPropertyEditorEntry& E = *It;
    if (!TypeFits(E.PropertyType, Prop) || !ClassFits(E.ComponentClass, Instance) ||
        (!E.PropertyName.empty() && !SameText(E.PropertyName, Prop.Name)))
      continue;
    if (!Best || MoreSpecific(E.ComponentClass, Best->ComponentClass) ||
        (E.ComponentClass == Best->ComponentClass && !E.PropertyName.empty() &&
         Best->PropertyName.empty()))
      Best = &E;
  }
  if (Best)
    return Best->EditorClass(Designer, std::move(Components), Prop);
  if (Prop.Kind == pkString)
    return std::make_unique<TStringProperty>(Designer, std::move(Components), Prop);
  if (IsClassKind(Prop.Kind) && Prop.Kind != pkComponent)
    return std::make_unique<TClassProperty>(Designer, std::move(Components), Prop);
  return std::make_unique<TPropertyEditor>(Designer, std::move(Components), Prop);
}

void RegisterComponentEditor(const TClassInfo* ComponentClass, TComponentEditorClass EditorClass) {
  Registry().ComponentEditors.push_back({ComponentClass, std::move(EditorClass)});
}

std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* Component, IDesigner* Designer) {
  const TComponentEditorEntry* Best = nullptr;
  const auto& Entries = Registry().ComponentEditors;
  for (auto It = Entries.rbegin(); It != Entries.rend(); ++It) {
    if (!ClassFits(It->ComponentClass, Component))
      continue;
    if (!Best || MoreSpecific(It->ComponentClass, Best->ComponentClass))
      Best = &*It;
  }
  if (Best)
    return Best->EditorClass(Component, Designer);
  return std::make_unique<TComponentEditor>(Component, Designer);
}

void ClearEditorRegistry() {
  Registry() = TEditorRegistry();
}

} // namespace ztl
