// Real pendants for live mode: finding one among the hidraw devices, and device services for
// one named hidraw device (--device PATH) that let the simulator see every report both ways.
#pragma once

#include <functional>
#include <string>

#include "platform/device.h"
#include "platform/posix/hidraw_device.h"

namespace k4::hostsim {

// The first hidraw device whose HID id is the pendant's, as /dev/hidrawN; empty when none.
// `sysRoot` and `devRoot` default to the system's and exist for tests.
std::string findPendantHidraw(const std::string& sysRoot = "/sys/class/hidraw",
                              const std::string& devRoot = "/dev");

// Whether the device can be opened for reading and writing; the reason in `error` if not.
bool canOpenReadWrite(const std::string& path, std::string& error);

// The report layout of the hidraw device open as `fd` at `path` (/dev/hidrawN): from the
// kernel, else from sysfs.
posix::ReportLayout hidrawLayout(int fd, const std::string& path);

// Device services over exactly one hidraw device. It never announces arrival or removal.
class NamedHidrawDevice final : public DeviceServices {
 public:
  explicit NamedHidrawDevice(std::string path) : path_(std::move(path)) {}

  std::function<void(const uint8_t (&)[kInputReportSize])> onInput;
  std::function<void(const uint8_t (&)[kOutputReportSize])> onOutput;

  void beginEnumeration() override {}
  bool interfacePath(uint32_t index, std::string& path) override;
  void endEnumeration() override {}
  DeviceHandle openProbe(const std::string& path) override;
  bool attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) override;
  DeviceHandle openRead(const std::string& path) override;
  DeviceHandle openWrite(const std::string& path) override;
  void close(DeviceHandle handle) override;
  bool readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize], int timeoutMs) override;
  WriteResult writeReport(DeviceHandle handle, const uint8_t (&report)[kOutputReportSize]) override;
  bool registerNotifications(NativeWindow&) override { return false; }

 private:
  std::string path_;
  posix::ReportLayout readLayout_;
  posix::ReportLayout writeLayout_;
};

}  // namespace k4::hostsim
