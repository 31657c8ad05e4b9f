// An in-process pendant that a host hands to the plug-in as its device table
// (host/k4_host_view.h): a queue of input reports, a record of output reports, plug and unplug,
// other HID devices beside it. Used by the tests and by the host simulator; it never waits, so
// runs with it are deterministic.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "host/k4_host_view.h"

namespace k4 {

class VirtualPendant {
 public:
  using InputReport = std::array<uint8_t, K4_INPUT_REPORT_SIZE>;
  using OutputReport = std::array<uint8_t, K4_OUTPUT_REPORT_SIZE>;

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
  virtual ~VirtualPendant() = default;
  // The table holds this object's address.
  VirtualPendant(const VirtualPendant&) = delete;
  VirtualPendant& operator=(const VirtualPendant&) = delete;

  // The device table to hand over (k4_host_view::devices); valid as long as this pendant.
  const k4_device_table* table() const { return &table_; }

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
  int openHandleCount() const;                          // handles opened and not yet closed
  const std::vector<k4_handle>& closedHandles() const;  // in the order they were closed
  int badCloseCount() const;                            // closes of handles that were not open
  int readCount() const;                                // readReport calls
  int lastReadTimeoutMs() const;
  int probesOpened() const;  // successful openProbe calls
  std::size_t queuedReportCount() const;

  // ---- The device table's operations ---------------------------------------------------------
  void beginEnumeration();
  // The path's length, written as snprintf does; -1 past the end.
  int interfacePath(uint32_t index, char* buffer, std::size_t capacity) const;
  void endEnumeration();
  k4_handle openProbe(const char* path);
  bool attributes(k4_handle probe, uint16_t& vendorId, uint16_t& productId) const;
  k4_handle openRead(const char* path);
  k4_handle openWrite(const char* path);
  void close(k4_handle handle);
  bool readReport(k4_handle handle, uint8_t* report, int timeoutMs);
  int writeReport(k4_handle handle, const uint8_t* report);  // K4_WRITE_SENT, _BUSY, _FAILED
  bool registerNotifications(k4_device_sink deliver, void* sink);
  void unregisterNotifications(void* sink);

 private:
  static k4_device_table makeTable(VirtualPendant* self);

  k4_device_table table_;
  std::deque<InputReport> queued_;
  std::vector<OutputReport> written_;
  k4_device_sink deliver_ = nullptr;  // the registered receiver of device changes
  void* sink_ = nullptr;
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
  k4_handle open(const std::string& path, Access access);
  void notify(uint32_t eventType, const std::string& name);

  std::vector<Device> devices_;  // the other interfaces
  std::vector<std::string> enumeration_;
  std::deque<InputReport> late_;
  std::map<k4_handle, Handle> handles_;
  std::vector<k4_handle> closed_;
  k4_handle nextHandle_ = 0x100;
  int badCloses_ = 0;
  int reads_ = 0;
  int lastTimeoutMs_ = -1;
  int probes_ = 0;
  bool writesFail_ = false;
  bool stalled_ = false;
  k4_handle pendingOn_ = K4_INVALID_HANDLE;  // the handle of the pending write, if any
  OutputReport pendingReport_{};
  int pendingWrites_ = 0;  // writes that found it pending
  int cancelledWrites_ = 0;
  bool shortReads_ = false;
};

}  // namespace k4
