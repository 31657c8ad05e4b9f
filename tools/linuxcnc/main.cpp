// k4-linuxcnc: the Orvane K4 pendant on a running LinuxCNC. It loads the plug-in through its
// exports exactly as the host simulator does and serves the plug-in's callbacks from LinuxCNC.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bridge.h"
#include "config_dialog.h"
#include "host_sim.h"
#include "ini_file.h"
#include "live.h"
#include "nml_controller.h"
#include "options.h"
#include "plugin_module.h"
#include "profile_file.h"
#include "scenario_file.h"
#include "script_runner.h"

using namespace k4;
using namespace k4::lcnc;

namespace {

using hostsim::kUsageError;
constexpr const char* kAxisSections[] = {"AXIS_X", "AXIS_Y", "AXIS_Z",
                                         "AXIS_A", "AXIS_B", "AXIS_C"};

const char* const kUsage =
    "Usage: k4-linuxcnc [options] [SCENARIO]\n"
    "Connects the Orvane K4 pendant to a running LinuxCNC: loads the plug-in, serves its\n"
    "callbacks from LinuxCNC's status and commands. Without SCENARIO it runs live (a hidraw\n"
    "pendant, else the keyboard plays one, with a dashboard); with one, the scenario's\n"
    "pendant plays in real time against LinuxCNC (scenario commands: k4-hostsim --help).\n"
    "\n"
    "Options:\n"
    "  --config           open the configuration dialog in the terminal and save the profile\n"
    "  --ini FILE         the machine's INI (default: $INI_FILE_NAME, else LinuxCNC's own)\n"
    "  --nml FILE         LinuxCNC's NML file (default: the INI's [EMC]NML_FILE, else the\n"
    "                     one LinuxCNC ships)\n"
    "  --profile FILE     the pendant's settings (default:\n"
    "                     $XDG_CONFIG_HOME/orvane-k4/linuxcnc-profile.xml); a scenario runs on\n"
    "                     a copy of it, so its setting lines never reach FILE\n"
    "  --write-profile    keep what a scenario changes in the profile\n"
    "  --actions FILE     button codes -> LinuxCNC actions (default:\n"
    "                     $XDG_CONFIG_HOME/orvane-k4/linuxcnc-actions.conf, written with the\n"
    "                     defaults when missing)\n"
    "  --plugin PATH      the plug-in (default: beside this program, else ../lib/orvane-k4/\n"
    "                     or the installed library folder next to it)\n"
    "  --device PATH      live: the pendant's hidraw device (default: the first found)\n"
    "  --duration SECONDS live: end after this long\n"
    "  --update-hz N      host Update calls per second in live mode (default 10)\n"
    "  --show LIST        scenario: also print reads, reports, records (see k4-hostsim)\n"
    "  --no-operator-messages  keep the plug-in's status line out of LinuxCNC's messages\n"
    "  --read-errors      read LinuxCNC's error channel for the reasons of refusals; only\n"
    "                     without a LinuxCNC screen (the screen would miss what is read here)\n"
    "  --timings          at the end, print latency and callback-time percentiles\n"
    "  --version          the version\n"
    "  --help             this text\n"
    "Exit codes: 0 done; 1 cannot connect to LinuxCNC, the plug-in did not start, or the\n"
    "settings could not be saved; 2 bad use: an unknown option or a bad value, a scenario with a\n"
    "mistake, a plug-in, INI, actions file or profile that cannot be used (the message names\n"
    "the file and what to do); 3 LinuxCNC went away or a signal ended the session.\n";

std::atomic<bool> signalled{false};
void onSignal(int) {
  signalled = true;
}

struct BridgeOptions {
  hostsim::Options host;
  std::string ini;
  std::string nml;
  std::string actions;
  bool config = false;
  bool operatorMessages = true;
  bool readErrors = false;
  bool timings = false;
};

bool parse(int argc, char** argv, BridgeOptions& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      o.host.help = true;
    } else if (arg == "--version") {
      o.host.version = true;
    } else if (arg == "--config") {
      o.config = true;
    } else if (arg == "--ini") {
      if (!value(o.ini))
        return false;
    } else if (arg == "--nml") {
      if (!value(o.nml))
        return false;
    } else if (arg == "--profile") {
      if (!value(o.host.profile))
        return false;
    } else if (arg == "--write-profile") {
      o.host.writeProfile = true;
    } else if (arg == "--actions") {
      if (!value(o.actions))
        return false;
    } else if (arg == "--plugin") {
      if (!value(o.host.plugin))
        return false;
    } else if (arg == "--device") {
      if (!value(o.host.device))
        return false;
    } else if (arg == "--no-operator-messages") {
      o.operatorMessages = false;
    } else if (arg == "--read-errors") {
      o.readErrors = true;
    } else if (arg == "--timings") {
      o.timings = true;
    } else if (arg == "--duration") {
      if (!value(text) || !hostsim::parseDuration(text, o.host.durationSeconds, error))
        return false;
    } else if (arg == "--update-hz") {
      if (!value(text) || !hostsim::parseUpdateHz(text, o.host.updateHz, error))
        return false;
    } else if (arg == "--show") {
      if (!value(text) || !hostsim::parseShowList(text, o.host.show, error))
        return false;
    } else if (arg != "-" && arg.rfind("-", 0) == 0) {
      error = "unknown option \"" + arg + "\" (see --help)";
      return false;
    } else if (!o.host.script.empty()) {
      error = "only one scenario file, not also \"" + arg + "\"";
      return false;
    } else {
      o.host.script = arg;
    }
  }
  return true;
}

bool loadActions(const std::string& path, ActionMap& actions, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    // First start: the defaults go into the file, for the user to read and change.
    std::ofstream fresh(path);
    if (fresh)
      fresh << defaultActionsText();
    return true;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (!parseActions(text.str(), actions, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

void printPercentiles(const char* name, std::vector<double> samples) {
  if (samples.empty()) {
    std::printf("%-24s no samples\n", name);
    return;
  }
  std::sort(samples.begin(), samples.end());
  auto at = [&](double p) {
    const auto index = static_cast<std::size_t>(std::ceil(p / 100.0 * samples.size()));
    return samples[std::min(samples.size() - 1, index == 0 ? 0 : index - 1)];
  };
  std::printf("%-24s n=%-6zu p50=%.3f ms  p99=%.3f ms  max=%.3f ms\n", name, samples.size(), at(50),
              at(99), samples.back());
}

// Which joints move each axis. Only the identity kinematics says so plainly: its joints take
// the letters of its "coordinates=" (else of [TRAJ]COORDINATES, else X Y Z A B C) in order, so
// "XYYZ" puts Y on joints 1 and 2. For any other kinematics the mapping stays unknown.
void mapJoints(const IniFile& ini, BridgeConfig& config) {
  const std::string kins = ini.get("KINS", "KINEMATICS", "");
  std::istringstream words(kins);
  std::string module;
  words >> module;
  config.kinematics = module;
  if (module != "trivkins")
    return;
  std::string letters;
  for (std::string word; words >> word;) {
    std::string key = word.substr(0, word.find('='));
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (key == "coordinates" && word.find('=') != std::string::npos)
      letters = word.substr(word.find('=') + 1);
  }
  if (letters.empty())
    letters = ini.get("TRAJ", "COORDINATES", "XYZABC");
  const int joints = static_cast<int>(ini.number("KINS", "JOINTS", kJoints));
  int joint = 0;
  for (const char c : letters) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (letter == ' ' || letter == '\t')
      continue;
    static constexpr const char* kAxisLetters = "XYZABC";
    const char* found = std::strchr(kAxisLetters, letter);
    if (found != nullptr && *found != '\0' && joint < std::min(joints, kJoints))
      config.axisJoints[static_cast<std::size_t>(found - kAxisLetters)].push_back(joint);
    ++joint;
  }
  config.jointsKnown = true;
}

}  // namespace

int main(int argc, char** argv) {
  hostsim::silenceXmlMessages();
  BridgeOptions o;
  std::string error;
  if (!parse(argc, argv, o, error)) {
    std::fprintf(stderr, "k4-linuxcnc: %s\n", error.c_str());
    return kUsageError;
  }
  if (o.host.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (o.host.version) {
    std::printf("k4-linuxcnc %s\n", hostsim::kVersion);
    return 0;
  }
  std::string folder;
  if ((o.host.profile.empty() || o.actions.empty()) && !hostsim::configFolder(folder, error)) {
    std::fprintf(stderr, "k4-linuxcnc: %s\n", error.c_str());
    return kUsageError;
  }
  if (o.host.profile.empty())
    o.host.profile = folder + "/linuxcnc-profile.xml";
  if (o.actions.empty())
    o.actions = folder + "/linuxcnc-actions.conf";
  if (o.config) {
    // Without LinuxCNC: a host with no machine behind it.
    hostsim::IdleHostModel idle;
    return hostsim::runConfigDialog(o.host, idle, "k4-linuxcnc");
  }

  BridgeConfig config;
  config.actionsFile = o.actions;
  config.operatorMessages = o.operatorMessages;
  config.readErrors = o.readErrors;
  config.timings = o.timings;
  config.stopRequest = &signalled;
  if (!loadActions(o.actions, config.actions, error)) {
    std::fprintf(stderr, "k4-linuxcnc: %s\n", error.c_str());
    return kUsageError;
  }

  // The INI tells the NML file and the axes' speeds; LinuxCNC tells the INI it was started
  // with when nobody named one.
  if (o.ini.empty()) {
    const char* fromLinuxcnc = std::getenv("INI_FILE_NAME");
    if (fromLinuxcnc != nullptr)
      o.ini = fromLinuxcnc;
  }
  IniFile ini;
  if (!o.ini.empty() && !ini.load(o.ini, error)) {
    std::fprintf(stderr, "k4-linuxcnc: %s\n", error.c_str());
    return kUsageError;
  }
  if (o.nml.empty())
    o.nml = ini.get("EMC", "NML_FILE", defaultNmlFile());
  std::unique_ptr<Controller> controller = connectNml(o.nml, error);
  if (!controller) {
    std::fprintf(stderr, "k4-linuxcnc: %s\n", error.c_str());
    return 1;
  }
  if (o.ini.empty()) {
    Status status;
    if (controller->readStatus(status) && !status.iniFile.empty() &&
        !ini.load(status.iniFile, error)) {
      std::fprintf(stderr, "k4-linuxcnc: %s\n", error.c_str());
      return kUsageError;
    }
  }
  const double linearMax = ini.number("TRAJ", "MAX_LINEAR_VELOCITY", 0.0);
  const double angularMax = ini.number("TRAJ", "MAX_ANGULAR_VELOCITY", 0.0);
  for (int axis = 0; axis < kAxes; ++axis) {
    config.maxVelocity[axis] =
        ini.number(kAxisSections[axis], "MAX_VELOCITY", axis < 3 ? linearMax : angularMax);
  }
  const double linearAccel = ini.number("TRAJ", "MAX_LINEAR_ACCELERATION", 0.0);
  const double angularAccel = ini.number("TRAJ", "MAX_ANGULAR_ACCELERATION", 0.0);
  for (int axis = 0; axis < kAxes; ++axis) {
    config.maxAcceleration[axis] =
        ini.number(kAxisSections[axis], "MAX_ACCELERATION", axis < 3 ? linearAccel : angularAccel);
  }
  // Machine units per second, as LinuxCNC takes it.
  config.defaultVelocity = ini.number("TRAJ", "DEFAULT_LINEAR_VELOCITY", 0.0);
  // The limits LinuxCNC's screens hold the overrides to, with their defaults.
  config.maxFeedOverride = ini.number("DISPLAY", "MAX_FEED_OVERRIDE", 1.0);
  config.maxSpindleOverride = ini.number("DISPLAY", "MAX_SPINDLE_OVERRIDE", config.maxFeedOverride);
  config.minSpindleOverride = ini.number("DISPLAY", "MIN_SPINDLE_OVERRIDE", 0.5);
  mapJoints(ini, config);

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  int status = 0;
  Timings timings;
  {
    Bridge bridge(std::move(controller), config);
    if (o.host.script.empty()) {
      o.host.live = true;
      status = hostsim::runLive(o.host, bridge, "k4-linuxcnc");
    } else {
      hostsim::Scenario scenario;
      if (!hostsim::loadScenario(o.host.script, scenario))
        return kUsageError;
      status = hostsim::runScenario(scenario.name, scenario.commands, o.host, bridge, true);
    }
    bridge.shutdown(signalled ? "signal" : "the bridge ends");
    for (const std::string& message : bridge.takeMessages())
      std::printf("Note %s\n", message.c_str());
    timings = bridge.takeTimings();
  }
  if (o.timings) {
    printPercentiles("wheel -> motion start", timings.wheelToMotion);
    printPercentiles("jog end -> stop accepted", timings.endToAccepted);
    printPercentiles("jog end -> axis at rest", timings.endToStopped);
    for (const auto& [name, samples] : timings.callbacks)
      printPercentiles(("callback " + name).c_str(), samples);
  }
  std::fflush(stdout);
  return status;
}
