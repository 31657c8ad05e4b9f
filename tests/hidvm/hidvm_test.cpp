// The hidraw backend and the whole pendant link against the kernel's own HID core and hidraw
// driver, with the real /sys and /dev (K4_SYSFS_ROOT and K4_DEV_ROOT unset), and a uhid
// pendant in each of the two report layouts. Runs inside the test VM (scripts/run/hidvm.sh) as
// root.
#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "link/pendant_window.h"
#include "manual_host_view.h"
#include "platform/posix/hidraw_device.h"
#include "uhid_pendant.h"

namespace k4 {
namespace {

using hidvm::UhidPendant;
using posix::HidrawDevices;
using test::ManualHostView;

int openFdCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir))
      count += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return count;
}

class RealHidraw : public ::testing::TestWithParam<bool> {
 protected:
  RealHidraw() : pendant(GetParam()) {}
  bool numbered() const { return GetParam(); }
  uint8_t inputId() const { return numbered() ? hidvm::kNumberedInputId : 0; }
  uint8_t outputId() const { return numbered() ? hidvm::kNumberedOutputId : 0; }

  UhidPendant pendant;
};

TEST_P(RealHidraw, TheBackendFindsReadsAndWritesThePendant) {
  ASSERT_TRUE(pendant.valid()) << "no /dev/uhid";
  std::string node;
  ASSERT_TRUE(pendant.create(node));
  HidrawDevices devices(HidrawDevices::sysfsRootFromEnvironment(),
                        HidrawDevices::devRootFromEnvironment());
  ASSERT_EQ(devices.sysfsRoot(), "/sys");
  devices.beginEnumeration();
  std::string path;
  ASSERT_TRUE(devices.interfacePath(0, path));
  EXPECT_EQ(path, node);
  devices.endEnumeration();
  const DeviceHandle probe = devices.openProbe(path);
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  ASSERT_TRUE(devices.attributes(probe, vendorId, productId));
  EXPECT_EQ(vendorId, 0x04D8);
  EXPECT_EQ(productId, 0xFCE5);

  const DeviceHandle readHandle = devices.openRead(path);
  const DeviceHandle writeHandle = devices.openWrite(path);
  ASSERT_NE(readHandle, kInvalidHandle);
  ASSERT_NE(writeHandle, kInvalidHandle);
  // The layout is the descriptor's, read back from the kernel.
  EXPECT_TRUE(devices.layoutOf(readHandle).known);
  EXPECT_EQ(devices.layoutOf(readHandle).numbered, numbered());
  EXPECT_EQ(devices.layoutOf(writeHandle).outputId, outputId());

  uint8_t report[kInputReportSize] = {};
  EXPECT_FALSE(devices.readReport(readHandle, report, 5));
  ASSERT_TRUE(pendant.sendReport({0x03, 0x40, 0x18, 0x01, 0, 0, 0x5A}));
  ASSERT_TRUE(devices.readReport(readHandle, report, 1000));
  EXPECT_EQ(std::vector<uint8_t>(report, report + 8),
            (std::vector<uint8_t>{inputId(), 0x03, 0x40, 0x18, 0x01, 0, 0, 0x5A}));
  // Another report of the device's is no report, and the last one stays as it was.
  ASSERT_TRUE(pendant.sendOtherReport());
  EXPECT_FALSE(devices.readReport(readHandle, report, 1000));
  EXPECT_EQ(report[1], 0x03);
  ASSERT_TRUE(pendant.sendReport({0x04, 0, 0, 0x01, 0, 0, 0}));
  ASSERT_TRUE(devices.readReport(readHandle, report, 1000));
  EXPECT_EQ(report[1], 0x04);

  // The device receives the four data bytes of the output report after its report id.
  const uint8_t output[kOutputReportSize] = {0x00, 0x54, 0x00, 0x00, 0x00};
  ASSERT_EQ(devices.writeReport(writeHandle, output), WriteResult::Sent);
  pendant.pump(200);
  ASSERT_EQ(pendant.outputs.size(), 1u);
  EXPECT_EQ(pendant.outputs[0], (std::vector<uint8_t>{outputId(), 0x54, 0, 0, 0}));

  devices.close(probe);
  devices.close(readHandle);
  devices.close(writeHandle);
  pendant.destroy();
}

// Discovery, the report cycle, and three unplug and replug rounds, the pendant removed and
// made again by uhid.
TEST_P(RealHidraw, TheLinkFollowsUnplugAndReplug) {
  ASSERT_TRUE(pendant.valid()) << "no /dev/uhid";
  std::string node;
  ASSERT_TRUE(pendant.create(node));
  test::FakeHost host;
  HidrawDevices devices(HidrawDevices::sysfsRootFromEnvironment(),
                        HidrawDevices::devRootFromEnvironment());
  ManualHostView view;
  auto window = std::make_unique<PendantWindow>(devices);
  ASSERT_TRUE(window->createNativeWindow(view.view()));
  ASSERT_TRUE(window->discoverDevice());
  EXPECT_EQ(window->devicePath, node);
  pendant.pump(50);
  EXPECT_EQ(pendant.opens, 1);

  // One cycle: the report is decoded as the 8 bytes with the report id first, the output
  // report reaches the device.
  auto cycleWith = [&](const std::vector<uint8_t>& data) {
    EXPECT_TRUE(pendant.sendReport(data));
    pollfd ready{static_cast<int>(window->readHandle), POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 1000), 1);
    view.fireTimers();
  };
  cycleWith({0x00, 0, 0, 0x01, 0, 0, 0});
  EXPECT_EQ(window->reportWord0, uint32_t{inputId()});
  EXPECT_EQ(window->reportWord1, 0x01u);
  window->axisIndex = 2;
  cycleWith({0x03, 0, 0, 0x01, 0, 0, 0});
  EXPECT_EQ(window->reportWord0, 0x0300u | inputId());
  pendant.pump(100);
  ASSERT_FALSE(pendant.outputs.empty());
  EXPECT_EQ(pendant.outputs.back()[0], outputId());
  EXPECT_EQ(pendant.outputs.back()[1] & 0x70, 0x20);  // axis Z

  const int fdsConnected = openFdCount();
  host.take();
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(pendant.destroy());
    view.pumpWatches(1000);
    view.pumpWatches(50);  // anything after the removal comes in at once
    EXPECT_FALSE(window->deviceConnected);
    EXPECT_EQ(window->readHandle, kInvalidHandle);
    int resets = 0;
    for (const std::string& call : host.take())
      resets += call == "DoButton 1021";
    EXPECT_EQ(resets, 1);
    view.fireTimers();  // a cycle while it is away reads and writes nothing
    pendant.pump(50);   // the old device's close

    pendant.opens = 0;
    pendant.closes = 0;
    ASSERT_TRUE(pendant.create(node));
    view.pumpWatches(1000);
    view.pumpWatches(50);  // devtmpfs's attribute change after the creation
    EXPECT_TRUE(window->deviceConnected);
    ASSERT_NE(window->readHandle, kInvalidHandle);
    pendant.pump(50);
    // Opened once, not closed again for a second try (which would drop a waiting report).
    EXPECT_EQ(pendant.opens, 1);
    EXPECT_EQ(pendant.closes, 0);
    const uint8_t wheel = static_cast<uint8_t>(0x10 * round);
    cycleWith({wheel, 0, 0, static_cast<uint8_t>(round + 1), 0, 0, 0});
    EXPECT_EQ(window->reportWord0, (uint32_t{wheel} << 8) | inputId());
    EXPECT_EQ(window->reportWord1, uint32_t(round + 1));
    EXPECT_EQ(host.take().empty(), false) << "decoding resumed";
    EXPECT_EQ(openFdCount(), fdsConnected) << "no handle leaked";
  }
  window.reset();
  pendant.destroy();
}

INSTANTIATE_TEST_SUITE_P(Layouts, RealHidraw, ::testing::Values(false, true),
                         [](const auto& testInfo) {
                           return testInfo.param ? "Numbered" : "Unnumbered";
                         });

}  // namespace
}  // namespace k4
