// Which jog mode a mode-knob reading selects. The one table, kept in a header of constants so
// that a host drawing a session (the simulator's plot) names the same mode the plug-in takes
// without linking any of the plug-in's code.
#pragma once

namespace k4 {

// The mode a knob reading leaves in place (between positions, or an unknown reading).
constexpr int kKnobModeUnchanged = 0;

namespace knob_modes_detail {
struct KnobRow {
  int sideUp;
  int sideHeld;
};
// Index: knob position 0..9. Position 1 depends on the settings and is handled apart.
constexpr KnobRow kRows[] = {
    {kKnobModeUnchanged, kKnobModeUnchanged},  // 0: between positions
    {kKnobModeUnchanged, kKnobModeUnchanged},  // 1: settings decide
    {2, 2},                                    // velocity jog
    {3, 4},                                    // delayed continuous jog; with SIDE the DRO 3 trim
    {4, 4},                                    // DRO 3 trim
    {5, 5},                                    // DRO 821 trim
    {6, 6},                                    // DRO 74 trim
    {7, 7},                                    // zero and reference keys
    {8, 8},                                    // custom actions BUTTON0, BUTTON1
    {9, 9},                                    // custom actions BUTTON2, BUTTON3
};
constexpr int kPositions = static_cast<int>(sizeof kRows / sizeof kRows[0]);
}  // namespace knob_modes_detail

// The jog mode for knob position `knob` with SIDE held or not; at position 1 the AutoMode and
// SingleMode settings decide. kKnobModeUnchanged: the mode stays as it was.
constexpr int jogModeForKnob(int knob, bool sideHeld, bool autoMode, bool singleMode) {
  if (knob == 1) {
    if (!sideHeld)
      return autoMode ? 10 : 1;
    return singleMode ? 2 : 11;
  }
  if (knob < 0 || knob >= knob_modes_detail::kPositions)
    return kKnobModeUnchanged;
  return sideHeld ? knob_modes_detail::kRows[knob].sideHeld : knob_modes_detail::kRows[knob].sideUp;
}

}  // namespace k4
