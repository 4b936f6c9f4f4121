// The controls on real widgets: names and parents, which changes fire which
// events (the user's and the program's), focus, accelerators, errors of
// handlers, and the file-system controls.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "framework/rtl/Application.h"
#include "tests/framework/widgets_test_util.h"

namespace ztl {
namespace {

using test::Find;

// A form with one control of each kind, named after the kind.
class ControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    UseWidgets();
    Form = std::make_unique<TForm>(nullptr);
    Form->SetName("Controls");
    Form->SetClientWidth(400);
    Form->SetClientHeight(300);
    Group = Make<TGroupBox>("gbGroup");
    Group->SetBounds(0, 0, 400, 200);
    Edit1 = Make<TEdit>("edOne", Group);
    Edit1->SetBounds(8, 20, 100, 24);
    Edit2 = Make<TEdit>("edTwo", Group);
    Edit2->SetBounds(8, 50, 100, 24);
    Label = Make<TLabel>("lblTwo", Group);
    Label->SetFocusControl(Edit2);
    Label->SetCaption("&Name:");
    Check = Make<TCheckBox>("cbCheck", Group);
    Check->SetCaption("&Check");
    Check->SetBounds(120, 20, 100, 24);
    List = Make<TListBox>("lbList", Group);
    List->SetBounds(230, 20, 150, 100);
    Combo = Make<TComboBox>("cbCombo", Group);
    Combo->SetBounds(120, 50, 100, 24);
    for (const char* S : {"alpha", "beta", "gamma"}) {
      List->GetItems().Add(S);
      Combo->GetItems().Add(S);
    }
  }

  void TearDown() override { Form.reset(); }

  template <class C>
  C* Make(const char* Name, TControl* Parent = nullptr) {
    auto* Control = new C(Form.get());
    Control->SetName(Name);
    if (Parent)
      Control->SetParent(Parent);
    return Control;
  }

  // A user's click on the check box's indicator.
  void ClickCheckBox() {
    auto* Box = Find<QCheckBox>(*Form, "cbCheck");
    QTest::mouseClick(Box, Qt::LeftButton, {}, QPoint(8, Box->height() / 2));
  }

  // Counts each firing of Event under Name.
  TNotifyEvent Count(const std::string& Name) {
    return [this, Name](TObject*) { Log.push_back(Name); };
  }

  std::unique_ptr<TForm> Form;
  TGroupBox* Group = nullptr;
  TEdit* Edit1 = nullptr;
  TEdit* Edit2 = nullptr;
  TLabel* Label = nullptr;
  TCheckBox* Check = nullptr;
  TListBox* List = nullptr;
  TComboBox* Combo = nullptr;
  std::vector<std::string> Log;
};

TEST_F(ControlsTest, EachControlIsAWidgetNamedAfterItInsideItsParent) {
  QWidget* Window = GetFormWidget(*Form);
  auto* G = Find<QGroupBox>(*Form, "gbGroup");
  ASSERT_NE(G, nullptr);
  EXPECT_EQ(G->parentWidget(), Window);
  for (const char* Name : {"edOne", "edTwo", "lblTwo", "cbCheck", "lbList", "cbCombo"}) {
    QWidget* W = Find<QWidget>(*Form, Name);
    ASSERT_NE(W, nullptr) << Name;
    EXPECT_EQ(W->parentWidget(), G) << Name;
  }
  Edit1->SetName("edRenamed");
  EXPECT_EQ(Edit1->GetWidget()->objectName(), "edRenamed");
  EXPECT_EQ(Edit1->GetParentForm(), Form.get());
}

TEST_F(ControlsTest, CheckBoxClickFiresForTheProgramsChangesToo) {
  Check->OnClick = Count("click");
  Check->SetChecked(true);
  Check->SetChecked(true); // no change, no click
  test::ShowActive(*Form);
  ClickCheckBox();
  EXPECT_FALSE(Check->GetChecked());
  // Detached, the handler misses the change: how a form shows a value
  // without acting on it.
  const TNotifyEvent Saved = std::move(Check->OnClick);
  Check->OnClick = nullptr;
  Check->SetChecked(true);
  Check->OnClick = Saved;
  EXPECT_EQ(Log, (std::vector<std::string>{"click", "click"}));
  EXPECT_TRUE(Check->GetChecked());
}

TEST_F(ControlsTest, EditChangeFiresOnEveryKeystrokeAndOnSetText) {
  Edit1->OnChange = [this](TObject*) { Log.push_back(Edit1->GetText()); };
  test::ShowActive(*Form);
  QTest::keyClicks(Find<QLineEdit>(*Form, "edOne"), "abc");
  Edit1->SetText("x\xe9"); // Windows-1252 e acute survives the trip through Qt
  EXPECT_EQ(Log, (std::vector<std::string>{"a", "ab", "abc", "x\xe9"}));
  EXPECT_EQ(Find<QLineEdit>(*Form, "edOne")->text(), QString::fromUtf8("x\u00e9"));
}

TEST_F(ControlsTest, EnterAndExitFollowTheFocusBetweenControls) {
  Edit1->OnEnter = Count("one.enter");
  Edit1->OnExit = Count("one.exit");
  Edit2->OnEnter = Count("two.enter");
  Edit2->OnExit = Count("two.exit");
  test::ShowActive(*Form);
  Edit1->SetFocus();
  QTest::mouseClick(Find<QLineEdit>(*Form, "edTwo"), Qt::LeftButton);
  EXPECT_TRUE(Edit2->Focused());
  EXPECT_EQ(Log, (std::vector<std::string>{"one.enter", "one.exit", "two.enter"}));
}

TEST_F(ControlsTest, LabelAcceleratorFocusesItsControl) {
  test::ShowActive(*Form);
  Edit1->SetFocus();
  QTest::keyClick(GetFormWidget(*Form), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(Edit2->Focused());
}

TEST_F(ControlsTest, LabelCaptionHidesTheAmpersandWithoutAFocusControl) {
  auto* Plain = Make<TLabel>("lblPlain");
  Plain->SetCaption("&Parameter && value:");
  EXPECT_EQ(Find<QLabel>(*Form, "lblPlain")->text(), "Parameter & value:");
  EXPECT_EQ(Find<QLabel>(*Form, "lblTwo")->buddy(), Find<QLineEdit>(*Form, "edTwo"));
  // The focus control going away leaves no dangling buddy behind.
  delete Edit2;
  Edit2 = nullptr;
  EXPECT_EQ(Label->GetFocusControl(), nullptr);
  EXPECT_EQ(Find<QLabel>(*Form, "lblTwo")->text(), "Name:");
}

TEST_F(ControlsTest, ListAndComboFireOnlyForTheUsersChoice) {
  List->OnClick = [this](TObject*) { Log.push_back("list " + std::to_string(List->GetItemIndex())); };
  Combo->OnChange = [this](TObject*) {
    Log.push_back("combo " + std::to_string(Combo->GetItemIndex()));
  };
  List->SetItemIndex(0);
  Combo->SetItemIndex(-1);
  List->GetItems().Delete(0);
  EXPECT_EQ(List->GetItemIndex(), -1);
  test::ShowActive(*Form);
  auto* L = Find<QListWidget>(*Form, "lbList");
  QTest::mouseClick(L->viewport(), Qt::LeftButton, {}, L->visualItemRect(L->item(1)).center());
  auto* C = Find<QComboBox>(*Form, "cbCombo");
  C->setFocus();
  Combo->SetItemIndex(0);
  QTest::keyClick(C, Qt::Key_Down);
  EXPECT_EQ(Log, (std::vector<std::string>{"list 1", "combo 1"}));
  EXPECT_EQ(Combo->GetText(), "beta");
  EXPECT_EQ(List->GetItems().Count(), 2);
  EXPECT_EQ(List->GetItems()[1], "gamma");
}

TEST_F(ControlsTest, HandlerErrorRaisesOutOfTheProgramsChangeButIsReportedForTheUsers) {
  Check->OnClick = [](TObject*) { throw Exception("handler failed"); };
  try {
    Check->SetChecked(true);
    ADD_FAILURE() << "the handler's error did not reach the setter";
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "handler failed");
  }
  std::vector<std::string> Reported;
  const TExceptionEvent Old = std::move(Application().OnException);
  Application().OnException = [&](TObject* Sender, std::exception_ptr E) {
    try {
      std::rethrow_exception(E);
    } catch (const std::exception& X) {
      Reported.push_back(static_cast<TComponent*>(Sender)->GetName() + ": " + X.what());
    }
  };
  test::ShowActive(*Form);
  ClickCheckBox();
  Application().OnException = Old;
  EXPECT_EQ(Reported, (std::vector<std::string>{"cbCheck: handler failed"}));
}

TEST_F(ControlsTest, ButtonModalResultClosesTheFormItSitsIn) {
  auto* Button = Make<TButton>("btnInGroup", Group);
  Button->SetModalResult(mrYes);
  Button->OnClick = Count("click");
  test::WhenModal([&](QWidget*) { QTest::mouseClick(Button->GetWidget(), Qt::LeftButton); });
  EXPECT_EQ(Form->ShowModal(), mrYes);
  EXPECT_EQ(Log, (std::vector<std::string>{"click"}));
}

TEST_F(ControlsTest, DisabledControlsTakeNoInput) {
  Check->OnClick = Count("click");
  Check->SetEnabled(false);
  test::ShowActive(*Form);
  ClickCheckBox();
  EXPECT_TRUE(Log.empty());
  EXPECT_FALSE(Find<QCheckBox>(*Form, "cbCheck")->isEnabled());
}

TEST_F(ControlsTest, ImageShowsItsPicture) {
  auto* Image = Make<TImage>("imgLogo");
  TBitmap Bitmap(15, 6);
  Image->SetPicture(&Bitmap);
  const QPixmap Shown = Find<QLabel>(*Form, "imgLogo")->pixmap();
  EXPECT_EQ(Shown.size(), QSize(15, 6));
  EXPECT_EQ(Image->GetPicture().GetWidth(), 15);
}

TEST_F(ControlsTest, DirectoryListWalksExistingDirectoriesOnly) {
  QTemporaryDir Temp;
  ASSERT_TRUE(Temp.isValid());
  ASSERT_TRUE(QDir(Temp.path()).mkpath("inner/deeper"));
  auto* Dirs = Make<TDirectoryListBox>("dlDirs");
  Dirs->OnChange = [&](TObject*) { Log.push_back(Dirs->GetDirectory()); };
  const std::string Root = Temp.path().toStdString();
  Dirs->SetDirectory(Root);
  Dirs->SetDirectory(Root); // the same directory is no change
  EXPECT_THROW(Dirs->SetDirectory(Root + "/missing"), EInOutError);
  EXPECT_EQ(Dirs->GetDirectory(), Root);
  // The list holds the path down to the directory, then its subdirectory;
  // activating that opens it.
  auto* L = Find<QListWidget>(*Form, "dlDirs");
  ASSERT_GE(L->count(), 2);
  EXPECT_EQ(L->item(0)->text(), "/");
  EXPECT_EQ(L->item(L->count() - 1)->text().trimmed(), "inner");
  test::ShowActive(*Form);
  emit L->itemActivated(L->item(L->count() - 1));
  EXPECT_EQ(Log, (std::vector<std::string>{Root, Root + "/inner"}));
  Dirs->SetDrive('/');
  EXPECT_EQ(Dirs->GetDirectory(), Root + "/inner") << "already on that drive";
  EXPECT_THROW(Dirs->SetDrive('q'), EInOutError);
}

TEST_F(ControlsTest, DriveBoxListsTheFileSystemRoots) {
  auto* Drives = Make<TDriveComboBox>("dcDrive");
  EXPECT_EQ(FileSystemRoots(), (std::vector<std::string>{"/"}));
  EXPECT_EQ(Drives->GetDrive(), '/');
  EXPECT_EQ(Find<QComboBox>(*Form, "dcDrive")->currentText(), "/");
  EXPECT_THROW(Drives->SetDrive('c'), EInOutError);
  EXPECT_THROW(Drives->SetDrive('\0'), EInOutError);
  EXPECT_EQ(Drives->GetDrive(), '/');
}

} // namespace
} // namespace ztl
