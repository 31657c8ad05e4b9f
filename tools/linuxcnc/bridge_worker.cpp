// The bridge's own thread: it owns the controller, keeps the status copy current, brings
// LinuxCNC into the mode a command needs, issues the command, follows its echo and reports
// refusals.

#include "bridge.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace k4::lcnc {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kLongEchoLimit{60};
constexpr milliseconds kModeLimit{400};
constexpr milliseconds kHoldOff{1000};   // a refused command stays quiet this long
constexpr milliseconds kMdiSettle{300};  // an MDI line taken may not show as running yet

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

bool isJog(Command::Kind kind) {
  return kind == Command::Kind::JogCont || kind == Command::Kind::JogIncr ||
         kind == Command::Kind::JogStop || kind == Command::Kind::StepLine;
}

// Step lines are never held off: only the bound on outstanding travel drops counts.
bool isStep(Command::Kind kind) {
  return kind == Command::Kind::JogIncr || kind == Command::Kind::StepLine;
}

// Refusals are remembered per kind and axis, so a refused jog of X does not silence Y.
int holdKey(const Command& command) {
  return static_cast<int>(command.kind) * 16 + (command.axis + 1);
}

}  // namespace

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
  probes_.follow(live_);
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
  const int serial = controller_->send(operatorText(text), false);
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

// Brings LinuxCNC into `mode` for `command`, or refuses the command with the reason it stays.
bool Bridge::enterMode(const Command& command, const std::string& what, TaskMode mode) {
  std::string why;
  if (live_.mode != mode && !mayLeaveMode(why)) {
    refuse(command, what,
           "LinuxCNC stays in " + std::string(modeName(live_.mode)) + " mode while " + why);
    return false;
  }
  if (!ensureMode(mode, what)) {
    refuse(command, what, std::string("LinuxCNC stays in ") + modeName(live_.mode) + " mode");
    return false;
  }
  return true;
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
      if (!enterMode(command, what, TaskMode::Manual))
        return;
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
      if (!enterMode(command, what, mode))
        return;
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
    probes_.watch(command.axis, true, item.cycleStart, sent);
  if (config_.timings && command.kind == Command::Kind::JogStop)
    probes_.watch(command.axis, false, item.cycleStart, sent);
  // A program, an MDI line or a homing stays "executing" while it runs: taken is enough, and
  // the queue behind it does not wait for the end. A later refusal comes on the error channel.
  const bool longRunning = command.kind == Command::Kind::Run ||
                           command.kind == Command::Kind::Mdi ||
                           command.kind == Command::Kind::Home;
  const Echo echo = waitTaken(serial, longRunning ? kLongEchoLimit : kEchoLimit);
  if (config_.timings && command.kind == Command::Kind::JogStop && echo == Echo::Done)
    probes_.stopAccepted(item.cycleStart);
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

}  // namespace k4::lcnc
