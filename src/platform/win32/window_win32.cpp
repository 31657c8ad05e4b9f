// The pendant window on Windows: a hidden child window of the host's view, of a window class of
// our own. It receives the report timer and the device-change broadcasts on the host's thread.
#include <windows.h>

#include <dbt.h>

#include "platform/win32/module_handle.h"
#include "platform/window.h"

namespace k4 {

namespace {

constexpr const char* kWindowClassName = "OrvaneK4PendantWindow";
constexpr int kChildId = 1;
constexpr int kWindowSize = 10;

// The pendant window made last and not yet destroyed, for the module's unload.
HWND liveWindow = nullptr;

void forgetLiveWindow(HWND hwnd) {
  if (liveWindow == hwnd)
    liveWindow = nullptr;
}

class Win32Window final : public NativeWindow {
 public:
  Win32Window() = default;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  ~Win32Window() override {
    // hwnd_ is null when the window was never created or went away with the host's view.
    if (hwnd_ != nullptr) {
      if (timerRunning_)
        KillTimer(hwnd_, timerId_);
      // Detach first: no message sent during destruction may reach this half-destroyed object.
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
      forgetLiveWindow(hwnd_);
      DestroyWindow(hwnd_);
      hwnd_ = nullptr;
    }
    // A class registered by a DLL outlives the DLL unless it is unregistered, and its window
    // procedure lives in this module. Fails harmlessly while other windows of the class remain.
    if (classRegistered_)
      UnregisterClassA(kWindowClassName, win32::thisModule());
  }

  bool create(void* hostView, WindowSink& sink) override {
    const HWND parent = static_cast<HWND>(hostView);
    if (hwnd_ != nullptr || parent == nullptr || !IsWindow(parent))
      return false;
    classRegistered_ = registerWindowClass();
    if (!classRegistered_)
      return false;
    sink_ = &sink;
    // Child style only: the window is never shown, it only receives messages.
    hwnd_ = CreateWindowExA(0, kWindowClassName, "", WS_CHILD, 0, 0, kWindowSize, kWindowSize,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildId)),
                            win32::thisModule(), this);
    if (hwnd_ == nullptr)
      sink_ = nullptr;
    else
      liveWindow = hwnd_;
    return hwnd_ != nullptr;
  }

  bool startTimer(uint32_t timerId, uint32_t periodMs) override {
    if (hwnd_ == nullptr)
      return false;
    // With a window and no callback the timer arrives as WM_TIMER carrying our own id.
    timerRunning_ = SetTimer(hwnd_, timerId, periodMs, nullptr) != 0;
    if (timerRunning_)
      timerId_ = timerId;
    return timerRunning_;
  }

  void* nativeHandle() const override { return hwnd_; }

  void deliverDeviceChange(uint32_t eventType, uint32_t deviceType,
                           const char* deviceName) override {
    if (sink_ != nullptr)
      sink_->onDeviceChange(eventType, deviceType, deviceName);
  }

 private:
  // An ANSI class: device-interface broadcasts then arrive with 8-bit names, the form the
  // link compares with the path it opened.
  static bool registerWindowClass() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &Win32Window::windowProcedure;
    windowClass.hInstance = win32::thisModule();
    windowClass.lpszClassName = kWindowClassName;
    if (RegisterClassExA(&windowClass) != 0)
      return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }

  static LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The host's message loop called us: nothing thrown may travel back into it.
    try {
      if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
      }
      auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
      if (self != nullptr) {
        switch (message) {
          case WM_TIMER:
            if (self->sink_ != nullptr)
              self->sink_->onTimer(static_cast<uint32_t>(wParam));
            return 0;
          case WM_DEVICECHANGE:
            self->handleDeviceChange(wParam, lParam);
            return TRUE;
          case WM_NCDESTROY:
            // Destroyed from outside, with the host's view: forget the handle so that the
            // destructor does not act on a window that no longer exists.
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            forgetLiveWindow(hwnd);
            self->hwnd_ = nullptr;
            self->timerRunning_ = false;
            break;
          default:
            break;
        }
      } else if (message == WM_DEVICECHANGE) {
        return TRUE;
      }
    } catch (...) {
      if (message == WM_DEVICECHANGE)
        return TRUE;
      if (message == WM_TIMER)
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }

  void handleDeviceChange(WPARAM eventType, LPARAM lParam) {
    if (sink_ == nullptr)
      return;
    // Some events (a changed device tree, a configuration change) carry no header at all.
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    const uint32_t deviceType = header != nullptr ? header->dbch_devicetype : 0;
    const char* name = nullptr;
    if (deviceType == DBT_DEVTYP_DEVICEINTERFACE) {
      name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header)->dbcc_name;
    }
    sink_->onDeviceChange(static_cast<uint32_t>(eventType), deviceType, name);
  }

  HWND hwnd_ = nullptr;
  WindowSink* sink_ = nullptr;
  UINT_PTR timerId_ = 0;
  bool timerRunning_ = false;
  bool classRegistered_ = false;
};

}  // namespace

HWND win32::livePendantWindow() {
  return liveWindow;
}

std::unique_ptr<NativeWindow> createNativeWindow() {
  return std::make_unique<Win32Window>();
}

}  // namespace k4
