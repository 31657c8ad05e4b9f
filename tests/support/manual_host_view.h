// The Linux tests' host view: an event loop the test turns by hand. Timers fire when the test
// says so; watched descriptors are polled when the test pumps them. It hands over the device
// services and the dialog view it is given (none: the plug-in's own, hidraw and the terminal).
//
// Header-only on purpose: the unload test links none of the plug-in's code.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <map>

#include "platform/posix/host_view.h"

namespace k4::test {

class ManualHostView final : public posix::HostView {
 public:
  ManualHostView() = default;
  explicit ManualHostView(DeviceServices* devices, DialogView* dialog = nullptr)
      : devices_(devices), dialog_(dialog) {}

  int addTimer(uint32_t periodMs, Callback callback, void* argument) override {
    timerPeriodMs_ = periodMs;
    timers_[++lastId_] = {callback, argument};
    return lastId_;
  }
  void removeTimer(int id) override { timers_.erase(id); }
  int watchFd(int fd, Callback callback, void* argument) override {
    watches_[++lastId_] = Watch{fd, callback, argument};
    return lastId_;
  }
  void unwatchFd(int id) override { watches_.erase(id); }
  DeviceServices* deviceServices() override { return devices_; }
  DialogView* dialogView() override { return dialog_; }

  void fireTimers() {
    // A callback may remove timers: fire from a copy, and only those still registered.
    const std::map<int, Entry> firing = timers_;
    for (const auto& [id, timer] : firing) {
      if (timers_.count(id) != 0)
        timer.callback(timer.argument);
    }
  }
  // Runs the callbacks of the watched descriptors that become readable within `waitMs` each.
  void pumpWatches(int waitMs = 0) {
    const std::map<int, Watch> now = watches_;
    for (const auto& [id, watch] : now) {
      pollfd ready{watch.fd, POLLIN, 0};
      if (::poll(&ready, 1, waitMs) == 1)
        watch.callback(watch.argument);
    }
  }
  std::size_t timerCount() const { return timers_.size(); }
  // The period of the timer added last.
  uint32_t timerPeriodMs() const { return timerPeriodMs_; }
  std::size_t watchCount() const { return watches_.size(); }

 private:
  struct Entry {
    Callback callback;
    void* argument;
  };
  struct Watch {
    int fd;
    Callback callback;
    void* argument;
  };
  DeviceServices* devices_ = nullptr;
  DialogView* dialog_ = nullptr;
  std::map<int, Entry> timers_;
  std::map<int, Watch> watches_;
  uint32_t timerPeriodMs_ = 0;
  int lastId_ = 0;
};

}  // namespace k4::test
