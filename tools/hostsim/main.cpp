// k4-hostsim: plays the host and the pendant for the Orvane K4 plug-in.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "demo_scenario.h"
#include "live.h"
#include "options.h"
#include "scenario.h"
#include "script_runner.h"

using namespace k4::hostsim;

namespace {

constexpr int kUsageError = 2;

bool readScript(const std::string& path, std::string& text, std::string& error) {
  std::ostringstream content;
  if (path == "-") {
    content << std::cin.rdbuf();
    text = content.str();
    return true;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  content << file.rdbuf();
  text = content.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return kUsageError;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.live)
    return runLive(options);

  std::string name = "demo.k4";
  std::string text = kDemoScenario;
  const bool demo = options.script.empty();
  if (demo) {
    // The tour shows the axes move and the jog records behind a velocity jog.
    options.show.machine = true;
    options.show.records = true;
  }
  if (!demo) {
    name = options.script == "-" ? "<stdin>" : options.script;
    if (!readScript(options.script, text, error)) {
      std::fprintf(stderr, "%s:0: cannot read the scenario: %s\n", name.c_str(), error.c_str());
      return kUsageError;
    }
  }
  std::vector<Command> commands;
  try {
    commands = parseScenario(text);
  } catch (const ParseError& bad) {
    std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), bad.line, bad.what());
    return kUsageError;
  }
  return runScenario(name, commands, options, demo);
}
