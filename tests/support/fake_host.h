// A fake host for unit tests: installs its callbacks and blocks into the plug-in's host object,
// records every host call in order, and answers LEDs and DROs from tables. The initial state is
// that of a host ready to jog: LED 83 lit, step increment 0.001, full jog speed 1000 per axis.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/host_boundary.h"
#include "platform/device.h"

namespace k4::test {

class FakeHost {
 public:
  FakeHost();  // resets the plug-in's module-wide state and settings, then installs itself
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // Host calls in order: "DoButton 1021", "SetDRO 828 0.001" (%.10g), "Code \"G90\"", and,
  // when recordReads is set, "GetLED 800 -> 1" and "GetDRO 22 -> 0".
  std::vector<std::string> calls;
  bool recordReads = false;

  // The byte GetLED answers: true is 1, and a test may put any other byte there for "lit".
  std::map<int, uint8_t> leds;
  std::map<int, double> dros;  // SetDRO writes here too, as a real host would

  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};

  // Returns the calls recorded so far and forgets them.
  std::vector<std::string> take();
  std::string statusLine() const { return planner.statusLine; }

  static FakeHost* current;
};

// Device services with no device at all, for tests that need a PendantWindow but no link.
class NoDeviceServices : public DeviceServices {
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
  WriteResult writeReport(DeviceHandle, const uint8_t (&)[kOutputReportSize]) override {
    return WriteResult::Failed;
  }
  bool registerNotifications(NativeWindow&) override { return false; }
};

// Advances the host's Update ticks n times.
void updateTicks(int n);

}  // namespace k4::test
