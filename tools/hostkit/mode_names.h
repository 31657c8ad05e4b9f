// The names of the plug-in's jog modes as the host's displays show them: the live dashboard and
// the session plot name a mode alike.
#pragma once

namespace k4::hostsim {

// Index: jog mode 0..11 (0: no mode known yet).
inline constexpr const char* kJogModeNames[] = {
    "no mode yet",  "Step jog",       "Velocity jog",  "Continuous jog",
    "Adjust DRO 3", "Adjust DRO 821", "Adjust DRO 74", "Zero and reference",
    "Actions F1",   "Actions F2",     "Automatic",     "Single step",
};
inline constexpr int kJogModeCount =
    static_cast<int>(sizeof kJogModeNames / sizeof kJogModeNames[0]);

constexpr const char* jogModeName(int mode) {
  return mode >= 0 && mode < kJogModeCount ? kJogModeNames[mode] : "unknown mode";
}

}  // namespace k4::hostsim
