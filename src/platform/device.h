// Device services: the HID operations the pendant link needs, one implementation per platform
// (win32, posix hidraw) and one over a host's device table (platform/hosted), through which
// the tests and the host simulator hand over their virtual pendant.
#pragma once

#include <cstdint>
#include <string>

#include "host/k4_host_view.h"

namespace k4 {

class NativeWindow;

// A device handle: a Windows HANDLE or a file descriptor, widened; kInvalidHandle when closed.
using DeviceHandle = k4_handle;
constexpr DeviceHandle kInvalidHandle = K4_INVALID_HANDLE;

constexpr uint32_t kPendantVendorId = K4_PENDANT_VENDOR_ID;
constexpr uint32_t kPendantProductId = K4_PENDANT_PRODUCT_ID;

constexpr std::size_t kInputReportSize = K4_INPUT_REPORT_SIZE;
constexpr std::size_t kOutputReportSize = K4_OUTPUT_REPORT_SIZE;

// Device-change events as the window receives them (the values of the Windows messages
// DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE and DBT_DEVTYP_DEVICEINTERFACE).
constexpr uint32_t kDeviceArrival = K4_DEVICE_ARRIVAL;
constexpr uint32_t kDeviceRemoveComplete = K4_DEVICE_REMOVE_COMPLETE;
constexpr uint32_t kDeviceTypeInterface = K4_DEVICE_TYPE_INTERFACE;

// How long an output report may stay pending before the service gives it up. A pendant that
// takes no output for this long is treated as lost: the host's thread must never wait for it.
constexpr int kWritePendingLimitMs = 1000;

// What became of one output report handed to writeReport.
enum class WriteResult {
  // Written, or handed to the system to be written without waiting for it.
  Sent,
  // The previous report is still pending and younger than kWritePendingLimitMs: this one is
  // skipped (the next report cycle writes a newer one).
  Busy,
  // The write failed, or a pending one outlived kWritePendingLimitMs and the service cancelled
  // it. The pendant is not taking output: the link treats it as lost.
  Failed,
};

class DeviceServices {
 public:
  virtual ~DeviceServices() = default;

  // Enumeration of the present HID interfaces, in the system's order.
  virtual void beginEnumeration() = 0;
  // Path of interface `index`; false ends the enumeration.
  virtual bool interfacePath(uint32_t index, std::string& path) = 0;
  virtual void endEnumeration() = 0;

  virtual DeviceHandle openProbe(const std::string& path) = 0;  // no access rights
  virtual bool attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) = 0;
  virtual DeviceHandle openRead(const std::string& path) = 0;  // for overlapped reading
  // Opens the path for writing output reports so that a write never blocks the caller: the
  // host's thread runs the report cycle, and a pendant that stops taking output must not hold it.
  virtual DeviceHandle openWrite(const std::string& path) = 0;
  virtual void close(DeviceHandle handle) = 0;

  // Reads one input report, waiting at most timeoutMs. True when a whole report was read
  // into `report`; false leaves `report` untouched. A report that completes after the wait is
  // delivered by a later call.
  virtual bool readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize],
                          int timeoutMs) = 0;
  // Writes one output report without waiting for the device (at most about a millisecond).
  // At most one write is pending per handle; see WriteResult. Closing the handle cancels a
  // pending write.
  virtual WriteResult writeReport(DeviceHandle handle,
                                  const uint8_t (&report)[kOutputReportSize]) = 0;

  // Asks for arrival and removal notifications of HID interfaces, delivered through the
  // window's device-change handler on the host's thread.
  virtual bool registerNotifications(NativeWindow& window) = 0;
  // Withdraws that request before the window goes away, so that no notification reaches a
  // destroyed window. Services that hold no reference to the window need do nothing.
  virtual void unregisterNotifications(NativeWindow& /*window*/) {}
};

// The device services for a host view: on Windows SetupDi/HidD; on Linux the device table the
// host view hands over (the simulator's virtual pendant), else hidraw.
DeviceServices& platformDeviceServices(void* hostView);

}  // namespace k4
