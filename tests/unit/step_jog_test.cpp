#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_state.h"
#include "pendant_report.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The jog engine in mode 1, called as wheel decoding calls it.
class StepJogTest : public test::PendantTest {
 protected:
  void SetUp() override {
    pendantSettings.StepJogRate = 100;
    window.jogMode = 1;
    window.axisIndex = 2;  // Z
  }
  void turn(int steps, bool reverse = false) { window.runJogEngine(reverse ? 1 : 0, steps); }
  void still() { turn(0); }
};

TEST_F(StepJogTest, RoadOfOneWheelMovement) {
  // Knob at 1, automatic mode off, Z selected, increment 0.001, step-jog rate 100.
  pendantSettings.AutoMode = false;
  window.axisIndex = 2;
  window.previousAxisIndex = 2;
  fakeHost.dros[818] = 40.0;
  fakeHost.dros[821] = 90.0;
  decode({.wheel = 17, .knob = 1});
  window.buildOutputReport();
  fakeHost.take();  // the first decode announces the mode

  fakeHost.recordReads = true;
  decode({.wheel = 20, .knob = 1});
  EXPECT_THAT(fakeHost.take(),
              ElementsAre("GetLED 804 -> 0", "GetLED 805 -> 0", "GetLED 83 -> 1",
                          "GetDRO 818 -> 40", "GetDRO 821 -> 90", "SetDRO 821 100",
                          "GetDRO 22 -> 0", "Code \"G91G1 F100 Z 0.0030\"", "Code \"G90\""));
  window.buildOutputReport();
  EXPECT_THAT(fakeHost.take(),
              ElementsAre("GetLED 800 -> 0", "GetLED 804 -> 0", "GetLED 805 -> 0"));
  EXPECT_EQ(window.outputReport[1], 0x20);

  fakeHost.recordReads = false;
  for (int tick = 1; tick <= 2; ++tick) {
    test::updateTicks(1);
    decode({.wheel = 20, .knob = 1});
    EXPECT_THAT(fakeHost.take(), IsEmpty()) << "after Update " << tick;
  }
  test::updateTicks(1);
  decode({.wheel = 20, .knob = 1});
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 818 40", "SetDRO 821 90"));
}

TEST_F(StepJogTest, StepLineExamples) {
  turn(3, true);
  EXPECT_THAT(fakeHost.take(),
              ElementsAre("SetDRO 821 100", "Code \"G91G1 F100 Z -0.0030\"", "Code \"G90\""));
  pendantSettings.StepJogRate = 0;
  window.restoreAbsolute = false;
  fakeHost.dros[818] = 25.5;
  turn(3, true);
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"G91G1 F25.5000 Z -0.0030\""));
}

TEST_F(StepJogTest, StillWheelWithNothingHeldMakesNoCall) {
  fakeHost.recordReads = true;
  still();
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(StepJogTest, FullQueueHoldsCountsButStillPreparesTheBurst) {
  fakeHost.dros[22] = 20.0;
  fakeHost.dros[821] = 70.0;
  turn(4);
  turn(3, true);
  turn(6);
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 821 100", "SetDRO 821 100", "SetDRO 821 100"));
  EXPECT_EQ(window.jogBacklog, 7);
  EXPECT_TRUE(window.droRestorePending);
  EXPECT_EQ(window.savedDro821, 70.0);  // saved once, before the override was set
  EXPECT_EQ(droHoldCountdown, 3);
}

struct FlushCase {
  int32_t backlog;
  std::vector<std::vector<std::string>> cycles;  // lines sent on each still cycle
};

class BacklogFlushTest : public StepJogTest, public ::testing::WithParamInterface<FlushCase> {};

TEST_P(BacklogFlushTest, HeldCountsDrainInFivesThenTheRest) {
  window.restoreAbsolute = false;
  window.jogBacklog = GetParam().backlog;
  for (const std::vector<std::string>& lines : GetParam().cycles) {
    still();
    EXPECT_EQ(fakeHost.take(), lines);
  }
  EXPECT_EQ(window.jogBacklog, 0);
  still();
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Backlogs, BacklogFlushTest,
    ::testing::Values(
        FlushCase{-7, {{"Code \"G91G1 F100 Z -0.0050\"", "Code \"G91G1 F100 Z -0.0020\""}}},
        FlushCase{12,
                  {{"Code \"G91G1 F100 Z 0.0050\""},
                   {"Code \"G91G1 F100 Z 0.0050\"", "Code \"G91G1 F100 Z 0.0020\""}}},
        FlushCase{5, {{"Code \"G91G1 F100 Z 0.0050\""}}},
        FlushCase{-10, {{"Code \"G91G1 F100 Z -0.0050\""}, {"Code \"G91G1 F100 Z -0.0050\""}}},
        FlushCase{4, {{"Code \"G91G1 F100 Z 0.0040\""}}}));

TEST_F(StepJogTest, FlushWithoutRateHasNoFeedWordAndWaitsForRoom) {
  pendantSettings.StepJogRate = 0;
  window.jogBacklog = 2;
  fakeHost.dros[22] = 25.0;
  still();
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  fakeHost.dros[22] = 3.0;
  still();
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"G91G1 Z 0.0020\"", "Code \"G90\""));
}

TEST_F(StepJogTest, HostBusyDropsTheCounts) {
  fakeHost.leds[805] = true;
  turn(3);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  fakeHost.leds[805] = false;
  fakeHost.leds[83] = false;
  turn(3);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  EXPECT_EQ(fakeHost.statusLine(), " Jog OFF. ");
  EXPECT_EQ(window.jogBacklog, 0);
  EXPECT_FALSE(window.droRestorePending);
}

struct RotatedCase {
  int32_t axis;
  double increment;
  int steps;
  bool reverse;
  std::vector<std::string> calls;
};

class RotatedStepTest : public StepJogTest, public ::testing::WithParamInterface<RotatedCase> {};

TEST_P(RotatedStepTest, XyStepsAreTurnedIntoTheRotatedPlane) {
  const RotatedCase& c = GetParam();
  fakeHost.setup.rotationAngle = 30.0;
  fakeHost.planner.stepIncrement = c.increment;
  window.axisIndex = c.axis;
  window.restoreAbsolute = false;
  turn(c.steps, c.reverse);
  EXPECT_EQ(fakeHost.take(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Angle30, RotatedStepTest,
    ::testing::Values(RotatedCase{0, 0.01, 1, false, {"Code \"G91G1 X0.0087 Y-0.0050 \""}},
                      RotatedCase{1, 0.001, 2, true, {"Code \"G91G1 X-0.0010 Y-0.0017 \""}},
                      // Other axes are not in the plane: a normal step line.
                      RotatedCase{
                          2, 0.001, 1, false, {"SetDRO 821 100", "Code \"G91G1 F100 Z 0.0010\""}}));

TEST_F(StepJogTest, RotatedStepIsDroppedWhenTheQueueIsFull) {
  fakeHost.setup.rotationAngle = 30.0;
  fakeHost.dros[22] = 20.0;
  window.axisIndex = 0;
  turn(2);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  EXPECT_EQ(window.jogBacklog, 0);
  EXPECT_FALSE(window.droRestorePending);
}

TEST_F(StepJogTest, LeavingAVelocityJogEndsItUntilTheHoldRunsOut) {
  window.continuousJogActive = true;
  window.jogHoldTicks = 2;
  window.restoreAbsolute = false;
  // Report cycles count the hold down before decoding.
  for (int cycle = 0; cycle < 3; ++cycle) {
    window.runReportCycle();
    turn(1);
  }
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"ENDJOG\"", "Code \"ENDJOG\"", "SetDRO 821 100",
                                           "Code \"G91G1 F100 Z 0.0010\"", "SetDRO 821 100",
                                           "Code \"G91G1 F100 Z 0.0010\""));
  EXPECT_FALSE(window.continuousJogActive);
  EXPECT_EQ(fakeHost.engine.axisJog[2].stopByte, 1);
}

TEST_F(StepJogTest, InhibitClearsTheBacklogAndPaysTheOwedCodeOnce) {
  fakeHost.engine.jogInhibit = 1;
  window.jogBacklog = 9;
  window.jogStartChecked = true;
  window.restore205Owed = true;
  turn(3);
  turn(3);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 205"));
  EXPECT_EQ(window.jogBacklog, 0);
  EXPECT_FALSE(window.jogStartChecked);
}

TEST_F(StepJogTest, ModesOutsideTheTableDoNothing) {
  fakeHost.recordReads = true;
  for (int32_t mode : {0, 12, -1, 1000}) {
    window.jogMode = mode;
    window.jogBacklog = 3;
    turn(4);
    still();
  }
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

}  // namespace
}  // namespace k4
