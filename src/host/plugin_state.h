// Module-wide state of the plug-in: the counters advanced by the host's Update calls, the
// profile path and display name, and the one pendant window. Plain globals: everything runs on
// the host's user-interface thread.
#pragma once

#include <cstdint>
#include <string>

namespace k4 {

class PendantWindow;
class ProfileStore;

constexpr int kTickCounterCount = 8;
constexpr int32_t kTickCounterStart = 100;
constexpr int32_t kTickCounterCeiling = 1000;

// Click and hold timing, one tick per host Update call. Users reset an entry to 0 at a press
// edge and compare it with small thresholds; a counter left alone runs 100..1001 and wraps to
// 101, so it never falls back into the range the detectors test.
extern int32_t TickCounters[kTickCounterCount];
extern int32_t jogPauseCountdown;
extern int32_t wheelBusyCountdown;
extern int32_t droHoldCountdown;

extern PendantWindow* pendantWindow;
extern std::string profilePath;
extern std::string displayName;

// One host Update tick: counters and countdowns.
void advanceUpdateTick();

// Reads the settings from `store` and looks for the pendant of the one pendant window (when
// there is one) between the button keys and the rest.
void LoadSettings(ProfileStore& store);

// Back to the values at library load (tests use it between cases).
void resetPluginState();

}  // namespace k4
