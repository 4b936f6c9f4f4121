// The form's modal protocol against a window system of the test's own: what
// the form asks of its window and when, without Qt.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/forms/Forms.h"

namespace ztl {
namespace {

// A window that logs the form's calls; its modal loop runs Loop, then ends
// once the form agrees to close (as a real loop would after each event).
class TScriptedWindow : public TFormWindow {
public:
  TScriptedWindow(TForm& AForm, std::vector<std::string>& ALog,
                  std::function<void(TForm&)> ALoop)
      : Form(AForm), Log(ALog), Loop(std::move(ALoop)) {}

  void FormChanged() override { Log.push_back("changed " + Form.GetCaption()); }
  void Show() override { Visible = true; }
  void Hide() override { Visible = false; }
  bool IsVisible() const override { return Visible; }
  void RunModal() override {
    Visible = true;
    Log.push_back("loop");
    for (int Round = 0; Round < 4; ++Round) {
      // An answer is looked at before the next event, as a queued check is.
      if (std::exchange(Pending, false) && Form.GetModalResult() != mrNone && Form.CloseModal())
        return;
      Loop(Form);
    }
    Log.push_back("loop did not end");
  }
  void ModalResultChanged() override {
    Pending = true;
    Log.push_back("answer " + std::to_string(Form.GetModalResult()));
  }

private:
  TForm& Form;
  std::vector<std::string>& Log;
  std::function<void(TForm&)> Loop; // one round of "events"
  bool Visible = false;
  bool Pending = false;
};

class FormModal : public ::testing::Test {
protected:
  void Use(std::function<void(TForm&)> Loop) {
    Old = SetFormWindowFactory([this, Loop](TForm& F) {
      return std::make_unique<TScriptedWindow>(F, Log, Loop);
    });
  }
  void TearDown() override { SetFormWindowFactory(Old); }

  std::vector<std::string> Log;
  TFormWindowFactory Old;
};

TEST_F(FormModal, ShowModalShowsRunsTheLoopAndReturnsTheAnswer) {
  Use([](TForm& F) { F.SetModalResult(mrOk); });
  TForm Form(nullptr);
  Form.SetCaption("Edit");
  Form.OnShow = [this](TObject*) { Log.push_back("OnShow"); };
  Form.OnClose = [this](TObject*, TCloseAction&) { Log.push_back("OnClose"); };
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_FALSE(Form.IsModal());
  EXPECT_FALSE(Form.GetVisible());
  // The window is made when first needed and shows the form's state then.
  EXPECT_EQ(Log, (std::vector<std::string>{"changed Edit", "OnShow", "loop", "answer 1",
                                           "OnClose"}));
}

TEST_F(FormModal, CaNoneKeepsTheFormOpenUntilTheNextAnswer) {
  int Round = 0;
  Use([&](TForm& F) { F.SetModalResult(++Round == 1 ? mrCancel : mrOk); });
  TForm Form(nullptr);
  bool Refuse = true;
  Form.OnClose = [&](TObject*, TCloseAction& Action) {
    if (std::exchange(Refuse, false))
      Action = caNone;
  };
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_EQ(Round, 2);
}

TEST_F(FormModal, CloseAnswersCancelWhileModalAndAnAnswerBeforeTheLoopCounts) {
  Use([](TForm& F) { F.Close(); });
  TForm Form(nullptr);
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  // OnShow may answer at once.
  Form.OnShow = [](TObject* Sender) { static_cast<TForm*>(Sender)->SetModalResult(mrAbort); };
  EXPECT_EQ(Form.ShowModal(), mrAbort);
}

TEST_F(FormModal, AnErrorOfOnShowLeavesTheFormNotModal) {
  Use([](TForm& F) { F.SetModalResult(mrOk); });
  TForm Form(nullptr);
  Form.OnShow = [](TObject*) { throw Exception("no"); };
  EXPECT_THROW(Form.ShowModal(), Exception);
  EXPECT_FALSE(Form.IsModal());
  Form.OnShow = nullptr;
  EXPECT_EQ(Form.ShowModal(), mrOk);
}

TEST_F(FormModal, NonModalCloseAsksOnCloseAndHides) {
  Use([](TForm&) {});
  TForm Form(nullptr);
  TCloseAction Answer = caNone;
  Form.OnClose = [&](TObject*, TCloseAction& Action) { Action = Answer; };
  Form.Show();
  Form.Close();
  EXPECT_TRUE(Form.GetVisible());
  Answer = caHide;
  Form.Close();
  EXPECT_FALSE(Form.GetVisible());
}

} // namespace
} // namespace ztl
