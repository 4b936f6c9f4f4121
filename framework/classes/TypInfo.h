// The class registry (classes constructed by name from form files) and the
// per-class registry of published properties that form files and the
// designer's inspector read and write.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/rtl/SysUtils.h"
#include "framework/rtl/System.h"

namespace ztl {

class TStrings;
class TEventHandlers;

inline constexpr const char* SClassNotFound = "Class %s not found";
inline constexpr const char* SInvalidPropertyValue = "Invalid property value";
inline constexpr const char* SReadOnlyProperty = "Property %s is read-only";
inline constexpr const char* SUnknownProperty = "Property %s does not exist";
inline constexpr const char* SClassNotRegistered = "Class %s is not registered";
inline constexpr const char* SEnumNotRegistered = "Enumeration %s is not registered";
inline constexpr const char* SHandlerTypeMismatch = "Handler %s does not fit event %s";

// Raised for a property value that does not fit the property (an unknown
// enumeration name, an integer out of the property's range, a component of
// the wrong class) and for writing a read-only property.
class EPropertyError : public Exception {
public:
  using Exception::Exception;
};

// Raised when a form file names a class that nobody registered.
class EClassNotFound : public EReadError {
public:
  using EReadError::EReadError;
};

// What a published property holds.
enum TPropKind : std::uint8_t {
  pkInteger,     // a whole number (any integral C++ type)
  pkEnumeration, // a value of a registered enumeration, stored by name
  pkBoolean,     // True or False
  pkSet,         // a Set<E> of a registered enumeration, stored as [a, b]
  pkString,      // text
  pkFloat,       // a real number
  pkComponent,   // a reference to another component, stored by name
  pkPersistent,  // an owned object whose own properties are stored as Prop.Sub
  pkStrings,     // an owned string list (a pkPersistent that is a TStrings)
  pkMethod       // an event, stored as the name of its handler
};

// A registered enumeration: its type name and the names of its values by
// ordinal. Lookups by name ignore case.
struct TEnumInfo {
  std::string TypeName;           // "TParamType"
  std::vector<std::string> Names; // Names[ordinal]

  // The name of Ordinal, or "" outside the range.
  std::string GetName(std::int64_t Ordinal) const;
  // The ordinal named Name, or -1.
  int GetValue(std::string_view Name) const;
};

// A property value in transit between an object and a filer or inspector.
// Integers, enumerations (ordinal), booleans (0 or 1) and sets (member bits)
// travel as int64; floats as double; strings as std::string; component
// references and persistent values as TObject* (null for none); events as
// the handler name (std::string, "" for none).
using TPropValue = std::variant<std::int64_t, double, std::string, TObject*>;

// One published property of a class.
//
// Getter is always present; Setter is empty for a property that is only read
// (a pkPersistent property is streamed through the object its getter returns
// and needs no setter). Default: a value not written to form files when the
// property holds it; without one, ordinal properties are always written and
// strings, floats and references are written when not empty, zero or null.
// StoredTest, when set, can veto writing.
class TPropInfo {
public:
  std::string Name;                                     // as written in form files
  TPropKind Kind = pkInteger;                           // what the value is
  std::string TypeName;                                 // type shown by the inspector
  const TEnumInfo* EnumType = nullptr;                  // enumeration, or a set's element type
  std::function<TPropValue(const TPersistent&)> Getter; // reads the value
  std::function<void(TPersistent&, const TPropValue&)> Setter; // writes it; empty: read-only
  std::function<bool(const TObject*)> AcceptsClass; // references and persistents: value class test
  std::optional<TPropValue> Default;                // value not worth storing
  std::function<bool(const TPersistent&)> StoredTest; // veto on storing; empty: stored
  bool Streamed = true; // false: shown by the inspector, never in form files (Name)
  // pkMethod: binds the event to the code its stored name has in Handlers
  // (null: no table); answers false when a name is stored that the table
  // lacks, which leaves the event without code.
  std::function<bool(TPersistent&, const TEventHandlers*)> Bind;

  TPropValue GetValue(const TPersistent& Instance) const { return Getter(Instance); }
  // Raises EPropertyError for a read-only property or a value that does not
  // fit (see the class comment of EPropertyError).
  void SetValue(TPersistent& Instance, const TPropValue& Value) const;
  bool IsReadOnly() const { return !Setter; }
  // Whether the writer may store the property at all (Streamed and StoredTest).
  bool IsStored(const TPersistent& Instance) const;
  // Whether Value is the property's default (see the class comment).
  bool IsDefaultValue(const TPropValue& Value) const;

  // Chaining helpers for registration: .SetStored(&TFoo::IsSQLStored).
  template <class C>
  TPropInfo& SetStored(bool (C::*Test)() const) {
    StoredTest = [Test](const TPersistent& I) { return (static_cast<const C&>(I).*Test)(); };
    return *this;
  }
  TPropInfo& SetStored(std::function<bool(const TPersistent&)> Test) {
    StoredTest = std::move(Test);
    return *this;
  }
  TPropInfo& SetNoDefault() {
    Default.reset();
    return *this;
  }
};

// Constructs a component of one class with the given owner.
using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;

// A registered class: its name, its registered base, how to construct it (for
// component classes) and the properties it publishes itself.
class TClassInfo {
public:
  TClassInfo(std::string AName, const TClassInfo* AParent, std::type_index AType,
             std::function<bool(const TObject*)> AIsInstance, TComponentFactory AFactory);

  const std::string& GetName() const { return Name; }
  const TClassInfo* GetParent() const { return Parent; }
  std::type_index GetType() const { return Type; }
  bool CanCreate() const { return static_cast<bool>(Factory); }
  // Raises EClassNotFound when the class has no factory (abstract or not a
  // component class).
  TComponent* Create(TComponent* Owner) const;
  bool IsInstance(const TObject* Object) const { return Object && IsInstanceOf(Object); }
  bool InheritsFrom(const TClassInfo* Other) const;

  // Every published property, the ancestors' first, in registration order.
  // A property registered again under the same name by a descendant (to
  // change its default, say) replaces the ancestor's in the ancestor's place.
  std::vector<const TPropInfo*> GetProperties() const;
  // The property named Name (ignoring case), or null.
  const TPropInfo* FindProperty(std::string_view PropName) const;

  // Adds (or, for a name already registered on this class, replaces) a
  // property published by this class and returns it for chaining.
  TPropInfo& AddProperty(TPropInfo Info);

private:
  std::string Name;                                 // the ClassName of its instances
  const TClassInfo* Parent;                         // registered base class, or null
  std::type_index Type;                             // the C++ class
  std::function<bool(const TObject*)> IsInstanceOf; // dynamic_cast test
  TComponentFactory Factory;                        // empty for classes not built by name
  std::vector<std::unique_ptr<TPropInfo>> OwnProps; // published here, in order (stable addresses)
};

// ---- untyped registry --------------------------------------------------------

// Registers a class; registering the same C++ class again returns the entry
// it has. A class name already used by another C++ class raises
// EComponentError.
TClassInfo& RegisterClassInfo(std::string Name, const TClassInfo* Parent, std::type_index Type,
                              std::function<bool(const TObject*)> IsInstance,
                              TComponentFactory Factory);
// The class registered under Name (ignoring case), or null.
const TClassInfo* FindClassInfo(std::string_view Name);
// Like FindClassInfo, but raises EClassNotFound "Class %s not found".
const TClassInfo& GetClassInfoByName(std::string_view Name);
// The entry of a C++ class, or null when it is not registered.
TClassInfo* FindClassInfo(std::type_index Type);
// The most derived registered class that Object is an instance of; null when
// none fits (not even TPersistent, which is always registered).
const TClassInfo* GetClassInfo(const TObject& Object);
// Constructs a registered component class by name; EClassNotFound when the
// name is unknown or the class cannot be constructed.
TComponent* CreateComponentByName(std::string_view ClassName, TComponent* Owner);
// Every registered class, in registration order.
std::vector<const TClassInfo*> GetRegisteredClasses();

// The published property of Instance's class named Name, or null.
const TPropInfo* GetPropInfo(const TObject& Instance, std::string_view Name);
// Every published property of Instance's class.
std::vector<const TPropInfo*> GetPropList(const TObject& Instance);

// Registers an enumeration type under its own type name. Registering the
// same C++ type again replaces its names.
const TEnumInfo& RegisterEnumInfo(std::type_index Type, std::string TypeName,
                                  std::vector<std::string> Names);
const TEnumInfo* FindEnumInfo(std::type_index Type);

// A property value as the inspector and the form printer show it: integers
// and floats as numbers, enumerations and booleans by name, sets as [a,b],
// strings as they are, references by component name ("" for none),
// persistent values as "(TClassName)".
std::string GetPropValueText(const TPersistent& Instance, const TPropInfo& Prop);
// Sets a property from the text GetPropValueText gives. References are
// looked up among the components LookupRoot owns (and LookupRoot itself).
// Raises EPropertyError for text that does not fit the property.
void SetPropValueText(TPersistent& Instance, const TPropInfo& Prop, std::string_view Text,
                      TComponent* LookupRoot);

// The C++ name of a type without namespaces, the name TObject::ClassName
// gives its instances.
std::string TypeClassName(const std::type_info& Type);

// ---- event handlers ----------------------------------------------------------

// The code an application gives the handler names of its form files: name ->
// callable, each of one event type (the std::function type of the event it
// serves, such as TDataSetNotifyEvent).
//
//   TEventHandlers Handlers;
//   Handlers.Add<TDataSetNotifyEvent>("Query1AfterOpen", [](TDataSet* D) { ... });
//   RegisterEventHandlers("TDataModule", Handlers);
class TEventHandlers {
public:
  // Adds (or replaces) the handler Name of event type E.
  template <class E, class F>
  TEventHandlers& Add(std::string Name, F&& Handler) {
    auto Code = std::make_shared<const E>(std::forward<F>(Handler));
    Put(std::move(Name), typeid(E), std::shared_ptr<const void>(std::move(Code)));
    return *this;
  }
  // The handler named Name (ignoring case), or null when there is none.
  // Raises EPropertyError SHandlerTypeMismatch when the name belongs to a
  // handler of another event type: that is a fault of the program, not of
  // the form, and is reported where the two meet.
  template <class E>
  const E* Find(std::string_view Name, std::string_view EventName) const {
    const void* Code = FindRaw(Name, typeid(E), EventName);
    return static_cast<const E*>(Code);
  }
  bool Empty() const { return Entries.empty(); }

private:
  struct TEntry {
    std::string Name;                 // as the form file writes it
    std::type_index Type;             // the event type it serves
    std::shared_ptr<const void> Code; // a const E
  };
  void Put(std::string Name, std::type_index Type, std::shared_ptr<const void> Code);
  const void* FindRaw(std::string_view Name, std::type_index Type,
                      std::string_view EventName) const;

  std::vector<TEntry> Entries; // in the order added
};

// Registers (or, given an empty table, removes) the handlers of the forms
// whose root is of class RootClassName or a class registered below it that
// has no table of its own. Components already read keep what they are bound
// to; BindEventHandlers rebinds them.
void RegisterEventHandlers(std::string RootClassName, TEventHandlers Handlers);
// The table for Component's form: the one registered for the class of the
// nearest of Component and its owners, else the one registered for the
// nearest registered base class of its topmost owner; null when there is none.
std::shared_ptr<const TEventHandlers> FindEventHandlers(const TComponent& Component);
// Binds every event of Root and of the components it owns (at any depth) to
// the code Handlers has for its stored name (null: unbinds them all).
// Returns "Component.Event = Handler" for each stored name without code; such
// an event does nothing when it fires, and its name is still written back.
std::vector<std::string> BindEventHandlers(TComponent& Root, const TEventHandlers* Handlers);

// ---- typed registration ----------------------------------------------------

template <class E>
const TEnumInfo& RegisterEnum(std::string TypeName, std::vector<std::string> Names) {
  static_assert(std::is_enum_v<E>, "RegisterEnum takes an enumeration type");
  return RegisterEnumInfo(typeid(E), std::move(TypeName), std::move(Names));
}

// Registers class T (named as TObject::ClassName names it) with its registered
// base class Base. A component class with a constructor T(TComponent* Owner)
// can then be constructed by name from form files; other classes (abstract
// components, persistent classes) only carry published properties.
template <class T, class Base>
TClassInfo& RegisterClass() {
  static_assert(std::is_base_of_v<TPersistent, T>, "only persistent classes are registered");
  static_assert(std::is_base_of_v<Base, T>, "Base must be a base class of T");
  const TClassInfo* Parent = nullptr;
  if constexpr (!std::is_same_v<T, Base>) {
    Parent = FindClassInfo(typeid(Base));
    if (!Parent)
      throw EComponentError(Format(SClassNotRegistered, {TypeClassName(typeid(Base))}));
  }
  TComponentFactory Factory;
  if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> &&
                std::is_constructible_v<T, TComponent*>)
    Factory = [](TComponent* Owner) -> TComponent* { return new T(Owner); };
  return RegisterClassInfo(
      TypeClassName(typeid(T)), Parent, typeid(T),
      [](const TObject* O) { return dynamic_cast<const T*>(O) != nullptr; }, std::move(Factory));
}

namespace typinfo_detail {

template <class V>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<Set<E>> : std::true_type {
  using Element = E;
};

template <class V>
constexpr bool IsObjectPointer =
    std::is_pointer_v<V>&& std::is_base_of_v<TObject, std::remove_cv_t<std::remove_pointer_t<V>>>;

const TEnumInfo& RequireEnum(std::type_index Type);
[[noreturn]] void InvalidValue();
TClassInfo& RequireClass(std::type_index Type);

// The kind, type name and enumeration of a C++ property type.
template <class V>
void Describe(TPropInfo& Info) {
  if constexpr (std::is_same_v<V, bool>) {
    Info.Kind = pkBoolean;
    Info.TypeName = "Boolean";
  } else if constexpr (std::is_enum_v<V>) {
    Info.Kind = pkEnumeration;
    Info.EnumType = &RequireEnum(typeid(V));
    Info.TypeName = Info.EnumType->TypeName;
  } else if constexpr (IsSet<V>::value) {
    Info.Kind = pkSet;
    Info.EnumType = &RequireEnum(typeid(typename IsSet<V>::Element));
    Info.TypeName = "set of " + Info.EnumType->TypeName;
  } else if constexpr (std::is_integral_v<V>) {
    Info.Kind = pkInteger;
    Info.TypeName = sizeof(V) > 4 ? "Int64" : "Integer";
  } else if constexpr (std::is_floating_point_v<V>) {
    Info.Kind = pkFloat;
    Info.TypeName = "Double";
  } else if constexpr (std::is_same_v<V, std::string>) {
    Info.Kind = pkString;
    Info.TypeName = "string";
  } else if constexpr (IsObjectPointer<V>) {
    using P = std::remove_cv_t<std::remove_pointer_t<V>>;
    if constexpr (std::is_base_of_v<TComponent, P>)
      Info.Kind = pkComponent;
    else if constexpr (std::is_base_of_v<TStrings, P>)
      Info.Kind = pkStrings;
    else
      Info.Kind = pkPersistent;
    Info.TypeName = TypeClassName(typeid(P));
    Info.AcceptsClass = [](const TObject* O) { return !O || dynamic_cast<const P*>(O); };
  } else {
    static_assert(sizeof(V) == 0, "unsupported published property type");
  }
}

template <class V>
TPropValue ToValue(const V& Value) {
  if constexpr (IsSet<V>::value)
    return static_cast<std::int64_t>(Value.ToBits());
  else if constexpr (std::is_enum_v<V> || std::is_integral_v<V>)
    return static_cast<std::int64_t>(Value);
  else if constexpr (std::is_floating_point_v<V>)
    return static_cast<double>(Value);
  else if constexpr (std::is_same_v<V, std::string>)
    return Value;
  else
    return static_cast<TObject*>(const_cast<std::remove_cv_t<std::remove_pointer_t<V>>*>(Value));
}

// Converts a transported value back to V; anything that does not fit raises
// EPropertyError instead of being cut.
template <class V>
V FromValue(const TPropValue& Value, const TEnumInfo* Enum) {
  if constexpr (IsSet<V>::value || std::is_enum_v<V> || std::is_integral_v<V>) {
    const std::int64_t* Ord = std::get_if<std::int64_t>(&Value);
    if (!Ord)
      InvalidValue();
    if constexpr (IsSet<V>::value) {
      const std::size_t Count = Enum->Names.size();
      const std::uint64_t Bits = static_cast<std::uint64_t>(*Ord);
      if (Count < 64 && (Bits >> Count) != 0)
        InvalidValue();
      return V::FromBits(Bits);
    } else if constexpr (std::is_enum_v<V>) {
      if (*Ord < 0 || *Ord >= static_cast<std::int64_t>(Enum->Names.size()))
        InvalidValue();
      return static_cast<V>(*Ord);
    } else if constexpr (std::is_same_v<V, bool>) {
      if (*Ord != 0 && *Ord != 1)
        InvalidValue();
      return *Ord != 0;
    } else {
      if (!std::in_range<V>(*Ord))
        InvalidValue();
      return static_cast<V>(*Ord);
    }
  } else if constexpr (std::is_floating_point_v<V>) {
    if (const double* F = std::get_if<double>(&Value))
      return static_cast<V>(*F);
    if (const std::int64_t* I = std::get_if<std::int64_t>(&Value))
      return static_cast<V>(*I);
    InvalidValue();
  } else if constexpr (std::is_same_v<V, std::string>) {
    const std::string* S = std::get_if<std::string>(&Value);
    if (!S)
      InvalidValue();
    return *S;
  } else {
    using P = std::remove_cv_t<std::remove_pointer_t<V>>;
    TObject* const* O = std::get_if<TObject*>(&Value);
    if (!O)
      InvalidValue();
    if (!*O)
      return nullptr;
    P* Typed = dynamic_cast<P*>(*O);
    if (!Typed)
      InvalidValue();
    return Typed;
  }
}

} // namespace typinfo_detail

// Publishes a property of class C (which must be registered): Getter is a
// const member function (of C or a base) or any callable taking const C&;
// Setter a member function taking the value (by value or const reference),
// any callable taking (C&, value), or nullptr for a property that is only
// read. The value type decides the kind (see TPropKind); enumerations and
// the elements of sets must be registered with RegisterEnum first.
//
//   RegisterProperty<TMySession>("KeepConnection", &TMySession::GetKeepConnection,
//                                &TMySession::SetKeepConnection, true);
template <class C, class G, class S>
TPropInfo& RegisterProperty(std::string Name, G Getter, S Setter) {
  using V = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
  TPropInfo Info;
  Info.Name = std::move(Name);
  typinfo_detail::Describe<V>(Info);
  Info.Getter = [Getter](const TPersistent& I) {
    return typinfo_detail::ToValue<V>(std::invoke(Getter, static_cast<const C&>(I)));
  };
  if constexpr (!std::is_null_pointer_v<S>) {
    Info.Setter = [Setter, Enum = Info.EnumType](TPersistent& I, const TPropValue& Value) {
      std::invoke(Setter, static_cast<C&>(I), typinfo_detail::FromValue<V>(Value, Enum));
    };
  }
  return typinfo_detail::RequireClass(typeid(C)).AddProperty(std::move(Info));
}

template <class C, class G, class S, class D>
TPropInfo& RegisterProperty(std::string Name, G Getter, S Setter, D&& DefaultValue) {
  using V = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
  TPropInfo& Info = RegisterProperty<C>(std::move(Name), Getter, Setter);
  Info.Default = typinfo_detail::ToValue<V>(static_cast<V>(std::forward<D>(DefaultValue)));
  return Info;
}

// Publishes the event Member of component class C (which must be
// registered) as a property of kind pkMethod: form files store the handler's
// name, and setting a name binds the event to the code that the table of
// the component's form (FindEventHandlers) has for it, or to nothing.
// TypeName is what the inspector shows ("TNotifyEvent").
template <class C, class E>
TPropInfo& RegisterEvent(std::string Name, E C::*Member, std::string TypeName) {
  static_assert(std::is_base_of_v<TComponent, C>, "events are published by components");
  TPropInfo Info;
  Info.Name = Name;
  Info.Kind = pkMethod;
  Info.TypeName = std::move(TypeName);
  Info.Getter = [Name](const TPersistent& I) -> TPropValue {
    return static_cast<const C&>(I).GetMethodName(Name);
  };
  auto Bind = [Name, Member](TPersistent& I, const TEventHandlers* Handlers) {
    C& Object = static_cast<C&>(I);
    const std::string& Handler = Object.GetMethodName(Name);
    const E* Code = Handlers && !Handler.empty() ? Handlers->Find<E>(Handler, Name) : nullptr;
    Object.*Member = Code ? *Code : E();
    return Handler.empty() || Code;
  };
  Info.Bind = Bind;
  Info.Setter = [Name, Bind](TPersistent& I, const TPropValue& Value) {
    const std::string* Handler = std::get_if<std::string>(&Value);
    if (!Handler || (!Handler->empty() && !IsValidIdent(*Handler)))
      typinfo_detail::InvalidValue();
    C& Object = static_cast<C&>(I);
    // A type mismatch is raised before anything changes.
    const std::shared_ptr<const TEventHandlers> Handlers = FindEventHandlers(Object);
    if (Handlers && !Handler->empty())
      Handlers->Find<E>(*Handler, Name);
    Object.SetMethodName(Name, *Handler);
    Bind(Object, Handlers.get());
  };
  return typinfo_detail::RequireClass(typeid(C)).AddProperty(std::move(Info));
}

} // namespace ztl
