// The session plot's own logic: thinning a long session keeps a jog of a single cycle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "plot.h"
#include "profile_file.h"

namespace k4::hostsim {
namespace {

class SilentSink final : public EventSink {
 public:
  void event(const HostEvent&) override {}
};

double attribute(const std::string& text, std::size_t from, const std::string& name) {
  const std::size_t at = text.find(name + "=\"", from);
  return at == std::string::npos ? 0.0 : std::atof(text.c_str() + at + name.size() + 2);
}

// Ten minutes of a jog whose speed wavers between 100 and 160 in every cycle, with one cycle
// at 900 in the middle: the picture thins the series to a bounded number of points but still
// reaches 900.
TEST(SessionPlot, ThinningKeepsAOneCycleJog) {
  SilentSink sink;
  ProfileFile profile;
  std::string error;
  ASSERT_TRUE(profile.open("", error)) << error;
  SessionTrace trace(sink, profile, false);
  SimHostView clock;
  trace.useClock(clock);
  constexpr int kCycles = 10 * 60 * 40;
  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    clock.setNow(cycle * 25);
    trace.event({.kind = HostEventKind::Code, .text = "DOJOG"});
    const int speed = cycle == kCycles / 2 ? 900 : 100 + cycle % 7 * 10;
    trace.event({.kind = HostEventKind::Record,
                 .code = 0,
                 .record = AxisJogRecord{0, speed, 0, 1000, 0, 1, {0, 0}},
                 .jogStart = true});
  }
  const std::string path = profile.path() + ".svg";
  ASSERT_TRUE(writeSessionPlot(trace, "long", path, error)) << error;
  std::ifstream file(path);
  std::stringstream content;
  content << file.rdbuf();
  std::remove(path.c_str());
  const std::string svg = content.str();

  const std::size_t series = svg.find("data-series=\"jog-speed\"");
  ASSERT_NE(series, std::string::npos);
  const std::size_t group = svg.rfind("<g ", series);
  const double v0 = attribute(svg, group, "data-v0");
  const double pxPerUnit = attribute(svg, group, "data-px-per-unit");
  const double y0 = attribute(svg, group, "data-y0");
  const std::size_t points = svg.find("points=\"", series) + 8;
  std::istringstream pairs(svg.substr(points, svg.find('"', points) - points));
  std::string pair;
  double highest = 0;
  int count = 0;
  while (pairs >> pair) {
    const double y = std::atof(pair.c_str() + pair.find(',') + 1);
    highest = std::max(highest, v0 + (y0 - y) / pxPerUnit);
    ++count;
  }
  EXPECT_NEAR(highest, 900.0, 1.0);
  EXPECT_LE(count, 2 * 510 + 2);
  EXPECT_GT(count, 2);
}

}  // namespace
}  // namespace k4::hostsim
