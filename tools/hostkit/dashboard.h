// The live mode's terminal dashboard: the pendant, the mode and axis, the LEDs, the machine (or
// the model's own lines), and the last host actions, redrawn in place.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "host_sim.h"

namespace k4::hostsim {

// Host actions: kept for the dashboard, or printed as lines when the output is not a terminal.
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
  const char* help;      // the last line: the keys, or how to end the session
};

void drawDashboard(HostSimulator& sim, const LiveSink& actions, const DashboardText& text,
                   long cycles, long updates);

}  // namespace k4::hostsim
