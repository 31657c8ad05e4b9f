// An in-process pendant behind the ordinary device services: a queue of input reports, a record
// of output reports, plug and unplug, other HID devices beside it. Used by the tests and by the
// host simulator; it never waits, so runs with it are deterministic.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/device.h"

namespace k4 {

class VirtualPendant final : public DeviceServices {
 public:
  using InputReport = std::array<uint8_t, kInputReportSize>;
  using OutputReport = std::array<uint8_t, kOutputReportSize>;

  // The pendant's interface path as enumeration reports it.
  static constexpr const char* kPendantPath =
      "\\\\?\\hid#vid_04d8&pid_fce5#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

  VirtualPendant();

  // ---- Set-up and control, from the test or the simulator -----------------------------------
  // Whether the pendant is plugged in (before discovery: `false` is "pendant absent").
  void setPresent(bool present);
  bool present() const;
  // Another HID interface, listed in enumeration before the pendant.
  void addOtherDevice(const std::string& path, uint16_t vendorId, uint16_t productId);
  // The next input report, delivered by the next read.
  void queueReport(const InputReport& report);
  // Removal of the pendant's interface: its handles go dead, and a removal notification is
  // delivered when the plug-in registered for notifications.
  void unplug();
  // The pendant arrives again (arrival notification when registered).
  void plug();
  // Another HID device arrives (arrival notification when registered).
  void arriveOther();

  // ---- Observation ---------------------------------------------------------------------------
  const std::vector<OutputReport>& writtenReports() const;
  void clearWrittenReports();
  bool notificationsRegistered() const;
  int openHandleCount() const;  // handles opened and not yet closed

  // ---- DeviceServices ------------------------------------------------------------------------
  void beginEnumeration() override;
  bool interfacePath(uint32_t index, std::string& path) override;
  void endEnumeration() override;
  DeviceHandle openProbe(const std::string& path) override;
  bool attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) override;
  DeviceHandle openRead(const std::string& path) override;
  DeviceHandle openWrite(const std::string& path) override;
  void close(DeviceHandle handle) override;
  bool readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize], int timeoutMs) override;
  bool writeReport(DeviceHandle handle, const uint8_t (&report)[kOutputReportSize]) override;
  bool registerNotifications(NativeWindow& window) override;

 private:
  // Implementation state is the implementer's (handles, devices, queues, fault switches).
  struct State;
  std::deque<InputReport> queued_;
  std::vector<OutputReport> written_;
  NativeWindow* window_ = nullptr;
  bool present_ = true;
};

}  // namespace k4
