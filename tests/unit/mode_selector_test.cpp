#include <gtest/gtest.h>

#include "host/plugin_state.h"
#include "pendant_report.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct KnobCase {
  uint8_t knob;
  bool side;
  bool autoMode;
  bool singleMode;
  int32_t mode;
};

class KnobTableTest : public test::PendantTest, public ::testing::WithParamInterface<KnobCase> {};

TEST_P(KnobTableTest, KnobSideAndSettingsGiveTheMode) {
  const KnobCase& c = GetParam();
  pendantSettings.AutoMode = c.autoMode;
  pendantSettings.SingleMode = c.singleMode;
  window.axisIndex = 3;
  present({.side = c.side, .knob = c.knob});
  window.decodeMode();
  EXPECT_EQ(window.jogMode, c.mode);
  EXPECT_EQ(window.modifierHeld, c.side);
  // The first decode always finds a change of mode.
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 337"));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KnobTableTest,
    ::testing::Values(KnobCase{1, false, false, false, 1}, KnobCase{1, false, true, false, 10},
                      KnobCase{1, true, false, false, 11}, KnobCase{1, true, false, true, 2},
                      KnobCase{2, false, true, true, 2}, KnobCase{2, true, false, false, 2},
                      KnobCase{3, false, false, false, 3}, KnobCase{3, true, false, false, 4},
                      KnobCase{4, false, false, false, 4}, KnobCase{4, true, false, false, 4},
                      KnobCase{5, true, false, false, 5}, KnobCase{7, true, false, false, 7},
                      KnobCase{9, true, false, false, 9},
                      // Between positions: the mode stays as constructed.
                      KnobCase{0, false, true, false, 1}, KnobCase{12, true, true, true, 1}));

class ModeSelectorTest : public test::PendantTest {
 protected:
  void decodeKnob(uint8_t knob, bool side = false) {
    present({.side = side, .knob = knob});
    window.decodeMode();
  }
};

TEST_F(ModeSelectorTest, ChangeOfModeSendsTheCurrentAxisCodeOnce) {
  window.axisIndex = 2;
  decodeKnob(1);
  fakeHost.take();
  decodeKnob(2);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 336"));
  decodeKnob(2);
  decodeKnob(2);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(ModeSelectorTest, KnobBetweenPositionsKeepsTheModeQuietly) {
  decodeKnob(5);
  fakeHost.take();
  decodeKnob(0);
  decodeKnob(12);
  EXPECT_EQ(window.jogMode, 5);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

// STOP clicks at knob position 1, timed in Update ticks.
class StepSizeTest : public ModeSelectorTest {
 protected:
  void SetUp() override {
    pendantSettings.StepSize1 = 1;  // 0.0001
    pendantSettings.StepSize2 = 2;  // 0.001
    pendantSettings.StepSize3 = 3;  // 0.01
    decodeKnob(1);
    fakeHost.take();
  }
  void stop(bool down, bool side = false) {
    present({.stop = down, .side = side, .knob = 1});
    window.decodeMode();
  }
  // A press of `heldTicks`, then `pauseTicks` before whatever comes next.
  void click(int heldTicks = 1, int pauseTicks = 2) {
    stop(true);
    test::updateTicks(heldTicks);
    stop(false);
    test::updateTicks(pauseTicks);
  }
  void doubleClick() {
    click();
    click(1, 10);
  }
};

TEST_F(StepSizeTest, DoubleClicksCycleThroughTheConfiguredSizes) {
  for (const char* written :
       {"SetDRO 828 0.001", "SetDRO 828 0.01", "SetDRO 828 0.0001", "SetDRO 828 0.001"}) {
    doubleClick();
    EXPECT_THAT(fakeHost.take(), ElementsAre(written));
  }
  EXPECT_EQ(window.stepSlot, 2);
}

TEST_F(StepSizeTest, SlotWithoutASizeIsSkipped) {
  pendantSettings.StepSize2 = 0;
  doubleClick();
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 828 0.01"));
  EXPECT_EQ(window.stepSlot, 3);
}

TEST_F(StepSizeTest, OnlyOneConfiguredSizeWritesNothing) {
  pendantSettings.StepSize2 = 0;
  pendantSettings.StepSize3 = 0;
  doubleClick();
  EXPECT_THAT(fakeHost.take(), IsEmpty());
  EXPECT_EQ(window.stepSlot, 1);
}

TEST_F(StepSizeTest, ThreeQuickClicksAdvanceTwice) {
  click();
  click();
  click(1, 10);
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 828 0.001", "SetDRO 828 0.01"));
}

TEST_F(StepSizeTest, HoldThenClickDoesNotAdvance) {
  click(5, 2);
  click(1, 10);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(StepSizeTest, SecondPressFiveTicksAfterTheFirstIsAFirstClickAgain) {
  click(1, 5);
  click(1, 10);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(StepSizeTest, StopWithSideIsNotAStepSizeClick) {
  for (int i = 0; i < 3; ++i) {
    stop(true, true);
    test::updateTicks(1);
    stop(false);
    test::updateTicks(1);
  }
  EXPECT_EQ(window.stepSlot, 1);
  // SIDE held at knob 1 is another mode; coming back costs one mode code each way.
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 334", "DoButton 334", "DoButton 334",
                                           "DoButton 334", "DoButton 334", "DoButton 334"));
}

TEST_F(StepSizeTest, SizesAreTakenFromTheSettingsAtTheDoubleClick) {
  doubleClick();
  pendantSettings.StepSize3 = 4;  // 0.1, chosen in the dialog meanwhile
  doubleClick();
  EXPECT_THAT(fakeHost.take(), ElementsAre("SetDRO 828 0.001", "SetDRO 828 0.1"));
}

}  // namespace
}  // namespace k4
