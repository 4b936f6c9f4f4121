// The screen of live forms and data modules: membership follows the
// objects' lives, in creation order, and forms travel through form files.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/DataModule.h"
#include "framework/Forms.h"

namespace ztl {
namespace {

std::vector<TForm*> ScreenForms() {
  std::vector<TForm*> Result;
  for (int I = 0; I < Screen().GetFormCount(); ++I)
    Result.push_back(Screen().GetForm(I));
  return Result;
}

std::vector<TDataModule*> ScreenDataModules() {
  std::vector<TDataModule*> Result;
  for (int I = 0; I < Screen().GetDataModuleCount(); ++I)
    Result.push_back(Screen().GetDataModule(I));
  return Result;
}

TEST(Screen, ListsLiveFormsAndDataModulesInCreationOrder) {
  auto F1 = std::make_unique<TForm>(nullptr);
  auto D1 = std::make_unique<TDataModule>(nullptr);
  auto F2 = std::make_unique<TForm>(nullptr);
  auto D2 = std::make_unique<TDataModule>(nullptr);
  auto F3 = std::make_unique<TForm>(nullptr);
  EXPECT_EQ(ScreenForms(), (std::vector<TForm*>{F1.get(), F2.get(), F3.get()}));
  EXPECT_EQ(ScreenDataModules(), (std::vector<TDataModule*>{D1.get(), D2.get()}));

  F2.reset();
  D1.reset();
  EXPECT_EQ(ScreenForms(), (std::vector<TForm*>{F1.get(), F3.get()}));
  EXPECT_EQ(ScreenDataModules(), (std::vector<TDataModule*>{D2.get()}));
}

TEST(Screen, OwnedFormsAndModulesLeaveWhenTheirOwnerDestroysThem) {
  {
    TComponent Owner(nullptr);
    new TForm(&Owner);
    new TDataModule(&Owner);
    EXPECT_EQ(Screen().GetFormCount(), 1);
    EXPECT_EQ(Screen().GetDataModuleCount(), 1);
  }
  EXPECT_EQ(Screen().GetFormCount(), 0);
  EXPECT_EQ(Screen().GetDataModuleCount(), 0);
}

// Records what the screen holds when the component is destroyed.
class TScreenWatcher : public TComponent {
public:
  TScreenWatcher(TComponent* AOwner, int& AFormCount, int& AModuleCount)
      : TComponent(AOwner), FormCount(AFormCount), ModuleCount(AModuleCount) {}
  ~TScreenWatcher() override {
    FormCount = Screen().GetFormCount();
    ModuleCount = Screen().GetDataModuleCount();
  }

private:
  int& FormCount;
  int& ModuleCount;
};

TEST(Screen, ContainerIsGoneFromTheScreenBeforeItsComponentsAreDestroyed) {
  int FormCount = -1;
  int ModuleCount = -1;
  {
    TForm Form(nullptr);
    TDataModule Module(nullptr);
    new TScreenWatcher(&Form, FormCount, ModuleCount);
    new TScreenWatcher(&Module, FormCount, ModuleCount);
  }
  // The module went first (reverse construction), then the form: each
  // watcher ran after its own container had left.
  EXPECT_EQ(FormCount, 0);
  EXPECT_EQ(ModuleCount, 0);
}

TEST(Screen, IndexOutsideTheListsRaisesTheListError) {
  TForm Form(nullptr);
  EXPECT_EQ(Screen().GetForm(0), &Form);
  for (int Index : {-1, 1}) {
    try {
      Screen().GetForm(Index);
      ADD_FAILURE() << "no error for form " << Index;
    } catch (const EListError& E) {
      EXPECT_STREQ(E.what(), ("List index out of bounds (" + std::to_string(Index) + ")").c_str());
    }
  }
  EXPECT_THROW(Screen().GetDataModule(0), EListError);
}

TEST(Screen, FormReadFromAFormFileStandsOnTheScreenWithItsComponents) {
  const std::string Text = "object Orders: TForm\r\n"
                           "  Caption = 'Order entry'\r\n"
                           "  Height = 300\r\n"
                           "  Width = 400\r\n"
                           "  object Part: TComponent\r\n"
                           "  end\r\n"
                           "end\r\n";
  std::unique_ptr<TComponent> Root(StringToComponent(Text));
  auto* Form = dynamic_cast<TForm*>(Root.get());
  ASSERT_NE(Form, nullptr);
  EXPECT_EQ(ScreenForms(), std::vector<TForm*>{Form});
  EXPECT_EQ(Form->GetCaption(), "Order entry");
  ASSERT_EQ(Form->GetComponentCount(), 1);
  EXPECT_EQ(Form->GetComponent(0)->GetName(), "Part");
  EXPECT_EQ(ComponentToString(Form), Text);
}

} // namespace
} // namespace ztl
