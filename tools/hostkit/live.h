// Live mode: the plug-in on a real clock with a real or the virtual pendant, a compact
// dashboard in the terminal, keyboard control of the virtual pendant, and recording.
#pragma once

#include <string>

#include "host_model.h"
#include "options.h"

namespace k4::hostsim {

// Returns the process exit code. With a `model` (a bridge to a real controller) the dashboard
// shows the model's lines under `title`, and the session ends with code 3 when the model is lost.
int runLive(const Options& options, HostModel& model, const std::string& title = "k4-hostsim");

}  // namespace k4::hostsim
