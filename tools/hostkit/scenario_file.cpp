#include "scenario_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace k4::hostsim {

bool loadScenario(const std::string& path, Scenario& scenario) {
  const bool standardInput = path == "-";
  const std::string name = standardInput ? "<stdin>" : path;
  std::ostringstream content;
  if (standardInput) {
    content << std::cin.rdbuf();
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "%s:0: cannot read the scenario: %s\n", name.c_str(),
                   std::strerror(errno));
      return false;
    }
    content << file.rdbuf();
  }
  return parseScenarioText(name, content.str(), scenario);
}

bool parseScenarioText(const std::string& name, const std::string& text, Scenario& scenario) {
  scenario.name = name;
  std::vector<ParseError> errors;
  scenario.commands = parseScenario(text, errors);
  for (const ParseError& bad : errors)
    std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), bad.line, bad.what());
  return errors.empty();
}

}  // namespace k4::hostsim
