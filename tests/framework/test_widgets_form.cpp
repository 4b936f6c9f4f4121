// A form's Qt window: what it shows of the form, the modal protocol
// (ModalResult, buttons, Escape and Enter, OnClose vetoing), and the form's
// own events across its life.
#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <memory>
#include <string>
#include <vector>

#include "tests/framework/widgets_test_util.h"

namespace ztl {
namespace {

using test::Find;
using test::WhenModal;

// A small dialog as the design-time units build theirs: an edit, OK and
// Cancel, the form's events recorded.
class TTestDialog : public TForm {
public:
  TTestDialog(TComponent* AOwner, std::vector<std::string>& ALog) : TForm(AOwner), Log(ALog) {
    SetName("TestDialog");
    SetCaption("Test");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(300);
    SetClientHeight(120);
    edValue = new TEdit(this);
    edValue->SetName("edValue");
    edValue->SetBounds(8, 8, 200, 24);
    btnOK = new TButton(this);
    btnOK->SetName("btnOK");
    btnOK->SetCaption("OK");
    btnOK->SetDefault(true);
    btnOK->SetModalResult(mrOk);
    btnOK->SetBounds(8, 80, 75, 25);
    btnCancel = new TButton(this);
    btnCancel->SetName("btnCancel");
    btnCancel->SetCaption("Cancel");
    btnCancel->SetCancel(true);
    btnCancel->SetModalResult(mrCancel);
    btnCancel->SetBounds(90, 80, 75, 25);
    btnOK->OnClick = [this](TObject*) { Log.push_back("OK.OnClick"); };
    OnCreate = [this](TObject*) { Log.push_back("OnCreate"); };
    OnShow = [this](TObject*) { Log.push_back("OnShow"); };
    OnClose = [this](TObject*, TCloseAction& Action) {
      Log.push_back("OnClose " + std::to_string(GetModalResult()));
      if (Veto)
        Action = caNone;
      Veto = false;
    };
    OnDestroy = [this](TObject*) { Log.push_back("OnDestroy"); };
    DoCreate();
  }
  ~TTestDialog() override { DoDestroy(); }

  TEdit* edValue;
  TButton* btnOK;
  TButton* btnCancel;
  bool Veto = false; // the next OnClose keeps the form open

private:
  std::vector<std::string>& Log;
};

TEST(FormWindow, ShowsNameCaptionFixedClientSizeCentred) {
  std::vector<std::string> Log;
  TTestDialog Form(nullptr, Log);
  QWidget* Window = GetFormWidget(Form);
  EXPECT_EQ(Window->objectName(), "TestDialog");
  EXPECT_EQ(Window->windowTitle(), "Test");
  EXPECT_EQ(Window->size(), QSize(300, 120));
  EXPECT_EQ(Window->minimumSize(), Window->maximumSize()) << "a dialog border is not sizeable";
  Form.SetCaption("Renamed");
  EXPECT_EQ(Window->windowTitle(), "Renamed");

  QPoint Centre;
  WhenModal([&](QWidget* W) {
    Centre = W->frameGeometry().center();
    Form.SetModalResult(mrCancel);
  });
  Form.ShowModal();
  const QPoint Screen = QGuiApplication::primaryScreen()->availableGeometry().center();
  // Within what the window frame adds on either side.
  EXPECT_LE((Centre - Screen).manhattanLength(), 10);
}

TEST(FormWindow, ClickedButtonAnswersAfterItsOnClickAndOnClose) {
  std::vector<std::string> Log;
  TTestDialog Form(nullptr, Log);
  WhenModal([&](QWidget*) {
    QTest::mouseClick(Find<QPushButton>(Form, "btnOK"), Qt::LeftButton);
  });
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_EQ(Log, (std::vector<std::string>{"OnCreate", "OnShow", "OK.OnClick", "OnClose 1"}));
  EXPECT_FALSE(Form.GetVisible());
}

TEST(FormWindow, KeysAndCloseAnswerLikeThePlatform) {
  struct TCase {
    const char* What;
    std::function<void(TTestDialog&, QWidget*)> Act;
    TModalResult Expected;
  };
  const std::vector<TCase> Cases = {
      {"Escape clicks the Cancel button",
       [](TTestDialog&, QWidget* W) { QTest::keyClick(W, Qt::Key_Escape); }, mrCancel},
      {"Enter in the edit clicks the Default button",
       [](TTestDialog& F, QWidget*) {
         QTest::keyClick(Find<QWidget>(F, "edValue"), Qt::Key_Return);
       },
       mrOk},
      {"Close on a modal form answers Cancel", [](TTestDialog& F, QWidget*) { F.Close(); },
       mrCancel},
      {"the window's close box asks the form to Close",
       [](TTestDialog&, QWidget* W) { W->close(); }, mrCancel},
      {"a ModalResult of the program's own", [](TTestDialog& F, QWidget*) { F.SetModalResult(42); },
       42},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    std::vector<std::string> Log;
    TTestDialog Form(nullptr, Log);
    WhenModal([&](QWidget* W) { C.Act(Form, W); });
    EXPECT_EQ(Form.ShowModal(), C.Expected);
  }
}

TEST(FormWindow, OnCloseWithCaNoneKeepsTheFormOpenAndClearsModalResult) {
  std::vector<std::string> Log;
  TTestDialog Form(nullptr, Log);
  Form.Veto = true;
  TModalResult AfterVeto = -1;
  WhenModal([&](QWidget*) {
    Form.btnCancel->Click();
    // Let the form answer; it refuses, so the loop goes on.
    QTimer::singleShot(0, [&] {
      AfterVeto = Form.GetModalResult();
      EXPECT_TRUE(Form.GetVisible());
      Form.btnOK->Click();
    });
  });
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_EQ(AfterVeto, mrNone);
  EXPECT_EQ(Log, (std::vector<std::string>{"OnCreate", "OnShow", "OnClose 2", "OK.OnClick",
                                           "OnClose 1"}));
}

TEST(FormWindow, ShowModalOnAVisibleFormRaises) {
  std::vector<std::string> Log;
  TTestDialog Form(nullptr, Log);
  Form.Show();
  EXPECT_THROW(Form.ShowModal(), EInvalidOperation);
  Form.Hide();
}

TEST(FormWindow, AFormCanBeShownModallyAgain) {
  std::vector<std::string> Log;
  TTestDialog Form(nullptr, Log);
  for (TModalResult Answer : {mrOk, mrCancel}) {
    WhenModal([&](QWidget*) { Form.SetModalResult(Answer); });
    EXPECT_EQ(Form.ShowModal(), Answer);
  }
}

TEST(FormWindow, WithoutAWindowSystemAFormCannotBeShown) {
  UseWidgets();
  const TFormWindowFactory Old = SetFormWindowFactory({});
  {
    TForm Form(nullptr);
    Form.SetName("Bare");
    try {
      Form.ShowModal();
      ADD_FAILURE() << "ShowModal without a window system did not raise";
    } catch (const EInvalidOperation& E) {
      EXPECT_STREQ(E.what(), "Form Bare has no window: no window system is in use");
    }
    EXPECT_FALSE(Form.HandleAllocated());
  }
  SetFormWindowFactory(Old);
}

TEST(FormWindow, DestroyingAFormFiresOnDestroyOnceAndNoControlEvent) {
  std::vector<std::string> Log;
  {
    auto Form = std::make_unique<TTestDialog>(nullptr, Log);
    Form->edValue->OnExit = [&](TObject*) { Log.push_back("edValue.OnExit"); };
    test::ShowActive(*Form);
    Form->edValue->SetFocus();
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"OnCreate", "OnShow", "OnDestroy"}));
}

} // namespace
} // namespace ztl
