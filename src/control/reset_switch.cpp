// The pendant's reset switch. The host toggles its reset state on code 1021 and shows the state
// on LED 800; a code can be lost while the host is busy, so while the switch is on the code is
// repeated every cycle until the LED agrees. Switching off sends the code once.
#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::decodeResetSwitch() {
  const bool switchOn = (reportWord0 & report_bit::kResetSwitch) != 0;
  if (switchOn) {
    if (stopLatch == 0) {
      host.doButton(button::kReset);
      stopLatch = 1;
    } else if (!host.getLed(led::kReset)) {
      host.doButton(button::kReset);
    }
  } else if (stopLatch != 0) {
    stopLatch = 0;
    host.doButton(button::kReset);
  }
}

}  // namespace k4
