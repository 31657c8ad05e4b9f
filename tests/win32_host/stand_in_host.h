// The plug-in DLL started as a host starts it, with the stand-in pendant behind its device
// imports; report cycles, device changes and host reactions as the tests of the host's side
// need them.
#pragma once

#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plug_in_host.h"
#include "profile_files.h"
#include "stand_in_pendant.h"

namespace k4::test {

using Calls = std::vector<std::string>;
using Report = std::array<uint8_t, 8>;

constexpr uint8_t kVelocityKnob = 2;  // knob position of the velocity jog
inline constexpr char kReturned[] = "(returned)";

inline Report pendantReport(uint8_t wheel, uint8_t intensity, uint8_t knob) {
  return Report{0, wheel, intensity, 0, knob, 0, 0, 0};
}

// The calls after the marker the host put in when its nested call returned.
inline Calls callsAfterReturn() {
  const Calls& calls = hostRecord.calls;
  const auto marker = std::find(calls.begin(), calls.end(), kReturned);
  return marker == calls.end() ? Calls{"(no return)"} : Calls(marker + 1, calls.end());
}

inline long countOf(const std::string& call) {
  return std::count(hostRecord.calls.begin(), hostRecord.calls.end(), call);
}

class StandInHost : public ::testing::Test {
 protected:
  // False: the pendant is plugged in only after PostInitControl, when the test says so.
  bool presentAtStart = true;

  void SetUp() override {
    hostRecord.clear();
    hostRecord.leds[83] = true;  // the host allows jogging
    ASSERT_TRUE(plugIn.loaded()) << GetLastError();
    ASSERT_NE(view.hwnd(), nullptr);
    pendant = std::make_unique<StandInPendant>(plugIn.module());
    writeFile(profile,
              "<profile><Orvane_K4_Pendant><AutoMode>0</AutoMode><StepJogRate>100</StepJogRate>"
              "<DelaySteps>2</DelaySteps></Orvane_K4_Pendant></profile>");
    for (int axis = 0; axis < 6; ++axis)
      planner.fullJogSpeed[axis] = 1000;
    ASSERT_NE(plugIn.handOverCallbacksAndProfile(profile), nullptr);
    ASSERT_TRUE(plugIn.entry<InitControlFn>("InitControl")(&engine, &setup, &planner, view.hwnd()));
    window = view.pendantWindow();
    ASSERT_NE(window, nullptr);
    if (!presentAtStart)
      pendant->unplug();
    plugIn.call("PostInitControl");
    ASSERT_EQ(pendant->openDeviceHandles(), presentAtStart ? 3 : 0)
        << "probe, read and write handle";
  }
  void TearDown() override {
    hostRecord.reaction = nullptr;
    plugIn.call("StopPlug");
    plugIn.unload();
    pendant.reset();
  }

  // One report cycle with `report`, then the host's Update; the calls of that cycle.
  Calls cycle(const Report& report) {
    hostRecord.calls.clear();
    pendant->sendReport(report);
    EXPECT_TRUE(pumpUntilTicks(window, 1));
    plugIn.call("Update");
    return hostRecord.calls;
  }

  // Turns the wheel at the velocity knob until the host has been told "DOJOG" on X.
  void startJog() {
    cycle(pendantReport(wheel, 60, kVelocityKnob));  // the wheel's reference
    bool started = false;
    for (int i = 0; i < 12 && !started; ++i) {
      wheel = static_cast<uint8_t>(wheel + 3);
      const Calls calls = cycle(pendantReport(wheel, 60, kVelocityKnob));
      started = std::count(calls.begin(), calls.end(), "Code DOJOG") != 0;
    }
    ASSERT_TRUE(started);
    ASSERT_EQ(engine.axisJog[0].startByte, 1);
    ASSERT_EQ(engine.axisJog[0].stopByte, 0);
  }

  // The system's notification of an interface arriving or being removed: the pendant's own
  // (where it is now) unless another path is named.
  void deviceChange(UINT event, std::string path = {}) {
    if (path.empty())
      path = pendant->path();
    sendDeviceChange(window, event, path);
  }

  // The host calls `nested` from inside the first callback `trigger`, then notes its return.
  void reactOnce(const std::string& trigger, std::function<void()> nested) {
    hostRecord.reaction = [trigger, nested](const std::string& call) {
      if (call != trigger)
        return;
      hostRecord.reaction = nullptr;
      nested();
      hostRecord.calls.push_back(kReturned);
    };
  }

  TempDir directory;
  const std::string profile = directory.file("profile.xml");
  HostView view;
  PlugIn plugIn;
  std::unique_ptr<StandInPendant> pendant;
  HWND window = nullptr;
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  uint8_t wheel = 10;
};

}  // namespace k4::test
