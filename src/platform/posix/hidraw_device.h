// The pendant on Linux, through the kernel's hidraw interface.
//
// Enumeration lists <sysfs>/class/hidraw/hidrawN in the order of N and takes vendor and product
// from HID_ID in each one's device/uevent. Device nodes are <dev>/hidrawN. Arrival and removal
// are followed with inotify on <dev>, watched through the host's event loop. Both roots are
// parameters, so that the tests and the benchmark run against a temporary tree in which a FIFO
// or a pseudo-terminal stands in for a device node. How a report is framed on a node is
// hidraw_report_layout.h's business.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/posix/hidraw_report_layout.h"

namespace k4::posix {

class HidrawDevices final : public DeviceServices {
 public:
  HidrawDevices(std::string sysfsRoot, std::string devRoot);
  ~HidrawDevices() override;
  HidrawDevices(const HidrawDevices&) = delete;
  HidrawDevices& operator=(const HidrawDevices&) = delete;

  // K4_SYSFS_ROOT and K4_DEV_ROOT when set, else /sys and /dev.
  static std::string sysfsRootFromEnvironment();
  static std::string devRootFromEnvironment();

  const std::string& sysfsRoot() const { return sysfsRoot_; }
  const std::string& devRoot() const { return devRoot_; }

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

  // Reads the pending inotify events and hands them to the window (the event loop calls this
  // when the inotify descriptor is readable).
  void dispatchNotifications();

  // The layout found when `handle` was opened for reading or writing (unknown for others).
  ReportLayout layoutOf(DeviceHandle handle) const;

  // How long a report the device does not take may keep being retried before the write counts
  // as failed; kWritePendingLimitMs unless a test shortens it.
  void setWritePendingLimitMs(int limitMs) { writePendingLimitMs_ = limitMs; }

 private:
  // A read or write handle and the node it was opened on.
  struct OpenNode {
    std::string name;  // hidrawN
    bool forReading;
    dev_t device;  // the node's file identity when it was opened
    ino_t inode;
    ReportLayout layout;
    // Write handles: when the device first refused a report (would block), on the monotonic
    // clock in nanoseconds; 0 while it takes them.
    int64_t refusedSinceNs = 0;
  };
  DeviceHandle openLink(const std::string& path, int flags, bool forReading);
  // An attribute change is an arrival when it may have made the node openable for the link:
  // the node exists and is not the one a read and a write handle are already open on.
  bool attributeChangeIsArrival(const std::string& name) const;

  std::string sysfsRoot_;
  std::string devRoot_;
  std::vector<std::string> enumeration_;        // hidrawN names, in the order of N
  std::map<DeviceHandle, std::string> probes_;  // probe handle -> hidrawN name
  std::map<DeviceHandle, OpenNode> links_;      // read and write handles

  NativeWindow* window_ = nullptr;
  const k4_host_view* view_ = nullptr;
  int inotifyFd_ = -1;
  int watchId_ = 0;
  int writePendingLimitMs_ = kWritePendingLimitMs;
};

// Parses "HID_ID=0003:000004D8:0000FCE5" out of a uevent text. False when absent or malformed,
// or when an id does not fit the 16 bits a HID attribute holds.
bool parseHidId(const std::string& uevent, uint16_t& vendorId, uint16_t& productId);

}  // namespace k4::posix
