#include "platform/device.h"
#include "platform/posix/host_view.h"

namespace k4 {

DeviceServices& hidrawDeviceServices();

DeviceServices& platformDeviceServices(void* hostView) {
  if (hostView != nullptr) {
    if (DeviceServices* handed = static_cast<posix::HostView*>(hostView)->deviceServices()) {
      return *handed;
    }
  }
  return hidrawDeviceServices();
}

}  // namespace k4
