// The configuration dialog has no parent window: the host stays usable behind it and may call
// the plug-in again from inside the dialog's modal loop. Each such call is made here by a
// dialog view that calls the export in the middle of its modal run, between report cycles,
// before the scripted user presses OK. None may crash, leak, lose the edited settings, or let
// two stores write the profile against each other.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/exports.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "manual_host_view.h"
#include "profile_files.h"
#include "scripted_dialog_view.h"
#include "settings/pendant_settings.h"
#include "virtual_pendant.h"

namespace k4 {
namespace {

using test::ManualHostView;

// The dialog as the user sees it: a few report cycles, the host's nested call, more cycles,
// then the scripted edits and OK.
class ReentrantView final {
 public:
  explicit ReentrantView(ManualHostView*& loop) : loop_(loop) {
    table_.version = K4_HOST_VIEW_VERSION;
    table_.size = sizeof table_;
    table_.context = this;
    table_.run_modal = [](void* self, const k4_dialog_controls* controls) {
      return static_cast<ReentrantView*>(self)->runModal(*controls);
    };
  }
  std::function<void()> nested;
  int opened = 0;
  ScriptedDialogView script;

  const k4_dialog_table* table() const { return &table_; }

  int runModal(const k4_dialog_controls& controls) {
    ++opened;
    for (int i = 0; i < 3; ++i)
      loop_->fireTimers();
    if (nested && opened == 1)
      nested();
    for (int i = 0; i < 3; ++i)
      loop_->fireTimers();
    return script.runModal(controls);
  }

 private:
  ManualHostView*& loop_;
  k4_dialog_table table_{};
};

int hostCalls = 0;
void K4_CALL countButton(int) {
  ++hostCalls;
}
void K4_CALL countSetDro(int, double) {
  ++hostCalls;
}
double K4_CALL answerDro(int) {
  return 0.0;
}
uint8_t K4_CALL answerLed(int code) {
  return code == led::kJogAllowed ? 1 : 0;
}
void K4_CALL countSetLed(int, bool) {}
void K4_CALL countCode(const char*) {
  ++hostCalls;
}

bool holdsFeedRate(const std::string& profile, int rate) {
  return test::readFile(profile).find("<StepJogRate>" + std::to_string(rate) + "</StepJogRate>") !=
         std::string::npos;
}

class NestedHostCalls : public ::testing::Test {
 protected:
  NestedHostCalls() {
    SetDoButton(countButton);
    SetSetDRO(countSetDro);
    SetGetDRO(answerDro);
    SetGetLED(answerLed);
    SetSetLED(countSetLed);
    SetCode(countCode);
    SetProName(profile.c_str());
    InitControl(&engine, &setup, &planner, loop.view());
    PostInitControl();
    dialog.script.setScript({{ScriptedDialogView::Step::Kind::SetText, "StepJogRate", "250", 0},
                             {ScriptedDialogView::Step::Kind::PressOk, "", "", 0}});
  }
  ~NestedHostCalls() override {
    StopPlug();
    resetPluginState();
    pendantSettings = PendantSettings{};
  }

  test::TempDir dir;
  std::string profile = dir.file("profile.xml");
  VirtualPendant pendant;
  ManualHostView* loopHandle = &loop;
  ReentrantView dialog{loopHandle};
  ManualHostView loop{pendant.table(), dialog.table()};
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
};

TEST_F(NestedHostCalls, ASecondConfigWhileTheDialogIsOpenDoesNothing) {
  dialog.nested = [] { Config(); };
  Config();
  EXPECT_EQ(dialog.opened, 1);
  EXPECT_EQ(pendantSettings.StepJogRate, 250);
  EXPECT_TRUE(holdsFeedRate(profile, 250));
  // Closed again: the next Config opens the dialog.
  dialog.script.setScript({{ScriptedDialogView::Step::Kind::SetText, "StepJogRate", "75", 0},
                           {ScriptedDialogView::Step::Kind::PressOk, "", "", 0}});
  Config();
  EXPECT_EQ(dialog.opened, 2);
  EXPECT_TRUE(holdsFeedRate(profile, 75));
}

TEST_F(NestedHostCalls, StopPlugEndsThePendantWorkAndTheDialogStillStoresItsValues) {
  ASSERT_EQ(pendant.openHandleCount(), 3);
  dialog.nested = [this] {
    StopPlug();
    EXPECT_EQ(pendantWindow, nullptr);
    EXPECT_EQ(loop.timerCount(), 0u);
    EXPECT_EQ(pendant.openHandleCount(), 0);
  };
  Config();
  EXPECT_EQ(dialog.opened, 1);
  EXPECT_EQ(pendantSettings.StepJogRate, 250);
  EXPECT_TRUE(holdsFeedRate(profile, 250));
  EXPECT_EQ(pendant.badCloseCount(), 0);
  EXPECT_FALSE(pendant.notificationsRegistered());
}

TEST_F(NestedHostCalls, UpdateCallsKeepCountingWhileTheDialogIsOpen) {
  const int32_t before = TickCounters[2];
  dialog.nested = [] {
    for (int i = 0; i < 4; ++i)
      Update();
  };
  Config();
  EXPECT_EQ(TickCounters[2], before + 4);
  EXPECT_TRUE(holdsFeedRate(profile, 250));
}

TEST_F(NestedHostCalls, SetProNameOfTheSameProfileLeavesTheDialogsWritesInIt) {
  dialog.nested = [this] { SetProName(profile.c_str()); };
  Config();
  EXPECT_TRUE(holdsFeedRate(profile, 250));
}

// The open dialog keeps writing the profile it read; the new name counts from the next call on.
TEST_F(NestedHostCalls, SetProNameOfAnotherProfileTakesEffectAfterTheDialog) {
  const std::string other = dir.file("other.xml");
  dialog.nested = [&other] { SetProName(other.c_str()); };
  Config();
  EXPECT_TRUE(holdsFeedRate(profile, 250));
  EXPECT_FALSE(holdsFeedRate(other, 250));
  EXPECT_EQ(profilePath, other);
  dialog.script.setScript({{ScriptedDialogView::Step::Kind::SetText, "StepJogRate", "75", 0},
                           {ScriptedDialogView::Step::Kind::PressOk, "", "", 0}});
  Config();
  EXPECT_TRUE(holdsFeedRate(other, 75));
  EXPECT_TRUE(holdsFeedRate(profile, 250));
}

// PostInitControl again reads the settings and looks for the pendant: the pendant found before
// stays open once, with one timer, and OK's values still reach the profile.
TEST_F(NestedHostCalls, PostInitControlKeepsOneLinkAndTheDialogsValues) {
  dialog.nested = [this] {
    PostInitControl();
    EXPECT_EQ(pendant.openHandleCount(), 3);
    EXPECT_EQ(loop.timerCount(), 1u);
  };
  Config();
  EXPECT_EQ(pendantSettings.StepJogRate, 250);
  EXPECT_TRUE(holdsFeedRate(profile, 250));
  EXPECT_EQ(pendant.badCloseCount(), 0);
}

}  // namespace
}  // namespace k4
