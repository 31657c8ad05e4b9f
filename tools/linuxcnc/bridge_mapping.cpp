// The host's side of the mapping: LEDs and DROs answered from the status copy, and the
// plug-in's command lines turned into LinuxCNC's jogs and MDI lines.

#include "bridge.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gcode_words.h"
#include "host/host_boundary.h"

namespace k4::lcnc {

bool Bridge::led(int code) {
  const Clock::time_point start = Clock::now();
  bool lit = false;
  switch (code) {
    case led::kReset:
      lit = status_.estop || !status_.machineOn;
      break;
    case led::kCycleRunning:
      // MDI too: the plug-in then holds its jogs, which would need another mode.
      lit = interpreterBusy();
      break;
    case led::kFeedHold:
      lit = interpreterBusy() && (status_.taskPaused || status_.interp == Interp::Paused);
      break;
    case led::kJogAllowed:
      lit = status_.machineOn && allHomed() && !interpreterBusy();
      break;
    case led::kJogStartBracket:
      lit = config_.actions.led15;
      break;
    default:
      break;
  }
  timeCallback("GetLED", start);
  return lit;
}

double Bridge::dro(int code) {
  const Clock::time_point start = Clock::now();
  double value = 0.0;
  switch (code) {
    case dro::kFeedOverride:
      value = feedWritten_ >= 0 ? feedWritten_ : status_.feedScale * 100.0;
      break;
    case dro::kSpindleTrim:
      value = spindleWritten_ >= 0 ? spindleWritten_ : status_.spindleScale * 100.0;
      break;
    case dro::kJogFeed:
      value = status_.activeFeed;
      break;
    case dro::kQueueDepth:
      // Commands still with the bridge count too: the plug-in holds its steps back while
      // LinuxCNC is behind, instead of piling them up here.
      // Step travel LinuxCNC still has to go counts in lines: its jogs do not queue, so its
      // own queue would read 0 however much is outstanding.
      value = pendingCount_ + status_.mdiQueue +
              (status_.mode != TaskMode::Manual ? status_.trajQueue : 0) + outstandingLines_;
      break;
    case dro::kStepSize:
      value = stepSize_;
      break;
    case dro::kSpeedPercent:
      value = jogSpeedPercent_;
      break;
    default: {
      const auto it = otherDros_.find(code);
      value = it != otherDros_.end() ? it->second : 0.0;
      break;
    }
  }
  timeCallback("GetDRO", start);
  return value;
}

void Bridge::setDro(int code, double value) {
  const Clock::time_point start = Clock::now();
  switch (code) {
    case dro::kFeedOverride: {
      // LinuxCNC's task does not hold the override to the INI's limits; its screens do, and
      // so does the bridge.
      value = std::clamp(value, 0.0, config_.maxFeedOverride * 100.0);
      // The plug-in reads its own write back at once (DRO adjust, save and restore), before
      // LinuxCNC's status can show it: the written value answers until the status agrees.
      const double current = feedWritten_ >= 0 ? feedWritten_ : status_.feedScale * 100.0;
      if (std::fabs(current - value) > 1e-9) {
        feedWritten_ = value;
        feedWrittenAt_ = Clock::now();
        // Sent with the next cycle, unless a step line follows in this one (see code()).
        feedSendPending_ = true;
      }
      break;
    }
    case dro::kSpindleTrim: {
      value = std::clamp(value, config_.minSpindleOverride * 100.0,
                         std::max(config_.minSpindleOverride, config_.maxSpindleOverride) * 100.0);
      const double current = spindleWritten_ >= 0 ? spindleWritten_ : status_.spindleScale * 100.0;
      if (std::fabs(current - value) > 1e-9) {
        spindleWritten_ = value;
        spindleWrittenAt_ = Clock::now();
        Command command;
        command.kind = Command::Kind::SpindleScale;
        command.value = value / 100.0;
        enqueue(command);
      }
      break;
    }
    case dro::kStepSize:
      // The host's jog increment follows the step size the pendant selects.
      stepSize_ = value;
      if (blocks_ != nullptr)
        blocks_->planner.stepIncrement = value;
      break;
    case dro::kSpeedPercent:
      jogSpeedPercent_ = value;
      break;
    case dro::kJogFeed:
      // The F word is LinuxCNC's (only an MDI line could change it, leaving manual mode); the
      // plug-in writes back only what it read.
      break;
    default:
      otherDros_[code] = value;
      break;
  }
  timeCallback("SetDRO", start);
}

void Bridge::sendFeedOverride() {
  feedSendPending_ = false;
  if (feedWritten_ < 0)
    return;
  Command command;
  command.kind = Command::Kind::FeedScale;
  command.value = feedWritten_ / 100.0;
  enqueue(command);
}

double Bridge::machineFactor(int axis) const {
  if (axis > 2)
    return 1.0;  // rotary axes: degrees either way
  const double mmPerProgramUnit = status_.programUnits == 1   ? 25.4
                                  : status_.programUnits == 3 ? 10.0
                                                              : 1.0;
  const double perMm = status_.linearUnitsPerMm > 0 ? status_.linearUnitsPerMm : 1.0;
  return mmPerProgramUnit * perMm;
}

std::vector<int> Bridge::code(const std::string& line, hostsim::HostBlocks& blocks) {
  const Clock::time_point start = Clock::now();
  if (line == "DOJOG" || line == "ENDJOG") {
    const bool startJog = line == "DOJOG";
    // The records the plug-in rewrote, else those marked for a "DOJOG"; an "ENDJOG" that
    // rewrote nothing names no axis (the stop went out when its record was rewritten).
    for (int axis : blocks.jogSubjects(startJog, {})) {
      if (axis < 0 || axis >= kAxes)
        continue;
      const AxisJogRecord& record = blocks.engine.axisJog[axis];
      const double speed = record.jogSpeed / kSecondsPerMinute;
      if (startJog && record.stopByte == 0 && speed > 0) {
        if (!axisPresent(axis)) {
          tell(std::string("Jog refused: this machine has no axis ") + kLetters[axis]);
          continue;
        }
        Command command;
        command.kind = Command::Kind::JogCont;
        command.axis = axis;
        command.speed = record.direction != 0 ? -speed : speed;
        enqueue(command);
        continuousJog_[axis] = true;
        jogIssued_[axis] = true;
        lastDojog_[axis] = start;
      } else if (continuousJog_[axis] || (startJog && jogIssued_[axis])) {
        stopJog(axis, true);
      }
    }
    blocks.rememberRecords();
  } else if (line == "G90") {
    // The step lines become jogs, which leave the distance mode alone; a line that went
    // through MDI gets its G90 there too.
    if (lastStepByMdi_)
      mdi(line);
    lastStepByMdi_ = false;
  } else if (line.rfind("G91G1", 0) == 0) {
    // The plug-in sets the feed override to 100 % before each step line and puts it back
    // after the burst: LinuxCNC's jogs ignore the override, so its own is left alone.
    feedSendPending_ = false;
    stepLine(line);
  } else {
    // "M%d" and anything else: LinuxCNC's interpreter decides.
    mdi(line);
  }
  timeCallback("Code", start);
  return {};
}

// The plug-in's step lines: "G91G1 F%d %s %.4f", "G91G1 F%.4f %s %.4f", "G91G1 %s %.4f" and
// the rotated "G91G1 X%.4f Y%.4f ". Each becomes one incremental jog per axis at the line's
// feed, so LinuxCNC stays in manual mode; axes moved together get their share of the feed, so
// the path is the line's.
void Bridge::stepLine(const std::string& line) {
  std::array<bool, kAxes> given{};
  std::array<double, kAxes> distance{};
  double feed = -1.0;
  bool understood = true;
  constexpr std::size_t kHead = 5;  // "G91G1"
  hostsim::GcodeWordReader reader(line, kHead);
  hostsim::GcodeWord word;
  // Only a feed and axis distances make a step line; anything else goes to the interpreter.
  for (hostsim::GcodeWordReader::Next next;
       understood && (next = reader.next(word)) != hostsim::GcodeWordReader::Next::End;) {
    const char* found = std::strchr(kLetters, word.letter);
    if (next != hostsim::GcodeWordReader::Next::Word || !std::isfinite(word.number)) {
      understood = false;
    } else if (word.letter == 'F') {
      feed = word.number;
    } else if (found != nullptr) {
      const int axis = static_cast<int>(found - kLetters);
      given[axis] = true;
      distance[axis] = word.number;
    } else {
      understood = false;
    }
  }
  if (!understood) {
    lastStepByMdi_ = true;
    mdi(line);
    return;
  }
  if (feed <= 0)
    feed = status_.activeFeed;
  double length = 0.0;
  for (int axis = 0; axis < kAxes; ++axis)
    length += given[axis] ? distance[axis] * distance[axis] : 0.0;
  length = std::sqrt(length);
  if (length == 0.0)
    return;
  // A feed word is in program units per minute; DEFAULT_LINEAR_VELOCITY is in machine units
  // per second already.
  const bool byFeed = feed > 0;
  if (!byFeed && config_.defaultVelocity <= 0) {
    sayOnce(3000, "Step jog: no feed and no DEFAULT_LINEAR_VELOCITY in the INI; steps dropped");
    return;
  }
  Command command;
  command.kind = Command::Kind::StepLine;
  // The wheel counts the line carries: the bridge's bound drops whole counts.
  command.value = stepSize_ > 0 ? std::max(1.0, std::round(length / stepSize_)) : 1.0;
  bool any = false;
  for (int axis = 0; axis < kAxes; ++axis) {
    if (!given[axis] || distance[axis] == 0.0)
      continue;
    if (!axisPresent(axis)) {
      tell(std::string("Step jog refused: this machine has no axis ") + kLetters[axis]);
      continue;
    }
    const double factor = machineFactor(axis);
    const double share = std::fabs(distance[axis]) / length;
    double axisSpeed =
        byFeed ? feed / kSecondsPerMinute * share * factor : config_.defaultVelocity * share;
    if (config_.maxVelocity[axis] > 0)
      axisSpeed = std::min(axisSpeed, config_.maxVelocity[axis]);
    command.distances[axis] = distance[axis] * factor;
    command.speeds[axis] = axisSpeed;
    command.axis = command.axis < 0 ? axis : command.axis;
    jogIssued_[axis] = true;
    any = true;
  }
  if (any)
    enqueue(command);
  lastStepByMdi_ = false;
}

}  // namespace k4::lcnc
