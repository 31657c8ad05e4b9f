#include "actions.h"

#include <cstdlib>
#include <sstream>

namespace k4::lcnc {

namespace {

struct KindName {
  Action::Kind kind;
  const char* name;
  bool takesText;
};

constexpr KindName kKinds[] = {
    {Action::Kind::Nothing, "nothing", false},
    {Action::Kind::Mdi, "mdi", true},
    {Action::Kind::Flood, "flood", true},
    {Action::Kind::Mist, "mist", true},
    {Action::Kind::UnitsToggle, "units-toggle", false},
    {Action::Kind::OverrideLimits, "override-limits", false},
    {Action::Kind::HomeAll, "home-all", false},
    {Action::Kind::Estop, "estop", false},
    {Action::Kind::Pause, "pause", false},
    {Action::Kind::Resume, "resume", false},
    {Action::Kind::Abort, "abort", false},
};

// The codes of the plug-in's action list that have a LinuxCNC meaning, with the reason kept
// beside each in the file the user gets.
constexpr const char* kDefaultText =
    "# k4-linuxcnc: what the pendant's button codes do in LinuxCNC.\n"
    "# CODE = ACTION [ARGUMENT]; several lines for one code run in order.\n"
    "# Actions: nothing | mdi LINE | flood on|off|toggle | mist on|off|toggle | units-toggle\n"
    "#          override-limits | home-all | estop | pause | resume | abort\n"
    "# Codes 1000-1003, 1007-1011, 1021 and 1022-1025 are built in (cycle, zero, reset, home);\n"
    "# a line here replaces the built-in meaning. Other codes without a line do nothing and\n"
    "# say so once.\n"
    "113 = flood toggle              # Flood toggle\n"
    "114 = mist toggle               # Mist toggle\n"
    "106 = units-toggle              # mm/inch: G21 <-> G20\n"
    "1029 = override-limits          # Softlimits Toggle: LinuxCNC's limit override\n"
    "104 = mdi G53 G0 Z0             # Goto Safe Z: machine Z 0\n"
    "138 = mdi G53 G0 Z0             # Go Home: Z up first,\n"
    "138 = mdi G53 G0 X0 Y0          #          then X and Y to machine 0\n"
    "1017 = mdi G0 X0 Y0             # GotoZs: the work zero in X and Y\n"
    "# LED 15 lit brackets every continuous jog with codes 204 and 205 (give them lines).\n"
    "led15 = off\n"
    "# Mode 3 jogs at this percentage of full speed (DRO 3; mode 4 trims it).\n"
    "jog-speed-percent = 50\n"
    "# Step jog: \"bounded\" brings the axis to rest within 0.5 s of the last wheel count and\n"
    "# drops the counts it cannot follow. \"exact\" moves every count, however long it takes:\n"
    "# after a fast spin the axis may go on moving for many seconds with the wheel still.\n"
    "step-mode = bounded\n";

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return "";
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

ActionMap defaultActions() {
  ActionMap map;
  std::string error;
  parseActions(kDefaultText, map, error);
  return map;
}

std::string defaultActionsText() {
  return kDefaultText;
}

bool parseActions(const std::string& text, ActionMap& map, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  std::map<int, std::vector<Action>> given;
  while (std::getline(lines, line)) {
    ++number;
    // A '#' starts a comment except inside an MDI line, where it starts a parameter (#5220):
    // a comment there needs a blank before it.
    std::string body = line;
    for (std::size_t i = 0; i < body.size(); ++i) {
      if (body[i] == '#' && (i == 0 || body[i - 1] == ' ' || body[i - 1] == '\t')) {
        body.erase(i);
        break;
      }
    }
    body = trim(body);
    if (body.empty())
      continue;
    const auto eq = body.find('=');
    const auto where = "line " + std::to_string(number) + ": ";
    if (eq == std::string::npos) {
      error = where + "expected CODE = ACTION";
      return false;
    }
    const std::string key = trim(body.substr(0, eq));
    const std::string value = trim(body.substr(eq + 1));
    if (key == "led15") {
      if (value != "on" && value != "off") {
        error = where + "led15 is on or off";
        return false;
      }
      map.led15 = value == "on";
      continue;
    }
    if (key == "jog-speed-percent") {
      char* end = nullptr;
      const double percent = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(percent >= 0.1 && percent <= 100.0)) {
        error = where + "jog-speed-percent is a number from 0.1 to 100";
        return false;
      }
      map.jogSpeedPercent = percent;
      continue;
    }
    if (key == "step-mode") {
      if (value != "bounded" && value != "exact") {
        error = where + "step-mode is bounded or exact";
        return false;
      }
      map.exactSteps = value == "exact";
      continue;
    }
    char* end = nullptr;
    const long code = std::strtol(key.c_str(), &end, 10);
    if (key.empty() || *end != '\0' || code < 0 || code > 65535) {
      error = where + "\"" + key + "\" is not a button code";
      return false;
    }
    const auto blank = value.find_first_of(" \t");
    const std::string name = value.substr(0, blank);
    const std::string argument = blank == std::string::npos ? "" : trim(value.substr(blank));
    const KindName* kind = nullptr;
    for (const KindName& candidate : kKinds) {
      if (name == candidate.name)
        kind = &candidate;
    }
    if (kind == nullptr) {
      error = where + "unknown action \"" + name + "\"";
      return false;
    }
    const bool onOff = kind->kind == Action::Kind::Flood || kind->kind == Action::Kind::Mist;
    if (onOff && argument != "on" && argument != "off" && argument != "toggle") {
      error = where + name + " takes on, off or toggle";
      return false;
    }
    if (kind->takesText && argument.empty()) {
      error = where + name + " needs an argument";
      return false;
    }
    if (!kind->takesText && !argument.empty()) {
      error = where + name + " takes no argument";
      return false;
    }
    given[static_cast<int>(code)].push_back({kind->kind, argument});
  }
  for (auto& [code, actions] : given)
    map.codes[code] = actions;
  return true;
}

std::string describe(const Action& action) {
  for (const KindName& kind : kKinds) {
    if (kind.kind == action.kind)
      return action.text.empty() ? kind.name : std::string(kind.name) + " " + action.text;
  }
  return "?";
}

}  // namespace k4::lcnc
