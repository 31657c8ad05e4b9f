#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pendant_timeline.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using test::reportWord;
using Calls = std::vector<std::string>;

const uint32_t kStop = reportWord(0, true, false);
const uint32_t kStopSide = reportWord(0, true, true);
const uint32_t kSideOnly = reportWord(0, false, true);

// One press of the given keys, held for one cycle, then both buttons up.
Calls press(test::PendantTimeline& t, uint32_t keys) {
  t.cycle(keys);
  t.cycle(0);
  return t.host.take();
}

TEST(CustomActions, NoneDoesNothingAndShowsNothing) {
  test::PendantTimeline t(8);
  pendantSettings.BUTTON0 = 0;  // "899, NONE"
  pendantSettings.BUTTON1 = 1;  // a separator
  EXPECT_EQ(press(t, kStop), Calls{});
  EXPECT_EQ(press(t, kStopSide), Calls{});
  EXPECT_EQ(t.host.planner.statusAssignments, 0u);
}

TEST(CustomActions, HostCodeRunsOncePerPressOfStopWithSide) {
  test::PendantTimeline t(8);
  pendantSettings.BUTTON1 = 26;  // "1029 , Softlimits Toggle"
  EXPECT_EQ(press(t, kStop), Calls{});
  for (int i = 0; i < 50; ++i)
    t.cycle(kStopSide);
  EXPECT_EQ(t.host.take(), Calls{"DoButton 1029"});
  t.cycle(0);
  EXPECT_EQ(press(t, kStopSide), Calls{"DoButton 1029"});
  EXPECT_EQ(t.host.planner.statusAssignments, 0u);
}

TEST(CustomActions, ModeNineServesTheSecondPair) {
  test::PendantTimeline t(9);
  pendantSettings.BUTTON0 = 21;  // flood: mode 8 only
  pendantSettings.BUTTON1 = 22;
  pendantSettings.BUTTON2 = 6;   // "817, Custom Macro #1"
  pendantSettings.BUTTON3 = 64;  // "138 , Go Home"
  pendantSettings.Macro1 = 123;
  EXPECT_EQ(press(t, kStop), Calls{"Code \"M123\""});
  EXPECT_EQ(t.host.statusLine(), " Custom Macro #1 executed. ");
  EXPECT_EQ(press(t, kStopSide), Calls{"DoButton 138"});
}

struct OwnActionCase {
  int16_t position;
  std::string expectedCall;
  std::string expectedMessage;
};

class OwnActions : public ::testing::TestWithParam<OwnActionCase> {};

TEST_P(OwnActions, RunTheSettingAndThenShowTheirMessage) {
  test::PendantTimeline t(8);
  pendantSettings.BUTTON0 = GetParam().position;
  pendantSettings.OEM1 = 1001;
  pendantSettings.OEM2 = 1002;
  pendantSettings.OEM3 = -5;
  pendantSettings.OEM4 = 32767;
  pendantSettings.Macro1 = 101;
  pendantSettings.Macro2 = -1;
  pendantSettings.Macro3 = -32768;
  pendantSettings.Macro4 = 0;
  EXPECT_EQ(press(t, kStop), Calls{GetParam().expectedCall});
  EXPECT_EQ(t.host.statusLine(), GetParam().expectedMessage);
  EXPECT_EQ(t.host.planner.statusAssignments, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnActions,
    ::testing::Values(OwnActionCase{2, "DoButton 1001", " OEM Function #1 executed. "},
                      OwnActionCase{3, "DoButton 1002", "OEM Function #2 executed."},
                      OwnActionCase{4, "DoButton -5", "OEM Function #3 executed. "},
                      OwnActionCase{5, "DoButton 32767", "OEM Function #4 executed."},
                      OwnActionCase{6, "Code \"M101\"", " Custom Macro #1 executed. "},
                      OwnActionCase{7, "Code \"M-1\"", " Custom Macro #2 executed. "},
                      OwnActionCase{8, "Code \"M-32768\"", " Custom Macro #3 executed. "},
                      OwnActionCase{9, "Code \"M0\"", " Custom Macro #4 executed. "}));

TEST(CustomActions, AddingSideWhileStopIsHeldRunsTheSecondActionToo) {
  test::PendantTimeline t(8);
  pendantSettings.BUTTON0 = 21;  // "113 , Flood toggle"
  pendantSettings.BUTTON1 = 22;  // "114 , Mist toggle"
  t.cycle(kStop);
  t.cycle(kStopSide);
  t.cycle(kStop);
  t.cycle(kStopSide);
  EXPECT_EQ(t.host.take(), (Calls{"DoButton 113", "DoButton 114"}));
}

TEST(CustomActions, LatchClearsOnlyWhenBothButtonsAreUp) {
  test::PendantTimeline t(8);
  pendantSettings.BUTTON0 = 21;
  t.cycle(kStop);
  t.cycle(kSideOnly);
  t.cycle(kStop);
  EXPECT_EQ(t.host.take(), Calls{"DoButton 113"});
  t.cycle(0);
  t.cycle(kStop);
  EXPECT_EQ(t.host.take(), Calls{"DoButton 113"});
}

TEST(CustomActions, PositionOutsideTheListRunsNothing) {
  test::PendantTimeline t(8);
  pendantSettings.BUTTON0 = 66;
  pendantSettings.BUTTON1 = -1;
  EXPECT_EQ(press(t, kStop), Calls{});
  EXPECT_EQ(press(t, kStopSide), Calls{});
}

}  // namespace
}  // namespace k4
