#include "machine.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gcode_words.h"
#include "host_event.h"

namespace k4::hostsim {

namespace {

constexpr double kSecondsPerMinute = 60.0;

int axisOfLetter(char letter) {
  const char* found = std::strchr(kAxisLetters, letter);
  return found != nullptr && letter != '\0' ? static_cast<int>(found - kAxisLetters) : -1;
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

SimulatedMachine::SimulatedMachine() {
  leds_[led::kJogAllowed] = true;
}

void SimulatedMachine::startAsAHost() {
  dros_[dro::kFeedOverride] = 100.0;
  dros_[dro::kSpindleTrim] = 100.0;
  dros_[dro::kSpeedPercent] = 50.0;
}

void SimulatedMachine::attach(HostBlocks& blocks) {
  blocks_ = &blocks;
  blocks.planner.stepIncrement = 0.001;  // every DRO starts at 0, DRO 828 included
  for (int axis = 0; axis < kAxisCount; ++axis) {
    blocks.planner.fullJogSpeed[axis] = 1000;
    blocks.planner.companionWord[axis] = 0;
  }
}

uint8_t SimulatedMachine::ledAnswer(int code) {
  const auto it = leds_.find(code);
  return it != leds_.end() ? it->second : 0;
}

void SimulatedMachine::setDro(int code, double value) {
  dros_[code] = value;
  if (code == dro::kStepSize && blocks_ != nullptr)
    blocks_->planner.stepIncrement = value;
}

double SimulatedMachine::dro(int code) {
  const auto it = dros_.find(code);
  return it != dros_.end() ? it->second : 0.0;
}

void SimulatedMachine::doButton(int code) {
  if (reactions_ && code == button::kReset)
    ++pendingResets_;
}

std::vector<int> SimulatedMachine::code(const std::string& line, HostBlocks& blocks) {
  if (line == "DOJOG" || line == "ENDJOG") {
    const bool start = line == "DOJOG";
    std::array<bool, kAxisCount> running{};
    for (int axis = 0; axis < kAxisCount; ++axis)
      running[axis] = jogging(axis);
    // With no record rewritten or marked, the command concerns the axis of the previous one.
    std::vector<int> axes = blocks.jogSubjects(start, running);
    if (axes.empty() && lastJogAxis_ >= 0)
      axes.push_back(lastJogAxis_);
    for (int axis : axes) {
      const AxisJogRecord& record = blocks.engine.axisJog[axis];
      const bool run = start && record.stopByte == 0;
      jogSpeed_[axis] = run ? (record.direction != 0 ? -1.0 : 1.0) * record.jogSpeed : 0.0;
      lastJogAxis_ = axis;
    }
    blocks.rememberRecords();
    return axes;
  }

  // G90/G91 select absolute or relative distances; axis words move; other words are not ours.
  std::array<bool, kAxisCount> given{};
  std::array<double, kAxisCount> value{};
  GcodeWordReader reader(line);
  GcodeWord word;
  for (GcodeWordReader::Next next; (next = reader.next(word)) != GcodeWordReader::Next::End;) {
    if (next != GcodeWordReader::Next::Word)
      continue;
    if (word.letter == 'G' && word.number == 90.0)
      relative_ = false;
    if (word.letter == 'G' && word.number == 91.0)
      relative_ = true;
    const int axis = axisOfLetter(word.letter);
    if (axis >= 0) {
      given[axis] = true;
      value[axis] = word.number;
    }
  }
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (given[axis])
      moveAxis(axis, relative_ ? positions_[axis] + value[axis] : value[axis]);
  }
  return {};
}

void SimulatedMachine::moveAxis(int axis, double target) {
  if (target != positions_[axis])
    moved_ = true;
  positions_[axis] = target;
}

void SimulatedMachine::beforeCycle(HostBlocks&, double seconds) {
  if (pendingResets_ % 2 != 0)
    setLed(led::kReset, !led(led::kReset));
  pendingResets_ = 0;
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (jogSpeed_[axis] != 0.0) {
      moveAxis(axis, positions_[axis] + jogSpeed_[axis] * seconds / kSecondsPerMinute);
    }
  }
}

bool SimulatedMachine::takeMoved() {
  const bool moved = moved_;
  moved_ = false;
  return moved;
}

std::string SimulatedMachine::positions() const {
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

}  // namespace k4::hostsim
