// The folder chooser and the path property editor on their real widgets:
// SetPath on existing, blank and missing directories, the path edit and
// Path following the list and the user's typing, OK and Cancel through the
// inspector's editor, and a picture of the dialog.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <string>

#include "design/ZtlDirEd.h"
#include "design/ZtlProps.h"
#include "tests/framework/widgets_test_util.h"

namespace ztl::test {
namespace {

class TPathOwner : public TComponent {
public:
  using TComponent::TComponent;
  std::string GetDir() const { return Dir; }
  void SetDir(const std::string& V) { Dir = V; }

private:
  std::string Dir;
};

class TNullDesigner : public IDesigner {
public:
  void Modified() override {}
};

class PathDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    UseWidgets();
    ASSERT_TRUE(Temp.isValid());
    Root = QDir(Temp.path()).canonicalPath().toStdString();
    ASSERT_TRUE(QDir(QString::fromStdString(Root)).mkpath("sub/deeper"));
    Dlg = std::make_unique<TZantrelPathDialog>(nullptr);
  }
  std::string EditText() { return Find<QLineEdit>(*Dlg, "edPath")->text().toStdString(); }

  QTemporaryDir Temp;
  std::string Root;
  std::unique_ptr<TZantrelPathDialog> Dlg;
};

TEST_F(PathDialogTest, SetPathOpensTheDirectoryOrFallsBackToTheRoot) {
  const std::string Sub = Root + "/sub";
  struct {
    const char* Name;
    std::string Value;
    std::string Shown; // the list's directory, the edit and Path alike
  } Cases[] = {
      {"existing directory", Sub, Sub},
      {"trailing separator", Sub + "/", Sub},
      {"missing directory", Root + "/nowhere/at/all", "/"},
      {"dotted path to a missing entry", Root + "/sub/deeper/../../sub/x.txt", "/"},
      {"no directory part", "sub", "/"},
  };
  for (const auto& C : Cases) {
    Dlg->SetPath(Root); // a known start away from the root
    Dlg->SetPath(C.Value);
    EXPECT_EQ(Dlg->dlDirList->GetDirectory(), C.Shown) << C.Name;
    EXPECT_EQ(EditText(), C.Shown) << C.Name;
    EXPECT_EQ(Dlg->Path, C.Shown) << C.Name;
  }
}

TEST_F(PathDialogTest, BlankPathChangesNothingAndTypingIsPathUnchecked) {
  Dlg->SetPath(Root + "/sub");
  for (const char* Blank : {"", "   ", "\t "})
    Dlg->SetPath(Blank);
  EXPECT_EQ(Dlg->dlDirList->GetDirectory(), Root + "/sub");
  EXPECT_EQ(Dlg->Path, Root + "/sub");

  ShowActive(*Dlg);
  QLineEdit* Edit = Find<QLineEdit>(*Dlg, "edPath");
  Edit->selectAll();
  QTest::keyClicks(Edit, "/not/there");
  EXPECT_EQ(Dlg->Path, "/not/there");
  EXPECT_EQ(Dlg->dlDirList->GetDirectory(), Root + "/sub"); // the list does not follow
  Dlg->Close();
}

class PathPropertyTest : public PathDialogTest {
protected:
  void SetUp() override {
    PathDialogTest::SetUp();
    RegisterClass<TPathOwner, TComponent>();
    RegisterProperty<TPathOwner>("Dir", &TPathOwner::GetDir, &TPathOwner::SetDir);
    Owner.SetDir(Root + "/sub");
  }
  // Runs the editor; Act works in the open dialog, which it must close.
  void EditWith(std::function<void(TZantrelPathDialog& Open)> Act) {
    WhenModal([&](QWidget* Window) {
      TZantrelPathDialog* Open = nullptr;
      for (int I = 0; I < Screen().GetFormCount(); ++I)
        if (GetFormWidget(*Screen().GetForm(I)) == Window)
          Open = dynamic_cast<TZantrelPathDialog*>(Screen().GetForm(I));
      ASSERT_NE(Open, nullptr);
      Act(*Open);
    });
    TZantrelPathProperty Editor(&Designer, {&Owner}, *GetPropInfo(Owner, "Dir"));
    EXPECT_EQ(Editor.GetAttributes(), (TPropertyAttributes{paDialog, paRevertable}));
    Editor.Edit();
  }
  void Type(TZantrelPathDialog& Open, const char* Text) {
    QLineEdit* Edit = Find<QLineEdit>(Open, "edPath");
    Edit->selectAll();
    QTest::keyClicks(Edit, Text);
  }
  void Click(TZantrelPathDialog& Open, const char* Button) {
    QTest::mouseClick(Find<QPushButton>(Open, Button), Qt::LeftButton);
  }

  TPathOwner Owner{nullptr};
  TNullDesigner Designer;
};

TEST_F(PathPropertyTest, OkStoresThePathCancelNothing) {
  const std::string Deeper = Root + "/sub/deeper";
  EditWith([&](TZantrelPathDialog& Open) {
    EXPECT_EQ(Open.Path, Root + "/sub"); // opened on the stored value
    Type(Open, Deeper.c_str());
    Click(Open, "btnOK");
  });
  EXPECT_EQ(Owner.GetDir(), Deeper);
  EditWith([&](TZantrelPathDialog& Open) {
    Type(Open, "/elsewhere");
    Click(Open, "btnCancel");
  });
  EXPECT_EQ(Owner.GetDir(), Deeper);
}

TEST_F(PathPropertyTest, StoredMissingDirectoryOpensOnTheRoot) {
  Owner.SetDir(Root + "/gone");
  EditWith([&](TZantrelPathDialog& Open) {
    EXPECT_EQ(Open.dlDirList->GetDirectory(), "/");
    EXPECT_EQ(Open.Path, "/");
    Click(Open, "btnCancel");
  });
  EXPECT_EQ(Owner.GetDir(), Root + "/gone");
}

TEST_F(PathDialogTest, DialogRendersToAPicture) {
  Dlg->SetPath(Root + "/sub");
  QWidget* Window = ShowActive(*Dlg);
  const QPixmap Picture = Window->grab();
  EXPECT_EQ(Picture.size(), QSize(273, 289));
  QDir().mkpath(ZTL_PICTURE_DIR);
  EXPECT_TRUE(Picture.save(QString::fromLatin1(ZTL_PICTURE_DIR) + "/ZantrelPathDialog.png", "PNG"));
  Dlg->Close();
}

} // namespace
} // namespace ztl::test
