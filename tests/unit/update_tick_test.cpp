#include <gtest/gtest.h>

#include "fake_host.h"
#include "host/exports.h"
#include "host/plugin_state.h"

namespace k4 {
namespace {

struct TickCase {
  int32_t before;
  int32_t after;
};

class UpdateTickTest : public ::testing::TestWithParam<TickCase> {
 protected:
  test::FakeHost fakeHost;
};

TEST_P(UpdateTickTest, EveryCounterFollowsTheWrapRule) {
  for (int32_t& counter : TickCounters)
    counter = GetParam().before;
  Update();
  for (int32_t counter : TickCounters)
    EXPECT_EQ(counter, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Counters, UpdateTickTest,
                         ::testing::Values(TickCase{0, 1}, TickCase{5, 6}, TickCase{100, 101},
                                           TickCase{999, 1000}, TickCase{1000, 1001},
                                           TickCase{1001, 101}, TickCase{5000, 101}));

TEST(UpdateTick, CountdownsStopAtZero) {
  test::FakeHost fakeHost;
  jogPauseCountdown = 3;
  wheelBusyCountdown = 5;
  droHoldCountdown = 1;
  Update();
  EXPECT_EQ(jogPauseCountdown, 2);
  EXPECT_EQ(wheelBusyCountdown, 4);
  EXPECT_EQ(droHoldCountdown, 0);
  Update();
  Update();
  Update();
  EXPECT_EQ(jogPauseCountdown, 0);
  EXPECT_EQ(wheelBusyCountdown, 1);
  EXPECT_EQ(droHoldCountdown, 0);
}

TEST(UpdateTick, CounterLeftAloneNeverFallsBelowTheDetectorThresholds) {
  test::FakeHost fakeHost;
  for (int i = 0; i < 5000; ++i) {
    Update();
    ASSERT_GT(TickCounters[0], 100);
  }
}

}  // namespace
}  // namespace k4
