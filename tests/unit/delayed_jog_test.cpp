#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
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
constexpr int kAxisX = 0;

class DelayedJog : public ::testing::Test {
 protected:
  DelayedJog() : t(3) {
    t.window.axisIndex = kAxisX;
    t.host.planner.fullJogSpeed[kAxisX] = 1000;
    t.host.dros[dro::kSpeedPercent] = 50.0;
    pendantSettings.DelaySteps = 25;
  }
  const AxisJogRecord& record() const { return t.host.engine.axisJog[kAxisX]; }
  Calls run(int n, int intensity, int steps, int reverse = 0) {
    for (int i = 0; i < n; ++i)
      t.cycle(reportWord(intensity), reverse, steps);
    return t.host.take();
  }

  test::PendantTimeline t;
};

TEST_F(DelayedJog, StartsOnlyOnceTheDelayHasBeenTurnedWithIntensityHeld) {
  EXPECT_EQ(run(4, 0, 10), Calls{});  // turning without intensity counts for nothing
  EXPECT_EQ(t.window.delayCount, 0);
  EXPECT_EQ(run(4, 40, 6), Calls{});        // 24 counts
  EXPECT_EQ(run(1, 40, 1), Calls{kDoJog});  // the 25th
  EXPECT_EQ(record().jogSpeed, 500);        // DRO 3 at 50 percent
  EXPECT_EQ(record().startByte, 1);
  EXPECT_EQ(run(2, 40, 1), (Calls{kDoJog, kDoJog}));
  // Mode 3 leaves no jog for the step path to end.
  EXPECT_FALSE(t.window.continuousJogActive);
}

TEST_F(DelayedJog, LongJogRestartsItsCountAndKeepsRunning) {
  run(1, 40, 25);
  t.window.delayCount = 30000;
  EXPECT_EQ(run(1, 40, 5), Calls{kDoJog});
  EXPECT_EQ(t.window.delayCount, 400);
  EXPECT_EQ(run(1, 40, 5), Calls{kDoJog});
  EXPECT_EQ(t.window.delayCount, 405);
}

TEST_F(DelayedJog, CountNeverWrapsWhenTheDelayIsFarAboveTheRestart) {
  pendantSettings.DelaySteps = std::numeric_limits<int32_t>::max();
  t.window.delayCount = std::numeric_limits<int32_t>::max() - 2;
  // The count stops at its largest value, which reaches the delay: the jog starts and the count
  // restarts instead of turning negative.
  EXPECT_EQ(run(1, 40, 100), Calls{kDoJog});
  EXPECT_EQ(t.window.delayCount, 400);
}

TEST_F(DelayedJog, PauseRestartsTheDelayAndEndsTheStartAction) {
  t.host.leds[led::kJogStartBracket] = true;
  EXPECT_EQ(run(1, 40, 30), (Calls{"DoButton 204", kDoJog}));
  EXPECT_EQ(run(1, 0, 1), Calls{kEndJog});
  test::updateTicks(3);
  EXPECT_EQ(run(1, 0, 1), Calls{"DoButton 205"});
  EXPECT_EQ(t.window.delayCount, 0);
  EXPECT_EQ(run(2, 40, 10), Calls{});  // the delay has to be turned again
}

TEST_F(DelayedJog, ReversalEndsTheJogAndRestartsTheDelay) {
  run(2, 40, 20);
  EXPECT_EQ(run(1, 40, 20, 1), Calls{kEndJog});
  EXPECT_EQ(record().stopByte, 1);
  EXPECT_EQ(t.window.delayCount, 0);
  EXPECT_EQ(run(1, 40, 30, 1), Calls{});  // held off
  test::updateTicks(3);
  EXPECT_EQ(run(1, 40, 30, 1), Calls{kDoJog});
  EXPECT_EQ(record().direction, 1);
}

TEST_F(DelayedJog, JogOffStillCountsTheDelay) {
  t.host.leds[led::kJogAllowed] = false;
  EXPECT_EQ(run(2, 40, 20), Calls{});
  EXPECT_EQ(t.host.statusLine(), " Jog OFF. ");
  t.host.leds[led::kJogAllowed] = true;
  EXPECT_EQ(run(1, 40, 1), Calls{kDoJog});
}

// DRO 3 comes straight from the host: whatever it holds, the record gets a defined speed.
struct PercentCase {
  double percent;
  int32_t expectedSpeed;
};

class DelayedJogPercent : public DelayedJog, public ::testing::WithParamInterface<PercentCase> {};

TEST_P(DelayedJogPercent, RecordSpeedStaysDefined) {
  t.host.dros[dro::kSpeedPercent] = GetParam().percent;
  EXPECT_EQ(run(1, 40, 25), Calls{kDoJog});
  EXPECT_EQ(record().jogSpeed, GetParam().expectedSpeed);
}

INSTANTIATE_TEST_SUITE_P(Cases, DelayedJogPercent,
                         ::testing::Values(PercentCase{100.0, 1000}, PercentCase{0.1, 1},
                                           PercentCase{33.33, 333}, PercentCase{-12.5, -125},
                                           PercentCase{std::numeric_limits<double>::quiet_NaN(), 0},
                                           PercentCase{1e300, std::numeric_limits<int32_t>::max()},
                                           PercentCase{-std::numeric_limits<double>::infinity(),
                                                       std::numeric_limits<int32_t>::min()}));

}  // namespace
}  // namespace k4
