// The plug-in DLL driven the way the host drives it: loaded with LoadLibrary, reached only
// through its plain-named exports, given callbacks, memory blocks and a view window, run for a
// while with the message loop going, stopped and unloaded. Also its configuration dialog, opened
// by Config from the module's own resources, and its COM self-registration.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "dialog_driver.h"
#include "host/host_boundary.h"
#include "plug_in_host.h"
#include "profile_files.h"

namespace {

using namespace k4;

using test::besideThisProgram;
using test::HostView;
using test::InitControlFn;
using test::PlugIn;
using test::pumpCountingTimerTicks;
using test::SetProNameFn;
using test::VoidFn;
using RegistrationFn = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);

std::vector<std::string>& hostCalls = test::hostRecord.calls;

constexpr GUID kTypeLibraryId = {
    0x0C9FB259, 0xB864, 0x40A5, {0xB5, 0x9F, 0x65, 0xE1, 0x1E, 0x20, 0x9F, 0xC4}};

std::string temporaryProfile() {
  return test::inTemporaryDirectory("k4_host_test_profile.xml");
}

class HostLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostCalls.clear();
    ASSERT_NE(view.hwnd(), nullptr);
  }

  HostView view;
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
};

TEST_F(HostLoadTest, ExportsEveryEntryPointUnderItsPlainName) {
  PlugIn plugIn;
  ASSERT_TRUE(plugIn.loaded()) << GetLastError();
  for (const char* name : {"SetDoButton",
                           "SetSetDRO",
                           "SetGetDRO",
                           "SetGetLED",
                           "SetSetLED",
                           "SetCode",
                           "SetProName",
                           "InitControl",
                           "PostInitControl",
                           "Config",
                           "Update",
                           "StopPlug",
                           "DoDwell",
                           "Reset",
                           "JogOn",
                           "JogOff",
                           "Purge",
                           "Probe",
                           "Home",
                           "DllGetClassObject",
                           "DllCanUnloadNow",
                           "DllRegisterServer",
                           "DllUnregisterServer"}) {
    EXPECT_NE(plugIn.entry<VoidFn>(name), nullptr) << name;
  }
}

TEST_F(HostLoadTest, RunsFromStartUpToUnloadWithoutAPendant) {
  PlugIn plugIn;
  ASSERT_TRUE(plugIn.loaded()) << GetLastError();

  const char* name = plugIn.handOverCallbacksAndProfile(temporaryProfile());
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "Orvane_K4 Pendant --Tarnwick Ver 3.3.0");
  // The argument names only the profile, never the display name.
  EXPECT_STREQ(plugIn.entry<SetProNameFn>("SetProName")(temporaryProfile().c_str()),
               "Orvane_K4 Pendant --Tarnwick Ver 3.3.0");

  const auto initControl = plugIn.entry<InitControlFn>("InitControl");
  ASSERT_NE(initControl, nullptr);
  EXPECT_TRUE(initControl(&engine, &setup, &planner, view.hwnd()));

  const HWND pendantWindow = GetDlgItem(view.hwnd(), 1);
  ASSERT_NE(pendantWindow, nullptr) << "no child window with id 1 under the host view";
  EXPECT_TRUE(GetWindowLongPtrA(pendantWindow, GWL_STYLE) & WS_CHILD);
  EXPECT_FALSE(IsWindowVisible(pendantWindow));

  // The report timer starts with discovery, not before.
  EXPECT_EQ(pumpCountingTimerTicks(100, pendantWindow), 0);
  plugIn.call("PostInitControl");
  hostCalls.clear();  // what start-up asks of the host is not this test's business
  const int ticks = pumpCountingTimerTicks(1000, pendantWindow);
  // 40 periods of 25 ms in a second; a busy machine delivers fewer, a broken timer none or a
  // flood.
  EXPECT_GE(ticks, 10);
  EXPECT_LE(ticks, 45);

  for (int i = 0; i < 5; ++i)
    plugIn.call("Update");
  for (const char* idle : {"DoDwell", "Reset", "JogOn", "JogOff", "Purge", "Probe", "Home"}) {
    plugIn.call(idle);
  }
  // With no pendant the report cycle, Update and the idle exports leave the host alone.
  EXPECT_TRUE(hostCalls.empty()) << hostCalls.size() << " host calls, first: " << hostCalls[0];

  plugIn.call("StopPlug");
  EXPECT_FALSE(IsWindow(pendantWindow));
  EXPECT_EQ(GetDlgItem(view.hwnd(), 1), nullptr);
  EXPECT_EQ(pumpCountingTimerTicks(100, pendantWindow), 0);
  plugIn.call("StopPlug");  // a second stop is harmless

  EXPECT_TRUE(plugIn.unload());
  // Nothing of the unloaded module may still be called by the message loop.
  pumpCountingTimerTicks(100, nullptr);
}

TEST_F(HostLoadTest, LoadsAgainAfterUnloadAndRunsItsTimer) {
  // The host may unload and reload the plug-in in one session: nothing of the first load (its
  // window, its timer, its globals) may stand in the way of the second.
  for (int round = 0; round < 2; ++round) {
    PlugIn plugIn;
    ASSERT_TRUE(plugIn.loaded()) << "round " << round;
    plugIn.handOverCallbacksAndProfile(temporaryProfile());
    ASSERT_TRUE(plugIn.entry<InitControlFn>("InitControl")(&engine, &setup, &planner, view.hwnd()));
    const HWND pendantWindow = GetDlgItem(view.hwnd(), 1);
    ASSERT_NE(pendantWindow, nullptr) << "round " << round;
    plugIn.call("PostInitControl");
    EXPECT_GT(pumpCountingTimerTicks(300, pendantWindow), 0) << "round " << round;
    plugIn.call("StopPlug");
    EXPECT_TRUE(plugIn.unload());
  }
}

TEST_F(HostLoadTest, InitControlSucceedsEvenWithoutAUsableView) {
  PlugIn plugIn;
  ASSERT_TRUE(plugIn.loaded());
  plugIn.handOverCallbacksAndProfile(temporaryProfile());
  const auto initControl = plugIn.entry<InitControlFn>("InitControl");
  EXPECT_TRUE(initControl(&engine, &setup, &planner, nullptr));
  plugIn.call("PostInitControl");
  pumpCountingTimerTicks(50, nullptr);
  plugIn.call("StopPlug");
}

std::wstring registeredTypeLibraryPath() {
  BSTR path = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(kTypeLibraryId, 1, 0, LOCALE_NEUTRAL, &path)))
    return {};
  std::wstring result(path, SysStringLen(path));
  SysFreeString(path);
  return result;
}

TEST_F(HostLoadTest, RegistersAndUnregistersItsTypeLibrary) {
  PlugIn plugIn;
  ASSERT_TRUE(plugIn.loaded());
  const auto registerServer = plugIn.entry<RegistrationFn>("DllRegisterServer");
  const auto unregisterServer = plugIn.entry<RegistrationFn>("DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);

  // The embedded library is the one the registration names.
  const std::string dll = besideThisProgram("Orvane_K4.dll");
  const std::wstring dllWide(dll.begin(), dll.end());
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadTypeLibEx(dllWide.c_str(), REGKIND_NONE, &library), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, kTypeLibraryId));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  library->ReleaseTLibAttr(attributes);
  library->Release();

  EXPECT_EQ(registerServer(), S_OK);
  const std::wstring registered = registeredTypeLibraryPath();
  EXPECT_EQ(_wcsicmp(registered.c_str(), dllWide.c_str()), 0)
      << "registered at " << std::string(registered.begin(), registered.end());
  EXPECT_EQ(registerServer(), S_OK);  // registering again is no failure

  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_TRUE(registeredTypeLibraryPath().empty());
  EXPECT_EQ(unregisterServer(), S_OK);  // nothing left to undo is no failure either
}

TEST_F(HostLoadTest, ServesNoClassesAndStaysLoadedWhileThePendantWindowLives) {
  PlugIn plugIn;
  ASSERT_TRUE(plugIn.loaded());
  const auto getClassObject = plugIn.entry<GetClassObjectFn>("DllGetClassObject");
  const auto canUnloadNow = plugIn.entry<RegistrationFn>("DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(kTypeLibraryId, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);

  EXPECT_EQ(canUnloadNow(), S_OK);
  plugIn.handOverCallbacksAndProfile(temporaryProfile());
  plugIn.entry<InitControlFn>("InitControl")(&engine, &setup, &planner, view.hwnd());
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  plugIn.call("StopPlug");
  EXPECT_EQ(canUnloadNow(), S_OK);
}

// ---- Config: the plug-in's own dialog, driven through its controls ----------------------------

// A profile section as saved: its key elements with their texts, in file order.
using ProfileKeys = std::vector<std::pair<std::string, std::string>>;

ProfileKeys pendantSection(const std::string& profile) {
  const std::string text = test::readFile(profile);
  const std::string open = "<Orvane_K4_Pendant>";
  const std::size_t begin = text.find(open);
  const std::size_t end = text.find("</Orvane_K4_Pendant>", begin);
  if (begin == std::string::npos || end == std::string::npos)
    return {};
  const std::string body = text.substr(begin + open.size(), end - begin - open.size());
  static const std::regex keyElement(R"(<(\w+)>([^<]*)</\1>)");
  ProfileKeys keys;
  for (std::sregex_iterator match(body.begin(), body.end(), keyElement), last; match != last;
       ++match) {
    keys.emplace_back((*match)[1].str(), (*match)[2].str());
  }
  return keys;
}

// What Config writes for a profile without the section when the dialog changes nothing.
const ProfileKeys kReconfigurationDefaults = {
    {"BUTTON0", "0"},        {"BUTTON1", "0"},
    {"BUTTON2", "0"},        {"BUTTON3", "0"},
    {"StepSize1", "2"},      {"StepSize2", "0"},
    {"StepSize3", "0"},      {"Vel", "2"},
    {"AxisASelection", "0"}, {"AxisBSelection", "0"},
    {"AxisCSelection", "0"}, {"AxisXYZSelection", "0"},
    {"Macro1", "0"},         {"Macro2", "0"},
    {"Macro3", "0"},         {"Macro4", "0"},
    {"OEM1", "0"},           {"OEM2", "0"},
    {"OEM3", "0"},           {"OEM4", "0"},
    {"StepJogRate", "100"},  {"DelaySteps", "25"},
    {"SingleMode", "0"},     {"AutoMode", "1"},
    {"AutoChangeSens", "3"}, {"VelocityInAuto", "5"},
    {"SlowDownRate", "2"},
};

ProfileKeys with(ProfileKeys keys, const ProfileKeys& changes) {
  for (const auto& [name, value] : changes) {
    const auto key = std::find_if(keys.begin(), keys.end(),
                                  [&](const auto& entry) { return entry.first == name; });
    if (key != keys.end())
      key->second = value;
  }
  return keys;
}

std::string asSection(const ProfileKeys& keys) {
  std::string text = "<Orvane_K4_Pendant>";
  for (const auto& [name, value] : keys)
    text += "<" + name + ">" + value + "</" + name + ">";
  return text + "</Orvane_K4_Pendant>";
}

// Counts the pendant window's timer messages that any message loop of this thread takes,
// the dialog's modal loop included.
HWND timedWindow = nullptr;
int timedWindowTicks = 0;

LRESULT CALLBACK countTimerTicks(int code, WPARAM removal, LPARAM message) {
  const auto* taken = reinterpret_cast<const MSG*>(message);
  if (code == HC_ACTION && removal == PM_REMOVE && taken->message == WM_TIMER &&
      taken->hwnd == timedWindow) {
    ++timedWindowTicks;
  }
  return CallNextHookEx(nullptr, code, removal, message);
}

// The plug-in started as the host starts it, with the profile in a directory of its own.
class ConfigTest : public HostLoadTest {
 protected:
  void SetUp() override {
    HostLoadTest::SetUp();
    ASSERT_TRUE(plugIn.loaded());
    ASSERT_TRUE(plugIn.startUp(profile, engine, setup, planner, view.hwnd()));
    timedWindow = GetDlgItem(view.hwnd(), 1);
    timedWindowTicks = 0;
    hook = SetWindowsHookExA(WH_GETMESSAGE, &countTimerTicks, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
  }
  void TearDown() override {
    if (hook != nullptr)
      UnhookWindowsHookEx(hook);
    timedWindow = nullptr;
    plugIn.call("StopPlug");
  }

  void config(std::vector<test::DialogStep> steps) {
    test::playWhileModal(driver, std::move(steps), [this] { plugIn.call("Config"); });
    EXPECT_FALSE(driver.timedOut);
    EXPECT_TRUE(driver.finished()) << "the dialog closed at step " << driver.next;
    EXPECT_EQ(test::threadDialogWindows().dialog, nullptr) << "the dialog outlived Config";
  }

  test::TempDir directory;
  const std::string profile = directory.file("profile.xml");
  PlugIn plugIn;
  HHOOK hook = nullptr;
  test::DialogDriver driver;
};

TEST_F(ConfigTest, OkWritesTheEditedValuesAndAllOtherKeysInTableOrder) {
  struct Shown {
    std::string feedRate, stepSize1;
    HWND owner = reinterpret_cast<HWND>(1);
    bool topmost = false;
  } shown;
  int ticksAtOpening = 0;
  config({
      [&](const test::DialogWindows& w) {
        shown.feedRate = test::windowText(GetDlgItem(w.dialog, 4169));
        shown.stepSize1 = test::windowText(GetDlgItem(w.dialog, 4032));
        shown.owner = GetWindow(w.dialog, GW_OWNER);
        shown.topmost = (GetWindowLongPtrA(w.dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        ticksAtOpening = timedWindowTicks;
        return true;
      },
      // The report cycle goes on while the dialog is open.
      [&](const test::DialogWindows&) { return timedWindowTicks >= ticksAtOpening + 3; },
      [](const test::DialogWindows& w) {
        SetDlgItemTextA(w.dialog, 4169, "250");
        // Picked as a user picks it: the selection, then the list's notification.
        SendDlgItemMessageA(w.dialog, 4032, CB_SETCURSEL, 4, 0);
        SendMessageA(w.dialog, WM_COMMAND, MAKEWPARAM(4032, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(w.dialog, 4032)));
        return true;
      },
      &test::clickOk,
  });

  EXPECT_EQ(shown.feedRate, "100");
  EXPECT_EQ(shown.stepSize1, "0.001");
  EXPECT_EQ(shown.owner, nullptr);
  EXPECT_TRUE(shown.topmost);
  EXPECT_EQ(pendantSection(profile),
            with(kReconfigurationDefaults, {{"StepJogRate", "250"}, {"StepSize1", "4"}}))
      << test::readFile(profile);
}

TEST_F(ConfigTest, LettersInTheFeedRateKeepTheDialogOpenAndEscapeWritesTheValuesReRead) {
  // The host may have rewritten its profile since start-up: Config reads it again.
  const ProfileKeys stored = {
      {"BUTTON0", "52"},       {"BUTTON1", "3"},
      {"BUTTON2", "20"},       {"BUTTON3", "65"},
      {"StepSize1", "3"},      {"StepSize2", "1"},
      {"StepSize3", "4"},      {"Vel", "7"},
      {"AxisASelection", "1"}, {"AxisBSelection", "1"},
      {"AxisCSelection", "0"}, {"AxisXYZSelection", "1"},
      {"Macro1", "-1"},        {"Macro2", "12"},
      {"Macro3", "13"},        {"Macro4", "14"},
      {"OEM1", "1021"},        {"OEM2", "22"},
      {"OEM3", "23"},          {"OEM4", "24"},
      {"StepJogRate", "175"},  {"DelaySteps", "40"},
      {"SingleMode", "5"},     {"AutoMode", "0"},
      {"AutoChangeSens", "6"}, {"VelocityInAuto", "9"},
      {"SlowDownRate", "0"},
  };
  test::writeFile(profile, "<profile>" + asSection(stored) + "</profile>");

  std::string shownFeedRate;
  std::vector<std::string> messages;
  bool focusOnFeedRate = false;
  config({
      [&](const test::DialogWindows& w) {
        shownFeedRate = test::windowText(GetDlgItem(w.dialog, 4169));
        SetDlgItemTextA(w.dialog, 4162, "7");
        SendDlgItemMessageA(w.dialog, 4032, CB_SETCURSEL, 1, 0);
        SetDlgItemTextA(w.dialog, 4169, "fast");
        return true;
      },
      &test::clickOk,
      test::dismissMessageBox(messages),
      [&](const test::DialogWindows& w) {
        if (w.messageBox != nullptr)
          return false;
        focusOnFeedRate = GetFocus() == GetDlgItem(w.dialog, 4169);
        return true;
      },
      &test::pressEscape,
  });

  EXPECT_EQ(shownFeedRate, "175");
  EXPECT_EQ(messages, std::vector<std::string>{"Please enter an integer."});
  EXPECT_TRUE(focusOnFeedRate);
  // Every key written back as read, a boolean as 0 or 1; nothing of the dialog's edits.
  EXPECT_EQ(pendantSection(profile), with(stored, {{"SingleMode", "1"}}))
      << test::readFile(profile);
}

}  // namespace
