// The pendant on Windows: SetupDi and HidD enumeration, CreateFileA handles, one overlapped read
// with a bounded wait, synchronous writes, and device-interface notifications for the window.
#pragma once

// setupapi.h needs the types of windows.h first.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <vector>

#include "platform/device.h"

namespace k4::win32 {

class HidDevices final : public DeviceServices {
 public:
  HidDevices();
  ~HidDevices() override;
  HidDevices(const HidDevices&) = delete;
  HidDevices& operator=(const HidDevices&) = delete;

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

  // Whether a read is outstanding (tests).
  bool readPending() const { return readPending_; }

 private:
  void cancelPendingRead();

  // Discovery scratch.
  GUID hidClassGuid_{};
  HDEVINFO deviceInfoSet_ = INVALID_HANDLE_VALUE;
  std::vector<DWORD> interfaceDetail_;  // DWORDs keep the detail record aligned
  DWORD detailSize_ = 0;

  // The one overlapped read: its event, its completion record and the buffer it reads into.
  // While a read is outstanding the system owns readBuffer_ and readOverlapped_, so no second
  // read is issued until this one has been collected or cancelled.
  HANDLE readEvent_ = nullptr;
  OVERLAPPED readOverlapped_{};
  uint8_t readBuffer_[kInputReportSize] = {};
  HANDLE readPendingOn_ = nullptr;
  bool readPending_ = false;

  NativeWindow* window_ = nullptr;
  HDEVNOTIFY notification_ = nullptr;
};

}  // namespace k4::win32
