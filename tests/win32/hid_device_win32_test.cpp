// The Windows device services. The system's HID enumeration holds no pendant here (whatever
// virtual devices the system lists); the overlapped read and the synchronous write are exercised
// over a named pipe standing in for the pendant's interface.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fake_window.h"
#include "link/pendant_window.h"
#include "platform/device.h"
#include "platform/win32/hid_device_win32.h"
#include "platform/window.h"

namespace k4 {
namespace {

TEST(Win32HidEnumeration, ListsTheSystemsInterfacesWithoutFindingAPendant) {
  win32::HidDevices devices;
  devices.beginEnumeration();
  std::string path;
  uint32_t index = 0;
  int pendants = 0;
  for (; index < 256 && devices.interfacePath(index, path); ++index) {
    EXPECT_FALSE(path.empty()) << "interface " << index;  // the detail record was read
    const DeviceHandle probe = devices.openProbe(path);
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    if (probe != kInvalidHandle && devices.attributes(probe, vendorId, productId) &&
        vendorId == kPendantVendorId && productId == kPendantProductId) {
      ++pendants;
    }
    devices.close(probe);
  }
  devices.endEnumeration();
  EXPECT_LT(index, 256u);  // the enumeration ends
  EXPECT_EQ(pendants, 0);
  devices.endEnumeration();  // twice is harmless
  EXPECT_FALSE(devices.interfacePath(0, path));
}

TEST(Win32HidEnumeration, DiscoveryFindsNoPendantAndStillStartsTheTimer) {
  test::FakeHost fakeHost;
  test::FakeWindowLog log;
  PendantWindow window(platformDeviceServices(nullptr));
  window.attachNativeWindow(test::makeFakeWindow(log), nullptr);
  EXPECT_FALSE(window.discoverDevice());
  EXPECT_EQ(window.probeHandle, kInvalidHandle);
  EXPECT_EQ(window.readHandle, kInvalidHandle);
  EXPECT_EQ(window.writeHandle, kInvalidHandle);
  EXPECT_EQ(log.timersStarted, 1);
  window.runReportCycle();
  EXPECT_TRUE(fakeHost.calls.empty());
}

// A duplex pipe with two instances: the plug-in's read handle connects to the first, its write
// handle to the second.
class PipePendantTest : public ::testing::Test {
 protected:
  PipePendantTest() {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\k4-pendant-%lu-%d", GetCurrentProcessId(),
                  counter++);
    path = name;
    inputSide = makeInstance();
    readHandle = devices.openRead(path);
    outputSide = makeInstance();
    writeHandle = devices.openWrite(path);
  }
  ~PipePendantTest() override {
    devices.close(readHandle);
    devices.close(writeHandle);
    CloseHandle(inputSide);
    CloseHandle(outputSide);
  }

  HANDLE makeInstance() {
    return CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 4, 64, 64,
                            0, nullptr);
  }
  void sendInput(const std::vector<uint8_t>& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(inputSide, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
  }

  static inline int counter = 0;
  win32::HidDevices devices;
  std::string path;
  HANDLE inputSide = INVALID_HANDLE_VALUE;
  HANDLE outputSide = INVALID_HANDLE_VALUE;
  DeviceHandle readHandle = kInvalidHandle;
  DeviceHandle writeHandle = kInvalidHandle;
};

TEST_F(PipePendantTest, AReportWithinTheWaitIsRead) {
  ASSERT_NE(readHandle, kInvalidHandle);
  sendInput({0, 1, 2, 3, 4, 5, 6, 7});
  uint8_t report[kInputReportSize] = {};
  ASSERT_TRUE(devices.readReport(readHandle, report, kReadWaitMs));
  EXPECT_EQ(std::vector<uint8_t>(report, report + 8),
            (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(devices.readPending());
}

TEST_F(PipePendantTest, ALateReportIsCollectedByTheNextReadWithoutASecondRead) {
  uint8_t report[kInputReportSize] = {};
  EXPECT_FALSE(devices.readReport(readHandle, report, kReadWaitMs));
  EXPECT_TRUE(devices.readPending());
  EXPECT_FALSE(devices.readReport(readHandle, report, kReadWaitMs));  // still the same read
  EXPECT_EQ(report[1], 0);

  sendInput({0, 0x11, 0, 0, 0, 0, 0, 0x22});
  ASSERT_TRUE(devices.readReport(readHandle, report, kReadWaitMs));
  EXPECT_EQ(report[1], 0x11);
  EXPECT_EQ(report[7], 0x22);
  EXPECT_FALSE(devices.readPending());
  // One read was outstanding the whole time: nothing else is waiting to complete.
  EXPECT_FALSE(devices.readReport(readHandle, report, kReadWaitMs));
}

TEST_F(PipePendantTest, APartialReportIsNoReport) {
  sendInput({9, 9, 9});
  uint8_t report[kInputReportSize] = {};
  EXPECT_FALSE(devices.readReport(readHandle, report, 100));
  EXPECT_EQ(report[0], 0);
}

TEST_F(PipePendantTest, ClosingCancelsTheOutstandingRead) {
  uint8_t report[kInputReportSize] = {};
  EXPECT_FALSE(devices.readReport(readHandle, report, kReadWaitMs));
  ASSERT_TRUE(devices.readPending());
  devices.close(readHandle);
  EXPECT_FALSE(devices.readPending());

  // A new read handle starts afresh.
  HANDLE thirdSide = makeInstance();
  readHandle = devices.openRead(path);
  ASSERT_NE(readHandle, kInvalidHandle);
  DWORD written = 0;
  const uint8_t bytes[8] = {0, 0x33, 0, 0, 0, 0, 0, 0};
  WriteFile(thirdSide, bytes, sizeof bytes, &written, nullptr);
  EXPECT_TRUE(devices.readReport(readHandle, report, kReadWaitMs));
  EXPECT_EQ(report[1], 0x33);
  CloseHandle(thirdSide);
}

TEST_F(PipePendantTest, WritesTheFiveOutputBytes) {
  ASSERT_NE(writeHandle, kInvalidHandle);
  const uint8_t output[kOutputReportSize] = {0x00, 0x54, 0x00, 0x00, 0x00};
  EXPECT_EQ(devices.writeReport(writeHandle, output), WriteResult::Sent);
  uint8_t received[16] = {};
  DWORD count = 0;
  ASSERT_TRUE(ReadFile(outputSide, received, sizeof received, &count, nullptr));
  EXPECT_EQ(std::vector<uint8_t>(received, received + count),
            (std::vector<uint8_t>{0x00, 0x54, 0x00, 0x00, 0x00}));
}

TEST_F(PipePendantTest, InvalidHandlesFailQuietly) {
  uint8_t report[kInputReportSize] = {};
  const uint8_t output[kOutputReportSize] = {};
  EXPECT_FALSE(devices.readReport(kInvalidHandle, report, kReadWaitMs));
  EXPECT_EQ(devices.writeReport(kInvalidHandle, output), WriteResult::Failed);
  devices.close(kInvalidHandle);
  EXPECT_EQ(devices.openProbe(""), kInvalidHandle);
  EXPECT_EQ(devices.openRead("\\\\.\\pipe\\k4-no-such-pipe"), kInvalidHandle);
}

// A plain window standing in for the pendant window, for the notification registration.
class PlainWindow final : public NativeWindow {
 public:
  PlainWindow() {
    hwnd_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  }
  ~PlainWindow() override {
    if (hwnd_ != nullptr)
      DestroyWindow(hwnd_);
  }
  bool create(void*, WindowSink&) override { return hwnd_ != nullptr; }
  bool startTimer(uint32_t, uint32_t) override { return false; }
  void* nativeHandle() const override { return hwnd_; }
  void deliverDeviceChange(uint32_t, uint32_t, const char*) override {}

 private:
  HWND hwnd_ = nullptr;
};

TEST(Win32HidNotifications, RegisterForTheWindowAndWithdraw) {
  win32::HidDevices devices;
  PlainWindow window;
  ASSERT_NE(window.nativeHandle(), nullptr);
  EXPECT_TRUE(devices.registerNotifications(window));
  EXPECT_TRUE(devices.registerNotifications(window));
  devices.unregisterNotifications(window);

  // A window without a native handle of this platform cannot be registered.
  class NullWindow final : public NativeWindow {
   public:
    bool create(void*, WindowSink&) override { return true; }
    bool startTimer(uint32_t, uint32_t) override { return true; }
    void* nativeHandle() const override { return nullptr; }
    void deliverDeviceChange(uint32_t, uint32_t, const char*) override {}
  } nullWindow;
  EXPECT_FALSE(devices.registerNotifications(nullWindow));
}

}  // namespace
}  // namespace k4
