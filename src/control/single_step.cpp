// Single step (mode 11): each press of the pendant's jog key, seen as a rising edge of the
// intensity byte, moves the selected axis by one step increment in the wheel's last direction.
#include "control/step_jog.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::runSingleStep() {
  jogIntensity = intensityByte();
  singleStepPressed = jogIntensity > 0;
  if (!jogKeyAllowed())
    return;
  if (jogPauseCountdown == 0) {
    clearRateHistory();
    return;
  }
  if (host.getLed(led::kCycleRunning) || host.getLed(led::kFeedHold))
    return;

  const bool risingEdge = singleStepPressed && !singleStepPrevious;
  const int signedCount = wheelReverse != 0 ? -1 : 1;
  if (rotationAngle() == 0.0 || axisIndex >= 2) {
    prepareStepBurst(*this);
    // A step that finds the host's queue full is dropped: one press, at most one step.
    if (risingEdge && hostQueueHasRoom()) {
      const double distance = wheelReverse != 0 ? stepIncrement() * -1.0 : stepIncrement();
      sendMove(heldStepLine(axisLetter(axisIndex), distance), restoreAbsolute);
    }
  } else if (risingEdge) {
    makeRotatedStep(signedCount);
  }
  singleStepPrevious = singleStepPressed;
}

}  // namespace k4
