// The pendant window on Linux: the host's event loop (HostView) runs its timer; device changes
// come from the device services through deliverDeviceChange, on the same thread.
#include "platform/posix/host_thread.h"
#include "platform/posix/host_view.h"
#include "platform/window.h"

namespace k4 {

namespace {

class PosixWindow final : public NativeWindow {
 public:
  ~PosixWindow() override {
    if (view_ != nullptr && timerId_ != 0)
      view_->removeTimer(timerId_);
  }

  bool create(void* hostView, WindowSink& sink) override {
    view_ = static_cast<posix::HostView*>(hostView);
    sink_ = &sink;
    posix::rememberHostThread();
    return view_ != nullptr;
  }

  bool startTimer(uint32_t timerId, uint32_t periodMs) override {
    if (view_ == nullptr)
      return false;
    if (timerId_ != 0)
      view_->removeTimer(timerId_);
    timerNumber_ = timerId;
    timerId_ = view_->addTimer(periodMs, &PosixWindow::timerFired, this);
    return timerId_ != 0;
  }

  void* nativeHandle() const override { return view_; }

  void deliverDeviceChange(uint32_t eventType, uint32_t deviceType,
                           const char* deviceName) override {
    if (sink_ != nullptr)
      sink_->onDeviceChange(eventType, deviceType, deviceName);
  }

 private:
  static void timerFired(void* self) {
    auto* window = static_cast<PosixWindow*>(self);
    if (window->sink_ != nullptr)
      window->sink_->onTimer(window->timerNumber_);
  }

  posix::HostView* view_ = nullptr;
  WindowSink* sink_ = nullptr;
  int timerId_ = 0;
  uint32_t timerNumber_ = 0;
};

}  // namespace

std::unique_ptr<NativeWindow> createNativeWindow() {
  return std::make_unique<PosixWindow>();
}

}  // namespace k4
