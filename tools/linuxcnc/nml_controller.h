// The controller over LinuxCNC's NML channels (command, status, error), as its own user
// interfaces use them. The only file that includes LinuxCNC's headers.
#pragma once

#include <memory>
#include <string>

#include "controller.h"

namespace k4::lcnc {

// Connects to the running LinuxCNC described by `nmlFile`; nullptr with `error` set when the
// channels cannot be opened (LinuxCNC not running, or another user's).
std::unique_ptr<Controller> connectNml(const std::string& nmlFile, std::string& error);

// The NML file LinuxCNC ships, used when the INI names none.
const char* defaultNmlFile();

}  // namespace k4::lcnc
