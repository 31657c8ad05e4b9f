#include "plot.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include "mode_names.h"
#include "plot_layout.h"

namespace k4::hostsim {

namespace {

using plot::kLaneHeight;
using plot::kLeft;
using plot::kMarkBuckets;
using plot::kPlotWidth;
using plot::kRight;
using plot::kWidth;
using plot::layOut;
using plot::Layout;
using plot::Panel;
using plot::Point;
using svg::escape;
using svg::kInk;
using svg::number;
using svg::px;
using svg::textWidth;

constexpr const char* kFont = "DejaVu Sans, Verdana, Arial, sans-serif";
constexpr const char* kAxisColours[kAxisCount] = {"#d62728", "#2ca02c", "#1f77b4",
                                                  "#9467bd", "#8c564b", "#17becf"};

// Index: jog mode 0..11, named by jogModeName.
constexpr const char* kModeColours[] = {
    "#eeeeee", "#9ecae1", "#fdae6b", "#fdd0a2", "#c7e9c0", "#a1d99b",
    "#74c476", "#dadaeb", "#bcbddc", "#9e9ac8", "#6baed6", "#c6dbef",
};
static_assert(sizeof kModeColours / sizeof kModeColours[0] == kJogModeCount);

struct LaneStyle {
  const char* name;
  const char* colour;
  bool labelled;  // the first action of a mark is written beside it
};
constexpr LaneStyle kLanes[kActionKinds] = {
    {"Button codes", "#444444", true}, {"Step lines", "#1f77b4", false},
    {"DOJOG", "#ff7f0e", false},       {"ENDJOG", "#d62728", false},
    {"Other lines", "#7f7f7f", true},  {"DRO writes", "#2ca02c", true},
    {"Status line", "#9467bd", true},  {"Pendant", "#000000", true},
};
constexpr const char* kKindNames[kActionKinds] = {"button",     "step-line", "dojog",  "endjog",
                                                  "other-line", "dro-write", "status", "pendant"};

constexpr const char* kNoCycle = "No report cycle ran.";

// Shading while the pendant is unplugged, under everything else.
void drawUnplugged(svg::Document& body, const SessionTrace& trace, const Layout& layout) {
  const Panel& wheelPanel = layout.wheel;
  const Panel& actionPanel = layout.actions;
  double unpluggedAt = -1;
  auto shade = [&](double from, double to) {
    const double x0 = wheelPanel.x(from);
    body.rect(x0, wheelPanel.top, std::max(1.0, wheelPanel.x(to) - x0),
              actionPanel.top + actionPanel.height - wheelPanel.top, "#f1f1f1",
              " data-unplugged=\"" + number(from, 3) + "\"");
  };
  for (const TraceAction& a : trace.actions()) {
    if (a.kind != ActionKind::Pendant)
      continue;
    if (a.label == "unplugged" && unpluggedAt < 0)
      unpluggedAt = a.seconds;
    if (a.label != "unplugged" && unpluggedAt >= 0) {
      shade(unpluggedAt, a.seconds);
      unpluggedAt = -1;
    }
  }
  if (unpluggedAt >= 0)
    shade(unpluggedAt, layout.t1);
}

// A panel with one series of the report cycles: the wheel or the intensity.
void drawCyclePanel(svg::Document& body, const Panel& panel, double timeStep,
                    const std::string& title, const std::string& unit,
                    const std::vector<Point>& points, const std::string& series,
                    const char* colour) {
  plot::drawFrame(body, panel, title, unit);
  plot::drawTimeGrid(body, panel, timeStep);
  plot::drawValueTicks(body, panel);
  body.add("<g" + panel.scaleAttributes() + ">");
  plot::drawSeries(body, panel, points, series, colour);
  body.add("</g>");
}

void drawPendant(svg::Document& body, const SessionTrace& trace, const Layout& layout) {
  std::vector<Point> wheel, intensity;
  for (const TraceSample& s : trace.samples()) {
    wheel.push_back({s.seconds, static_cast<double>(s.wheelCounts)});
    intensity.push_back({s.seconds, static_cast<double>(s.intensity)});
  }
  drawCyclePanel(body, layout.wheel, layout.timeStep, "Wheel",
                 "counts per 25 ms report cycle (negative: reverse)", wheel, "wheel", "#333333");
  if (trace.samples().empty())
    plot::drawNote(body, layout.wheel, kNoCycle);
  drawCyclePanel(body, layout.intensity, layout.timeStep, "Jog intensity",
                 "report byte 2, 0 to 255", intensity, "intensity", "#ff7f0e");
}

// The jog mode as coloured bands, one per run of the same mode (a run shorter than a pixel
// shows the mode it ends in).
void drawModes(svg::Document& body, const SessionTrace& trace, const Layout& layout) {
  const Panel& modePanel = layout.mode;
  plot::drawFrame(body, modePanel, "Jog mode", "from the knob, SIDE and the profile's settings");
  struct Run {
    int mode;
    double from, to;
  };
  std::vector<Run> runs;
  double previousEnd = layout.t0;
  for (const TraceSample& s : trace.samples()) {
    const double from = previousEnd;
    previousEnd = s.seconds;
    if (!runs.empty() && runs.back().mode == s.jogMode) {
      runs.back().to = s.seconds;
    } else if (!runs.empty() && modePanel.x(s.seconds) - modePanel.x(runs.back().from) < 1) {
      runs.back().mode = s.jogMode;
      runs.back().to = s.seconds;
    } else {
      runs.push_back({s.jogMode, from, s.seconds});
    }
  }
  for (const Run& run : runs) {
    const int mode = std::clamp(run.mode, 0, kJogModeCount - 1);
    const std::string name = jogModeName(mode);
    const double x0 = modePanel.x(run.from);
    const double w = std::max(0.5, modePanel.x(run.to) - x0);
    body.add("<rect data-mode=\"" + std::to_string(run.mode) + "\" x=\"" + px(x0) + "\" y=\"" +
             px(modePanel.top) + "\" width=\"" + px(w) + "\" height=\"" + px(modePanel.height) +
             "\" fill=\"" + kModeColours[mode] + "\"><title>mode " + std::to_string(run.mode) +
             " " + name + ", " + number(run.from, 3) + " to " + number(run.to, 3) +
             " s</title></rect>");
    const std::string full = std::to_string(run.mode) + " " + name;
    const std::string shortName = std::to_string(run.mode);
    const std::string& label = textWidth(full, 11) + 6 < w ? full : shortName;
    if (run.mode != 0 && textWidth(label, 11) + 4 < w)
      body.text(x0 + w / 2, modePanel.top + modePanel.height / 2 + 4, label, 11, "middle");
  }
  if (trace.samples().empty())
    plot::drawNote(body, modePanel, kNoCycle);
}

void drawPositions(svg::Document& body, const SessionTrace& trace, const Layout& layout) {
  if (!layout.anyAxis) {
    plot::drawFrame(body, layout.noPositions, "Axis positions", "");
    plot::drawNote(body, layout.noPositions, "No axis moved.");
  }
  bool firstBand = true;
  for (int a = 0; a < kAxisCount; ++a) {
    if (!layout.shown[a])
      continue;
    const Panel& band = layout.positions[a];
    plot::drawFrame(
        body, band, firstBand ? "Axis positions" : "",
        firstBand ? "host units (mm or inch, as the host is set), each axis on its own scale" : "");
    firstBand = false;
    plot::drawTimeGrid(body, band, layout.timeStep);
    plot::drawValueTicks(body, band);
    body.text(kLeft - 105, band.top + band.height / 2 + 6, std::string(1, kAxisLetters[a]), 16,
              "middle", kAxisColours[a], "bold");
    body.add("<g" + band.scaleAttributes() + ">");
    std::vector<Point> points;
    for (const TraceSample& s : trace.samples())
      points.push_back({s.seconds, s.positions[a]});
    plot::drawSeries(body, band, points, "position", kAxisColours[a],
                     std::string(" data-axis=\"") + kAxisLetters[a] + "\"");
    body.add("</g>");
  }
}

void drawJogSpeeds(svg::Document& body, const SessionTrace& trace, const Layout& layout) {
  const Panel& speedPanel = layout.speed;
  plot::drawFrame(body, speedPanel, "Jog record speed",
                  "units per minute as \"DOJOG\" and \"ENDJOG\" leave it (negative: reverse)");
  plot::drawTimeGrid(body, speedPanel, layout.timeStep);
  plot::drawValueTicks(body, speedPanel);
  body.add("<g" + speedPanel.scaleAttributes() + ">");
  for (int a = 0; a < kAxisCount; ++a) {
    std::vector<Point> points;
    double speed = 0;
    for (const JogSpeedPoint& p : trace.jogSpeeds()) {
      if (p.axis != a)
        continue;
      if (points.empty())  // at rest from the start
        points.push_back({layout.t0, 0.0});
      // The speed holds until the next jog command: drawn as steps.
      points.push_back({p.seconds, speed});
      speed = p.speed;
      points.push_back({p.seconds, speed});
    }
    if (points.empty())
      continue;
    points.push_back({layout.t1, speed});
    plot::drawSeries(body, speedPanel, points, "jog-speed", kAxisColours[a],
                     std::string(" data-axis=\"") + kAxisLetters[a] + "\"");
  }
  body.add("</g>");
  if (trace.jogSpeeds().empty())
    plot::drawNote(body, speedPanel, "No continuous jog.");
}

// One lane of host actions; actions within a pixel of each other make one mark.
void drawActionLane(svg::Document& body, const SessionTrace& trace, const Layout& layout,
                    int lane) {
  const Panel& actionPanel = layout.actions;
  const LaneStyle& style = kLanes[lane];
  const double laneTop = actionPanel.top + lane * kLaneHeight;
  body.line(kLeft, laneTop + kLaneHeight, kLeft + kPlotWidth, laneTop + kLaneHeight, plot::kGrid);
  body.text(kLeft - 6, laneTop + kLaneHeight - 4, style.name, 11, "end", "#444444");
  struct Mark {
    int firstBucket, lastBucket;
    double from, to;
    int count;
    std::string label;
    bool mixed;
  };
  std::vector<Mark> marks;
  for (const TraceAction& a : trace.actions()) {
    if (static_cast<int>(a.kind) != lane)
      continue;
    const int bucket = std::clamp(
        static_cast<int>((a.seconds - layout.t0) / (layout.t1 - layout.t0) * kMarkBuckets), 0,
        kMarkBuckets - 1);
    if (!marks.empty() && bucket - marks.back().lastBucket <= 1) {
      Mark& m = marks.back();
      m.lastBucket = bucket;
      m.to = a.seconds;
      ++m.count;
      m.mixed = m.mixed || a.label != m.label;
    } else {
      marks.push_back({bucket, bucket, a.seconds, a.seconds, 1, a.label, false});
    }
  }
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const Mark& m = marks[i];
    const double x0 = actionPanel.x(m.from);
    const double w = std::max(1.5, actionPanel.x(m.to) - x0);
    std::string tip = m.count == 1
                          ? m.label + " at " + number(m.from, 3) + " s"
                          : std::to_string(m.count) + " actions from " + number(m.from, 3) +
                                " to " + number(m.to, 3) + " s, the first " + m.label;
    body.add("<rect data-kind=\"" + std::string(kKindNames[lane]) + "\" data-count=\"" +
             std::to_string(m.count) + "\" x=\"" + px(x0) + "\" y=\"" + px(laneTop + 3) +
             "\" width=\"" + px(w) + "\" height=\"" + px(kLaneHeight - 6) + "\" fill=\"" +
             style.colour + "\"><title>" + escape(tip) + "</title></rect>");
    if (!style.labelled)
      continue;
    std::string label = m.label + (m.mixed ? " …" : "");
    if (label.size() > 40)
      label = label.substr(0, 38) + " …";
    // Written only where it runs into neither the next mark nor the picture's edge.
    const double lx = x0 + w + 2;
    const double room =
        i + 1 < marks.size() ? actionPanel.x(marks[i + 1].from) - 3 : kLeft + kPlotWidth + kRight;
    if (lx + textWidth(label, 10) < room)
      body.text(lx, laneTop + kLaneHeight - 5, label, 10, "start", "#333333");
  }
}

// Host actions: one lane per kind.
void drawActions(svg::Document& body, const SessionTrace& trace, const Layout& layout) {
  const Panel& actionPanel = layout.actions;
  body.text(kLeft, actionPanel.top - 7, "Host actions", 13, "start", kInk, "bold");
  body.text(kLeft + 100, actionPanel.top - 7,
            "what the plug-in did to the host (hover for details)", 12, "start", "#555555");
  plot::drawTimeGrid(body, actionPanel, layout.timeStep);
  for (int lane = 0; lane < kActionKinds; ++lane)
    drawActionLane(body, trace, layout, lane);
  body.rect(kLeft, actionPanel.top, kPlotWidth, actionPanel.height, "none",
            " stroke=\"" + std::string(plot::kFrame) + "\" stroke-width=\"1\"");
}

// The time axis under the last panel.
void drawTimeAxis(svg::Document& body, const Layout& layout) {
  const Panel& actionPanel = layout.actions;
  const double timeStep = layout.timeStep;
  const int timeDecimals = svg::decimalsFor(timeStep);
  const double axisY = actionPanel.top + actionPanel.height;
  for (double t = std::ceil(layout.t0 / timeStep) * timeStep; t <= layout.t1 + timeStep * 1e-9;
       t += timeStep) {
    body.line(actionPanel.x(t), axisY, actionPanel.x(t), axisY + 5, plot::kFrame);
    body.text(actionPanel.x(t), axisY + 18, number(t, timeDecimals), 11, "middle", "#555555");
  }
  body.text(kLeft + kPlotWidth / 2, axisY + 38, "Time (s)", 12, "middle");
}

// Head: the title and the legend.
void drawHead(svg::Document& svg, const std::string& title, std::size_t sampleCount,
              const Layout& layout) {
  const double height = layout.height;
  svg.add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  svg.add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth, 0) +
          "\" height=\"" + number(height, 0) + "\" viewBox=\"0 0 " + number(kWidth, 0) + " " +
          number(height, 0) + "\" font-family=\"" + kFont + "\" data-samples=\"" +
          std::to_string(sampleCount) + "\">");
  svg.add("<title>" + escape(title) + "</title>");
  svg.rect(0, 0, kWidth, height, "#ffffff");
  char head[200];
  std::snprintf(head, sizeof head, "%zu report cycles over %s s", sampleCount,
                number(layout.t1, 3).c_str());
  svg.text(kLeft, 24, title, 15, "start", kInk, "bold");
  svg.text(kWidth - kRight, 24, head, 12, "end", "#555555");
  double x = kLeft;
  svg.text(x, 48, "Axes:", 12);
  x += 42;
  for (int a = 0; a < kAxisCount; ++a) {
    if (!layout.shown[a])
      continue;
    svg.line(x, 44, x + 22, 44, kAxisColours[a], 3);
    svg.text(x + 27, 48, std::string(1, kAxisLetters[a]), 12);
    x += 48;
  }
  if (!layout.anyAxis) {
    svg.text(x, 48, "none moved", 12, "start", "#888888");
    x += 80;
  }
  svg.rect(x + 20, 38, 22, 12, "#f1f1f1", " stroke=\"#cccccc\"");
  svg.text(x + 48, 48, "pendant unplugged", 12);
  svg.text(x + 190, 48, "One colour per axis in the position and jog speed panels.", 12, "start",
           "#555555");
}

}  // namespace

SessionPlot::SessionPlot(EventSink& out, const ProfileFile& profile, ShowFlags show,
                         std::string path)
    : out_(out), trace_(out, profile, show.records), show_(show), path_(std::move(path)) {
  show_.records = show_.records || !path_.empty();  // the picture draws the jog records' speeds
}

void SessionPlot::watch(HostSimulator& sim) {
  if (!path_.empty())
    sim.observe(&trace_);
}

bool SessionPlot::write(const std::string& title, std::string& error) const {
  return path_.empty() || writeSessionPlot(trace_, title, path_, error);
}

bool writeSessionPlot(const SessionTrace& trace, const std::string& title, const std::string& path,
                      std::string& error) {
  const Layout layout = layOut(trace);
  svg::Document body;
  drawUnplugged(body, trace, layout);
  drawPendant(body, trace, layout);
  drawModes(body, trace, layout);
  drawPositions(body, trace, layout);
  drawJogSpeeds(body, trace, layout);
  drawActions(body, trace, layout);
  drawTimeAxis(body, layout);

  svg::Document svg;
  drawHead(svg, title, trace.samples().size(), layout);
  svg.add(body.str());
  svg.add("</svg>");

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << svg.str();
  file.close();
  if (!file) {
    error = "cannot write the plot " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool canWritePlot(const std::string& path, std::string& error) {
  if (path.empty())
    return true;
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  const bool created = fd < 0 && errno == ENOENT;
  if (created)
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "--plot " + path + ": the picture cannot be written there (" + std::strerror(errno) +
            "); name a file in a folder you may write to";
    return false;
  }
  ::close(fd);
  if (created)
    ::unlink(path.c_str());
  return true;
}

}  // namespace k4::hostsim
