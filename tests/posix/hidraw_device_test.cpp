// The hidraw device services against a temporary sysfs and device tree. FIFOs stand in for nodes
// that are only probed; a pseudo-terminal stands in for the pendant, since it carries reports
// both ways: what the test writes on the master side is read as input reports, and the output
// reports the plug-in writes arrive on the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fake_host.h"
#include "link/pendant_window.h"
#include "manual_host_view.h"
#include "platform/posix/hidraw_device.h"
#include "platform/posix/hidraw_report_layout.h"
#include "platform/window.h"

namespace k4 {
namespace {

namespace fs = std::filesystem;
using posix::HidrawDevices;

constexpr const char* kPendantId = "HID_ID=0003:000004D8:0000FCE5";

using test::ManualHostView;

class HidrawTree {
 public:
  HidrawTree() {
    char pattern[] = "/tmp/k4-hidraw-XXXXXX";
    root_ = ::mkdtemp(pattern);
    fs::create_directories(sysfs() + "/class/hidraw");
    fs::create_directories(dev());
  }
  ~HidrawTree() {
    for (int master : masters_)
      ::close(master);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  HidrawTree(const HidrawTree&) = delete;
  HidrawTree& operator=(const HidrawTree&) = delete;

  std::string sysfs() const { return root_ + "/sys"; }
  std::string dev() const { return root_ + "/dev"; }
  std::string node(int number) const { return dev() + "/hidraw" + std::to_string(number); }

  void addSysfsEntry(const std::string& name, const std::string& uevent) {
    const std::string dir = sysfs() + "/class/hidraw/" + name + "/device";
    fs::create_directories(dir);
    std::ofstream(dir + "/uevent") << "DRIVER=hid-generic\n" << uevent << "\nHID_NAME=x\n";
  }
  void addFifoNode(int number) { ASSERT_EQ(::mkfifo(node(number).c_str(), 0600), 0); }
  // sysfs's copy of the device's report descriptor, which the backend reads when the node
  // (here no hidraw device) cannot answer for itself.
  void addReportDescriptor(const std::string& name, const std::vector<uint8_t>& descriptor) {
    const std::string dir = sysfs() + "/class/hidraw/" + name + "/device";
    fs::create_directories(dir);
    std::ofstream(dir + "/report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptor.data()),
               static_cast<std::streamsize>(descriptor.size()));
  }

  // A pseudo-terminal in raw mode as hidrawN; returns the master side.
  int addTerminalNode(int number) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(::grantpt(master), 0);
    EXPECT_EQ(::unlockpt(master), 0);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    fs::create_symlink(::ptsname(master), node(number));
    masters_.push_back(master);
    return master;
  }

 private:
  std::string root_;
  std::vector<int> masters_;
};

// Reads exactly n bytes that the plug-in wrote, waiting up to a second for them.
std::vector<uint8_t> readFromMaster(int master, std::size_t n) {
  std::vector<uint8_t> bytes;
  while (bytes.size() < n) {
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 1000) != 1)
      break;
    uint8_t buffer[64];
    const ssize_t count = ::read(master, buffer, std::min(sizeof buffer, n - bytes.size()));
    if (count <= 0)
      break;
    bytes.insert(bytes.end(), buffer, buffer + count);
  }
  return bytes;
}

// The terminal hands written bytes over to the other side asynchronously.
void waitReadable(DeviceHandle handle) {
  pollfd ready{static_cast<int>(handle), POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 1000), 1);
}

void writeToMaster(int master, const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::tcdrain(master);
}

// ---- Enumeration and attributes
// ------------------------------------------------------------------

TEST(HidrawEnumeration, ListsNodesByNumberWithTheirIds) {
  HidrawTree tree;
  tree.addSysfsEntry("hidraw10", kPendantId);
  tree.addSysfsEntry("hidraw2", "HID_ID=0003:00001234:00005678");
  tree.addSysfsEntry("hidraw0", "HID_ID=garbage");
  tree.addSysfsEntry("hidrawx", kPendantId);  // not a hidraw node name
  tree.addSysfsEntry("card0", kPendantId);
  for (int number : {0, 2, 10})
    tree.addFifoNode(number);

  HidrawDevices devices(tree.sysfs(), tree.dev());
  devices.beginEnumeration();
  std::vector<std::string> paths;
  std::string path;
  for (uint32_t index = 0; devices.interfacePath(index, path); ++index)
    paths.push_back(path);
  devices.endEnumeration();
  EXPECT_EQ(paths, (std::vector<std::string>{tree.node(0), tree.node(2), tree.node(10)}));

  struct Expected {
    bool known;
    uint16_t vendorId;
    uint16_t productId;
  };
  const Expected expected[] = {{false, 0, 0}, {true, 0x1234, 0x5678}, {true, 0x04D8, 0xFCE5}};
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const DeviceHandle probe = devices.openProbe(paths[i]);
    ASSERT_NE(probe, kInvalidHandle) << paths[i];
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    EXPECT_EQ(devices.attributes(probe, vendorId, productId), expected[i].known) << paths[i];
    if (expected[i].known) {
      EXPECT_EQ(vendorId, expected[i].vendorId);
      EXPECT_EQ(productId, expected[i].productId);
    }
    devices.close(probe);
  }
}

TEST(HidrawEnumeration, NoSysfsClassMeansNoInterfaces) {
  HidrawDevices devices("/nonexistent/k4-sys", "/nonexistent/k4-dev");
  devices.beginEnumeration();
  std::string path;
  EXPECT_FALSE(devices.interfacePath(0, path));
  devices.endEnumeration();
  EXPECT_EQ(devices.openProbe("/nonexistent/k4-dev/hidraw0"), kInvalidHandle);
}

TEST(HidrawEnumeration, AProbeNeedsNoAccessToTheNode) {
  HidrawTree tree;
  tree.addSysfsEntry("hidraw0", kPendantId);
  tree.addFifoNode(0);
  ::chmod(tree.node(0).c_str(), 0);
  HidrawDevices devices(tree.sysfs(), tree.dev());
  const DeviceHandle probe = devices.openProbe(tree.node(0));
  ASSERT_NE(probe, kInvalidHandle);
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  EXPECT_TRUE(devices.attributes(probe, vendorId, productId));
  EXPECT_EQ(vendorId, 0x04D8);
  // Attributes are only answered for probe handles.
  EXPECT_FALSE(devices.attributes(probe + 1000, vendorId, productId));
  devices.close(probe);
  EXPECT_FALSE(devices.attributes(probe, vendorId, productId));
}

struct HidIdCase {
  const char* uevent;
  bool valid;
  uint16_t vendorId;
  uint16_t productId;
};

class HidIdTest : public ::testing::TestWithParam<HidIdCase> {};

TEST_P(HidIdTest, Parses) {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  EXPECT_EQ(posix::parseHidId(GetParam().uevent, vendorId, productId), GetParam().valid);
  if (GetParam().valid) {
    EXPECT_EQ(vendorId, GetParam().vendorId);
    EXPECT_EQ(productId, GetParam().productId);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Uevents, HidIdTest,
    ::testing::Values(HidIdCase{"HID_ID=0003:000004D8:0000FCE5", true, 0x04D8, 0xFCE5},
                      HidIdCase{"DRIVER=hid-generic\nHID_ID=0005:0000046d:0000b023\n", true, 0x046D,
                                0xB023},
                      HidIdCase{"DRIVER=hid-generic\n", false, 0, 0},
                      HidIdCase{"HID_ID=0003:000004D8", false, 0, 0},
                      HidIdCase{"HID_ID=0003:0000zzzz:0000FCE5", false, 0, 0},
                      HidIdCase{"HID_ID=0003:000104D8:0000FCE5", false, 0, 0},
                      HidIdCase{"HID_ID=0003::0000FCE5", false, 0, 0},
                      HidIdCase{"XHID_ID=0003:000004D8:0000FCE5", false, 0, 0}));

TEST(HidrawRoots, ComeFromTheEnvironmentWhenSet) {
  ::setenv("K4_SYSFS_ROOT", "/tmp/k4-a/sys", 1);
  ::setenv("K4_DEV_ROOT", "/tmp/k4-a/dev", 1);
  EXPECT_EQ(HidrawDevices::sysfsRootFromEnvironment(), "/tmp/k4-a/sys");
  EXPECT_EQ(HidrawDevices::devRootFromEnvironment(), "/tmp/k4-a/dev");
  ::unsetenv("K4_SYSFS_ROOT");
  ::unsetenv("K4_DEV_ROOT");
  EXPECT_EQ(HidrawDevices::sysfsRootFromEnvironment(), "/sys");
  EXPECT_EQ(HidrawDevices::devRootFromEnvironment(), "/dev");
}

// ---- Reports ------------------------------------------------------------------------------------

class HidrawReportTest : public ::testing::Test {
 protected:
  HidrawReportTest() : devices(tree.sysfs(), tree.dev()) {
    tree.addSysfsEntry("hidraw0", kPendantId);
    master = tree.addTerminalNode(0);
    readHandle = devices.openRead(tree.node(0));
    writeHandle = devices.openWrite(tree.node(0));
  }
  ~HidrawReportTest() override {
    devices.close(readHandle);
    devices.close(writeHandle);
  }

  HidrawTree tree;
  HidrawDevices devices;
  int master = -1;
  DeviceHandle readHandle = kInvalidHandle;
  DeviceHandle writeHandle = kInvalidHandle;
};

TEST_F(HidrawReportTest, ReadsWholeReportsOneAtATime) {
  ASSERT_NE(readHandle, kInvalidHandle);
  uint8_t report[kInputReportSize] = {};
  EXPECT_FALSE(devices.readReport(readHandle, report, kReadWaitMs));

  writeToMaster(master, {0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_TRUE(devices.readReport(readHandle, report, 200));
  EXPECT_EQ(std::vector<uint8_t>(report, report + 8),
            (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));

  // A partial report is not a report, and leaves the buffer as it was.
  writeToMaster(master, {9, 9, 9});
  EXPECT_FALSE(devices.readReport(readHandle, report, 200));
  EXPECT_EQ(report[1], 1);
}

TEST_F(HidrawReportTest, AReportLandingAfterTheWaitIsReturnedByTheNextRead) {
  uint8_t report[kInputReportSize] = {};
  EXPECT_FALSE(devices.readReport(readHandle, report, kReadWaitMs));
  writeToMaster(master, {0, 0x11, 0, 0, 0, 0, 0, 0x22});
  ASSERT_TRUE(devices.readReport(readHandle, report, 200));
  EXPECT_EQ(report[1], 0x11);
  EXPECT_EQ(report[7], 0x22);
}

TEST_F(HidrawReportTest, WritesTheFiveOutputBytesUnchanged) {
  ASSERT_NE(writeHandle, kInvalidHandle);
  const uint8_t output[kOutputReportSize] = {0x00, 0x54, 0x00, 0x00, 0x00};
  EXPECT_EQ(devices.writeReport(writeHandle, output), WriteResult::Sent);
  EXPECT_EQ(readFromMaster(master, 5), (std::vector<uint8_t>{0x00, 0x54, 0x00, 0x00, 0x00}));
}

// A device that stops taking output never holds the caller: while it refuses, each report is
// skipped at once (this test would hang on a blocking write), and once it has refused past the
// limit the write counts as failed. Taking output again, it gets the next report. A FIFO whose
// reader never reads stands in for the device.
TEST(HidrawWrite, AWriteThatWouldBlockIsSkippedThenGivenUp) {
  HidrawTree tree;
  tree.addSysfsEntry("hidraw0", kPendantId);
  tree.addFifoNode(0);
  const int reader = ::open(tree.node(0).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  HidrawDevices devices(tree.sysfs(), tree.dev());
  devices.setWritePendingLimitMs(100);
  const DeviceHandle writeHandle = devices.openWrite(tree.node(0));
  ASSERT_NE(writeHandle, kInvalidHandle);
  const uint8_t output[kOutputReportSize] = {0x00, 0x54, 0x00, 0x00, 0x00};
  WriteResult result = WriteResult::Sent;
  for (int writes = 0; result == WriteResult::Sent && writes < 1000000; ++writes)
    result = devices.writeReport(writeHandle, output);
  ASSERT_EQ(result, WriteResult::Busy);
  EXPECT_EQ(devices.writeReport(writeHandle, output), WriteResult::Busy);
  ::usleep(150000);
  EXPECT_EQ(devices.writeReport(writeHandle, output), WriteResult::Failed);

  uint8_t drained[4096];
  while (::read(reader, drained, sizeof drained) > 0) {
  }
  EXPECT_EQ(devices.writeReport(writeHandle, output), WriteResult::Sent);
  devices.close(writeHandle);
  ::close(reader);
}

TEST_F(HidrawReportTest, InvalidAndMismatchedHandlesFailQuietly) {
  uint8_t report[kInputReportSize] = {};
  const uint8_t output[kOutputReportSize] = {};
  EXPECT_FALSE(devices.readReport(kInvalidHandle, report, kReadWaitMs));
  EXPECT_EQ(devices.writeReport(kInvalidHandle, output), WriteResult::Failed);
  devices.close(kInvalidHandle);
  // A read handle is no write handle and the other way round.
  EXPECT_EQ(devices.writeReport(readHandle, output), WriteResult::Failed);
  EXPECT_FALSE(devices.readReport(writeHandle, report, kReadWaitMs));
}

// ---- Report layouts -----------------------------------------------------------------------------

// The pendant's reports in the two layouts a device may give them: 7 input and 4 output data
// bytes without report ids, and the same as numbered reports (input 1, output 2) beside a
// shorter input report 3 of another function.
const std::vector<uint8_t> kUnnumberedDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x95, 0x07, 0x09, 0x02, 0x81, 0x02, 0x95, 0x04, 0x09, 0x03, 0x91, 0x02, 0xC0};
const std::vector<uint8_t> kNumberedDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
    0x08, 0x85, 0x03, 0x95, 0x02, 0x09, 0x04, 0x81, 0x02, 0x85, 0x01, 0x95, 0x07,
    0x09, 0x02, 0x81, 0x02, 0x85, 0x02, 0x95, 0x04, 0x09, 0x03, 0x91, 0x02, 0xC0};

struct DescriptorCase {
  const char* name;
  std::vector<uint8_t> descriptor;
  bool known;
  bool numbered;
  uint8_t inputId;
  uint8_t outputId;
};

class DescriptorTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(DescriptorTest, GivesTheLayout) {
  const DescriptorCase& c = GetParam();
  const posix::ReportLayout layout =
      posix::parseReportDescriptor(c.descriptor.data(), c.descriptor.size());
  EXPECT_EQ(layout.known, c.known);
  EXPECT_EQ(layout.numbered, c.numbered);
  EXPECT_EQ(layout.inputId, c.inputId);
  EXPECT_EQ(layout.outputId, c.outputId);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, DescriptorTest,
    ::testing::Values(DescriptorCase{"Unnumbered", kUnnumberedDescriptor, true, false, 0, 0},
                      DescriptorCase{"Numbered", kNumberedDescriptor, true, true, 1, 2},
                      DescriptorCase{"Empty", {}, false, false, 0, 0},
                      // Report Size 8 pushed, changed to 1 for a 4-bit input, popped for the 7-byte
                      // one; a long item in between is skipped.
                      DescriptorCase{
                          "PushPopAndLongItem",
                          {0x75, 0x08, 0x85, 0x05, 0xA4, 0x75, 0x01, 0x95, 0x04, 0x81, 0x02, 0xB4,
                           0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x85, 0x06, 0x95, 0x07, 0x81, 0x02},
                          true,
                          true,
                          6,
                          0},
                      // Cut off inside an item: what came before still counts.
                      DescriptorCase{"Truncated",
                                     {0x85, 0x01, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0x26, 0xFF},
                                     true,
                                     true,
                                     1,
                                     0}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct InputCase {
  const char* name;
  posix::ReportLayout layout;
  std::vector<uint8_t> read;
  bool isReport;
  std::vector<uint8_t> report;  // what the decoders see
};

class InputReportTest : public ::testing::TestWithParam<InputCase> {};

TEST_P(InputReportTest, Frames) {
  const InputCase& c = GetParam();
  uint8_t report[kInputReportSize] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(posix::takeInputReport(c.layout, c.read.data(), c.read.size(), report), c.isReport);
  const std::vector<uint8_t> expected =
      c.isReport ? c.report : std::vector<uint8_t>(kInputReportSize, 0xEE);
  EXPECT_EQ(std::vector<uint8_t>(report, report + kInputReportSize), expected);
}

constexpr posix::ReportLayout kUnnumbered{true, false, 0, 0};
constexpr posix::ReportLayout kNumbered{true, true, 1, 2};
constexpr posix::ReportLayout kNumberedNoPendantId{true, true, 0, 0};
constexpr posix::ReportLayout kUnknown{};

INSTANTIATE_TEST_SUITE_P(
    Reads, InputReportTest,
    ::testing::Values(
        InputCase{"UnnumberedSevenBytes",
                  kUnnumbered,
                  {1, 2, 3, 4, 5, 6, 7},
                  true,
                  {0, 1, 2, 3, 4, 5, 6, 7}},
        InputCase{"UnnumberedEightBytes", kUnnumbered, {0, 1, 2, 3, 4, 5, 6, 7}, false, {}},
        InputCase{"UnnumberedSixBytes", kUnnumbered, {1, 2, 3, 4, 5, 6}, false, {}},
        InputCase{"NumberedKeepsItsId",
                  kNumbered,
                  {1, 9, 8, 7, 6, 5, 4, 3},
                  true,
                  {1, 9, 8, 7, 6, 5, 4, 3}},
        InputCase{"NumberedOtherReport", kNumbered, {3, 9, 8, 7, 6, 5, 4, 3}, false, {}},
        InputCase{"NumberedSevenBytes", kNumbered, {1, 9, 8, 7, 6, 5, 4}, false, {}},
        InputCase{"NumberedNineBytes", kNumbered, {1, 9, 8, 7, 6, 5, 4, 3, 2}, false, {}},
        InputCase{"NumberedWithoutPendantId",
                  kNumberedNoPendantId,
                  {5, 1, 1, 1, 1, 1, 1, 1},
                  true,
                  {5, 1, 1, 1, 1, 1, 1, 1}},
        InputCase{"UnknownEightBytes",
                  kUnknown,
                  {0, 1, 2, 3, 4, 5, 6, 7},
                  true,
                  {0, 1, 2, 3, 4, 5, 6, 7}},
        InputCase{
            "UnknownSevenBytes", kUnknown, {1, 2, 3, 4, 5, 6, 7}, true, {0, 1, 2, 3, 4, 5, 6, 7}},
        InputCase{"UnknownThreeBytes", kUnknown, {9, 9, 9}, false, {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(OutputReport, CarriesTheOutputReportsIdOnlyWhenTheDeviceNumbersIt) {
  const uint8_t report[kOutputReportSize] = {0x00, 0x54, 0x00, 0x00, 0x00};
  uint8_t framed[kOutputReportSize] = {};
  posix::frameOutputReport(kUnnumbered, report, framed);
  EXPECT_EQ(std::vector<uint8_t>(framed, framed + 5), (std::vector<uint8_t>{0, 0x54, 0, 0, 0}));
  posix::frameOutputReport(kNumbered, report, framed);
  EXPECT_EQ(std::vector<uint8_t>(framed, framed + 5), (std::vector<uint8_t>{2, 0x54, 0, 0, 0}));
  posix::frameOutputReport(kNumberedNoPendantId, report, framed);
  EXPECT_EQ(framed[0], 0);
}

// The layout comes from the device's descriptor when the node is opened, and frames every read
// and write through that handle.
TEST(HidrawLayout, TakenFromTheDescriptorWhenTheNodeIsOpened) {
  for (const bool numbered : {false, true}) {
    SCOPED_TRACE(numbered ? "numbered" : "unnumbered");
    HidrawTree tree;
    tree.addSysfsEntry("hidraw0", kPendantId);
    tree.addReportDescriptor("hidraw0", numbered ? kNumberedDescriptor : kUnnumberedDescriptor);
    const int master = tree.addTerminalNode(0);
    HidrawDevices devices(tree.sysfs(), tree.dev());
    const DeviceHandle readHandle = devices.openRead(tree.node(0));
    const DeviceHandle writeHandle = devices.openWrite(tree.node(0));
    ASSERT_NE(readHandle, kInvalidHandle);
    EXPECT_EQ(devices.layoutOf(readHandle).numbered, numbered);
    EXPECT_EQ(devices.layoutOf(writeHandle).numbered, numbered);

    uint8_t report[kInputReportSize] = {};
    const uint8_t id = numbered ? 1 : 0;
    // The pendant's own report, then one of the wrong length, which changes nothing.
    std::vector<uint8_t> sent = {0x11, 0x22, 0, 0, 0x05, 0, 0};
    if (numbered)
      sent.insert(sent.begin(), id);
    writeToMaster(master, sent);
    ASSERT_TRUE(devices.readReport(readHandle, report, 200));
    EXPECT_EQ(std::vector<uint8_t>(report, report + 8),
              (std::vector<uint8_t>{id, 0x11, 0x22, 0, 0, 0x05, 0, 0}));
    writeToMaster(master, numbered ? std::vector<uint8_t>{3, 0x7F, 0x7F}
                                   : std::vector<uint8_t>{0, 0x7F, 0x7F, 0, 0, 0, 0, 0});
    EXPECT_FALSE(devices.readReport(readHandle, report, 200));
    EXPECT_EQ(report[1], 0x11);

    // The device gets the four data bytes after a 0, or after its output report's id.
    const uint8_t output[kOutputReportSize] = {0x00, 0x54, 0x00, 0x00, 0x00};
    EXPECT_EQ(devices.writeReport(writeHandle, output), WriteResult::Sent);
    EXPECT_EQ(readFromMaster(master, 5),
              (std::vector<uint8_t>{static_cast<uint8_t>(numbered ? 2 : 0), 0x54, 0, 0, 0}));
    devices.close(readHandle);
    devices.close(writeHandle);
    EXPECT_FALSE(devices.layoutOf(readHandle).known);
  }
}

// ---- Notifications and the whole link -----------------------------------------------------------

class RecordingSink final : public WindowSink {
 public:
  void onTimer(uint32_t) override {}
  void onDeviceChange(uint32_t eventType, uint32_t deviceType, const char* deviceName) override {
    events.push_back(std::to_string(eventType) + " " + std::to_string(deviceType) + " " +
                     deviceName);
  }
  std::vector<std::string> events;
};

TEST(HidrawNotifications, NodesAppearingAndVanishingUnderTheDevRoot) {
  HidrawTree tree;
  HidrawDevices devices(tree.sysfs(), tree.dev());
  ManualHostView view;
  RecordingSink sink;
  std::unique_ptr<NativeWindow> window = createNativeWindow();
  ASSERT_TRUE(window->create(view.view(), sink));
  ASSERT_TRUE(devices.registerNotifications(*window));
  ASSERT_EQ(view.watchCount(), 1u);
  EXPECT_TRUE(devices.registerNotifications(*window));  // once is enough
  EXPECT_EQ(view.watchCount(), 1u);

  const std::string arrival = "32768 5 " + tree.node(3);
  const std::string removal = "32772 5 " + tree.node(3);
  tree.addFifoNode(3);
  std::ofstream(tree.dev() + "/ttyS0") << "";  // other nodes are not HID interfaces
  view.pumpWatches();
  EXPECT_EQ(sink.events, std::vector<std::string>{arrival});

  sink.events.clear();
  ::chmod(tree.node(3).c_str(), 0660);  // udev granting access: try the reopen again
  view.pumpWatches();
  EXPECT_EQ(sink.events, std::vector<std::string>{arrival});

  sink.events.clear();
  fs::remove(tree.node(3));
  fs::remove(tree.dev() + "/ttyS0");
  view.pumpWatches();
  EXPECT_EQ(sink.events, std::vector<std::string>{removal});

  devices.unregisterNotifications(*window);
  EXPECT_EQ(view.watchCount(), 0u);
  sink.events.clear();
  tree.addFifoNode(3);
  view.pumpWatches();
  EXPECT_TRUE(sink.events.empty());
}

// devtmpfs changes a node's attributes right after creating it and right before removing it;
// udev changes them to grant the user access. Only a change that may make the node openable
// for the link is an arrival.
TEST(HidrawNotifications, AnAttributeChangeIsAnArrivalUnlessTheLinkIsOpenOnThatNode) {
  HidrawTree tree;
  HidrawDevices devices(tree.sysfs(), tree.dev());
  ManualHostView view;
  RecordingSink sink;
  std::unique_ptr<NativeWindow> window = createNativeWindow();
  ASSERT_TRUE(window->create(view.view(), sink));
  ASSERT_TRUE(devices.registerNotifications(*window));
  const std::string arrival = "32768 5 " + tree.node(4);
  const std::string removal = "32772 5 " + tree.node(4);
  auto changeAttributes = [&] {
    ::chmod(tree.node(4).c_str(), 0660);
    view.pumpWatches();
    return std::exchange(sink.events, {});
  };
  const std::vector<std::string> none;

  tree.addFifoNode(4);
  view.pumpWatches();
  EXPECT_EQ(std::exchange(sink.events, {}), std::vector<std::string>{arrival});
  EXPECT_EQ(changeAttributes(), std::vector<std::string>{arrival}) << "nothing open yet";

  DeviceHandle readHandle = devices.openRead(tree.node(4));
  ASSERT_NE(readHandle, kInvalidHandle);
  EXPECT_EQ(changeAttributes(), std::vector<std::string>{arrival}) << "no write handle yet";
  DeviceHandle writeHandle = devices.openWrite(tree.node(4));
  ASSERT_NE(writeHandle, kInvalidHandle);
  EXPECT_EQ(changeAttributes(), none) << "the link is open on this node";

  // Removal as devtmpfs does it: attributes first, then the name; whether the attribute change
  // is read before the node is gone or after, it is no arrival.
  ::chmod(tree.node(4).c_str(), 0600);
  view.pumpWatches();
  fs::remove(tree.node(4));
  view.pumpWatches();
  EXPECT_EQ(std::exchange(sink.events, {}), std::vector<std::string>{removal});
  tree.addFifoNode(4);
  view.pumpWatches();
  sink.events.clear();
  ::chmod(tree.node(4).c_str(), 0600);
  fs::remove(tree.node(4));
  view.pumpWatches();
  EXPECT_EQ(std::exchange(sink.events, {}), std::vector<std::string>{removal});

  // The handles still open belong to the node that went away, not to the new one.
  tree.addFifoNode(4);
  view.pumpWatches();
  EXPECT_EQ(std::exchange(sink.events, {}), std::vector<std::string>{arrival});
  EXPECT_EQ(changeAttributes(), std::vector<std::string>{arrival});
  devices.close(readHandle);
  devices.close(writeHandle);
  readHandle = devices.openRead(tree.node(4));
  writeHandle = devices.openWrite(tree.node(4));
  EXPECT_EQ(changeAttributes(), none);
  devices.close(writeHandle);
  EXPECT_EQ(changeAttributes(), std::vector<std::string>{arrival}) << "write handle closed";
  devices.close(readHandle);
  devices.unregisterNotifications(*window);
}

TEST(HidrawNotifications, NeedAHostView) {
  HidrawTree tree;
  HidrawDevices devices(tree.sysfs(), tree.dev());
  RecordingSink sink;
  std::unique_ptr<NativeWindow> window = createNativeWindow();
  window->create(nullptr, sink);
  EXPECT_FALSE(devices.registerNotifications(*window));
}

// Hotplug on hidraw: the pendant absent when the plug-in starts is found when its node appears;
// pulled out, its old node taken by another device, it comes back under a new node and is
// found there; the other device leaving its old node is no removal of the pendant.
TEST(HidrawLink, FindsThePendantWheneverAndUnderWhicheverNodeItAppears) {
  test::FakeHost fakeHost;
  HidrawTree tree;
  tree.addSysfsEntry("hidraw0", "HID_ID=0003:00001234:00005678");
  tree.addFifoNode(0);
  HidrawDevices devices(tree.sysfs(), tree.dev());
  ManualHostView view;
  auto window = std::make_unique<PendantWindow>(devices);
  ASSERT_TRUE(window->createNativeWindow(view.view()));
  ASSERT_FALSE(window->discoverDevice());
  EXPECT_EQ(view.watchCount(), 1u);  // watching although no pendant was found

  tree.addSysfsEntry("hidraw3", kPendantId);
  int master = tree.addTerminalNode(3);
  view.pumpWatches();
  ASSERT_TRUE(window->deviceConnected);
  EXPECT_EQ(window->devicePath, tree.node(3));
  writeToMaster(master, {0, 0, 0, 0, 0, 0, 0, 0x5A});
  waitReadable(window->readHandle);
  view.fireTimers();
  EXPECT_EQ(window->reportWord1, 0x5A000000u);

  fakeHost.take();
  fs::remove(tree.node(3));
  view.pumpWatches();
  EXPECT_EQ(fakeHost.take(), std::vector<std::string>{"DoButton 1021"});
  // Another device takes hidraw3; the pendant comes back as hidraw4.
  tree.addSysfsEntry("hidraw3", "HID_ID=0003:00001234:00005679");
  tree.addFifoNode(3);
  view.pumpWatches();
  EXPECT_FALSE(window->deviceConnected);
  tree.addSysfsEntry("hidraw4", kPendantId);
  master = tree.addTerminalNode(4);
  view.pumpWatches();
  ASSERT_TRUE(window->deviceConnected);
  EXPECT_EQ(window->devicePath, tree.node(4));
  writeToMaster(master, {0, 0, 0, 0, 0, 0, 0, 0x6B});
  waitReadable(window->readHandle);
  view.fireTimers();
  EXPECT_EQ(window->reportWord1, 0x6B000000u);
  fakeHost.take();
  fs::remove(tree.node(3));
  view.pumpWatches();
  EXPECT_TRUE(fakeHost.take().empty());
  EXPECT_TRUE(window->deviceConnected);
  window.reset();
}

TEST(HidrawLink, DiscoversReadsWritesAndFollowsUnplugAndReplug) {
  test::FakeHost fakeHost;
  HidrawTree tree;
  tree.addSysfsEntry("hidraw0", "HID_ID=0003:00001234:00005678");
  tree.addSysfsEntry("hidraw1", kPendantId);
  tree.addFifoNode(0);
  int master = tree.addTerminalNode(1);
  HidrawDevices devices(tree.sysfs(), tree.dev());
  ManualHostView view;
  auto window = std::make_unique<PendantWindow>(devices);
  ASSERT_TRUE(window->createNativeWindow(view.view()));

  ASSERT_TRUE(window->discoverDevice());
  EXPECT_EQ(window->devicePath, tree.node(1));
  EXPECT_EQ(view.timerPeriodMs(), 25u);
  EXPECT_EQ(view.watchCount(), 1u);

  writeToMaster(master, {0, 0, 0, 0, 0, 0, 0, 0x5A});
  waitReadable(window->readHandle);
  window->axisIndex = 5;
  fakeHost.leds[804] = true;
  view.fireTimers();
  EXPECT_EQ(window->reportWord1, 0x5A000000u);
  EXPECT_EQ(readFromMaster(master, 5), (std::vector<uint8_t>{0x00, 0x54, 0x00, 0x00, 0x00}));

  // Unplugged: the node goes away.
  fakeHost.take();
  fs::remove(tree.node(1));
  view.pumpWatches();
  EXPECT_FALSE(window->deviceConnected);
  EXPECT_EQ(fakeHost.take(), std::vector<std::string>{"DoButton 1021"});
  EXPECT_EQ(window->readHandle, kInvalidHandle);

  // Plugged in again under the same name.
  master = tree.addTerminalNode(1);
  view.pumpWatches();
  EXPECT_TRUE(window->deviceConnected);
  ASSERT_NE(window->readHandle, kInvalidHandle);
  writeToMaster(master, {0, 0, 0, 0, 0, 0, 0, 0x6B});
  waitReadable(window->readHandle);
  view.fireTimers();
  EXPECT_EQ(window->reportWord1, 0x6B000000u);

  window.reset();
  EXPECT_EQ(view.watchCount(), 0u);
}

}  // namespace
}  // namespace k4
