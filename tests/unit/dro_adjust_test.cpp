#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "pendant_timeline.h"

namespace k4 {
namespace {

using Calls = std::vector<std::string>;

struct AdjustCase {
  const char* name;
  int mode;
  int dro;
  double before;
  int reverse;
  int steps;
  Calls expected;
};

class DroAdjust : public ::testing::TestWithParam<AdjustCase> {};

TEST_P(DroAdjust, WheelTrimsTheValueWithinItsBounds) {
  const AdjustCase& c = GetParam();
  test::PendantTimeline t(c.mode);
  t.host.dros[c.dro] = c.before;
  t.cycle(0, c.reverse, c.steps);
  EXPECT_EQ(t.host.take(), c.expected);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, DroAdjust,
    ::testing::Values(
        AdjustCase{"HalfPercentPerCount", 4, 3, 50.0, 0, 10, {"SetDRO 3 52.5"}},
        AdjustCase{"CappedAtTheUpperBound", 4, 3, 99.0, 0, 10, {"SetDRO 3 100"}},
        AdjustCase{"AtTheUpperBoundNotWritten", 4, 3, 100.0, 0, 1, {}},
        AdjustCase{"AboveTheUpperBoundNotWritten", 4, 3, 180.0, 0, 1, {}},
        AdjustCase{"AboveTheUpperBoundTurnedDown", 4, 3, 180.0, 1, 10, {"SetDRO 3 171"}},
        AdjustCase{"ZeroCannotBeRaised", 4, 3, 0.0, 0, 10, {"SetDRO 3 0"}},
        AdjustCase{"ZeroNotWrittenBackward", 4, 3, 0.0, 1, 10, {}},
        AdjustCase{"RaisedToTheLowerBound", 5, 821, 1.5, 1, 100, {"SetDRO 821 1"}},
        AdjustCase{"NegativeFactorGivesTheLowerBound", 6, 74, 120.0, 1, 250, {"SetDRO 74 1"}},
        AdjustCase{"OverrideForward", 5, 821, 200.0, 0, 20, {"SetDRO 821 220"}},
        AdjustCase{"SpindleCapped", 6, 74, 249.0, 0, 2, {"SetDRO 74 250"}},
        AdjustCase{"SpeedLowerBound", 4, 3, 0.1, 1, 1, {"SetDRO 3 0.1"}},
        AdjustCase{"StillWheelDoesNothing", 5, 821, 100.0, 0, 0, {}},
        AdjustCase{"NotANumberLeftAloneForward", 4, 3, kNaN, 0, 5, {}},
        AdjustCase{"NotANumberLeftAloneBackward", 4, 3, kNaN, 1, 5, {}}),
    [](const ::testing::TestParamInfo<AdjustCase>& param) {
      return std::string(param.param.name);
    });

TEST(DroAdjustModes, EachModeTouchesOnlyItsOwnValue) {
  test::PendantTimeline t(5);
  t.host.dros[3] = 50.0;
  t.host.dros[821] = 50.0;
  t.host.dros[74] = 50.0;
  t.host.recordReads = true;
  t.cycle(0, 0, 2);
  EXPECT_EQ(t.host.take(), (Calls{"GetDRO 821 -> 50", "SetDRO 821 50.5"}));
}

}  // namespace
}  // namespace k4
