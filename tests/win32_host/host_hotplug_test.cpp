// The pendant plugged in whenever and wherever: after the host started the plug-in, and back in
// another port under another device path. The plug-in DLL with the stand-in pendant behind its
// device imports; the system's notifications as the window receives them.
#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "stand_in_host.h"

namespace k4::test {
namespace {

// Another port: on Windows the device path names the port the pendant is plugged into.
const std::string kOtherPort =
    "\\\\?\\hid#vid_04d8&pid_fce5#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::string kMouse =
    "\\\\?\\hid#vid_046d&pid_c077#7&3f0e2d1c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

long dojogsIn(const Calls& calls) {
  return std::count(calls.begin(), calls.end(), "Code DOJOG");
}

class PluggedInLater : public StandInHost {
 protected:
  PluggedInLater() { presentAtStart = false; }
};

TEST_F(PluggedInLater, IsPickedUpAtItsArrivalAndItsFirstReportOnlySetsTheWheelReference) {
  // Absent, and listening for its arrival all the same.
  EXPECT_EQ(pendant->notificationRegistrations(), 1);
  // The cycle does nothing, whatever the stand-in would report.
  EXPECT_EQ(cycle(pendantReport(wheel, 60, kVelocityKnob)), Calls{});
  const int enumerationsBefore = pendant->enumerations();

  pendant->plugInAt(pendant->path());
  deviceChange(DBT_DEVICEARRIVAL);
  EXPECT_EQ(pendant->enumerations(), enumerationsBefore + 1);
  EXPECT_EQ(pendant->openDeviceHandles(), 3);

  // The wheel's counter stands anywhere: its first reading is a reference, not a movement.
  wheel = 200;
  EXPECT_EQ(dojogsIn(cycle(pendantReport(wheel, 60, kVelocityKnob))), 0);
  startJog();
  pumpCountingTimerTicks(100, window);
  EXPECT_FALSE(pendant->takeOutput().empty());

  // Its removal is recognised as at start-up.
  hostRecord.calls.clear();
  pendant->unplug();
  deviceChange(DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(countOf("DoButton 1021"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
}

TEST_F(PluggedInLater, AnotherDevicesArrivalWhileItIsAbsentOpensNothing) {
  pendant->setForeignInterfaces({{kMouse, 0x046D, 0xC077}}, 1);
  deviceChange(DBT_DEVICEARRIVAL, kMouse);
  EXPECT_EQ(pendant->openDeviceHandles(), 0);
  EXPECT_EQ(cycle(pendantReport(wheel, 60, kVelocityKnob)), Calls{});
}

TEST_F(StandInHost, APendantBackInAnotherPortIsFoundThereAndItsNextRemovalIsRecognised) {
  const std::string firstPort = pendant->path();
  cycle(pendantReport(wheel, 0, kVelocityKnob));
  hostRecord.calls.clear();
  pendant->unplug();
  deviceChange(DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(countOf("DoButton 1021"), 1);

  pendant->plugInAt(kOtherPort);
  deviceChange(DBT_DEVICEARRIVAL);
  EXPECT_EQ(pendant->deviceOpens(kOtherPort), 2) << "read and write handle on the new path";
  EXPECT_EQ(pendant->openDeviceHandles(), 3);
  wheel = 90;
  EXPECT_EQ(dojogsIn(cycle(pendantReport(wheel, 60, kVelocityKnob))), 0);
  startJog();

  // Pulled out of the new port: the removal names the new path, and is the pendant's.
  hostRecord.calls.clear();
  pendant->unplug();
  deviceChange(DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(countOf("DoButton 1021"), 1);
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  // A removal naming the old port means nothing any more.
  hostRecord.calls.clear();
  deviceChange(DBT_DEVICEREMOVECOMPLETE, firstPort);
  EXPECT_EQ(hostRecord.calls, Calls{});
}

}  // namespace
}  // namespace k4::test
