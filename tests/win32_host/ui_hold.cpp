// How long the plug-in holds the host's thread per message while the pendant takes output as
// usual and while it refuses every output report for 5 s (the operator turning the wheel all
// along): prints the worst and the median hold of each phase, over the pendant window's
// messages as the host's loop dispatches them.
//   k4_win32_ui_hold.exe   (in the 32-bit run: scripts/run/win32-i386-run.sh
//   build/windows/k4_win32_ui_hold.exe)
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "plug_in_host.h"
#include "stand_in_pendant.h"

namespace {

using namespace k4;
using namespace k4::test;

struct Holds {
  std::vector<double> ms;
  void print(const char* phase) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
      std::printf("%s: no message dispatched\n", phase);
      return;
    }
    std::printf("%s: %zu messages, worst %.2f ms, median %.2f ms\n", phase, ms.size(), ms.back(),
                ms[ms.size() / 2]);
  }
};

}  // namespace

int main() {
  const std::string profile = inTemporaryDirectory("k4_ui_hold_profile.xml");
  std::ofstream(profile) << "<profile><Orvane_K4_Pendant><AutoMode>0</AutoMode>"
                            "</Orvane_K4_Pendant></profile>";
  hostRecord.leds[83] = true;  // the host allows jogging
  HostView view;
  PlugIn plugIn;
  if (!plugIn.loaded()) {
    std::printf("the plug-in did not load: %lu\n", GetLastError());
    return 1;
  }
  StandInPendant pendant(plugIn.module());
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  for (int axis = 0; axis < 6; ++axis)
    planner.fullJogSpeed[axis] = 1000;
  const bool started = plugIn.startUp(profile, engine, setup, planner, view.hwnd());
  const HWND window = view.pendantWindow();
  if (!started || window == nullptr || pendant.openDeviceHandles() != 3) {
    std::printf("the stand-in pendant was not opened\n");
    return 1;
  }

  // The wheel turns one detent group per report cycle at the velocity knob.
  uint8_t wheel = 10;
  const auto measure = [&](DWORD milliseconds, Holds& holds) {
    pumpCountingTimerTicks(milliseconds, window, [&](const MSG& message, double heldMs) {
      if (message.hwnd != window)
        return;
      holds.ms.push_back(heldMs);
      if (message.message == WM_TIMER) {
        wheel = static_cast<uint8_t>(wheel + 3);
        pendant.sendReport(std::array<uint8_t, 8>{0, wheel, 60, 0, 2, 0, 0, 0});
        plugIn.call("Update");
      }
    });
  };
  Holds taking;
  measure(3000, taking);
  pendant.refuseOutputFor(5000);
  Holds refusing;
  measure(5000, refusing);
  taking.print("pendant taking output");
  refusing.print("pendant refusing output for 5 s");
  plugIn.call("StopPlug");
  DeleteFileA(profile.c_str());
  return 0;
}
