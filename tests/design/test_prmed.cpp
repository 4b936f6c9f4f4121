// The parameter editor driven through its real widgets on the recording
// driver's query: what the dialog shows, what each control does to the
// query's list, the way back on every close but OK, Reset, help, the
// inspector's editor, and a picture of the dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "design/ZtlPrmEd.h"
#include "framework/rtl/Application.h"
#include "tests/dataset/test_dataset_util.h"
#include "tests/framework/widgets_test_util.h"

namespace ztl::test {
namespace {

// Everything a parameter holds, as one line, so that lists compare whole.
std::string Describe(const TZantrelParam& P) {
  return P.GetName() + "|" + P.GetAlias() + "|type " + std::to_string(P.GetDataType()) +
         "|dir " + std::to_string(P.GetParamType()) + (P.IsNull() ? "|null" : "") +
         (P.GetBound() ? "|bound" : "") + "|var " + std::to_string(P.GetValue().VarType()) +
         "=" + VarToStr(P.GetValue());
}
std::vector<std::string> Describe(const TZantrelParams& List) {
  std::vector<std::string> Lines;
  for (int I = 0; I < List.Count(); ++I)
    Lines.push_back(Describe(*List.GetItem(I)));
  return Lines;
}

class ParamsDlgTest : public ::testing::Test {
protected:
  ParamsDlgTest() {
    Session.SetKeepConnection(false);
    Query = std::make_unique<TRecordingDataset>(nullptr, &Session);
    Query->SetName("Query1");
    Query->GetRecordingSQL().SetResult(PeopleColumns(), PeopleRows());
    Dlg = std::make_unique<TZantrelParamsDlg>(nullptr);
  }

  TZantrelParams& Params() { return *Query->GetParams(); }
  TZantrelParam* Add(const std::string& Name) { return Params().CreateParam(Name); }
  void Show() {
    Dlg->SetParams(&Params());
    ShowActive(*Dlg);
  }

  // The dialog the helpers below drive: the modal one while the inspector's
  // editor runs, else the fixture's.
  TZantrelParamsDlg& Shown() { return Modal ? *Modal : *Dlg; }
  QListWidget* List() { return Find<QListWidget>(Shown(), "lbParamNames"); }
  QLineEdit* Edit(const char* Name) { return Find<QLineEdit>(Shown(), Name); }
  QComboBox* Types() { return Find<QComboBox>(Shown(), "cbDataType"); }
  QCheckBox* Null() { return Find<QCheckBox>(Shown(), "cbNull"); }
  void Click(const char* Button) {
    QTest::mouseClick(Find<QPushButton>(Shown(), Button), Qt::LeftButton);
  }
  void ClickLine(int Index) {
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      List()->visualItemRect(List()->item(Index)).center());
  }
  void ClickNull() { QTest::mouseClick(Null(), Qt::LeftButton, {}, QPoint(8, Null()->height() / 2)); }
  // Chooses a data type in the combo box as a user does, with the keyboard.
  void ChooseType(TZantrelParamDataType Type) {
    Types()->setFocus();
    QTest::keyClick(Types(), Qt::Key_Home);
    for (int I = 0; I < Type; ++I)
      QTest::keyClick(Types(), Qt::Key_Down);
  }
  // Types Text over the value edit's text and leaves it for the name edit.
  void TypeValue(const char* Text) {
    QTest::mouseClick(Edit("edParamValue"), Qt::LeftButton);
    Edit("edParamValue")->selectAll();
    QTest::keyClicks(Edit("edParamValue"), Text);
    QTest::mouseClick(Edit("edParamName"), Qt::LeftButton);
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> Result;
    for (int I = 0; I < List()->count(); ++I)
      Result.push_back(List()->item(I)->text().toStdString());
    return Result;
  }

  TRecordingSession Session;
  std::unique_ptr<TRecordingDataset> Query;
  std::unique_ptr<TZantrelParamsDlg> Dlg; // goes before the query whose list it edits
  TZantrelParamsDlg* Modal = nullptr;     // the inspector editor's dialog while it runs
};

TEST_F(ParamsDlgTest, EmptyListSelectsNothingAndLeavesOnlyNewUsable) {
  Show();
  EXPECT_EQ(List()->count(), 0);
  EXPECT_EQ(List()->currentRow(), -1);
  EXPECT_EQ(Types()->currentIndex(), -1);
  for (const char* Name : {"btnDelete", "edParamName", "cbDataType", "edParamValue", "cbNull"})
    EXPECT_FALSE(Find<QWidget>(*Dlg, Name)->isEnabled()) << Name;
  EXPECT_TRUE(Find<QWidget>(*Dlg, "btnNew")->isEnabled());
  Click("btnNew");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"p1"}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Edit("edParamName")->text(), "p1");
  EXPECT_EQ(Types()->currentText(), "ntUnknown");
  EXPECT_TRUE(Find<QWidget>(*Dlg, "btnDelete")->isEnabled());
}

TEST_F(ParamsDlgTest, NewNamesByCountNotByTheNamesPresent) {
  struct TCase {
    std::vector<std::string> Names;
    int DeleteLine; // -1: none
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> Cases = {
      {{"p1", "p2", "x"}, -1, {"p1", "p2", "x", "p4"}},
      {{"p1", "p2"}, 0, {"p2", "p2"}},
  };
  for (const TCase& C : Cases) {
    Params().Clear();
    for (const std::string& Name : C.Names)
      Add(Name);
    Show();
    if (C.DeleteLine >= 0) {
      ClickLine(C.DeleteLine);
      Click("btnDelete");
    }
    Click("btnNew");
    EXPECT_EQ(Lines(), C.Expected);
    EXPECT_EQ(List()->currentRow(), static_cast<int>(C.Expected.size()) - 1);
  }
}

// Two entries of one name are two parameters: each line edits, shows and
// deletes its own.
TEST_F(ParamsDlgTest, LinesOfTheSameNameEditTheirOwnParameter) {
  Add("p2")->SetAsInteger(1);
  Add("p2")->SetAsInteger(2);
  Show();
  ClickLine(1);
  EXPECT_EQ(Edit("edParamValue")->text(), "2");
  Edit("edParamName")->selectAll();
  QTest::keyClicks(Edit("edParamName"), "second");
  EXPECT_EQ(Params().GetItem(0)->GetName(), "p2");
  EXPECT_EQ(Params().GetItem(1)->GetName(), "second");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"p2", "second"}));
  Click("btnDelete");
  ASSERT_EQ(Params().Count(), 1);
  EXPECT_EQ(Params().GetItem(0)->GetAsInteger(), 1);
}

TEST_F(ParamsDlgTest, NewStopsAt255Parameters) {
  for (int I = 1; I <= 254; ++I)
    Add("q" + std::to_string(I));
  Show();
  ClickLine(3);
  Click("btnNew");
  ASSERT_EQ(Params().Count(), 255);
  EXPECT_EQ(Params().GetItem(254)->GetName(), "p255");
  EXPECT_EQ(List()->currentRow(), 254);
  ClickLine(3);
  Click("btnNew");
  EXPECT_EQ(Params().Count(), 255);
  EXPECT_EQ(List()->count(), 255);
  EXPECT_EQ(List()->currentRow(), 3);
  EXPECT_EQ(Edit("edParamName")->text(), "q4");
}

TEST_F(ParamsDlgTest, ValuesAreStoredWhenTheEditIsLeftAndTypeChangesResetThem) {
  Add("p1")->SetAsInteger(42);
  Show();
  EXPECT_EQ(Types()->currentText(), "ntInteger");
  EXPECT_EQ(Edit("edParamValue")->text(), "42");

  TypeValue("17");
  EXPECT_EQ(Params().GetItem(0)->GetAsInteger(), 17);
  TypeValue("abc"); // no number: stored as 0 without a message, not null
  EXPECT_EQ(Params().GetItem(0)->GetAsInteger(), 0);
  EXPECT_FALSE(Params().GetItem(0)->IsNull());
  TypeValue("5");

  ChooseType(ntString);
  EXPECT_EQ(Params().GetItem(0)->GetDataType(), ntString);
  EXPECT_EQ(Describe(*Params().GetItem(0)), "p1||type 1|dir 0|bound|var 3=0");
  EXPECT_EQ(Edit("edParamValue")->text(), "");

  ChooseType(ntUnknown);
  Click("btnNew");
  ClickLine(0);
  EXPECT_EQ(Types()->currentText(), "ntUnknown");
  EXPECT_EQ(Edit("edParamValue")->text(), "");
}

TEST_F(ParamsDlgTest, NullOnClearsAndNullOffStoresTheEmptiedText) {
  Add("p1")->SetAsString("abc");
  TZantrelParam* Stored = Add("p2");
  Stored->SetAsInteger(9);
  Stored->Clear();
  Show();
  EXPECT_FALSE(Null()->isChecked());

  ClickNull();
  EXPECT_TRUE(Params().GetItem(0)->IsNull());
  EXPECT_EQ(Edit("edParamValue")->text(), "");
  ClickNull();
  EXPECT_FALSE(Params().GetItem(0)->IsNull());
  EXPECT_EQ(Params().GetItem(0)->GetDataType(), ntString);
  EXPECT_EQ(Params().GetItem(0)->GetAsString(), "");

  // Showing a null parameter checks the box without touching the parameter.
  const std::string Before = Describe(*Params().GetItem(1));
  ClickLine(1);
  EXPECT_TRUE(Null()->isChecked());
  EXPECT_EQ(Describe(*Params().GetItem(1)), Before);
  ClickLine(0);
  EXPECT_FALSE(Null()->isChecked());
  EXPECT_EQ(Describe(*Params().GetItem(1)), Before);
}

TEST_F(ParamsDlgTest, ResetRebuildsFromTheStatementAndRaisesOnAnOpenQuery) {
  Query->GetSQL()->SetText("select * from PEOPLE where ID = :ID and NAME = :NAME");
  Show();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"ID", "NAME"}));
  Click("btnNew");
  Click("btnReset");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"ID", "NAME"}));
  EXPECT_EQ(Params().Count(), 2);
  EXPECT_EQ(List()->currentRow(), 0);

  Click("btnNew");
  Query->Open();
  const std::vector<std::string> Before = Describe(Params());
  std::vector<std::string> Reported;
  const TExceptionEvent Old = std::move(Application().OnException);
  Application().OnException = [&](TObject*, std::exception_ptr E) {
    Reported.push_back(MessageOf<EDatabaseError>([&] { std::rethrow_exception(E); }));
  };
  Click("btnReset");
  Application().OnException = Old;
  EXPECT_EQ(Reported, (std::vector<std::string>{"Query1: Cannot perform this operation on an open dataset"}));
  EXPECT_EQ(Describe(Params()), Before);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"ID", "NAME", "p3"}));
}

// ---- through the inspector's editor -----------------------------------------

class TCountingDesigner : public IDesigner {
public:
  void Modified() override { ++Count; }
  int Count = 0;
};

class ParamsPropertyTest : public ParamsDlgTest {
protected:
  void SetUp() override {
    Dlg.reset(); // the editor makes its own
    ClearEditorRegistry();
    ZtlPrmEd::Register();
    RegisterClass<TRecordingDataset, TZantrelCustomDataset>();
    Editor = GetPropertyEditor(&Designer, {Query.get()}, *GetPropInfo(*Query, "Params"));
  }
  void TearDown() override { ClearEditorRegistry(); }

  // Runs the editor; Act works in the open dialog (Shown()), which it must
  // close.
  void EditWith(std::function<void(QWidget* Window)> Act) {
    WhenModal([&](QWidget* Window) {
      for (int I = 0; I < Screen().GetFormCount(); ++I)
        if (GetFormWidget(*Screen().GetForm(I)) == Window)
          Modal = dynamic_cast<TZantrelParamsDlg*>(Screen().GetForm(I));
      ASSERT_NE(Modal, nullptr);
      Act(Window);
      Modal = nullptr;
    });
    Editor->Edit();
  }

  TCountingDesigner Designer;
  std::unique_ptr<TPropertyEditor> Editor;
};

TEST_F(ParamsPropertyTest, TheQuerysParamsGetTheDialogEditor) {
  ASSERT_NE(dynamic_cast<TZantrelParamsProperty*>(Editor.get()), nullptr);
  EXPECT_EQ(Editor->GetAttributes().ToBits(), TPropertyAttributes{paDialog}.ToBits());
  EXPECT_EQ(Editor->GetValue(), "(TZantrelParams)");
  std::string Caption;
  EditWith([&](QWidget*) {
    Caption = Shown().GetCaption();
    Click("btnOK");
  });
  EXPECT_EQ(Caption, "Query1.TZantrelParams Parameters");
}

// Every edit the dialog makes, then a way out: only OK keeps them.
TEST_F(ParamsPropertyTest, AnyCloseButOkRestoresTheListExactly) {
  struct TCase {
    const char* Way;
    std::function<void(QWidget* Window)> Close;
    bool Kept;
  };
  const std::vector<TCase> Cases = {
      {"OK", [this](QWidget*) { Click("btnOK"); }, true},
      {"Cancel", [this](QWidget*) { Click("btnCancel"); }, false},
      {"Escape", [](QWidget* W) { QTest::keyClick(W, Qt::Key_Escape); }, false},
      {"window", [](QWidget* W) { W->close(); }, false},
  };
  for (const TCase& C : Cases) {
    Params().Clear();
    Query->GetSQL()->SetText("select * from PEOPLE where ID = :ID and NAME = :NAME");
    Params().GetItem(0)->SetAsInteger(7);
    Params().GetItem(1)->Clear();
    Params().GetItem(1)->SetDataType(ntString);
    TZantrelParam* Out = Add("?");
    Out->SetAsFloat(1.5);
    Out->SetParamType(nptOutput);
    Add("?")->SetAsString("second");
    const std::vector<std::string> Before = Describe(Params());
    Designer.Count = 0;

    EditWith([&](QWidget* Window) {
      ClickLine(3);
      Edit("edParamName")->selectAll();
      QTest::keyClicks(Edit("edParamName"), "renamed");
      ClickLine(0);
      ChooseType(ntInt64);
      ClickLine(1);
      ClickNull();
      TypeValue("x");
      Click("btnNew");
      ClickLine(2);
      Click("btnDelete");
      Click("btnReset");
      Click("btnNew");
      C.Close(Window);
    });

    if (C.Kept) {
      EXPECT_EQ(Describe(Params()).size(), 3u) << C.Way;
      EXPECT_EQ(Params().GetItem(2)->GetName(), "p3") << C.Way;
      EXPECT_EQ(Designer.Count, 1) << C.Way;
    } else {
      EXPECT_EQ(Describe(Params()), Before) << C.Way;
      EXPECT_EQ(Designer.Count, 0) << C.Way;
    }
  }
}

TEST_F(ParamsDlgTest, DialogRendersToAPicture) {
  Query->GetSQL()->SetText("select * from PEOPLE where ID = :ID and NAME = :NAME");
  Params().GetItem(0)->SetAsInteger(42);
  Dlg->SetCaption("Query1.TZantrelParams Parameters");
  Show();
  const QPixmap Picture = GetFormWidget(*Dlg)->grab();
  EXPECT_EQ(Picture.size(), QSize(400, 240));
  QDir().mkpath(ZTL_PICTURE_DIR);
  ASSERT_TRUE(Picture.save(QString::fromLatin1(ZTL_PICTURE_DIR) + "/ZantrelParamsDlg.png", "PNG"));
}

} // namespace
} // namespace ztl::test
