// Zero and reference (mode 7): a double click of STOP zeroes the selected axis, a double click
// of STOP with SIDE held references it.
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"

namespace k4 {

namespace {

// Both detectors share one click timer.
constexpr int kClickCounter = 3;
// A release within this many Update ticks of the previous edge counts as a quick click; a slow
// first click therefore only arms the detector, so one stray press never zeroes an axis.
constexpr int32_t kQuickClickTicks = 5;
// Only the linear axes X, Y, Z and the first rotary axis A have host zero and reference codes.
constexpr int32_t kAxesWithCodes = 4;

struct ClickDetector {
  uint32_t keyValue;  // STOP alone (1) or STOP with SIDE (3)
  int32_t PendantWindow::*latch;
  int baseCode;
};

constexpr ClickDetector kDetectors[] = {
    {1, &PendantWindow::zeroPressLatch, button::kZeroBase},
    {3, &PendantWindow::refPressLatch, button::kRefBase},
};

}  // namespace

void PendantWindow::runZeroAndReference() {
  const uint32_t keys = stopSideValue(reportWord0);
  int32_t& ticks = TickCounters[kClickCounter];
  for (const ClickDetector& detector : kDetectors) {
    int32_t& latch = this->*detector.latch;
    if (keys == detector.keyValue && latch == 0) {
      slowClick = ticks >= kQuickClickTicks ? 1 : 0;
      ticks = 0;
      latch = 1;
    } else if (keys != detector.keyValue && latch != 0) {
      if (ticks < kQuickClickTicks) {
        const bool fires = slowClick == 0;
        ticks = 0;
        if (fires && axisIndex >= 0 && axisIndex < kAxesWithCodes) {
          host.doButton(detector.baseCode + axisIndex);
        }
      }
      latch = 0;
    }
  }
}

}  // namespace k4
