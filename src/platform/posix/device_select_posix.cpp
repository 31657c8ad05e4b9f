#include "platform/device.h"
#include "platform/hosted/host_device_services.h"
#include "platform/hosted/host_tables.h"

namespace k4 {

DeviceServices& hidrawDeviceServices();

DeviceServices& platformDeviceServices(void* hostView) {
  if (const k4_host_view* view = usableHostView(hostView)) {
    if (const k4_device_table* table = hostDeviceTable(*view)) {
      // One pendant window at a time: the services follow the table of the latest InitControl.
      static HostDeviceServices handed;
      handed.bind(table);
      return handed;
    }
  }
  return hidrawDeviceServices();
}

}  // namespace k4
