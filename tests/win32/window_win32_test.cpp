// The pendant's hidden window on Windows, under a real parent window: its shape, its timer, the
// routing of device-change broadcasts, and its teardown.
#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/window.h"

namespace k4 {
namespace {

struct DeviceChange {
  uint32_t eventType;
  uint32_t deviceType;
  bool hasName;
  std::string name;
};

class RecordingSink final : public WindowSink {
 public:
  void onTimer(uint32_t timerId) override {
    timerIds.push_back(timerId);
    if (throwing)
      throw std::runtime_error("timer");
  }
  void onDeviceChange(uint32_t eventType, uint32_t deviceType, const char* deviceName) override {
    changes.push_back(
        {eventType, deviceType, deviceName != nullptr, deviceName != nullptr ? deviceName : ""});
    if (throwing)
      throw std::runtime_error("device change");
  }

  std::vector<uint32_t> timerIds;
  std::vector<DeviceChange> changes;
  bool throwing = false;
};

// Runs the thread's message loop for about `milliseconds`.
void pumpMessages(DWORD milliseconds) {
  // GetTickCount, not its 64-bit form: the headers declare only what Windows XP has. The
  // difference of two readings is right across the counter's wrap.
  const DWORD start = GetTickCount();
  for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

// A stand-in for the host's view: an ordinary top-level window, never shown.
class HostViewWindow {
 public:
  HostViewWindow()
      : hwnd_(CreateWindowExA(0, "STATIC", "host view", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  ~HostViewWindow() { destroy(); }
  HostViewWindow(const HostViewWindow&) = delete;
  HostViewWindow& operator=(const HostViewWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  void destroy() {
    if (hwnd_ != nullptr)
      DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }

 private:
  HWND hwnd_;
};

// A device-interface broadcast as the system sends it: the name runs past the declared
// one-character array.
struct InterfaceBroadcast {
  explicit InterfaceBroadcast(const char* name) {
    std::memset(storage, 0, sizeof(storage));
    auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(storage);
    header->dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) +
                                           std::strlen(name) + 1);
    header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(storage + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), name,
                std::strlen(name) + 1);
  }
  LPARAM lParam() { return reinterpret_cast<LPARAM>(storage); }

  alignas(DEV_BROADCAST_DEVICEINTERFACE_A) char storage[512];
};

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(view.hwnd(), nullptr); }

  // Creates the pendant window under the host view; fails the test if that is impossible.
  HWND createWindow() {
    window = createNativeWindow();
    EXPECT_TRUE(window->create(view.hwnd(), sink));
    return static_cast<HWND>(window->nativeHandle());
  }

  HostViewWindow view;
  RecordingSink sink;
  std::unique_ptr<NativeWindow> window;
};

TEST_F(Win32WindowTest, IsAHiddenTenByTenChildOfTheHostViewWithId1) {
  const HWND hwnd = createWindow();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(GetParent(hwnd), view.hwnd());
  EXPECT_EQ(GetDlgCtrlID(hwnd), 1);
  EXPECT_EQ(GetDlgItem(view.hwnd(), 1), hwnd);
  const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_CHILD);
  EXPECT_FALSE(style & WS_VISIBLE);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(hwnd, &rect));
  EXPECT_EQ(rect.right - rect.left, 10);
  EXPECT_EQ(rect.bottom - rect.top, 10);
}

TEST_F(Win32WindowTest, CreationFailsQuietlyWithoutAUsableHostView) {
  HostViewWindow gone;
  const HWND destroyed = gone.hwnd();
  gone.destroy();
  const HWND views[] = {nullptr, destroyed, reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234))};
  for (HWND hostView : views) {
    auto orphan = createNativeWindow();
    EXPECT_FALSE(orphan->create(hostView, sink)) << hostView;
    EXPECT_EQ(orphan->nativeHandle(), nullptr);
    EXPECT_FALSE(orphan->startTimer(1, 25));
  }
}

TEST_F(Win32WindowTest, TimerTicksArriveWithTheirIdUntilTheWindowIsDestroyed) {
  const HWND hwnd = createWindow();
  ASSERT_TRUE(window->startTimer(1, 25));
  pumpMessages(500);
  // 20 periods of 25 ms; a loaded machine delivers fewer, but never none.
  EXPECT_GE(sink.timerIds.size(), 5u);
  for (uint32_t id : sink.timerIds)
    EXPECT_EQ(id, 1u);

  window.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  const std::size_t ticks = sink.timerIds.size();
  pumpMessages(150);
  EXPECT_EQ(sink.timerIds.size(), ticks);
}

TEST_F(Win32WindowTest, DeviceChangeMessagesReachTheSinkWithTypeAndInterfaceName) {
  const HWND hwnd = createWindow();
  ASSERT_NE(hwnd, nullptr);
  const char* path =
      "\\\\?\\HID#VID_04D8&PID_FCE5#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  InterfaceBroadcast interfaceGone(path);
  DEV_BROADCAST_HDR volume{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0};

  struct Case {
    WPARAM event;
    LPARAM lParam;
    DeviceChange expected;
  } cases[] = {
      {DBT_DEVICEREMOVECOMPLETE, interfaceGone.lParam(), {0x8004, 5, true, path}},
      {DBT_DEVICEARRIVAL, interfaceGone.lParam(), {0x8000, 5, true, path}},
      {DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&volume), {0x8004, 2, false, ""}},
      {DBT_DEVNODES_CHANGED, 0, {0x0007, 0, false, ""}},
  };
  for (const Case& c : cases) {
    sink.changes.clear();
    EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, c.event, c.lParam), TRUE);
    ASSERT_EQ(sink.changes.size(), 1u) << c.event;
    EXPECT_EQ(sink.changes[0].eventType, c.expected.eventType);
    EXPECT_EQ(sink.changes[0].deviceType, c.expected.deviceType) << c.event;
    EXPECT_EQ(sink.changes[0].hasName, c.expected.hasName) << c.event;
    EXPECT_EQ(sink.changes[0].name, c.expected.name);
  }

  sink.changes.clear();
  window->deliverDeviceChange(0x8004, 5, path);
  ASSERT_EQ(sink.changes.size(), 1u);
  EXPECT_EQ(sink.changes[0].name, path);
}

TEST_F(Win32WindowTest, ExceptionsFromTheSinkNeverLeaveTheWindowProcedure) {
  const HWND hwnd = createWindow();
  ASSERT_NE(hwnd, nullptr);
  sink.throwing = true;
  EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), TRUE);
  EXPECT_EQ(SendMessageA(hwnd, WM_TIMER, 1, 0), 0);
  ASSERT_TRUE(window->startTimer(1, 25));
  pumpMessages(100);
  EXPECT_GE(sink.timerIds.size(), 2u);  // the loop survived and kept delivering
}

TEST_F(Win32WindowTest, SurvivesTheHostViewBeingDestroyedFirst) {
  const HWND hwnd = createWindow();
  ASSERT_TRUE(window->startTimer(1, 25));
  view.destroy();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(window->nativeHandle(), nullptr);
  const std::size_t ticks = sink.timerIds.size();
  pumpMessages(100);
  EXPECT_EQ(sink.timerIds.size(), ticks);
  window.reset();  // must not touch the window that is already gone
}

TEST_F(Win32WindowTest, AReplacedWindowLeavesItsSuccessorWorking) {
  // The host may initialise twice: the old window goes while the new one lives on.
  auto first = createNativeWindow();
  ASSERT_TRUE(first->create(view.hwnd(), sink));
  RecordingSink secondSink;
  auto second = createNativeWindow();
  ASSERT_TRUE(second->create(view.hwnd(), secondSink));
  first.reset();
  ASSERT_TRUE(second->startTimer(1, 25));
  pumpMessages(150);
  EXPECT_FALSE(secondSink.timerIds.empty());
  second.reset();

  // With every window gone the class is registered afresh.
  auto third = createNativeWindow();
  EXPECT_TRUE(third->create(view.hwnd(), sink));
}

}  // namespace
}  // namespace k4
