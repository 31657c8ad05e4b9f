// k4-hostsim: plays the host and the pendant for the Orvane K4 plug-in.
#include <cstdio>

#include "demo_scenario.h"
#include "live.h"
#include "machine.h"
#include "options.h"
#include "scenario_file.h"
#include "script_runner.h"

using namespace k4::hostsim;

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
  SimulatedMachine machine;
  if (options.live) {
    // Live, the machine answers code 1021 by toggling its reset state (LED 800) as a real host
    // does; scenarios set the LEDs themselves.
    machine.setReactions(true);
    return runLive(options, machine);
  }

  const bool demo = options.script.empty();
  if (demo) {
    // The tour shows the axes move and the jog records behind a velocity jog.
    options.show.machine = true;
    options.show.records = true;
  }
  Scenario scenario;
  const bool loaded = demo ? parseScenarioText("demo.k4", kDemoScenario, scenario)
                           : loadScenario(options.script, scenario);
  if (!loaded)
    return kUsageError;
  return runScenario(scenario.name, scenario.commands, options, machine, demo);
}
