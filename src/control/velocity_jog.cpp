// Velocity jog (mode 2, and mode 10 once the wheel turns fast): the axis jogs continuously at a
// speed that follows a weighted average of the recent jog intensities.
#include <algorithm>
#include <iterator>

#include "control/jog_record.h"
#include "link/pendant_window.h"
#include "settings/option_lists.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {

using namespace continuous_jog;

// Weights of the intensity history, oldest sample first, in hundredths: 0.18 … 1.82, adding up
// to 10.0. Summing whole hundredths keeps the sum exact for byte-sized samples, so a steady
// intensity of 40 gives exactly 400 and the full-speed cap is reached where it should be.
constexpr int kRateWeightHundredths[kRateHistoryLength] = {18,  36,  55,  73,  91,
                                                           109, 127, 145, 164, 182};
// A weighted sum of 400 (a steady intensity of 40) asks for 3 / V of full speed.
constexpr double kFullScaleSum = 400.0;
constexpr double kSpeedGain = 3.0;

// Report cycles during which the step path keeps ending a velocity jog after the last cycle of
// velocity jogging: the host may still be winding the jog down.
constexpr int32_t kStepPathEndJogCycles = 5;

// The leading number of the list entry at `position`, clamped into the list so that a position
// from outside can never index past it.
int clampedNumber(const OptionList& list, int position) {
  const int last = static_cast<int>(list.size) - 1;
  return list.number(std::clamp(position, 0, last));
}

double weightedRateSum(const double (&history)[kRateHistoryLength]) {
  double hundredths = 0.0;
  for (int i = 0; i < kRateHistoryLength; ++i)
    hundredths += history[i] * kRateWeightHundredths[i];
  return hundredths / 100.0;
}

}  // namespace

void PendantWindow::runAutoMode() {
  jogIntensity = intensityByte();
  const int threshold = clampedNumber(SensitivityThresholds, pendantSettings.AutoChangeSens);
  // Once fast turning has switched to velocity jogging it stays there until the intensity
  // drops, however slowly the wheel turns in between.
  if (wheelSteps < threshold && !autoContinuous) {
    runStepJog();
  } else {
    runVelocityJog(true);
  }
}

void PendantWindow::runVelocityJog(bool autoMode) {
  // The step path must end this jog before it steps again, whatever happens below.
  continuousJogActive = true;
  jogHoldTicks = kStepPathEndJogCycles;
  const int velocityDivisor = clampedNumber(
      VelocityDivisors, autoMode ? pendantSettings.VelocityInAuto : pendantSettings.Vel);
  const int slowDownDivisor = clampedNumber(SlowDownDivisors, pendantSettings.SlowDownRate);
  if (autoMode)
    autoContinuous = jogIntensity != 0;

  jogIntensity = intensityByte();

  if (wheelReverse != lastJogReverse && jogPauseCountdown != 0) {
    endJog();
    clearRateHistory();
    startReversalHoldOff();
    lastJogReverse = wheelReverse;
    return;
  }
  if (reversalHoldOffRunning())
    return;

  if (!jogKeyAllowed())
    return;
  if (jogPauseCountdown == 0) {
    if (!autoMode)
      releaseJogStartAction();
    clearRateHistory();
    return;
  }
  if (!recentMovement()) {
    endJog();
    return;
  }
  if (!hostReadyForJog())
    return;

  std::copy(std::begin(rateHistory) + 1, std::end(rateHistory), std::begin(rateHistory));
  rateHistory[kRateHistoryLength - 1] = jogIntensity;
  historySum = weightedRateSum(rateHistory);

  speedRatio = historySum / kFullScaleSum * kSpeedGain / velocityDivisor;
  if (!autoMode && modifierHeld)
    speedRatio /= slowDownDivisor;
  if (speedRatio > 1.0)
    speedRatio = 1.0;

  const double speed = fullJogSpeed(axisIndex) * speedRatio;
  if (jogIntensity == 0) {
    endJog();
    if (autoMode)
      releaseJogStartAction();
  } else {
    startOrUpdateJog(speed);
  }
  lastJogReverse = wheelReverse;
}

}  // namespace k4
