// The host's thread: the status copy taken once per cycle, the command queue and the jog stops,
// the messages, the shutdown and the dashboard.

#include "bridge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/host_boundary.h"

namespace k4::lcnc {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kOverrideLimit{1000};  // an override write shows in the status by then
constexpr milliseconds kStatusRepeat{2000};

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

void Bridge::attach(hostsim::HostBlocks& blocks) {
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
  if (config_.timings)
    probes_.callback(name, since);
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
  enqueue(operatorText(text));
}

Command Bridge::operatorText(const std::string& text) {
  // With --read-errors the bridge also shows LinuxCNC's error channel: its own texts coming
  // back on it are recognised and not shown twice.
  if (config_.readErrors) {
    std::lock_guard lock(mutex_);
    ownTexts_.insert(text);
  }
  Command message;
  message.kind = Command::Kind::OperatorText;
  message.text = text;
  return message;
}

void Bridge::beforeCycle(hostsim::HostBlocks& blocks, double) {
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
      enqueue(operatorText(text));
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

bool Bridge::idle() const {
  std::lock_guard lock(mutex_);
  return queue_.empty() && !busy_;
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
  return probes_.take();
}

}  // namespace k4::lcnc
