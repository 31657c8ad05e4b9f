// The virtual pendant's own promises, on which the link tests and the host simulator rely, as
// the plug-in sees them: through the pendant's C device table and the plug-in's adapter.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "fake_window.h"
#include "handed_pendant.h"

namespace k4 {
namespace {

class VirtualPendantTest : public ::testing::Test {
 protected:
  // Records device changes through a sink, as the pendant window would receive them.
  class Sink final : public WindowSink {
   public:
    void onTimer(uint32_t) override {}
    void onDeviceChange(uint32_t eventType, uint32_t, const char* name) override {
      events.push_back(std::to_string(eventType) + " " + name);
    }
    std::vector<std::string> events;
  };

  VirtualPendantTest() { window.create(nullptr, sink); }

  test::HandedPendant pendant;
  DeviceServices& devices = pendant.services();
  Sink sink;
  test::FakeWindowLog log;
  test::FakeWindow window{log};
  uint8_t report[kInputReportSize] = {};
  const uint8_t output[kOutputReportSize] = {0, 0x54, 0, 0, 0};
};

TEST_F(VirtualPendantTest, NotificationsOnlyAfterRegistration) {
  pendant.unplug();
  pendant.plug();
  EXPECT_TRUE(sink.events.empty());
  devices.registerNotifications(window);
  pendant.unplug("X");
  pendant.arriveOther();
  pendant.removeOther("Y");
  EXPECT_EQ(sink.events,
            (std::vector<std::string>{
                "32772 X", std::string("32768 ") + VirtualPendant::kOtherArrivalPath, "32772 Y"}));
  devices.unregisterNotifications(window);
  pendant.plug();
  EXPECT_EQ(sink.events.size(), 3u);
}

TEST_F(VirtualPendantTest, HandlesOfARemovedPendantStayDeadAfterItReturns) {
  const DeviceHandle read = devices.openRead(VirtualPendant::kPendantPath);
  const DeviceHandle write = devices.openWrite(VirtualPendant::kPendantPath);
  pendant.queueReport({});
  pendant.unplug();
  EXPECT_EQ(devices.openRead(VirtualPendant::kPendantPath), kInvalidHandle);
  pendant.plug();
  EXPECT_FALSE(devices.readReport(read, report, 5));
  EXPECT_EQ(devices.writeReport(write, output), WriteResult::Failed);
  EXPECT_EQ(pendant.queuedReportCount(), 1u);  // the report waits for a live handle
  const DeviceHandle fresh = devices.openRead(VirtualPendant::kPendantPath);
  EXPECT_TRUE(devices.readReport(fresh, report, 5));
  EXPECT_EQ(pendant.openHandleCount(), 3);
  devices.close(read);
  devices.close(read);
  EXPECT_EQ(pendant.badCloseCount(), 1);
}

TEST_F(VirtualPendantTest, EachHandleDoesOnlyWhatItWasOpenedFor) {
  const DeviceHandle probe = devices.openProbe(VirtualPendant::kPendantPath);
  const DeviceHandle read = devices.openRead(VirtualPendant::kPendantPath);
  const DeviceHandle write = devices.openWrite(VirtualPendant::kPendantPath);
  pendant.queueReport({});
  EXPECT_FALSE(devices.readReport(probe, report, 5));
  EXPECT_FALSE(devices.readReport(write, report, 5));
  EXPECT_EQ(devices.writeReport(read, output), WriteResult::Failed);
  EXPECT_TRUE(devices.readReport(read, report, 5));
  EXPECT_EQ(devices.writeReport(write, output), WriteResult::Sent);
  ASSERT_EQ(pendant.writtenReports().size(), 1u);
  EXPECT_EQ(pendant.writtenReports()[0][1], 0x54);
}

TEST_F(VirtualPendantTest, PathsMatchInAnyLetterCaseAndUnknownPathsDoNotOpen) {
  std::string upper = VirtualPendant::kPendantPath;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_NE(devices.openProbe(upper), kInvalidHandle);
  EXPECT_EQ(devices.openProbe("\\\\?\\hid#nothing"), kInvalidHandle);
  EXPECT_EQ(pendant.probesOpened(), 1);
}

}  // namespace
}  // namespace k4
