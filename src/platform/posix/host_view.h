// On Linux the host's view is an event loop that the host owns and runs on its own thread:
// the plug-in registers its timer and file-descriptor watches there and never starts a thread.
// The host may also hand over device services (the simulator's virtual pendant) and a dialog
// view (the simulator's scripted dialog) to use instead of hidraw and the terminal view.
#pragma once

#include <cstdint>

namespace k4 {
class DeviceServices;
class DialogView;
}  // namespace k4

namespace k4::posix {

class HostView {
 public:
  using Callback = void (*)(void* argument);

  virtual ~HostView() = default;
  // A periodic timer; returns an id above 0, or 0 on failure.
  virtual int addTimer(uint32_t periodMs, Callback callback, void* argument) = 0;
  virtual void removeTimer(int id) = 0;
  // Calls back whenever `fd` is readable; returns an id above 0, or 0 on failure.
  virtual int watchFd(int fd, Callback callback, void* argument) = 0;
  virtual void unwatchFd(int id) = 0;

  virtual DeviceServices* deviceServices() { return nullptr; }
  virtual DialogView* dialogView() { return nullptr; }
};

}  // namespace k4::posix
