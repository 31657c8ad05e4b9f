// A host that loads, starts, stops and unloads the plug-in again and again: prints what each
// round leaves behind in open handles and committed private memory.
//   k4_win32_reload_rounds.exe [ROUNDS [STEPS]]   (default 1000 rounds; in the 32-bit run:
//   scripts/run/win32-i386-run.sh build/windows/k4_win32_reload_rounds.exe)
// STEPS names what each round does between load and unload, to tell the parts apart: "all"
// (default: callbacks and profile, InitControl, PostInitControl, StopPlug), "none", "profile"
// (callbacks and profile only), "settings" (callbacks, profile and PostInitControl, without a
// window), "window" (InitControl and StopPlug only), "system" (no plug-in: the system's device
// libraries loaded, used for one enumeration as discovery does, and unloaded).
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "plug_in_host.h"
#include "process_usage.h"

namespace {

using namespace k4;
using namespace k4::test;

std::string steps = "all";

// One round; false when the module did not load.
bool round(HWND view, const std::string& profile) {
  if (steps == "system") {
    // What the system itself keeps when the device libraries are loaded, used for one
    // enumeration and unloaded: what a round of the plug-in costs without the plug-in.
    const HMODULE setup = LoadLibraryA("setupapi.dll");
    const HMODULE hid = LoadLibraryA("hid.dll");
    GUID hidClass{};
    entry<void(WINAPI*)(GUID*)>(hid, "HidD_GetHidGuid")(&hidClass);
    const HDEVINFO set =
        entry<HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD)>(setup, "SetupDiGetClassDevsA")(
            &hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    entry<BOOL(WINAPI*)(HDEVINFO)>(setup, "SetupDiDestroyDeviceInfoList")(set);
    FreeLibrary(hid);
    FreeLibrary(setup);
    return true;
  }
  return loadRunUnload(view, profile, steps == "all" || steps == "profile" || steps == "settings",
                       steps == "all" || steps == "window", steps == "all" || steps == "settings");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (argc > 2)
    steps = argv[2];
  const std::string profile = inTemporaryDirectory("k4_reload_rounds_profile.xml");
  HostView view;
  // The first rounds settle what the system keeps once per process (its own caches).
  constexpr int kWarmUp = 20;
  for (int i = 0; i < kWarmUp; ++i) {
    if (!round(view.hwnd(), profile)) {
      std::printf("the plug-in did not load: %lu\n", GetLastError());
      return 1;
    }
  }
  const int handlesBefore = openHandles();
  const uint64_t bytesBefore = committedPrivateBytes();
  const DWORD start = GetTickCount();
  for (int i = 0; i < rounds; ++i) {
    if (!round(view.hwnd(), profile))
      return 1;
  }
  const DWORD elapsed = GetTickCount() - start;
  const int handlesAfter = openHandles();
  const uint64_t bytesAfter = committedPrivateBytes();
  DeleteFileA(profile.c_str());
  std::printf("rounds: %d of steps \"%s\" (after %d to warm up), %.1f ms each\n", rounds,
              steps.c_str(), kWarmUp, static_cast<double>(elapsed) / rounds);
  std::printf("open handles: %d -> %d (%+.3f per round)\n", handlesBefore, handlesAfter,
              static_cast<double>(handlesAfter - handlesBefore) / rounds);
  std::printf("committed private bytes: %llu -> %llu (%+.1f per round)\n",
              static_cast<unsigned long long>(bytesBefore),
              static_cast<unsigned long long>(bytesAfter),
              (static_cast<double>(bytesAfter) - static_cast<double>(bytesBefore)) / rounds);
  return 0;
}
