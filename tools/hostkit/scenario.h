// The scenario language: one command a line, parsed in full before anything runs, so a bad line
// never leaves the plug-in half started.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "pendant_controls.h"
#include "scripted_dialog_view.h"

namespace k4::hostsim {

enum class Op {
  Start,
  PendantAbsent,
  Setting,
  Report,
  Pendant,
  Cycle,
  Update,
  Step,
  Led,
  Dro,
  Host,
  Unplug,
  Plug,
  ArriveOther,
  Config,
  Stop,
  Echo,
};

enum class PendantField { Wheel, WheelBy, Intensity, Knob, Reset, Any, Cycle, Stop, Side };

struct PendantChange {
  PendantField field;
  int value;  // WheelBy: signed count
};

enum class HostField {
  Inhibit,
  EngineQueue,
  PlannerBusy,
  PlannerQueue,
  Increment,
  Rotation,
  AbsoluteWord,
  FullSpeed,
  Companion,
};

struct SettingText {
  std::string key;
  std::string text;
};

struct Command {
  Op op = Op::Echo;
  int line = 0;  // 1-based line of the script; an implicit start carries the line that needed it
  bool implicit = false;

  int count = 1;                       // cycle, update, step
  InputReportBytes report{};           // report
  std::vector<PendantChange> pendant;  // pendant
  std::vector<SettingText> settings;   // setting
  int code = 0;                        // led, dro
  bool on = false;                     // led
  bool elsewhere = false;              // plug: under another path; arrive-other: a second pendant
  uint8_t ledAnswer = 0;               // led: the byte GetLED answers
  HostField hostField = HostField::Inhibit;      // host
  int axis = 0;                                  // host full-speed, companion
  double values[2] = {0.0, 0.0};                 // dro value, host values
  std::vector<ScriptedDialogView::Step> dialog;  // config, its last step OK or Escape
  std::string text;                              // echo
};

struct ParseError : std::runtime_error {
  ParseError(int lineNumber, const std::string& what)
      : std::runtime_error(what), line(lineNumber) {}
  int line;
};

// Parses a whole scenario. Throws ParseError for the first bad line.
std::vector<Command> parseScenario(const std::string& text);
// Parses a whole scenario, every bad line left out and its error added to `errors` in order.
std::vector<Command> parseScenario(const std::string& text, std::vector<ParseError>& errors);

// The kind of control the configuration dialog shows for a setting key (the plug-in's dialog
// addresses its controls by that key).
enum class DialogControl { None, List, Number, Radio, Check };
DialogControl dialogControlFor(const std::string& key);

// Applies a `pendant` command's changes to the controls, in the order written.
void applyPendantChanges(PendantControls& controls, const std::vector<PendantChange>& changes);

}  // namespace k4::hostsim
