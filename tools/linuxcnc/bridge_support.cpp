#include "bridge_support.h"

namespace k4::lcnc {

namespace {

constexpr std::chrono::milliseconds kTellRepeat{2000};  // the same refusal is told again after this

}  // namespace

const char* modeName(TaskMode mode) {
  switch (mode) {
    case TaskMode::Manual:
      return "MANUAL";
    case TaskMode::Auto:
      return "AUTO";
    case TaskMode::Mdi:
      return "MDI";
    case TaskMode::Unknown:
      break;
  }
  return "?";
}

int firstAxis(const Command& command) {
  for (int axis = 0; axis < kAxes; ++axis) {
    if (command.distances[axis] != 0.0)
      return axis;
  }
  return -1;
}

bool remember(std::map<std::string, Clock::time_point>& told, const std::string& text,
              Clock::time_point now) {
  const auto found = told.find(text);
  if (found != told.end() && now - found->second < kTellRepeat)
    return false;
  std::erase_if(told, [now](const auto& entry) { return now - entry.second >= kTellRepeat; });
  told[text] = now;
  return true;
}

}  // namespace k4::lcnc
