// Design packages loaded at run time into a host that links only the
// framework: the classes and editors they register must land in the host's
// registries, in the order their requirements give, and every way a module
// can fail to be a package must be a clear error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "framework/classes/TypInfo.h"
#include "framework/designintf/DesignIntf.h"
#include "framework/rtl/SysUtils.h"
#include "package/ZtlPackageLoader.h"

namespace ztl::test {
namespace {

const std::string PackageDir = ZTL_PACKAGE_DIR;

std::vector<std::string> Names(const std::vector<const TZtlLoadedPackage*>& Packages) {
  std::vector<std::string> Result;
  for (const TZtlLoadedPackage* P : Packages)
    Result.emplace_back(P->Info->Name);
  return Result;
}

bool HasDialog(TComponent& Component, const char* Property) {
  const TPropInfo* Prop = GetPropInfo(Component, Property);
  if (!Prop)
    return false;
  return GetPropertyEditor(nullptr, {&Component}, *Prop)->GetAttributes().Contains(paDialog);
}

TEST(PackageModuleTest, BaseClassesPackageDescribesItselfAndRegistersTheParamsEditors) {
  const TZtlLoadedPackage& Pack = LoadZtlPackage(PackageDir + "/ZtlPack5.so");
  EXPECT_STREQ(Pack.Info->Name, "ZtlPack5");
  EXPECT_STREQ(Pack.Info->Description, "Zantrelix base classes");
  EXPECT_STREQ(Pack.Info->ContainedUnits[0], "ZtlApp");
  EXPECT_STREQ(Pack.Info->RequiredPackages[2], "vcl50");
  EXPECT_EQ(Pack.Info->RequiredPackages[3], nullptr);
  EXPECT_EQ(Pack.Info->PalettePage, nullptr);

  // Loading the same file again is the same package, registered once.
  EXPECT_EQ(&LoadZtlPackage(PackageDir + "/./ZtlPack5.so"), &Pack);
  EXPECT_EQ(LoadedZtlPackages().size(), 1u);
}

TEST(PackageModuleTest, FolderRegistersDriversAfterTheBasePackageIntoTheHostRegistries) {
  const TZtlPackageFolderResult Result = LoadZtlPackageFolder(PackageDir);
  EXPECT_TRUE(Result.Errors.empty()) << Result.Errors.front();
  const auto Loaded = Names(Result.Loaded);
  ASSERT_EQ(Loaded.size(), 3u);
  EXPECT_EQ(Loaded.front(), "ZtlPack5"); // both drivers require it

  // The host's class registry creates the drivers' components...
  std::unique_ptr<TComponent> Session(CreateComponentByName("TZantrelSQLiteSession", nullptr));
  std::unique_ptr<TComponent> Query(CreateComponentByName("TZantrelPgQuery", nullptr));
  ASSERT_NE(Session, nullptr);
  ASSERT_NE(Query, nullptr);
  // ...and its editor registry hands out the packages' editors.
  EXPECT_TRUE(HasDialog(*Session, "DatabaseName"));
  EXPECT_TRUE(HasDialog(*Query, "Params"));
  const auto Editor = GetComponentEditor(Session.get(), nullptr);
  ASSERT_EQ(Editor->GetVerbCount(), 1);
  EXPECT_EQ(Editor->GetVerb(0), "Abo&ut Zantrelix 1.91...");
}

TEST(PackageModuleTest, ModulesThatAreNotPackagesAreRefusedClearly) {
  const auto Dir = std::filesystem::temp_directory_path() /
                   ("ztl-packages-" + std::to_string(::getpid()));
  std::filesystem::create_directories(Dir);
  std::ofstream(Dir / "text.so") << "not a shared object\n";
  std::filesystem::copy_file(NOT_A_PACKAGE, Dir / "plain.so");

  struct Case {
    std::string File;
    std::string Message;
  } Cases[] = {
      {(Dir / "missing.so").string(), "Cannot load package " + (Dir / "missing.so").string() + ": "},
      {(Dir / "text.so").string(), "Cannot load package " + (Dir / "text.so").string() + ": "},
      {(Dir / "plain.so").string(), (Dir / "plain.so").string() + " is not a Zantrelix package"},
  };
  for (const Case& C : Cases) {
    try {
      LoadZtlPackage(C.File);
      ADD_FAILURE() << C.File << " loaded";
    } catch (const Exception& E) {
      EXPECT_EQ(E.GetMessage().substr(0, C.Message.size()), C.Message);
    }
  }
  // A folder loads what it can and names each failure once.
  const TZtlPackageFolderResult Result = LoadZtlPackageFolder(Dir.string());
  EXPECT_TRUE(Result.Loaded.empty());
  EXPECT_EQ(Result.Errors.size(), 2u);
  EXPECT_EQ(LoadZtlPackageFolder((Dir / "none").string()).Errors.size(), 1u);
  std::filesystem::remove_all(Dir);
}

} // namespace
} // namespace ztl::test
