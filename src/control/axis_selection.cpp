// Axis selection: SIDE clicks step the selected axis through X, Y, Z and the rotary axes the
// settings include; a single STOP click toggles the host's TAB screen.
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "settings/option_lists.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {

// TickCounters entries.
constexpr int kQuietCounter = 0;
constexpr int kSideClickCounter = 1;
constexpr int kStopClickCounter = 4;
constexpr int kStopSingleClickDelay = 5;
constexpr int kSideSingleClickDelay = 6;

constexpr int32_t kClickTicks = 5;        // a click is shorter than this
constexpr int32_t kClickPauseTicks = 3;   // a first click needs a pause longer than this before it
constexpr int32_t kSingleClickFires = 4;  // ticks after the release: no second press came
constexpr int32_t kDelayDone = 101;       // parks a delay counter far above every threshold
// SIDE is heard again only this many ticks after the last of the buttons of bits 24..27, so
// that releasing a combination is not read as a SIDE click.
constexpr int32_t kQuietTicks = 6;

constexpr int kClickStyleSingle = 1;  // AxisClickChoices: every click steps forward
constexpr int kClickStyleDouble = 2;  // single click forward, double click back
constexpr int kIncluded = 2;          // AxisInclusionChoices: "2,Include ..."

// Modes 7 to 9 give STOP clicks their own meaning (zeroing, custom actions).
bool inTabSuppressingMode(int32_t mode) {
  return mode >= 7 && mode <= 9;
}

// The axes in selection order; X, Y and Z always take part, A, B and C as configured.
struct AxisCycle {
  bool included[kAxisCount];

  // The next included axis, walking the cycle by `direction` (+1 or -1); the current axis
  // itself is never tested, so an axis whose inclusion was switched off is still left.
  int32_t next(int32_t current, int direction) const {
    if (current < 0 || current >= kAxisCount)
      return 0;
    int32_t axis = current;
    for (int i = 0; i < kAxisCount; ++i) {
      axis = (axis + direction + kAxisCount) % kAxisCount;
      if (included[axis])
        return axis;
    }
    return current;
  }
};

AxisCycle configuredAxes() {
  return AxisCycle{{true, true, true,
                    AxisInclusionChoicesA.number(pendantSettings.AxisASelection) == kIncluded,
                    AxisInclusionChoicesB.number(pendantSettings.AxisBSelection) == kIncluded,
                    AxisInclusionChoicesC.number(pendantSettings.AxisCSelection) == kIncluded}};
}

}  // namespace

void PendantWindow::decodeAxisSelection() {
  // STOP single click, whatever the knob and the quiet gate. It fires only once no second press
  // has followed for a while, so that the double click of the step-size cycle does not also
  // toggle the TAB screen.
  {
    int32_t& clickCounter = TickCounters[kStopClickCounter];
    int32_t& delay = TickCounters[kStopSingleClickDelay];
    const bool stopDown = stopSideValue(reportWord0) == 1;
    if (stopDown && !tabClickLatch) {
      tabClickSlow = clickCounter > kClickPauseTicks;
      clickCounter = 0;
      tabClickLatch = true;
    } else if (!stopDown && tabClickLatch) {
      if (clickCounter < kClickTicks && !tabClickSlow) {
        clickCounter = 0;
      } else if (clickCounter < kClickTicks && tabClickSlow) {
        clickCounter = 0;
        delay = 0;
      }
      tabClickLatch = false;
    }
    if (delay == kSingleClickFires && tabClickSlow) {
      if (!inTabSuppressingMode(jogMode))
        host.doButton(button::kToggleTabScreen);
      delay = kDelayDone;
    }
  }

  int32_t& quietCounter = TickCounters[kQuietCounter];
  if ((reportWord0 & report_bit::kQuietGate) != 0) {
    quietCounter = 0;
    return;
  }
  if (quietCounter < kQuietTicks)
    return;

  const bool sideDown = (reportWord0 & report_bit::kSide) != 0;
  int32_t& sideCounter = TickCounters[kSideClickCounter];
  const int clickStyle = AxisClickChoices.number(pendantSettings.AxisXYZSelection);
  if (clickStyle == kClickStyleDouble) {
    int32_t& delay = TickCounters[kSideSingleClickDelay];
    if (sideDown && modifierClickLatch == 0) {
      slowClick = sideCounter > kClickPauseTicks ? 1 : 0;
      sideCounter = 0;
      modifierClickLatch = 1;
    } else if (!sideDown && modifierClickLatch != 0) {
      if (sideCounter < kClickTicks && slowClick == 0) {
        axisStepBack = 1;
        sideCounter = 0;
      } else if (sideCounter < kClickTicks && slowClick != 0) {
        delay = 0;
        sideCounter = 0;
      }
      modifierClickLatch = 0;
    }
    if (delay == kSingleClickFires && slowClick != 0) {
      axisStepForward = 1;
      delay = kDelayDone;
    }
  } else if (clickStyle == kClickStyleSingle) {
    // A hold is left alone: it selects the SIDE modes of the mode knob instead.
    if (sideDown && modifierClickLatch == 0) {
      sideCounter = 0;
      modifierClickLatch = 1;
    } else if (!sideDown && modifierClickLatch != 0) {
      if (sideCounter < kClickTicks)
        axisStepForward = 1;
      modifierClickLatch = 0;
    }
  }

  // While the wheel turns a click is dropped, not deferred: moving counts must not land on an
  // axis the operator did not see selected when turning.
  if (wheelBusyCountdown == 0 && (axisStepForward != 0 || axisStepBack != 0)) {
    const int direction = axisStepForward != 0 ? +1 : -1;
    // The wheel may rest while a jog still runs (many Update calls between two reports): end it
    // on its own axis before another one is selected. Picking an axis never sets it moving: the
    // new axis jogs only from a new wheel count.
    endJogAndForgetWheel();
    host.doButton(button::kAxisBase + axisIndex);
    axisIndex = configuredAxes().next(axisIndex, direction);
  }
  axisStepForward = 0;
  axisStepBack = 0;
  if (axisIndex != previousAxisIndex)
    jogBacklog = 0;  // held counts belong to the old axis
  previousAxisIndex = axisIndex;
}

}  // namespace k4
