// The pendant link over the virtual pendant: discovery, removal and arrival, and the report cycle,
// seen through what the link does (handles, reads, output reports, its own host calls). Reports
// are told apart by byte 0 (the report id) and byte 7, which no decoder reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fake_window.h"
#include "handed_pendant.h"
#include "host/host_boundary.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

using Report = VirtualPendant::InputReport;
using Bytes = VirtualPendant::OutputReport;

Report markedReport(uint8_t mark) {
  return Report{mark, 0, 0, 0, 0, 0, 0, mark};
}
uint32_t word0Of(uint8_t mark) {
  return mark;
}
uint32_t word1Of(uint8_t mark) {
  return uint32_t{mark} << 24;
}

const std::string kOtherPath = "\\\\?\\hid#vid_1234&pid_5678#6&11aa22bb&0&0000#{4d1e55b2}";
const std::string kTrailingPath = "\\\\?\\hid#vid_2345&pid_6789#6&33cc44dd&0&0000#{4d1e55b2}";

std::string upperCased(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

class PendantLinkTest : public ::testing::Test {
 protected:
  PendantLinkTest() { makeWindow(); }

  void makeWindow() {
    window = std::make_unique<PendantWindow>(pendant.services());
    window->attachNativeWindow(test::makeFakeWindow(windowLog), nullptr);
  }

  // Discovery plus one cycle that decodes `mark`.
  void connectAndDecode(uint8_t mark) {
    ASSERT_TRUE(window->discoverDevice());
    pendant.queueReport(markedReport(mark));
    window->runReportCycle();
    ASSERT_EQ(window->reportWord0, word0Of(mark));
  }

  test::FakeHost fakeHost;
  test::HandedPendant pendant;
  test::FakeWindowLog windowLog;
  std::unique_ptr<PendantWindow> window;  // last: it closes its handles before the pendant goes
};

// ---- Discovery -------------------------------------------------------------------------------

struct OtherDevice {
  std::string path;
  uint16_t vendorId;
  uint16_t productId;
};

struct DiscoveryCase {
  const char* name;
  std::vector<OtherDevice> before;
  bool pendantPresent;
  std::vector<OtherDevice> after;
  bool found;
  int probes;  // interfaces probed: enumeration stops at the pendant
};

class DiscoveryTest : public PendantLinkTest,
                      public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(DiscoveryTest, FindsOpensAndStartsTheTimer) {
  const DiscoveryCase& c = GetParam();
  for (const OtherDevice& d : c.before)
    pendant.addOtherDevice(d.path, d.vendorId, d.productId);
  for (const OtherDevice& d : c.after)
    pendant.addTrailingDevice(d.path, d.vendorId, d.productId);
  pendant.setPresent(c.pendantPresent);

  EXPECT_EQ(window->discoverDevice(), c.found);

  EXPECT_EQ(window->deviceConnected, c.found);
  EXPECT_EQ(pendant.probesOpened(), c.probes);
  // Registered whether or not a pendant was found: one plugged in later is looked for then.
  EXPECT_TRUE(pendant.notificationsRegistered());
  EXPECT_EQ(windowLog.timersStarted, 1);
  EXPECT_EQ(windowLog.timerId, kReportTimerId);
  EXPECT_EQ(windowLog.periodMs, 25u);
  EXPECT_EQ(pendant.badCloseCount(), 0);
  if (c.found) {
    // Probe, read and write handles of the pendant are open; every other probe was closed.
    EXPECT_EQ(pendant.openHandleCount(), 3);
    EXPECT_EQ(pendant.closedHandles().size(), static_cast<std::size_t>(c.probes - 1));
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    ASSERT_TRUE(pendant.services().attributes(window->probeHandle, vendorId, productId));
    EXPECT_EQ(vendorId, 0x04D8);
    EXPECT_EQ(productId, 0xFCE5);
    EXPECT_NE(window->readHandle, kInvalidHandle);
    EXPECT_NE(window->writeHandle, kInvalidHandle);
    EXPECT_EQ(window->devicePath, VirtualPendant::kPendantPath);
    EXPECT_EQ(window->notifyPath, VirtualPendant::kPendantPath);
  } else {
    EXPECT_EQ(pendant.openHandleCount(), 0);
    EXPECT_EQ(window->probeHandle, kInvalidHandle);
    EXPECT_EQ(window->readHandle, kInvalidHandle);
    EXPECT_EQ(window->writeHandle, kInvalidHandle);
    EXPECT_TRUE(window->devicePath.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Buses, DiscoveryTest,
    ::testing::Values(
        DiscoveryCase{"PendantAlone", {}, true, {}, true, 1},
        DiscoveryCase{"SecondInterfaceIsThePendant",
                      {{kOtherPath, 0x1234, 0x5678}},
                      true,
                      {{kTrailingPath, 0x04D8, 0xFCE5}},
                      true,
                      2},
        DiscoveryCase{"SameVendorOtherProduct", {{kOtherPath, 0x04D8, 0x0001}}, true, {}, true, 2},
        DiscoveryCase{"OtherVendorSameProduct", {{kOtherPath, 0x0001, 0xFCE5}}, true, {}, true, 2},
        DiscoveryCase{"OnlyOtherDevices",
                      {{kOtherPath, 0x04D8, 0x0001}},
                      false,
                      {{kTrailingPath, 0x1234, 0x5678}},
                      false,
                      2},
        DiscoveryCase{"NoDevicesAtAll", {}, false, {}, false, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PendantLinkTest, WithoutAPendantTheCycleOnlyCountsDown) {
  pendant.setPresent(false);
  ASSERT_FALSE(window->discoverDevice());
  fakeHost.recordReads = true;
  fakeHost.setup.absoluteWord = 1;
  window->jogHoldTicks = 3;
  for (int cycle = 0; cycle < 5; ++cycle)
    window->runReportCycle();
  EXPECT_EQ(window->jogHoldTicks, 0);
  EXPECT_TRUE(fakeHost.calls.empty());  // not even GetLED
  EXPECT_EQ(pendant.readCount(), 0);
  EXPECT_TRUE(pendant.writtenReports().empty());
  EXPECT_TRUE(window->restoreAbsolute);  // the idle test belongs to a connected link
}

// ---- Device changes ----------------------------------------------------------------------------

struct ChangeCase {
  const char* name;
  uint32_t eventType;
  uint32_t deviceType;
  std::string deviceName;
  bool concernsPendant;
};

class RemovalTest : public PendantLinkTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(RemovalTest, OnlyThePendantsRemovalClosesTheLink) {
  const ChangeCase& c = GetParam();
  ASSERT_TRUE(window->discoverDevice());
  const DeviceHandle read = window->readHandle;
  const DeviceHandle write = window->writeHandle;

  window->onDeviceChange(c.eventType, c.deviceType, c.deviceName.c_str());

  if (c.concernsPendant) {
    EXPECT_FALSE(window->deviceConnected);
    EXPECT_EQ(window->readHandle, kInvalidHandle);
    EXPECT_EQ(window->writeHandle, kInvalidHandle);
    EXPECT_EQ(pendant.closedHandles(), (std::vector<DeviceHandle>{read, write}));
    EXPECT_EQ(fakeHost.calls, std::vector<std::string>{"DoButton 1021"});
  } else {
    EXPECT_TRUE(window->deviceConnected);
    EXPECT_EQ(window->readHandle, read);
    EXPECT_EQ(window->writeHandle, write);
    EXPECT_TRUE(pendant.closedHandles().empty());
    EXPECT_TRUE(fakeHost.calls.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Notifications, RemovalTest,
    ::testing::Values(ChangeCase{"PendantRemoved", kDeviceRemoveComplete, kDeviceTypeInterface,
                                 VirtualPendant::kPendantPath, true},
                      ChangeCase{"PendantRemovedInOtherLetterCase", kDeviceRemoveComplete,
                                 kDeviceTypeInterface, upperCased(VirtualPendant::kPendantPath),
                                 true},
                      ChangeCase{"OtherDeviceRemoved", kDeviceRemoveComplete, kDeviceTypeInterface,
                                 kOtherPath, false},
                      ChangeCase{"PendantNameWithAnotherDeviceType", kDeviceRemoveComplete, 6,
                                 VirtualPendant::kPendantPath, false},
                      ChangeCase{"PendantNameAsALongerPrefix", kDeviceRemoveComplete,
                                 kDeviceTypeInterface,
                                 std::string(VirtualPendant::kPendantPath) + "x", false},
                      ChangeCase{"OtherEventWithThePendantsName", 0x0007, kDeviceTypeInterface,
                                 VirtualPendant::kPendantPath, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PendantLinkTest, RemovalNamedInAnotherLetterCaseThroughTheNotification) {
  ASSERT_TRUE(window->discoverDevice());
  pendant.unplug(upperCased(VirtualPendant::kPendantPath));
  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(fakeHost.take(), std::vector<std::string>{"DoButton 1021"});
  EXPECT_EQ(pendant.openHandleCount(), 1);  // the probe handle stays until the window goes
}

TEST_F(PendantLinkTest, RemovalOfAnotherDeviceChangesNothing) {
  pendant.addOtherDevice(kOtherPath, 0x1234, 0x5678);
  connectAndDecode(0xA1);
  fakeHost.take();
  pendant.removeOther(kOtherPath);
  EXPECT_TRUE(window->deviceConnected);
  EXPECT_TRUE(fakeHost.take().empty());
  EXPECT_EQ(pendant.openHandleCount(), 3);
  pendant.queueReport(markedReport(0xA2));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0xA2));
}

TEST_F(PendantLinkTest, RemovalWithoutAPendantFoundIsNotThePendant) {
  pendant.setPresent(false);
  ASSERT_FALSE(window->discoverDevice());
  window->onDeviceChange(kDeviceRemoveComplete, kDeviceTypeInterface, "");
  window->onDeviceChange(kDeviceRemoveComplete, kDeviceTypeInterface, nullptr);
  EXPECT_TRUE(fakeHost.calls.empty());
}

// Another device's arrival while the pendant is away looks for the pendant, finds none, and
// leaves the link down: nothing is read, written or decoded.
TEST_F(PendantLinkTest, ArrivalOfAnotherDeviceAfterRemovalKeepsTheLastReportButActsOnNothing) {
  connectAndDecode(0xB1);
  fakeHost.take();
  pendant.unplug();
  EXPECT_EQ(fakeHost.take(), std::vector<std::string>{"DoButton 1021"});
  const int reads = pendant.readCount();
  pendant.arriveOther();

  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(window->readHandle, kInvalidHandle);
  EXPECT_EQ(window->writeHandle, kInvalidHandle);
  pendant.clearWrittenReports();
  for (int cycle = 0; cycle < 3; ++cycle) {
    window->runReportCycle();
    EXPECT_EQ(window->reportWord0, word0Of(0xB1));
    EXPECT_EQ(window->reportWord1, word1Of(0xB1));
  }
  EXPECT_EQ(pendant.readCount(), reads);  // nothing read or written on invalid handles
  EXPECT_TRUE(pendant.writtenReports().empty());
  EXPECT_EQ(pendant.openHandleCount(), 0);  // the gone pendant's probe was let go as well
  // The snapshot is the pendant's last word, but the removal ended what it asked for.
  EXPECT_TRUE(fakeHost.take().empty());
}

TEST_F(PendantLinkTest, ArrivalWhileTheHandlesAreOpenReplacesThemWithoutLeaking) {
  connectAndDecode(0xC1);
  const DeviceHandle read = window->readHandle;
  const DeviceHandle write = window->writeHandle;
  for (int arrival = 0; arrival < 3; ++arrival)
    pendant.arriveOther();
  EXPECT_EQ(pendant.openHandleCount(), 3);
  EXPECT_EQ(pendant.badCloseCount(), 0);
  EXPECT_NE(window->readHandle, read);
  EXPECT_NE(window->writeHandle, write);
  EXPECT_NE(window->readHandle, kInvalidHandle);
  pendant.queueReport(markedReport(0xC2));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0xC2));
}

TEST_F(PendantLinkTest, UnplugAndReplugGiveOneResetPerRemovalAndDecodingResumes) {
  connectAndDecode(0x10);
  for (uint8_t round = 1; round <= 3; ++round) {
    fakeHost.take();
    pendant.unplug();
    EXPECT_EQ(fakeHost.take(), std::vector<std::string>{"DoButton 1021"}) << "round " << +round;

    window->jogHoldTicks = 2;
    fakeHost.recordReads = true;
    for (int cycle = 0; cycle < 4; ++cycle)
      window->runReportCycle();
    fakeHost.recordReads = false;
    EXPECT_TRUE(fakeHost.take().empty());  // quiet while unplugged
    EXPECT_EQ(window->jogHoldTicks, 0);

    pendant.plug();
    EXPECT_TRUE(fakeHost.take().empty());  // arrival performs nothing
    EXPECT_TRUE(window->deviceConnected);
    const uint8_t mark = static_cast<uint8_t>(0x10 + round);
    pendant.queueReport(markedReport(mark));
    window->runReportCycle();
    EXPECT_EQ(window->reportWord0, word0Of(mark));
    EXPECT_EQ(window->reportWord1, word1Of(mark));
    // The removed device's handles were closed; the new ones and the first probe are open.
    EXPECT_EQ(pendant.openHandleCount(), 3);
  }
  EXPECT_EQ(pendant.badCloseCount(), 0);
}

TEST_F(PendantLinkTest, DestructorClosesProbeReadAndWriteInThatOrder) {
  ASSERT_TRUE(window->discoverDevice());
  const std::vector<DeviceHandle> open = {window->probeHandle, window->readHandle,
                                          window->writeHandle};
  window.reset();
  EXPECT_EQ(pendant.closedHandles(), open);
  EXPECT_EQ(pendant.openHandleCount(), 0);
  EXPECT_FALSE(pendant.notificationsRegistered());
  pendant.unplug();  // nothing left to deliver to
  pendant.plug();
  EXPECT_TRUE(fakeHost.calls.empty());
}

TEST_F(PendantLinkTest, DestructorAfterRemovalClosesOnlyWhatIsOpen) {
  ASSERT_TRUE(window->discoverDevice());
  pendant.unplug();
  window.reset();
  EXPECT_EQ(pendant.openHandleCount(), 0);
  EXPECT_EQ(pendant.badCloseCount(), 0);
}

// ---- The report cycle ----------------------------------------------------------------------

TEST_F(PendantLinkTest, AReportWithinTheWaitIsDecodedInTheSameCycle) {
  ASSERT_TRUE(window->discoverDevice());
  pendant.queueReport(markedReport(0x21));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0x21));
  EXPECT_EQ(window->reportWord1, word1Of(0x21));
  EXPECT_EQ(pendant.readCount(), 1);
  EXPECT_EQ(pendant.lastReadTimeoutMs(), 5);
}

TEST_F(PendantLinkTest, WithoutANewReportThePreviousOneIsDecodedAgain) {
  connectAndDecode(0x31);
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0x31));
  EXPECT_EQ(window->inputWord0, word0Of(0x31));
  EXPECT_EQ(window->previousInputWord0, word0Of(0x31));

  pendant.setShortReads(true);  // a partial report is no report
  pendant.queueReport(markedReport(0x32));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0x31));
  EXPECT_EQ(window->reportWord1, word1Of(0x31));
}

TEST_F(PendantLinkTest, ALateReportIsDecodedByTheNextCycle) {
  connectAndDecode(0x41);
  pendant.queueLateReport(markedReport(0x42));
  window->runReportCycle();  // the wait ends before the report lands
  EXPECT_EQ(window->reportWord0, word0Of(0x41));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0x42));
  EXPECT_EQ(window->reportWord1, word1Of(0x42));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0x42));
}

TEST_F(PendantLinkTest, AnInvalidReadHandleStillDecodesAndWrites) {
  connectAndDecode(0x51);
  pendant.services().close(window->readHandle);
  window->readHandle = kInvalidHandle;
  pendant.clearWrittenReports();
  const int reads = pendant.readCount();
  window->runReportCycle();
  EXPECT_EQ(pendant.readCount(), reads);
  EXPECT_EQ(window->reportWord0, word0Of(0x51));
  EXPECT_EQ(pendant.writtenReports().size(), 1u);
}

// A pendant that refuses output is gone as far as the link knows: the cycle stops reading and
// writing, without the 1021 of a removal, and the next arrival opens it again.
TEST_F(PendantLinkTest, AFailedWriteTakesTheLinkDownUntilTheNextArrival) {
  ASSERT_TRUE(window->discoverDevice());
  pendant.setWritesFail(true);
  window->runReportCycle();
  EXPECT_EQ(std::count(fakeHost.calls.begin(), fakeHost.calls.end(), "DoButton 1021"), 0);
  fakeHost.take();
  EXPECT_TRUE(pendant.writtenReports().empty());
  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(window->readHandle, kInvalidHandle);
  EXPECT_EQ(window->writeHandle, kInvalidHandle);
  pendant.setWritesFail(false);
  const int reads = pendant.readCount();
  window->runReportCycle();
  EXPECT_EQ(pendant.readCount(), reads);
  EXPECT_TRUE(pendant.writtenReports().empty());
  EXPECT_TRUE(fakeHost.take().empty());

  pendant.arriveOther();
  pendant.queueReport(markedReport(0x21));
  window->runReportCycle();
  EXPECT_EQ(window->reportWord0, word0Of(0x21));
  EXPECT_EQ(pendant.writtenReports().size(), 1u);
  EXPECT_EQ(pendant.badCloseCount(), 0);
}

// Output the pendant does not take holds nothing up: the cycle skips writing while the last
// report is pending, keeps decoding, and gives the pendant up once the write has been pending
// for about a second. Taking output again within that time loses nothing.
TEST_F(PendantLinkTest, StalledOutputIsSkippedThenGivenUp) {
  connectAndDecode(0x30);
  pendant.clearWrittenReports();
  pendant.setStalled(true);
  for (int cycle = 0; cycle < 10; ++cycle) {
    pendant.queueReport(markedReport(static_cast<uint8_t>(0x31 + cycle)));
    window->runReportCycle();
  }
  EXPECT_TRUE(window->deviceConnected);
  EXPECT_EQ(window->reportWord0, word0Of(0x3A));
  EXPECT_TRUE(pendant.writePending());
  pendant.setStalled(false);
  window->runReportCycle();
  EXPECT_EQ(pendant.writtenReports().size(), 2u);  // the pending one, then this cycle's

  pendant.setStalled(true);
  int cycles = 0;
  while (window->deviceConnected && cycles < 1000) {
    window->runReportCycle();
    ++cycles;
  }
  EXPECT_EQ(cycles, VirtualPendant::kStalledWritesBeforeFailure + 1);
  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(window->writeHandle, kInvalidHandle);
  EXPECT_EQ(pendant.openHandleCount(), 1);  // the probe handle only
  const std::vector<std::string> calls = fakeHost.take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "DoButton 1021"), 0);
}

TEST_F(PendantLinkTest, JogHoldTicksCountDownOncePerCycleAndStopAtZero) {
  ASSERT_TRUE(window->discoverDevice());
  window->jogHoldTicks = 2;
  window->runReportCycle();
  EXPECT_EQ(window->jogHoldTicks, 1);
  window->runReportCycle();
  window->runReportCycle();
  EXPECT_EQ(window->jogHoldTicks, 0);
}

struct OutputCase {
  int32_t axisIndex;
  bool led800;
  bool led804;
  bool led805;
  Bytes expected;
};

class OutputReportTest : public PendantLinkTest,
                         public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputReportTest, MirrorsTheLedsAndTheAxis) {
  const OutputCase& c = GetParam();
  ASSERT_TRUE(window->discoverDevice());
  window->axisIndex = c.axisIndex;
  fakeHost.leds[led::kReset] = c.led800;
  fakeHost.leds[led::kCycleRunning] = c.led804;
  fakeHost.leds[led::kFeedHold] = c.led805;
  window->outputReport[2] = 0xEE;  // whatever the buffer held before is overwritten
  window->buildOutputReport();
  if (c.axisIndex >= 0 && c.axisIndex <= 5) {
    // Through the cycle too (the decoders do not move the axis without a report).
    window->runReportCycle();
    ASSERT_FALSE(pendant.writtenReports().empty());
    EXPECT_EQ(pendant.writtenReports().back(), c.expected);
  }
  EXPECT_EQ(Bytes(std::to_array(window->outputReport)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Reports, OutputReportTest,
                         ::testing::Values(OutputCase{0, false, false, false, {0, 0, 0, 0, 0}},
                                           OutputCase{5, false, true, false, {0, 0x54, 0, 0, 0}},
                                           OutputCase{2, true, false, true, {0, 0x29, 0, 0, 0}},
                                           OutputCase{1, true, true, true, {0, 0x1D, 0, 0, 0}},
                                           OutputCase{9, false, false, false, {0, 0x10, 0, 0, 0}}));

TEST_F(PendantLinkTest, OutputReportAsksTheLedsInOrder) {
  fakeHost.recordReads = true;
  window->buildOutputReport();
  EXPECT_EQ(fakeHost.calls,
            (std::vector<std::string>{"GetLED 800 -> 0", "GetLED 804 -> 0", "GetLED 805 -> 0"}));
}

struct IdleCase {
  const char* name;
  int32_t busy;
  int32_t plannerB;  // plannerA is 7
  int32_t engineB;   // engineA is 9
  int32_t absoluteWord;
  bool before;
  bool after;
};

class IdleTest : public PendantLinkTest, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleTest, RefreshesRestoreAbsoluteOnlyWhenTheHostIsIdle) {
  const IdleCase& c = GetParam();
  ASSERT_TRUE(window->discoverDevice());
  fakeHost.planner.busyWord = c.busy;
  fakeHost.planner.queueWordA = 7;
  fakeHost.planner.queueWordB = c.plannerB;
  fakeHost.engine.queueWordA = 9;
  fakeHost.engine.queueWordB = c.engineB;
  fakeHost.setup.absoluteWord = c.absoluteWord;
  window->restoreAbsolute = c.before;
  window->runReportCycle();
  EXPECT_EQ(window->restoreAbsolute, c.after);
}

INSTANTIATE_TEST_SUITE_P(Host, IdleTest,
                         ::testing::Values(IdleCase{"IdleAbsoluteZero", 0, 7, 9, 0, false, true},
                                           IdleCase{"IdleAbsoluteSet", 0, 7, 9, 1, true, false},
                                           IdleCase{"Busy", 1, 7, 9, 1, true, true},
                                           IdleCase{"PlannerQueued", 0, 8, 9, 1, true, true},
                                           IdleCase{"EngineQueued", 0, 7, 10, 0, false, false}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace k4

namespace k4 {
namespace {

// A pendant found, or plugged in again, with its wheel counter far from the last reading: the
// first report read is the reference, so no axis moves with nobody at the wheel.
TEST_F(PendantLinkTest, FirstReportAfterDiscoveryOrArrivalIsNotAWheelMovement) {
  pendantSettings.StepJogRate = 100;
  ASSERT_TRUE(window->discoverDevice());
  window->jogMode = 1;
  window->previousJogMode = 1;
  window->runReportCycle();  // nothing read yet: the all-zero report
  pendant.queueReport(Report{0, 200, 0, 0, 1, 0, 0, 0});
  window->runReportCycle();
  pendant.queueReport(Report{0, 203, 0, 0, 1, 0, 0, 0});
  window->runReportCycle();
  std::vector<std::string> codes;
  for (const std::string& call : fakeHost.take()) {
    if (call.rfind("Code", 0) == 0)
      codes.push_back(call);
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"Code \"G91G1 F100 X 0.0030\"", "Code \"G90\""}));

  pendant.unplug();
  pendant.plug();
  pendant.queueReport(Report{0, 100, 0, 0, 1, 0, 0, 0});  // 103 counts away from 203
  window->runReportCycle();
  for (const std::string& call : fakeHost.take())
    EXPECT_EQ(call.rfind("Code", 0), std::string::npos) << call;
  EXPECT_EQ(window->wheelSteps, 0);
}

}  // namespace
}  // namespace k4
