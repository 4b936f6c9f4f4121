// The framework's data components in form files: data sources, persistent
// fields inside their dataset, events stored by handler name and bound
// through handler tables, and the errors a bad form gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/FormFiles.h"
#include "framework/classes/TypInfo.h"
#include "framework/db/DB.h"
#include "framework/forms/DataModule.h"
#include "framework/forms/Forms.h"
#include "tests/framework/MemDataSet.h"

namespace ztl {
namespace {

// Registered under its own class name so that form files can create it.
class TFormMemDataSet : public test::TMemDataSet {
public:
  explicit TFormMemDataSet(TComponent* AOwner) : TMemDataSet(AOwner) {
    AddColumn("ID", ftInteger);
    AddColumn("NAME", ftString, 30);
    AddColumn("KIND_ID", ftInteger);
  }
};

void RegisterFormTestClasses() {
  RegisterDBClasses();
  if (FindClassInfo(typeid(TFormMemDataSet)))
    return;
  RegisterClass<TFormMemDataSet, TDataSet>();
  RegisterProperty<TFormMemDataSet>("Active", &TDataSet::GetActive, &TDataSet::SetActive, false);
  RegisterDataSetEvents<TFormMemDataSet>();
}

std::string Crlf(const std::string& Text) {
  std::string Out;
  for (char C : Text) {
    if (C == '\n')
      Out += '\r';
    Out += C;
  }
  return Out;
}

// Handler tables are process-wide; every test leaves none behind.
class FormComponents : public ::testing::Test {
protected:
  void SetUp() override { RegisterFormTestClasses(); }
  void TearDown() override {
    RegisterEventHandlers("TDataModule", {});
    RegisterEventHandlers("TForm", {});
  }
};

const char* const ItemsForm = R"(object Module1: TDataModule
  OldCreateOrder = False
  OnCreate = Module1Create
  object Items: TFormMemDataSet
    AfterOpen = ItemsAfterOpen
    OnCalcFields = ItemsCalcFields
    OnPostError = ItemsPostError
    Left = 40
    Top = 16
    object ItemsID: TIntegerField
      DisplayLabel = 'No.'
      FieldName = 'ID'
      ProviderFlags = [pfInUpdate, pfInWhere, pfInKey]
      ReadOnly = True
      MaxValue = 100000
    end
    object ItemsNAME: TStringField
      Alignment = taCenter
      DisplayLabel = 'It'#39's the name'#13#10'of the item'
      DisplayWidth = 12
      FieldName = 'NAME'
      Required = True
      OnValidate = ItemsNAMEValidate
      EditMask = '>aaa;0;_'
      Size = 30
    end
    object ItemsKIND_ID: TIntegerField
      Alignment = taLeftJustify
      FieldName = 'KIND_ID'
      Visible = False
    end
    object ItemsKIND: TStringField
      FieldKind = fkLookup
      FieldName = 'KIND'
      LookupDataSet = Kinds
      LookupKeyFields = 'ID'
      LookupResultField = 'NAME'
      KeyFields = 'KIND_ID'
      Lookup = True
    end
    object ItemsSCORE: TFloatField
      FieldKind = fkCalculated
      FieldName = 'SCORE'
      DisplayFormat = '0.00'
      MaxValue = 99.5
      MinValue = -1.5
      Precision = 7
      Calculated = True
    end
  end
  object Kinds: TFormMemDataSet
  end
  object Source1: TDataSource
    AutoEdit = False
    DataSet = Items
    Enabled = False
    OnStateChange = Source1StateChange
    OnDataChange = Source1DataChange
    OnUpdateData = Source1UpdateData
  end
  object Stray: TBlobField
    FieldName = 'STRAY'
    Size = 8
  end
end
)";

// Text in, components, text out: every form here is laid out as the
// classic writer lays it out, so the bytes come back unchanged.
TEST_F(FormComponents, FormsComeBackByteForByte) {
  const std::vector<std::string> Forms = {
      ItemsForm,
      // Every field class, at its own defaults except the name.
      R"(object Module1: TDataModule
  object Data: TFormMemDataSet
    object F1: TStringField
      FieldName = 'A'
    end
    object F2: TWideStringField
      FieldName = 'B'
    end
    object F3: TSmallintField
      FieldName = 'C'
    end
    object F4: TWordField
      FieldName = 'D'
    end
    object F5: TLargeintField
      FieldName = 'E'
    end
    object F6: TCurrencyField
      FieldName = 'F'
    end
    object F7: TBCDField
      FieldName = 'G'
      Size = 2
    end
    object F8: TBooleanField
      FieldName = 'H'
    end
    object F9: TDateField
      FieldName = 'I'
      DisplayFormat = 'yyyy-mm-dd'
    end
    object F10: TTimeField
      FieldName = 'J'
      EditMask = '!90:00;1;_'
    end
    object F11: TBytesField
      FieldName = 'K'
    end
    object F12: TVarBytesField
      FieldName = 'L'
      Size = 300
    end
    object F13: TMemoField
      FieldName = 'M'
    end
    object F14: TGraphicField
      FieldName = 'N'
    end
    object F15: TDateTimeField
      FieldName = 'O'
    end
  end
end
)",
      // A form root with its own events.
      R"(object Orders: TForm
  Caption = 'Orders'
  Width = 400
  OnClose = OrdersClose
  OnCreate = OrdersCreate
  OnDestroy = OrdersDestroy
  OnShow = OrdersShow
  object Source1: TDataSource
    Left = 8
    Top = 8
  end
end
)",
  };
  for (const std::string& Form : Forms) {
    const std::string Text = Crlf(Form);
    std::unique_ptr<TComponent> Root(StringToComponent(Text));
    EXPECT_EQ(ComponentToString(Root.get()), Text);
  }
}

TEST_F(FormComponents, PersistentFieldsBelongToTheFormAndLiveInTheirDataset) {
  std::unique_ptr<TComponent> Root(StringToComponent(Crlf(ItemsForm)));
  auto* Items = dynamic_cast<TDataSet*>(Root->FindComponent("Items"));
  auto* Kinds = dynamic_cast<TDataSet*>(Root->FindComponent("Kinds"));
  ASSERT_TRUE(Items && Kinds);
  std::vector<std::string> Names;
  for (TField* F : Items->Fields()) {
    Names.push_back(F->GetName());
    EXPECT_EQ(F->GetOwnerComponent(), Root.get()) << F->GetName();
    EXPECT_EQ(F->DataSet(), Items) << F->GetName();
  }
  EXPECT_EQ(Names, (std::vector<std::string>{"ItemsID", "ItemsNAME", "ItemsKIND_ID", "ItemsKIND",
                                             "ItemsSCORE"}));
  EXPECT_EQ(Kinds->FieldCount(), 0);

  TField* Kind = Items->FieldByName("KIND");
  EXPECT_EQ(Kind->FieldKind(), fkLookup);
  EXPECT_EQ(Kind->LookupDataSet(), Kinds); // declared after the field: resolved at the end
  EXPECT_EQ(Kind->KeyFields, "KIND_ID");
  EXPECT_EQ(Items->FieldByName("SCORE")->FieldKind(), fkCalculated);
  EXPECT_EQ(Items->FieldByName("NAME")->DisplayLabel(), "It's the name\r\nof the item");
  // Numbers lean right unless told; a string field is as wide as its size.
  EXPECT_EQ(Items->FieldByName("ID")->Alignment(), taRightJustify);
  EXPECT_EQ(Items->FieldByName("KIND_ID")->Alignment(), taLeftJustify);
  EXPECT_EQ(Kind->DisplayWidth(), 20);

  // A field saved without a dataset comes back without one, and is kept.
  auto* Stray = dynamic_cast<TBlobField*>(Root->FindComponent("Stray"));
  ASSERT_NE(Stray, nullptr);
  EXPECT_EQ(Stray->DataSet(), nullptr);

  auto* Source = dynamic_cast<TDataSource*>(Root->FindComponent("Source1"));
  ASSERT_NE(Source, nullptr);
  EXPECT_EQ(Source->GetDataSet(), Items);
  EXPECT_FALSE(Source->GetEnabled());
  EXPECT_FALSE(Source->GetAutoEdit());
}

TEST_F(FormComponents, EventsBindThroughTheTableOfTheRootClass) {
  std::vector<std::string> Calls;
  TEventHandlers Handlers;
  Handlers.Add<TDataSetNotifyEvent>("ItemsAfterOpen",
                                    [&](TDataSet* D) { Calls.push_back("open " + D->GetName()); });
  Handlers.Add<TNotifyEvent>("Module1Create", [&](TObject* Sender) {
    // Runs once everything is read: the components are there.
    auto* M = dynamic_cast<TComponent*>(Sender);
    Calls.push_back("create " + std::to_string(M->GetComponentCount()));
  });
  Handlers.Add<TDataChangeEvent>("Source1DataChange",
                                 [&](TObject*, TField*) { Calls.push_back("change"); });
  RegisterEventHandlers("TDataModule", Handlers);

  std::unique_ptr<TComponent> Root(StringToComponent(Crlf(ItemsForm)));
  EXPECT_EQ(Calls, (std::vector<std::string>{"create 9"}));
  auto* Items = dynamic_cast<TFormMemDataSet*>(Root->FindComponent("Items"));
  auto* Source = dynamic_cast<TDataSource*>(Root->FindComponent("Source1"));
  Source->SetEnabled(true);
  Items->AddRow({Variant(1), Variant("saw"), Variant()});
  // OnCalcFields and OnValidate have no code: they do nothing when they fire.
  Items->Open();
  Items->Edit();
  Items->FieldByName("NAME")->SetAsString("axe");
  Items->Cancel();
  EXPECT_NE(std::find(Calls.begin(), Calls.end(), "open Items"), Calls.end());
  EXPECT_NE(std::find(Calls.begin(), Calls.end(), "change"), Calls.end());
  EXPECT_FALSE(Items->OnCalcFields);
  Items->Close();
  Source->SetEnabled(false);

  // The names without code are reported, and still written back.
  const std::vector<std::string> Unbound = BindEventHandlers(*Root, &Handlers);
  EXPECT_EQ(Unbound, (std::vector<std::string>{
                         "Items.OnCalcFields = ItemsCalcFields",
                         "Items.OnPostError = ItemsPostError", "ItemsNAME.OnValidate = ItemsNAMEValidate",
                         "Source1.OnStateChange = Source1StateChange",
                         "Source1.OnUpdateData = Source1UpdateData"}));
  EXPECT_EQ(ComponentToString(Root.get()), Crlf(ItemsForm));

  // Unbinding leaves the names and takes the code away.
  BindEventHandlers(*Root, nullptr);
  EXPECT_FALSE(Items->AfterOpen);
  EXPECT_EQ(GetPropValueText(*Items, *GetPropInfo(*Items, "AfterOpen")), "ItemsAfterOpen");
}

TEST_F(FormComponents, SettingAHandlerNameBindsOrClearsTheEvent) {
  int Opened = 0;
  TEventHandlers Handlers;
  Handlers.Add<TDataSetNotifyEvent>("Count", [&](TDataSet*) { ++Opened; });
  Handlers.Add<TNotifyEvent>("Plain", [](TObject*) {});
  RegisterEventHandlers("TDataModule", Handlers);
  TDataModule Module(nullptr);
  auto* Data = new TFormMemDataSet(&Module);
  Data->SetName("Data");
  const TPropInfo* AfterOpen = GetPropInfo(*Data, "AfterOpen");
  ASSERT_NE(AfterOpen, nullptr);
  EXPECT_EQ(AfterOpen->Kind, pkMethod);
  EXPECT_EQ(AfterOpen->TypeName, "TDataSetNotifyEvent");

  SetPropValueText(*Data, *AfterOpen, "count", &Module);
  Data->Open();
  Data->Close();
  EXPECT_EQ(Opened, 1);
  EXPECT_EQ(GetPropValueText(*Data, *AfterOpen), "count");

  // A handler of another event type is refused and changes nothing.
  try {
    SetPropValueText(*Data, *AfterOpen, "Plain", &Module);
    ADD_FAILURE() << "a handler of the wrong type was taken";
  } catch (const EPropertyError& E) {
    EXPECT_NE(std::string(E.GetMessage()).find("Handler Plain does not fit event AfterOpen"),
              std::string::npos)
        << E.GetMessage();
  }
  EXPECT_EQ(GetPropValueText(*Data, *AfterOpen), "count");
  EXPECT_THROW(SetPropValueText(*Data, *AfterOpen, "not a name", &Module), EPropertyError);

  SetPropValueText(*Data, *AfterOpen, "", &Module);
  Data->Open();
  EXPECT_EQ(Opened, 1);
  EXPECT_FALSE(Data->AfterOpen);
}

TEST_F(FormComponents, AFormOwnedByAnotherComponentUsesTheTableOfItsOwnClass) {
  int Opened = 0;
  TEventHandlers Handlers;
  Handlers.Add<TDataSetNotifyEvent>("ItemsAfterOpen", [&](TDataSet*) { ++Opened; });
  RegisterEventHandlers("TDataModule", Handlers);
  TComponent Application(nullptr);
  auto* Module = new TDataModule(&Application);
  StringToComponent(Crlf(ItemsForm), Module);
  auto* Items = dynamic_cast<TDataSet*>(Module->FindComponent("Items"));
  ASSERT_NE(Items, nullptr);
  Items->Open();
  EXPECT_EQ(Opened, 1);
}

TEST_F(FormComponents, InheritedFormsWriteOnlyChangedHandlersAndFields) {
  const std::string Ancestor = Crlf(R"(object Module1: TDataModule
  object Items: TFormMemDataSet
    AfterOpen = ItemsAfterOpen
    BeforeClose = ItemsBeforeClose
    object ItemsID: TIntegerField
      FieldName = 'ID'
    end
  end
end
)");
  std::unique_ptr<TComponent> Base(StringToComponent(Ancestor));
  std::unique_ptr<TComponent> Derived(StringToComponent(Ancestor));
  auto* Items = dynamic_cast<TDataSet*>(Derived->FindComponent("Items"));
  SetPropValueText(*Items, *GetPropInfo(*Items, "AfterOpen"), "", Derived.get());
  SetPropValueText(*Items, *GetPropInfo(*Items, "BeforeClose"), "Other", Derived.get());
  Items->FieldByName("ID")->SetDisplayLabel("Number");
  Items->FieldByName("ID")->SetFieldKind(fkCalculated);
  const std::string Expected = Crlf(R"(inherited Module1: TDataModule
  inherited Items: TFormMemDataSet
    AfterOpen = nil
    BeforeClose = Other
    inherited ItemsID: TIntegerField
      DisplayLabel = 'Number'
      FieldKind = fkCalculated
      Calculated = True
    end
  end
end
)");
  const std::string Text = ComponentToString(Derived.get(), Base.get());
  EXPECT_EQ(Text, Expected);

  std::unique_ptr<TComponent> Again(new TDataModule(nullptr));
  TStringStream A(Ancestor), D(Text);
  TReader Reader(std::vector<TStream*>{&A, &D});
  Reader.ReadRootComponent(Again.get());
  auto* Back = dynamic_cast<TDataSet*>(Again->FindComponent("Items"));
  EXPECT_EQ(GetPropValueText(*Back, *GetPropInfo(*Back, "AfterOpen")), "");
  EXPECT_EQ(GetPropValueText(*Back, *GetPropInfo(*Back, "BeforeClose")), "Other");
  EXPECT_EQ(Back->FieldByName("ID")->FieldKind(), fkCalculated);
}

// Each broken form names what is wrong and the line it is on.
TEST_F(FormComponents, BrokenFormsFailWithTheirLine) {
  struct TCase {
    const char* Body; // the lines after "object M: TDataModule"
    const char* Message;
    int Line;
  };
  const TCase Cases[] = {
      {"  object F: TNoSuchField\n  end\n", "Class TNoSuchField not found", 2},
      {"  object D: TFormMemDataSet\n    object F: TStringField\n      Colour = 3\n", "Colour",
       4},
      {"  object D: TFormMemDataSet\n    object F: TStringField\n      FieldKind = fkNope\n",
       "Invalid property value", 4},
      {"  object D: TFormMemDataSet\n    object F: TStringField\n      Size = -1\n",
       "Invalid property value", 4},
      {"  object D: TFormMemDataSet\n    object F: TStringField\n      FieldName = 'A'\n    end\n"
       "    object G: TIntegerField\n      FieldName = 'a'\n",
       "Duplicate field name 'a'", 7},
      {"  object D: TFormMemDataSet\n    AfterOpen = 'Open'\n", "Error reading D.AfterOpen", 3},
      {"  object D: TFormMemDataSet\n    object F: TStringField\n      LookupDataSet = Gone\n",
       "Unresolved reference to Gone", 4},
      // No registered class has a collection property; one is refused, not dropped.
      {"  object D: TFormMemDataSet\n    object F: TStringField\n      DisplayLabel = <\n"
       "        item\n        end>\n",
       "Invalid property value", 4},
      {"  object D: TFormMemDataSet\n    FieldDefs = <>\n", "Property FieldDefs does not exist",
       3},
  };
  for (const TCase& C : Cases) {
    std::string Text = std::string("object M: TDataModule\n") + C.Body;
    // Close whatever the case left open.
    int Open = 0;
    for (std::size_t P = 0; (P = Text.find("object ", P)) != std::string::npos; ++P)
      ++Open;
    for (std::size_t P = 0; (P = Text.find("  end\n", P)) != std::string::npos; ++P)
      --Open;
    for (; Open > 0; --Open)
      Text += "end\n";
    try {
      std::unique_ptr<TComponent> Root(StringToComponent(Text));
      ADD_FAILURE() << "read without error:\n" << Text;
    } catch (const EReadError& E) {
      const std::string Msg = E.GetMessage();
      EXPECT_NE(Msg.find(C.Message), std::string::npos) << Msg;
      EXPECT_NE(Msg.find("on line " + std::to_string(C.Line)), std::string::npos) << Msg;
    }
  }
}

TEST_F(FormComponents, AHandlerOfTheWrongTypeInAFormIsAnErrorWithItsLine) {
  TEventHandlers Handlers;
  Handlers.Add<TNotifyEvent>("ItemsAfterOpen", [](TObject*) {});
  RegisterEventHandlers("TDataModule", Handlers);
  try {
    std::unique_ptr<TComponent> Root(StringToComponent(Crlf(ItemsForm)));
    ADD_FAILURE() << "read without error";
  } catch (const EReadError& E) {
    const std::string Msg = E.GetMessage();
    EXPECT_NE(Msg.find("Items.AfterOpen"), std::string::npos) << Msg;
    EXPECT_NE(Msg.find("on line 5"), std::string::npos) << Msg;
  }
}

} // namespace
} // namespace ztl
