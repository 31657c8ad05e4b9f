// On Windows the plug-in always talks to the system's HID services.
#include "platform/device.h"
#include "platform/win32/hid_device_win32.h"

namespace k4 {

DeviceServices& platformDeviceServices(void* /*hostView*/) {
  static win32::HidDevices devices;
  return devices;
}

}  // namespace k4
