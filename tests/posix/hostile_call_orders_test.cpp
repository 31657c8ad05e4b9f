// The plug-in's exports called in thousands of random orders, with null pointers wherever the
// host hands one over: callbacks, the profile name, the host blocks and the view. Between the
// calls the view's timer runs report cycles and the pendant comes and goes. From inside its
// callbacks the host calls the plug-in back now and then: it stops or restarts it, runs its own
// loop (our timer fires in it), pulls or plugs the pendant, opens the dialog. Nothing may crash or
// throw (the sanitizer build also sees every leak and stray access), no callback is entered while
// another runs (except the calls a StopPlug or InitControl makes inside the callback that called
// it), and after each sequence's StopPlug the plug-in holds no window, no device handle and no
// timer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
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

// Host callbacks that count, check what they are handed, and now and then call the plug-in
// back (`reenter`, set by the fixture).
int hostCalls = 0;
int callbackDepth = 0;
int stopsInCallback = 0;  // StopPlug or InitControl running inside a callback
int nestedCallbacks = 0;  // callbacks entered while another ran, not on a stop's account
int reentries = 0;
std::function<void()> reenter;

struct InCallback {
  InCallback() {
    ++hostCalls;
    if (callbackDepth > 0 && stopsInCallback == 0)
      ++nestedCallbacks;
    ++callbackDepth;
    if (callbackDepth == 1 && reenter)
      reenter();
  }
  ~InCallback() { --callbackDepth; }
};

void K4_CALL countButton(int) {
  InCallback call;
}
void K4_CALL countSetDro(int, double) {
  InCallback call;
}
double K4_CALL answerDro(int code) {
  InCallback call;
  return code == dro::kSpeedPercent ? 50.0 : 0.0;
}
uint8_t K4_CALL answerLed(int code) {
  InCallback call;
  return code == led::kJogAllowed;
}
void K4_CALL countSetLed(int, bool) {
  InCallback call;
}
void K4_CALL checkCode(const char* line) {
  InCallback call;
  ASSERT_NE(line, nullptr);
  ASSERT_LT(std::strlen(line), 1000u);
}

// Profiles on a memory file system when there is one: every close flushes the profile to the
// disk, thousands of times in this test.
std::filesystem::path scratchRoot() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error))
    return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

class HostileCallOrders : public ::testing::Test {
 protected:
  HostileCallOrders() {
    dir_ = scratchRoot() / ("k4-hostile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "a directory");
    profile_ = (dir_ / "profile.xml").string();
    dialog_.setScript({{ScriptedDialogView::Step::Kind::PressEscape, "", "", 0}});
  }
  ~HostileCallOrders() override {
    reenter = nullptr;
    StopPlug();
    resetPluginState();
    pendantSettings = PendantSettings{};
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // One export, or one event of the host's loop or of the pendant, chosen by `rng`.
  void randomCall(std::mt19937& rng) {
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const bool null = pick(4) == 0;
    switch (pick(22)) {
      case 0:
        SetDoButton(null ? nullptr : countButton);
        break;
      case 1:
        SetSetDRO(null ? nullptr : countSetDro);
        break;
      case 2:
        SetGetDRO(null ? nullptr : answerDro);
        break;
      case 3:
        SetGetLED(null ? nullptr : answerLed);
        break;
      case 4:
        SetSetLED(null ? nullptr : countSetLed);
        break;
      case 5:
        SetCode(null ? nullptr : checkCode);
        break;
      case 6: {
        const std::string names[] = {profile_, "", (dir_ / "missing" / "profile.xml").string(),
                                     (dir_ / "a directory").string()};
        const char* name = null ? nullptr : names[pick(4)].c_str();
        const char* display = SetProName(name);
        ASSERT_NE(display, nullptr);
        EXPECT_NE(std::strstr(display, " Pendant --Tarnwick Ver 3.3.0"), nullptr);
        break;
      }
      case 7: {
        // The view is the one pointer whose absence changes the platform's services: without it
        // the plug-in would look for a real pendant and ask a terminal for the dialog.
        view_ = pick(8) == 0 ? nullptr : hostView_.view();
        EXPECT_TRUE(InitControl(pick(3) == 0 ? nullptr : &engine_, pick(3) == 0 ? nullptr : &setup_,
                                pick(3) == 0 ? nullptr : &planner_, view_));
        break;
      }
      case 8:
        if (view_ != nullptr)
          PostInitControl();
        break;
      case 9:
        if (view_ != nullptr)
          Config();
        break;
      case 10:
        for (int i = pick(6); i >= 0; --i)
          Update();
        break;
      case 11:
        StopPlug();
        break;
      case 12: {
        void (*const empty[])() = {DoDwell, Reset, JogOn, JogOff, Purge, Probe, Home};
        empty[pick(7)]();
        break;
      }
      case 13:
      case 14:
      case 15:
        for (int i = pick(12); i >= 0; --i)
          hostView_.fireTimers();
        break;
      case 16:
      case 17: {
        VirtualPendant::InputReport report;
        for (uint8_t& byte : report)
          byte = static_cast<uint8_t>(rng());
        report[4] = static_cast<uint8_t>(pick(10));  // a knob position
        pendant_.queueReport(report);
        break;
      }
      case 18:
        if (pendant_.present()) {
          pendant_.unplug();
        } else {
          pendant_.plug();
        }
        break;
      case 19:
        pendant_.arriveOther();
        break;
      case 20:
        planner_.stepIncrement = pick(2) == 0 ? 0.001 : -1e300;
        setup_.rotationAngle = pick(3) == 0 ? 30.0 : 0.0;
        break;
      default:
        engine_.jogInhibit = static_cast<uint8_t>(pick(2));
        break;
    }
    ASSERT_NE(std::memchr(planner_.statusLine, '\0', kStatusLineSize), nullptr);
  }

  // What the host does from inside one of its callbacks, now and then.
  void reenterFromCallback(std::mt19937& rng) {
    if (rng() % 2 != 0)
      return;
    ++reentries;
    switch (rng() % 8) {
      case 0:
      case 1:
        ++stopsInCallback;
        StopPlug();
        --stopsInCallback;
        break;
      case 2:
        ++stopsInCallback;
        InitControl(&engine_, &setup_, &planner_, view_ != nullptr ? view_ : hostView_.view());
        --stopsInCallback;
        break;
      case 3:
        PostInitControl();
        break;
      case 4:
        // A message box: the host's loop runs, our timer fires in it.
        for (int i = 0; i < 4; ++i) {
          hostView_.fireTimers();
          Update();
        }
        break;
      case 5:
        if (pendant_.present()) {
          pendant_.unplug();
        } else {
          pendant_.plug();
        }
        break;
      case 6:
        pendant_.arriveOther();
        break;
      default:
        Config();
        break;
    }
  }

  std::filesystem::path dir_;
  std::string profile_;
  VirtualPendant pendant_;
  ScriptedDialogView dialog_;
  ManualHostView hostView_{pendant_.table(), dialog_.table()};
  void* view_ = nullptr;
  EngineBlock engine_{};
  SetupBlock setup_{};
  PlannerBlock planner_{};
};

TEST_F(HostileCallOrders, ThousandsOfRandomSequencesLeaveNothingBehind) {
  std::mt19937 rng(20240611);
  std::mt19937 reentryRng(20261210);
  reenter = [this, &reentryRng] { reenterFromCallback(reentryRng); };
  constexpr int kSequences = 2000;
  for (int sequence = 0; sequence < kSequences; ++sequence) {
    const int calls = 1 + static_cast<int>(rng() % 40);
    for (int call = 0; call < calls; ++call) {
      randomCall(rng);
      if (HasFatalFailure())
        return;
    }
    StopPlug();
    ASSERT_EQ(pendantWindow, nullptr) << "sequence " << sequence;
    ASSERT_EQ(pendant_.openHandleCount(), 0) << "sequence " << sequence;
    ASSERT_EQ(pendant_.badCloseCount(), 0) << "sequence " << sequence;
    ASSERT_EQ(hostView_.timerCount(), 0u) << "sequence " << sequence;
    ASSERT_FALSE(pendant_.notificationsRegistered()) << "sequence " << sequence;
    // The host may hand over a fresh profile, or keep the one the plug-in wrote.
    if (rng() % 4 == 0)
      std::filesystem::remove(profile_);
  }
  // The sequences reached the host at all: the callbacks were called.
  EXPECT_GT(hostCalls, 0);
  EXPECT_EQ(nestedCallbacks, 0);
  EXPECT_GT(reentries, 100);
}

}  // namespace
}  // namespace k4
