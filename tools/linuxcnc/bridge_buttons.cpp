// The button codes: a table from each code the bridge answers itself to its handler, and the
// actions the user's file gives the other codes.

#include "bridge.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "host/host_boundary.h"
#include "pendant_controls.h"

namespace k4::lcnc {

namespace {

constexpr std::chrono::milliseconds kResetLimit{1500};  // an E-stop change takes up to ~100 ms
constexpr std::chrono::milliseconds kAbortCoalesce{200};
constexpr int kZeroAllAxes = 4;  // code 1007 zeroes X to A, as 1008-1011 do one by one
constexpr int kZeroAll = 1007;

}  // namespace

// The codes the bridge answers itself, each with its handler; a range hands its handler the
// code, so one handler serves every axis. A code the actions file names comes first.
struct Bridge::ButtonRule {
  int first;
  int count;
  void (Bridge::*press)(int code);  // nullptr: known, and nothing to do
};

const Bridge::ButtonRule Bridge::kButtonRules[] = {
    {button::kReset, 1, &Bridge::reset},
    {button::kCycleStart, 1, &Bridge::cycleStart},
    {button::kCycleResume, 1, &Bridge::cycleResume},
    // 1002 follows 1003 when the cycle was not started from the pendant: one abort does both.
    {button::kCycleStopFollow, 1, &Bridge::cycleStop},
    {button::kCycleStop, 1, &Bridge::cycleStop},
    {kZeroAll, 1, &Bridge::zeroAll},
    {button::kZeroBase, kZeroAllAxes, &Bridge::zeroAxis},
    {button::kRefBase, kZeroAllAxes, &Bridge::refAxis},
    // Mode and axis changes: the plug-in sends them as it starts and as the knobs turn;
    // LinuxCNC needs none of them, and saying so every time would only be noise.
    {button::kAxisBase, kAxes, nullptr},
};

void Bridge::doButton(int code) {
  const Clock::time_point start = Clock::now();
  const auto mapped = config_.actions.codes.find(code);
  if (mapped != config_.actions.codes.end()) {
    for (const Action& action : mapped->second)
      runAction(action);
    timeCallback("DoButton", start);
    return;
  }
  const auto rule = std::find_if(
      std::begin(kButtonRules), std::end(kButtonRules),
      [code](const ButtonRule& r) { return code >= r.first && code < r.first + r.count; });
  if (rule == std::end(kButtonRules)) {
    const std::string where =
        config_.actionsFile.empty() ? "the actions file" : config_.actionsFile;
    sayOnce(code, "Code " + std::to_string(code) +
                      " has no meaning in LinuxCNC: nothing done (give it a line in " + where +
                      ")");
  } else if (rule->press != nullptr) {
    (this->*rule->press)(code);
  }
  timeCallback("DoButton", start);
}

void Bridge::cycleStart(int) {
  Command command;
  if (programRunning() && (status_.taskPaused || status_.interp == Interp::Paused)) {
    command.kind = Command::Kind::Resume;
  } else {
    command.kind = Command::Kind::Run;
  }
  enqueue(command);
}

void Bridge::cycleResume(int code) {
  if (status_.taskPaused || status_.interp == Interp::Paused) {
    Command command;
    command.kind = Command::Kind::Resume;
    enqueue(command);
  } else {
    sayOnce(code, "Code 1001 (resume): the program is not paused");
  }
}

void Bridge::cycleStop(int) {
  if (Clock::now() - lastAbort_ > kAbortCoalesce) {
    Command command;
    command.kind = Command::Kind::Abort;
    enqueue(command, true);
    lastAbort_ = Clock::now();
  }
}

void Bridge::zeroAll(int) {
  std::string line = "G10 L20 P0";
  for (int axis = 0; axis < kZeroAllAxes; ++axis) {
    if (axisPresent(axis))
      line += std::string(" ") + kLetters[axis] + "0";
  }
  mdi(line);
}

void Bridge::zeroAxis(int code) {
  const int axis = code - button::kZeroBase;
  if (axisPresent(axis)) {
    mdi(std::string("G10 L20 P0 ") + kLetters[axis] + "0");
  } else {
    tell(std::string("Zero ") + kLetters[axis] + " refused: this machine has no axis " +
         kLetters[axis]);
  }
}

// An axis is homed through its joints: on a gantry two joints move one axis, and a joint's
// number need not be its axis'.
void Bridge::refAxis(int code) {
  const int axis = code - button::kRefBase;
  const std::string ref = std::string("Ref ") + kLetters[axis] + " refused: ";
  if (!config_.jointsKnown) {
    tell(ref + "the joints of each axis are not known for the kinematics \"" + config_.kinematics +
         "\" (home from LinuxCNC's screen)");
  } else if (config_.axisJoints[axis].empty() || !axisPresent(axis)) {
    tell(ref + "this machine has no axis " + kLetters[axis]);
  } else {
    for (const int joint : config_.axisJoints[axis]) {
      Command command;
      command.kind = Command::Kind::Home;
      command.axis = joint;
      enqueue(command);
    }
  }
}

void Bridge::reset(int) {
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

}  // namespace k4::lcnc
