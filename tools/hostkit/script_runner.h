// Runs a parsed scenario against the plug-in in virtual time and prints the host's timeline.
#pragma once

#include <string>
#include <vector>

#include "host_model.h"
#include "options.h"
#include "scenario.h"

namespace k4::hostsim {

// Returns the process exit code: 0 when the scenario ran to its end. `model` stands behind the
// host (the simulator's machine, or a bridge to a real controller); the cycles run on the real
// clock when the model asks for it, and the run ends with code 3 when it is lost. With
// `closingSummary` (the demo) a last narration line gives the axis positions.
int runScenario(const std::string& name, const std::vector<Command>& commands,
                const Options& options, HostModel& model, bool closingSummary = false);

}  // namespace k4::hostsim
