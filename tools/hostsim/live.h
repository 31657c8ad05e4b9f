// Live mode: the plug-in on a real clock with a real or the virtual pendant, a compact
// dashboard in the terminal, keyboard control of the virtual pendant, and recording.
#pragma once

#include "options.h"

namespace k4::hostsim {

// Returns the process exit code.
int runLive(const Options& options);

}  // namespace k4::hostsim
