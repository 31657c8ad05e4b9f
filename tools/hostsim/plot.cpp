#include "plot.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "profile_file.h"

namespace k4::hostsim {

namespace {

// ---- Reading the host's lines ------------------------------------------------------------------

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The text between the first pair of double quotes.
std::string quoted(const std::string& line) {
  const std::size_t open = line.find('"');
  const std::size_t close = line.rfind('"');
  if (open == std::string::npos || close <= open)
    return "";
  return line.substr(open + 1, close - open - 1);
}

int fieldOf(const std::string& line, const char* name) {
  const std::size_t at = line.find(name);
  return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + std::strlen(name));
}

// ---- Drawing
// -------------------------------------------------------------------------------------

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

constexpr const char* kFont = "DejaVu Sans, Verdana, Arial, sans-serif";
constexpr const char* kInk = "#222222";
constexpr const char* kGrid = "#e3e5e8";
constexpr const char* kFrame = "#9aa0a8";
constexpr const char* kAxisColours[kAxisCount] = {"#d62728", "#2ca02c", "#1f77b4",
                                                  "#9467bd", "#8c564b", "#17becf"};

struct ModeStyle {
  const char* name;
  const char* colour;
};
// Index: jog mode 0..11 (0: not known yet).
constexpr ModeStyle kModes[] = {
    {"no mode yet", "#eeeeee"},    {"Step jog", "#9ecae1"},           {"Velocity jog", "#fdae6b"},
    {"Continuous jog", "#fdd0a2"}, {"Adjust DRO 3", "#c7e9c0"},       {"Adjust DRO 821", "#a1d99b"},
    {"Adjust DRO 74", "#74c476"},  {"Zero and reference", "#dadaeb"}, {"Actions F1", "#bcbddc"},
    {"Actions F2", "#9e9ac8"},     {"Automatic", "#6baed6"},          {"Single step", "#c6dbef"},
};
constexpr int kModeCount = static_cast<int>(sizeof kModes / sizeof kModes[0]);

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

std::string number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  if (std::strcmp(text, "-0") == 0 || std::strspn(text, "-0.") == std::strlen(text))
    std::snprintf(text, sizeof text, "%.*f", decimals, 0.0);
  return text;
}

std::string px(double value) {
  return number(value, 2);
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML text.
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

double textWidth(const std::string& text, double size) {
  return 0.6 * size * static_cast<double>(text.size());
}

// A tick step of 1, 2 or 5 times a power of ten giving about `wanted` ticks over `range`.
double tickStep(double range, int wanted) {
  const double raw = range / std::max(1, wanted);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= factor * power)
      return factor * power;
  }
  return 10 * power;
}

int decimalsFor(double step) {
  return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

struct Point {
  double t;
  double v;
};

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

class Svg {
 public:
  void add(const std::string& element) {
    out_ += element;
    out_ += '\n';
  }
  void text(double x, double y, const std::string& string, double size = 12,
            const char* anchor = "start", const char* colour = kInk,
            const char* weight = "normal") {
    add("<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" font-size=\"" + number(size, 0) +
        "\" text-anchor=\"" + anchor + "\" fill=\"" + colour + "\" font-weight=\"" + weight +
        "\">" + escape(string) + "</text>");
  }
  void line(double x1, double y1, double x2, double y2, const char* colour, double width = 1) {
    add("<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) +
        "\" stroke=\"" + colour + "\" stroke-width=\"" + number(width, 1) + "\"/>");
  }
  void rect(double x, double y, double w, double h, const char* fill,
            const std::string& extra = "") {
    add("<rect x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(w) + "\" height=\"" + px(h) +
        "\" fill=\"" + fill + "\"" + extra + "/>");
  }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
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
  std::string scaleAttributes() const {
    char text[256];
    std::snprintf(text, sizeof text,
                  " data-t0=\"%.9g\" data-px-per-second=\"%.9g\" data-x0=\"%.9g\""
                  " data-v0=\"%.9g\" data-px-per-unit=\"%.9g\" data-y0=\"%.9g\"",
                  t0, kPlotWidth / (t1 - t0), kLeft, v0, height / (v1 - v0), top + height);
    return text;
  }
};

// The value range a panel shows: the data's, with 0 in it and a little room, never empty.
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

void drawFrame(Svg& svg, const Panel& panel, const std::string& title, const std::string& unit) {
  if (!title.empty())
    svg.text(kLeft, panel.top - 7, title, 13, "start", kInk, "bold");
  if (!unit.empty())
    svg.text(kLeft + textWidth(title, 13) * 1.05 + 8, panel.top - 7, unit, 12, "start", "#555555");
  svg.rect(kLeft, panel.top, kPlotWidth, panel.height, "none",
           " stroke=\"" + std::string(kFrame) + "\" stroke-width=\"1\"");
}

void drawValueTicks(Svg& svg, const Panel& panel) {
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

void drawTimeGrid(Svg& svg, const Panel& panel, double step) {
  for (double t = std::ceil(panel.t0 / step) * step; t <= panel.t1 + step * 1e-9; t += step)
    svg.line(panel.x(t), panel.top, panel.x(t), panel.top + panel.height, kGrid);
}

void drawSeries(Svg& svg, const Panel& panel, const std::vector<Point>& points,
                const std::string& series, const char* colour, const std::string& extra = "") {
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

void drawNote(Svg& svg, const Panel& panel, const std::string& note) {
  svg.text(kLeft + kPlotWidth / 2, panel.top + panel.height / 2 + 4, note, 12, "middle", "#888888");
}

}  // namespace

int jogModeForKnob(int knob, bool sideHeld, bool autoMode, bool singleMode) {
  if (knob == 1) {
    if (!sideHeld)
      return autoMode ? 10 : 1;
    return singleMode ? 2 : 11;
  }
  if (knob == 3)
    return sideHeld ? 4 : 3;
  return knob >= 2 && knob <= 9 ? knob : 0;
}

SessionTrace::SessionTrace(EventSink& forward, const ProfileFile& profile, bool forwardRecords)
    : forward_(forward), profile_(profile), forwardRecords_(forwardRecords) {}

double SessionTrace::now() const {
  return clock_ != nullptr ? static_cast<double>(clock_->now()) / 1000.0 : 0.0;
}

double SessionTrace::endSeconds() const {
  double end = samples_.empty() ? 0.0 : samples_.back().seconds;
  if (!actions_.empty())
    end = std::max(end, actions_.back().seconds);
  return end;
}

void SessionTrace::event(const std::string& line) {
  const bool record = startsWith(line, "Record ");
  if (!record || forwardRecords_)
    forward_.event(line);
  const double t = now();
  if (record) {
    const int axis = static_cast<int>(std::string(kAxisLetters).find(line[7]));
    if (axis < 0 || axis >= kAxisCount)
      return;
    // As the machine takes it: a "DOJOG" with the stop byte clear runs the axis.
    const bool runs = lastLineStartedJog_ && fieldOf(line, " stop=") == 0;
    const double speed = fieldOf(line, " speed=");
    jogSpeeds_.push_back({t, axis, runs ? (fieldOf(line, " dir=") != 0 ? -speed : speed) : 0.0});
    return;
  }
  if (startsWith(line, "DoButton ")) {
    actions_.push_back({t, ActionKind::Button, line.substr(9)});
  } else if (startsWith(line, "SetDRO ")) {
    std::string text = line.substr(7);
    const std::size_t blank = text.find(' ');
    if (blank != std::string::npos)
      text[blank] = '=';
    actions_.push_back({t, ActionKind::DroWrite, text});
  } else if (startsWith(line, "Status ")) {
    actions_.push_back({t, ActionKind::Status, "\"" + quoted(line) + "\""});
  } else if (startsWith(line, "Code ")) {
    const std::string code = quoted(line);
    lastLineStartedJog_ = code == "DOJOG";
    ActionKind kind = ActionKind::OtherLine;
    if (code == "DOJOG")
      kind = ActionKind::DoJog;
    else if (code == "ENDJOG")
      kind = ActionKind::EndJog;
    else if (startsWith(code, "G91G1"))
      kind = ActionKind::StepLine;
    actions_.push_back({t, kind, code});
  }
}

void SessionTrace::simulatorEvent(SimulatorEvent what, HostSimulator& sim) {
  switch (what) {
    case SimulatorEvent::Started:
      useClock(sim.view());
      readModeSettings();
      break;
    case SimulatorEvent::Configured:
      readModeSettings();
      break;
    case SimulatorEvent::CycleEnded:
      sampleCycle(sim);
      break;
    case SimulatorEvent::Unplugged:
      actions_.push_back({now(), ActionKind::Pendant, "unplugged"});
      break;
    case SimulatorEvent::Plugged:
      actions_.push_back({now(), ActionKind::Pendant, "plugged in"});
      break;
  }
}

void SessionTrace::readModeSettings() {
  autoMode_ = profile_.readSetting("AutoMode", 1) != 0;
  singleMode_ = profile_.readSetting("SingleMode", 0) != 0;
}

void SessionTrace::sampleCycle(HostSimulator& sim) {
  useClock(sim.view());
  const PendantControls& controls = sim.controls();
  TraceSample sample;
  sample.seconds = now();
  if (lastWheel_ >= 0) {
    // The short way round, as the plug-in takes it; half a turn is no movement.
    int counts = (controls.wheel - lastWheel_ + 256) % 256;
    if (counts > 128)
      counts -= 256;
    sample.wheelCounts = counts == 128 ? 0 : counts;
  }
  lastWheel_ = controls.wheel;
  sample.intensity = controls.intensity;
  const int mode = jogModeForKnob(controls.knob & 0x7F, controls.side, autoMode_, singleMode_);
  if (mode != 0)
    jogMode_ = mode;
  sample.jogMode = jogMode_;
  sample.positions = sim.machine().positions();
  samples_.push_back(sample);
}

bool writeSessionPlot(const SessionTrace& trace, const std::string& title, const std::string& path,
                      std::string& error) {
  const std::vector<TraceSample>& samples = trace.samples();
  const double t0 = 0;
  const double t1 = std::max(trace.endSeconds(), 0.5);
  const double timeStep = tickStep(t1 - t0, 12);

  // Axes shown: those that moved or jogged.
  std::array<bool, kAxisCount> shown{};
  for (const TraceSample& s : samples) {
    for (int a = 0; a < kAxisCount; ++a)
      shown[a] = shown[a] || s.positions[a] != 0.0;
  }
  for (const JogSpeedPoint& p : trace.jogSpeeds())
    shown[p.axis] = shown[p.axis] || p.speed != 0.0;
  const bool anyAxis = std::find(shown.begin(), shown.end(), true) != shown.end();

  Svg body;
  double top = 78;
  const double gap = 30;
  auto nextPanel = [&](double height, double v0, double v1) {
    Panel panel{top, height, t0, t1, v0, v1};
    top += height + gap;
    return panel;
  };

  // Wheel and intensity.
  std::vector<Point> wheel, intensity;
  std::vector<double> wheelValues, intensityValues;
  for (const TraceSample& s : samples) {
    wheel.push_back({s.seconds, static_cast<double>(s.wheelCounts)});
    intensity.push_back({s.seconds, static_cast<double>(s.intensity)});
    wheelValues.push_back(s.wheelCounts);
    intensityValues.push_back(s.intensity);
  }
  double low, high;
  valueRange(wheelValues, 4, low, high);
  const Panel wheelPanel = nextPanel(80, low, high);
  valueRange(intensityValues, 50, low, high);
  const Panel intensityPanel = nextPanel(70, low, high);
  const Panel modePanel = nextPanel(26, 0, 1);

  // One band per axis shown, each on its own scale, so a step of 0.001 on one axis stays
  // visible beside a long jog of another.
  const int shownCount = static_cast<int>(std::count(shown.begin(), shown.end(), true));
  const double bandHeight = shownCount <= 3 ? 70 : 50;
  const double bandGap = 8;
  std::array<Panel, kAxisCount> positionPanels{};
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
    positionPanels[a] = Panel{top, bandHeight, t0, t1, low - pad, high + pad};
    top += bandHeight + bandGap;
  }
  const Panel noPositions{positionsTop, 40, t0, t1, 0, 1};
  if (!anyAxis)
    top += noPositions.height + bandGap;
  top += gap - bandGap;
  std::vector<double> speedValues;
  for (const JogSpeedPoint& p : trace.jogSpeeds())
    speedValues.push_back(p.speed);
  valueRange(speedValues, 100, low, high);
  const Panel speedPanel = nextPanel(130, low, high);
  const double laneHeight = 17;
  const Panel actionPanel = nextPanel(laneHeight * kActionKinds, 0, kActionKinds);
  const double height = actionPanel.top + actionPanel.height + 48;

  // Shading while the pendant is unplugged, under everything else.
  {
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
      shade(unpluggedAt, t1);
  }

  const char* empty = samples.empty() ? "No report cycle ran." : nullptr;

  drawFrame(body, wheelPanel, "Wheel", "counts per 25 ms report cycle (negative: reverse)");
  drawTimeGrid(body, wheelPanel, timeStep);
  drawValueTicks(body, wheelPanel);
  body.add("<g" + wheelPanel.scaleAttributes() + ">");
  drawSeries(body, wheelPanel, wheel, "wheel", "#333333");
  body.add("</g>");
  if (empty)
    drawNote(body, wheelPanel, empty);

  drawFrame(body, intensityPanel, "Jog intensity", "report byte 2, 0 to 255");
  drawTimeGrid(body, intensityPanel, timeStep);
  drawValueTicks(body, intensityPanel);
  body.add("<g" + intensityPanel.scaleAttributes() + ">");
  drawSeries(body, intensityPanel, intensity, "intensity", "#ff7f0e");
  body.add("</g>");

  // The jog mode as coloured bands, one per run of the same mode (a run shorter than a pixel
  // shows the mode it ends in).
  drawFrame(body, modePanel, "Jog mode", "from the knob, SIDE and the profile's settings");
  {
    struct Run {
      int mode;
      double from, to;
    };
    std::vector<Run> runs;
    double previousEnd = t0;
    for (const TraceSample& s : samples) {
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
      const ModeStyle& style = kModes[std::clamp(run.mode, 0, kModeCount - 1)];
      const double x0 = modePanel.x(run.from);
      const double w = std::max(0.5, modePanel.x(run.to) - x0);
      body.add("<rect data-mode=\"" + std::to_string(run.mode) + "\" x=\"" + px(x0) + "\" y=\"" +
               px(modePanel.top) + "\" width=\"" + px(w) + "\" height=\"" + px(modePanel.height) +
               "\" fill=\"" + style.colour + "\"><title>mode " + std::to_string(run.mode) + " " +
               style.name + ", " + number(run.from, 3) + " to " + number(run.to, 3) +
               " s</title></rect>");
      const std::string full = std::to_string(run.mode) + " " + style.name;
      const std::string shortName = std::to_string(run.mode);
      const std::string& label = textWidth(full, 11) + 6 < w ? full : shortName;
      if (run.mode != 0 && textWidth(label, 11) + 4 < w)
        body.text(x0 + w / 2, modePanel.top + modePanel.height / 2 + 4, label, 11, "middle");
    }
    if (empty)
      drawNote(body, modePanel, empty);
  }

  if (!anyAxis) {
    drawFrame(body, noPositions, "Axis positions", "");
    drawNote(body, noPositions, "No axis moved.");
  }
  bool firstBand = true;
  for (int a = 0; a < kAxisCount; ++a) {
    if (!shown[a])
      continue;
    const Panel& band = positionPanels[a];
    drawFrame(
        body, band, firstBand ? "Axis positions" : "",
        firstBand ? "host units (mm or inch, as the host is set), each axis on its own scale" : "");
    firstBand = false;
    drawTimeGrid(body, band, timeStep);
    drawValueTicks(body, band);
    body.text(kLeft - 105, band.top + band.height / 2 + 6, std::string(1, kAxisLetters[a]), 16,
              "middle", kAxisColours[a], "bold");
    body.add("<g" + band.scaleAttributes() + ">");
    std::vector<Point> points;
    for (const TraceSample& s : samples)
      points.push_back({s.seconds, s.positions[a]});
    drawSeries(body, band, points, "position", kAxisColours[a],
               std::string(" data-axis=\"") + kAxisLetters[a] + "\"");
    body.add("</g>");
  }

  drawFrame(body, speedPanel, "Jog record speed",
            "units per minute as \"DOJOG\" and \"ENDJOG\" leave it (negative: reverse)");
  drawTimeGrid(body, speedPanel, timeStep);
  drawValueTicks(body, speedPanel);
  body.add("<g" + speedPanel.scaleAttributes() + ">");
  for (int a = 0; a < kAxisCount; ++a) {
    std::vector<Point> points;
    double speed = 0;
    for (const JogSpeedPoint& p : trace.jogSpeeds()) {
      if (p.axis != a)
        continue;
      // The speed holds until the next jog command: drawn as steps.
      points.push_back({p.seconds, speed});
      speed = p.speed;
      points.push_back({p.seconds, speed});
    }
    if (points.empty())
      continue;
    points.insert(points.begin(), Point{t0, 0.0});
    points.push_back({t1, speed});
    drawSeries(body, speedPanel, points, "jog-speed", kAxisColours[a],
               std::string(" data-axis=\"") + kAxisLetters[a] + "\"");
  }
  body.add("</g>");
  if (trace.jogSpeeds().empty())
    drawNote(body, speedPanel, "No continuous jog.");

  // Host actions: one lane per kind; actions within a pixel of each other make one mark.
  body.text(kLeft, actionPanel.top - 7, "Host actions", 13, "start", kInk, "bold");
  body.text(kLeft + 100, actionPanel.top - 7,
            "what the plug-in did to the host (hover for details)", 12, "start", "#555555");
  drawTimeGrid(body, actionPanel, timeStep);
  for (int lane = 0; lane < kActionKinds; ++lane) {
    const LaneStyle& style = kLanes[lane];
    const double laneTop = actionPanel.top + lane * laneHeight;
    body.line(kLeft, laneTop + laneHeight, kLeft + kPlotWidth, laneTop + laneHeight, kGrid);
    body.text(kLeft - 6, laneTop + laneHeight - 4, style.name, 11, "end", "#444444");
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
      const int bucket = std::clamp(static_cast<int>((a.seconds - t0) / (t1 - t0) * kMarkBuckets),
                                    0, kMarkBuckets - 1);
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
               "\" width=\"" + px(w) + "\" height=\"" + px(laneHeight - 6) + "\" fill=\"" +
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
        body.text(lx, laneTop + laneHeight - 5, label, 10, "start", "#333333");
    }
  }
  body.rect(kLeft, actionPanel.top, kPlotWidth, actionPanel.height, "none",
            " stroke=\"" + std::string(kFrame) + "\" stroke-width=\"1\"");

  // The time axis under the last panel.
  const int timeDecimals = decimalsFor(timeStep);
  const double axisY = actionPanel.top + actionPanel.height;
  for (double t = std::ceil(t0 / timeStep) * timeStep; t <= t1 + timeStep * 1e-9; t += timeStep) {
    body.line(actionPanel.x(t), axisY, actionPanel.x(t), axisY + 5, kFrame);
    body.text(actionPanel.x(t), axisY + 18, number(t, timeDecimals), 11, "middle", "#555555");
  }
  body.text(kLeft + kPlotWidth / 2, axisY + 38, "Time (s)", 12, "middle");

  // Head: the title and the legend.
  Svg svg;
  svg.add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  svg.add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth, 0) +
          "\" height=\"" + number(height, 0) + "\" viewBox=\"0 0 " + number(kWidth, 0) + " " +
          number(height, 0) + "\" font-family=\"" + kFont + "\" data-samples=\"" +
          std::to_string(samples.size()) + "\">");
  svg.add("<title>" + escape(title) + "</title>");
  svg.rect(0, 0, kWidth, height, "#ffffff");
  char head[200];
  std::snprintf(head, sizeof head, "%zu report cycles over %s s", samples.size(),
                number(t1, 3).c_str());
  svg.text(kLeft, 24, title, 15, "start", kInk, "bold");
  svg.text(kWidth - kRight, 24, head, 12, "end", "#555555");
  double x = kLeft;
  svg.text(x, 48, "Axes:", 12);
  x += 42;
  for (int a = 0; a < kAxisCount; ++a) {
    if (!shown[a])
      continue;
    svg.line(x, 44, x + 22, 44, kAxisColours[a], 3);
    svg.text(x + 27, 48, std::string(1, kAxisLetters[a]), 12);
    x += 48;
  }
  if (!anyAxis) {
    svg.text(x, 48, "none moved", 12, "start", "#888888");
    x += 80;
  }
  svg.rect(x + 20, 38, 22, 12, "#f1f1f1", " stroke=\"#cccccc\"");
  svg.text(x + 48, 48, "pendant unplugged", 12);
  svg.text(x + 190, 48, "One colour per axis in the position and jog speed panels.", 12, "start",
           "#555555");
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

}  // namespace k4::hostsim
