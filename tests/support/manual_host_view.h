// A posix host view whose event loop the test turns by hand: timers fire when the test says so,
// fd watches are only counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "platform/device.h"
#include "platform/dialog.h"
#include "platform/posix/host_view.h"

namespace k4::test {

class ManualHostView final : public posix::HostView {
 public:
  ManualHostView(DeviceServices& devices, DialogView& dialog)
      : devices_(devices), dialog_(dialog) {}

  int addTimer(uint32_t, Callback callback, void* argument) override {
    timers_[++lastId_] = {callback, argument};
    return lastId_;
  }
  void removeTimer(int id) override { timers_.erase(id); }
  int watchFd(int, Callback, void*) override {
    ++watches_;
    return ++lastId_;
  }
  void unwatchFd(int) override { --watches_; }
  DeviceServices* deviceServices() override { return &devices_; }
  DialogView* dialogView() override { return &dialog_; }

  void fireTimers() {
    // A callback may remove timers: fire from a copy, and only those still registered.
    const std::map<int, Timer> firing = timers_;
    for (const auto& [id, timer] : firing) {
      if (timers_.count(id) != 0)
        timer.callback(timer.argument);
    }
  }
  std::size_t timerCount() const { return timers_.size(); }
  int watchCount() const { return watches_; }

 private:
  struct Timer {
    Callback callback;
    void* argument;
  };
  DeviceServices& devices_;
  DialogView& dialog_;
  std::map<int, Timer> timers_;
  int lastId_ = 0;
  int watches_ = 0;
};

}  // namespace k4::test
