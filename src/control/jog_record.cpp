// The continuous-jog record of the selected axis and the bookkeeping around a jog's start,
// shared by the step path (which ends a velocity jog) and the continuous-jog modes.
#include <algorithm>
#include <cstdint>

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

AxisJogRecord* selectedRecord(int32_t axisIndex) {
  if (host.engine == nullptr || axisIndex < 0 || axisIndex >= kAxisCount)
    return nullptr;
  return &host.engine->axisJog[axisIndex];
}
}  // namespace

void PendantWindow::endJog() {
  if (AxisJogRecord* record = selectedRecord(axisIndex))
    record->stopByte = 1;
  host.code("ENDJOG");
}

void PendantWindow::startOrUpdateJog(double speed) {
  if (!jogStartChecked) {
    if (host.getLed(led::kJogStartBracket)) {
      host.doButton(button::kJogStartAction);
      restore205Owed = true;
    } else {
      restore205Owed = false;
    }
    jogStartChecked = true;
  }
  // The host's motion side reads the record when "DOJOG" arrives: every field first, then the
  // stop byte, then the start byte.
  if (AxisJogRecord* record = selectedRecord(axisIndex)) {
    record->direction = wheelReverse;
    record->jogSpeed = truncateSpeed(speed);
    record->companionWord = host.planner != nullptr ? host.planner->companionWord[axisIndex] : 0;
    record->fullSpeed = host.planner != nullptr ? host.planner->fullJogSpeed[axisIndex] : 0;
    record->stopByte = 0;
    record->startByte = 1;
  }
  host.code("DOJOG");
}

void PendantWindow::releaseJogStartAction() {
  jogStartChecked = false;
  if (restore205Owed) {
    host.doButton(button::kJogEndAction);
    restore205Owed = false;
  }
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
