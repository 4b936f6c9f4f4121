// The drivers' design packages: the editors a designer finds on each
// driver's session after the package registered, and the about entry of its
// components showing the box for the driver's database.
#include <QPushButton>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "design/ZtlProps.h"
#include "drivers/postgres/ZtlPostgres.h"
#include "drivers/postgres/design/ZtlPgDesign.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "drivers/sqlite/design/ZtlSQLiteDesign.h"
#include "tests/framework/widgets_test_util.h"

namespace ztl::test {
namespace {

struct TDriverCase {
  const char* Database;
  const char* Page;
  const char* const* PackagePage;
  const std::vector<std::string>& (*Components)();
  void (*Register)();
  std::function<std::unique_ptr<TComponent>()> NewSession;
  bool DatabaseIsFile; // a server database's name is no file to pick
};

void PrintTo(const TDriverCase& Case, std::ostream* Out) {
  *Out << Case.Database;
}

const TDriverCase Drivers[] = {
    {"SQLite", "Zantrelix SQLite", &ZtlSQLiteDesign::PalettePage,
     ZtlSQLiteDesign::PaletteComponents, ZtlSQLiteDesign::Register,
     [] { return std::make_unique<TZantrelSQLiteSession>(); }, true},
    {"PostgreSQL", "Zantrelix PostgreSQL", &ZtlPgDesign::PalettePage,
     ZtlPgDesign::PaletteComponents, ZtlPgDesign::Register,
     [] { return std::make_unique<TZantrelPgSession>(); }, false},
};

class DriverPackageTest : public ::testing::TestWithParam<TDriverCase> {
protected:
  void SetUp() override {
    UseWidgets();
    ClearEditorRegistry();
    GetParam().Register();
    GetParam().Register(); // a designer may load a package twice
  }
  void TearDown() override { ClearEditorRegistry(); }
};

TEST_P(DriverPackageTest, PaletteAndSessionFileEditors) {
  const auto& Case = GetParam();
  EXPECT_STREQ(*Case.PackagePage, Case.Page);
  ASSERT_EQ(Case.Components().size(), 3u);
  for (const auto& Name : Case.Components())
    EXPECT_NE(FindClassInfo(Name), nullptr) << Name;

  const auto Session = Case.NewSession();
  const auto Editor = [&](const char* Name) {
    return GetPropertyEditor(nullptr, {Session.get()}, *GetPropInfo(*Session, Name));
  };
  const auto Database = Editor("DatabaseName");
  EXPECT_EQ(dynamic_cast<TZantrelDBFileProperty*>(Database.get()) != nullptr, Case.DatabaseIsFile);
  EXPECT_NE(dynamic_cast<TZantrelLibFileProperty*>(Editor("LibraryName").get()), nullptr);
}

TEST_P(DriverPackageTest, AboutEntryShowsTheBoxForTheDriversDatabase) {
  const auto Session = GetParam().NewSession();
  const auto Editor = GetComponentEditor(Session.get(), nullptr);
  ASSERT_EQ(Editor->GetVerbCount(), 1);
  std::string Shown;
  WhenModal([&](QWidget*) {
    for (int I = 0; I < Screen().GetFormCount(); ++I)
      if (auto* Box = dynamic_cast<TZantrelAboutBox*>(Screen().GetForm(I))) {
        Shown = Box->SupportedDatabase;
        QTest::mouseClick(Find<QPushButton>(*Box, "Button1"), Qt::LeftButton);
      }
  });
  Editor->ExecuteVerb(0);
  EXPECT_EQ(Shown, GetParam().Database);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverPackageTest, ::testing::ValuesIn(Drivers),
                         [](const auto& Info) { return std::string(Info.param.Database); });

} // namespace
} // namespace ztl::test
