// The mode knob and SIDE select the jog mode; at knob position 1 with SIDE up a double click of
// STOP steps through the configured step sizes and hands the new size to the host.
#include <cstddef>

#include "control/knob_modes.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {

constexpr int kStepClickCounter = 2;  // TickCounters entry
// A click is a press shorter than this many Update ticks, and the second click of a double
// click must start sooner than this after the first release.
constexpr int32_t kClickTicks = 5;

// Step sizes by StepSizeChoices position; position 0 ("NONE") leaves the slot out of the cycle.
constexpr double kStepSizeByPosition[] = {0.0, 0.0001, 0.001, 0.01, 0.1};
constexpr int kStepSizePositions =
    static_cast<int>(sizeof kStepSizeByPosition / sizeof kStepSizeByPosition[0]);

// The knob table is shared with hosts that name the mode (knob_modes.h).
int modeForKnob(int knob, bool sideHeld) {
  return jogModeForKnob(knob, sideHeld, pendantSettings.AutoMode, pendantSettings.SingleMode);
}

int stepSizeSetting(int slot) {
  switch (slot) {
    case 1:
      return pendantSettings.StepSize1;
    case 2:
      return pendantSettings.StepSize2;
    case 3:
      return pendantSettings.StepSize3;
    default:
      return 0;
  }
}

// Next slot from slot 1, 2, 3: the first configured of two candidates, in this order.
struct SlotAdvance {
  int first;
  int second;
};
constexpr SlotAdvance kSlotAdvance[] = {{0, 0}, {2, 3}, {3, 1}, {1, 2}};

// The sizes are taken from the settings only here, so a change in the configuration dialog
// takes effect at the next double click.
void recomputeStepSizes(double (&stepSizes)[3]) {
  for (int slot = 1; slot <= 3; ++slot) {
    const int position = stepSizeSetting(slot);
    if (position >= 0 && position < kStepSizePositions) {
      stepSizes[slot - 1] = kStepSizeByPosition[position];
    }
  }
}

// A slot counts as configured when its setting is not "NONE"; the current slot itself is not
// consulted, so a slot whose size was switched to "NONE" is still left for the next one.
void advanceStepSlot(int32_t& stepSlot, const double (&stepSizes)[3]) {
  if (stepSlot < 1 || stepSlot > 3) {
    stepSlot = 1;
    return;
  }
  const SlotAdvance& choices = kSlotAdvance[stepSlot];
  int next = 0;
  if (stepSizeSetting(choices.first) != 0) {
    next = choices.first;
  } else if (stepSizeSetting(choices.second) != 0) {
    next = choices.second;
  }
  if (next == 0)
    return;
  stepSlot = next;
  host.setDro(dro::kStepSize, stepSizes[stepSlot - 1]);
}

}  // namespace

void PendantWindow::decodeMode() {
  knobPosition = static_cast<int32_t>(reportWord1 & kKnobMask);
  modifierHeld = (reportWord0 & report_bit::kSide) != 0;

  if (knobPosition == 1 && !modifierHeld) {
    int32_t& counter = TickCounters[kStepClickCounter];
    const bool stopDown = stopSideValue(reportWord0) == 1;  // STOP with SIDE is a combination
    if (stopDown && stopClickLatch == 0) {
      slowClick = counter >= kClickTicks ? 1 : 0;
      counter = 0;
      stopClickLatch = 1;
    } else if (!stopDown && stopClickLatch != 0) {
      if (counter < kClickTicks && slowClick == 0) {
        // Second quick click: the double click is complete.
        counter = 0;
        recomputeStepSizes(stepSizes);
        advanceStepSlot(stepSlot, stepSizes);
      }
      if (counter < kClickTicks && slowClick != 0) {
        // First quick click: start the wait for the second press.
        counter = 0;
      }
      stopClickLatch = 0;
    }
  }

  const int mode = modeForKnob(knobPosition, modifierHeld);
  if (mode != kKnobModeUnchanged)
    jogMode = mode;
  if (jogMode != previousJogMode) {
    // No mode ends a jog it did not start: a jog of the mode being left is ended here, and its
    // start action settled, before the host hears of the new mode. The new mode starts a jog
    // only from a new wheel count.
    endJogAndForgetWheel();
    releaseJogStartAction();
    host.doButton(button::kAxisBase + axisIndex);
  }
  previousJogMode = jogMode;
}

}  // namespace k4
