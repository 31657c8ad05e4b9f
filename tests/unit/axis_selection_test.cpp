#include <gtest/gtest.h>

#include "host/plugin_state.h"
#include "pendant_report.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class AxisSelectionTest : public test::PendantTest {
 protected:
  void buttons(bool side, bool stop = false) {
    present({.stop = stop, .side = side});
    window.decodeAxisSelection();
  }
  void sideClick(int heldTicks = 1, int pauseTicks = 10) {
    buttons(true);
    test::updateTicks(heldTicks);
    buttons(false);
    test::updateTicks(pauseTicks);
  }
  // Decodes an idle report after each of `ticks` Update ticks, as the report cycle does.
  void idle(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      test::updateTicks(1);
      buttons(false);
    }
  }
};

TEST_F(AxisSelectionTest, StartUpSettingsStepThroughXyzWithTheOldAxisCode) {
  for (int32_t expected : {1, 2, 0}) {
    const int32_t old = window.axisIndex;
    sideClick();
    EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton " + std::to_string(334 + old)));
    EXPECT_EQ(window.axisIndex, expected);
  }
}

TEST_F(AxisSelectionTest, HoldChangesNoAxis) {
  sideClick(5);
  EXPECT_EQ(window.axisIndex, 0);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(AxisSelectionTest, ChangeClearsTheBacklogOfTheOldAxis) {
  window.axisIndex = 2;
  window.previousAxisIndex = 2;
  window.jogBacklog = 7;
  sideClick();
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 336"));
  EXPECT_EQ(window.axisIndex, 0);
  EXPECT_EQ(window.jogBacklog, 0);
}

TEST_F(AxisSelectionTest, ClickWhileTheWheelIsBusyIsDroppedNotDeferred) {
  wheelBusyCountdown = 3;
  buttons(true);
  test::updateTicks(1);
  buttons(false);
  EXPECT_EQ(window.axisIndex, 0);
  idle(10);
  EXPECT_EQ(wheelBusyCountdown, 0);
  EXPECT_EQ(window.axisIndex, 0);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(AxisSelectionTest, SideIsHeardAgainSixTicksAfterStop) {
  buttons(false, true);  // STOP down closes the gate
  buttons(true, true);   // SIDE clicked while STOP is held
  buttons(false, false);
  EXPECT_EQ(window.axisIndex, 0);
  test::updateTicks(5);
  sideClick();  // pressed 5 ticks after STOP: still within the gate
  EXPECT_EQ(window.axisIndex, 0);
  sideClick();
  EXPECT_EQ(window.axisIndex, 1);
}

TEST_F(AxisSelectionTest, StyleTwoSingleClickStepsForwardFourTicksAfterRelease) {
  pendantSettings.AxisXYZSelection = 1;
  pendantSettings.AxisASelection = 1;
  for (int32_t expected : {1, 2, 3, 0}) {
    buttons(true);
    test::updateTicks(1);
    buttons(false);
    idle(3);
    EXPECT_NE(window.axisIndex, expected);
    idle(1);
    EXPECT_EQ(window.axisIndex, expected);
    idle(5);
  }
}

TEST_F(AxisSelectionTest, StyleTwoDoubleClickStepsBack) {
  pendantSettings.AxisXYZSelection = 1;
  pendantSettings.AxisASelection = 1;
  buttons(true);
  test::updateTicks(1);
  buttons(false);
  idle(2);
  buttons(true);
  test::updateTicks(1);
  buttons(false);
  EXPECT_EQ(window.axisIndex, 3);
  idle(10);  // and no forward step follows
  EXPECT_EQ(window.axisIndex, 3);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 334"));
}

struct OrderCase {
  bool a, b, c;
  int32_t from;
  bool forward;
  int32_t to;
};

class AxisOrderTest : public AxisSelectionTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(AxisOrderTest, StepsToTheNextIncludedAxis) {
  const OrderCase& c = GetParam();
  pendantSettings.AxisASelection = c.a ? 1 : 0;
  pendantSettings.AxisBSelection = c.b ? 1 : 0;
  pendantSettings.AxisCSelection = c.c ? 1 : 0;
  window.axisIndex = c.from;
  (c.forward ? window.axisStepForward : window.axisStepBack) = 1;
  buttons(false);
  EXPECT_EQ(window.axisIndex, c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Inclusion, AxisOrderTest,
    ::testing::Values(
        // Only B.
        OrderCase{false, true, false, 2, true, 4}, OrderCase{false, true, false, 4, true, 0},
        OrderCase{false, true, false, 4, false, 2}, OrderCase{false, true, false, 0, false, 4},
        // Only C.
        OrderCase{false, false, true, 5, false, 2}, OrderCase{false, false, true, 0, false, 5},
        OrderCase{false, false, true, 2, true, 5},
        // A selected but no longer included.
        OrderCase{false, false, false, 3, true, 0}, OrderCase{false, false, false, 3, false, 2},
        // All included, and none.
        OrderCase{true, true, true, 3, true, 4}, OrderCase{true, true, true, 0, false, 5},
        OrderCase{false, false, false, 0, false, 2}, OrderCase{false, false, false, 1, false, 0}));

class TabScreenTest : public AxisSelectionTest {
 protected:
  void stopClick(int heldTicks = 1) {
    buttons(false, true);
    test::updateTicks(heldTicks);
    buttons(false, false);
  }
};

TEST_F(TabScreenTest, SingleStopClickFiresExactlyFourTicksAfterRelease) {
  stopClick();
  idle(3);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  idle(1);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 323"));
  idle(20);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(TabScreenTest, ButtonModesSuppressTheCode) {
  for (int32_t mode : {7, 8, 9}) {
    window.jogMode = mode;
    stopClick();
    idle(10);
    EXPECT_THAT(fakeHost.take(), IsEmpty()) << "mode " << mode;
  }
  window.jogMode = 10;
  stopClick();
  idle(10);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 323"));
}

TEST_F(TabScreenTest, LongPressDoesNothing) {
  stopClick(5);
  idle(10);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(TabScreenTest, QuickDoubleClickDoesNotToggle) {
  stopClick();
  idle(3);
  stopClick();
  idle(10);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

}  // namespace
}  // namespace k4
