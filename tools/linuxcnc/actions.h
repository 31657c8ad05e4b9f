// The user's mapping of the plug-in's button codes to LinuxCNC actions, kept as a text file in
// the user's configuration folder so a machinist can change it with any editor:
//
//   # CODE = ACTION [ARGUMENT]      (several lines for one code run in order)
//   113 = flood toggle
//   104 = mdi G53 G0 Z0
//   led15 = off
//   jog-speed-percent = 50
//
// Codes the file does not name fall back to the built-in defaults; "nothing" silences a code.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace k4::lcnc {

struct Action {
  enum class Kind {
    Nothing,
    Mdi,             // text: one MDI line
    Flood,           // text: on, off or toggle
    Mist,            // text: on, off or toggle
    UnitsToggle,     // G20 <-> G21 through MDI
    OverrideLimits,  // lets the axes jog off a limit switch
    HomeAll,
    Estop,
    Pause,
    Resume,
    Abort,
  };
  Kind kind = Kind::Nothing;
  std::string text;
};

struct ActionMap {
  std::map<int, std::vector<Action>> codes;
  bool led15 = false;             // LED 15: brackets every continuous jog with codes 204/205
  double jogSpeedPercent = 50.0;  // DRO 3's start value
  // "step-mode = exact": every wheel count of a step jog is moved, however long that takes.
  // By default ("bounded") a count the axis cannot reach within half a second is dropped.
  bool exactSteps = false;
};

// The built-in defaults (what a missing file means).
ActionMap defaultActions();
// The defaults as a commented file, written when the user has none yet.
std::string defaultActionsText();
// Reads `text` over the defaults; false with `error` ("line N: ...") for the first bad line.
bool parseActions(const std::string& text, ActionMap& map, std::string& error);
// One line describing an action, for the dashboard and the guide ("mdi G53 G0 Z0").
std::string describe(const Action& action);

}  // namespace k4::lcnc
