// The continuous-jog record of the selected axis and the bookkeeping around a jog's start,
// shared by the step path (which ends a velocity jog) and the continuous-jog modes, and the
// opening guard of the procedures driven by the jog intensity.
#include <algorithm>
#include <cstdint>

#include "control/jog_record.h"
#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

namespace {
// Truncation towards zero that stays defined for any double the host hands back.
int32_t truncateSpeed(double speed) {
  if (!(speed == speed))
    return 0;  // NaN
  if (speed >= 2147483647.0)
    return INT32_MAX;
  if (speed <= -2147483648.0)
    return INT32_MIN;
  return static_cast<int32_t>(speed);
}

AxisJogRecord* recordOf(int32_t axis) {
  if (host.engine == nullptr || axis < 0 || axis >= kAxisCount)
    return nullptr;
  return &host.engine->axisJog[axis];
}

template <typename T>
void storeOnce(T& field, T value) {
  static_cast<volatile T&>(field) = value;
}
}  // namespace

[[gnu::noinline]] void continuous_jog::writeJogRecord(AxisJogRecord* record, int32_t direction,
                                                      int32_t jogSpeed, uint32_t companionWord,
                                                      int32_t fullSpeed) {
  storeOnce(record->direction, direction);
  storeOnce(record->jogSpeed, jogSpeed);
  storeOnce(record->companionWord, companionWord);
  storeOnce(record->fullSpeed, fullSpeed);
  storeOnce(record->stopByte, uint8_t{0});
  storeOnce(record->startByte, uint8_t{1});
}

void PendantWindow::endJog() {
  // Before any jog was started there is no other axis it could run on.
  if (AxisJogRecord* record = recordOf(jogAxis >= 0 ? jogAxis : axisIndex))
    storeOnce(record->stopByte, uint8_t{1});
  // An ended jog starts again only from a new wheel count: the counts of the last cycles
  // belonged to the jog just ended. Where the wheel keeps turning, the next count refills them.
  recentSteps[0] = 0.0;
  recentSteps[1] = 0.0;
  // Cleared before the call: should the host stop the plug-in inside it, the stop work must
  // not take this jog for one still running.
  jogMayBeRunning = false;
  host.code("ENDJOG");
}

void PendantWindow::endRunningJog() {
  if (jogMayBeRunning)
    endJog();
}

void PendantWindow::endJogAndForgetWheel() {
  endRunningJog();
  // What could start the next jog with the wheel standing still: the counts of the last cycles,
  // the delayed jog's count and the automatic mode's velocity branch.
  recentSteps[0] = 0.0;
  recentSteps[1] = 0.0;
  delayCount = 0;
  autoContinuous = false;
}

void PendantWindow::abandonJog() {
  endJogAndForgetWheel();
  releaseJogStartAction();
}

void PendantWindow::startOrUpdateJog(double speed) {
  // A jog that is not running on this axis starts only in a cycle in which the wheel moved: the
  // counts of the last cycles may have found the host busy, and a start one cycle later would
  // set the axis moving with the wheel at rest. A running jog is kept up by those counts.
  if (wheelSteps == 0 && !(jogMayBeRunning && jogAxis == axisIndex))
    return;
  if (!jogStartChecked) {
    if (host.getLed(led::kJogStartBracket)) {
      // Owed from the moment the host hears 204: a stop inside that very call still pays it.
      restore205Owed = true;
      host.doButton(button::kJogStartAction);
    } else {
      restore205Owed = false;
    }
    jogStartChecked = true;
  }
  // Only one axis jogs at a time: a jog left running on another axis (whose selection changed
  // behind the decoders' back) is ended before this one starts.
  if (jogMayBeRunning && jogAxis != axisIndex)
    endJog();
  if (AxisJogRecord* record = recordOf(axisIndex)) {
    continuous_jog::writeJogRecord(
        record, wheelReverse, truncateSpeed(speed),
        host.planner != nullptr ? host.planner->companionWord[axisIndex] : 0,
        host.planner != nullptr ? host.planner->fullJogSpeed[axisIndex] : 0);
  }
  jogAxis = axisIndex;
  jogMayBeRunning = true;
  host.code("DOJOG");
}

void PendantWindow::releaseJogStartAction() {
  jogStartChecked = false;
  if (restore205Owed) {
    restore205Owed = false;
    host.doButton(button::kJogEndAction);
  }
}

// While the intensity is held, the jog's pause countdown is rearmed; a host that does not allow
// jogging (its jog-allowed LED dark) gets the " Jog OFF. " message and the procedure stops for this
// cycle.
bool PendantWindow::jogKeyAllowed() {
  if (jogIntensity == 0)
    return true;
  jogPauseCountdown = continuous_jog::kPauseTicks;
  if (host.getLed(led::kJogAllowed))
    return true;
  showStatusMessage(continuous_jog::kJogOffMessage);
  return false;
}

bool PendantWindow::recentMovement() {
  historySum = 0.0;
  recentIndex = (recentIndex + 1) % 2;
  recentSteps[recentIndex] = wheelSteps;
  historySum = recentSteps[0] + recentSteps[1];
  return historySum != 0.0;
}

void PendantWindow::clearRateHistory() {
  std::fill(std::begin(rateHistory), std::end(rateHistory), 0.0);
}

}  // namespace k4
