// The pendant window on Linux: the host's event loop (its k4_host_view) runs our timer; device
// changes come from the device services through deliverDeviceChange, on the same thread.
#include "platform/hosted/host_tables.h"
#include "platform/posix/host_thread.h"
#include "platform/window.h"

namespace k4 {

namespace {

class PosixWindow final : public NativeWindow {
 public:
  ~PosixWindow() override {
    if (view_ != nullptr && timerId_ != 0)
      view_->remove_timer(view_->context, timerId_);
  }

  bool create(void* hostView, WindowSink& sink) override {
    view_ = usableHostView(hostView);
    sink_ = &sink;
    posix::rememberHostThread();
    return view_ != nullptr;
  }

  bool startTimer(uint32_t timerId, uint32_t periodMs) override {
    if (view_ == nullptr)
      return false;
    if (timerId_ != 0)
      view_->remove_timer(view_->context, timerId_);
    timerNumber_ = timerId;
    timerId_ = view_->add_timer(view_->context, periodMs, &PosixWindow::timerFired, this);
    if (timerId_ < 0)
      timerId_ = 0;  // a failure, however the host spells it
    return timerId_ != 0;
  }

  void* nativeHandle() const override { return const_cast<k4_host_view*>(view_); }

  void deliverDeviceChange(uint32_t eventType, uint32_t deviceType,
                           const char* deviceName) override {
    if (sink_ != nullptr)
      sink_->onDeviceChange(eventType, deviceType, deviceName);
  }

 private:
  // Called by the host's loop, which may not be C++: nothing thrown may unwind into it.
  static void timerFired(void* self) {
    try {
      auto* window = static_cast<PosixWindow*>(self);
      if (window->sink_ != nullptr)
        window->sink_->onTimer(window->timerNumber_);
    } catch (...) {
    }
  }

  const k4_host_view* view_ = nullptr;
  WindowSink* sink_ = nullptr;
  int timerId_ = 0;
  uint32_t timerNumber_ = 0;
};

}  // namespace

std::unique_ptr<NativeWindow> createNativeWindow() {
  return std::make_unique<PosixWindow>();
}

}  // namespace k4
