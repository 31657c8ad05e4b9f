// The session picture's panels: bands of the picture that share the time scale, each with its
// own value scale, frame, grid, ticks and series.
#pragma once

#include <string>
#include <vector>

#include "svg_writer.h"

namespace k4::hostsim::plot {

constexpr double kWidth = 1200;
constexpr double kLeft = 150;  // lane names and value ticks
constexpr double kRight = 30;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
// Series are thinned to two points (the lowest and highest, in their order) per bucket of this
// many pixels, so a spike of one cycle stays visible in an hour-long session while the file
// stays small. Sessions with fewer points than that are drawn point for point.
constexpr double kBucketPixels = 2;
constexpr int kBuckets = static_cast<int>(kPlotWidth / kBucketPixels);
// Marks closer than a pixel merge into one, which carries their count.
constexpr int kMarkBuckets = static_cast<int>(kPlotWidth);

constexpr const char* kGrid = "#e3e5e8";
constexpr const char* kFrame = "#9aa0a8";

struct Point {
  double t;
  double v;
};

// One panel: a band of the picture with its own value scale and the shared time scale.
struct Panel {
  double top;
  double height;
  double t0, t1;
  double v0, v1;
  double x(double t) const { return kLeft + (t - t0) / (t1 - t0) * kPlotWidth; }
  double y(double v) const { return top + height - (v - v0) / (v1 - v0) * height; }
  // How to read a drawn point back as data: t = t0 + (x - kLeft) / pxPerSecond, and
  // v = v0 + (top + height - y) / pxPerUnit.
  std::string scaleAttributes() const;
};

// The value range a panel shows: the data's, with 0 in it and a little room, never empty.
void valueRange(const std::vector<double>& values, double minimumSpan, double& low, double& high);

// The title and unit above the panel, and its frame.
void drawFrame(svg::Document& svg, const Panel& panel, const std::string& title,
               const std::string& unit);
// Value ticks with their labels, at least three to a panel.
void drawValueTicks(svg::Document& svg, const Panel& panel);
void drawTimeGrid(svg::Document& svg, const Panel& panel, double step);
// One polyline, thinned to what the panel's pixels can show.
void drawSeries(svg::Document& svg, const Panel& panel, const std::vector<Point>& points,
                const std::string& series, const char* colour, const std::string& extra = "");
// A note in the middle of an empty panel.
void drawNote(svg::Document& svg, const Panel& panel, const std::string& note);

}  // namespace k4::hostsim::plot
