// The filter translation, the file dialog and desktop seams, and a form
// rendered to a picture offscreen.
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <string>
#include <vector>

#include "tests/framework/widgets_test_util.h"

namespace ztl {
namespace {

TEST(Filter, WindowsPatternsBecomeThisPlatformsEquivalents) {
  struct TCase {
    const char* Filter;
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> Cases = {
      {"Databases (*.db)|*.db|All Files (*.*)|*.*", {"Databases (*.db)", "All Files (*)"}},
      {"Library Files (*.dll)|*.dll|All Files (*.*)|*.*",
       {"Library Files (*.so *.so.*)", "All Files (*)"}},
      {"Logs|*.txt; *.LOG;;", {"Logs (*.txt *.LOG)"}},
      {"Upper case too (*.DLL)|*.DLL", {"Upper case too (*.so *.so.*)"}},
      {"", {}},
      {"Text without patterns", {}},
      {"Empty patterns|;|Kept|*.x|Dangling", {"Kept (*.x)"}},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(QtNameFilters(C.Filter), C.Expected) << C.Filter;
}

TEST(OpenDialog, ExecuteRunsTheHookAndKeepsTheNameOnCancel) {
  TOpenDialog Dialog(nullptr);
  Dialog.SetFileName("/old/name.db");
  Dialog.SetOptions({ofNoChangeDir, ofPathMustExist, ofFileMustExist});
  bool Confirm = false;
  const TOpenDialogHook Old = SetOpenDialogHook([&](TOpenDialog& D) {
    EXPECT_TRUE(D.GetOptions().Contains(ofFileMustExist));
    if (Confirm)
      D.SetFileName("/new/name.db");
    return Confirm;
  });
  EXPECT_FALSE(Dialog.Execute());
  EXPECT_EQ(Dialog.GetFileName(), "/old/name.db");
  Confirm = true;
  EXPECT_TRUE(Dialog.Execute());
  EXPECT_EQ(Dialog.GetFileName(), "/new/name.db");
  SetOpenDialogHook(Old);
}

TEST(DesktopSeams, HelpAndShellGoThroughTheirHooks) {
  std::vector<std::string> Calls;
  const THelpJumpHook OldHelp = SetHelpJumpHook([&](const std::string& K) { Calls.push_back("help " + K); });
  const TShellOpenHook OldShell = SetShellOpenHook([&](const std::string& T) { Calls.push_back("open " + T); });
  HelpJump("Params_Property");
  ShellOpen("mailto:support@example.com");
  SetHelpJumpHook(OldHelp);
  SetShellOpenHook(OldShell);
  EXPECT_EQ(Calls, (std::vector<std::string>{"help Params_Property",
                                             "open mailto:support@example.com"}));
  EXPECT_FALSE(GetHelpBase().empty());
}

// Renders a small form to a PNG the way the design-time dialogs' pictures
// are made: the window grabbed offscreen.
TEST(FormPicture, AFormRendersToAPngOffscreen) {
  TForm Form(nullptr);
  Form.SetName("PictureForm");
  Form.SetCaption("Picture");
  Form.SetBorderStyle(bsDialog);
  Form.SetClientWidth(240);
  Form.SetClientHeight(110);
  auto* Group = new TGroupBox(&Form);
  Group->SetName("gbGroup");
  Group->SetCaption("Declare Parameters");
  Group->SetBounds(8, 8, 224, 60);
  auto* Label = new TLabel(&Form);
  Label->SetParent(Group);
  Label->SetName("lblName");
  Label->SetCaption("&Name:");
  Label->SetBounds(8, 26, 50, 16);
  auto* Edit = new TEdit(&Form);
  Edit->SetParent(Group);
  Edit->SetName("edName");
  Edit->SetBounds(64, 22, 150, 24);
  Edit->SetText("p1");
  Label->SetFocusControl(Edit);
  auto* Check = new TCheckBox(&Form);
  Check->SetName("cbNull");
  Check->SetCaption("&Null Value");
  Check->SetBounds(8, 76, 100, 24);
  auto* OK = new TButton(&Form);
  OK->SetName("btnOK");
  OK->SetCaption("OK");
  OK->SetDefault(true);
  OK->SetBounds(156, 76, 75, 25);

  const QPixmap Picture = GetFormWidget(Form)->grab();
  EXPECT_EQ(Picture.size(), QSize(240, 110));
  QDir().mkpath(ZTL_PICTURE_DIR);
  const QString Path = QString::fromLatin1(ZTL_PICTURE_DIR) + "/PictureForm.png";
  ASSERT_TRUE(Picture.save(Path, "PNG"));
  // Text was drawn: the picture is not one flat colour.
  const QImage Image(Path);
  ASSERT_FALSE(Image.isNull());
  const QRgb First = Image.pixel(0, 0);
  bool Varied = false;
  for (int Y = 0; Y < Image.height() && !Varied; ++Y)
    for (int X = 0; X < Image.width() && !Varied; ++X)
      Varied = Image.pixel(X, Y) != First;
  EXPECT_TRUE(Varied);
}

} // namespace
} // namespace ztl
