// The 25 ms report cycle: read at most one input report, decode it, write the output report.
#include <cstring>

#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

namespace {

uint32_t littleEndianWord(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

// The host is idle when nothing is planned or queued; only then does the absolute-mode word
// decide whether "G90" follows each relative jog line.
bool hostIdle() {
  if (host.planner == nullptr || host.engine == nullptr)
    return false;
  return host.planner->busyWord == 0 && host.planner->queueWordA == host.planner->queueWordB &&
         host.engine->queueWordA == host.engine->queueWordB;
}

}  // namespace

void PendantWindow::runReportCycle() {
  if (jogHoldTicks != 0)
    --jogHoldTicks;
  if (!deviceConnected)
    return;

  if (hostIdle() && host.setup != nullptr)
    restoreAbsolute = host.setup->absoluteWord == 0;

  previousInputWord0 = inputWord0;
  previousInputWord1 = inputWord1;
  uint8_t report[kInputReportSize];
  if (readHandle != kInvalidHandle && devices_.readReport(readHandle, report, kReadWaitMs)) {
    inputWord0 = littleEndianWord(report);
    inputWord1 = littleEndianWord(report + 4);
    if (awaitingFirstReport) {
      // A pendant that was just found or plugged in again may have a counter anywhere; taking
      // its first reading as movement would jog the axis with nobody at the wheel.
      awaitingFirstReport = false;
      wheelCountSeeded = false;
    }
    silentUntilReport = false;
  } else {
    // No report in time: the decoders see the previous report again, so no edge and no wheel
    // movement is invented.
    inputWord0 = previousInputWord0;
    inputWord1 = previousInputWord1;
  }

  if (!silentUntilReport)
    decodeReport();
  buildOutputReport();
  // The write never waits for the pendant. A report the pendant has not yet taken makes this
  // one wait its turn (Busy); one it refused, or left pending past the limit, means it is gone.
  if (writeHandle != kInvalidHandle &&
      devices_.writeReport(writeHandle, outputReport) == WriteResult::Failed) {
    dropLink();
  }
}

void PendantWindow::decodeReport() {
  reportWord0 = inputWord0;
  reportWord1 = inputWord1;
  decodeResetSwitch();
  decodeCombinations();
  decodeMode();
  decodeAxisSelection();
  decodeWheel();
}

void PendantWindow::buildOutputReport() {
  std::memset(outputReport, 0, sizeof outputReport);
  uint8_t lamps = 0;
  if (host.getLed(led::kReset))
    lamps |= 0x01;
  if (host.getLed(led::kCycleRunning))
    lamps |= 0x04;
  if (host.getLed(led::kFeedHold))
    lamps |= 0x08;
  // Bits 4..6 carry the axis; masking keeps a stray index from spilling into bit 7.
  outputReport[1] = static_cast<uint8_t>(lamps + (axisIndex & 0x7) * 16);
}

}  // namespace k4
