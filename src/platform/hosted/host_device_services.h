// Device services over a host's device table (host/k4_host_view.h): how the plug-in uses a
// pendant that the host stands in for (a virtual pendant, a relayed one). Portable: it makes no
// system call of its own, so every platform's tests can hand the plug-in a host's pendant.
#pragma once

#include "host/k4_host_view.h"
#include "platform/device.h"

namespace k4 {

class HostDeviceServices final : public DeviceServices {
 public:
  HostDeviceServices() = default;
  // `table` must be usable (usableDeviceTable) and outlive these services' use.
  explicit HostDeviceServices(const k4_device_table& table) : table_(&table) {}
  HostDeviceServices(const HostDeviceServices&) = delete;
  HostDeviceServices& operator=(const HostDeviceServices&) = delete;

  // Points the services at another table (null: every operation fails).
  void bind(const k4_device_table* table) { table_ = table; }

  void beginEnumeration() override;
  bool interfacePath(uint32_t index, std::string& path) override;
  void endEnumeration() override;
  DeviceHandle openProbe(const std::string& path) override;
  bool attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) override;
  DeviceHandle openRead(const std::string& path) override;
  DeviceHandle openWrite(const std::string& path) override;
  void close(DeviceHandle handle) override;
  bool readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize], int timeoutMs) override;
  WriteResult writeReport(DeviceHandle handle, const uint8_t (&report)[kOutputReportSize]) override;
  bool registerNotifications(NativeWindow& window) override;
  void unregisterNotifications(NativeWindow& window) override;

 private:
  const k4_device_table* table_ = nullptr;
};

}  // namespace k4
