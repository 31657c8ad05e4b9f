// What the bridge's parts share: the clock, the axis letters, the waits both threads use, and
// the few texts and memories more than one part needs.
#pragma once

#include <chrono>
#include <map>
#include <string>

#include "controller.h"

namespace k4::lcnc {

using Clock = std::chrono::steady_clock;

inline constexpr const char* kLetters = "XYZABC";
inline constexpr double kSecondsPerMinute = 60.0;
inline constexpr std::chrono::milliseconds kEchoLimit{500};
inline constexpr std::chrono::milliseconds kPoll{1};
inline constexpr double kAtTarget = 1e-4;  // machine units: a step jog has arrived

inline double msSince(Clock::time_point since, Clock::time_point now = Clock::now()) {
  return std::chrono::duration<double, std::milli>(now - since).count();
}

const char* modeName(TaskMode mode);

// The first axis a step line moves, for the refusal's text.
int firstAxis(const Command& command);

// True when `text` was not told in the last two seconds, and remembers it; what was told long ago
// is forgotten, so the memory stays small however many reasons LinuxCNC gives.
bool remember(std::map<std::string, Clock::time_point>& told, const std::string& text,
              Clock::time_point now);

}  // namespace k4::lcnc
