// Lists, persistent objects and components: ownership, names, states and
// free notification.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/rtl/SysUtils.h"
#include "framework/rtl/System.h"

namespace ztl {

// An ordered list of untyped pointers that owns nothing. Every index is
// checked: an index outside 0 .. Count-1 raises EListError with
// "List index out of bounds (%d)".
class TList {
public:
  int Add(void* Item);
  void Insert(int Index, void* Item); // Index may equal Count
  void Delete(int Index);
  int Remove(void* Item); // first occurrence; its former index or -1
  void* Extract(void* Item);
  int IndexOf(const void* Item) const;
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  void Clear() { Items.clear(); }
  int Count() const { return static_cast<int>(Items.size()); }
  void* Get(int Index) const;
  void Put(int Index, void* Item);
  void* operator[](int Index) const { return Get(Index); }
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }

  [[noreturn]] static void Error(int Index);

private:
  void CheckIndex(int Index) const;
  std::vector<void*> Items;
};

// A TList whose items are known to be T*.
template <class T>
class TTypedList : public TList {
public:
  int Add(T* Item) { return TList::Add(Item); }
  T* Get(int Index) const { return static_cast<T*>(TList::Get(Index)); }
  T* operator[](int Index) const { return Get(Index); }
  T* First() const { return Get(0); }
  T* Last() const { return Get(Count() - 1); }
};

// An object that can copy itself from another through Assign. A class that
// knows how to copy from an unrelated class overrides Assign; one that knows
// how to copy into one overrides AssignTo. When neither knows, Assign raises
// EConvertError "Cannot assign a <source class> to a <target class>" (a
// missing source is named "nil").
class TPersistent : public TObject {
public:
  virtual void Assign(const TPersistent* Source);
  // The name the designer shows for the object: its class name, after its
  // owner's name path and a full stop when the owner has one
  // ("Query1.TZantrelParams"). A component's is its Name.
  virtual std::string GetNamePath() const;

protected:
  virtual void AssignTo(TPersistent* Dest) const;
  virtual TPersistent* GetOwner() const { return nullptr; }
  // Streaming hook: a persistent class registers its unpublished properties
  // with the filer here (see Streaming.h).
  friend class TFiler;
  friend class TReader;
  friend class TWriter;
  virtual void DefineProperties(class TFiler* Filer);
};

enum TComponentStateFlag : std::uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = Set<TComponentStateFlag>;

enum TOperation : std::uint8_t { opInsert, opRemove };

class TComponent;
// Called once for every component that a form file holds inside another.
using TGetChildProc = std::function<void(TComponent* Child)>;

class EComponentError : public Exception {
public:
  using Exception::Exception;
};

// How a control lines up a text within its width.
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

// A component: the unit of ownership, naming and streaming.
//
// An owner destroys the components it owns (last first) when it is
// destroyed; a component removes itself from its owner when destroyed. Any
// component can ask another for free notification: when either is destroyed
// the other receives Notification(..., opRemove) first, so references between
// components that are not ownership can be cleared before they dangle. Owned
// components also learn of their siblings' insertion and removal.
//
// Descendants that must do work while the object is still whole (close a
// connection, fire events) call Destroying() at the start of their own
// destructor; csDestroying is then set for everything they call.
class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwnerComponent() const { return Owner; }
  const std::string& GetName() const { return Name; }
  // Raises EComponentError for a name that is not an identifier or that a
  // sibling already uses ("A component named %s already exists").
  virtual void SetName(const std::string& NewName);

  int GetComponentCount() const { return static_cast<int>(Components.size()); }
  TComponent* GetComponent(int Index) const; // EListError outside the range
  int GetComponentIndex() const;             // position in the owner, -1 without one
  TComponent* FindComponent(const std::string& AName) const;

  TComponentState GetComponentState() const { return ComponentState; }
  bool InState(TComponentStateFlag Flag) const { return ComponentState.Contains(Flag); }
  // Design mode for this component and everything it owns.
  void SetDesigning(bool Value, bool SetChildren = true);
  // The streaming system drives the loading and reading states.
  void SetLoadingState(bool Loading);
  void SetReadingState(bool Reading);
  void SetAncestorState(bool Ancestor);
  void SetWritingState(bool Writing) {
    if (Writing)
      ComponentState.Include(csWriting);
    else
      ComponentState.Exclude(csWriting);
  }

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  void DestroyComponents();
  void Destroying();

  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Called once a component has been read from a form, after every reference
  // in the form is resolved. The base clears csLoading.
  virtual void Loaded();

  std::string GetNamePath() const override { return Name; }

  // Form-file nesting. GetChildren calls Proc for each component that is
  // written inside this one's object (none by default; a container lists
  // what it owns). Components read inside this object are owned by
  // GetChildOwner (null: the form's root) and get GetChildParent as their
  // parent component when HasParent says they take one.
  virtual void GetChildren(const TGetChildProc& Proc, TComponent* Root) {
    (void)Proc;
    (void)Root;
  }
  virtual TComponent* GetChildOwner() { return nullptr; }
  virtual TComponent* GetChildParent() { return this; }
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* Value) { (void)Value; }

  // The number stored with the component (the framework's Tag).
  std::int64_t Tag = 0;
  // Where the designer shows a non-visual component: Left in the low 16
  // bits, Top in the high 16 bits (stored as Left and Top in form files).
  std::int32_t DesignInfo = 0;

  // The handler name an event property holds ("" for none). The name is
  // kept apart from the bound code so that a form re-saved by a program that
  // has no code for it still names its handler.
  const std::string& GetMethodName(std::string_view Event) const;
  void SetMethodName(std::string_view Event, const std::string& Handler);

protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  TPersistent* GetOwner() const override { return Owner; }
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                              const std::string& NewName);

  TComponentState ComponentState;

private:
  void NotifyAll(TComponent* AComponent, TOperation Operation);
  void InsertInto(TComponent* AComponent);
  void RemoveFrom(TComponent* AComponent);

  TComponent* Owner = nullptr;
  std::string Name;
  std::vector<TComponent*> Components;   // owned, in insertion order
  std::vector<TComponent*> FreeNotifies; // components told of our destruction
  std::vector<std::pair<std::string, std::string>> MethodNames; // event -> handler name
};

bool IsValidIdent(std::string_view Ident);

} // namespace ztl
