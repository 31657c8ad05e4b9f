// The simulator's side of the plug-in's host view: the event loop the plug-in registers its
// timer and file-descriptor watches with, handed over as the C contract's k4_host_view. The
// loop itself belongs to whoever drives it: the scenario runner fires timers on a virtual clock,
// live mode on the real one with poll().
#pragma once

#include <cstdint>
#include <vector>

#include "host/k4_host_view.h"

namespace k4::hostsim {

class SimHostView final {
 public:
  using Callback = k4_callback;
  struct Watch {
    int id;
    int fd;
    Callback callback;
    void* argument;
  };

  SimHostView();
  // The view holds this object's address.
  SimHostView(const SimHostView&) = delete;
  SimHostView& operator=(const SimHostView&) = delete;

  // What InitControl is handed as the host's view.
  k4_host_view* hostView() { return &view_; }

  int addTimer(uint32_t periodMs, Callback callback, void* argument);
  void removeTimer(int id);
  int watchFd(int fd, Callback callback, void* argument);
  void unwatchFd(int id);

  // The device and dialog tables the view hands over (null: the plug-in's own).
  void setDevices(const k4_device_table* devices) { view_.devices = devices; }
  void setDialog(const k4_dialog_table* dialog) { view_.dialog = dialog; }

  // The loop's clock in milliseconds; timers added now first fire one period later.
  void setNow(int64_t nowMs) { now_ = nowMs; }
  int64_t now() const { return now_; }
  // Fires every timer due at the current time. On the virtual clock each fires once per period
  // that has passed; with `coalesce`, as a window timer does, a late timer fires only once.
  // Returns how many timer calls were made.
  int fireDueTimers(bool coalesce = false);
  // The earliest due time of any timer, or -1 without timers.
  int64_t nextDue() const;
  bool hasTimers() const { return !timers_.empty(); }

  const std::vector<Watch>& watches() const { return watches_; }
  // Calls a watch's callback if it is still registered.
  void fireWatch(int id);

 private:
  struct Timer {
    int id;
    uint32_t periodMs;
    int64_t due;
    Callback callback;
    void* argument;
  };

  k4_host_view view_;
  std::vector<Timer> timers_;
  std::vector<Watch> watches_;
  int nextId_ = 1;
  int64_t now_ = 0;
};

}  // namespace k4::hostsim
