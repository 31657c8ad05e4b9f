#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pendant_report.h"

namespace k4 {
namespace {

using test::PendantReport;

constexpr PendantReport kIdle{};
constexpr PendantReport kStart{.cycleButton = true, .side = true};
constexpr PendantReport kStop{.stop = true, .side = true};
constexpr PendantReport kAllThree{.cycleButton = true, .stop = true, .side = true};
constexpr PendantReport kCycleAlone{.cycleButton = true};
constexpr PendantReport kStopAlone{.stop = true};
constexpr PendantReport kSideAlone{.side = true};

struct ComboCase {
  const char* name;
  bool cycleLedLit;  // LED 804
  std::vector<PendantReport> reports;
  std::vector<std::string> calls;
};

class CombinationsTest : public test::PendantTest,
                         public ::testing::WithParamInterface<ComboCase> {};

TEST_P(CombinationsTest, PressesGiveTheirCodesOnce) {
  fakeHost.leds[804] = GetParam().cycleLedLit;
  for (const PendantReport& report : GetParam().reports) {
    present(report);
    window.decodeCombinations();
  }
  EXPECT_EQ(fakeHost.take(), GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Timelines, CombinationsTest,
    ::testing::Values(
        ComboCase{"StartThenStopFromThePendant",
                  false,
                  {kStart, kStart, kIdle, kStop, kStop, kIdle},
                  {"DoButton 1000", "DoButton 1003"}},
        ComboCase{"StartWhilePausedResumes", true, {kStart, kIdle}, {"DoButton 1001"}},
        ComboCase{
            "StopWithoutPendantStart", false, {kStop, kIdle}, {"DoButton 1003", "DoButton 1002"}},
        ComboCase{"SecondStopAfterAPendantStart",
                  false,
                  {kStart, kIdle, kStop, kIdle, kStop, kIdle},
                  {"DoButton 1000", "DoButton 1003", "DoButton 1003", "DoButton 1002"}},
        ComboCase{"ThreeButtonsInOneReport",
                  false,
                  {kAllThree, kAllThree, kIdle},
                  {"DoButton 1000", "DoButton 1003"}},
        ComboCase{"HoldingSideWhileTheOtherButtonIsReleasedEndsThePress",
                  false,
                  {kStart, kSideAlone, kStart},
                  {"DoButton 1000", "DoButton 1000"}},
        ComboCase{"ButtonsWithoutSideDoNothing", false, {kCycleAlone, kStopAlone, kIdle}, {}}),
    [](const ::testing::TestParamInfo<ComboCase>& param) { return param.param.name; });

}  // namespace
}  // namespace k4
