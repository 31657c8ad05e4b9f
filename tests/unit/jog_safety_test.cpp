// No axis keeps moving that nobody moves: a continuous jog is ended on its own axis when its mode
// is left, when another axis is selected, and when the pendant is pulled out; LEDs are read as
// one byte; another device's arrival does not cost wheel counts. Timelines through the whole
// chain (virtual pendant, link, every decoder, the jog engine) against the fake host.
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

constexpr uint8_t kSideByte = 0x10;    // report byte 3, bit 28 of reportWord0
constexpr uint8_t kStartCombo = 0x14;  // cycle button with SIDE

Report pendantReport(uint8_t wheel, uint8_t intensity, uint8_t knob, uint8_t buttons = 0) {
  return Report{0, wheel, intensity, buttons, knob, 0, 0, 0};
}

class JogSafety : public ::testing::Test {
 protected:
  JogSafety() {
    pendantSettings.StepJogRate = 100;
    pendantSettings.DelaySteps = 2;
    window = std::make_unique<PendantWindow>(pendant.services());
    window->attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
  }

  // One report cycle with `report`, then `updates` host Update calls.
  Calls send(const Report& report, int updates = 1) {
    pendant.queueReport(report);
    window->runReportCycle();
    Calls calls = fakeHost.take();
    test::updateTicks(updates);
    return calls;
  }

  // Turns the wheel at `knob` (with `buttons`) until the host has been told "DOJOG".
  void jogAt(uint8_t knob, uint8_t buttons = 0) {
    ASSERT_TRUE(window->discoverDevice());
    send(pendantReport(wheel, 60, knob, buttons));  // the wheel's reference
    bool started = false;
    for (int i = 0; i < 12; ++i) {
      wheel = static_cast<uint8_t>(wheel + 3);
      const Calls calls = send(pendantReport(wheel, 60, knob, buttons));
      started = started || std::count(calls.begin(), calls.end(), "Code \"DOJOG\"") != 0;
    }
    ASSERT_TRUE(started);
  }

  const AxisJogRecord& record(int axis) const { return fakeHost.engine.axisJog[axis]; }

  test::FakeHost fakeHost;
  test::HandedPendant pendant;
  test::FakeWindowLog windowLog;
  std::unique_ptr<PendantWindow> window;
  uint8_t wheel = 10;
};

// ---- Leaving a continuous-jog mode -----------------------------------------------------------

struct ModeChangeCase {
  const char* name;
  uint8_t fromKnob;
  uint8_t fromButtons;
  bool autoMode;
  bool ledJogStart;  // LED 15 lit: DoButton 204 at the start, 205 owed
  uint8_t toKnob;
  uint8_t toButtons;
  Calls atTheChange;  // the host calls of the cycle in which the knob (or SIDE) changed the mode
};

class ModeChange : public JogSafety, public ::testing::WithParamInterface<ModeChangeCase> {};

TEST_P(ModeChange, EndsTheJogOnItsAxisInTheCycleOfTheChange) {
  const ModeChangeCase& c = GetParam();
  pendantSettings.AutoMode = c.autoMode;
  fakeHost.leds[led::kJogStartBracket] = c.ledJogStart;
  jogAt(c.fromKnob, c.fromButtons);
  ASSERT_EQ(record(0).startByte, 1);
  ASSERT_EQ(record(0).stopByte, 0);

  // The wheel rests as the knob turns; the intensity is still held.
  EXPECT_EQ(send(pendantReport(wheel, 60, c.toKnob, c.toButtons)), c.atTheChange);
  EXPECT_EQ(record(0).stopByte, 1);
  // Nothing further ends or restarts anything: the new mode has no jog of its own.
  for (int i = 0; i < 8; ++i) {
    for (const std::string& call : send(pendantReport(wheel, 60, c.toKnob, c.toButtons)))
      EXPECT_TRUE(call.find("JOG") == std::string::npos && call != "DoButton 205") << call;
  }
}

const Calls kEndThen334 = {"Code \"ENDJOG\"", "DoButton 334"};
const Calls kEndSettleThen334 = {"Code \"ENDJOG\"", "DoButton 205", "DoButton 334"};

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeChange,
    ::testing::Values(
        ModeChangeCase{"Velocity2To5", 2, 0, false, false, 5, 0, kEndThen334},
        ModeChangeCase{"Velocity2To3", 2, 0, false, false, 3, 0, kEndThen334},
        ModeChangeCase{"Velocity2To7", 2, 0, false, false, 7, 0, kEndThen334},
        ModeChangeCase{"Velocity2To9OwedStartAction", 2, 0, false, true, 9, 0, kEndSettleThen334},
        ModeChangeCase{"Delayed3To4BySide", 3, 0, false, false, 3, kSideByte, kEndThen334},
        ModeChangeCase{"Delayed3To6OwedStartAction", 3, 0, false, true, 6, 0, kEndSettleThen334},
        ModeChangeCase{"Auto10To8", 1, 0, true, false, 8, 0, kEndThen334},
        // Mode 11 takes the held intensity as its press: its one step follows the change.
        ModeChangeCase{"Auto10To11BySide",
                       1,
                       0,
                       true,
                       true,
                       1,
                       kSideByte,
                       {"Code \"ENDJOG\"", "DoButton 205", "DoButton 334", "SetDRO 821 100",
                        "Code \"G91G1 F100 X 0.0010\"", "Code \"G90\""}}),
    [](const auto& param) { return std::string(param.param.name); });

// The step path keeps its own five cycles of "ENDJOG" after a velocity jog; the jog itself is
// already over in the cycle of the change.
TEST_F(JogSafety, VelocityToStepJogEndsAtTheChangeAndKeepsTheFiveCycleTail) {
  pendantSettings.AutoMode = false;
  jogAt(2);
  EXPECT_EQ(send(pendantReport(wheel, 60, 1)),
            (Calls{"Code \"ENDJOG\"", "DoButton 334", "Code \"ENDJOG\""}));
  int tail = 1;
  for (int i = 0; i < 8; ++i) {
    const Calls calls = send(pendantReport(wheel, 60, 1));
    tail += static_cast<int>(std::count(calls.begin(), calls.end(), "Code \"ENDJOG\""));
  }
  EXPECT_EQ(tail, 5);
}

// ---- Selecting another axis ------------------------------------------------------------------

// Many Update calls between two reports let the wheel-busy guard run out while the jog runs: the
// SIDE click goes through. The jog on X ends before Y is selected; the new jog runs on Y alone.
TEST_F(JogSafety, AxisChangeWhileJoggingEndsTheJogOnTheOldAxisFirst) {
  jogAt(2);
  test::updateTicks(5);
  send(pendantReport(wheel, 60, 2, kSideByte));  // SIDE down, wheel at rest
  wheel = static_cast<uint8_t>(wheel + 3);
  const Calls release = send(pendantReport(wheel, 60, 2));  // released: a click; wheel turns
  ASSERT_EQ(window->axisIndex, 1);
  ASSERT_GE(release.size(), 3u);
  EXPECT_EQ((Calls{release.begin(), release.begin() + 3}),
            (Calls{"Code \"ENDJOG\"", "DoButton 334", "Code \"DOJOG\""}));
  EXPECT_EQ(record(0).stopByte, 1);
  EXPECT_EQ(record(1).startByte, 1);
  EXPECT_EQ(record(1).stopByte, 0);

  // Every later end marks Y, the axis now jogging, and leaves X stopped.
  for (int i = 0; i < 3; ++i)
    send(pendantReport(wheel, 60, 2));
  EXPECT_EQ(record(1).stopByte, 1);
  EXPECT_EQ(record(0).stopByte, 1);
}

// ---- Pulled out in the middle of a jog -------------------------------------------------------

struct RemovalCase {
  const char* name;
  uint8_t knob;
  bool autoMode;
  Calls atTheRemoval;
};

class RemovalMidJog : public JogSafety, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RemovalMidJog, EndsTheJogRightAfterTheReset) {
  const RemovalCase& c = GetParam();
  pendantSettings.AutoMode = c.autoMode;
  if (c.knob == 1 && !c.autoMode) {
    ASSERT_TRUE(window->discoverDevice());
    send(pendantReport(wheel, 0, 1));
    send(pendantReport(static_cast<uint8_t>(wheel + 2), 0, 1));
  } else {
    jogAt(c.knob);
  }
  fakeHost.take();
  pendant.unplug();
  EXPECT_EQ(fakeHost.take(), c.atTheRemoval);
  if (c.atTheRemoval.size() > 1) {
    EXPECT_EQ(record(0).stopByte, 1);
  }
  // Silent until the pendant speaks again.
  for (int i = 0; i < 5; ++i) {
    window->runReportCycle();
    test::updateTicks(1);
  }
  EXPECT_TRUE(fakeHost.take().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RemovalMidJog,
    ::testing::Values(RemovalCase{"Velocity", 2, false, {"DoButton 1021", "Code \"ENDJOG\""}},
                      RemovalCase{"Delayed", 3, false, {"DoButton 1021", "Code \"ENDJOG\""}},
                      RemovalCase{"Auto", 1, true, {"DoButton 1021", "Code \"ENDJOG\""}},
                      RemovalCase{"StepJogHasNoJogToEnd", 1, false, {"DoButton 1021"}}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- LEDs are one byte -----------------------------------------------------------------------

class LedByte : public JogSafety, public ::testing::WithParamInterface<uint8_t> {};

// Whatever non-zero byte the host answers for "lit", the pendant acts as for 1.
TEST_P(LedByte, AnyNonZeroByteIsLit) {
  const uint8_t lit = GetParam();
  ASSERT_TRUE(window->discoverDevice());
  fakeHost.leds[led::kCycleRunning] = lit;
  fakeHost.leds[led::kReset] = lit;
  fakeHost.leds[led::kFeedHold] = lit;
  fakeHost.leds[led::kJogAllowed] = lit;
  pendant.clearWrittenReports();
  EXPECT_EQ(send(pendantReport(0, 0, 1, kStartCombo)), (Calls{"DoButton 1001", "DoButton 334"}));
  ASSERT_FALSE(pendant.writtenReports().empty());
  EXPECT_EQ(pendant.writtenReports().back()[1], 0x0D);  // LEDs 800, 804, 805; axis X

  // LED 83 lit by the same byte: a step is allowed (804/805 dark again).
  fakeHost.leds[led::kCycleRunning] = 0;
  fakeHost.leds[led::kFeedHold] = 0;
  send(pendantReport(0, 0, 1));
  EXPECT_EQ(send(pendantReport(2, 0, 1)).back(), "Code \"G90\"");
}

INSTANTIATE_TEST_SUITE_P(Answers, LedByte, ::testing::Values(1, 2, 0x80, 0xFF));

// ---- Another device's arrival ----------------------------------------------------------------

TEST_F(JogSafety, AnotherDevicesArrivalKeepsTheWheelReference) {
  ASSERT_TRUE(window->discoverDevice());
  send(pendantReport(10, 0, 1));
  pendant.arriveOther();
  const Calls calls = send(pendantReport(13, 0, 1));
  EXPECT_NE(std::find(calls.begin(), calls.end(), "Code \"G91G1 F100 X 0.0030\""), calls.end());

  // After the pendant's own removal its first report is the reference again, however many
  // other devices arrive before it.
  pendant.unplug();
  pendant.arriveOther();
  pendant.plug();
  pendant.arriveOther();
  fakeHost.take();
  for (const std::string& call : send(pendantReport(90, 0, 1)))
    EXPECT_EQ(call.rfind("Code", 0), std::string::npos) << call;
}

}  // namespace
}  // namespace k4
