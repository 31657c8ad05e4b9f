// The pendant works whenever and wherever it is plugged in: absent when the host started, back in
// another port, after another device took its old place. Through the link over the virtual
// pendant against the fake host, seen as a machinist would: the host calls the wheel makes.
#include <gtest/gtest.h>

#include <algorithm>
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
using Calls = std::vector<std::string>;

int count(const Calls& calls, const std::string& call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

class Hotplug : public ::testing::Test {
 protected:
  Hotplug() {
    pendantSettings.AutoMode = false;
    pendantSettings.StepJogRate = 100;
    window = std::make_unique<PendantWindow>(pendant.services());
    window->attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
  }

  // A report at knob 1 with the wheel at `wheel`, one cycle, one Update; the cycle's calls.
  Calls send(uint8_t wheel) {
    pendant.queueReport(Report{0, wheel, 0, 0, 1, 0, 0, 0});
    window->runReportCycle();
    test::updateTicks(1);
    return fakeHost.take();
  }
  // The wheel turned three counts from `from`: the step line for X, and the output report.
  void expectTheWheelWorksFrom(uint8_t from) {
    send(from);  // the reference (or nothing new)
    pendant.clearWrittenReports();
    const Calls calls = send(static_cast<uint8_t>(from + 3));
    EXPECT_EQ(count(calls, "Code \"G91G1 F100 X 0.0030\""), 1);
    EXPECT_EQ(pendant.writtenReports().size(), 1u);
  }

  test::FakeHost fakeHost;
  test::HandedPendant pendant;
  test::FakeWindowLog windowLog;
  std::unique_ptr<PendantWindow> window;
};

TEST_F(Hotplug, APendantAbsentAtStartIsTakenUpWhenItArrives) {
  pendant.setPresent(false);
  ASSERT_FALSE(window->discoverDevice());
  EXPECT_TRUE(pendant.notificationsRegistered());
  EXPECT_EQ(windowLog.timersStarted, 1);
  window->runReportCycle();
  EXPECT_TRUE(fakeHost.take().empty());

  pendant.plug();
  ASSERT_TRUE(window->deviceConnected);
  EXPECT_EQ(window->notifyPath, VirtualPendant::kPendantPath);
  EXPECT_TRUE(fakeHost.take().empty());  // discovery itself calls nothing
  // The first report is only the wheel's reference: the mode code, no movement.
  EXPECT_EQ(send(200), Calls{"DoButton 334"});
  expectTheWheelWorksFrom(200);
}

TEST_F(Hotplug, APendantBackInAnotherPortIsFollowed) {
  ASSERT_TRUE(window->discoverDevice());
  expectTheWheelWorksFrom(10);
  pendant.unplug();
  EXPECT_EQ(fakeHost.take(), Calls{"DoButton 1021"});
  pendant.plugElsewhere();
  ASSERT_TRUE(window->deviceConnected);
  EXPECT_EQ(window->notifyPath, VirtualPendant::kPendantElsewherePath);
  EXPECT_EQ(window->devicePath, VirtualPendant::kPendantElsewherePath);
  EXPECT_TRUE(send(90).empty());  // the new reference
  expectTheWheelWorksFrom(90);

  // Its next removal is recognised under the new path.
  pendant.unplug();
  EXPECT_EQ(fakeHost.take(), Calls{"DoButton 1021"});
  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(window->readHandle, kInvalidHandle);
  EXPECT_EQ(window->writeHandle, kInvalidHandle);
  EXPECT_EQ(pendant.badCloseCount(), 0);
}

// The pendant's old node is taken by another device, which then goes: that removal is not the
// pendant's, and the host hears no second reset.
TEST_F(Hotplug, ARemovalUnderThePendantsOldPathAfterItLeftIsNotThePendants) {
  ASSERT_TRUE(window->discoverDevice());
  pendant.unplug();
  EXPECT_EQ(fakeHost.take(), Calls{"DoButton 1021"});
  pendant.addOtherDevice(VirtualPendant::kPendantPath, 0x1209, 0x0001);
  window->onDeviceChange(kDeviceArrival, kDeviceTypeInterface, VirtualPendant::kPendantPath);
  EXPECT_FALSE(window->deviceConnected);
  window->onDeviceChange(kDeviceRemoveComplete, kDeviceTypeInterface, VirtualPendant::kPendantPath);
  EXPECT_TRUE(fakeHost.take().empty());
}

TEST_F(Hotplug, AnotherDeviceArrivingWhileThePendantIsAwayOpensNothing) {
  ASSERT_TRUE(window->discoverDevice());
  send(10);
  pendant.unplug();
  fakeHost.take();
  pendant.arriveOther();
  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(window->readHandle, kInvalidHandle);
  const int reads = pendant.readCount();
  pendant.queueReport(Report{0, 60, 0, 0, 2, 0, 0, 0});
  window->runReportCycle();
  EXPECT_EQ(pendant.readCount(), reads);
  EXPECT_TRUE(fakeHost.take().empty());
  EXPECT_EQ(pendant.openHandleCount(), 0);
}

// The first pendant in enumeration order is taken; a second one that arrives while it works is
// left alone, and so is the first one's wheel reference.
TEST_F(Hotplug, ASecondPendantArrivingWhileTheFirstWorksIsLeftAlone) {
  ASSERT_TRUE(window->discoverDevice());
  send(10);
  pendant.arriveSecondPendant();
  EXPECT_EQ(window->devicePath, VirtualPendant::kPendantPath);
  EXPECT_EQ(window->notifyPath, VirtualPendant::kPendantPath);
  const Calls calls = send(13);
  EXPECT_EQ(count(calls, "Code \"G91G1 F100 X 0.0030\""), 1);

  // Two present at start: the first listed is the one taken.
  test::FakeWindowLog otherLog;
  test::HandedPendant two;
  two.addOtherDevice(VirtualPendant::kSecondPendantPath, kPendantVendorId, kPendantProductId);
  PendantWindow second(two.services());
  second.attachNativeWindow(test::makeFakeWindow(otherLog), nullptr);
  ASSERT_TRUE(second.discoverDevice());
  EXPECT_EQ(second.devicePath, VirtualPendant::kSecondPendantPath);
}

// A pendant whose open failed at its arrival (the system had not yet granted access) is opened
// at the next arrival, which the granting itself brings on Linux.
TEST_F(Hotplug, AFailedOpenIsTriedAgainAtTheNextArrival) {
  pendant.setPresent(false);
  ASSERT_FALSE(window->discoverDevice());
  pendant.setPresent(true);
  window->readHandle = kInvalidHandle;
  window->deviceConnected = true;  // matched, but neither handle opened
  pendant.plug();
  EXPECT_NE(window->readHandle, kInvalidHandle);
  EXPECT_NE(window->writeHandle, kInvalidHandle);
  EXPECT_EQ(pendant.openHandleCount(), 3);
}

}  // namespace
}  // namespace k4
