// A pendant window without a device, driven one report cycle at a time, for timeline tests of
// the jog engine: each cycle counts the window's own report-cycle ticks down, takes the report's
// first word and hands the wheel movement to the jog engine.
#pragma once

#include <cstdint>

#include "fake_host.h"
#include "link/pendant_window.h"

namespace k4::test {

// reportWord0 with the intensity byte and the STOP and SIDE buttons.
inline uint32_t reportWord(int intensity, bool stop = false, bool side = false) {
  return (static_cast<uint32_t>(intensity) & 0xFFu) << 16 | (stop ? report_bit::kStop : 0u) |
         (side ? report_bit::kSide : 0u);
}

struct PendantTimeline {
  explicit PendantTimeline(int mode) { window.jogMode = mode; }

  // One report cycle. The window is not connected, so the report cycle itself only counts
  // jogHoldTicks down; the wheel decoder's call of the jog engine is made here directly.
  void cycle(uint32_t word0, int reverse = 0, int steps = 0) {
    window.runReportCycle();
    window.reportWord0 = word0;
    window.modifierHeld = (word0 & report_bit::kSide) != 0;
    window.runJogEngine(reverse, steps);
  }

  FakeHost host;  // first: it resets the module-wide state the window then works on
  NoDeviceServices devices;
  PendantWindow window{devices};
};

}  // namespace k4::test
