// A host that calls the plug-in back from inside its callbacks, as a host integrator may: it
// stops or restarts the plug-in in the middle of a report cycle or of a removal, and it runs its
// own event loop (a message box) inside a callback, during which our timer fires and the pendant
// comes and goes. Through the exports and the posix window, with a host view turned by hand.
// Whatever the host does, no callback is entered while another one runs, nothing reaches the
// host after StopPlug returned, and a jog the host was told to start is ended and settled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
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

// The host's side: every callback is logged, nesting is measured, and a hook may act from inside
// any one of them.
struct HostLog {
  std::vector<std::string> calls;
  int depth = 0;
  // Deepest nesting of callbacks made on the plug-in's own account. The calls a stop makes
  // inside the host's callback that called StopPlug are the host's own request, not counted.
  int deepest = 0;
  bool inExport = false;
  bool stopReturned = false;
  std::vector<std::string> afterStop;
  std::function<void(const std::string&)> hook;
};
HostLog* hostLog = nullptr;

void enter(const std::string& call) {
  hostLog->calls.push_back(call);
  if (hostLog->stopReturned)
    hostLog->afterStop.push_back(call);
  ++hostLog->depth;
  if (!hostLog->inExport)
    hostLog->deepest = std::max(hostLog->deepest, hostLog->depth);
  if (hostLog->hook) {
    const auto hook = hostLog->hook;
    hook(call);
  }
  --hostLog->depth;
}

void K4_CALL onButton(int code) {
  enter("DoButton " + std::to_string(code));
}
void K4_CALL onSetDro(int code, double) {
  enter("SetDRO " + std::to_string(code));
}
double K4_CALL onGetDro(int code) {
  enter("GetDRO " + std::to_string(code));
  return code == dro::kSpeedPercent ? 50.0 : 0.0;
}
uint8_t K4_CALL onGetLed(int code) {
  enter("GetLED " + std::to_string(code));
  return code == led::kJogAllowed || code == led::kJogStartBracket ? 1 : 0;
}
void K4_CALL onSetLed(int, bool) {}
void K4_CALL onCode(const char* line) {
  enter(std::string("Code ") + line);
}

class ReentrantHost : public ::testing::Test {
 protected:
  ReentrantHost() {
    hostLog = &log;
    SetDoButton(onButton);
    SetSetDRO(onSetDro);
    SetGetDRO(onGetDro);
    SetGetLED(onGetLed);
    SetSetLED(onSetLed);
    SetCode(onCode);
    SetProName(profile.c_str());
    pendantSettings = PendantSettings{};
    start();
  }
  ~ReentrantHost() override {
    log.hook = nullptr;  // it refers to the test body's locals
    StopPlug();
    resetPluginState();
    pendantSettings = PendantSettings{};
    hostLog = nullptr;
  }

  void start() {
    InitControl(&engine, &setup, &planner, loop.view());
    PostInitControl();
  }
  void stop() {
    StopPlug();
    log.stopReturned = true;
  }

  // One report cycle of the host's loop with a velocity-jog report (knob 2, intensity 60) and the
  // wheel a little further on, then one Update.
  void turn(int cycles, bool updates = true) {
    for (int i = 0; i < cycles; ++i) {
      wheel = static_cast<uint8_t>(wheel + 2);
      pendant.queueReport({0, wheel, 60, 0, 2, 0, 0, 0});
      loop.fireTimers();
      if (updates)
        Update();
    }
  }
  bool called(const std::string& call) const {
    return std::find(log.calls.begin(), log.calls.end(), call) != log.calls.end();
  }
  // The calls from `first` on.
  std::vector<std::string> callsFrom(std::size_t first) const {
    return {log.calls.begin() + static_cast<std::ptrdiff_t>(first), log.calls.end()};
  }

  HostLog log;
  test::TempDir dir;
  std::string profile = dir.file("profile.xml");
  VirtualPendant pendant;
  ScriptedDialogView dialog;
  ManualHostView loop{pendant.table(), dialog.table()};
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  uint8_t wheel = 10;
};

// The host stops or restarts the plug-in from inside the callback named `trigger`, met while a
// velocity jog starts, runs or is cut by a removal.
struct StopInsideCase {
  const char* name;
  const char* trigger;
  bool unplug;     // the trigger comes from the removal handler
  bool restart;    // InitControl in place of StopPlug
  bool jogStarts;  // "DOJOG" has reached the host by then
};

class StopInside : public ReentrantHost, public ::testing::WithParamInterface<StopInsideCase> {};

TEST_P(StopInside, NothingAfterTheStopAndTheJogIsEndedAndSettled) {
  const StopInsideCase& c = GetParam();
  bool fired = false;
  log.hook = [&](const std::string& call) {
    if (fired || call != c.trigger || (c.jogStarts && !called("Code DOJOG")))
      return;
    fired = true;
    const std::size_t before = log.calls.size();
    log.inExport = true;
    if (c.restart) {
      InitControl(&engine, &setup, &planner, loop.view());
    } else {
      StopPlug();
    }
    log.inExport = false;
    // The stop's own work, made inside the host's call: the jog ends on X and its start action
    // is settled.
    const std::vector<std::string> stopWork = callsFrom(before);
    if (c.jogStarts) {
      EXPECT_NE(std::find(stopWork.begin(), stopWork.end(), "Code ENDJOG"), stopWork.end());
      EXPECT_EQ(engine.axisJog[0].stopByte, 1);
    }
    EXPECT_NE(std::find(stopWork.begin(), stopWork.end(), "DoButton 205"), stopWork.end());
    log.stopReturned = true;
  };
  turn(c.unplug ? 12 : 30);
  if (c.unplug)
    pendant.unplug();
  turn(10);
  ASSERT_TRUE(fired);
  EXPECT_EQ(log.afterStop, std::vector<std::string>{});
  EXPECT_EQ(log.deepest, 1);
  EXPECT_EQ(pendant.badCloseCount(), 0);
  if (c.restart) {
    // The new window has no pendant yet: PostInitControl finds it again and the cycle runs.
    EXPECT_EQ(pendant.openHandleCount(), 0);
    log.stopReturned = false;
    if (c.unplug)
      pendant.plug();
    PostInitControl();
    const std::size_t restarted = log.calls.size();
    turn(12);
    const std::vector<std::string> later = callsFrom(restarted);
    EXPECT_NE(std::find(later.begin(), later.end(), "Code DOJOG"), later.end());
  } else {
    EXPECT_EQ(pendantWindow, nullptr);
    EXPECT_EQ(loop.timerCount(), 0u);
    EXPECT_EQ(pendant.openHandleCount(), 0);
    EXPECT_FALSE(pendant.notificationsRegistered());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, StopInside,
    ::testing::Values(StopInsideCase{"AtTheJogStartAction", "DoButton 204", false, false, false},
                      StopInsideCase{"AtDojog", "Code DOJOG", false, false, true},
                      StopInsideCase{"AtTheOutputReportsLed", "GetLED 805", false, false, true},
                      StopInsideCase{"AtTheRemovalsReset", "DoButton 1021", true, false, true},
                      StopInsideCase{"RestartAtDojog", "Code DOJOG", false, true, true},
                      StopInsideCase{"RestartAtTheRemovalsReset", "DoButton 1021", true, true,
                                     true}),
    [](const auto& param) { return std::string(param.param.name); });

// A callback that shows a message box: the host's loop runs inside it, our timer fires many
// times and the pendant is pulled and plugged in again. Nothing of ours runs inside the
// callback; the removal and the arrival are handled, in order, once it has returned.
TEST_F(ReentrantHost, ANestedEventLoopInsideACallbackRunsNothingOfOurs) {
  bool fired = false;
  std::size_t afterLoop = 0;
  log.hook = [&](const std::string& call) {
    if (fired || call != "Code DOJOG")
      return;
    fired = true;
    const std::size_t before = log.calls.size();
    for (int i = 0; i < 14; ++i) {
      pendant.queueReport({0, static_cast<uint8_t>(wheel + 9 * i), 60, 0, 2, 0, 0, 0});
      loop.fireTimers();
      Update();
    }
    pendant.unplug();
    pendant.plug();
    EXPECT_EQ(log.calls.size(), before);
    afterLoop = log.calls.size();
  };
  turn(30);
  ASSERT_TRUE(fired);
  EXPECT_EQ(log.deepest, 1);
  // Once the callback had returned, the cycle it interrupted found the pendant gone at its
  // write and the kept removal followed: the jog ended and settled, one reset.
  const std::vector<std::string> after = callsFrom(afterLoop);
  EXPECT_EQ(std::count(after.begin(), after.end(), "DoButton 1021"), 1);
  EXPECT_EQ(std::count(after.begin(), after.end(), "DoButton 205"), 1);
  EXPECT_NE(std::find(after.begin(), after.end(), "Code ENDJOG"), after.end());
  // And the arrival after it: the pendant is read again.
  EXPECT_EQ(pendant.openHandleCount(), 3);
}

// StopPlug between two cycles of a running velocity jog: the axis stops, the host's jog-start
// state is left, and the saved DROs come back, before StopPlug returns.
TEST_F(ReentrantHost, StopMidJogEndsTheJogPaysThe205AndRestoresTheDros) {
  // A few steps first (knob 1) so that DROs 818 and 821 are saved and await restoring.
  pendantSettings.AutoMode = 0;
  pendantSettings.StepJogRate = 100;
  pendant.queueReport({0, wheel, 0, 0, 1, 0, 0, 0});
  loop.fireTimers();
  pendant.queueReport({0, static_cast<uint8_t>(wheel + 3), 0, 0, 1, 0, 0, 0});
  loop.fireTimers();
  wheel = static_cast<uint8_t>(wheel + 3);
  ASSERT_TRUE(called("SetDRO 821"));
  turn(20, false);  // no Update: the DROs stay saved
  ASSERT_TRUE(called("Code DOJOG"));
  ASSERT_EQ(engine.axisJog[0].stopByte, 0);
  const std::size_t before = log.calls.size();
  stop();
  EXPECT_EQ(callsFrom(before),
            (std::vector<std::string>{"Code ENDJOG", "DoButton 205", "SetDRO 818", "SetDRO 821"}));
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  turn(5);
  EXPECT_TRUE(log.afterStop.empty());
}

}  // namespace
}  // namespace k4
