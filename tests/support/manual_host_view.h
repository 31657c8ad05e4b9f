// The Linux tests' host view: an event loop the test turns by hand, handed to the plug-in as the
// C contract's k4_host_view (view()). Timers fire when the test says so; watched descriptors are
// polled when the test pumps them. It hands over the device and dialog tables it is given
// (none: the plug-in's own, hidraw and the terminal).
//
// Header-only on purpose: the unload test links none of the plug-in's code.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <map>

#include "host/k4_host_view.h"

namespace k4::test {

class ManualHostView final {
 public:
  using Callback = k4_callback;

  explicit ManualHostView(const k4_device_table* devices = nullptr,
                          const k4_dialog_table* dialog = nullptr)
      : view_{} {
    view_.version = K4_HOST_VIEW_VERSION;
    view_.size = sizeof view_;
    view_.context = this;
    view_.add_timer = [](void* self, uint32_t periodMs, Callback callback, void* argument) {
      return of(self).addTimer(periodMs, callback, argument);
    };
    view_.remove_timer = [](void* self, int id) { of(self).timers_.erase(id); };
    view_.watch_fd = [](void* self, int fd, Callback callback, void* argument) {
      return of(self).watchFd(fd, callback, argument);
    };
    view_.unwatch_fd = [](void* self, int id) { of(self).watches_.erase(id); };
    view_.devices = devices;
    view_.dialog = dialog;
  }
  // The view holds this object's address.
  ManualHostView(const ManualHostView&) = delete;
  ManualHostView& operator=(const ManualHostView&) = delete;

  // What InitControl (or a native window) is handed as the host's view.
  k4_host_view* view() { return &view_; }

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
  static ManualHostView& of(void* self) { return *static_cast<ManualHostView*>(self); }
  int addTimer(uint32_t periodMs, Callback callback, void* argument) {
    timerPeriodMs_ = periodMs;
    timers_[++lastId_] = {callback, argument};
    return lastId_;
  }
  int watchFd(int fd, Callback callback, void* argument) {
    watches_[++lastId_] = Watch{fd, callback, argument};
    return lastId_;
  }

  k4_host_view view_;
  std::map<int, Entry> timers_;
  std::map<int, Watch> watches_;
  uint32_t timerPeriodMs_ = 0;
  int lastId_ = 0;
};

}  // namespace k4::test
