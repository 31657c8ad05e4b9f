// A native window for tests on every platform: it is always created, records the timer it is
// asked to start, and hands device changes straight to its sink. The PendantWindow owns it; the
// test watches it through a FakeWindowLog that the test owns.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/window.h"

namespace k4::test {

struct FakeWindowLog {
  bool created = false;
  int timersStarted = 0;
  uint32_t timerId = 0;
  uint32_t periodMs = 0;
  int deviceChanges = 0;
};

class FakeWindow final : public NativeWindow {
 public:
  explicit FakeWindow(FakeWindowLog& log) : log_(log) {}

  bool create(void* /*hostView*/, WindowSink& sink) override {
    sink_ = &sink;
    log_.created = true;
    return true;
  }
  bool startTimer(uint32_t timerId, uint32_t periodMs) override {
    ++log_.timersStarted;
    log_.timerId = timerId;
    log_.periodMs = periodMs;
    return true;
  }
  void* nativeHandle() const override { return const_cast<FakeWindow*>(this); }
  void deliverDeviceChange(uint32_t eventType, uint32_t deviceType,
                           const char* deviceName) override {
    ++log_.deviceChanges;
    if (sink_ != nullptr)
      sink_->onDeviceChange(eventType, deviceType, deviceName);
  }

 private:
  FakeWindowLog& log_;
  WindowSink* sink_ = nullptr;
};

inline std::unique_ptr<NativeWindow> makeFakeWindow(FakeWindowLog& log) {
  return std::make_unique<FakeWindow>(log);
}

}  // namespace k4::test
