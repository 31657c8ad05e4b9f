#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pendant_timeline.h"

namespace k4 {
namespace {

using test::reportWord;
using Calls = std::vector<std::string>;

constexpr bool kWithSide = true;

class ZeroReference : public ::testing::Test {
 protected:
  ZeroReference() : t(7) {}
  // A click of STOP (with SIDE held or not) held for `heldTicks` Update ticks, then a pause of
  // `pauseTicks` after the release.
  void click(bool side, int heldTicks = 1, int pauseTicks = 1) {
    t.cycle(reportWord(0, true, side));
    t.cycle(reportWord(0, true, side));  // the same report again: no new edge
    test::updateTicks(heldTicks);
    t.cycle(reportWord(0, false, side));
    t.cycle(0);
    test::updateTicks(pauseTicks);
  }

  test::PendantTimeline t;
};

TEST(ZeroReferenceAxes, DoubleClickZeroesTheSelectedAxis) {
  const char* expected[] = {"DoButton 1008", "DoButton 1009", "DoButton 1010",
                            "DoButton 1011", nullptr,         nullptr};
  for (int axis = 0; axis < 6; ++axis) {
    test::PendantTimeline timeline(7);
    timeline.window.axisIndex = axis;
    for (int i = 0; i < 2; ++i) {
      timeline.cycle(reportWord(0, true));
      test::updateTicks(1);
      timeline.cycle(0);
      test::updateTicks(1);
    }
    EXPECT_EQ(timeline.host.take(), expected[axis] ? Calls{expected[axis]} : Calls{}) << axis;
  }
}

TEST_F(ZeroReference, DoubleClickWithSideReferencesTheSelectedAxis) {
  t.window.axisIndex = 3;
  click(kWithSide);
  EXPECT_EQ(t.host.take(), Calls{});
  click(kWithSide);
  EXPECT_EQ(t.host.take(), Calls{"DoButton 1025"});
}

TEST_F(ZeroReference, AxisCHasNoCodes) {
  t.window.axisIndex = 5;
  click(false);
  click(false);
  click(kWithSide);
  click(kWithSide);
  EXPECT_EQ(t.host.take(), Calls{});
}

TEST_F(ZeroReference, SingleClickAfterALongPauseDoesNothing) {
  t.window.axisIndex = 2;
  test::updateTicks(500);
  click(false);
  test::updateTicks(5);
  click(false);  // too late to pair with the first
  EXPECT_EQ(t.host.take(), Calls{});
}

TEST_F(ZeroReference, QuickClicksKeepFiring) {
  t.window.axisIndex = 0;
  for (int i = 0; i < 4; ++i)
    click(false);
  EXPECT_EQ(t.host.take(), (Calls{"DoButton 1008", "DoButton 1008", "DoButton 1008"}));
}

TEST_F(ZeroReference, HeldSecondPressFiresNothing) {
  t.window.axisIndex = 1;
  click(false);
  click(false, 5);
  EXPECT_EQ(t.host.take(), Calls{});
}

}  // namespace
}  // namespace k4
