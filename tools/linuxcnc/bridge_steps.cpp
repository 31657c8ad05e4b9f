// Step jogs on the bridge's thread: each line's increments go to LinuxCNC, and the travel
// still to come per axis is followed and bounded.

#include "bridge.h"

#include <algorithm>
#include <cmath>

namespace k4::lcnc {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStepSettle{150};  // a step jog LinuxCNC has not started by then ended

}  // namespace

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
      probes_.watch(axis, true, item.cycleStart, sent);
    const Echo echo = waitTaken(serial, kEchoLimit);
    if (echo == Echo::Error) {
      steps_[axis] = {};
      refuse(jog, "the step jog", lastErrorSince(sent, milliseconds(30)));
    }
  }
}

}  // namespace k4::lcnc
