#include <gtest/gtest.h>

#include "host/plugin_state.h"
#include "pendant_report.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Mode 11: the jog key (the intensity byte) steps once per press.
class SingleStepTest : public test::PendantTest {
 protected:
  void SetUp() override {
    pendantSettings.StepJogRate = 100;
    window.jogMode = 11;
    window.axisIndex = 2;
    window.restoreAbsolute = false;
  }
  // One report cycle in which the key reads `intensity`; the wheel is still.
  void cycle(uint8_t intensity, bool reverse = false) {
    present({.intensity = intensity});
    window.runJogEngine(reverse ? 1 : 0, 0);
  }
};

TEST_F(SingleStepTest, KeyHeldForManyCyclesStepsOnce) {
  for (int i = 0; i < 20; ++i) {
    cycle(60);
    if (i % 3 == 0)
      test::updateTicks(1);
  }
  EXPECT_THAT(fakeHost.take(), testing::Contains("Code \"G91G1 F100 Z 0.0010\"").Times(1));
  EXPECT_EQ(droHoldCountdown, 3);  // held on every evaluated cycle
}

TEST_F(SingleStepTest, SecondStepNeedsAReleaseSeenOnAnEvaluatedCycle) {
  pendantSettings.StepJogRate = 0;
  cycle(10);
  cycle(0, true);  // released; the pause countdown still runs, so the release is seen
  cycle(10, true);
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"G91G1 Z 0.0010\"", "Code \"G91G1 Z -0.0010\""));

  // A release that falls entirely after the countdown ran out is never evaluated.
  cycle(0);
  test::updateTicks(3);
  cycle(0);
  cycle(10);
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"G91G1 Z 0.0010\""));
  cycle(10);
  test::updateTicks(3);
  cycle(0);
  cycle(10);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(SingleStepTest, JogOffIsShownOnEveryPressedCycle) {
  fakeHost.leds[83] = false;
  for (int i = 0; i < 3; ++i) {
    fakeHost.planner.statusLine[0] = '\0';
    cycle(5);
    EXPECT_EQ(fakeHost.statusLine(), " Jog OFF. ");
  }
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  EXPECT_EQ(fakeHost.planner.statusAssignments, 3u);
}

TEST_F(SingleStepTest, QuietKeyClearsTheRateHistoryOnceThePauseIsOver) {
  window.rateHistory[9] = 40.0;
  cycle(0);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  EXPECT_EQ(window.rateHistory[9], 0.0);
}

TEST_F(SingleStepTest, RotatedPlaneTurnsXyStepsAndSavesNoDros) {
  fakeHost.setup.rotationAngle = 30.0;
  fakeHost.planner.stepIncrement = 0.01;
  window.axisIndex = 0;
  cycle(8);
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"G91G1 X0.0087 Y-0.0050 \""));
  EXPECT_FALSE(window.droRestorePending);
}

TEST_F(SingleStepTest, FullQueueDropsTheStepButHoldsTheDros) {
  fakeHost.dros[22] = 20.0;
  cycle(8);
  fakeHost.dros[22] = 0.0;
  cycle(8);
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 821 100", "SetDRO 821 100"));
  EXPECT_TRUE(window.droRestorePending);
  EXPECT_EQ(window.jogBacklog, 0);
}

}  // namespace
}  // namespace k4
