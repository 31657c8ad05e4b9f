// Runs a parsed scenario against the plug-in in virtual time and prints the host's timeline.
#pragma once

#include <string>
#include <vector>

#include "host_model.h"
#include "options.h"
#include "scenario.h"

namespace k4::hostsim {

// Returns the process exit code: 0 when the scenario ran to its end. With `closingSummary`
// (the demo) a last narration line gives the axis positions. A `model` (a bridge to a real
// controller) stands behind the host in place of the simulated machine; the cycles then run on
// the real clock when the model asks for it, and the run ends with code 3 when it is lost.
int runScenario(const std::string& name, const std::vector<Command>& commands,
                const Options& options, bool closingSummary = false, HostModel* model = nullptr);

}  // namespace k4::hostsim
