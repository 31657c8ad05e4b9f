#include "scenario.h"

#include <charconv>
#include <limits>
#include <sstream>

#include "scenario_words.h"

namespace k4::hostsim {

namespace {

using namespace scenario_words;

constexpr int kMaxRepeat = 10'000'000;
constexpr const char* kAxisLetters = "XYZABC";

// What a command needs of the plug-in: running (cycle, update, step, config, stop), stopped or
// never started (start, setting, pendant absent), or nothing.
enum class Need { Nothing, Running, NotRunning };

int parseRepeat(const std::vector<Token>& words, int lineNumber) {
  if (words.size() > 2)
    throw ParseError(lineNumber, words[0].text + " takes at most one count");
  if (words.size() == 1)
    return 1;
  return static_cast<int>(parseInteger(words[1].text, 0, kMaxRepeat, lineNumber, "count"));
}

void expectWords(const std::vector<Token>& words, std::size_t count, int lineNumber,
                 const char* usage) {
  if (words.size() != count)
    throw ParseError(lineNumber, std::string("usage: ") + usage);
}

InputReportBytes parseReport(const std::vector<Token>& words, int lineNumber) {
  std::string digits;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i].text.size() % 2 != 0) {
      throw ParseError(lineNumber, "report: " + quote(words[i].text) + " splits a byte");
    }
    digits += words[i].text;
  }
  if (digits.size() != 16) {
    throw ParseError(lineNumber, "report: expected 8 bytes as 16 hex digits, got " +
                                     std::to_string(digits.size()) + " digits");
  }
  InputReportBytes bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned value = 0;
    const char* first = digits.data() + 2 * i;
    const auto [end, error] = std::from_chars(first, first + 2, value, 16);
    if (error != std::errc() || end != first + 2) {
      throw ParseError(lineNumber, "report: " + quote(digits.substr(2 * i, 2)) + " is not hex");
    }
    bytes[i] = static_cast<uint8_t>(value);
  }
  return bytes;
}

std::vector<PendantChange> parsePendant(const std::vector<Token>& words, int lineNumber) {
  std::vector<PendantChange> changes;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const auto [field, value] = splitAssignment(words[i], lineNumber);
    if (field == "wheel") {
      if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
        const long long by = parseInteger(value.substr(1), 0, 255, lineNumber, "wheel");
        changes.push_back({PendantField::WheelBy, static_cast<int>(value[0] == '-' ? -by : by)});
      } else {
        changes.push_back({PendantField::Wheel,
                           static_cast<int>(parseInteger(value, 0, 255, lineNumber, field))});
      }
    } else if (field == "intensity") {
      changes.push_back({PendantField::Intensity,
                         static_cast<int>(parseInteger(value, 0, 255, lineNumber, field))});
    } else if (field == "knob") {
      changes.push_back(
          {PendantField::Knob, static_cast<int>(parseInteger(value, 0, 127, lineNumber, field))});
    } else {
      static const std::pair<const char*, PendantField> bits[] = {{"reset", PendantField::Reset},
                                                                  {"any", PendantField::Any},
                                                                  {"cycle", PendantField::Cycle},
                                                                  {"stop", PendantField::Stop},
                                                                  {"side", PendantField::Side}};
      bool known = false;
      for (const auto& [name, kind] : bits) {
        if (field == name) {
          changes.push_back({kind, parseBit(value, lineNumber, field) ? 1 : 0});
          known = true;
        }
      }
      if (!known) {
        throw ParseError(lineNumber,
                         "pendant: unknown control " + quote(field) +
                             " (wheel, intensity, knob, reset, any, cycle, stop, side)");
      }
    }
  }
  return changes;
}

int parseAxis(const std::string& text, int lineNumber) {
  const std::string letters = kAxisLetters;
  if (text.size() == 1 && letters.find(text[0]) != std::string::npos) {
    return static_cast<int>(letters.find(text[0]));
  }
  throw ParseError(lineNumber, "axis must be one of X, Y, Z, A, B, C, not " + quote(text));
}

void parseHost(const std::vector<Token>& words, int lineNumber, Command& command) {
  if (words.size() < 2)
    throw ParseError(lineNumber, "usage: host FIELD VALUE...");
  const std::string& field = words[1].text;
  auto integer = [&](std::size_t index, long long low, long long high) {
    return static_cast<double>(parseInteger(words[index].text, low, high, lineNumber, field));
  };
  constexpr long long kInt32Min = std::numeric_limits<int32_t>::min();
  constexpr long long kInt32Max = std::numeric_limits<int32_t>::max();
  if (field == "inhibit") {
    expectWords(words, 3, lineNumber, "host inhibit 0|1");
    command.hostField = HostField::Inhibit;
    command.values[0] = parseBit(words[2].text, lineNumber, field) ? 1 : 0;
  } else if (field == "engine-queue" || field == "planner-queue") {
    expectWords(words, 4, lineNumber, "host engine-queue|planner-queue A B");
    command.hostField = field == "engine-queue" ? HostField::EngineQueue : HostField::PlannerQueue;
    command.values[0] = integer(2, kInt32Min, kInt32Max);
    command.values[1] = integer(3, kInt32Min, kInt32Max);
  } else if (field == "planner-busy" || field == "absolute-word") {
    expectWords(words, 3, lineNumber, "host planner-busy|absolute-word N");
    command.hostField = field == "planner-busy" ? HostField::PlannerBusy : HostField::AbsoluteWord;
    command.values[0] = integer(2, kInt32Min, kInt32Max);
  } else if (field == "increment" || field == "rotation") {
    expectWords(words, 3, lineNumber, "host increment|rotation NUMBER");
    command.hostField = field == "increment" ? HostField::Increment : HostField::Rotation;
    command.values[0] = parseNumber(words[2].text, lineNumber, field);
  } else if (field == "full-speed" || field == "companion") {
    expectWords(words, 4, lineNumber, "host full-speed|companion AXIS N");
    command.hostField = field == "full-speed" ? HostField::FullSpeed : HostField::Companion;
    command.axis = parseAxis(words[2].text, lineNumber);
    command.values[0] = field == "full-speed" ? integer(3, kInt32Min, kInt32Max)
                                              : integer(3, 0, std::numeric_limits<uint32_t>::max());
  } else {
    throw ParseError(lineNumber,
                     "host: unknown field " + quote(field) +
                         " (inhibit, engine-queue, planner-busy, planner-queue, increment, "
                         "rotation, absolute-word, full-speed, companion)");
  }
}

std::vector<ScriptedDialogView::Step> parseConfig(const std::vector<Token>& words, int lineNumber) {
  using Step = ScriptedDialogView::Step;
  if (words.size() < 2 || words.back().quoted ||
      (words.back().text != "ok" && words.back().text != "escape")) {
    throw ParseError(lineNumber, "usage: config [KEY=VALUE ...] ok|escape");
  }
  std::vector<Step> steps;
  for (std::size_t i = 1; i + 1 < words.size(); ++i) {
    const auto [key, value] = splitAssignment(words[i], lineNumber);
    Step step{};
    step.key = key;
    switch (dialogControlFor(key)) {
      case DialogControl::List:
        step.kind = Step::Kind::SelectEntry;
        step.value = static_cast<int>(parseInteger(value, -1, 65, lineNumber, key));
        break;
      case DialogControl::Number:
        step.kind = Step::Kind::SetText;
        step.text = value;
        break;
      case DialogControl::Radio:
      case DialogControl::Check:
        // SingleMode's 1 is the pair's second button, "Velocity MPG Mode.".
        step.kind = Step::Kind::SetCheck;
        step.value = parseBit(value, lineNumber, key) ? 1 : 0;
        break;
      case DialogControl::None:
        throw ParseError(lineNumber, "config: " + quote(key) + " is not a setting of the dialog");
    }
    steps.push_back(step);
  }
  Step close{};
  close.kind = words.back().text == "ok" ? Step::Kind::PressOk : Step::Kind::PressEscape;
  steps.push_back(close);
  return steps;
}

Need needOf(Op op) {
  switch (op) {
    case Op::Cycle:
    case Op::Update:
    case Op::Step:
    case Op::Config:
    case Op::Stop:
      return Need::Running;
    case Op::Start:
    case Op::Setting:
    case Op::PendantAbsent:
      return Need::NotRunning;
    default:
      return Need::Nothing;
  }
}

Command parseLine(const std::string& line, int lineNumber) {
  Command command;
  command.line = lineNumber;
  // echo keeps the rest of the line as it stands, '#' included.
  {
    std::size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line.compare(first, 4, "echo") == 0 &&
        (first + 4 == line.size() || line[first + 4] == ' ' || line[first + 4] == '\t')) {
      std::string text = line.substr(first + 4);
      const std::size_t begin = text.find_first_not_of(" \t");
      const std::size_t end = text.find_last_not_of(" \t\r");
      command.op = Op::Echo;
      command.text = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
      return command;
    }
  }
  const std::vector<Token> words = splitWords(line, lineNumber);
  const std::string& name = words[0].text;
  if (name == "start") {
    expectWords(words, 1, lineNumber, "start");
    command.op = Op::Start;
  } else if (name == "pendant" && words.size() == 2 && words[1].text == "absent") {
    command.op = Op::PendantAbsent;
  } else if (name == "pendant") {
    command.op = Op::Pendant;
    command.pendant = parsePendant(words, lineNumber);
  } else if (name == "setting") {
    if (words.size() < 2)
      throw ParseError(lineNumber, "usage: setting KEY=VALUE ...");
    command.op = Op::Setting;
    for (std::size_t i = 1; i < words.size(); ++i) {
      auto [key, value] = splitAssignment(words[i], lineNumber);
      if (!plainName(key)) {
        throw ParseError(lineNumber, "setting: " + quote(key) + " is not a key name");
      }
      command.settings.push_back({key, value});
    }
  } else if (name == "report") {
    command.op = Op::Report;
    command.report = parseReport(words, lineNumber);
  } else if (name == "cycle" || name == "update" || name == "step") {
    command.op = name == "cycle" ? Op::Cycle : name == "update" ? Op::Update : Op::Step;
    command.count = parseRepeat(words, lineNumber);
  } else if (name == "led") {
    expectWords(words, 3, lineNumber, "led CODE on|off");
    command.op = Op::Led;
    command.code =
        static_cast<int>(parseInteger(words[1].text, std::numeric_limits<int>::min(),
                                      std::numeric_limits<int>::max(), lineNumber, "LED code"));
    // A byte stands for a host whose "lit" is some other non-zero byte than 1.
    if (words[2].text == "on" || words[2].text == "off") {
      command.on = words[2].text == "on";
      command.ledAnswer = command.on ? 1 : 0;
    } else if (!words[2].text.empty() && words[2].text[0] >= '0' && words[2].text[0] <= '9') {
      command.ledAnswer =
          static_cast<uint8_t>(parseInteger(words[2].text, 0, 255, lineNumber, "LED answer"));
      command.on = command.ledAnswer != 0;
    } else {
      throw ParseError(lineNumber, "led: expected on or off, not " + quote(words[2].text));
    }
  } else if (name == "dro") {
    expectWords(words, 3, lineNumber, "dro CODE VALUE");
    command.op = Op::Dro;
    command.code =
        static_cast<int>(parseInteger(words[1].text, std::numeric_limits<int>::min(),
                                      std::numeric_limits<int>::max(), lineNumber, "DRO code"));
    command.values[0] = parseNumber(words[2].text, lineNumber, "DRO value");
  } else if (name == "host") {
    command.op = Op::Host;
    parseHost(words, lineNumber, command);
  } else if (name == "plug" && words.size() == 2 && words[1].text == "elsewhere") {
    // The pendant back in another USB port (another hidraw node): another interface path.
    command.op = Op::Plug;
    command.elsewhere = true;
  } else if (name == "arrive-other" && words.size() == 2 && words[1].text == "pendant") {
    // A second pendant, the same ids, listed after the first.
    command.op = Op::ArriveOther;
    command.elsewhere = true;
  } else if (name == "unplug" || name == "plug" || name == "arrive-other") {
    expectWords(words, 1, lineNumber, name.c_str());
    command.op = name == "unplug" ? Op::Unplug : name == "plug" ? Op::Plug : Op::ArriveOther;
  } else if (name == "config") {
    command.op = Op::Config;
    command.dialog = parseConfig(words, lineNumber);
  } else if (name == "stop") {
    expectWords(words, 1, lineNumber, "stop");
    command.op = Op::Stop;
  } else {
    throw ParseError(lineNumber, "unknown command " + quote(name));
  }
  return command;
}

bool blankOrComment(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  return first == std::string::npos || line[first] == '#';
}

enum class State { NeverStarted, Running, Stopped };

// Parses one line against the plug-in's state so far; an implicit start goes in first when the
// line needs the plug-in running.
void parseCheckedLine(const std::string& line, int lineNumber, State& state,
                      std::vector<Command>& commands) {
  Command command = parseLine(line, lineNumber);
  switch (needOf(command.op)) {
    case Need::Running:
      if (state == State::Stopped) {
        throw ParseError(lineNumber,
                         "the plug-in was stopped; give \"start\" to start it again first");
      }
      if (state == State::NeverStarted) {
        Command start;
        start.op = Op::Start;
        start.line = lineNumber;
        start.implicit = true;
        commands.push_back(start);
        state = State::Running;
      }
      if (command.op == Op::Stop)
        state = State::Stopped;
      break;
    case Need::NotRunning:
      if (state == State::Running) {
        throw ParseError(lineNumber,
                         command.op == Op::Start ? std::string("the plug-in is already started")
                         : command.op == Op::Setting
                             ? std::string("\"setting\" must come before the plug-in starts")
                             : std::string("\"pendant absent\" must come before the plug-in "
                                           "starts"));
      }
      if (command.op == Op::Start)
        state = State::Running;
      break;
    case Need::Nothing:
      break;
  }
  commands.push_back(std::move(command));
}

}  // namespace

DialogControl dialogControlFor(const std::string& key) {
  using Kind = DialogControl;
  static const std::pair<const char*, DialogControl> table[] = {
      {"BUTTON0", Kind::List},        {"BUTTON1", Kind::List},
      {"BUTTON2", Kind::List},        {"BUTTON3", Kind::List},
      {"StepSize1", Kind::List},      {"StepSize2", Kind::List},
      {"StepSize3", Kind::List},      {"Vel", Kind::List},
      {"AxisASelection", Kind::List}, {"AxisBSelection", Kind::List},
      {"AxisCSelection", Kind::List}, {"AxisXYZSelection", Kind::List},
      {"Macro1", Kind::Number},       {"Macro2", Kind::Number},
      {"Macro3", Kind::Number},       {"Macro4", Kind::Number},
      {"OEM1", Kind::Number},         {"OEM2", Kind::Number},
      {"OEM3", Kind::Number},         {"OEM4", Kind::Number},
      {"StepJogRate", Kind::Number},  {"DelaySteps", Kind::Number},
      {"SingleMode", Kind::Radio},    {"AutoMode", Kind::Check},
      {"AutoChangeSens", Kind::List}, {"VelocityInAuto", Kind::List},
      {"SlowDownRate", Kind::List},
  };
  for (const auto& [name, control] : table) {
    if (key == name)
      return control;
  }
  return DialogControl::None;
}

std::vector<Command> parseScenario(const std::string& text) {
  std::vector<ParseError> errors;
  std::vector<Command> commands = parseScenario(text, errors);
  if (!errors.empty())
    throw errors.front();
  return commands;
}

std::vector<Command> parseScenario(const std::string& text, std::vector<ParseError>& errors) {
  State state = State::NeverStarted;
  std::vector<Command> commands;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (blankOrComment(line))
      continue;
    // A bad line is left out and the next one read as if it were not there, so one pass
    // names every mistake of the file.
    try {
      parseCheckedLine(line, lineNumber, state, commands);
    } catch (const ParseError& bad) {
      errors.push_back(bad);
    }
  }
  return commands;
}

void applyPendantChanges(PendantControls& controls, const std::vector<PendantChange>& changes) {
  for (const PendantChange& change : changes) {
    switch (change.field) {
      case PendantField::Wheel:
        controls.wheel = static_cast<uint8_t>(change.value);
        break;
      case PendantField::WheelBy:
        controls.wheel = static_cast<uint8_t>((controls.wheel + change.value + 256) % 256);
        break;
      case PendantField::Intensity:
        controls.intensity = static_cast<uint8_t>(change.value);
        break;
      case PendantField::Knob:
        controls.knob = static_cast<uint8_t>(change.value);
        break;
      case PendantField::Reset:
        controls.reset = change.value != 0;
        break;
      case PendantField::Any:
        controls.any = change.value != 0;
        break;
      case PendantField::Cycle:
        controls.cycle = change.value != 0;
        break;
      case PendantField::Stop:
        controls.stop = change.value != 0;
        break;
      case PendantField::Side:
        controls.side = change.value != 0;
        break;
    }
  }
}

}  // namespace k4::hostsim
