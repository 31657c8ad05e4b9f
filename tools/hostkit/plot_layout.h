// Where the session picture puts everything: the panels from the top down on the session's time
// scale, the axes shown, and the picture's height, worked out from the trace before anything is
// drawn.
#pragma once

#include <array>

#include "plot_panel.h"
#include "session_trace.h"

namespace k4::hostsim::plot {

constexpr double kLaneHeight = 17;  // one lane of host actions

// Where everything goes: the panels from the top down, on the session's time scale.
struct Layout {
  double t0 = 0;
  double t1 = 0;
  double timeStep = 0;
  std::array<bool, kAxisCount> shown{};  // axes that moved or jogged
  bool anyAxis = false;
  Panel wheel{}, intensity{}, mode{};
  std::array<Panel, kAxisCount> positions{};  // one band per axis shown
  Panel noPositions{};                        // in their place when no axis moved
  Panel speed{}, actions{};
  double height = 0;  // of the whole picture
};

Layout layOut(const SessionTrace& trace);

}  // namespace k4::hostsim::plot
