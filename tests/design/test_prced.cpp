// The stored procedure parameter editor driven through its real widgets on
// the recording driver's procedure, always through the inspector's editor
// (the dialog only ever sees the editor's working copy): New and Delete for
// named and unnamed procedures, the direction box and what it enables, the
// copy written back on OK alone, catalog errors before any dialog, and a
// picture of the dialog.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "design/ZtlPrcEd.h"
#include "framework/rtl/Application.h"
#include "tests/dataset/test_dataset_util.h"
#include "tests/framework/widgets_test_util.h"
#include "tests/support/RecordingStoredProc.h"

namespace ztl::test {
namespace {

std::vector<std::string> Describe(const TZantrelParams& List) {
  std::vector<std::string> Lines;
  for (int I = 0; I < List.Count(); ++I) {
    const TZantrelParam& P = *List.GetItem(I);
    Lines.push_back(P.GetName() + "|type " + std::to_string(P.GetDataType()) + "|dir " +
                    std::to_string(P.GetParamType()) + (P.IsNull() ? "|null" : "") + "|" +
                    VarToStr(P.GetValue()));
  }
  return Lines;
}

class TCountingDesigner : public IDesigner {
public:
  void Modified() override { ++Count; }
  int Count = 0;
};

class ProcParamsTest : public ::testing::Test {
protected:
  ProcParamsTest() {
    Session.SetKeepConnection(false);
    Proc = std::make_unique<TRecordingStoredProc>(nullptr, &Session);
    Proc->SetName("Proc1");
    // x input Integer, y output Int64, r result Boolean, @p1 input-output String.
    Proc->Catalog = {{"x", 1, 1}, {"y", 3, 276}, {"r", 4, 24}, {"@p1", 2, 7}};
  }
  void SetUp() override {
    ClearEditorRegistry();
    ZtlPrcEd::Register();
    RegisterClass<TRecordingStoredProc, TZantrelCustomStoredProc>();
    Editor = GetPropertyEditor(&Designer, {Proc.get()}, *GetPropInfo(*Proc, "Params"));
  }
  void TearDown() override { ClearEditorRegistry(); }

  TZantrelParams& Params() { return *Proc->GetParams(); }
  // An unnamed procedure's own list: a Integer 1 input, b String null output.
  void Unnamed() {
    TZantrelParam* A = Params().CreateParam("a");
    A->SetAsInteger(1);
    A->SetParamType(nptInput);
    TZantrelParam* B = Params().CreateParam("b");
    B->SetDataType(ntString);
    B->SetParamType(nptOutput);
  }

  // Runs the editor; Act works in the open dialog, which it must close.
  void EditWith(std::function<void(QWidget* Window)> Act) {
    WhenModal([&](QWidget* Window) {
      for (int I = 0; I < Screen().GetFormCount(); ++I)
        if (GetFormWidget(*Screen().GetForm(I)) == Window)
          Dlg = dynamic_cast<TZantrelProcParamsDlg*>(Screen().GetForm(I));
      ASSERT_NE(Dlg, nullptr);
      Act(Window);
      Dlg = nullptr;
    });
    Editor->Edit();
  }

  QWidget* Widget(const char* Name) { return Find<QWidget>(*Dlg, Name); }
  QListWidget* List() { return Find<QListWidget>(*Dlg, "lbParamNames"); }
  QComboBox* Directions() { return Find<QComboBox>(*Dlg, "cbParamType"); }
  void Click(const char* Button) {
    QTest::mouseClick(Find<QPushButton>(*Dlg, Button), Qt::LeftButton);
  }
  void ClickLine(int Index) {
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      List()->visualItemRect(List()->item(Index)).center());
  }
  // Chooses item Index of a combo box with the keyboard, as a user does.
  void Choose(const char* Box, int Index) {
    auto* Combo = Find<QComboBox>(*Dlg, Box);
    Combo->setFocus();
    QTest::keyClick(Combo, Qt::Key_Home);
    for (int I = 0; I < Index; ++I)
      QTest::keyClick(Combo, Qt::Key_Down);
  }
  bool ValueEnabled() {
    const bool Value = Widget("edParamValue")->isEnabled();
    EXPECT_EQ(Widget("cbNull")->isEnabled(), Value);
    return Value;
  }

  TRecordingSession Session;
  std::unique_ptr<TRecordingStoredProc> Proc;
  TCountingDesigner Designer;
  std::unique_ptr<TPropertyEditor> Editor;
  TZantrelProcParamsDlg* Dlg = nullptr; // the editor's dialog while it runs
};

TEST_F(ProcParamsTest, TheProceduresParamsGetTheDialogEditor) {
  ASSERT_NE(dynamic_cast<TZantrelProcParamsProperty*>(Editor.get()), nullptr);
  EXPECT_EQ(Editor->GetAttributes().ToBits(), TPropertyAttributes{paDialog}.ToBits());
  Unnamed();
  std::string Caption;
  EditWith([&](QWidget*) {
    Caption = Dlg->GetCaption();
    Click("btnCancel");
  });
  // The working list has no owner: just its class name.
  EXPECT_EQ(Caption, "TZantrelParams Parameters");
}

// A named procedure's parameters come from the catalog: each one shows its
// direction, New and Delete stay off on every line, and only parameters
// that send a value let one be typed.
TEST_F(ProcParamsTest, NamedProcedureEditsButNeitherAddsNorDeletes) {
  Proc->SetProcName("getit");
  struct TLine {
    const char* Name;
    int Direction; // the box's item
    bool Value;
  };
  const std::vector<TLine> Expected = {
      {"x", 0, true}, {"y", 2, false}, {"r", 3, false}, {"@p1", 1, true}};
  EditWith([&](QWidget*) {
    ASSERT_EQ(List()->count(), 4);
    for (int I = 0; I < 4; ++I) {
      ClickLine(I);
      const TLine& L = Expected[static_cast<std::size_t>(I)];
      EXPECT_EQ(List()->item(I)->text().toStdString(), L.Name);
      EXPECT_EQ(Directions()->currentIndex(), L.Direction) << L.Name;
      EXPECT_EQ(ValueEnabled(), L.Value) << L.Name;
      EXPECT_FALSE(Widget("btnNew")->isEnabled()) << L.Name;
      EXPECT_FALSE(Widget("btnDelete")->isEnabled()) << L.Name;
      for (const char* Name : {"edParamName", "cbParamType", "cbDataType"})
        EXPECT_TRUE(Widget(Name)->isEnabled()) << L.Name << " " << Name;
    }
    EXPECT_EQ(Directions()->count(), 4);
    EXPECT_EQ(Directions()->itemText(1).toStdString(), "Input/Output");
    Click("btnCancel");
  });
}

TEST_F(ProcParamsTest, UnnamedProcedureAddsParametersOfNoDirection) {
  Unnamed();
  EditWith([&](QWidget*) {
    EXPECT_TRUE(Widget("btnNew")->isEnabled());
    EXPECT_TRUE(Widget("btnDelete")->isEnabled());
    Click("btnNew");
    EXPECT_EQ(List()->currentRow(), 2);
    EXPECT_EQ(List()->item(2)->text().toStdString(), "p3");
    EXPECT_EQ(Directions()->currentIndex(), -1);
    EXPECT_TRUE(ValueEnabled());
    Click("btnDelete");
    EXPECT_EQ(List()->count(), 2);
    Click("btnCancel");
  });
}

// The direction box enables the value at once and keeps it as it was.
TEST_F(ProcParamsTest, OutputAndResultDisableTheValueAndInputEnablesIt) {
  Unnamed();
  EditWith([&](QWidget*) {
    TZantrelParam* A = Dlg->GetEditedParams()->GetItem(0);
    for (const auto& [Item, Value] : std::vector<std::pair<int, bool>>{
             {2, false}, {0, true}, {3, false}, {1, true}}) {
      Choose("cbParamType", Item);
      EXPECT_EQ(A->GetParamType(), Item + 1);
      EXPECT_EQ(ValueEnabled(), Value) << Item;
      EXPECT_EQ(A->GetAsInteger(), 1);
    }
    Click("btnCancel");
  });
}

// Every edit, then a way out: the procedure sees nothing of them unless OK,
// and then exactly the dialog's list, both entries of a repeated name too.
TEST_F(ProcParamsTest, OnlyOkWritesTheWorkingCopyBack) {
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
    Unnamed();
    const std::vector<std::string> Before = Describe(Params());
    std::vector<std::string> Edited;
    Designer.Count = 0;
    EditWith([&](QWidget* Window) {
      Choose("cbParamType", 2);  // a: output
      ClickLine(1);
      Choose("cbDataType", ntInteger);
      Click("btnNew");           // p3
      ClickLine(0);
      Click("btnDelete");        // b, p3
      Click("btnNew");           // b, p3, p3
      Dlg->GetEditedParams()->GetItem(1)->SetAsInteger(3);
      Dlg->GetEditedParams()->GetItem(2)->SetAsString("second");
      Edited = Describe(*Dlg->GetEditedParams());
      C.Close(Window);
    });
    EXPECT_EQ(Describe(Params()), C.Kept ? Edited : Before) << C.Way;
    EXPECT_EQ(Designer.Count, C.Kept ? 1 : 0) << C.Way;
  }
}

// CopyParams reads the catalog for a procedure without parameters; what
// fails there reaches the caller and no dialog opens.
TEST_F(ProcParamsTest, CopyParamsErrorsLeaveBeforeTheDialog) {
  struct TCase {
    const char* Operation;
    TRecordingFailMode How;
    const char* Message;
  };
  const std::vector<TCase> Cases = {
      {"InternalPrepareOpen", rfRaise, "no catalog"},
      {"InternalOpen", rfReturnFalse, "catalog closed"},
  };
  Proc->SetProcName("getit");
  for (const TCase& C : Cases) {
    Session.GetLog().FailAt(C.Operation, C.How, true, -4, C.Message);
    bool Opened = false;
    QTimer::singleShot(0, [&] {
      if (QWidget* Window = QApplication::activeModalWidget()) {
        Opened = true;
        Window->close();
      }
    });
    std::string Message;
    try {
      Editor->Edit();
    } catch (const std::exception& E) {
      Message = E.what();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Message, C.Message) << C.Message;
    EXPECT_FALSE(Opened) << C.Message;
    EXPECT_EQ(Params().Count(), 0) << C.Message;
    EXPECT_FALSE(Proc->GetPrepared()) << C.Message;
    EXPECT_EQ(Designer.Count, 0) << C.Message;
  }
}

TEST_F(ProcParamsTest, DialogRendersToAPicture) {
  Proc->SetProcName("getit");
  EditWith([&](QWidget* Window) {
    Dlg->SetCaption("Proc1.TZantrelParams Parameters");
    ClickLine(1);
    const QPixmap Picture = Window->grab();
    EXPECT_EQ(Picture.size(), QSize(400, 264));
    QDir().mkpath(ZTL_PICTURE_DIR);
    EXPECT_TRUE(
        Picture.save(QString::fromLatin1(ZTL_PICTURE_DIR) + "/ZantrelProcParamsDlg.png", "PNG"));
    Click("btnCancel");
  });
}

} // namespace
} // namespace ztl::test
