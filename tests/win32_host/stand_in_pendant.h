// A stand-in pendant behind the plug-in DLL's own device imports. The module's import address
// table is pointed at functions here for the enumeration (SetupDi), the attribute query (HidD)
// and CreateFileA; every handle the plug-in gets is a real one: reads come through a named pipe
// the test writes input reports into, writes go into a named pipe with no buffer, so that a
// write stays pending (or, opened synchronously, blocks) until the pendant takes the bytes. A
// thread of the test plays the pendant's side of the output pipe: it takes each output report
// at once, or none while the pendant refuses output.
#pragma once

// The HID and setup headers need the types of windows.h first.
// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace k4::test {

using OutputReport = std::array<uint8_t, 5>;

struct StandInInterface {
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};

class StandInPendant {
 public:
  static constexpr uint16_t kVendorId = 0x04D8;
  static constexpr uint16_t kProductId = 0xFCE5;

  // Points `plugIn`'s device imports here. One stand-in at a time; the pendant is present under
  // `path` until withdrawn.
  explicit StandInPendant(HMODULE plugIn, std::string path = defaultPath());
  ~StandInPendant();
  StandInPendant(const StandInPendant&) = delete;
  StandInPendant& operator=(const StandInPendant&) = delete;

  static std::string defaultPath();

  // Other HID interfaces the enumeration lists, in order; the pendant's, while plugged in, is
  // listed at `pendantPosition` among them (at their end when beyond it).
  void setForeignInterfaces(std::vector<StandInInterface> interfaces, std::size_t pendantPosition);
  const std::string& path() const { return path_; }

  // Puts one input report into every open read handle's pipe.
  void sendReport(const std::array<uint8_t, 8>& report);
  // For the next `milliseconds` the pendant takes no output report: a write stays pending, or
  // blocks the writer. The pendant's own thread ends the refusal, even while the test's is held.
  void refuseOutputFor(DWORD milliseconds);
  // The output reports taken so far, in order; cleared by the call.
  std::vector<OutputReport> takeOutput();
  // The pendant is pulled out: its pipes are broken, the enumeration no longer lists it and
  // opens of its path fail.
  void unplug();
  // The pendant is plugged in (again) where its device path is `path`: a port of its own, or
  // another one than before.
  void plugInAt(const std::string& path);
  // Read and write handles opened on `path` so far.
  int deviceOpens(const std::string& path) const;

  // Counts of what the plug-in did through the imports.
  int enumerations() const { return enumerations_; }
  int openDeviceHandles() const;
  int writeOpensOverlapped() const { return writeOpensOverlapped_; }
  int writeOpens() const { return writeOpens_; }
  // Registrations for the HID class's interface notifications now in force.
  int notificationRegistrations() const { return notificationRegistrations_; }

  // The redirected imports (public for the table; not for tests to call).
  HDEVINFO getClassDevs();
  BOOL enumInterfaces(DWORD index, SP_DEVICE_INTERFACE_DATA* data);
  BOOL interfaceDetail(const SP_DEVICE_INTERFACE_DATA* data,
                       SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required);
  BOOL destroyList();
  BOOLEAN attributes(HANDLE handle, HIDD_ATTRIBUTES* attributes);
  HANDLE createFile(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                    DWORD disposition, DWORD flags, HANDLE templateFile);
  BOOL closeHandle(HANDLE handle);
  void noteRegistration(bool registered, const void* filter);

 private:
  struct Opened {
    HANDLE client;  // the plug-in's handle
    HANDLE server;  // the pendant's end (null for a probe)
    bool output;
    uint16_t vendorId, productId;
  };
  // The run-time's threads and mutexes are not in this toolchain's thread model: the
  // system's own, in their place.
  class Lock {
   public:
    explicit Lock(CRITICAL_SECTION& section) : section_(section) {
      EnterCriticalSection(&section_);
    }
    ~Lock() { LeaveCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    CRITICAL_SECTION& section_;
  };

  static DWORD WINAPI outputThread(void* self);
  void drainOutput();

  std::string path_;
  std::string pipeBase_;
  int pipeSerial_ = 0;
  std::vector<StandInInterface> listed() const;

  std::vector<StandInInterface> foreign_;
  std::size_t pendantPosition_ = 0;
  std::vector<StandInInterface> enumerated_;  // the list as the last enumeration began
  std::vector<std::string> deviceOpens_;
  int enumerations_ = 0;
  int writeOpens_ = 0;
  int writeOpensOverlapped_ = 0;
  int notificationRegistrations_ = 0;

  // Shared with the output thread, under mutex_.
  mutable CRITICAL_SECTION mutex_;
  std::vector<Opened> opened_;
  std::vector<OutputReport> output_;
  volatile LONG refusing_ = 0;
  volatile LONG refuseStart_ = 0;
  volatile LONG refuseMs_ = 0;
  volatile LONG stopping_ = 0;
  volatile LONG pluggedIn_ = 1;
  HANDLE wake_ = nullptr;
  HANDLE outputThread_ = nullptr;
};

}  // namespace k4::test
