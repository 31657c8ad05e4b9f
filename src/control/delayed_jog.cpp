// Delayed continuous jog (mode 3): once the wheel has been turned far enough with the intensity
// held, the axis jogs at the host's speed percentage (DRO 3) of its full speed.
#include <cstdint>
#include <limits>

#include "control/jog_record.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {

using namespace continuous_jog;

// A long jog keeps counting; far past any sensible delay the count is brought back to a value
// that is still past every delay the dialog offers, so it can never overflow.
constexpr int32_t kDelayCountCeiling = 30000;
constexpr int32_t kDelayCountRestart = 400;

constexpr double kPercent = 100.0;

}  // namespace

void PendantWindow::runDelayedContinuousJog() {
  jogIntensity = intensityByte();

  if (wheelReverse != lastJogReverse && jogPauseCountdown != 0) {
    endJog();
    startReversalHoldOff();
    delayCount = 0;
    lastJogReverse = wheelReverse;
    return;
  }
  if (reversalHoldOffRunning())
    return;

  if (jogIntensity != 0) {
    // A delay set far above the ceiling keeps the count below it; saturate rather than wrap.
    const int32_t room = std::numeric_limits<int32_t>::max() - delayCount;
    delayCount = wheelSteps > room ? std::numeric_limits<int32_t>::max() : delayCount + wheelSteps;
  }
  if (!jogKeyAllowed())
    return;
  if (jogPauseCountdown == 0) {
    delayCount = 0;
    releaseJogStartAction();
    return;
  }
  if (delayCount < pendantSettings.DelaySteps)
    return;
  if (delayCount > kDelayCountCeiling)
    delayCount = kDelayCountRestart;

  if (!recentMovement()) {
    endJog();
    return;
  }
  if (!hostReadyForJog())
    return;

  // DRO 3 comes from the host unchecked; the record's speed is truncated into range (a value
  // that is not a number gives 0) where it is written.
  const double speed = fullJogSpeed(axisIndex) * host.getDro(dro::kSpeedPercent) / kPercent;
  if (jogIntensity == 0) {
    endJog();
  } else {
    startOrUpdateJog(speed);
  }
  lastJogReverse = wheelReverse;
}

}  // namespace k4
