// Picking an axis never sets it moving: after the plug-in itself ends a continuous jog (an axis
// change, a mode change, the pendant pulled out and plugged in again), the next jog needs a new
// wheel count, however long the jog key stays held. And the host's jog-start state (204) is left
// again (205) once the operator has let go, also when the automatic mode's jog ends on a still
// wheel. Timelines through the whole chain against the fake host, in both axis-selection styles
// and in the three continuous-jog modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fake_window.h"
#include "handed_pendant.h"
#include "host/host_boundary.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using Report = VirtualPendant::InputReport;
using Calls = std::vector<std::string>;

constexpr uint8_t kSideByte = 0x10;  // report byte 3, bit 28 of reportWord0
constexpr uint8_t kIntensity = 200;

int count(const Calls& calls, const std::string& call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

enum class Ending { kAxisClick, kKnobAwayAndBack, kUnplugAndPlug };

struct RestartCase {
  const char* name;
  uint8_t knob;    // 2 velocity, 3 delayed, 1 with AutoMode: automatic
  int clickStyle;  // AxisXYZSelection position: 0 single click, 1 single/double
  Ending ending;
  uint8_t turnStep;  // counts per cycle while turning (the automatic mode needs its threshold)
};

class JogRestart : public ::testing::TestWithParam<RestartCase> {
 protected:
  JogRestart() {
    pendantSettings.StepJogRate = 100;
    pendantSettings.DelaySteps = 1;
    pendantSettings.AutoMode = 1;
    pendantSettings.AxisXYZSelection = static_cast<int16_t>(GetParam().clickStyle);
    fakeHost.leds[led::kJogStartBracket] = 1;
    window = std::make_unique<PendantWindow>(pendant.services());
    window->attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
  }

  // One report cycle, then `updates` host Update calls; the calls of the cycle are kept.
  Calls send(uint8_t knob, uint8_t buttons = 0, int updates = 1, uint8_t intensity = kIntensity) {
    pendant.queueReport(Report{0, wheel, intensity, buttons, knob, 0, 0, 0});
    window->runReportCycle();
    Calls calls = fakeHost.take();
    all.insert(all.end(), calls.begin(), calls.end());
    test::updateTicks(updates);
    return calls;
  }

  test::FakeHost fakeHost;
  test::HandedPendant pendant;
  test::FakeWindowLog windowLog;
  std::unique_ptr<PendantWindow> window;
  uint8_t wheel = 40;
  Calls all;
};

TEST_P(JogRestart, NoJogStartsUntilTheWheelTurnsAgain) {
  const RestartCase& c = GetParam();
  ASSERT_TRUE(window->discoverDevice());
  send(c.knob);  // the wheel's reference
  bool started = false;
  for (int i = 0; i < 6 && !started; ++i) {
    wheel = static_cast<uint8_t>(wheel + c.turnStep);
    started = count(send(c.knob), "Code \"DOJOG\"") != 0;
  }
  ASSERT_TRUE(started);
  ASSERT_EQ(window->axisIndex, 0);

  // The plug-in ends the jog; the wheel stands still from here on, the jog key stays held.
  Calls ending;
  auto keep = [&ending](const Calls& calls) {
    ending.insert(ending.end(), calls.begin(), calls.end());
  };
  switch (c.ending) {
    case Ending::kAxisClick:
      // Many Update calls between two reports: the wheel-busy guard has run out.
      test::updateTicks(6);
      keep(send(c.knob, kSideByte));
      keep(send(c.knob, kSideByte, 3));
      keep(send(c.knob));  // released four Update calls after the press
      for (int i = 0; i < 5; ++i)
        keep(send(c.knob));  // the single-click style selects the axis after a short wait
      ASSERT_EQ(window->axisIndex, 1);
      break;
    case Ending::kKnobAwayAndBack:
      keep(send(5));
      keep(send(c.knob));
      break;
    case Ending::kUnplugAndPlug:
      pendant.unplug();
      pendant.plug();
      keep(fakeHost.take());
      all.insert(all.end(), ending.begin(), ending.end());
      break;
  }
  // The jog may run on while the wheel rested only one cycle; once ended, it stays ended.
  const auto ended = std::find(ending.begin(), ending.end(), "Code \"ENDJOG\"");
  ASSERT_NE(ended, ending.end());
  EXPECT_EQ(std::count(ended, ending.end(), "Code \"DOJOG\""), 0);
  for (int i = 0; i < 12; ++i) {
    const Calls calls = send(c.knob);
    ASSERT_EQ(count(calls, "Code \"DOJOG\""), 0) << "still cycle " << i;
  }

  // One turn of the wheel starts the jog again, on the axis now selected.
  bool restarted = false;
  for (int i = 0; i < 3 && !restarted; ++i) {
    wheel = static_cast<uint8_t>(wheel + c.turnStep);
    restarted = count(send(c.knob), "Code \"DOJOG\"") != 0;
  }
  EXPECT_TRUE(restarted);
  EXPECT_EQ(fakeHost.engine.axisJog[window->axisIndex].startByte, 1);

  // The operator lets go: nothing holds the host in its jog-start state.
  for (int i = 0; i < 10; ++i)
    send(c.knob, 0, 1, 0);
  EXPECT_EQ(count(all, "DoButton 204"), count(all, "DoButton 205"));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, JogRestart,
    ::testing::Values(RestartCase{"VelocityClickStyle1", 2, 0, Ending::kAxisClick, 1},
                      RestartCase{"VelocityClickStyle2", 2, 1, Ending::kAxisClick, 1},
                      RestartCase{"DelayedClickStyle1", 3, 0, Ending::kAxisClick, 1},
                      RestartCase{"DelayedClickStyle2", 3, 1, Ending::kAxisClick, 1},
                      RestartCase{"AutoClickStyle1", 1, 0, Ending::kAxisClick, 6},
                      RestartCase{"AutoClickStyle2", 1, 1, Ending::kAxisClick, 6},
                      RestartCase{"VelocityKnob", 2, 0, Ending::kKnobAwayAndBack, 1},
                      RestartCase{"DelayedKnob", 3, 0, Ending::kKnobAwayAndBack, 1},
                      RestartCase{"AutoKnob", 1, 0, Ending::kKnobAwayAndBack, 6},
                      RestartCase{"VelocityReplug", 2, 0, Ending::kUnplugAndPlug, 1},
                      RestartCase{"DelayedReplug", 3, 0, Ending::kUnplugAndPlug, 1},
                      RestartCase{"AutoReplug", 1, 0, Ending::kUnplugAndPlug, 6}),
    [](const auto& param) { return std::string(param.param.name); });

// The automatic mode's velocity jog ends on a still wheel and the operator lets go of the jog key
// afterwards; from then on the step path runs, and the 205 owed since the jog's 204 is paid there
// instead of waiting for the next mode change.
TEST(AutomaticModeStartAction, IsSettledOnceTheOperatorHasLetGo) {
  test::FakeHost fakeHost;
  fakeHost.leds[led::kJogStartBracket] = 1;
  pendantSettings.AutoMode = 1;
  test::HandedPendant pendant;
  test::FakeWindowLog windowLog;
  PendantWindow window(pendant.services());
  window.attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
  ASSERT_TRUE(window.discoverDevice());
  uint8_t wheel = 0;
  Calls all;
  auto send = [&](uint8_t intensity) {
    pendant.queueReport(Report{0, wheel, intensity, 0, 1, 0, 0, 0});
    window.runReportCycle();
    const Calls calls = fakeHost.take();
    all.insert(all.end(), calls.begin(), calls.end());
    test::updateTicks(1);
  };
  send(60);
  for (int i = 0; i < 6; ++i) {
    wheel = static_cast<uint8_t>(wheel + 6);
    send(60);
  }
  ASSERT_EQ(count(all, "DoButton 204"), 1);
  ASSERT_GT(count(all, "Code \"DOJOG\""), 0);
  send(60);
  send(60);  // the wheel rests: the jog ends on the still wheel, the key still held
  for (int i = 0; i < 20; ++i)
    send(0);  // let go
  EXPECT_EQ(count(all, "DoButton 205"), 1);
  EXPECT_EQ(window.jogMode, 10);
}

}  // namespace
}  // namespace k4
