#include <gtest/gtest.h>

#include "pendant_report.h"

namespace k4 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ResetSwitchTest : public test::PendantTest {
 protected:
  void cycle(bool switchOn) {
    present({.resetSwitch = switchOn});
    window.decodeResetSwitch();
  }
};

TEST_F(ResetSwitchTest, RepeatsTheCodeEveryCycleUntilTheHostLightsItsLed) {
  fakeHost.recordReads = true;
  cycle(true);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 1021"));
  cycle(true);
  EXPECT_THAT(fakeHost.take(), ElementsAre("GetLED 800 -> 0", "DoButton 1021"));
  cycle(true);
  EXPECT_THAT(fakeHost.take(), ElementsAre("GetLED 800 -> 0", "DoButton 1021"));

  fakeHost.leds[800] = true;
  cycle(true);
  cycle(true);
  EXPECT_THAT(fakeHost.take(), ElementsAre("GetLED 800 -> 1", "GetLED 800 -> 1"));

  cycle(false);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 1021"));
  cycle(false);
  EXPECT_THAT(fakeHost.take(), IsEmpty());
}

TEST_F(ResetSwitchTest, OneCycleOnThenOffSendsTwoCodesWithoutAskingTheLed) {
  fakeHost.recordReads = true;
  cycle(true);
  cycle(false);
  EXPECT_THAT(fakeHost.take(), ElementsAre("DoButton 1021", "DoButton 1021"));
}

}  // namespace
}  // namespace k4
