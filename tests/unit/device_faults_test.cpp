// The pendant misbehaving under a running plug-in, through the virtual pendant: pulled out in the
// middle of a jog, pulled and plugged a hundred times, reports cut short, writes failing. The
// plug-in must stay quiet and consistent: one 1021 per removal, nothing at all from the removal
// until the pendant sends a report again, no handle leaked or closed twice.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fake_window.h"
#include "handed_pendant.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using Report = VirtualPendant::InputReport;

Report pendantReport(uint8_t wheel, uint8_t intensity, uint8_t knob) {
  return Report{0, wheel, intensity, 0, knob, 0, 0, 0};
}

class DeviceFaultsTest : public ::testing::Test {
 protected:
  DeviceFaultsTest() {
    pendantSettings.StepJogRate = 100;
    pendantSettings.Vel = 2;
    pendantSettings.DelaySteps = 25;
    window = std::make_unique<PendantWindow>(pendant.services());
    window->attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
  }

  // One report cycle per report, with an Update tick after each.
  void send(const Report& report, int times = 1) {
    for (int i = 0; i < times; ++i) {
      pendant.queueReport(report);
      window->runReportCycle();
      test::updateTicks(1);
    }
  }
  // Cycles without a report, with Update ticks between them.
  void idle(int cycles) {
    for (int i = 0; i < cycles; ++i) {
      window->runReportCycle();
      test::updateTicks(1);
    }
  }
  bool sent(const std::vector<std::string>& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

  test::FakeHost fakeHost;
  test::HandedPendant pendant;
  test::FakeWindowLog windowLog;
  std::unique_ptr<PendantWindow> window;
};

TEST_F(DeviceFaultsTest, UnplugInTheMiddleOfAVelocityJog) {
  ASSERT_TRUE(window->discoverDevice());
  uint8_t wheel = 10;
  for (int i = 0; i < 12; ++i, wheel += 2)
    send(pendantReport(wheel, 60, 2));
  ASSERT_TRUE(sent(fakeHost.take(), "Code \"DOJOG\""));

  // The removal ends the jog on its axis right after the 1021, whatever the host makes of that.
  ASSERT_EQ(fakeHost.engine.axisJog[0].stopByte, 0);
  pendant.unplug();
  EXPECT_EQ(fakeHost.take(), (std::vector<std::string>{"DoButton 1021", "Code \"ENDJOG\""}));
  EXPECT_EQ(fakeHost.engine.axisJog[0].stopByte, 1);
  idle(20);
  pendant.plug();
  // Reopened, but the last report asked for a jog that is over: nothing until a new report,
  // however long the pendant stays silent (a regression: the stale report used to be decoded,
  // ending the jog again and again).
  fakeHost.recordReads = false;
  idle(40);
  pendant.arriveOther();
  idle(10);
  EXPECT_TRUE(fakeHost.take().empty());
  EXPECT_TRUE(window->deviceConnected);

  // The pendant speaks again: the knob now at 7 is heard at once.
  send(pendantReport(wheel, 0, 7));
  EXPECT_TRUE(sent(fakeHost.take(), "DoButton 334"));
  EXPECT_EQ(window->jogMode, 7);
}

TEST_F(DeviceFaultsTest, AHundredRemovalsGiveAHundredResetsAndLeakNothing) {
  ASSERT_TRUE(window->discoverDevice());
  pendantSettings.AutoMode = false;
  send(pendantReport(0, 0, 1));
  fakeHost.take();
  int resets = 0;
  for (int round = 0; round < 100; ++round) {
    const uint8_t base = static_cast<uint8_t>(round * 7);
    send(pendantReport(base, 0, 1));  // the wheel's reference after the arrival
    send(pendantReport(static_cast<uint8_t>(base + 2), 0, 1));
    const std::vector<std::string> jogging = fakeHost.take();
    ASSERT_TRUE(sent(jogging, "Code \"G91G1 F100 X 0.0020\"")) << "round " << round;

    pendant.unplug();
    const std::vector<std::string> removal = fakeHost.take();
    ASSERT_EQ(removal, std::vector<std::string>{"DoButton 1021"}) << "round " << round;
    ++resets;
    idle(round % 5);
    pendant.plug();
    idle(round % 3);
    ASSERT_TRUE(fakeHost.take().empty()) << "round " << round;
    ASSERT_EQ(pendant.openHandleCount(), 3) << "round " << round;  // probe, read, write
  }
  EXPECT_EQ(resets, 100);
  EXPECT_EQ(pendant.badCloseCount(), 0);
  window.reset();
  EXPECT_EQ(pendant.openHandleCount(), 0);
}

TEST_F(DeviceFaultsTest, ShortReadsAreNoReports) {
  ASSERT_TRUE(window->discoverDevice());
  pendantSettings.AutoMode = false;
  send(pendantReport(40, 0, 1));
  send(pendantReport(41, 0, 1));
  idle(5);  // the step burst is over and the host's DROs are back
  ASSERT_FALSE(fakeHost.take().empty());

  pendant.setShortReads(true);
  for (uint8_t wheel = 44; wheel < 100; wheel += 3)
    send(pendantReport(wheel, 50, 2));  // a turning wheel, another mode: none of it arrives
  idle(10);
  EXPECT_TRUE(fakeHost.take().empty());
  EXPECT_EQ(window->reportWord0, (41u << 8));
  EXPECT_EQ(window->jogMode, 1);
  EXPECT_EQ(pendant.writtenReports().size(), 2u + 5u + 19u + 10u);  // the LEDs are still shown
}

// A pendant whose output fails or stalls in the middle of a velocity jog, with the wheel still
// turning and the jog key held: the jog ends on its axis at once, the owed 205 is paid, no 1021
// is sent (the pendant may still be in the operator's hand), and nothing more reaches the host
// until the pendant arrives again.
TEST_F(DeviceFaultsTest, OutputThatFailsOrStallsMidJogEndsTheJogWithoutAReset) {
  for (const bool stall : {false, true}) {
    SCOPED_TRACE(stall ? "stalled" : "failing");
    test::FakeHost hostOfThisRun;
    hostOfThisRun.leds[led::kJogStartBracket] = 1;
    pendantSettings.StepJogRate = 100;
    pendantSettings.Vel = 2;
    test::HandedPendant device;
    PendantWindow link(device.services());
    link.attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
    ASSERT_TRUE(link.discoverDevice());
    uint8_t wheel = 0;
    auto turn = [&](int cycles) {
      for (int cycle = 0; cycle < cycles; ++cycle) {
        wheel = static_cast<uint8_t>(wheel + 3);
        device.queueReport(pendantReport(wheel, 70, 2));
        link.runReportCycle();
        test::updateTicks(1);
      }
    };
    turn(10);
    ASSERT_TRUE(sent(hostOfThisRun.take(), "Code \"DOJOG\""));
    if (stall) {
      device.setStalled(true);
      turn(VirtualPendant::kStalledWritesBeforeFailure);
      hostOfThisRun.take();  // the jog goes on while the write is only pending
      turn(1);
    } else {
      device.setWritesFail(true);
      turn(1);
    }
    std::vector<std::string> atTheLoss = hostOfThisRun.take();
    ASSERT_GE(atTheLoss.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(atTheLoss.end() - 2, atTheLoss.end()),
              (std::vector<std::string>{"Code \"ENDJOG\"", "DoButton 205"}));
    EXPECT_FALSE(sent(atTheLoss, "DoButton 1021"));
    EXPECT_EQ(hostOfThisRun.engine.axisJog[0].stopByte, 1);
    EXPECT_FALSE(link.deviceConnected);
    turn(20);
    EXPECT_TRUE(hostOfThisRun.take().empty());
  }
}

}  // namespace
}  // namespace k4
