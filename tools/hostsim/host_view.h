// The simulator's side of the plug-in's host view: the event loop the plug-in registers its
// timer and file-descriptor watches with. The loop itself belongs to whoever drives it: the
// scenario runner fires timers on a virtual clock, live mode on the real one with poll().
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/host_view.h"

namespace k4::hostsim {

class SimHostView final : public posix::HostView {
 public:
  struct Watch {
    int id;
    int fd;
    Callback callback;
    void* argument;
  };

  int addTimer(uint32_t periodMs, Callback callback, void* argument) override;
  void removeTimer(int id) override;
  int watchFd(int fd, Callback callback, void* argument) override;
  void unwatchFd(int id) override;
  DeviceServices* deviceServices() override { return devices_; }
  DialogView* dialogView() override { return dialog_; }

  void setDeviceServices(DeviceServices* devices) { devices_ = devices; }
  void setDialogView(DialogView* dialog) { dialog_ = dialog; }

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

  std::vector<Timer> timers_;
  std::vector<Watch> watches_;
  int nextId_ = 1;
  int64_t now_ = 0;
  DeviceServices* devices_ = nullptr;
  DialogView* dialog_ = nullptr;
};

}  // namespace k4::hostsim
