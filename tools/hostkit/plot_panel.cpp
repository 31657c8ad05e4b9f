#include "plot_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace k4::hostsim::plot {

using svg::decimalsFor;
using svg::number;
using svg::px;
using svg::textWidth;
using svg::tickStep;

namespace {

// Drops the inner points of runs of equal values (the line is the same without them), then
// keeps the lowest and the highest point of each bucket when there are more points than
// buckets.
std::vector<Point> thin(const std::vector<Point>& points, double t0, double t1) {
  std::vector<Point> kept;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const bool inner = i > 0 && i + 1 < points.size() && points[i - 1].v == points[i].v &&
                       points[i + 1].v == points[i].v;
    if (!inner)
      kept.push_back(points[i]);
  }
  if (kept.size() <= 2 * static_cast<std::size_t>(kBuckets))
    return kept;
  std::vector<Point> thinned;
  const double span = t1 - t0;
  std::size_t i = 0;
  while (i < kept.size()) {
    const int bucket = std::min(kBuckets - 1, static_cast<int>((kept[i].t - t0) / span * kBuckets));
    std::size_t low = i;
    std::size_t high = i;
    std::size_t j = i;
    for (; j < kept.size(); ++j) {
      const int b = std::min(kBuckets - 1, static_cast<int>((kept[j].t - t0) / span * kBuckets));
      if (b != bucket)
        break;
      if (kept[j].v < kept[low].v)
        low = j;
      if (kept[j].v > kept[high].v)
        high = j;
    }
    thinned.push_back(kept[std::min(low, high)]);
    if (low != high)
      thinned.push_back(kept[std::max(low, high)]);
    i = j;
  }
  return thinned;
}

}  // namespace

std::string Panel::scaleAttributes() const {
  char text[256];
  std::snprintf(text, sizeof text,
                " data-t0=\"%.9g\" data-px-per-second=\"%.9g\" data-x0=\"%.9g\""
                " data-v0=\"%.9g\" data-px-per-unit=\"%.9g\" data-y0=\"%.9g\"",
                t0, kPlotWidth / (t1 - t0), kLeft, v0, height / (v1 - v0), top + height);
  return text;
}

void valueRange(const std::vector<double>& values, double minimumSpan, double& low, double& high) {
  low = 0;
  high = 0;
  for (double v : values) {
    low = std::min(low, v);
    high = std::max(high, v);
  }
  if (high - low < minimumSpan) {
    high = std::max(high, low + minimumSpan);
  }
  const double pad = (high - low) * 0.08;
  high += pad;
  if (low < 0)
    low -= pad;
}

void drawFrame(svg::Document& svg, const Panel& panel, const std::string& title,
               const std::string& unit) {
  if (!title.empty())
    svg.text(kLeft, panel.top - 7, title, 13, "start", svg::kInk, "bold");
  if (!unit.empty())
    svg.text(kLeft + textWidth(title, 13) * 1.05 + 8, panel.top - 7, unit, 12, "start", "#555555");
  svg.rect(kLeft, panel.top, kPlotWidth, panel.height, "none",
           " stroke=\"" + std::string(kFrame) + "\" stroke-width=\"1\"");
}

void drawValueTicks(svg::Document& svg, const Panel& panel) {
  double step = tickStep(panel.v1 - panel.v0, std::max(3, static_cast<int>(panel.height / 35)));
  // At least three labelled values, so every panel shows its scale: 5 -> 2 -> 1 -> 0.5 ...
  const auto ticksWithin = [&panel](double s) {
    return std::floor(panel.v1 / s + 1e-9) - std::ceil(panel.v0 / s - 1e-9) + 1;
  };
  while (ticksWithin(step) < 3) {
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    step *= mantissa > 4 ? 0.4 : 0.5;
  }
  const int decimals = decimalsFor(step);
  for (double v = std::ceil(panel.v0 / step) * step; v <= panel.v1 + step * 1e-9; v += step) {
    const double y = panel.y(v);
    svg.line(kLeft, y, kLeft + kPlotWidth, y, std::fabs(v) < step * 1e-6 ? "#b0b4ba" : kGrid);
    svg.text(kLeft - 6, y + 4, number(v, decimals), 11, "end", "#555555");
  }
}

void drawTimeGrid(svg::Document& svg, const Panel& panel, double step) {
  for (double t = std::ceil(panel.t0 / step) * step; t <= panel.t1 + step * 1e-9; t += step)
    svg.line(panel.x(t), panel.top, panel.x(t), panel.top + panel.height, kGrid);
}

void drawSeries(svg::Document& svg, const Panel& panel, const std::vector<Point>& points,
                const std::string& series, const char* colour, const std::string& extra) {
  if (points.empty())
    return;
  std::string coordinates;
  for (const Point& p : thin(points, panel.t0, panel.t1)) {
    if (!coordinates.empty())
      coordinates += ' ';
    coordinates += px(panel.x(p.t)) + ',' + px(panel.y(p.v));
  }
  svg.add("<polyline data-series=\"" + series + "\"" + extra + " points=\"" + coordinates +
          "\" fill=\"none\" stroke=\"" + colour +
          "\" stroke-width=\"1.6\" stroke-linejoin=\"round\"/>");
}

void drawNote(svg::Document& svg, const Panel& panel, const std::string& note) {
  svg.text(kLeft + kPlotWidth / 2, panel.top + panel.height / 2 + 4, note, 12, "middle", "#888888");
}

}  // namespace k4::hostsim::plot
