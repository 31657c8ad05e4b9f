#include <gtest/gtest.h>

#include "host/plugin_state.h"
#include "pendant_report.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WheelTest : public test::PendantTest {
 protected:
  void SetUp() override { window.jogMode = 0; }  // no engine mode: only the decoding is seen
  void wheelAt(uint8_t count) {
    present({.wheel = count});
    window.decodeWheel();
  }
};

struct TurnCase {
  uint8_t from;
  uint8_t to;
  int32_t steps;
  int32_t reverse;
};

class WheelTurnTest : public WheelTest, public ::testing::WithParamInterface<TurnCase> {};

TEST_P(WheelTurnTest, ChangeIsReadTheShorterWayRound) {
  const TurnCase& c = GetParam();
  wheelAt(c.from);
  window.wheelReverse = 1 - c.reverse;  // so the case proves the direction is written
  wheelBusyCountdown = 0;
  wheelAt(c.to);
  EXPECT_EQ(window.wheelSteps, c.steps);
  EXPECT_EQ(window.wheelReverse, c.reverse);
  EXPECT_EQ(wheelBusyCountdown, 5);
  EXPECT_EQ(window.lastWheelCount, c.to);
}

INSTANTIATE_TEST_SUITE_P(Turns, WheelTurnTest,
                         ::testing::Values(TurnCase{0, 3, 3, 0}, TurnCase{3, 0, 3, 1},
                                           TurnCase{250, 3, 9, 0}, TurnCase{3, 250, 9, 1},
                                           TurnCase{0, 127, 127, 0}, TurnCase{127, 0, 127, 1},
                                           TurnCase{200, 73, 127, 1}, TurnCase{73, 200, 127, 0},
                                           TurnCase{255, 0, 1, 0}, TurnCase{0, 255, 1, 1}));

TEST_F(WheelTest, StillWheelKeepsTheLastDirection) {
  wheelAt(10);
  wheelAt(7);
  wheelAt(7);
  EXPECT_EQ(window.wheelSteps, 0);
  EXPECT_EQ(window.wheelReverse, 1);
}

TEST_F(WheelTest, HalfTurnJumpIsNoMovement) {
  for (const auto& [from, to] : {std::pair{0, 128}, std::pair{128, 0}, std::pair{200, 72}}) {
    wheelAt(static_cast<uint8_t>(from));
    wheelAt(static_cast<uint8_t>(from + 5));  // a movement the jump must not repeat
    wheelBusyCountdown = 0;
    wheelAt(static_cast<uint8_t>(from + 5 + (to - from)));
    EXPECT_EQ(window.wheelSteps, 0);
    EXPECT_EQ(window.wheelReverse, 0);
    EXPECT_EQ(wheelBusyCountdown, 0);
    // Counting goes on from where the wheel now stands.
    wheelAt(static_cast<uint8_t>(from + 5 + (to - from) + 2));
    EXPECT_EQ(window.wheelSteps, 2);
  }
}

TEST_F(WheelTest, FirstReportIsTheReferenceNotAMovement) {
  wheelAt(200);
  EXPECT_EQ(window.wheelSteps, 0);
  EXPECT_EQ(wheelBusyCountdown, 0);
  wheelAt(203);
  EXPECT_EQ(window.wheelSteps, 3);
}

TEST_F(WheelTest, EngineRunsEveryCycleWithTheDecodedMovement) {
  window.jogMode = 1;
  pendantSettings.StepJogRate = 100;
  wheelAt(0);
  window.jogBacklog = 3;  // held counts go out on the still cycle
  wheelAt(0);
  EXPECT_THAT(fakeHost.take(), ElementsAre("Code \"G91G1 F100 X 0.0030\"", "Code \"G90\""));
}

class DroRestoreTest : public WheelTest {
 protected:
  void SetUp() override {
    WheelTest::SetUp();
    wheelAt(0);
    window.savedDro818 = 25.5;
    window.savedDro821 = 80.0;
    window.droRestorePending = true;
    droHoldCountdown = 2;
  }
};

TEST_F(DroRestoreTest, WaitsForTheHoldToRunOutThenRestoresBoth) {
  pendantSettings.StepJogRate = 100;
  wheelAt(0);
  test::updateTicks(1);
  wheelAt(0);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  test::updateTicks(1);
  wheelAt(0);
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 818 25.5", "SetDRO 821 80"));
  wheelAt(0);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(DroRestoreTest, WithoutAStepJogRateOnlyTheFeedIsRestored) {
  pendantSettings.StepJogRate = 0;
  test::updateTicks(2);
  wheelAt(0);
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 818 25.5"));
}

}  // namespace
}  // namespace k4
