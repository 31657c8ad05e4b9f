// An in-process pendant behind the ordinary device services: a queue of input reports, a record
// of output reports, plug and unplug, other HID devices beside it. Used by the tests and by the
// host simulator; it never waits, so runs with it are deterministic.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
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

  // The pendant's path when it was plugged into another port (plugElsewhere).
  static constexpr const char* kPendantElsewherePath =
      "\\\\?\\hid#vid_04d8&pid_fce5#7&3e4f5a6b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  // A second pendant's path (arriveSecondPendant).
  static constexpr const char* kSecondPendantPath =
      "\\\\?\\hid#vid_04d8&pid_fce5#7&5c6d7e8f&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

  // The name an arrival of another HID device carries (arriveOther).
  static constexpr const char* kOtherArrivalPath =
      "\\\\?\\hid#vid_1209&pid_0001#8&2c3d4e5f&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

  VirtualPendant();

  // ---- Set-up and control, from the test or the simulator -----------------------------------
  // Whether the pendant is plugged in (before discovery: `false` is "pendant absent").
  void setPresent(bool present);
  bool present() const;
  // Another HID interface, listed in enumeration before the pendant.
  void addOtherDevice(const std::string& path, uint16_t vendorId, uint16_t productId);
  // Another HID interface, listed in enumeration after the pendant.
  void addTrailingDevice(const std::string& path, uint16_t vendorId, uint16_t productId);
  // The next input report, delivered by the next read.
  void queueReport(const InputReport& report);
  // A report that arrives just after a read's wait has ended: the first read that finds no other
  // report queued times out, and the read after it delivers this report.
  void queueLateReport(const InputReport& report);
  // Removal of the pendant's interface: its handles go dead, and a removal notification is
  // delivered when the plug-in registered for notifications.
  void unplug();
  // The same, with the notification naming the interface as `notifiedName` (the system may
  // spell the path in another letter case).
  void unplug(const std::string& notifiedName);
  // The pendant arrives again (arrival notification when registered).
  void plug();
  // The pendant arrives again under another path (another USB port, another hidraw node): its
  // old path opens nothing any more.
  void plugElsewhere();
  // The pendant's path as enumeration lists it now.
  const std::string& pendantPath() const;
  // Another pendant (the same ids) arrives, listed in enumeration after this one. It delivers no
  // reports.
  void arriveSecondPendant();
  // Another HID device arrives (arrival notification when registered).
  void arriveOther();
  // Another HID device is removed (removal notification naming `path`, when registered).
  void removeOther(const std::string& path);

  // ---- Fault switches ------------------------------------------------------------------------
  // Writes fail and are not recorded.
  void setWritesFail(bool fail);
  // The pendant stops taking output, as one whose output endpoint keeps refusing: the next write
  // is taken as pending, later ones find it still pending (Busy), and once it has been pending for
  // kStalledWritesBeforeFailure writes it is cancelled (Failed). Taking output again completes a
  // pending write. The virtual pendant never waits, so its pending time is counted in writes, one
  // per report cycle.
  void setStalled(bool stalled);
  static constexpr int kStalledWritesBeforeFailure = 40;  // 40 report cycles of 25 ms: a second
  // Each read takes the next queued report but delivers only part of it (not a report).
  void setShortReads(bool shortReads);

  // ---- Observation ---------------------------------------------------------------------------
  const std::vector<OutputReport>& writtenReports() const;
  bool writePending() const;
  int cancelledWriteCount() const;  // pending writes given up or ended by a close
  void clearWrittenReports();
  bool notificationsRegistered() const;
  int openHandleCount() const;                             // handles opened and not yet closed
  const std::vector<DeviceHandle>& closedHandles() const;  // in the order they were closed
  int badCloseCount() const;                               // closes of handles that were not open
  int readCount() const;                                   // readReport calls
  int lastReadTimeoutMs() const;
  int probesOpened() const;  // successful openProbe calls
  std::size_t queuedReportCount() const;

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
  WriteResult writeReport(DeviceHandle handle, const uint8_t (&report)[kOutputReportSize]) override;
  bool registerNotifications(NativeWindow& window) override;
  void unregisterNotifications(NativeWindow& window) override;

 private:
  // Implementation state is the implementer's (handles, devices, queues, fault switches).
  struct State;
  std::deque<InputReport> queued_;
  std::vector<OutputReport> written_;
  NativeWindow* window_ = nullptr;
  bool present_ = true;
  std::string pendantPath_ = kPendantPath;

  enum class Access { kProbe, kRead, kWrite };
  static constexpr int kPendantDevice = -1;
  struct Device {
    std::string path;
    uint16_t vendorId;
    uint16_t productId;
    bool afterPendant;
  };
  struct Handle {
    int device;  // index into devices_, or kPendantDevice
    Access access;
    bool dead;  // its device was removed
  };
  DeviceHandle open(const std::string& path, Access access);
  void notify(uint32_t eventType, const std::string& name);

  std::vector<Device> devices_;  // the other interfaces
  std::vector<std::string> enumeration_;
  std::deque<InputReport> late_;
  std::map<DeviceHandle, Handle> handles_;
  std::vector<DeviceHandle> closed_;
  DeviceHandle nextHandle_ = 0x100;
  int badCloses_ = 0;
  int reads_ = 0;
  int lastTimeoutMs_ = -1;
  int probes_ = 0;
  bool writesFail_ = false;
  bool stalled_ = false;
  DeviceHandle pendingOn_ = kInvalidHandle;  // the handle of the pending write, if any
  OutputReport pendingReport_{};
  int pendingWrites_ = 0;  // writes that found it pending
  int cancelledWrites_ = 0;
  bool shortReads_ = false;
};

}  // namespace k4
