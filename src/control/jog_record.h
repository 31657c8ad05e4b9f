// The jog record writer and the pieces shared by the continuous-jog modes: the velocity jog
// (modes 2 and 10) and the delayed continuous jog (mode 3). The step path ends their jogs and
// shows the same " Jog OFF. " message.
#pragma once

#include <cstdint>

#include "host/host.h"
#include "host/plugin_state.h"

namespace k4::continuous_jog {

// A jog (or a single-step press) outlives the last report with a non-zero intensity by this many
// Update ticks, so that a short gap between reports does not stop the axis.
constexpr int32_t kPauseTicks = 3;

// After a reversal the wheel needs this many Update ticks of rest before a jog may start again;
// without it the axis would swing straight into the opposite direction.
constexpr int kReversalCounter = 7;  // the TickCounters entry timing the hold-off
constexpr int32_t kReversalHoldOffTicks = 3;

// Shown on the host's status line when the wheel or the jog key is used while the host does not
// allow jogging (its jog-allowed LED dark); the step path shows it too.
constexpr const char* kJogOffMessage = " Jog OFF. ";

// Writes a jog record for "DOJOG": every field first, then the stop byte, then the start byte.
// The host's motion side reads the record while we write it, so each store is made on its own
// and in this order (volatile stores: the compiler may neither merge nor reorder them; the host's
// processors keep stores in program order). Kept out of line so the order can be checked in the
// built module's code.
void writeJogRecord(AxisJogRecord* record, int32_t direction, int32_t jogSpeed,
                    uint32_t companionWord, int32_t fullSpeed);

inline bool reversalHoldOffRunning() {
  return TickCounters[kReversalCounter] < kReversalHoldOffTicks;
}
inline void startReversalHoldOff() {
  TickCounters[kReversalCounter] = 0;
}

// The host's full jog speed of the axis; 0 when there is no such axis or no planner block.
inline double fullJogSpeed(int32_t axisIndex) {
  if (host.planner == nullptr || axisIndex < 0 || axisIndex >= kAxisCount)
    return 0.0;
  return host.planner->fullJogSpeed[axisIndex];
}

// A jog is started or re-speeded only while the host has nothing queued and is neither running
// a program (LED 804) nor holding one (LED 805): the motion side would otherwise mix the jog
// into a queue it is still working through.
inline bool hostReadyForJog() {
  if (host.engine == nullptr || host.engine->queueWordA != host.engine->queueWordB)
    return false;
  return !host.getLed(led::kCycleRunning) && !host.getLed(led::kFeedHold);
}

}  // namespace k4::continuous_jog
