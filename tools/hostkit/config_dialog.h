// The plug-in's configuration dialog for a Linux host program's --config: the plug-in is
// started with no pendant and the host hands over no dialog table, so the plug-in shows its
// terminal dialog on the program's standard streams and writes the profile when it closes.
#pragma once

#include <string>

#include "host_model.h"
#include "options.h"

namespace k4::hostsim {

// Returns the exit code: 0 when the dialog closed and the profile holds the settings, 1 when
// the plug-in did not start or the settings did not reach the profile, kUsageError when the
// plug-in cannot be loaded or the profile cannot be written (said before the dialog opens).
// `program` names the program in messages.
int runConfigDialog(const Options& options, HostModel& model, const std::string& program);

}  // namespace k4::hostsim
