// The file property editors through the open dialog's hook: what each stores
// of a choice, the dialog it asks for, and Cancel changing nothing.
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "design/ZtlProps.h"
#include "framework/widgets/Dialogs.h"

namespace ztl::test {
namespace {

class TFileOwner : public TComponent {
public:
  using TComponent::TComponent;
  std::string GetFile() const { return File; }
  void SetFile(const std::string& V) { File = V; }

private:
  std::string File;
};

class TCountingDesigner : public IDesigner {
public:
  void Modified() override { ++Count; }
  int Count = 0;
};

// What the dialog was asked to show, and what the hook answers.
struct TSeen {
  std::string FileName, Filter;
  TOpenOptions Options;
  int Runs = 0;
};

class FilePropsTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterClass<TFileOwner, TComponent>();
    RegisterProperty<TFileOwner>("File", &TFileOwner::GetFile, &TFileOwner::SetFile);
    Owner.SetFile("/old/value.db");
    Previous = SetOpenDialogHook([this](TOpenDialog& Dialog) {
      ++Seen.Runs;
      Seen.FileName = Dialog.GetFileName();
      Seen.Filter = Dialog.GetFilter();
      Seen.Options = Dialog.GetOptions();
      if (Answer.empty())
        return false;
      Dialog.SetFileName(Answer);
      return true;
    });
  }
  void TearDown() override { SetOpenDialogHook(Previous); }

  template <class E>
  std::unique_ptr<TPropertyEditor> Editor() {
    return std::make_unique<E>(&Designer, std::vector<TPersistent*>{&Owner},
                               *GetPropInfo(Owner, "File"));
  }

  TFileOwner Owner{nullptr};
  TCountingDesigner Designer;
  TOpenDialogHook Previous;
  TSeen Seen;
  std::string Answer; // empty: the user cancels
};

TEST_F(FilePropsTest, DatabaseKeepsTheFullPathLibraryOnlyTheName) {
  struct {
    const char* Name;
    bool Library;
    std::string Stored;
    std::string Filter;
  } Cases[] = {
      {"database", false, "/srv/lib/client.so.5", "Databases (*.db)|*.db|All Files (*.*)|*.*"},
      {"library", true, "client.so.5", "Library Files (*.dll)|*.dll|All Files (*.*)|*.*"},
  };
  for (const auto& C : Cases) {
    Owner.SetFile("/old/value.db");
    Seen = {};
    Answer = "/srv/lib/client.so.5";
    auto E = C.Library ? Editor<TZantrelLibFileProperty>() : Editor<TZantrelDBFileProperty>();
    EXPECT_EQ(E->GetAttributes(), (TPropertyAttributes{paDialog, paRevertable})) << C.Name;
    E->Edit();
    EXPECT_EQ(Owner.GetFile(), C.Stored) << C.Name;
    EXPECT_EQ(Seen.FileName, "/old/value.db") << C.Name;
    EXPECT_EQ(Seen.Filter, C.Filter) << C.Name;
    EXPECT_EQ(Seen.Options, (TOpenOptions{ofNoChangeDir, ofPathMustExist, ofFileMustExist}))
        << C.Name;
  }
  EXPECT_EQ(Designer.Count, 2);
}

TEST_F(FilePropsTest, CancelLeavesThePropertyAlone) {
  Editor<TZantrelDBFileProperty>()->Edit();
  Editor<TZantrelLibFileProperty>()->Edit();
  EXPECT_EQ(Seen.Runs, 2);
  EXPECT_EQ(Owner.GetFile(), "/old/value.db");
  EXPECT_EQ(Designer.Count, 0);
}

} // namespace
} // namespace ztl::test
