// The wheel decoder's state (the decoder is a PendantWindow operation, wheel.cpp).
#pragma once

#include <cstdint>

namespace k4 {

struct WheelState {
  int32_t wheelSteps = 0;
  int32_t wheelReverse = 0;
  // False until a report has given lastWheelCount a reading to compare with; the link may clear
  // it again when a pendant arrives, whose counter need not continue where the last one stopped.
  bool wheelCountSeeded = false;
  // No report has been read since the window was made or the pendant arrived: the wheel counter
  // of the first one read is a reference, not a movement.
  bool awaitingFirstReport = true;
  // The pendant was removed and no report has been read since: whatever the last report asked
  // for (a held reset switch, a running jog) is over, so nothing is decoded until the pendant
  // speaks again, even when another device's arrival has reopened the link.
  bool silentUntilReport = false;
};

}  // namespace k4
