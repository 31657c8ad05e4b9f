// Runs a parsed scenario against the plug-in in virtual time and prints the host's timeline.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "scenario.h"

namespace k4::hostsim {

// Returns the process exit code: 0 when the scenario ran to its end. With `closingSummary`
// (the demo) a last narration line gives the axis positions.
int runScenario(const std::string& name, const std::vector<Command>& commands,
                const Options& options, bool closingSummary = false);

}  // namespace k4::hostsim
