// The about entry of a component's menu and the about box on their real
// widgets: the verb, the box a driver's editor shows, the link labels
// reaching the shell, and a picture of the box.
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <string>
#include <vector>

#include "design/ZtlAbout.h"
#include "framework/graphics/Graphics.h"
#include "framework/widgets/Shell.h"
#include "tests/framework/widgets_test_util.h"

namespace ztl::test {
namespace {

// What a driver's design package does: Edit shows the box for its database.
class TDriverAboutEditor : public TZantrelAboutComponentEditor {
public:
  using TZantrelAboutComponentEditor::TZantrelAboutComponentEditor;
  void Edit() override { ShowZantrelAboutBox("SQLite"); }
};

class AboutTest : public ::testing::Test {
protected:
  void SetUp() override {
    UseWidgets();
    Previous = SetShellOpenHook([this](const std::string& Target) { Opened.push_back(Target); });
  }
  void TearDown() override { SetShellOpenHook(Previous); }

  // Runs the editor's verb 0; Act works in the open box, which it must close.
  void RunVerb(std::function<void(QWidget* Window)> Act) {
    WhenModal([&](QWidget* Window) {
      for (int I = 0; I < Screen().GetFormCount(); ++I)
        if (GetFormWidget(*Screen().GetForm(I)) == Window)
          Box = dynamic_cast<TZantrelAboutBox*>(Screen().GetForm(I));
      ASSERT_NE(Box, nullptr);
      Act(Window);
      Box = nullptr;
    });
    TComponent Component(nullptr);
    TDriverAboutEditor Editor(&Component, nullptr);
    Editor.ExecuteVerb(0);
  }
  QLabel* Label(const char* Name) { return Find<QLabel>(*Box, Name); }
  void Close() { QTest::mouseClick(Find<QPushButton>(*Box, "Button1"), Qt::LeftButton); }

  TShellOpenHook Previous;
  std::vector<std::string> Opened;
  TZantrelAboutBox* Box = nullptr;
};

TEST_F(AboutTest, OneVerbNamingTheLibraryAndVersion) {
  TComponent Component(nullptr);
  TZantrelAboutComponentEditor Editor(&Component, nullptr);
  EXPECT_EQ(Editor.GetVerbCount(), 1);
  EXPECT_EQ(Editor.GetVerb(0), "Abo&ut Zantrelix 1.91...");
  EXPECT_EQ(Editor.GetVerb(1), "");
  // Without a descendant's Edit, the verb must not loop through the
  // inherited Edit (which runs verb 0 again).
  Editor.ExecuteVerb(0);
  Editor.ExecuteVerb(5);
}

TEST_F(AboutTest, VerbShowsTheBoxForTheDriversDatabase) {
  bool Shown = false;
  RunVerb([&](QWidget*) {
    Shown = true;
    EXPECT_EQ(Box->SupportedDatabase, "SQLite");
    EXPECT_EQ(Label("lblDBSupport")->text().toStdString(), "for SQLite");
    EXPECT_EQ(Label("lblVersion")->text().toStdString(), "Version 1.91");
    Close();
  });
  EXPECT_TRUE(Shown);
  EXPECT_TRUE(Opened.empty());
}

TEST_F(AboutTest, LinkLabelsOpenMailAndWebThroughTheShell) {
  RunVerb([&](QWidget*) {
    QTest::mouseClick(Label("lblEmail"), Qt::LeftButton);
    QTest::mouseClick(Label("lblWeb"), Qt::LeftButton);
    QTest::mouseClick(Label("Label3"), Qt::LeftButton); // a plain label opens nothing
    Close();
  });
  EXPECT_EQ(Opened, (std::vector<std::string>{"mailto:support@example.com",
                                              "https://www.example.com/zantrelix"}));
}

TEST_F(AboutTest, LogoAndPicture) {
  TBitmap Logo;
  DrawZantrelLogo(Logo);
  EXPECT_EQ(Logo.GetWidth(), 150);
  EXPECT_EQ(Logo.GetHeight(), 54);
  RunVerb([&](QWidget* Window) {
    EXPECT_EQ(Box->Image1->GetPicture().GetWidth(), 150);
    const QPixmap Picture = Window->grab();
    EXPECT_EQ(Picture.size(), QSize(362, 245));
    QDir().mkpath(ZTL_PICTURE_DIR);
    EXPECT_TRUE(Picture.save(QString::fromLatin1(ZTL_PICTURE_DIR) + "/ZantrelAboutBox.png", "PNG"));
    Close();
  });
}

} // namespace
} // namespace ztl::test
