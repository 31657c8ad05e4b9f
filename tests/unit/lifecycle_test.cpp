// The exports in the host's order and in orders a careless host might use: none of them may
// crash, throw or leak the pendant window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_host.h"
#include "host/exports.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"

namespace k4 {
namespace {

class LifecycleTest : public ::testing::Test {
 protected:
  ~LifecycleTest() override { StopPlug(); }
  test::FakeHost fakeHost;
};

TEST_F(LifecycleTest, UpdateAndStopBeforeAnythingAreHarmless) {
  Update();
  StopPlug();
  StopPlug();
  EXPECT_EQ(pendantWindow, nullptr);
  EXPECT_EQ(TickCounters[0], 101);
}

TEST_F(LifecycleTest, InitControlAlwaysAnswersTrueAndStoresTheBlocks) {
  EXPECT_TRUE(InitControl(&fakeHost.engine, &fakeHost.setup, &fakeHost.planner, nullptr));
  EXPECT_EQ(host.engine, &fakeHost.engine);
  EXPECT_EQ(host.setup, &fakeHost.setup);
  EXPECT_EQ(host.planner, &fakeHost.planner);
  ASSERT_NE(pendantWindow, nullptr);
  StopPlug();
  EXPECT_EQ(pendantWindow, nullptr);
}

TEST_F(LifecycleTest, SecondInitControlReplacesTheWindow) {
  InitControl(&fakeHost.engine, &fakeHost.setup, &fakeHost.planner, nullptr);
  InitControl(&fakeHost.engine, &fakeHost.setup, &fakeHost.planner, nullptr);
  EXPECT_NE(pendantWindow, nullptr);  // the first one is deleted, not leaked (sanitizer build)
}

TEST_F(LifecycleTest, NullBlocksAndCallbacksLeaveThePlugInQuiet) {
  SetDoButton(nullptr);
  SetSetDRO(nullptr);
  SetGetDRO(nullptr);
  SetGetLED(nullptr);
  SetSetLED(nullptr);
  SetCode(nullptr);
  EXPECT_TRUE(InitControl(nullptr, nullptr, nullptr, nullptr));
  ASSERT_NE(pendantWindow, nullptr);
  // A cycle with a report and a connected link calls every decoder and the output report.
  pendantWindow->deviceConnected = true;
  pendantWindow->inputWord0 = 0x1F030100;  // every button down, wheel moved
  pendantWindow->inputWord1 = 1;
  for (int i = 0; i < 20; ++i) {
    Update();
    pendantWindow->runReportCycle();
  }
  host.showStatusMessage(" Jog OFF. ");
  EXPECT_TRUE(fakeHost.calls.empty());
}

TEST_F(LifecycleTest, PostInitControlWithoutInitControlDoesNotCrash) {
  PostInitControl();
  EXPECT_EQ(pendantWindow, nullptr);
}

TEST_F(LifecycleTest, EmptyExportsChangeNothing) {
  InitControl(&fakeHost.engine, &fakeHost.setup, &fakeHost.planner, nullptr);
  const PendantWindow* window = pendantWindow;
  const int32_t counter = TickCounters[3];
  DoDwell();
  Reset();
  JogOn();
  JogOff();
  Purge();
  Probe();
  Home();
  EXPECT_EQ(pendantWindow, window);
  EXPECT_EQ(TickCounters[3], counter);
  EXPECT_TRUE(fakeHost.calls.empty());
}

TEST(StatusLine, LongMessagesAreCutAndTerminated) {
  test::FakeHost fakeHost;
  std::memset(fakeHost.planner.statusLine, 'x', sizeof fakeHost.planner.statusLine);
  const std::string longText(3 * kStatusLineSize, 'm');
  host.showStatusMessage(longText.c_str());
  EXPECT_EQ(std::strlen(fakeHost.planner.statusLine), kStatusLineSize - 1);
  EXPECT_EQ(fakeHost.planner.statusAssignments, 1u);
  host.showStatusMessage(" Jog OFF. ");
  EXPECT_STREQ(fakeHost.planner.statusLine, " Jog OFF. ");
  EXPECT_EQ(fakeHost.planner.statusAssignments, 2u);
}

}  // namespace
}  // namespace k4
