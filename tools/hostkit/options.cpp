#include "options.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace k4::hostsim {

const char* const kVersion = K4_VERSION;

const char* const kUsage =
    "Usage: k4-hostsim [options] [SCRIPT]\n"
    "Plays the host and the pendant for the Orvane K4 plug-in, driving it only through its\n"
    "exported entry points. SCRIPT is a scenario file (- for standard input); with no script\n"
    "and no --live it runs the built-in demo.\n"
    "\n"
    "Options:\n"
    "  --config           open the configuration dialog in the terminal, save the settings\n"
    "                     to the profile and end\n"
    "  --plugin PATH      the plug-in to load (default: beside the simulator, else in\n"
    "                     ../lib/orvane-k4/ or the installed library folder next to it)\n"
    "  --profile PATH     the host profile. Default with --live and --config:\n"
    "                     $XDG_CONFIG_HOME/orvane-k4/hostsim-profile.xml (else\n"
    "                     ~/.config/orvane-k4/...); for a scenario or the demo: a fresh\n"
    "                     temporary file, so every setting starts at its start-up default.\n"
    "                     A scenario or the demo runs on a copy of it: its setting lines and\n"
    "                     what the plug-in saves never reach PATH\n"
    "  --write-profile    keep what a scenario or the demo changes in the --profile file\n"
    "  --show LIST        also print, comma separated: reads (GetLED/GetDRO with answers),\n"
    "                     reports (output reports), records (jog record at DOJOG/ENDJOG),\n"
    "                     machine (axis positions after each cycle that moved one)\n"
    "  --demo             run the built-in demo\n"
    "  --plot FILE.svg    at the end, draw the session on a time axis: wheel, intensity, jog\n"
    "                     mode, axis positions, jog speeds and the host's actions (also with\n"
    "                     --live; a --record file replayed as SCRIPT is plotted the same way)\n"
    "  --live             real time: the 25 ms timer on a real clock, a real pendant over\n"
    "                     hidraw (else the virtual pendant), a live dashboard\n"
    "  --update-hz N      live: host Update calls per second (default 10)\n"
    "  --device PATH      live: the hidraw device of the pendant (default: the first found)\n"
    "  --hidraw           live: the plug-in's own hidraw services even when no pendant is\n"
    "                     there yet (it is taken up when plugged in), never the virtual one\n"
    "  --keyboard         live: the keys play the pendant even when one is plugged in (a\n"
    "                     pendant that cannot be opened otherwise ends the run, exit code 1)\n"
    "  --record FILE      live: write the session as a scenario that replays it alone (the\n"
    "                     settings, the host's changes, every report, unplug and plug);\n"
    "                     an existing FILE is kept unless --overwrite is given\n"
    "  --overwrite        live: let --record replace an existing FILE\n"
    "  --duration SECONDS live: end after this long (default: until q or Ctrl-C)\n"
    "  --version          the version\n"
    "  --help             this text\n"
    "\n"
    "With --live and --config the host starts as a host does: feed override (DRO 821) and\n"
    "spindle override (DRO 74) 100, jog speed (DRO 3) 50 percent. A scenario starts with every\n"
    "DRO at 0 and sets what it needs with dro lines.\n"
    "\n"
    "Exit codes: 0 done; 1 the plug-in did not start, or the settings or the plot could not be\n"
    "written; 2 bad use: an unknown option or a bad value, a scenario with a mistake, a plug-in\n"
    "or a profile that cannot be used (the message names the file and what to do).\n"
    "\n"
    "Scenario commands (one a line, # starts a comment):\n"
    "  start | pendant absent | setting KEY=VALUE ... | report HEX | pendant FIELD=VALUE ...\n"
    "  cycle [N] | update [N] | step [N] | led CODE on|off|0..255 | dro CODE VALUE\n"
    "  host FIELD VALUE... | unplug | plug [elsewhere] | arrive-other [pendant]\n"
    "  config [KEY=VALUE ...] ok|escape\n"
    "  stop | echo TEXT\n"
    "After stop, a new start starts the plug-in again; any other command that needs it is an\n"
    "error. Jog speeds are taken as units per minute; in a script only cycles advance time,\n"
    "25 ms each.\n"
    "A script's pendant starts with the knob at 0, which is no mode: the plug-in takes the\n"
    "first report that sets the knob as a mode change and drops that report's wheel counts,\n"
    "so set the knob first (pendant knob=1, step), then turn the wheel. Live, the keyboard's\n"
    "pendant starts at knob 1 and its first key counts.\n";

bool parseShowList(const std::string& list, ShowFlags& show, std::string& error) {
  std::istringstream items(list);
  std::string item;
  bool any = false;
  while (std::getline(items, item, ',')) {
    if (item == "reads") {
      show.reads = true;
    } else if (item == "reports") {
      show.reports = true;
    } else if (item == "records") {
      show.records = true;
    } else if (item == "machine") {
      show.machine = true;
    } else {
      error = "--show: unknown item \"" + item + "\" (reads, reports, records, machine)";
      return false;
    }
    any = true;
  }
  if (!any)
    error = "--show needs a list: reads, reports, records, machine";
  return any;
}

bool parseUpdateHz(const std::string& text, int& hz, std::string& error) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > 1000) {
    error = "--update-hz: expected 1..1000, not \"" + text + "\"";
    return false;
  }
  hz = static_cast<int>(value);
  return true;
}

bool parseDuration(const std::string& text, double& seconds, std::string& error) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0) {
    error = "--duration: expected a positive number of seconds, not \"" + text + "\"";
    return false;
  }
  seconds = value;
  return true;
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
  bool scriptGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg.erase(arg.find('='));
      hasValue = true;
    }
    auto takeValue = [&](std::string& into) {
      if (!hasValue) {
        if (i + 1 >= argc) {
          error = arg + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      into = value;
      return true;
    };
    auto noValue = [&]() {
      if (hasValue)
        error = arg + " takes no value";
      return !hasValue;
    };
    std::string text;
    if (arg == "--plugin") {
      if (!takeValue(options.plugin))
        return false;
    } else if (arg == "--profile") {
      if (!takeValue(options.profile))
        return false;
    } else if (arg == "--write-profile") {
      if (!noValue())
        return false;
      options.writeProfile = true;
    } else if (arg == "--show") {
      if (!takeValue(text) || !parseShowList(text, options.show, error))
        return false;
    } else if (arg == "--device") {
      if (!takeValue(options.device))
        return false;
    } else if (arg == "--hidraw") {
      options.hidraw = true;
    } else if (arg == "--keyboard") {
      if (!noValue())
        return false;
      options.keyboard = true;
    } else if (arg == "--record") {
      if (!takeValue(options.record))
        return false;
    } else if (arg == "--overwrite") {
      if (!noValue())
        return false;
      options.overwrite = true;
    } else if (arg == "--plot") {
      if (!takeValue(options.plot))
        return false;
    } else if (arg == "--update-hz") {
      if (!takeValue(text) || !parseUpdateHz(text, options.updateHz, error))
        return false;
    } else if (arg == "--duration") {
      if (!takeValue(text) || !parseDuration(text, options.durationSeconds, error))
        return false;
    } else if (arg == "--demo") {
      if (!noValue())
        return false;
      options.demo = true;
    } else if (arg == "--live") {
      if (!noValue())
        return false;
      options.live = true;
    } else if (arg == "--help" || arg == "-h") {
      if (!noValue())
        return false;
      options.help = true;
    } else if (arg == "--version") {
      if (!noValue())
        return false;
      options.version = true;
    } else if (arg == "--config") {
      if (!noValue())
        return false;
      options.config = true;
    } else if (arg != "-" && arg.rfind("-", 0) == 0) {
      error = "unknown option \"" + arg + "\" (see --help)";
      return false;
    } else if (scriptGiven) {
      error = "only one scenario file, not also \"" + arg + "\"";
      return false;
    } else {
      options.script = arg;
      scriptGiven = true;
    }
  }
  if (options.demo && scriptGiven) {
    error = "--demo runs the built-in scenario; give no scenario file with it";
    return false;
  }
  if (options.config && (scriptGiven || options.demo || options.live)) {
    error =
        "--config opens the configuration dialog alone; give no scenario file, --demo or "
        "--live with it";
    return false;
  }
  if (options.live && (scriptGiven || options.demo)) {
    error = "--live plays the pendant in real time; give no scenario file and no --demo with it";
    return false;
  }
  if (!options.live && (!options.device.empty() || options.hidraw || options.keyboard ||
                        !options.record.empty() || options.durationSeconds > 0)) {
    error = "--device, --hidraw, --keyboard, --record and --duration belong to --live";
    return false;
  }
  if (options.overwrite && options.record.empty()) {
    error = "--overwrite lets --record replace its file; give --record FILE with it";
    return false;
  }
  if (options.keyboard && (options.hidraw || !options.device.empty())) {
    error = "--keyboard plays the pendant from the keys; give no --device or --hidraw with it";
    return false;
  }
  if (options.hidraw && !options.device.empty()) {
    error = "--hidraw lets the plug-in find the pendant; give no --device with it";
    return false;
  }
  return true;
}

}  // namespace k4::hostsim
