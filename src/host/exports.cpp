// The plug-in's exported entry points. The host drives the plug-in only through these.
//
// No exception and no crash may cross into the host: every export runs its body inside
// `guarded`, which swallows anything thrown, and every export tolerates being called out of
// order (Update before anything, StopPlug twice, PostInitControl without InitControl, ...).
#include <exception>
#include <string>

#include "host/exports.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "platform/device.h"
#include "platform/module.h"
#include "settings/pendant_settings.h"
#include "settings/profile_store.h"

namespace k4 {

namespace {

constexpr const char* kDisplayNameSuffix = " Pendant --Tarnwick Ver 3.3.0";

template <typename Body>
void guarded(Body body) noexcept {
  try {
    body();
  } catch (...) {
    // The host has no channel for our errors; staying quiet is the contract.
  }
}

// Ends the pendant work: the jog is ended and settled, the timer and the device are let go.
// Called from inside one of our own callbacks, the window object outlives this call until the
// handler that made the callback returns; it makes no further host call.
void destroyPendantWindow() {
  PendantWindow* window = pendantWindow;
  pendantWindow = nullptr;
  PendantWindow::stopAndRelease(window);
}

}  // namespace

std::string moduleBaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot != 0)
    name.erase(dot);
  return name;
}

std::string buildDisplayName(const std::string& modulePath) {
  return moduleBaseName(modulePath) + kDisplayNameSuffix;
}

void stopPlugInAtUnload() {
  StopPlug();
}

}  // namespace k4

using namespace k4;

extern "C" {

K4_EXPORT void K4_CALL SetDoButton(DoButtonFn fn) {
  host.callbacks.DoButton = fn;
}
K4_EXPORT void K4_CALL SetSetDRO(SetDroFn fn) {
  host.callbacks.SetDRO = fn;
}
K4_EXPORT void K4_CALL SetGetDRO(GetDroFn fn) {
  host.callbacks.GetDRO = fn;
}
K4_EXPORT void K4_CALL SetGetLED(GetLedFn fn) {
  host.callbacks.GetLED = fn;
}
K4_EXPORT void K4_CALL SetSetLED(SetLedFn fn) {
  host.callbacks.SetLED = fn;
}
K4_EXPORT void K4_CALL SetCode(CodeFn fn) {
  host.callbacks.Code = fn;
}

K4_EXPORT const char* K4_CALL SetProName(const char* name) {
  guarded([&] {
    profilePath = name != nullptr ? name : "";
    {
      // Opening and closing a store makes sure the profile exists and is well formed.
      ProfileStore store(profilePath);
    }
    displayName = buildDisplayName(moduleFileName());
  });
  return displayName.c_str();
}

K4_EXPORT bool K4_CALL InitControl(EngineBlock* engine, SetupBlock* setup, PlannerBlock* planner,
                                   void* view) {
  guarded([&] {
    host.engine = engine;
    host.setup = setup;
    host.planner = planner;
    host.view = view;
    // A second InitControl replaces the window instead of leaking the first one.
    destroyPendantWindow();
    pendantWindow = new PendantWindow(platformDeviceServices(view));
    pendantWindow->createNativeWindow(view);  // result ignored: the plug-in stays loaded
  });
  return true;
}

K4_EXPORT void K4_CALL PostInitControl() {
  guarded([] {
    ProfileStore store(profilePath);
    LoadSettings(store);
  });
}

K4_EXPORT void K4_CALL Config() {
  // The dialog has no parent window, so the host stays usable behind it and may ask for the
  // dialog again from inside its modal loop. One dialog at a time: a second one would edit the
  // same settings and its own store would write the same profile under the first one.
  static bool configurationOpen = false;
  if (configurationOpen)
    return;
  guarded([] {
    configurationOpen = true;
    struct Closed {
      ~Closed() { configurationOpen = false; }
    } closed;
    ProfileStore store(profilePath);
    ConfigureSettings(store);
  });
}

K4_EXPORT void K4_CALL Update() {
  advanceUpdateTick();
}

K4_EXPORT void K4_CALL StopPlug() {
  guarded([] {
    destroyPendantWindow();
    // The host's blocks are ours only until StopPlug: nothing may reach them afterwards.
    host.engine = nullptr;
    host.setup = nullptr;
    host.planner = nullptr;
  });
}

K4_EXPORT void K4_CALL DoDwell() {}
K4_EXPORT void K4_CALL Reset() {}
K4_EXPORT void K4_CALL JogOn() {}
K4_EXPORT void K4_CALL JogOff() {}
K4_EXPORT void K4_CALL Purge() {}
K4_EXPORT void K4_CALL Probe() {}
K4_EXPORT void K4_CALL Home() {}

}  // extern "C"
