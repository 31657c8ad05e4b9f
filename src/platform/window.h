// Window services: the hidden child window of the host's view that receives the 25 ms timer
// and the device-change notifications, all on the host's thread.
#pragma once

#include <cstdint>
#include <memory>

namespace k4 {

// The sink may destroy the native window that called it from inside the call (the host stopped
// the plug-in there): after handing a message to the sink, a native window touches nothing of
// its own.
class WindowSink {
 public:
  virtual void onTimer(uint32_t timerId) = 0;
  // Returns nothing: the window answers every device-change message with true.
  virtual void onDeviceChange(uint32_t eventType, uint32_t deviceType, const char* deviceName) = 0;

 protected:
  ~WindowSink() = default;
};

class NativeWindow {
 public:
  virtual ~NativeWindow() = default;
  // Creates the hidden child window (style child only, rectangle 0,0-10,10, child id 1) under
  // the host's view. False when it could not be created.
  virtual bool create(void* hostView, WindowSink& sink) = 0;
  virtual bool startTimer(uint32_t timerId, uint32_t periodMs) = 0;
  // The platform handle (HWND on Windows, the host's k4_host_view on Linux); null before create.
  virtual void* nativeHandle() const = 0;
  // Hands a device-change notification to the sink, as the platform's message would.
  virtual void deliverDeviceChange(uint32_t eventType, uint32_t deviceType,
                                   const char* deviceName) = 0;
};

std::unique_ptr<NativeWindow> createNativeWindow();

}  // namespace k4
