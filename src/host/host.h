// The one small object through which the plug-in reaches the host: the callbacks and the block
// pointers handed over by the exports. Every call is safe with a missing callback or block, so a
// host that hands over a null pointer gets a quiet plug-in instead of a crash.
#pragma once

#include <cstdint>

#include "host/host_boundary.h"

namespace k4 {

// Thrown by a host call that returns into a handler whose window the host stopped during that
// call (StopPlug or InitControl from inside the callback). It unwinds the handler's decoders to
// the handler's entry, which catches it: nothing more is done for a window that is gone, and
// the host hears nothing from the plug-in after StopPlug returned. It never leaves the plug-in.
struct HandlerStopped {};

struct Host {
  HostCallbacks callbacks{};
  EngineBlock* engine = nullptr;
  SetupBlock* setup = nullptr;
  PlannerBlock* planner = nullptr;
  void* view = nullptr;  // the host's view: an HWND on Windows, a k4_host_view on Linux

  // Set when the host stopped the window whose handler is running; see HandlerStopped.
  bool runningHandlerStopped = false;

  // Each call returns normally, or throws HandlerStopped when the host stopped the running
  // handler's window during it. Out of line, so that the throw stays out of the decoders' code.
  void doButton(int code) const;
  void setDro(int code, double value) const;
  double getDro(int code) const;
  // Any non-zero byte is lit, whatever the host puts there for "true".
  bool getLed(int code) const;
  void code(const char* line) const;

  // Assigns the host's status line, cut to its capacity and always terminated.
  void showStatusMessage(const char* message) const;
};

// The module-wide host object, filled by the exports.
extern Host host;

}  // namespace k4
