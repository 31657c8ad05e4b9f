// The stand-in host's side, shared by the programs that load the plug-in DLL: the module reached
// by export name, the six callbacks recording every call the plug-in makes (with how deeply
// they were nested), the host's view window and its message loop.
#pragma once

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/host_boundary.h"

namespace k4::test {

using SetterFn = void(K4_CALL*)(void*);
using SetProNameFn = const char*(K4_CALL*)(const char*);
using InitControlFn = bool(K4_CALL*)(EngineBlock*, SetupBlock*, PlannerBlock*, void*);
using VoidFn = void(K4_CALL*)();

inline std::string besideThisProgram(const char* fileName) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path);
  directory.erase(directory.find_last_of('\\') + 1);
  return directory + fileName;
}

// `fileName` in the system's directory for temporary files.
inline std::string inTemporaryDirectory(const char* fileName) {
  char directory[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, directory);
  return directory + std::string(fileName);
}

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// What the plug-in asked of the host, in order ("DoButton 1021", "Code ENDJOG", ...), the
// answers the host gives, and what the host does inside a callback.
struct HostRecord {
  std::vector<std::string> calls;
  std::map<int, double> dros;
  std::map<int, bool> leds;
  int depth = 0;    // callbacks on the stack now
  int deepest = 0;  // the most ever on the stack at once
  // Runs inside every callback, after the call is recorded (the host's own reaction).
  std::function<void(const std::string&)> reaction;

  void clear() { *this = HostRecord{}; }
};

inline HostRecord hostRecord;

// Records the call and runs the host's reaction, counting the callbacks on the stack.
inline void hostCall(const std::string& call) {
  hostRecord.calls.push_back(call);
  ++hostRecord.depth;
  if (hostRecord.depth > hostRecord.deepest)
    hostRecord.deepest = hostRecord.depth;
  if (hostRecord.reaction) {
    const auto reaction = hostRecord.reaction;  // the reaction may replace itself
    reaction(call);
  }
  --hostRecord.depth;
}

inline void K4_CALL hostDoButton(int code) {
  hostCall("DoButton " + std::to_string(code));
}
inline void K4_CALL hostSetDro(int code, double value) {
  hostRecord.dros[code] = value;
  hostCall("SetDRO " + std::to_string(code));
}
inline double K4_CALL hostGetDro(int code) {
  hostCall("GetDRO " + std::to_string(code));
  return hostRecord.dros[code];
}
inline uint8_t K4_CALL hostGetLed(int code) {
  hostCall("GetLED " + std::to_string(code));
  return hostRecord.leds[code] ? 1 : 0;
}
inline void K4_CALL hostSetLed(int code, bool lit) {
  hostRecord.leds[code] = lit;
  hostCall("SetLED " + std::to_string(code));
}
inline void K4_CALL hostCode(const char* line) {
  hostCall(std::string("Code ") + line);
}

// The loaded plug-in, reached by export name as the host reaches it.
class PlugIn {
 public:
  explicit PlugIn(const char* fileName = "Orvane_K4.dll")
      : module_(LoadLibraryA(besideThisProgram(fileName).c_str())) {}
  ~PlugIn() { unload(); }
  PlugIn(const PlugIn&) = delete;
  PlugIn& operator=(const PlugIn&) = delete;

  bool loaded() const { return module_ != nullptr; }
  HMODULE module() const { return module_; }
  bool unload() {
    const bool freed = module_ != nullptr && FreeLibrary(module_);
    module_ = nullptr;
    return freed;
  }

  template <typename Fn>
  Fn entry(const char* name) const {
    return test::entry<Fn>(module_, name);
  }
  void call(const char* name) const {
    if (const auto fn = entry<VoidFn>(name))
      fn();
  }

  // The host's start-up order: the six callbacks, then the name and profile.
  const char* handOverCallbacksAndProfile(const std::string& profile) const {
    const struct {
      const char* name;
      void* callback;
    } setters[] = {
        {"SetDoButton", reinterpret_cast<void*>(&hostDoButton)},
        {"SetSetDRO", reinterpret_cast<void*>(&hostSetDro)},
        {"SetGetDRO", reinterpret_cast<void*>(&hostGetDro)},
        {"SetGetLED", reinterpret_cast<void*>(&hostGetLed)},
        {"SetSetLED", reinterpret_cast<void*>(&hostSetLed)},
        {"SetCode", reinterpret_cast<void*>(&hostCode)},
    };
    for (const auto& setter : setters) {
      const auto fn = entry<SetterFn>(setter.name);
      if (fn == nullptr)
        return nullptr;
      fn(setter.callback);
    }
    const auto setProName = entry<SetProNameFn>("SetProName");
    return setProName != nullptr ? setProName(profile.c_str()) : nullptr;
  }

  // The whole start-up as the host runs it: callbacks and profile, InitControl with the blocks
  // and `view`, PostInitControl. False when an export is missing or InitControl refused.
  bool startUp(const std::string& profile, EngineBlock& engine, SetupBlock& setup,
               PlannerBlock& planner, HWND view) const {
    if (handOverCallbacksAndProfile(profile) == nullptr)
      return false;
    const auto initControl = entry<InitControlFn>("InitControl");
    if (initControl == nullptr || !initControl(&engine, &setup, &planner, view))
      return false;
    call("PostInitControl");
    return true;
  }

 private:
  HMODULE module_;
};

// One load of the plug-in as a host runs it: callbacks and profile, InitControl with `view`,
// PostInitControl, each when asked, then StopPlug (after InitControl), unload, and the message
// loop's waiting messages. False when the module did not load.
inline bool loadRunUnload(HWND view, const std::string& profile, bool withProfile, bool withWindow,
                          bool withSettings);

// The host's view window, never shown.
class HostView {
 public:
  HostView()
      : hwnd_(CreateWindowExA(0, "STATIC", "host view", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  ~HostView() {
    if (hwnd_ != nullptr)
      DestroyWindow(hwnd_);
  }
  HostView(const HostView&) = delete;
  HostView& operator=(const HostView&) = delete;
  HWND hwnd() const { return hwnd_; }
  // The pendant's hidden child window (child id 1), or null.
  HWND pendantWindow() const { return GetDlgItem(hwnd_, 1); }

 private:
  HWND hwnd_;
};

// Runs the host's message loop for about `milliseconds`; returns how many WM_TIMER messages it
// dispatched to `target`. `onDispatched` (if set) hears of each message with how long its
// dispatch held the thread, in milliseconds.
inline int pumpCountingTimerTicks(
    DWORD milliseconds, HWND target,
    const std::function<void(const MSG&, double)>& onDispatched = {}) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  int ticks = 0;
  // GetTickCount, not its 64-bit form: the headers declare only what Windows XP has. The
  // difference of two readings is right across the counter's wrap.
  const DWORD start = GetTickCount();
  for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_TIMER && target != nullptr && message.hwnd == target)
        ++ticks;
      LARGE_INTEGER before, after;
      QueryPerformanceCounter(&before);
      TranslateMessage(&message);
      DispatchMessageA(&message);
      QueryPerformanceCounter(&after);
      if (onDispatched) {
        onDispatched(message, 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                                  static_cast<double>(frequency.QuadPart));
      }
    }
  }
  return ticks;
}

// Dispatches whatever messages are waiting, without waiting for more.
inline void pumpPending() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// The system's notification of the device interface `path` arriving or being removed, sent to
// `window` as the system sends it: the name runs on past the record's declared one character.
inline void sendDeviceChange(HWND window, UINT event, const std::string& path) {
  alignas(DEV_BROADCAST_DEVICEINTERFACE_A) char
      record[sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + 256] = {};
  auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record);
  header->dbcc_size = sizeof record;
  header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(record + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), path.c_str(),
              std::min<std::size_t>(path.size(), 255));
  SendMessageA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record));
}

// Runs the message loop until `target` has had `ticks` timer messages, or `limitMs` passed.
inline bool pumpUntilTicks(HWND target, int ticks, DWORD limitMs = 2000) {
  const DWORD start = GetTickCount();
  int seen = 0;
  while (seen < ticks && GetTickCount() - start < limitMs)
    seen += pumpCountingTimerTicks(5, target);
  return seen >= ticks;
}

inline bool loadRunUnload(HWND view, const std::string& profile, bool withProfile, bool withWindow,
                          bool withSettings) {
  PlugIn plugIn;
  if (!plugIn.loaded())
    return false;
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  if (withProfile)
    plugIn.handOverCallbacksAndProfile(profile);
  if (withWindow)
    plugIn.entry<InitControlFn>("InitControl")(&engine, &setup, &planner, view);
  if (withSettings)
    plugIn.call("PostInitControl");
  if (withWindow)
    plugIn.call("StopPlug");
  const bool unloaded = plugIn.unload();
  pumpPending();
  return unloaded;
}

}  // namespace k4::test
