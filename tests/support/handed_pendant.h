// The virtual pendant as the plug-in meets a host's pendant: through the host's C device table
// and the plug-in's adapter over it. Hand services() to a PendantWindow; play the pendant
// through the VirtualPendant side.
#pragma once

#include "platform/hosted/host_device_services.h"
#include "virtual_pendant.h"

namespace k4::test {

class HandedPendant final : public VirtualPendant {
 public:
  DeviceServices& services() { return services_; }

 private:
  HostDeviceServices services_{*table()};
};

}  // namespace k4::test
