// Pieces shared by the step paths of the jog engine (step jog, its backlog, single step):
// reading the host's step increment and rotation, and sending one incremental move line.
#pragma once

#include <cstdint>
#include <string_view>

#include "control/gcode_lines.h"

namespace k4 {

class PendantWindow;

// The G-code letter of an axis index 0..5; empty for anything else.
std::string_view axisLetter(int32_t axisIndex);

// The host's distance per wheel count, in its current units (0 without a planner block).
double stepIncrement();

// The host's rotation of the XY plane in degrees (0 without a setup block).
double rotationAngle();

// The host takes another line only while its queue depth reads below its limit.
bool hostQueueHasRoom();

// Sends one incremental line, then "G90" when the host's programs run in absolute mode: the
// incremental mode must not leak into them.
void sendMove(const GcodeLine& line, bool restoreAbsolute);

// A backlog or single-step line: the configured step-jog rate, or no feed word at all.
GcodeLine heldStepLine(std::string_view axisLetter, double distance);

// Before step lines: keep the host's DRO 818 and 821 (once per burst) so that wheel decoding
// can put them back, hold them for a few Update ticks, and set the step-jog override.
void prepareStepBurst(PendantWindow& window);

}  // namespace k4
