// The configuration dialog has no parent window, so the host's own windows keep working behind
// it. Here the host's view window has a timer that calls one of the plug-in's exports while the
// dialog is up (the dialog's modal loop dispatches it); then the scripted user types a feed rate
// and presses OK. Nothing may crash or hang, the second Config must not open a second dialog,
// StopPlug must end the pendant work, and the dialog's values must reach the profile.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "host/host_boundary.h"
#include "plug_in_host.h"
#include "profile_files.h"

namespace {

using namespace k4;

// What the host's timer calls, once, while the dialog is up.
std::function<void()> nestedCall;
int nestedCalls = 0;
constexpr UINT_PTR kHostTimer = 77;

void CALLBACK onHostTimer(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  ++nestedCalls;
  if (nestedCall)
    nestedCall();
}

// A named CALLBACK: the i686 build's enumeration procedure is stdcall, which no lambda converts to.
BOOL CALLBACK countConfigDialog(HWND window, LPARAM count) {
  if (test::className(window) == "#32770" && IsWindowVisible(window) &&
      test::windowText(window) == "Configuration") {
    ++*reinterpret_cast<int*>(count);
  }
  return TRUE;
}

int configDialogsOpen() {
  int open = 0;
  EnumThreadWindows(GetCurrentThreadId(), countConfigDialog, reinterpret_cast<LPARAM>(&open));
  return open;
}

class NestedCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    test::hostRecord.clear();
    ASSERT_TRUE(plugIn.loaded()) << GetLastError();
    ASSERT_NE(view.hwnd(), nullptr);
    ASSERT_TRUE(plugIn.startUp(profile, engine, setup, planner, view.hwnd()));
    nestedCalls = 0;
  }
  void TearDown() override {
    plugIn.call("StopPlug");
    nestedCall = nullptr;
  }

  // Opens the dialog through Config; the host's timer makes `nested` once the dialog is up;
  // then the feed rate is typed and OK pressed.
  void configWithNestedCall(std::function<void()> nested) {
    nestedCall = std::move(nested);
    test::playWhileModal(driver,
                         {[this](const test::DialogWindows&) {
                            SetTimer(view.hwnd(), kHostTimer, 30, &onHostTimer);
                            return true;
                          },
                          [](const test::DialogWindows&) { return nestedCalls == 1; },
                          [this](const test::DialogWindows&) {
                            dialogsWhileNested = configDialogsOpen();
                            return true;
                          },
                          [](const test::DialogWindows& w) {
                            SetDlgItemTextA(w.dialog, 4169, "250");
                            return true;
                          },
                          test::clickOk},
                         [this] { plugIn.call("Config"); });
    EXPECT_FALSE(driver.timedOut);
    EXPECT_TRUE(driver.finished()) << "the dialog closed at step " << driver.next;
    EXPECT_EQ(configDialogsOpen(), 0) << "a dialog outlived Config";
  }

  bool profileHoldsFeedRate(const std::string& file, int rate) const {
    return test::readFile(file).find("<StepJogRate>" + std::to_string(rate) + "</StepJogRate>") !=
           std::string::npos;
  }

  test::TempDir directory;
  const std::string profile = directory.file("profile.xml");
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  test::DialogDriver driver;
  int dialogsWhileNested = 0;
  // Last, so that they go first: the view, then the module, before anything else here.
  test::PlugIn plugIn;
  test::HostView view;
};

TEST_F(NestedCalls, ASecondConfigOpensNoSecondDialog) {
  configWithNestedCall([this] { plugIn.call("Config"); });
  EXPECT_EQ(dialogsWhileNested, 1);
  EXPECT_TRUE(profileHoldsFeedRate(profile, 250));
}

TEST_F(NestedCalls, StopPlugEndsThePendantWindowAndTheDialogStillReturns) {
  bool windowGone = false;
  configWithNestedCall([&] {
    plugIn.call("StopPlug");
    windowGone = view.pendantWindow() == nullptr;
  });
  EXPECT_TRUE(windowGone);
  EXPECT_TRUE(profileHoldsFeedRate(profile, 250));
}

TEST_F(NestedCalls, UpdateSetProNameAndPostInitControlLeaveTheDialogsValues) {
  const std::string other = directory.file("other.xml");
  configWithNestedCall([&] {
    for (int i = 0; i < 5; ++i)
      plugIn.call("Update");
    plugIn.entry<test::SetProNameFn>("SetProName")(profile.c_str());
    plugIn.call("PostInitControl");
    plugIn.entry<test::SetProNameFn>("SetProName")(other.c_str());
  });
  EXPECT_EQ(dialogsWhileNested, 1);
  // The open dialog writes the profile it read; the new name serves the calls after it.
  EXPECT_TRUE(profileHoldsFeedRate(profile, 250));
  EXPECT_FALSE(profileHoldsFeedRate(other, 250));
}

}  // namespace
