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
#include "profile_files.h"

namespace {

using namespace k4;

void K4_CALL hostDoButton(int) {}
void K4_CALL hostSetDro(int, double) {}
double K4_CALL hostGetDro(int) {
  return 0.0;
}
uint8_t K4_CALL hostGetLed(int) {
  return 0;
}
void K4_CALL hostSetLed(int, bool) {}
void K4_CALL hostCode(const char*) {}

using SetterFn = void(K4_CALL*)(void*);
using SetProNameFn = const char*(K4_CALL*)(const char*);
using InitControlFn = bool(K4_CALL*)(EngineBlock*, SetupBlock*, PlannerBlock*, void*);
using VoidFn = void(K4_CALL*)();

std::string besideThisProgram(const char* fileName) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path);
  directory.erase(directory.find_last_of('\\') + 1);
  return directory + fileName;
}

HMODULE plugIn = nullptr;

template <typename Fn>
Fn entry(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(plugIn, name)));
}

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
    plugIn = LoadLibraryA(besideThisProgram("Orvane_K4.dll").c_str());
    ASSERT_NE(plugIn, nullptr) << GetLastError();
    view = CreateWindowExA(0, "STATIC", "host view", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(view, nullptr);
    const struct {
      const char* name;
      void* callback;
    } setters[] = {
        {"SetDoButton", reinterpret_cast<void*>(&hostDoButton)},
        {"SetSetDRO", reinterpret_cast<void*>(&hostSetDro)},
        {"SetGetDRO", reinterpret_cast<void*>(&hostGetDro)},
        {"SetGetLED", reinterpret_cast<void*>(&hostGetLed)},
        {"SetSetLED", reinterpret_cast<void*>(&hostSetLed)},
        {"SetCode", reinterpret_cast<void*>(&hostCode)},
    };
    for (const auto& setter : setters)
      entry<SetterFn>(setter.name)(setter.callback);
    entry<SetProNameFn>("SetProName")(profile.c_str());
    ASSERT_TRUE(entry<InitControlFn>("InitControl")(&engine, &setup, &planner, view));
    call("PostInitControl");
    nestedCalls = 0;
  }
  void TearDown() override {
    call("StopPlug");
    nestedCall = nullptr;
    if (view != nullptr)
      DestroyWindow(view);
    FreeLibrary(plugIn);
    plugIn = nullptr;
  }

  static void call(const char* name) { entry<VoidFn>(name)(); }

  // Opens the dialog through Config; the host's timer makes `nested` once the dialog is up;
  // then the feed rate is typed and OK pressed.
  void configWithNestedCall(std::function<void()> nested) {
    nestedCall = std::move(nested);
    test::playWhileModal(driver,
                         {[this](const test::DialogWindows&) {
                            SetTimer(view, kHostTimer, 30, &onHostTimer);
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
                         [] { call("Config"); });
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
  HWND view = nullptr;
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  test::DialogDriver driver;
  int dialogsWhileNested = 0;
};

TEST_F(NestedCalls, ASecondConfigOpensNoSecondDialog) {
  configWithNestedCall([] { call("Config"); });
  EXPECT_EQ(dialogsWhileNested, 1);
  EXPECT_TRUE(profileHoldsFeedRate(profile, 250));
}

TEST_F(NestedCalls, StopPlugEndsThePendantWindowAndTheDialogStillReturns) {
  bool windowGone = false;
  configWithNestedCall([&] {
    call("StopPlug");
    windowGone = GetDlgItem(view, 1) == nullptr;  // the pendant's hidden child window
  });
  EXPECT_TRUE(windowGone);
  EXPECT_TRUE(profileHoldsFeedRate(profile, 250));
}

TEST_F(NestedCalls, UpdateSetProNameAndPostInitControlLeaveTheDialogsValues) {
  const std::string other = directory.file("other.xml");
  configWithNestedCall([&] {
    for (int i = 0; i < 5; ++i)
      call("Update");
    entry<SetProNameFn>("SetProName")(profile.c_str());
    call("PostInitControl");
    entry<SetProNameFn>("SetProName")(other.c_str());
  });
  EXPECT_EQ(dialogsWhileNested, 1);
  // The open dialog writes the profile it read; the new name serves the calls after it.
  EXPECT_TRUE(profileHoldsFeedRate(profile, 250));
  EXPECT_FALSE(profileHoldsFeedRate(other, 250));
}

}  // namespace
