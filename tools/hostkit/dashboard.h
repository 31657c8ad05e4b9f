// The live mode's terminal dashboard: the pendant, the mode and axis, the DROs the knob changes,
// the LEDs, the machine (or the model's own lines), and the last host actions, redrawn in place
// within the terminal's size.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "host_sim.h"

namespace k4::hostsim {

// Host actions: kept for the dashboard, or printed as lines when there is no dashboard.
class LiveSink final : public EventSink {
 public:
  explicit LiveSink(bool print) : print_(print) {}
  void event(const HostEvent& event) override;
  // The last actions, a repeated one once with its count.
  std::vector<std::string> lines() const;

 private:
  bool print_;
  std::deque<std::pair<std::string, int>> lines_;
};

struct DashboardText {
  std::string title;     // the program's name
  std::string linkText;  // how the pendant is reached
  std::string help;      // the last lines: the keys, or how to end the session
  bool pendantPresent = true;
};

// Whether standard output can take the dashboard: a terminal that understands the cursor
// movements it is drawn with (not TERM=dumb or unset).
bool dashboardTerminal();

// `text` into lines of at most `width` columns, broken between words.
std::vector<std::string> wrapWords(const std::string& text, std::size_t width);

class Dashboard {
 public:
  // `autoMode` and `singleMode`: the settings that choose the mode of knob position 1.
  Dashboard(bool autoMode, bool singleMode) : autoMode_(autoMode), singleMode_(singleMode) {}
  // The screen's rows for a terminal `width` columns wide (the drawing itself is `draw`).
  std::vector<std::string> rows(HostSimulator& sim, const LiveSink& actions,
                                const DashboardText& text, long cycles, long updates,
                                std::size_t width);
  // Draws on standard output within the terminal's size; a terminal too small for the rows
  // gets a notice instead.
  void draw(HostSimulator& sim, const LiveSink& actions, const DashboardText& text, long cycles,
            long updates);

 private:
  bool autoMode_;
  bool singleMode_;
  int mode_ = 0;  // the last mode a knob reading chose: other readings keep it
};

}  // namespace k4::hostsim
