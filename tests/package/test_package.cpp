// The package frame: its description and lists, and a registration that
// installs the two Params editors and nothing else (the file, path and about
// editors belong to the drivers' packages).
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "design/ZtlPrcEd.h"
#include "design/ZtlPrmEd.h"
#include "design/ZtlProps.h"
#include "package/ZtlPack5.h"
#include "tests/support/RecordingDataset.h"
#include "tests/support/RecordingStoredProc.h"

namespace ztl::test {
namespace {

class TNamedFile : public TComponent {
public:
  using TComponent::TComponent;
  std::string GetDatabase() const { return Database; }
  void SetDatabase(const std::string& V) { Database = V; }

private:
  std::string Database;
};

TEST(PackageTest, DescriptionAndLists) {
  EXPECT_STREQ(ZtlPack5::Description, "Zantrelix base classes");
  EXPECT_EQ(ZtlPack5::ContainedUnits(),
            (std::vector<std::string>{"ZtlApp", "ZtlBase", "ZtlUtil", "ZtlBasDS", "ZtlAbout",
                                      "ZtlProps", "ZtlDirEd", "ZtlPrcEd", "ZtlPrmEd"}));
  EXPECT_EQ(ZtlPack5::RequiredPackages(),
            (std::vector<std::string>{"vcldb50", "vclx50", "vcl50"}));
}

TEST(PackageTest, RegisterInstallsExactlyTheTwoParamsEditors) {
  ClearEditorRegistry();
  ZtlPack5::Register();
  RegisterClass<TRecordingDataset, TZantrelCustomDataset>();
  RegisterClass<TRecordingStoredProc, TZantrelCustomStoredProc>();
  RegisterClass<TNamedFile, TComponent>();
  RegisterProperty<TNamedFile>("Database", &TNamedFile::GetDatabase, &TNamedFile::SetDatabase);

  TRecordingSession Session;
  TRecordingDataset Query(nullptr, &Session);
  TRecordingStoredProc Proc(nullptr, &Session);
  TNamedFile File(nullptr);
  const auto QueryEditor = GetPropertyEditor(nullptr, {&Query}, *GetPropInfo(Query, "Params"));
  const auto ProcEditor = GetPropertyEditor(nullptr, {&Proc}, *GetPropInfo(Proc, "Params"));
  const auto FileEditor = GetPropertyEditor(nullptr, {&File}, *GetPropInfo(File, "Database"));
  EXPECT_NE(dynamic_cast<TZantrelParamsProperty*>(QueryEditor.get()), nullptr);
  EXPECT_NE(dynamic_cast<TZantrelProcParamsProperty*>(ProcEditor.get()), nullptr);
  // A file name stays with the plain string editor until a driver says otherwise.
  ASSERT_NE(FileEditor, nullptr);
  EXPECT_EQ(dynamic_cast<TZantrelDBFileProperty*>(FileEditor.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TZantrelLibFileProperty*>(FileEditor.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TZantrelPathProperty*>(FileEditor.get()), nullptr);
  ClearEditorRegistry();
}

} // namespace
} // namespace ztl::test
