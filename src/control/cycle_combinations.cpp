// The two SIDE combinations: cycle button with SIDE starts (or resumes) the program, STOP with
// SIDE stops it. The same report comes back whenever no new one arrived, so each combination is
// latched and acts once per press.
#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

namespace {
constexpr uint32_t kStartCombination = report_bit::kCycleButton | report_bit::kSide;
constexpr uint32_t kStopCombination = report_bit::kStop | report_bit::kSide;

bool held(uint32_t word, uint32_t combination) {
  return (word & combination) == combination;
}
}  // namespace

void PendantWindow::decodeCombinations() {
  if (!held(reportWord0, kStartCombination)) {
    startComboLatch = 0;
  } else if (startComboLatch == 0) {
    // LED 804 lit: a program is paused, so the start resumes it.
    host.doButton(host.getLed(led::kCycleRunning) ? button::kCycleResume : button::kCycleStart);
    startComboLatch = 1;
    cycleStartedHere = 1;
  }

  if (!held(reportWord0, kStopCombination)) {
    stopComboLatch = 0;
  } else if (stopComboLatch == 0) {
    host.doButton(button::kCycleStop);
    // A run started from the pendant is stopped by 1003 alone; any other run also needs 1002.
    if (cycleStartedHere != 0) {
      cycleStartedHere = 0;
    } else {
      host.doButton(button::kCycleStopFollow);
    }
    stopComboLatch = 1;
  }
}

}  // namespace k4
