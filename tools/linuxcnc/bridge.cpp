#include "bridge.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host_boundary.h"
#include "machine.h"
#include "pendant_controls.h"

namespace k4::lcnc {

namespace {

using std::chrono::milliseconds;

constexpr const char* kLetters = "XYZABC";
constexpr double kSecondsPerMinute = 60.0;
constexpr milliseconds kEchoLimit{500};
constexpr milliseconds kLongEchoLimit{60};
constexpr milliseconds kModeLimit{400};
constexpr milliseconds kHoldOff{1000};        // a refused command stays quiet this long
constexpr milliseconds kResetLimit{1500};     // an E-stop change takes up to ~100 ms
constexpr milliseconds kOverrideLimit{1000};  // an override write shows in the status by then
constexpr milliseconds kProbeLimit{1000};
constexpr milliseconds kAbortCoalesce{200};
constexpr milliseconds kStatusRepeat{2000};
constexpr milliseconds kTellRepeat{2000};  // the same refusal is told again after this
constexpr milliseconds kMdiSettle{300};    // an MDI line taken may not show as running yet
constexpr milliseconds kStepSettle{150};   // a step jog LinuxCNC has not started by then ended
constexpr double kAtTarget = 1e-4;         // machine units: a step jog has arrived
constexpr milliseconds kPoll{1};
constexpr int kZeroAllAxes = 4;  // code 1007 zeroes X to A, as 1008-1011 do one by one

double msSince(Clock::time_point since, Clock::time_point now = Clock::now()) {
  return std::chrono::duration<double, std::milli>(now - since).count();
}

const char* kindName(Command::Kind kind) {
  switch (kind) {
    case Command::Kind::JogCont:
      return "the continuous jog";
    case Command::Kind::JogIncr:
    case Command::Kind::StepLine:
      return "the step jog";
    case Command::Kind::JogStop:
      return "the jog stop";
    case Command::Kind::Mdi:
      return "the MDI line";
    case Command::Kind::EstopOn:
      return "E-stop";
    case Command::Kind::EstopResetOn:
      return "machine on";
    case Command::Kind::Run:
      return "cycle start";
    case Command::Kind::Resume:
      return "resume";
    case Command::Kind::Pause:
      return "pause";
    case Command::Kind::Abort:
      return "stop";
    case Command::Kind::Home:
      return "homing";
    case Command::Kind::FeedScale:
      return "the feed override";
    case Command::Kind::SpindleScale:
      return "the spindle override";
    case Command::Kind::Flood:
      return "flood";
    case Command::Kind::Mist:
      return "mist";
    case Command::Kind::OverrideLimits:
      return "the limit override";
    case Command::Kind::OperatorText:
      return "the operator message";
  }
  return "the command";
}

const char* modeName(TaskMode mode) {
  switch (mode) {
    case TaskMode::Manual:
      return "MANUAL";
    case TaskMode::Auto:
      return "AUTO";
    case TaskMode::Mdi:
      return "MDI";
    case TaskMode::Unknown:
      break;
  }
  return "?";
}

bool isJog(Command::Kind kind) {
  return kind == Command::Kind::JogCont || kind == Command::Kind::JogIncr ||
         kind == Command::Kind::JogStop || kind == Command::Kind::StepLine;
}

// Step lines are never held off: only the bound on outstanding travel drops counts.
bool isStep(Command::Kind kind) {
  return kind == Command::Kind::JogIncr || kind == Command::Kind::StepLine;
}

// The first axis a step line moves, for the refusal's text.
int firstAxis(const Command& command) {
  for (int axis = 0; axis < kAxes; ++axis) {
    if (command.distances[axis] != 0.0)
      return axis;
  }
  return -1;
}

// Refusals are remembered per kind and axis, so a refused jog of X does not silence Y.
int holdKey(const Command& command) {
  return static_cast<int>(command.kind) * 16 + (command.axis + 1);
}

// True when `text` was not told within kTellRepeat, and remembers it; what was told long ago
// is forgotten, so the memory stays small however many reasons LinuxCNC gives.
bool remember(std::map<std::string, Clock::time_point>& told, const std::string& text,
              Clock::time_point now) {
  const auto found = told.find(text);
  if (found != told.end() && now - found->second < kTellRepeat)
    return false;
  std::erase_if(told, [now](const auto& entry) { return now - entry.second >= kTellRepeat; });
  told[text] = now;
  return true;
}

std::string formatNumber(double value) {
  char text[32];
  if (std::fabs(value) < 0.00005)
    value = 0.0;
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

}  // namespace

Bridge::Bridge(std::unique_ptr<Controller> controller, BridgeConfig config)
    : config_(std::move(config)),
      controller_(std::move(controller)),
      jogSpeedPercent_(config_.actions.jogSpeedPercent) {
  controller_->readStatus(live_);
  published_ = live_;
  status_ = live_;
  lastHeartbeat_ = status_.heartbeat;
  worker_ = std::thread([this] { workerLoop(); });
}

Bridge::~Bridge() {
  shutdown("the bridge ends");
  {
    std::lock_guard lock(mutex_);
    stopWorker_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable())
    worker_.join();
}

// ---- host thread ------------------------------------------------------------------------------

void Bridge::attach(hostsim::Machine& blocks) {
  blocks_ = &blocks;
  blocks.planner.stepIncrement = stepSize_;
  for (int axis = 0; axis < kAxes; ++axis) {
    // The plug-in scales every continuous jog from the record's full speed, in units per
    // minute; LinuxCNC's limit for the axis is the natural full speed.
    blocks.planner.fullJogSpeed[axis] =
        static_cast<int32_t>(std::lround(config_.maxVelocity[axis] * kSecondsPerMinute));
    blocks.planner.companionWord[axis] = 0;
  }
}

void Bridge::timeCallback(const char* name, Clock::time_point since) {
  if (!config_.timings)
    return;
  const double ms = msSince(since);
  std::lock_guard lock(mutex_);
  timings_.callbacks[name].push_back(ms);
}

void Bridge::say(const std::string& text) {
  messages_.push_back(text);
}

void Bridge::sayOnce(int code, const std::string& text) {
  if (told_.insert(code).second)
    say(text);
}

// A refusal found on this thread: standard output and LinuxCNC's operator messages, where a
// program started from [APPLICATIONS] is seen; the same text not again for a while.
void Bridge::tell(const std::string& text) {
  const Clock::time_point now = Clock::now();
  if (!remember(toldAt_, text, now))
    return;
  say(text);
  if (!config_.operatorMessages)
    return;
  if (config_.readErrors) {
    std::lock_guard lock(mutex_);
    ownTexts_.insert(text);
  }
  Command message;
  message.kind = Command::Kind::OperatorText;
  message.text = text;
  enqueue(message);
}

void Bridge::beforeCycle(hostsim::Machine& blocks) {
  const Clock::time_point now = Clock::now();
  cycleStart_ = now;
  {
    std::lock_guard lock(mutex_);
    status_ = published_;
    outstandingLines_ = publishedLines_;
    pendingCount_ = static_cast<int>(queue_.size()) + (busy_ ? 1 : 0);
    for (std::string& text : workerMessages_)
      messages_.push_back(std::move(text));
    workerMessages_.clear();
  }
  if (!messages_.empty())
    lastLinuxcncMessage_ = messages_.back();

  // LinuxCNC's task advances its heartbeat every cycle; a frozen one means it is gone or hung.
  if (status_.heartbeat != lastHeartbeat_ || !status_.valid) {
    lastHeartbeat_ = status_.heartbeat;
    heartbeatSeen_ = now;
  }
  if (!lost_ && now - heartbeatSeen_ > config_.staleAfter) {
    stopAllJogs("LinuxCNC stopped answering");
    say("Connection to LinuxCNC lost: it has not answered for " +
        std::to_string(config_.staleAfter.count()) + " ms");
    lost_ = true;
  }

  blocks.setup.rotationAngle = status_.rotationXY;
  blocks.setup.absoluteWord = 0;

  // A continuous jog lives only while the plug-in renews it: after an unplug, a hung plug-in
  // or anything else that silences it, the axis stops by itself.
  for (int axis = 0; axis < kAxes; ++axis) {
    if (continuousJog_[axis] && now - lastDojog_[axis] > config_.jogWatchdog) {
      stopJog(axis, true);
      say(std::string("Jog ") + kLetters[axis] + " stopped: the plug-in stopped renewing it");
    }
  }

  if (resetPending_) {
    const bool arrived = resetTargetEstop_ ? status_.estop : status_.machineOn;
    if (arrived || now > resetPendingUntil_)
      resetPending_ = false;
  }
  if (feedSendPending_)
    sendFeedOverride();
  if (feedWritten_ >= 0 && (std::fabs(status_.feedScale * 100.0 - feedWritten_) < 1e-6 ||
                            now - feedWrittenAt_ > kOverrideLimit)) {
    feedWritten_ = -1.0;
  }
  if (spindleWritten_ >= 0 && (std::fabs(status_.spindleScale * 100.0 - spindleWritten_) < 1e-6 ||
                               now - spindleWrittenAt_ > kOverrideLimit)) {
    spindleWritten_ = -1.0;
  }

  // The plug-in's status line, also as a LinuxCNC operator message when it changes.
  if (blocks.planner.statusAssignments != statusSeen_) {
    statusSeen_ = blocks.planner.statusAssignments;
    std::string text(blocks.planner.statusLine,
                     strnlen(blocks.planner.statusLine, kStatusLineSize));
    // " Jog OFF. " says LED 83 is dark; the operator also learns why.
    if (text.find("Jog OFF.") != std::string::npos) {
      const char* why = status_.estop        ? "E-stop"
                        : !status_.machineOn ? "the machine is off"
                        : !allHomed()        ? "not every axis is homed"
                        : interpreterBusy() ? (status_.mode == TaskMode::Mdi ? "an MDI command runs"
                                                                             : "a program runs")
                                            : nullptr;
      if (why != nullptr)
        text = "Jog OFF: " + std::string(why);
    }
    const bool fresh = text != statusSent_ || now - statusSentAt_ > kStatusRepeat;
    if (config_.operatorMessages && fresh && !text.empty()) {
      statusSent_ = text;
      statusSentAt_ = now;
      if (config_.readErrors) {
        std::lock_guard lock(mutex_);
        ownTexts_.insert(text);
      }
      Command message;
      message.kind = Command::Kind::OperatorText;
      message.text = text;
      enqueue(message);
    }
  }
  timeCallback("cycle", now);
}

bool Bridge::allHomed() const {
  const int joints = std::clamp(status_.joints, 0, kJoints);
  for (int j = 0; j < joints; ++j) {
    if (!status_.homed[j])
      return false;
  }
  return joints > 0;
}

bool Bridge::programRunning() const {
  return status_.mode == TaskMode::Auto && status_.interp != Interp::Idle;
}

// A program or an MDI command runs (paused included): LinuxCNC's mode is not ours to change.
bool Bridge::interpreterBusy() const {
  return k4::lcnc::interpreterBusy(status_);
}

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

void Bridge::enqueue(Command command, bool urgent) {
  {
    std::lock_guard lock(mutex_);
    if (command.kind == Command::Kind::JogCont) {
      // A newer speed replaces one still waiting: the axis follows the wheel, not a backlog.
      for (Queued& queued : queue_) {
        if (queued.command.kind == Command::Kind::JogCont && queued.command.axis == command.axis) {
          queued.command = command;
          return;
        }
      }
    }
    if (urgent) {
      queue_.push_front({command, cycleStart_});
    } else {
      queue_.push_back({command, cycleStart_});
    }
  }
  wake_.notify_one();
}

void Bridge::stopJog(int axis, bool urgent) {
  {
    std::lock_guard lock(mutex_);
    std::erase_if(queue_, [axis](const Queued& queued) {
      const Command& c = queued.command;
      return ((c.kind == Command::Kind::JogCont || c.kind == Command::Kind::JogIncr) &&
              c.axis == axis) ||
             (c.kind == Command::Kind::StepLine && c.distances[axis] != 0.0);
    });
  }
  Command stop;
  stop.kind = Command::Kind::JogStop;
  stop.axis = axis;
  enqueue(stop, urgent);
  continuousJog_[axis] = false;
  jogIssued_[axis] = false;
}

void Bridge::stopAllJogs(const std::string& why) {
  bool any = false;
  for (int axis = 0; axis < kAxes; ++axis) {
    if (continuousJog_[axis] || jogIssued_[axis]) {
      stopJog(axis, true);
      any = true;
    }
  }
  if (any)
    say("Jogs stopped: " + why);
}

void Bridge::doButton(int code) {
  const Clock::time_point start = Clock::now();
  const auto mapped = config_.actions.codes.find(code);
  if (mapped != config_.actions.codes.end()) {
    for (const Action& action : mapped->second)
      runAction(action);
    timeCallback("DoButton", start);
    return;
  }
  Command command;
  if (code == button::kReset) {
    reset();
  } else if (code == button::kCycleStart) {
    if (programRunning() && (status_.taskPaused || status_.interp == Interp::Paused)) {
      command.kind = Command::Kind::Resume;
    } else {
      command.kind = Command::Kind::Run;
    }
    enqueue(command);
  } else if (code == button::kCycleResume) {
    if (status_.taskPaused || status_.interp == Interp::Paused) {
      command.kind = Command::Kind::Resume;
      enqueue(command);
    } else {
      sayOnce(code, "Code 1001 (resume): the program is not paused");
    }
  } else if (code == button::kCycleStop || code == button::kCycleStopFollow) {
    // 1002 follows 1003 when the cycle was not started from the pendant: one abort does both.
    if (Clock::now() - lastAbort_ > kAbortCoalesce) {
      command.kind = Command::Kind::Abort;
      enqueue(command, true);
      lastAbort_ = Clock::now();
    }
  } else if (code == 1007) {
    std::string line = "G10 L20 P0";
    for (int axis = 0; axis < kZeroAllAxes; ++axis) {
      if (axisPresent(axis))
        line += std::string(" ") + kLetters[axis] + "0";
    }
    mdi(line);
  } else if (code >= button::kZeroBase && code < button::kZeroBase + kZeroAllAxes) {
    const int axis = code - button::kZeroBase;
    if (axisPresent(axis)) {
      mdi(std::string("G10 L20 P0 ") + kLetters[axis] + "0");
    } else {
      tell(std::string("Zero ") + kLetters[axis] + " refused: this machine has no axis " +
           kLetters[axis]);
    }
  } else if (code >= button::kRefBase && code < button::kRefBase + kZeroAllAxes) {
    // An axis is homed through its joints: on a gantry two joints move one axis, and a
    // joint's number need not be its axis'.
    const int axis = code - button::kRefBase;
    const std::string ref = std::string("Ref ") + kLetters[axis] + " refused: ";
    if (!config_.jointsKnown) {
      tell(ref + "the joints of each axis are not known for the kinematics \"" +
           config_.kinematics + "\" (home from LinuxCNC's screen)");
    } else if (config_.axisJoints[axis].empty() || !axisPresent(axis)) {
      tell(ref + "this machine has no axis " + kLetters[axis]);
    } else {
      for (const int joint : config_.axisJoints[axis]) {
        command.kind = Command::Kind::Home;
        command.axis = joint;
        enqueue(command);
      }
    }
  } else if (code >= button::kAxisBase && code < button::kAxisBase + kAxes) {
    // Mode and axis changes: the plug-in sends them as it starts and as the knobs turn;
    // LinuxCNC needs none of them, and saying so every time would only be noise.
  } else {
    const std::string where =
        config_.actionsFile.empty() ? "the actions file" : config_.actionsFile;
    sayOnce(code, "Code " + std::to_string(code) +
                      " has no meaning in LinuxCNC: nothing done (give it a line in " + where +
                      ")");
  }
  timeCallback("DoButton", start);
}

void Bridge::reset() {
  const Clock::time_point now = Clock::now();
  Command command;
  if (!pendantPresent_) {
    // The plug-in sends 1021 when the pendant is unplugged: that may stop the machine, never
    // start it.
    const bool estopInFlight = resetPending_ && resetTargetEstop_ && now < resetPendingUntil_;
    if (!status_.estop && !estopInFlight) {
      stopAllJogs("the pendant was unplugged");
      command.kind = Command::Kind::EstopOn;
      enqueue(command, true);
      resetTargetEstop_ = true;
      resetPending_ = true;
      resetPendingUntil_ = now + kResetLimit;
      say("Pendant unplugged: E-stop");
    }
    return;
  }
  // The code is a toggle; the switch, where the host sees it, says which way is meant, so a
  // switch turned on always ends in E-stop and never passes through machine on.
  const bool inReset = status_.estop || !status_.machineOn;
  const bool wantReset = controls_ != nullptr ? controls_->reset : !inReset;
  // The plug-in repeats the code every cycle until LED 800 agrees, and an E-stop change takes
  // a while to show: a repeat of the request in flight is not a new one.
  if (resetPending_ && now < resetPendingUntil_ && wantReset == resetTargetEstop_)
    return;
  if (wantReset && !status_.estop) {
    stopAllJogs("E-stop from the pendant");
    command.kind = Command::Kind::EstopOn;
  } else if (!wantReset && (inReset || (resetPending_ && resetTargetEstop_))) {
    command.kind = Command::Kind::EstopResetOn;
  } else {
    return;  // already where the switch wants it
  }
  resetTargetEstop_ = wantReset;
  resetPending_ = true;
  resetPendingUntil_ = now + kResetLimit;
  enqueue(command, command.kind == Command::Kind::EstopOn);
}

void Bridge::runAction(const Action& action) {
  Command command;
  switch (action.kind) {
    case Action::Kind::Nothing:
      return;
    case Action::Kind::Mdi:
      mdi(action.text);
      return;
    case Action::Kind::Flood:
    case Action::Kind::Mist: {
      const bool flood = action.kind == Action::Kind::Flood;
      const bool now = flood ? status_.flood : status_.mist;
      command.kind = flood ? Command::Kind::Flood : Command::Kind::Mist;
      command.value = action.text == "on" ? 1.0 : action.text == "off" ? 0.0 : (now ? 0.0 : 1.0);
      break;
    }
    case Action::Kind::UnitsToggle:
      // A setting, not a move: LinuxCNC goes back to manual mode, where the pendant jogs.
      command.kind = Command::Kind::Mdi;
      command.text = status_.programUnits == 1 ? "G21" : "G20";
      command.backToManual = true;
      break;
    case Action::Kind::OverrideLimits:
      command.kind = Command::Kind::OverrideLimits;
      break;
    case Action::Kind::HomeAll:
      command.kind = Command::Kind::Home;
      command.axis = -1;
      break;
    case Action::Kind::Estop:
      stopAllJogs("E-stop action");
      command.kind = Command::Kind::EstopOn;
      enqueue(command, true);
      return;
    case Action::Kind::Pause:
      command.kind = Command::Kind::Pause;
      break;
    case Action::Kind::Resume:
      command.kind = Command::Kind::Resume;
      break;
    case Action::Kind::Abort:
      command.kind = Command::Kind::Abort;
      enqueue(command, true);
      return;
  }
  enqueue(command);
}

void Bridge::mdi(const std::string& line) {
  Command command;
  command.kind = Command::Kind::Mdi;
  command.text = line;
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

void Bridge::code(const std::string& line, hostsim::Machine& blocks) {
  const Clock::time_point start = Clock::now();
  if (line == "DOJOG" || line == "ENDJOG") {
    const bool startJog = line == "DOJOG";
    for (int axis : blocks.jogSubjects(startJog)) {
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
}

// The plug-in's step lines: "G91G1 F%d %s %.4f", "G91G1 F%.4f %s %.4f", "G91G1 %s %.4f" and
// the rotated "G91G1 X%.4f Y%.4f ". Each becomes one incremental jog per axis at the line's
// feed, so LinuxCNC stays in manual mode; axes moved together get their share of the feed, so
// the path is the line's.
void Bridge::stepLine(const std::string& line) {
  std::array<bool, kAxes> given{};
  std::array<double, kAxes> distance{};
  double feed = -1.0;
  std::size_t i = 5;  // after "G91G1"
  bool understood = true;
  while (i < line.size()) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    ++i;
    while (i < line.size() && line[i] == ' ')
      ++i;
    const char* begin = line.c_str() + i;
    char* end = nullptr;
    const double number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number)) {
      understood = false;
      break;
    }
    i += static_cast<std::size_t>(end - begin);
    const char* found = std::strchr(kLetters, letter);
    if (letter == 'F') {
      feed = number;
    } else if (found != nullptr && letter != '\0') {
      const int axis = static_cast<int>(found - kLetters);
      given[axis] = true;
      distance[axis] = number;
    } else {
      understood = false;
      break;
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

void Bridge::pendantPresence(bool present) {
  if (present == pendantPresent_)
    return;
  pendantPresent_ = present;
  if (!present)
    stopAllJogs("the pendant was unplugged");
}

void Bridge::shutdown(const std::string& why) {
  if (shutDown_)
    return;
  shutDown_ = true;
  {
    std::lock_guard lock(mutex_);
    status_ = published_;
  }
  if (feedSendPending_)
    sendFeedOverride();
  if (status_.mode == TaskMode::Manual)
    stopAllJogs(why);
  // The one place the host's thread waits: at the end, so the stops reach LinuxCNC.
  const Clock::time_point until = Clock::now() + milliseconds(1000);
  while (Clock::now() < until) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty() && !busy_)
        break;
    }
    std::this_thread::sleep_for(kPoll);
  }
  {
    std::lock_guard lock(mutex_);
    for (std::string& text : workerMessages_)
      messages_.push_back(std::move(text));
    workerMessages_.clear();
  }
}

std::vector<std::string> Bridge::takeMessages() {
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

std::string Bridge::positions() const {
  Status status;
  {
    std::lock_guard lock(mutex_);
    status = published_;
  }
  std::string out;
  for (int axis = 0; axis < kAxes; ++axis) {
    if ((status.axisMask & (1 << axis)) == 0)
      continue;
    const double work = status.machinePosition[axis] - status.g5xOffset[axis] -
                        status.g92Offset[axis] - status.toolOffset[axis];
    if (!out.empty())
      out += ' ';
    out += kLetters[axis];
    out += ' ';
    out += formatNumber(work);
  }
  return out;
}

std::vector<std::string> Bridge::dashboard() const {
  const Status& s = status_;
  std::vector<std::string> lines;
  char text[256];
  const char* state = s.estop ? "E-STOP" : s.machineOn ? "ON" : "OFF";
  const char* interp = s.interp == Interp::Idle      ? "idle"
                       : s.interp == Interp::Reading ? "running"
                       : s.interp == Interp::Paused  ? "paused"
                       : s.interp == Interp::Waiting ? "waiting"
                                                     : "?";
  std::string homed;
  for (int j = 0; j < std::clamp(s.joints, 0, kJoints); ++j)
    homed += s.homed[j] ? kLetters[std::min(j, kAxes - 1)] : '-';
  std::snprintf(text, sizeof text,
                "LinuxCNC: %s  mode %s  program %s  homed %s  feed override %.0f%%  "
                "queue %d",
                state, modeName(s.mode), interp, homed.c_str(), s.feedScale * 100.0,
                s.trajQueue + s.mdiQueue + pendingCount_);
  lines.push_back(text);
  lines.push_back("Axes:   " + positions() + "   (work coordinates)");
  std::string jogs;
  for (int axis = 0; axis < kAxes; ++axis) {
    if (continuousJog_[axis])
      jogs += std::string(jogs.empty() ? "" : ", ") + kLetters[axis] + " continuous";
  }
  lines.push_back("Jogs:   " + (jogs.empty() ? std::string("none") : jogs) +
                  "   Program: " + (s.file.empty() ? std::string("none") : s.file));
  lines.push_back("Bridge: " +
                  (lastLinuxcncMessage_.empty() ? std::string("-") : lastLinuxcncMessage_));
  return lines;
}

Timings Bridge::takeTimings() {
  std::lock_guard lock(mutex_);
  Timings taken = std::move(timings_);
  timings_ = {};
  return taken;
}

// ---- bridge thread ----------------------------------------------------------------------------

void Bridge::pollController() {
  Status fresh;
  if (controller_->readStatus(fresh))
    live_ = fresh;
  std::string text;
  while (config_.readErrors && controller_->readError(text)) {
    recentErrors_.emplace_back(Clock::now(), text);
    if (recentErrors_.size() > 16)
      recentErrors_.pop_front();
    std::lock_guard lock(mutex_);
    if (ownTexts_.erase(text) == 0)
      workerMessages_.push_back("LinuxCNC: " + text);
  }
  followProbes();
  followSteps();
  // Back to manual mode after an MDI line asked for it, once LinuxCNC has run it.
  if (manualAfterMdi_ && live_.mode == TaskMode::Mdi && live_.interp == Interp::Idle &&
      live_.mdiQueue == 0 && Clock::now() - lastMdiSent_ > kMdiSettle) {
    manualAfterMdi_ = false;
    std::string why;
    if (mayLeaveMode(why))
      ensureMode(TaskMode::Manual, "manual mode");
  } else if (manualAfterMdi_ && live_.mode != TaskMode::Mdi) {
    manualAfterMdi_ = false;
  }
  int lines = 0;
  for (int axis = 0; axis < kAxes; ++axis) {
    const StepTrack& track = steps_[axis];
    if (!track.active || track.lineLength <= 0)
      continue;
    const double remaining = std::fabs(track.target - live_.machinePosition[axis]);
    lines = std::max(lines, static_cast<int>(std::ceil(remaining / track.lineLength - 1e-6)));
  }
  std::lock_guard lock(mutex_);
  published_ = live_;
  publishedLines_ = lines;
}

// A step burst ends when its axis has arrived, or when LinuxCNC, running, has not moved it
// (a jog it clipped at a limit or refused): the next line starts from where the axis is.
void Bridge::followSteps() {
  const Clock::time_point now = Clock::now();
  for (int axis = 0; axis < kAxes; ++axis) {
    StepTrack& track = steps_[axis];
    if (!track.active || live_.axisVelocity[axis] != 0.0)
      continue;
    const bool arrived = std::fabs(track.target - live_.machinePosition[axis]) < kAtTarget;
    const bool alive = live_.heartbeat - track.heartbeat > 5;
    if (arrived || (now - track.sent > kStepSettle && alive))
      track = {};
  }
}

// The commanded but unexecuted travel an axis may hold at `speed` so that it comes to rest
// within the budget, accelerating from rest: cruise and ramp, or a ramp up and down.
double Bridge::restDistance(int axis, double speed) const {
  const double t = config_.restSeconds;
  const double a = config_.maxAcceleration[axis];
  if (a <= 0)
    return speed * t;
  if (speed <= a * t / 2)
    return speed * (t - speed / a);
  return a * t * t / 4;
}

void Bridge::followProbes() {
  if (probes_.empty())
    return;
  const Clock::time_point now = Clock::now();
  for (auto it = probes_.begin(); it != probes_.end();) {
    const bool moving = live_.axisVelocity[it->axis] != 0.0;
    const bool done = it->toMotion ? moving : !moving;
    if (done || now > it->deadline) {
      if (done) {
        std::lock_guard lock(mutex_);
        (it->toMotion ? timings_.wheelToMotion : timings_.endToStopped)
            .push_back(msSince(it->since, now));
      }
      it = probes_.erase(it);
    } else {
      ++it;
    }
  }
}

void Bridge::workerLoop() {
  for (;;) {
    Queued item;
    bool have = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kPoll, [this] { return stopWorker_ || !queue_.empty(); });
      if (stopWorker_ && queue_.empty())
        return;
      if (!queue_.empty()) {
        item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        have = true;
      }
    }
    pollController();
    if (have) {
      execute(item);
      pollController();
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
  }
}

Echo Bridge::waitEcho(int serial, milliseconds limit) {
  const Clock::time_point until = Clock::now() + limit;
  for (;;) {
    Status fresh;
    if (controller_->readStatus(fresh)) {
      live_ = fresh;
      if (fresh.echoSerial == serial && fresh.echo != Echo::Executing)
        return fresh.echo;
      if (fresh.echoSerial > serial)
        return Echo::Done;
    }
    if (Clock::now() > until)
      return live_.echoSerial == serial ? Echo::Executing : Echo::None;
    {
      std::lock_guard lock(mutex_);
      published_ = live_;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

std::string Bridge::lastErrorSince(Clock::time_point since, milliseconds wait) {
  if (!config_.readErrors)
    return "";  // the screen shows LinuxCNC's reason
  const Clock::time_point until = Clock::now() + wait;
  for (;;) {
    std::string text;
    while (controller_->readError(text)) {
      recentErrors_.emplace_back(Clock::now(), text);
      if (recentErrors_.size() > 16)
        recentErrors_.pop_front();
    }
    for (auto it = recentErrors_.rbegin(); it != recentErrors_.rend(); ++it) {
      if (it->first >= since) {
        std::string found = it->second;
        // Claimed as the refusal's reason: not shown a second time as a plain message.
        recentErrors_.erase(std::next(it).base());
        return found;
      }
    }
    if (Clock::now() > until)
      return "";
    std::this_thread::sleep_for(kPoll);
  }
}

void Bridge::refuse(const Command& command, const std::string& what, const std::string& reason) {
  const Clock::time_point now = Clock::now();
  if (!isStep(command.kind))
    holdOff_[holdKey(command)] = now + kHoldOff;
  const int axis = command.kind == Command::Kind::StepLine ? firstAxis(command) : command.axis;
  std::string text = "LinuxCNC refused " + what;
  if (axis >= 0 && axis < kAxes && isJog(command.kind))
    text += std::string(" of ") + kLetters[axis];
  if (!reason.empty())
    text += ": " + reason;
  // Once: a refusal repeated line after line is told again only after a while.
  if (!remember(refusedAt_, text, now))
    return;
  {
    std::lock_guard lock(mutex_);
    workerMessages_.push_back(text);
  }
  tellOperator(text);
}

// An operator message on LinuxCNC's screen (its error channel), sent from this thread.
void Bridge::tellOperator(const std::string& text) {
  if (!config_.operatorMessages || !live_.valid)
    return;
  if (config_.readErrors) {
    std::lock_guard lock(mutex_);
    ownTexts_.insert(text);
  }
  Command message;
  message.kind = Command::Kind::OperatorText;
  message.text = text;
  const int serial = controller_->send(message, false);
  if (serial >= 0)
    waitEcho(serial, kEchoLimit);
}

// LinuxCNC's mode may change only while its interpreter is idle: entering another mode
// aborts a running MDI command or program, and LinuxCNC does not refuse it.
bool Bridge::mayLeaveMode(std::string& why) const {
  if (k4::lcnc::interpreterBusy(live_)) {
    why = live_.mode == TaskMode::Mdi ? "an MDI command runs" : "a program runs";
    return false;
  }
  if (live_.mode == TaskMode::Mdi && Clock::now() - lastMdiSent_ < kMdiSettle) {
    why = "an MDI command was just sent";
    return false;
  }
  return true;
}

bool Bridge::ensureMode(TaskMode mode, const std::string& what) {
  if (live_.mode == mode)
    return true;
  std::string why;
  if (!mayLeaveMode(why))
    return false;
  const int serial = controller_->setMode(mode);
  if (serial < 0 || waitEcho(serial, kEchoLimit) != Echo::Done)
    return false;
  const Clock::time_point until = Clock::now() + kModeLimit;
  while (Clock::now() < until) {
    Status fresh;
    if (controller_->readStatus(fresh)) {
      live_ = fresh;
      if (fresh.mode == mode)
        return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  (void)what;
  return false;
}

bool Bridge::ensureTeleop(bool enable, const std::string&) {
  if (live_.teleop == enable)
    return true;
  const int serial = controller_->setTeleop(enable);
  return serial >= 0 && waitEcho(serial, kEchoLimit) == Echo::Done;
}

void Bridge::execute(const Queued& item) {
  const Command& command = item.command;
  const std::string what = kindName(command.kind);
  const auto held = holdOff_.find(holdKey(command));
  if (held != holdOff_.end()) {
    if (Clock::now() < held->second && command.kind != Command::Kind::JogStop &&
        !isStep(command.kind))
      return;  // refused a moment ago: not again in a loop
    holdOff_.erase(held);
  }

  // What LinuxCNC needs first; a refusal here carries our own reason.
  switch (command.kind) {
    case Command::Kind::JogCont:
    case Command::Kind::JogIncr:
    case Command::Kind::StepLine:
    case Command::Kind::JogStop:
    case Command::Kind::OverrideLimits: {
      if (command.kind == Command::Kind::JogStop) {
        if (command.axis >= 0 && command.axis < kAxes)
          steps_[command.axis] = {};
        // Another mode, E-stop or machine off ended every jog already: nothing to stop.
        if (live_.mode != TaskMode::Manual || !live_.machineOn)
          return;
      }
      if (!live_.machineOn) {
        refuse(command, what, "the machine is off");
        return;
      }
      std::string why;
      if (live_.mode != TaskMode::Manual && !mayLeaveMode(why)) {
        refuse(command, what,
               "LinuxCNC stays in " + std::string(modeName(live_.mode)) + " mode while " + why);
        return;
      }
      if (!ensureMode(TaskMode::Manual, what)) {
        refuse(command, what, std::string("LinuxCNC stays in ") + modeName(live_.mode) + " mode");
        return;
      }
      break;
    }
    case Command::Kind::Mdi:
    case Command::Kind::Run: {
      if (!live_.machineOn) {
        refuse(command, what, "the machine is off");
        return;
      }
      bool homed = live_.joints > 0;
      for (int j = 0; j < std::clamp(live_.joints, 0, kJoints); ++j)
        homed = homed && live_.homed[j];
      if (!homed) {
        refuse(command, what, "not every axis is homed");
        return;
      }
      if (command.kind == Command::Kind::Run && live_.file.empty()) {
        refuse(command, what, "no program is loaded");
        return;
      }
      const TaskMode mode = command.kind == Command::Kind::Run ? TaskMode::Auto : TaskMode::Mdi;
      std::string why;
      if (live_.mode != mode && !mayLeaveMode(why)) {
        refuse(command, what,
               "LinuxCNC stays in " + std::string(modeName(live_.mode)) + " mode while " + why);
        return;
      }
      if (!ensureMode(mode, what)) {
        refuse(command, what, std::string("LinuxCNC stays in ") + modeName(live_.mode) + " mode");
        return;
      }
      break;
    }
    case Command::Kind::Home: {
      if (!live_.machineOn) {
        refuse(command, what, "the machine is off");
        return;
      }
      std::string why;
      if (live_.mode != TaskMode::Manual && !mayLeaveMode(why)) {
        refuse(command, what,
               "LinuxCNC stays in " + std::string(modeName(live_.mode)) + " mode while " + why);
        return;
      }
      if (!ensureMode(TaskMode::Manual, what) || !ensureTeleop(false, what)) {
        refuse(command, what, "LinuxCNC cannot leave its current mode");
        return;
      }
      break;
    }
    default:
      break;
  }

  if (command.kind == Command::Kind::StepLine) {
    executeStep(item);
    return;
  }
  const Clock::time_point sent = Clock::now();
  const int serial = controller_->send(command, !live_.teleop);
  if (serial < 0) {
    refuse(command, what, "the command channel did not take it");
    return;
  }
  if (command.kind == Command::Kind::Mdi) {
    lastMdiSent_ = sent;
    manualAfterMdi_ = command.backToManual;
  }
  if (command.kind == Command::Kind::JogCont && command.axis >= 0 && command.axis < kAxes)
    steps_[command.axis] = {};
  if (config_.timings && command.kind == Command::Kind::JogCont && !live_.jogging)
    probes_.push_back({command.axis, true, item.cycleStart, sent + kProbeLimit});
  if (config_.timings && command.kind == Command::Kind::JogStop)
    probes_.push_back({command.axis, false, item.cycleStart, sent + kProbeLimit});
  // A program, an MDI line or a homing stays "executing" while it runs: taken is enough, and
  // the queue behind it does not wait for the end. A later refusal comes on the error channel.
  const bool longRunning = command.kind == Command::Kind::Run ||
                           command.kind == Command::Kind::Mdi ||
                           command.kind == Command::Kind::Home;
  const Echo echo = waitTaken(serial, longRunning ? kLongEchoLimit : kEchoLimit);
  if (config_.timings && command.kind == Command::Kind::JogStop && echo == Echo::Done) {
    std::lock_guard lock(mutex_);
    timings_.endToAccepted.push_back(msSince(item.cycleStart));
  }
  if (echo == Echo::Error) {
    refuse(command, what, lastErrorSince(sent, milliseconds(30)));
  } else if (command.kind == Command::Kind::Home) {
    // A refused home still reports done: the refusal shows only on the error channel.
    const std::string reason = lastErrorSince(sent, milliseconds(30));
    if (!reason.empty())
      refuse(command, what, reason);
  }
}

// Waits for LinuxCNC's answer. No answer yet is not a refusal: LinuxCNC may be stalled for a
// moment, and a command written before it took the last one would replace that one unread.
// So the bridge waits for it to be taken, up to the time after which LinuxCNC counts as gone.
Echo Bridge::waitTaken(int serial, milliseconds limit) {
  // LinuxCNC gone quiet: until its heartbeat moves again nothing is waited for, so the stops
  // at the end pass quickly and the silence is told once, not once per command.
  if (silent_) {
    Status fresh;
    if (controller_->readStatus(fresh))
      live_ = fresh;
    if (live_.heartbeat == silentHeartbeat_)
      return Echo::None;
    silent_ = false;
  }
  const Clock::time_point start = Clock::now();
  Echo echo = waitEcho(serial, limit);
  while (echo == Echo::None && Clock::now() - start < config_.staleAfter) {
    {
      std::lock_guard lock(mutex_);
      if (stopWorker_)
        break;
    }
    echo = waitEcho(serial, kEchoLimit);
  }
  if (echo == Echo::None) {
    silent_ = true;
    silentHeartbeat_ = live_.heartbeat;
    std::lock_guard lock(mutex_);
    workerMessages_.push_back("LinuxCNC has not taken a command for " +
                              std::to_string(std::lround(msSince(start))) + " ms");
  }
  return echo;
}

// One step line: each axis' increment goes to LinuxCNC, which adds it to the axis' jog target.
// Unless the user asked for exact steps, the travel outstanding per axis is kept to what the
// axis covers in `restSeconds`, so the machine comes to rest soon after the last wheel count;
// counts beyond that are dropped, never kept for later.
void Bridge::executeStep(const Queued& item) {
  const Command& command = item.command;
  const int counts = std::max(1, static_cast<int>(std::lround(command.value)));
  int kept = counts;
  bool anyOutstanding = false;
  for (int axis = 0; axis < kAxes; ++axis) {
    const double d = command.distances[axis];
    if (d == 0.0)
      continue;
    StepTrack& track = steps_[axis];
    const double position = live_.machinePosition[axis];
    if (!track.active)
      track.target = position;
    const double remaining = track.target - position;  // signed, still to go
    if (std::fabs(remaining) >= kAtTarget)
      anyOutstanding = true;
    if (config_.actions.exactSteps)
      continue;
    // Room left in the line's direction on this axis.
    const double along = d > 0 ? remaining : -remaining;
    const double room = restDistance(axis, command.speeds[axis]) - along;
    const double fits = room <= 0 ? 0.0 : room / std::fabs(d);
    kept = std::min(kept, static_cast<int>(std::floor(fits * counts + 1e-9)));
  }
  // One count on an axis at rest always moves: a single count is the operator's own step.
  if (kept == 0 && !anyOutstanding)
    kept = 1;
  if (kept < counts) {
    bool first = false;
    for (int axis = 0; axis < kAxes; ++axis) {
      if (command.distances[axis] != 0.0 && !steps_[axis].dropped) {
        steps_[axis].dropped = true;
        first = true;
      }
    }
    if (first) {
      const int axis = firstAxis(command);
      const std::string text =
          std::string("Step jog ") + kLetters[std::max(axis, 0)] +
          ": wheel counts dropped, more than the axis can move within 0.5 s (step-mode = "
          "exact in the actions file moves every count)";
      {
        std::lock_guard lock(mutex_);
        workerMessages_.push_back(text);
      }
      tellOperator(text);
    }
  }
  if (kept == 0)
    return;
  const double share = static_cast<double>(kept) / counts;
  for (int axis = 0; axis < kAxes; ++axis) {
    const double d = command.distances[axis] * share;
    if (d == 0.0)
      continue;
    Command jog;
    jog.kind = Command::Kind::JogIncr;
    jog.axis = axis;
    jog.value = d;
    jog.speed = command.speeds[axis];
    const Clock::time_point sent = Clock::now();
    const int serial = controller_->send(jog, !live_.teleop);
    if (serial < 0) {
      refuse(jog, "the step jog", "the command channel did not take it");
      continue;
    }
    StepTrack& track = steps_[axis];
    if (!track.active) {
      track.active = true;
      track.target = live_.machinePosition[axis];
    }
    track.target += d;
    // The plug-in's lines, not what the bound kept of them: DRO 22 counts in its units.
    track.lineLength = std::fabs(command.distances[axis]);
    track.sent = sent;
    track.heartbeat = live_.heartbeat;
    if (config_.timings)
      probes_.push_back({axis, true, item.cycleStart, sent + kProbeLimit});
    const Echo echo = waitTaken(serial, kEchoLimit);
    if (echo == Echo::Error) {
      steps_[axis] = {};
      refuse(jog, "the step jog", lastErrorSince(sent, milliseconds(30)));
    }
  }
}

}  // namespace k4::lcnc
