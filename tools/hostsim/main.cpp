// k4-hostsim: plays the host and the pendant for the Orvane K4 plug-in.
#include <cstdio>

#include "config_dialog.h"
#include "demo_scenario.h"
#include "live.h"
#include "machine.h"
#include "options.h"
#include "profile_file.h"
#include "scenario_file.h"
#include "script_runner.h"

using namespace k4::hostsim;

int main(int argc, char** argv) {
  silenceXmlMessages();
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
  if (options.version) {
    std::printf("k4-hostsim %s\n", kVersion);
    return 0;
  }
  SimulatedMachine machine;
  if (options.live || options.config) {
    // A user's own session keeps its settings where the next one finds them.
    if (options.profile.empty()) {
      std::string folder;
      if (configFolder(folder, error)) {
        options.profile = folder + "/hostsim-profile.xml";
      } else if (options.config) {
        std::fprintf(stderr, "k4-hostsim: %s; name a profile with --profile\n", error.c_str());
        return kUsageError;
      } else {
        // A live session can do without: it runs on a temporary profile.
        std::fprintf(stderr, "k4-hostsim: %s; the settings are not kept this time\n",
                     error.c_str());
      }
    }
    machine.startAsAHost();
  }
  if (options.config)
    return runConfigDialog(options, machine, "k4-hostsim");
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
