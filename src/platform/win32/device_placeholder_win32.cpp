// PLACEHOLDER: no-device services so that the Windows module links before its HID backend
// lands. Every enumeration is empty and every open fails, which leaves the plug-in quiet.
#include "platform/device.h"

namespace k4 {

namespace {

class NoPendantServices final : public DeviceServices {
 public:
  void beginEnumeration() override {}
  bool interfacePath(uint32_t, std::string&) override { return false; }
  void endEnumeration() override {}
  DeviceHandle openProbe(const std::string&) override { return kInvalidHandle; }
  bool attributes(DeviceHandle, uint16_t&, uint16_t&) override { return false; }
  DeviceHandle openRead(const std::string&) override { return kInvalidHandle; }
  DeviceHandle openWrite(const std::string&) override { return kInvalidHandle; }
  void close(DeviceHandle) override {}
  bool readReport(DeviceHandle, uint8_t (&)[kInputReportSize], int) override { return false; }
  bool writeReport(DeviceHandle, const uint8_t (&)[kOutputReportSize]) override { return false; }
  bool registerNotifications(NativeWindow&) override { return false; }
};

}  // namespace

DeviceServices& platformDeviceServices(void*) {
  static NoPendantServices services;
  return services;
}

}  // namespace k4
