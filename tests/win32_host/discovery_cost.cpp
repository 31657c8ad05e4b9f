// What one discovery costs the host's thread on Windows, with 19 other HID interfaces listed
// before the pendant: the time the window's handler takes for an arrival notification while the
// pendant's link is down, with the pendant found at the end of the list, and with only another
// device arriving (the whole list probed, nothing found). The devices are the stand-in's: its
// enumeration, attribute query and handles cost next to nothing, so the figure is the plug-in's
// own work plus one real CreateFileA and CloseHandle per interface; on a real system each probe
// also opens and queries the device's driver.
//   k4_win32_discovery_cost.exe [ROUNDS]   (default 50; in the 32-bit run:
//   scripts/run/win32-i386-run.sh build/windows/k4_win32_discovery_cost.exe)
#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "plug_in_host.h"
#include "stand_in_pendant.h"

namespace {

using namespace k4;
using namespace k4::test;

constexpr int kOtherInterfaces = 19;

std::string otherInterface(int index) {
  char path[128];
  std::snprintf(
      path, sizeof path,
      "\\\\?\\hid#vid_046d&pid_c%03d#7&%08x&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", index,
      0x1000 + index);
  return path;
}

// The arrival of `path` as the window receives it; returns how long its handler took, in ms.
double timedArrival(HWND window, const std::string& path) {
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  sendDeviceChange(window, DBT_DEVICEARRIVAL, path);
  QueryPerformanceCounter(&after);
  return 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

void print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s: %zu discoveries, median %.2f ms, worst %.2f ms\n", what, ms.size(),
              ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const std::string profile = inTemporaryDirectory("k4_discovery_cost_profile.xml");
  std::ofstream(profile) << "<profile/>";
  HostView view;
  PlugIn plugIn;
  if (!plugIn.loaded()) {
    std::printf("the plug-in did not load: %lu\n", GetLastError());
    return 1;
  }
  StandInPendant pendant(plugIn.module());
  std::vector<StandInInterface> others;
  for (int i = 0; i < kOtherInterfaces; ++i)
    others.push_back({otherInterface(i), 0x046D, static_cast<uint16_t>(0xC000 + i)});
  pendant.setForeignInterfaces(others, others.size());
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  const bool started = plugIn.startUp(profile, engine, setup, planner, view.hwnd());
  const HWND window = view.pendantWindow();
  if (!started || window == nullptr || pendant.openDeviceHandles() != 3) {
    std::printf("the stand-in pendant was not found at start-up\n");
    return 1;
  }

  std::vector<double> found, notFound;
  for (int i = 0; i < rounds; ++i) {
    pendant.unplug();
    sendDeviceChange(window, DBT_DEVICEREMOVECOMPLETE, pendant.path());
    const int enumerations = pendant.enumerations();
    notFound.push_back(timedArrival(window, otherInterface(i % kOtherInterfaces)));
    pendant.plugInAt(pendant.path());
    found.push_back(timedArrival(window, pendant.path()));
    if (pendant.enumerations() != enumerations + 2 || pendant.openDeviceHandles() != 3) {
      std::printf("an arrival ran no discovery or did not find the pendant\n");
      return 1;
    }
  }
  std::printf("%d other HID interfaces listed before the pendant\n", kOtherInterfaces);
  print("the pendant arrives (found 20th)", found);
  print("another device arrives while the pendant is away (20 probed, none matches)", notFound);
  plugIn.call("StopPlug");
  DeleteFileA(profile.c_str());
  return 0;
}
