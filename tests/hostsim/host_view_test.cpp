// The simulator's event loop: on the virtual clock a 25 ms timer fires once per 25 ms, a late
// real-clock timer fires once, and a callback may remove timers.
#include <gtest/gtest.h>

#include "host_view.h"

namespace k4::hostsim {
namespace {

struct Counter {
  int calls = 0;
  static void tick(void* self) { ++static_cast<Counter*>(self)->calls; }
};

TEST(SimHostView, TimerFiresOncePerPeriodOnTheVirtualClock) {
  SimHostView view;
  Counter counter;
  ASSERT_GT(view.addTimer(25, &Counter::tick, &counter), 0);
  view.setNow(24);
  EXPECT_EQ(view.fireDueTimers(), 0);
  view.setNow(25);
  EXPECT_EQ(view.fireDueTimers(), 1);
  view.setNow(100);  // three more periods have passed
  EXPECT_EQ(view.fireDueTimers(), 3);
  EXPECT_EQ(counter.calls, 4);
  EXPECT_EQ(view.nextDue(), 125);
}

TEST(SimHostView, ALateTimerFiresOnceWhenCoalesced) {
  SimHostView view;
  Counter counter;
  view.addTimer(25, &Counter::tick, &counter);
  view.setNow(110);
  EXPECT_EQ(view.fireDueTimers(true), 1);
  EXPECT_EQ(view.nextDue(), 125);
}

TEST(SimHostView, ACallbackMayRemoveItsTimer) {
  SimHostView view;
  struct SelfRemoving {
    SimHostView* view;
    int id = 0;
    int calls = 0;
    static void tick(void* self) {
      auto* me = static_cast<SelfRemoving*>(self);
      ++me->calls;
      me->view->removeTimer(me->id);
    }
  } timer{&view};
  timer.id = view.addTimer(25, &SelfRemoving::tick, &timer);
  view.setNow(1000);
  view.fireDueTimers();
  EXPECT_EQ(timer.calls, 1);
  EXPECT_FALSE(view.hasTimers());
  EXPECT_EQ(view.addTimer(0, &Counter::tick, nullptr), 0);
}

}  // namespace
}  // namespace k4::hostsim
