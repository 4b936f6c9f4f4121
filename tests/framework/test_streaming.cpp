// Components through form files: round trips of every property kind,
// defaults, references resolved after the whole form, Loaded order,
// inherited forms, reader errors and the registries.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/framework/test_streaming_classes.h"

namespace ztl {
namespace {

class Streaming : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterTestClasses();
    LoadedLog().clear();
  }

  // A module holding two components with every property kind set.
  static std::unique_ptr<TDataModule> MakeModule() {
    auto M = std::make_unique<TDataModule>(nullptr);
    M->SetName("Module1");
    auto* A = new TTestComponent(M.get());
    A->SetName("Alpha");
    auto* B = new TTestComponent(M.get());
    B->SetName("Beta");
    A->SetActive(true);
    A->SetCount(-7);
    A->SetBig(INT64_MIN);
    A->SetSmall(-32768);
    A->SetColor(tcBlue);
    A->SetColors({tcRed, tcBlue});
    A->SetCaption(std::string("It's \x01\xFF ") + std::string(100, 'x'));
    A->SetRatio(0.1);
    A->SetBuddy(B);
    A->GetLines()->Add("select *");
    A->GetLines()->Add("");
    A->GetItem()->Width = 3;
    A->GetItem()->Points = {1, -2, 3};
    A->GetItem()->Data = std::string("\0\x01\xFE", 3) + std::string(40, 'z');
    A->DesignInfo = (24 << 16) | 40;
    B->SetBuddy(B);
    return M;
  }
};

TEST_F(Streaming, EveryPropertyKindRoundTripsAndSavesTheSameBytes) {
  auto M = MakeModule();
  const std::string Text = ComponentToString(M.get());

  std::unique_ptr<TComponent> Loaded(StringToComponent(Text));
  auto* L = dynamic_cast<TDataModule*>(Loaded.get());
  ASSERT_NE(L, nullptr);
  auto* A = dynamic_cast<TTestComponent*>(L->FindComponent("Alpha"));
  auto* B = dynamic_cast<TTestComponent*>(L->FindComponent("Beta"));
  ASSERT_TRUE(A && B);
  const auto* Src = dynamic_cast<TTestComponent*>(M->FindComponent("Alpha"));
  EXPECT_TRUE(A->GetActive());
  EXPECT_EQ(A->GetCount(), -7);
  EXPECT_EQ(A->GetBig(), INT64_MIN);
  EXPECT_EQ(A->GetSmall(), -32768);
  EXPECT_EQ(A->GetColor(), tcBlue);
  EXPECT_EQ(A->GetColors(), (TTestColors{tcRed, tcBlue}));
  EXPECT_EQ(A->GetCaption(), Src->GetCaption());
  EXPECT_EQ(A->GetRatio(), 0.1);
  EXPECT_EQ(A->GetBuddy(), B);
  EXPECT_EQ(B->GetBuddy(), B);
  EXPECT_EQ(A->GetLines()->GetText(), "select *\r\n\r\n");
  EXPECT_EQ(A->GetItem()->Width, 3);
  EXPECT_EQ(A->GetItem()->Points, (std::vector<std::int64_t>{1, -2, 3}));
  EXPECT_EQ(A->GetItem()->Data, Src->GetItem()->Data);
  EXPECT_EQ(A->DesignInfo, Src->DesignInfo);
  EXPECT_EQ(ComponentToString(L), Text);
}

TEST_F(Streaming, WritesOnlyValuesThatDifferFromTheDefaults) {
  TDataModule M(nullptr);
  M.SetName("Module1");
  auto* A = new TTestComponent(&M);
  A->SetName("Alpha");
  A->SetCount(2);
  EXPECT_EQ(ComponentToString(&M), "object Module1: TDataModule\r\n"
                                   "  object Alpha: TTestComponent\r\n"
                                   "    Count = 2\r\n"
                                   "  end\r\n"
                                   "end\r\n");
}

TEST_F(Streaming, ReferencesResolveAfterTheWholeFormAndBeforeLoaded) {
  const std::string Text = "object Module1: TDataModule\n"
                           "  object Alpha: TTestContainer\n"
                           "    Buddy = Gamma\n"
                           "    object Inner: TTestComponent\n"
                           "      Buddy = Gamma\n"
                           "    end\n"
                           "  end\n"
                           "  object Gamma: TTestComponent\n"
                           "    Buddy = Alpha.Inner\n"
                           "  end\n"
                           "end\n";
  std::unique_ptr<TComponent> M(StringToComponent(Text));
  auto* Alpha = dynamic_cast<TTestContainer*>(M->FindComponent("Alpha"));
  ASSERT_NE(Alpha, nullptr);
  auto* Inner = dynamic_cast<TTestComponent*>(Alpha->FindComponent("Inner"));
  auto* Gamma = dynamic_cast<TTestComponent*>(M->FindComponent("Gamma"));
  ASSERT_TRUE(Inner && Gamma);
  EXPECT_EQ(Inner->GetOwnerComponent(), Alpha);
  EXPECT_EQ(Alpha->GetBuddy(), Gamma);
  EXPECT_EQ(Gamma->GetBuddy(), Inner);
  EXPECT_EQ(Alpha->BuddyAtLoaded, Gamma);
  EXPECT_FALSE(Alpha->BuddySetWhileReading);
  EXPECT_EQ(Inner->GetBuddy(), Gamma);
  EXPECT_EQ(LoadedLog(), (std::vector<std::string>{"Alpha", "Inner", "Gamma"}));
  for (TComponent* C : {M.get(), static_cast<TComponent*>(Alpha), static_cast<TComponent*>(Inner)})
    EXPECT_FALSE(C->InState(csLoading) || C->InState(csReading));
  EXPECT_EQ(ComponentToString(M.get()), FormObjectToText(ParseFormText(Text)));
}

TEST_F(Streaming, ReadErrorsNameTheProblemAndTheLine) {
  struct TCase {
    std::string Body;
    std::string Message;
  } Cases[] = {
      {"  object A: TTestComponent\n    Foo = 1\n  end\n", "Property Foo does not exist on line 3"},
      {"  object A: TNoSuchClass\n  end\n", "Class TNoSuchClass not found on line 2"},
      {"  object A: TTestComponent\n    Item.Foo = 1\n  end\n",
       "Property Item.Foo does not exist on line 3"},
      {"  object A: TTestComponent\n    Count.X = 1\n  end\n", "Invalid property path on line 3"},
      {"  object A: TTestComponent\n    Color = tcPink\n  end\n",
       "Error reading A.Color: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Small = 40000\n  end\n",
       "Error reading A.Small: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Count = 'x'\n  end\n",
       "Error reading A.Count: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Colors = [tcRed, tcPink]\n  end\n",
       "Error reading A.Colors: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Lines = 'x'\n  end\n",
       "Error reading A.Lines: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Caption = 'fail'\n  end\n",
       "Error reading A.Caption: Caption refused on line 3"},
      {"  object A: TTestComponent\n    Item.Points = 5\n  end\n",
       "Error reading A.Item.Points: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Item.Data = 'x'\n  end\n",
       "Error reading A.Item.Data: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Left = 70000\n  end\n",
       "Error reading A.Left: Invalid property value on line 3"},
      {"  object A: TTestComponent\n    Buddy = Nobody\n  end\n",
       "Unresolved reference to Nobody on line 3"},
      {"  object A: TTestComponent\n    Buddy = M\n  end\n",
       "Error reading A.Buddy: Invalid property value on line 3"},
      {"  object A: TTestComponent\n  end\n  object A: TTestComponent\n  end\n",
       "Error reading A.Name: A component named A already exists on line 4"},
      {"  inherited A: TTestComponent\n  end\n", "Ancestor for 'A' not found on line 2"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Body);
    TDataModule M(nullptr);
    try {
      StringToComponent("object M: TDataModule\n" + C.Body + "end\n", &M);
      ADD_FAILURE() << "accepted";
    } catch (const EReadError& E) {
      EXPECT_EQ(E.GetMessage(), C.Message);
    }
    // Nothing the failed read created survives, and nothing stays loading.
    EXPECT_EQ(M.GetComponentCount(), 0);
    EXPECT_FALSE(M.InState(csLoading) || M.InState(csReading));
  }
}

TEST_F(Streaming, UnknownRootClassFailsWithoutLeavingAnything) {
  EXPECT_THROW(StringToComponent("object X: TNoSuchClass\nend\n"), EClassNotFound);
  // A created root is destroyed again when a later error strikes.
  EXPECT_THROW(StringToComponent("object X: TDataModule\n  Foo = 1\nend\n"), EReadError);
}

TEST_F(Streaming, ExistingComponentsKeepTheirStateAfterAFailedRead) {
  TDataModule M(nullptr);
  auto* Kept = new TTestComponent(&M);
  Kept->SetName("Kept");
  EXPECT_THROW(StringToComponent("object M: TDataModule\n"
                                 "  object New1: TTestComponent\n"
                                 "  end\n"
                                 "  object New2: TTestComponent\n"
                                 "    Buddy = Missing\n"
                                 "  end\n"
                                 "end\n",
                                 &M),
               EReadError);
  ASSERT_EQ(M.GetComponentCount(), 1);
  EXPECT_EQ(M.GetComponent(0), Kept);
}

TEST_F(Streaming, InheritedFormWritesOnlyDifferencesAndReadsBackInLayers) {
  auto Ancestor = MakeModule();
  const std::string AncestorText = ComponentToString(Ancestor.get());

  TDataModule Desc(nullptr);
  StringToComponent(AncestorText, &Desc);
  auto* A = dynamic_cast<TTestComponent*>(Desc.FindComponent("Alpha"));
  ASSERT_NE(A, nullptr);
  A->SetCount(8);
  A->GetLines()->Add("where 1=1");
  A->GetItem()->Points.clear();
  A->SetBuddy(nullptr);
  auto* Extra = new TTestComponent(&Desc);
  Extra->SetName("Extra");
  Extra->SetBuddy(dynamic_cast<TTestComponent*>(Desc.FindComponent("Beta")));

  const std::string Diff = ComponentToString(&Desc, Ancestor.get());
  EXPECT_EQ(Diff, "inherited Module1: TDataModule\r\n"
                  "  inherited Alpha: TTestComponent\r\n"
                  "    Count = 8\r\n"
                  "    Buddy = nil\r\n"
                  "    Lines.Strings = (\r\n"
                  "      'select *'\r\n"
                  "      ''\r\n"
                  "      'where 1=1')\r\n"
                  "    Item.Points = ()\r\n"
                  "  end\r\n"
                  "  inherited Beta: TTestComponent\r\n"
                  "  end\r\n"
                  "  object Extra: TTestComponent\r\n"
                  "    Buddy = Beta\r\n"
                  "  end\r\n"
                  "end\r\n");

  TStringStream Layer1(AncestorText), Layer2(Diff);
  TReader Reader(std::vector<TStream*>{&Layer1, &Layer2});
  TDataModule Back(nullptr);
  LoadedLog().clear();
  Reader.ReadRootComponent(&Back);
  EXPECT_EQ(ComponentToString(&Back), ComponentToString(&Desc));
  // Components of both layers get Loaded once, in the order first read.
  EXPECT_EQ(LoadedLog(), (std::vector<std::string>{"Alpha", "Beta", "Extra"}));
}

TEST_F(Streaming, FormFilesSaveAndLoadByteForByte) {
  const auto Dir = std::filesystem::temp_directory_path() / "ztl_streaming_test";
  std::filesystem::create_directories(Dir);
  const std::string First = (Dir / "a.zfm").string(), Second = (Dir / "b.zfm").string();
  auto M = MakeModule();
  WriteComponentResFile(First, M.get());
  TDataModule Back(nullptr);
  ReadComponentResFile(First, &Back);
  WriteComponentResFile(Second, &Back);
  auto Bytes = [](const std::string& Name) {
    std::ifstream In(Name, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  };
  EXPECT_EQ(Bytes(First), Bytes(Second));
  EXPECT_EQ(Bytes(First), ComponentToString(M.get()));
  EXPECT_THROW(ReadComponentResFile((Dir / "missing.zfm").string(), &Back), EFOpenError);
  std::filesystem::remove_all(Dir);
}

TEST_F(Streaming, ReadsTheClassicSampleForm) {
  const std::string Sample = std::string(ZTL_FORMS_DIR) + "/classic.zfm";
  std::unique_ptr<TComponent> M(ReadComponentResFile(Sample));
  auto* Query = dynamic_cast<TTestComponent*>(M->FindComponent("Query1"));
  ASSERT_NE(Query, nullptr);
  EXPECT_EQ(Query->GetLines()->Count(), 3);
  EXPECT_EQ(Query->GetLines()->Strings(2),
            "where name = 'O''Brien' and x = " + std::string(60, '9'));
  EXPECT_EQ(Query->GetItem()->Data.size(), 40u);
  EXPECT_EQ(Query->GetBuddy(), M->FindComponent("Session1"));
  EXPECT_EQ(Query->DesignInfo, (16 << 16) | 96);
  EXPECT_EQ(dynamic_cast<TDataModule*>(M.get())->GetWidth(), 215);
}

TEST(PropertyRegistry, DescendantsListTheirAncestorsPropertiesFirst) {
  RegisterTestClasses();
  const TClassInfo* Info = FindClassInfo("ttestcontainer");
  ASSERT_NE(Info, nullptr);
  std::vector<std::string> Names;
  for (const TPropInfo* P : Info->GetProperties())
    Names.push_back(P->Name);
  ASSERT_GE(Names.size(), 4u);
  EXPECT_EQ(Names[0], "Name");
  EXPECT_EQ(Names[1], "Tag");
  EXPECT_EQ(Names[2], "Active");

  // Re-registering in a descendant replaces the property in its place.
  RegisterProperty<TTestContainer>("Active", &TTestComponent::GetActive, &TTestComponent::SetActive,
                                   true);
  const auto Props = Info->GetProperties();
  EXPECT_EQ(Props[2]->Name, "Active");
  EXPECT_EQ(Props[2]->Default, TPropValue(std::int64_t{1}));
  EXPECT_EQ(FindClassInfo("TTestComponent")->FindProperty("active")->Default,
            TPropValue(std::int64_t{0}));
  EXPECT_EQ(Props.size(), Names.size());
}

TEST(PropertyRegistry, UnregisteredClassesUseTheirNearestRegisteredBase) {
  RegisterTestClasses();
  struct TPrivate : TTestComponent {
    using TTestComponent::TTestComponent;
  } P(nullptr);
  EXPECT_EQ(GetClassInfo(P), FindClassInfo("TTestComponent"));
  EXPECT_THROW(CreateComponentByName("TNothing", nullptr), EClassNotFound);
  EXPECT_THROW(CreateComponentByName("TStrings", nullptr), EClassNotFound);
}

TEST(PropertyRegistry, ValuesAsTextForTheInspector) {
  RegisterTestClasses();
  TDataModule M(nullptr);
  M.SetName("M");
  auto* A = new TTestComponent(&M);
  A->SetName("A");
  struct TCase {
    const char* Prop;
    const char* Text;
  } Cases[] = {
      {"Active", "True"}, {"Count", "-5"},   {"Color", "tcGreen"}, {"Colors", "[tcRed,tcBlue]"},
      {"Caption", "a b"}, {"Ratio", "0.25"}, {"Buddy", "A"},       {"Lines", "(TStringList)"}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Prop);
    const TPropInfo* P = GetPropInfo(*A, C.Prop);
    ASSERT_NE(P, nullptr);
    if (P->Kind != pkStrings)
      SetPropValueText(*A, *P, C.Text, &M);
    EXPECT_EQ(GetPropValueText(*A, *P), C.Text);
  }
  const TPropInfo* Small = GetPropInfo(*A, "Small");
  EXPECT_THROW(SetPropValueText(*A, *Small, "70000", &M), EPropertyError);
  EXPECT_THROW(SetPropValueText(*A, *GetPropInfo(*A, "Color"), "tcPink", &M), EPropertyError);
  EXPECT_THROW(SetPropValueText(*A, *GetPropInfo(*A, "Buddy"), "M", &M), EPropertyError);
  EXPECT_THROW(GetPropInfo(*A, "Lines")->SetValue(*A, static_cast<TObject*>(nullptr)),
               EPropertyError);
}

} // namespace
} // namespace ztl
