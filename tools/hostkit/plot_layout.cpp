#include "plot_layout.h"

#include <algorithm>
#include <vector>

namespace k4::hostsim::plot {

Layout layOut(const SessionTrace& trace) {
  const std::vector<TraceSample>& samples = trace.samples();
  Layout layout;
  const double t0 = layout.t0 = 0;
  const double t1 = layout.t1 = std::max(trace.endSeconds(), 0.5);
  layout.timeStep = svg::tickStep(t1 - t0, 12);

  // Axes shown: those that moved or jogged.
  std::array<bool, kAxisCount>& shown = layout.shown;
  for (const TraceSample& s : samples) {
    for (int a = 0; a < kAxisCount; ++a)
      shown[a] = shown[a] || s.positions[a] != 0.0;
  }
  for (const JogSpeedPoint& p : trace.jogSpeeds())
    shown[p.axis] = shown[p.axis] || p.speed != 0.0;
  layout.anyAxis = std::find(shown.begin(), shown.end(), true) != shown.end();

  double top = 78;
  const double gap = 30;
  auto nextPanel = [&](double height, double v0, double v1) {
    Panel panel{top, height, t0, t1, v0, v1};
    top += height + gap;
    return panel;
  };

  std::vector<double> wheelValues, intensityValues;
  for (const TraceSample& s : samples) {
    wheelValues.push_back(s.wheelCounts);
    intensityValues.push_back(s.intensity);
  }
  double low, high;
  plot::valueRange(wheelValues, 4, low, high);
  layout.wheel = nextPanel(80, low, high);
  plot::valueRange(intensityValues, 50, low, high);
  layout.intensity = nextPanel(70, low, high);
  layout.mode = nextPanel(26, 0, 1);

  // One band per axis shown, each on its own scale, so a step of 0.001 on one axis stays
  // visible beside a long jog of another.
  const int shownCount = static_cast<int>(std::count(shown.begin(), shown.end(), true));
  const double bandHeight = shownCount <= 3 ? 70 : 50;
  const double bandGap = 8;
  const double positionsTop = top;
  for (int a = 0; a < kAxisCount; ++a) {
    if (!shown[a])
      continue;
    low = samples.empty() ? 0.0 : samples.front().positions[a];
    high = low;
    for (const TraceSample& s : samples) {
      low = std::min(low, s.positions[a]);
      high = std::max(high, s.positions[a]);
    }
    const double pad = std::max((high - low) * 0.08, 0.0005);
    layout.positions[a] = Panel{top, bandHeight, t0, t1, low - pad, high + pad};
    top += bandHeight + bandGap;
  }
  layout.noPositions = Panel{positionsTop, 40, t0, t1, 0, 1};
  if (!layout.anyAxis)
    top += layout.noPositions.height + bandGap;
  top += gap - bandGap;
  std::vector<double> speedValues;
  for (const JogSpeedPoint& p : trace.jogSpeeds())
    speedValues.push_back(p.speed);
  plot::valueRange(speedValues, 100, low, high);
  layout.speed = nextPanel(130, low, high);
  layout.actions = nextPanel(kLaneHeight * kActionKinds, 0, kActionKinds);
  layout.height = layout.actions.top + layout.actions.height + 48;
  return layout;
}

}  // namespace k4::hostsim::plot
