#include "machine.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace k4::hostsim {

namespace {

constexpr double kSecondsPerMinute = 60.0;

int axisOfLetter(char letter) {
  const char* found = std::strchr(kAxisLetters, letter);
  return found != nullptr && letter != '\0' ? static_cast<int>(found - kAxisLetters) : -1;
}

bool sameRecord(const AxisJogRecord& a, const AxisJogRecord& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Prints a position with four decimals, never as "-0.0000".
void appendPosition(std::string& out, double value) {
  char text[48];
  if (std::fabs(value) < 0.00005)
    value = 0.0;
  std::snprintf(text, sizeof text, "%.4f", value);
  out += text;
}

}  // namespace

Machine::Machine() {
  leds_[led::kJogAllowed] = true;
  planner.stepIncrement = 0.001;  // every DRO starts at 0, DRO 828 included
  for (int axis = 0; axis < kAxisCount; ++axis) {
    planner.fullJogSpeed[axis] = 1000;
    planner.companionWord[axis] = 0;
  }
}

uint8_t Machine::ledAnswer(int code) const {
  const auto it = leds_.find(code);
  return it != leds_.end() ? it->second : 0;
}

void Machine::setDro(int code, double value) {
  dros_[code] = value;
  if (code == dro::kStepSize)
    planner.stepIncrement = value;
}

double Machine::dro(int code) const {
  const auto it = dros_.find(code);
  return it != dros_.end() ? it->second : 0.0;
}

void Machine::rememberRecords() {
  for (int axis = 0; axis < kAxisCount; ++axis)
    rememberedRecords_[axis] = engine.axisJog[axis];
}

// The records a jog command concerns: those the plug-in wrote since the last jog command or
// cycle; when it rewrote nothing (a repeated "ENDJOG", an unchanged "DOJOG"), the record marked
// for this command, else the axis of the previous jog command.
std::vector<int> Machine::jogSubjects(bool start) const {
  std::vector<int> axes;
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (!sameRecord(engine.axisJog[axis], rememberedRecords_[axis]))
      axes.push_back(axis);
  }
  if (!axes.empty())
    return axes;
  for (int axis = 0; axis < kAxisCount; ++axis) {
    const AxisJogRecord& record = engine.axisJog[axis];
    const bool marked = start ? record.startByte != 0 && record.stopByte == 0
                              : record.stopByte != 0 && jogging(axis);
    if (marked)
      axes.push_back(axis);
  }
  if (axes.empty() && lastJogAxis_ >= 0)
    axes.push_back(lastJogAxis_);
  return axes;
}

bool Machine::execute(const std::string& line, JogEvent& jog) {
  if (line == "DOJOG" || line == "ENDJOG") {
    jog.start = line == "DOJOG";
    jog.axes = jogSubjects(jog.start);
    for (int axis : jog.axes) {
      const AxisJogRecord& record = engine.axisJog[axis];
      const bool run = jog.start && record.stopByte == 0;
      jogSpeed_[axis] = run ? (record.direction != 0 ? -1.0 : 1.0) * record.jogSpeed : 0.0;
      lastJogAxis_ = axis;
    }
    rememberRecords();
    return true;
  }

  // A small G-code reader: words are a letter and a number, blanks allowed between them
  // ("G91G1 F100 Z 0.0030"). G90/G91 select absolute or relative distances; axis words move.
  std::size_t i = 0;
  std::array<bool, kAxisCount> given{};
  std::array<double, kAxisCount> value{};
  while (i < line.size()) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
    if (!std::isalpha(static_cast<unsigned char>(letter))) {
      ++i;
      continue;
    }
    ++i;
    while (i < line.size() && line[i] == ' ')
      ++i;
    const char* start = line.c_str() + i;
    char* end = nullptr;
    const double number = std::strtod(start, &end);
    if (end == start)
      continue;  // a letter without a number: not a word of ours
    i += static_cast<std::size_t>(end - start);
    if (letter == 'G' && number == 90.0)
      relative_ = false;
    if (letter == 'G' && number == 91.0)
      relative_ = true;
    const int axis = axisOfLetter(letter);
    if (axis >= 0) {
      given[axis] = true;
      value[axis] = number;
    }
  }
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (given[axis])
      moveAxis(axis, relative_ ? positions_[axis] + value[axis] : value[axis]);
  }
  return false;
}

void Machine::moveAxis(int axis, double target) {
  if (target != positions_[axis])
    moved_ = true;
  positions_[axis] = target;
}

void Machine::advance(double seconds) {
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (jogSpeed_[axis] != 0.0) {
      moveAxis(axis, positions_[axis] + jogSpeed_[axis] * seconds / kSecondsPerMinute);
    }
  }
}

bool Machine::takeMoved() {
  const bool moved = moved_;
  moved_ = false;
  return moved;
}

std::string Machine::formatPositions() const {
  std::string out;
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (axis != 0)
      out += ' ';
    out += kAxisLetters[axis];
    out += ' ';
    appendPosition(out, positions_[axis]);
  }
  return out;
}

std::string Machine::formatRecord(int axis) const {
  const AxisJogRecord& r = engine.axisJog[axis];
  char text[160];
  std::snprintf(text, sizeof text, "%c dir=%d speed=%d full=%d stop=%d start=%d",
                kAxisLetters[axis], static_cast<int>(r.direction), static_cast<int>(r.jogSpeed),
                static_cast<int>(r.fullSpeed), r.stopByte, r.startByte);
  return text;
}

}  // namespace k4::hostsim
