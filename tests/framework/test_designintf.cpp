// The designer interfaces: which registered editor serves a property or a
// component, what the standard property editors read and write, component
// editors' verbs, and the name paths the designer shows.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/designintf/DesignIntf.h"

namespace ztl {

// Test classes: a persistent value class with a descendant, and three
// component classes (TDsBase <- TDsDerived, TDsOther) publishing a string
// and a value property.
class TDsValue : public TPersistent {
public:
  explicit TDsValue(TPersistent* AOwner = nullptr) : Owner(AOwner) {}
  TPersistent* GetOwner() const override { return Owner; }

private:
  TPersistent* Owner;
};
class TDsSpecialValue : public TDsValue {
public:
  using TDsValue::TDsValue;
};

class TDsBase : public TComponent {
public:
  explicit TDsBase(TComponent* AOwner) : TComponent(AOwner), Value(this) {}
  std::string GetText() const { return Text; }
  void SetText(const std::string& V) { Text = V; }
  std::string GetOther() const { return Other; }
  void SetOther(const std::string& V) { Other = V; }
  TDsValue* GetValue() const { return const_cast<TDsValue*>(&Value); }
  TDsSpecialValue* GetSpecial() const { return const_cast<TDsSpecialValue*>(&Special); }

private:
  std::string Text;
  std::string Other;
  TDsValue Value;
  TDsSpecialValue Special{this};
};
class TDsDerived : public TDsBase {
public:
  using TDsBase::TDsBase;
};
class TDsOther : public TDsBase {
public:
  using TDsBase::TDsBase;
};

namespace {

void RegisterTestClasses() {
  if (FindClassInfo(typeid(TDsBase)))
    return;
  RegisterClass<TDsValue, TPersistent>();
  RegisterClass<TDsSpecialValue, TDsValue>();
  RegisterClass<TDsBase, TComponent>();
  RegisterClass<TDsDerived, TDsBase>();
  RegisterClass<TDsOther, TDsBase>();
  RegisterProperty<TDsBase>("Text", &TDsBase::GetText, &TDsBase::SetText);
  RegisterProperty<TDsBase>("Other", &TDsBase::GetOther, &TDsBase::SetOther);
  RegisterProperty<TDsBase>("Value", &TDsBase::GetValue, nullptr);
  RegisterProperty<TDsBase>("Special", &TDsBase::GetSpecial, nullptr);
}

// Editors that say who they are.
template <int N>
class TTaggedEditor : public TStringProperty {
public:
  using TStringProperty::TStringProperty;
  static constexpr int Tag = N;
};

class TCountingDesigner : public IDesigner {
public:
  void Modified() override { ++Count; }
  int Count = 0;
};

class DesignIntfTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterTestClasses();
    ClearEditorRegistry();
  }
  void TearDown() override { ClearEditorRegistry(); }

  // The tag of the editor chosen for property PropName of Instance; 0 for an
  // untagged (default) editor.
  int EditorFor(TComponent& Instance, const char* PropName) {
    const TPropInfo* Prop = GetPropInfo(Instance, PropName);
    EXPECT_NE(Prop, nullptr);
    auto Editor = GetPropertyEditor(&Designer, {&Instance}, *Prop);
    if (dynamic_cast<TTaggedEditor<1>*>(Editor.get()))
      return 1;
    if (dynamic_cast<TTaggedEditor<2>*>(Editor.get()))
      return 2;
    if (dynamic_cast<TTaggedEditor<3>*>(Editor.get()))
      return 3;
    return 0;
  }

  TCountingDesigner Designer;
};

TEST_F(DesignIntfTest, PropertyEditorLookupFollowsThePlatformsRule) {
  const TTypeInfo String = TypeInfo<std::string>();
  struct TCase {
    const char* What;
    std::function<void()> Register;
    const char* Property;
    int ForBase, ForDerived, ForOther;
  };
  const std::vector<TCase> Cases = {
      {"nothing registered: the default editor",
       [] {}, "Text", 0, 0, 0},
      {"an empty name serves every property of the type",
       [&] { RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "", PropertyEditorClass<TTaggedEditor<1>>()); },
       "Other", 1, 1, 1},
      {"a name serves only that property (ignoring case)",
       [&] { RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "TEXT", PropertyEditorClass<TTaggedEditor<1>>()); },
       "Other", 0, 0, 0},
      {"the most derived component class wins, whatever the order",
       [&] {
         RegisterPropertyEditor(String, ComponentClass<TDsDerived>(), "Text", PropertyEditorClass<TTaggedEditor<2>>());
         RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "Text", PropertyEditorClass<TTaggedEditor<1>>());
         RegisterPropertyEditor(String, nullptr, "Text", PropertyEditorClass<TTaggedEditor<3>>());
       },
       "Text", 1, 2, 1},
      {"among equals the later registration wins",
       [&] {
         RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "Text", PropertyEditorClass<TTaggedEditor<1>>());
         RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "Text", PropertyEditorClass<TTaggedEditor<2>>());
       },
       "Text", 2, 2, 2},
      {"for the same class, naming the property beats every name",
       [&] {
         RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "Text", PropertyEditorClass<TTaggedEditor<1>>());
         RegisterPropertyEditor(String, ComponentClass<TDsBase>(), "", PropertyEditorClass<TTaggedEditor<2>>());
       },
       "Text", 1, 1, 1},
      {"any component class beats none",
       [&] {
         RegisterPropertyEditor(String, ComponentClass<TDsOther>(), "", PropertyEditorClass<TTaggedEditor<1>>());
         RegisterPropertyEditor(String, nullptr, "Text", PropertyEditorClass<TTaggedEditor<2>>());
       },
       "Text", 2, 2, 1},
      {"another type does not fit",
       [&] { RegisterPropertyEditor(TypeInfo<int>(), nullptr, "", PropertyEditorClass<TTaggedEditor<1>>()); },
       "Text", 0, 0, 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    ClearEditorRegistry();
    C.Register();
    TDsBase Base(nullptr);
    TDsDerived Derived(nullptr);
    TDsOther Other(nullptr);
    EXPECT_EQ(EditorFor(Base, C.Property), C.ForBase);
    EXPECT_EQ(EditorFor(Derived, C.Property), C.ForDerived);
    EXPECT_EQ(EditorFor(Other, C.Property), C.ForOther);
  }
}

TEST_F(DesignIntfTest, AClassTypeServesItsDescendants) {
  RegisterPropertyEditor(TypeInfo<TDsValue>(), nullptr, "", PropertyEditorClass<TTaggedEditor<1>>());
  TDsBase Base(nullptr);
  EXPECT_EQ(EditorFor(Base, "Value"), 1);
  EXPECT_EQ(EditorFor(Base, "Special"), 1);
  EXPECT_EQ(EditorFor(Base, "Text"), 0);
  ClearEditorRegistry();
  RegisterPropertyEditor(TypeInfo<TDsSpecialValue>(), nullptr, "", PropertyEditorClass<TTaggedEditor<1>>());
  EXPECT_EQ(EditorFor(Base, "Value"), 0) << "an ancestor is not served by its descendant's editor";
}

TEST_F(DesignIntfTest, UnregisteredComponentClassIsRefused) {
  EXPECT_THROW(ComponentClass<TComponentEditor>(), EComponentError);
}

TEST_F(DesignIntfTest, StringPropertyWritesEverySelectedComponentAndTellsTheDesigner) {
  TDsBase A(nullptr), B(nullptr);
  A.SetText("a");
  auto Editor = GetPropertyEditor(&Designer, {&A, &B}, *GetPropInfo(A, "Text"));
  ASSERT_NE(dynamic_cast<TStringProperty*>(Editor.get()), nullptr);
  EXPECT_EQ(Editor->GetName(), "Text");
  EXPECT_EQ(Editor->GetValue(), "a");
  EXPECT_EQ(Editor->GetAttributes(), (TPropertyAttributes{paMultiSelect, paRevertable}));
  Editor->SetValue("both");
  EXPECT_EQ(A.GetText(), "both");
  EXPECT_EQ(B.GetText(), "both");
  EXPECT_EQ(Designer.Count, 1);
  EXPECT_EQ(Editor->GetPropCount(), 2);
  EXPECT_EQ(Editor->GetComponent(1), &B);
  EXPECT_THROW(Editor->GetComponent(2), EListError);
  EXPECT_THROW(Editor->GetOrdValue(), EPropertyError);
}

TEST_F(DesignIntfTest, ClassPropertyHandsOutTheObjectAndItsNamePath) {
  TComponent Form(nullptr);
  auto* Base = new TDsBase(&Form);
  Base->SetName("Query1");
  auto Editor = GetPropertyEditor(&Designer, {Base}, *GetPropInfo(*Base, "Value"));
  auto* Class = dynamic_cast<TClassProperty*>(Editor.get());
  ASSERT_NE(Class, nullptr);
  EXPECT_EQ(Class->GetOrdValue(), Base->GetValue());
  EXPECT_EQ(Class->GetValue(), "(TDsValue)");
  EXPECT_EQ(Class->GetAttributes(), (TPropertyAttributes{paMultiSelect, paSubProperties, paReadOnly}));
  EXPECT_EQ(Class->GetOrdValue()->ClassName(), "TDsValue");
  EXPECT_EQ(static_cast<TPersistent*>(Class->GetOrdValue())->GetNamePath(), "Query1.TDsValue");
}

TEST_F(DesignIntfTest, NamePathsOfComponentsAndPersistents) {
  TDsBase Named(nullptr);
  Named.SetName("Table1");
  TDsBase Unnamed(nullptr);
  const TDsValue Lone;
  const TDsValue Nested(Named.GetValue());
  EXPECT_EQ(Named.GetNamePath(), "Table1");
  EXPECT_EQ(Named.GetValue()->GetNamePath(), "Table1.TDsValue");
  EXPECT_EQ(Unnamed.GetValue()->GetNamePath(), "TDsValue") << "an owner without a name adds nothing";
  EXPECT_EQ(Lone.GetNamePath(), "TDsValue");
  EXPECT_EQ(Nested.GetNamePath(), "Table1.TDsValue.TDsValue");
}

// A component editor with one verb that counts its runs.
class TVerbEditor : public TComponentEditor {
public:
  using TComponentEditor::TComponentEditor;
  int GetVerbCount() const override { return 1; }
  std::string GetVerb(int) const override { return "&Run"; }
  void ExecuteVerb(int Index) override {
    if (Index == 0)
      ++Runs;
  }
  int Runs = 0;
};

// One whose verb runs Edit, relying on a descendant to override it.
class TEditVerbEditor : public TVerbEditor {
public:
  using TVerbEditor::TVerbEditor;
  void ExecuteVerb(int Index) override {
    TVerbEditor::ExecuteVerb(Index);
    Edit();
  }
};

TEST_F(DesignIntfTest, ComponentEditorLookupAndDefaultEdit) {
  TDsBase Base(nullptr);
  TDsDerived Derived(nullptr);
  auto Plain = GetComponentEditor(&Base, &Designer);
  EXPECT_EQ(Plain->GetVerbCount(), 0);
  Plain->Edit(); // nothing to run

  RegisterComponentEditor(ComponentClass<TDsDerived>(), ComponentEditorClass<TEditVerbEditor>());
  RegisterComponentEditor(ComponentClass<TDsBase>(), ComponentEditorClass<TVerbEditor>());
  auto ForBase = GetComponentEditor(&Base, &Designer);
  auto ForDerived = GetComponentEditor(&Derived, &Designer);
  ASSERT_NE(dynamic_cast<TVerbEditor*>(ForBase.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TEditVerbEditor*>(ForBase.get()), nullptr);
  ASSERT_NE(dynamic_cast<TEditVerbEditor*>(ForDerived.get()), nullptr);
  EXPECT_EQ(ForDerived->GetComponent(), &Derived);
  EXPECT_EQ(ForDerived->GetDesigner(), &Designer);

  ForBase->Edit();
  EXPECT_EQ(static_cast<TVerbEditor*>(ForBase.get())->Runs, 1) << "Edit runs the first verb";
  // The verb calls Edit, which would run the verb again: it stops instead.
  ForDerived->ExecuteVerb(0);
  EXPECT_EQ(static_cast<TVerbEditor*>(ForDerived.get())->Runs, 2);
}

} // namespace
} // namespace ztl
