#include "dashboard.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "control/knob_modes.h"
#include "mode_names.h"

namespace k4::hostsim {

namespace {

constexpr std::size_t kEventLines = 8;
// Below this many columns the rows are cut to nothing useful.
constexpr std::size_t kMinColumns = 60;

std::string clip(const std::string& row, std::size_t width) {
  return row.size() <= width ? row : row.substr(0, width);
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

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

bool dashboardTerminal() {
  const char* term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) != 0 && term != nullptr && *term != '\0' &&
         std::strcmp(term, "dumb") != 0;
}

std::vector<std::string> wrapWords(const std::string& text, std::size_t width) {
  // The legend's entries, two blanks apart, stay whole where they fit; a longer piece of text
  // is broken between its words.
  std::vector<std::pair<std::string, std::string>> pieces;  // the blanks before, the text
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("  ", at);
    if (end == std::string::npos)
      end = text.size();
    const std::string entry = text.substr(at, end - at);
    if (entry.size() <= width) {
      pieces.emplace_back("  ", entry);
    } else {
      for (std::size_t w = 0; w < entry.size();) {
        std::size_t blank = entry.find(' ', w);
        if (blank == std::string::npos)
          blank = entry.size();
        if (blank > w)
          pieces.emplace_back(" ", entry.substr(w, blank - w));
        w = blank + 1;
      }
    }
    at = text.find_first_not_of(' ', end);
    if (at == std::string::npos)
      break;
  }
  std::vector<std::string> lines;
  std::string line;
  for (const auto& [blanks, piece] : pieces) {
    if (!line.empty() && line.size() + blanks.size() + piece.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : blanks) + clip(piece, width);
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

std::vector<std::string> Dashboard::rows(HostSimulator& sim, const LiveSink& actions,
                                         const DashboardText& text, long cycles, long updates,
                                         std::size_t width) {
  HostModel& model = sim.model();
  const HostBlocks& blocks = sim.blocks();
  const PendantControls& controls = sim.controls();
  std::vector<std::string> rows;
  char line[320];
  rows.push_back(text.title + " live: " + sim.displayName());
  rows.push_back(std::string("Pendant: ") + (text.pendantPresent ? "" : "UNPLUGGED  ") +
                 text.linkText);

  const int knob = controls.knob & 0x7F;
  if (const int mode = jogModeForKnob(knob, controls.side, autoMode_, singleMode_); mode != 0)
    mode_ = mode;
  const int code = sim.lastAxisCode();
  std::snprintf(line, sizeof line, "Mode:   %s (mode %d), knob %d%s   last axis code %s",
                jogModeName(mode_), mode_, knob, controls.side ? " + SIDE" : "",
                code != 0 ? std::to_string(code).c_str() : "none yet");
  rows.push_back(line);

  const std::vector<uint8_t>& output = sim.lastOutputReport();
  std::string axis = "(output reports go to the pendant)";
  if (!output.empty())
    axis = std::string(1, kAxisLetters[std::min(5, (output[1] >> 4) & 7)]);
  std::snprintf(line, sizeof line, "Axis:   %s   Host jog increment: %s   Intensity: %d",
                axis.c_str(), number(blocks.planner.stepIncrement).c_str(), controls.intensity);
  rows.push_back(line);
  // The DROs the knob positions change: 4 sets DRO 3, 5 DRO 821, 6 DRO 74; STOP's double click
  // steps DRO 828.
  rows.push_back("DROs:   3 jog speed % " + number(model.dro(dro::kSpeedPercent)) +
                 "   821 feed override " + number(model.dro(dro::kFeedOverride)) + "   74 " +
                 number(model.dro(dro::kSpindleTrim)) + "   828 step size " +
                 number(model.dro(dro::kStepSize)));

  auto lamp = [](bool on) { return on ? "on " : "off"; };
  const auto hostLed = [&](int led) { return model.led(led); };
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
  rows.push_back(line);
  for (const std::string& modelLine : model.dashboard())
    rows.push_back(modelLine);
  rows.push_back(
      "Status: \"" +
      std::string(blocks.planner.statusLine, strnlen(blocks.planner.statusLine, kStatusLineSize)) +
      "\"");
  std::snprintf(line, sizeof line, "Cycles: %ld   Updates: %ld", cycles, updates);
  rows.push_back(line);
  rows.push_back("Last host actions:");
  const std::vector<std::string> shown = actions.lines();
  for (const std::string& event : shown)
    rows.push_back("  " + event);
  for (std::size_t i = shown.size(); i < kEventLines; ++i)
    rows.emplace_back();
  for (std::string& row : rows)
    row = clip(row, width);
  for (const std::string& helpLine : wrapWords(text.help, width))
    rows.push_back(helpLine);
  return rows;
}

void Dashboard::draw(HostSimulator& sim, const LiveSink& actions, const DashboardText& text,
                     long cycles, long updates) {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    size.ws_col = 80;
    size.ws_row = 24;
  }
  const std::size_t width = size.ws_col;
  std::vector<std::string> screen = rows(sim, actions, text, cycles, updates, width);
  if (width < kMinColumns || screen.size() > size.ws_row) {
    char notice[200];
    std::snprintf(notice, sizeof notice,
                  "The terminal (%u x %u) is too small for the dashboard, which needs %zu x %zu. "
                  "Make it larger; the session goes on. q or Ctrl-C ends it.",
                  size.ws_col, size.ws_row, kMinColumns, screen.size());
    screen = wrapWords(notice, width);
    screen.resize(std::min<std::size_t>(screen.size(), size.ws_row));
  }
  std::string out = "\x1b[H";
  for (std::size_t i = 0; i < screen.size(); ++i)
    out += screen[i] + (i + 1 < screen.size() ? "\x1b[K\n" : "\x1b[K");
  out += "\x1b[J";  // clears what a longer screen before left below
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

}  // namespace k4::hostsim
