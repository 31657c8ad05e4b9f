// The jog wheel: a free-running 8-bit counter in the report. Its change since the last cycle,
// taken the shorter way round, is the movement handed to the jog engine; once a burst of step
// lines is over, the host DROs the step jog changed are put back.
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {
constexpr int kWheelCounts = 256;
constexpr int kHalfTurn = kWheelCounts / 2;
// Axis selection refuses changes for this many Update ticks after the wheel last moved.
constexpr int32_t kWheelBusyTicks = 5;
}  // namespace

void PendantWindow::decodeWheel() {
  const int now = static_cast<int>(wheelCounterByte());
  if (!wheelCountSeeded) {
    // Nothing is known of the counter before the first report; its reading is the reference,
    // not a movement (comparing it with 0 would jog up to 127 steps with nobody at the wheel).
    lastWheelCount = now;
    wheelCountSeeded = true;
  }
  const int diff = now - lastWheelCount;

  if (diff == 0 || diff == kHalfTurn || diff == -kHalfTurn) {
    // A jump of exactly half a turn has no shorter way round, so its direction is unknown
    // (128 counts in one cycle is also beyond any hand on the wheel: reports were lost).
    // Guessing could move the axis 128 steps the wrong way, and repeating the last cycle's
    // movement would invent counts nobody turned; it is taken as no movement.
    wheelSteps = 0;
  } else if (diff > 0 && diff < kHalfTurn) {
    wheelSteps = diff;
    wheelReverse = 0;
  } else if (diff < -kHalfTurn) {
    wheelSteps = kWheelCounts + diff;  // wrapped from 255 to 0 going forward
    wheelReverse = 0;
  } else if (diff < 0) {
    wheelSteps = -diff;
    wheelReverse = 1;
  } else {
    wheelSteps = kWheelCounts - diff;  // wrapped from 0 to 255 going backward
    wheelReverse = 1;
  }

  if (wheelSteps != 0)
    wheelBusyCountdown = kWheelBusyTicks;
  lastWheelCount = now;

  // Every cycle, also without movement: the engine flushes held counts and ends continuous
  // jogs on a still wheel.
  runJogEngine(wheelReverse, wheelSteps);

  if (droRestorePending && droHoldCountdown == 0)
    restoreSavedDros();
}

void PendantWindow::restoreSavedDros() {
  if (!droRestorePending)
    return;
  droRestorePending = false;
  host.setDro(dro::kJogFeed, savedDro818);
  // With a configured step-jog rate the step jog set DRO 821 itself; otherwise it never
  // touched it.
  if (pendantSettings.StepJogRate != 0)
    host.setDro(dro::kFeedOverride, savedDro821);
}

}  // namespace k4
