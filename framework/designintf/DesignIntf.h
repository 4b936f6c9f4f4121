// The designer's side of the framework: property editors over the published
// property registry, component editors, the registry that picks an editor
// for a property or a component, and the interface of the designer that
// hosts them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

// What the inspector offers for a property.
enum TPropertyAttribute : std::uint8_t {
  paValueList,     // a drop-down list of values (GetValues)
  paSubProperties, // the value's own properties, unfolded beneath it
  paDialog,        // an ellipsis button that runs Edit
  paMultiSelect,   // shown when several components are selected
  paAutoUpdate,    // SetValue on every keystroke
  paSortList,      // the value list sorted
  paReadOnly,      // the value text cannot be typed
  paRevertable     // the value can be put back to the inherited one
};
using TPropertyAttributes = Set<TPropertyAttribute>;

// The designer that hosts the editors.
class IDesigner {
public:
  virtual ~IDesigner() = default;
  // Something in the designed form changed: mark it modified, refresh views.
  virtual void Modified() = 0;
};

// The type of a published property as the editor registry matches it: the
// name the inspector shows and its kind.
struct TTypeInfo {
  std::string Name; // "string", "Integer", "TZantrelParams"
  TPropKind Kind;   // pkString, pkPersistent, ...
};

// The type information of C++ type T as a published property of that type
// carries it (a class T stands for a property holding a T*).
template <class T>
TTypeInfo TypeInfo() {
  TPropInfo Info;
  if constexpr (std::is_base_of_v<TObject, T>)
    typinfo_detail::Describe<T*>(Info);
  else
    typinfo_detail::Describe<T>(Info);
  return {Info.TypeName, Info.Kind};
}

// The registered class of component class C; EComponentError "Class %s is
// not registered" when nobody registered it.
const TClassInfo* RequireClassInfo(const std::type_info& Type);
template <class C>
const TClassInfo* ComponentClass() {
  return RequireClassInfo(typeid(C));
}

// Edits one published property of the selected components (the first is the
// one shown; SetValue writes all of them).
class TPropertyEditor {
public:
  TPropertyEditor(IDesigner* ADesigner, std::vector<TPersistent*> AComponents,
                  const TPropInfo& AProp);
  virtual ~TPropertyEditor() = default;
  TPropertyEditor(const TPropertyEditor&) = delete;
  TPropertyEditor& operator=(const TPropertyEditor&) = delete;

  // paMultiSelect and paRevertable, and paReadOnly for a property that is
  // only read.
  virtual TPropertyAttributes GetAttributes() const;
  // The value as the inspector shows it (the first component's).
  virtual std::string GetValue() const;
  // Sets the value typed in the inspector on every selected component, then
  // tells the designer. EPropertyError for text that does not fit.
  virtual void SetValue(const std::string& Value);
  // What the ellipsis button runs; nothing by default.
  virtual void Edit() {}
  // The values of the drop-down list (an enumeration's names, False/True).
  virtual std::vector<std::string> GetValues() const;

  const std::string& GetName() const { return Prop.Name; }
  const TPropInfo& GetPropInfo() const { return Prop; }
  int GetPropCount() const { return static_cast<int>(Components.size()); }
  // The selected component at Index; EListError outside the selection.
  TPersistent* GetComponent(int Index) const;
  IDesigner* GetDesigner() const { return Designer; }
  // Tells the designer that the property changed.
  void Modified();

  // The first component's value of an ordinal property (integer,
  // enumeration, boolean, set); EPropertyError for another kind.
  std::int64_t GetOrdValue() const;
  void SetOrdValue(std::int64_t Value);
  std::string GetStrValue() const;
  void SetStrValue(const std::string& Value);

protected:
  // Writes Value to every selected component, then Modified.
  void SetPropValue(const TPropValue& Value);

private:
  IDesigner* Designer;                 // not owned; may be null outside a designer
  std::vector<TPersistent*> Components; // the selection, not owned, at least one
  const TPropInfo& Prop;               // lives in the class registry
};

// A text property.
class TStringProperty : public TPropertyEditor {
public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() const override;
  std::string GetValue() const override { return GetStrValue(); }
  void SetValue(const std::string& Value) override { SetStrValue(Value); }
};

// A property holding an object: shown as "(TClassName)", its own properties
// unfolded beneath it, the value itself not typed.
class TClassProperty : public TPropertyEditor {
public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() const override;
  // For a class property the ordinal value is the object (null for none).
  TObject* GetOrdValue() const;
};

// Adds entries to a component's context menu in the designer and says what
// a double click does.
class TComponentEditor {
public:
  TComponentEditor(TComponent* AComponent, IDesigner* ADesigner)
      : Component(AComponent), Designer(ADesigner) {}
  virtual ~TComponentEditor() = default;
  TComponentEditor(const TComponentEditor&) = delete;
  TComponentEditor& operator=(const TComponentEditor&) = delete;

  // The double click: runs the first verb when there is one. An editor
  // whose first verb runs Edit again (and that does not override Edit)
  // stops there instead of recursing.
  virtual void Edit();
  virtual void ExecuteVerb(int Index) { (void)Index; }
  virtual std::string GetVerb(int Index) const {
    (void)Index;
    return std::string();
  }
  virtual int GetVerbCount() const { return 0; }

  TComponent* GetComponent() const { return Component; }
  IDesigner* GetDesigner() const { return Designer; }

private:
  TComponent* Component; // the component edited, not owned
  IDesigner* Designer;   // not owned; may be null
  bool InEdit = false;   // the default Edit is running
};

// Makes a property editor for a selection.
using TPropertyEditorClass = std::function<std::unique_ptr<TPropertyEditor>(
    IDesigner* Designer, std::vector<TPersistent*> Components, const TPropInfo& Prop)>;
template <class E>
TPropertyEditorClass PropertyEditorClass() {
  return [](IDesigner* Designer, std::vector<TPersistent*> Components, const TPropInfo& Prop) {
    return std::unique_ptr<TPropertyEditor>(new E(Designer, std::move(Components), Prop));
  };
}

using TComponentEditorClass =
    std::function<std::unique_ptr<TComponentEditor>(TComponent* Component, IDesigner* Designer)>;
template <class E>
TComponentEditorClass ComponentEditorClass() {
  return [](TComponent* Component, IDesigner* Designer) {
    return std::unique_ptr<TComponentEditor>(new E(Component, Designer));
  };
}

// Registers EditorClass for the properties of type PropertyType (a class
// type also serves its descendants) on components of ComponentClass or a
// descendant (null: any component) named PropertyName (empty: any name).
//
// The editor for a property is chosen among the registrations that fit it:
// the one with the most derived component class wins (any class is more
// specific than none); among equal classes one naming the property beats one
// for every name; among equals the later registration wins.
void RegisterPropertyEditor(const TTypeInfo& PropertyType, const TClassInfo* ComponentClass,
                            const std::string& PropertyName, TPropertyEditorClass EditorClass);
// The editor for Prop of Components (the first component's class decides);
// without a fitting registration, the default for the property's kind
// (TStringProperty, TClassProperty, else TPropertyEditor). Components must
// not be empty.
std::unique_ptr<TPropertyEditor> GetPropertyEditor(IDesigner* Designer,
                                                   std::vector<TPersistent*> Components,
                                                   const TPropInfo& Prop);

// Registers EditorClass for components of ComponentClass and its
// descendants; the most derived class wins, among equals the later
// registration.
void RegisterComponentEditor(const TClassInfo* ComponentClass, TComponentEditorClass EditorClass);
// The editor for Component; a plain TComponentEditor without a fitting
// registration.
std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* Component, IDesigner* Designer);

// Forgets every editor registration (a designer unloading its packages,
// tests).
void ClearEditorRegistry();

} // namespace ztl
