// The screen of live forms and data modules: membership follows the
// objects' lives, in creation order, and forms travel through form files.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/forms/DataModule.h"
#include "framework/forms/Forms.h"

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

// Records how many forms and data modules the screen holds when it goes.
class TScreenWatcher : public TComponent {
public:
  TScreenWatcher(TComponent* AOwner, std::vector<int>& ACounts)
      : TComponent(AOwner), Counts(ACounts) {}
  ~TScreenWatcher() override {
    Counts.push_back(Screen().GetFormCount());
    Counts.push_back(Screen().GetDataModuleCount());
  }

private:
  std::vector<int>& Counts; // outlives the watcher
};

TEST(Screen, ContainerLeavesBeforeItsComponentsAreDestroyed) {
  std::vector<int> Counts;
  {
    TComponent Owner(nullptr);
    auto* Form = new TForm(&Owner);
    auto* Module = new TDataModule(&Owner);
    new TScreenWatcher(Form, Counts);
    new TScreenWatcher(Module, Counts);
  }
  // The owner destroyed the module first, then the form: each watcher ran
  // after its own container had left the screen.
  EXPECT_EQ(Counts, (std::vector<int>{1, 0, 0, 0}));
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
