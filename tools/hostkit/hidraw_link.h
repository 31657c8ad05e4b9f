// Real pendants for live mode: finding one among the hidraw devices, and device services for
// one named hidraw device (--device PATH) that let the simulator see every report both ways.
#pragma once

#include <functional>
#include <string>

#include "host/k4_host_view.h"
#include "platform/posix/hidraw_report_layout.h"

namespace k4::hostsim {

// The first hidraw device whose HID id is the pendant's, as /dev/hidrawN; empty when none.
// `sysRoot` and `devRoot` default to the system's and exist for tests.
std::string findPendantHidraw(const std::string& sysRoot = "/sys/class/hidraw",
                              const std::string& devRoot = "/dev");

// Why the node at `path` cannot be the pendant, said so a user knows what to do (for a node the
// user may not open, the commands that install the udev rule); empty when it opens for reading
// and writing and is a hidraw device with the pendant's ids. `notPendant` tells a node that is
// no pendant (a wrong name) from one that is and cannot be opened.
std::string pendantNodeProblem(const std::string& path, bool& notPendant);

// The report layout of the hidraw device open as `fd` at `path` (/dev/hidrawN): from the
// kernel, else from sysfs.
posix::ReportLayout hidrawLayout(int fd, const std::string& path);

// A device table (host/k4_host_view.h) over exactly one hidraw device. It never announces
// arrival or removal.
class NamedHidrawDevice final {
 public:
  explicit NamedHidrawDevice(std::string path);
  // The table holds this object's address.
  NamedHidrawDevice(const NamedHidrawDevice&) = delete;
  NamedHidrawDevice& operator=(const NamedHidrawDevice&) = delete;

  // The device table to hand over (k4_host_view::devices); valid as long as this object.
  const k4_device_table* table() const { return &table_; }

  std::function<void(const uint8_t (&)[K4_INPUT_REPORT_SIZE])> onInput;
  std::function<void(const uint8_t (&)[K4_OUTPUT_REPORT_SIZE])> onOutput;

  int interfacePath(uint32_t index, char* buffer, std::size_t capacity) const;
  k4_handle openRead(const char* path);
  k4_handle openWrite(const char* path);
  bool readReport(k4_handle handle, uint8_t (&report)[K4_INPUT_REPORT_SIZE], int timeoutMs);
  int writeReport(k4_handle handle, const uint8_t (&report)[K4_OUTPUT_REPORT_SIZE]);

 private:
  k4_device_table table_;
  std::string path_;
  posix::ReportLayout readLayout_;
  posix::ReportLayout writeLayout_;
};

}  // namespace k4::hostsim
