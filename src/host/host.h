// The one small object through which the plug-in reaches the host: the callbacks and the block
// pointers handed over by the exports. Every call is safe with a missing callback or block, so a
// host that hands over a null pointer gets a quiet plug-in instead of a crash.
#pragma once

#include <cstdint>

#include "host/host_boundary.h"

namespace k4 {

struct Host {
  HostCallbacks callbacks{};
  EngineBlock* engine = nullptr;
  SetupBlock* setup = nullptr;
  PlannerBlock* planner = nullptr;
  void* view = nullptr;  // HostView

  void doButton(int code) const {
    if (callbacks.DoButton != nullptr)
      callbacks.DoButton(code);
  }
  void setDro(int code, double value) const {
    if (callbacks.SetDRO != nullptr)
      callbacks.SetDRO(code, value);
  }
  double getDro(int code) const {
    return callbacks.GetDRO != nullptr ? callbacks.GetDRO(code) : 0.0;
  }
  // Any non-zero byte is lit, whatever the host puts there for "true".
  bool getLed(int code) const { return callbacks.GetLED != nullptr && callbacks.GetLED(code) != 0; }
  void code(const char* line) const {
    if (callbacks.Code != nullptr)
      callbacks.Code(line);
  }

  // Assigns the host's status line, cut to its capacity and always terminated.
  void showStatusMessage(const char* message) const;
};

// The module-wide host object, filled by the exports.
extern Host host;

}  // namespace k4
