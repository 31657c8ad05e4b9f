#include "dashboard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace k4::hostsim {

namespace {

constexpr std::size_t kEventLines = 8;

}  // namespace

void LiveSink::event(const HostEvent& event) {
  const std::string line = formatEvent(event);
  if (print_) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  // A line repeated every cycle ("ENDJOG", code 1021) takes one line with its count.
  if (!lines_.empty() && lines_.back().first == line) {
    ++lines_.back().second;
    return;
  }
  lines_.emplace_back(line, 1);
  if (lines_.size() > kEventLines)
    lines_.pop_front();
}

std::vector<std::string> LiveSink::lines() const {
  std::vector<std::string> shown;
  for (const auto& [line, count] : lines_) {
    shown.push_back(count > 1 ? line + "   (x" + std::to_string(count) + ")" : line);
  }
  return shown;
}

void drawDashboard(HostSimulator& sim, const LiveSink& actions, const DashboardText& text,
                   long cycles, long updates) {
  HostModel& model = sim.model();
  const HostBlocks& blocks = sim.blocks();
  const auto hostLed = [&](int code) { return model.led(code); };
  const double stepSize = model.dro(dro::kStepSize);
  std::string screen = "\x1b[H\x1b[J";
  char line[256];
  auto add = [&screen](const std::string& row) { screen += row + "\x1b[K\n"; };
  add(text.title + " live: " + sim.displayName());
  add("Pendant: " + text.linkText);
  const std::vector<uint8_t>& output = sim.lastOutputReport();
  std::string axis = "(not visible: output reports go to the pendant)";
  if (!output.empty())
    axis = std::string(1, kAxisLetters[std::min(5, (output[1] >> 4) & 7)]);
  const int code = sim.lastAxisCode();
  std::snprintf(line, sizeof line, "Mode:   knob %d%s, last mode/axis code %s",
                sim.controls().knob & 0x7F, sim.controls().side ? " + SIDE" : "",
                code != 0 ? std::to_string(code).c_str() : "none yet");
  add(line);
  std::snprintf(line, sizeof line,
                "Axis:   %s   Step size (DRO 828): %.10g   Host jog increment: %.10g   "
                "Intensity: %d",
                axis.c_str(), stepSize, blocks.planner.stepIncrement, sim.controls().intensity);
  add(line);
  auto lamp = [](bool on) { return on ? "on " : "off"; };
  if (!output.empty()) {
    std::snprintf(line, sizeof line,
                  "LEDs:   pendant 800 %s  804 %s  805 %s   host LED 83 (jog allowed) %s",
                  lamp(output[1] & 0x01), lamp(output[1] & 0x04), lamp(output[1] & 0x08),
                  lamp(hostLed(led::kJogAllowed)));
  } else {
    std::snprintf(line, sizeof line, "LEDs:   host 800 %s  804 %s  805 %s  83 %s",
                  lamp(hostLed(led::kReset)), lamp(hostLed(led::kCycleRunning)),
                  lamp(hostLed(led::kFeedHold)), lamp(hostLed(led::kJogAllowed)));
  }
  add(line);
  for (const std::string& modelLine : model.dashboard())
    add(modelLine);
  add("Status: \"" +
      std::string(blocks.planner.statusLine, strnlen(blocks.planner.statusLine, kStatusLineSize)) +
      "\"");
  std::snprintf(line, sizeof line, "Cycles: %ld   Updates: %ld", cycles, updates);
  add(line);
  add("Last host actions:");
  for (const std::string& event : actions.lines())
    add("  " + event);
  for (std::size_t i = actions.lines().size(); i < kEventLines; ++i)
    add("");
  add(text.help);
  std::fwrite(screen.data(), 1, screen.size(), stdout);
  std::fflush(stdout);
}

}  // namespace k4::hostsim
