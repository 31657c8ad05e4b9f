// A scenario read and parsed for a program that plays it (the simulator, the LinuxCNC bridge).
// Whatever is wrong is said on standard error as "NAME:LINE: reason", one line for each bad line
// of the file, and the program ends with kUsageError, the exit code of bad use.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace k4::hostsim {

constexpr int kUsageError = 2;

struct Scenario {
  std::string name;  // in messages and the plot's title: the path, or "<stdin>"
  std::vector<Command> commands;
};

// The scenario at `path` ("-": standard input). False when it cannot be read or parsed.
bool loadScenario(const std::string& path, Scenario& scenario);
// A scenario given as text (the built-in demo) under `name`. False when it does not parse.
bool parseScenarioText(const std::string& name, const std::string& text, Scenario& scenario);

}  // namespace k4::hostsim
