#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "host/plugin_state.h"
#include "pendant_timeline.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using test::reportWord;
using Calls = std::vector<std::string>;

const std::string kDoJog = "Code \"DOJOG\"";
const std::string kEndJog = "Code \"ENDJOG\"";
constexpr int kAxisZ = 2;

class VelocityJog : public ::testing::Test {
 protected:
  explicit VelocityJog(int mode = 2) : t(mode) {
    t.window.axisIndex = kAxisZ;
    t.host.planner.fullJogSpeed[kAxisZ] = 1000;
    t.host.planner.companionWord[kAxisZ] = 0xC0FFEEu;
    pendantSettings.Vel = 5;  // divisor 9
    pendantSettings.VelocityInAuto = 5;
    pendantSettings.SlowDownRate = 2;    // divisor 4
    pendantSettings.AutoChangeSens = 3;  // threshold 4
  }
  const AxisJogRecord& record() const { return t.host.engine.axisJog[kAxisZ]; }
  // n cycles at the same intensity and wheel speed; returns the calls they made.
  Calls run(int n, int intensity, int steps = 1, int reverse = 0, bool side = false) {
    for (int i = 0; i < n; ++i)
      t.cycle(reportWord(intensity, false, side), reverse, steps);
    return t.host.take();
  }
  static Calls repeated(const std::string& call, int n) { return Calls(n, call); }

  test::PendantTimeline t;
};

class AutoModeJog : public VelocityJog {
 protected:
  AutoModeJog() : VelocityJog(10) {}
};

// ---- Speed law ----------------------------------------------------------------------------------

struct SpeedCase {
  int mode;
  int16_t velocityPosition;
  bool side;
  int intensity;
  int32_t expectedSpeed;
};

class SpeedLaw : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedLaw, TenSteadySamplesGiveTheStatedFractionOfFullSpeed) {
  const SpeedCase& c = GetParam();
  test::PendantTimeline t(c.mode);
  t.window.axisIndex = kAxisZ;
  t.host.planner.fullJogSpeed[kAxisZ] = 1000;
  pendantSettings.Vel = c.velocityPosition;
  pendantSettings.VelocityInAuto = c.velocityPosition;
  pendantSettings.SlowDownRate = 2;
  pendantSettings.AutoChangeSens = 0;  // mode 10: threshold 1, so one count a cycle is velocity
  for (int i = 0; i < 10; ++i)
    t.cycle(reportWord(c.intensity, false, c.side), 0, 1);
  EXPECT_EQ(t.host.take(), Calls(10, kDoJog));
  EXPECT_EQ(t.host.engine.axisJog[kAxisZ].jogSpeed, c.expectedSpeed);
  EXPECT_LE(t.window.speedRatio, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpeedLaw,
    ::testing::Values(SpeedCase{2, 5, false, 40, 333},     // V 9: a third
                      SpeedCase{2, 0, false, 40, 1000},    // V 3: exactly the cap
                      SpeedCase{2, 0, true, 40, 250},      // V 3, SIDE at divisor 4: a quarter
                      SpeedCase{2, 5, true, 40, 83},       // a quarter of a third, truncated
                      SpeedCase{2, 0, false, 255, 1000},   // far above the cap
                      SpeedCase{2, 9, false, 40, 120},     // V 25
                      SpeedCase{10, 5, false, 40, 333},    // auto mode uses VelocityInAuto
                      SpeedCase{10, 0, true, 40, 1000}));  // and ignores SIDE

TEST_F(VelocityJog, SpeedFollowsTheWeightedHistoryFromTheFirstSample) {
  pendantSettings.Vel = 0;  // V 3
  run(1, 40);
  // Only the newest weight, 1.82, has a sample yet: 72.8 / 400 of full speed.
  EXPECT_EQ(record().jogSpeed, 182);
  run(1, 40);
  EXPECT_EQ(record().jogSpeed, 182 + 164);
}

TEST_F(VelocityJog, RecordIsCompleteBeforeEachCommandReachesTheHost) {
  static std::vector<AxisJogRecord> seen;
  seen.clear();
  host.callbacks.Code = [](const char*) {
    seen.push_back(test::FakeHost::current->engine.axisJog[kAxisZ]);
  };
  t.host.engine.axisJog[kAxisZ].direction = 7;
  run(1, 40, 1, 1);  // reverse: the direction is written as 1
  run(2, 40, 0, 1);  // the wheel stops: the second still cycle ends the jog
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].direction, 1);
  EXPECT_EQ(seen[0].fullSpeed, 1000);
  EXPECT_EQ(seen[0].companionWord, 0xC0FFEEu);
  EXPECT_EQ(seen[0].stopByte, 0);
  EXPECT_EQ(seen[0].startByte, 1);
  EXPECT_EQ(seen[2].stopByte, 1);
}

// ---- Ending, pausing and reversing
// ----------------------------------------------------------------

TEST_F(VelocityJog, JogEndsWhenTheWheelHasBeenStillForTwoCycles) {
  EXPECT_EQ(run(3, 40), repeated(kDoJog, 3));
  EXPECT_EQ(run(1, 40, 0), Calls{kDoJog});  // the other ring slot still holds a movement
  EXPECT_EQ(run(1, 40, 0), Calls{kEndJog});
  EXPECT_EQ(record().stopByte, 1);
  EXPECT_EQ(run(1, 40, 2), Calls{kDoJog});
}

TEST_F(VelocityJog, ReversalEndsTheJogOnceThenHoldsOffForThreeUpdates) {
  run(4, 40);
  EXPECT_EQ(run(1, 40, 1, 1), Calls{kEndJog});
  EXPECT_EQ(record().stopByte, 1);
  for (double sample : t.window.rateHistory)
    EXPECT_EQ(sample, 0.0);
  EXPECT_EQ(run(3, 40, 1, 1), Calls{});
  test::updateTicks(2);
  EXPECT_EQ(run(1, 40, 1, 1), Calls{});
  test::updateTicks(1);
  EXPECT_EQ(run(1, 40, 1, 1), Calls{kDoJog});
  EXPECT_EQ(record().direction, 1);
  EXPECT_EQ(record().jogSpeed, 60);  // 40 × 1.82 / 400 × 3 / 9: the history starts afresh
}

TEST_F(VelocityJog, IntensityDropEndsTheJogAndThePauseClearsTheHistory) {
  run(5, 40);
  EXPECT_EQ(run(1, 0), Calls{kEndJog});
  EXPECT_EQ(run(1, 0), Calls{kEndJog});  // the pause has not run out: still evaluated
  test::updateTicks(3);
  EXPECT_EQ(run(3, 0), Calls{});
  for (double sample : t.window.rateHistory)
    EXPECT_EQ(sample, 0.0);
  EXPECT_EQ(t.window.jogIntensity, 0);
}

TEST_F(VelocityJog, JogOffShowsTheMessageAndLeavesTheRecordAlone) {
  t.host.leds[led::kJogAllowed] = false;
  EXPECT_EQ(run(3, 40), Calls{});
  EXPECT_EQ(t.host.statusLine(), " Jog OFF. ");
  EXPECT_EQ(t.host.planner.statusAssignments, 3u);
  EXPECT_EQ(record().startByte, 0);
}

TEST_F(VelocityJog, BusyHostGetsNoJogCommands) {
  t.host.engine.queueWordA = 1;
  EXPECT_EQ(run(2, 40), Calls{});
  t.host.engine.queueWordA = 0;
  t.host.leds[led::kFeedHold] = true;
  EXPECT_EQ(run(2, 40), Calls{});
  t.host.leds[led::kFeedHold] = false;
  EXPECT_EQ(run(1, 40), Calls{kDoJog});
}

// ---- The jog-start action -----------------------------------------------------------------------

TEST_F(VelocityJog, StartActionRunsAtTheStartAndItsEndOnceThePauseIsOver) {
  t.host.leds[led::kJogStartBracket] = true;
  EXPECT_EQ(run(1, 40), (Calls{"DoButton 204", kDoJog}));
  EXPECT_EQ(run(3, 40), repeated(kDoJog, 3));
  EXPECT_EQ(run(1, 0), Calls{kEndJog});
  test::updateTicks(3);
  EXPECT_EQ(run(1, 0), Calls{"DoButton 205"});
  EXPECT_EQ(run(3, 0), Calls{});
  EXPECT_EQ(run(1, 40), (Calls{"DoButton 204", kDoJog}));
}

TEST_F(VelocityJog, StartActionIsNotOwedWhenItsLedWasDark) {
  run(2, 40);
  t.host.leds[led::kJogStartBracket] = true;  // lit after the start: the start was checked
  run(1, 0);
  test::updateTicks(3);
  EXPECT_EQ(run(2, 0), Calls{});
}

TEST_F(AutoModeJog, StartActionEndsWithTheJogInAutoMode) {
  t.host.leds[led::kJogStartBracket] = true;
  EXPECT_EQ(run(1, 40, 5), (Calls{"DoButton 204", kDoJog}));
  EXPECT_EQ(run(1, 0, 5), (Calls{kEndJog, "DoButton 205"}));
}

// ---- Automatic mode ---------------------------------------------------------------------------

TEST_F(AutoModeJog, FastWheelSwitchesToVelocityUntilTheIntensityDrops) {
  // Below the threshold of 4 the step jog runs: no continuous jog is started.
  run(3, 40, 3);
  EXPECT_FALSE(t.window.autoContinuous);
  EXPECT_FALSE(t.window.continuousJogActive);
  EXPECT_EQ(record().startByte, 0);

  EXPECT_EQ(run(1, 40, 4), Calls{kDoJog});
  EXPECT_TRUE(t.window.autoContinuous);
  // Slow turning now stays in velocity.
  EXPECT_EQ(run(4, 40, 1), repeated(kDoJog, 4));
  EXPECT_EQ(run(1, 0, 1), Calls{kEndJog});
  EXPECT_FALSE(t.window.autoContinuous);
  // Left for the step path, which must still end the jog on the coming cycles.
  EXPECT_TRUE(t.window.continuousJogActive);
  EXPECT_EQ(t.window.jogHoldTicks, 5);

  // Back below the threshold: the step branch runs, so no jog is started again.
  const Calls stepped = run(1, 40, 3);
  for (const std::string& call : stepped)
    EXPECT_NE(call, kDoJog);
  EXPECT_FALSE(t.window.autoContinuous);
}

}  // namespace
}  // namespace k4
