// The simulated machine: command lines move the axes, jog records jog them over time, and the
// host's initial state is that of a host ready to jog.
#include <gtest/gtest.h>

#include "machine.h"

namespace k4::hostsim {
namespace {

bool run(Machine& machine, const std::string& line) {
  Machine::JogEvent jog;
  return machine.execute(line, jog);
}

TEST(Machine, StartsAsAHostReadyToJog) {
  Machine machine;
  EXPECT_TRUE(machine.led(83));
  EXPECT_FALSE(machine.led(800));
  EXPECT_EQ(machine.dro(828), 0.0);
  EXPECT_EQ(machine.planner.stepIncrement, 0.001);
  EXPECT_EQ(machine.setup.absoluteWord, 0);
  EXPECT_EQ(machine.planner.fullJogSpeed[5], 1000);
  EXPECT_EQ(machine.formatPositions(), "X 0.0000 Y 0.0000 Z 0.0000 A 0.0000 B 0.0000 C 0.0000");
}

TEST(Machine, StepLinesMoveRelativeAndG90EndsRelativeMode) {
  Machine machine;
  struct Case {
    const char* line;
    const char* positions;
  };
  const Case cases[] = {
      {"G91G1 F100 Z 0.0030", "X 0.0000 Y 0.0000 Z 0.0030 A 0.0000 B 0.0000 C 0.0000"},
      {"G91G1 F100 Z -0.0010", "X 0.0000 Y 0.0000 Z 0.0020 A 0.0000 B 0.0000 C 0.0000"},
      {"G91G1 F12.5000 A 1.5000", "X 0.0000 Y 0.0000 Z 0.0020 A 1.5000 B 0.0000 C 0.0000"},
      {"G91G1 X0.7071 Y-0.7071 ", "X 0.7071 Y -0.7071 Z 0.0020 A 1.5000 B 0.0000 C 0.0000"},
      {"M123", "X 0.7071 Y -0.7071 Z 0.0020 A 1.5000 B 0.0000 C 0.0000"},
      {"G90", "X 0.7071 Y -0.7071 Z 0.0020 A 1.5000 B 0.0000 C 0.0000"},
      // Absolute now: the number is the target, not a distance.
      {"G1 Z 5", "X 0.7071 Y -0.7071 Z 5.0000 A 1.5000 B 0.0000 C 0.0000"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(run(machine, c.line));
    EXPECT_EQ(machine.formatPositions(), c.positions) << c.line;
  }
  EXPECT_TRUE(machine.takeMoved());
  EXPECT_FALSE(machine.takeMoved());
  run(machine, "M3");
  EXPECT_FALSE(machine.takeMoved());
}

TEST(Machine, Dro828BecomesTheJogIncrement) {
  Machine machine;
  machine.setDro(828, 0.01);
  EXPECT_EQ(machine.planner.stepIncrement, 0.01);
  machine.setDro(821, 5);
  EXPECT_EQ(machine.planner.stepIncrement, 0.01);
}

TEST(Machine, JogRecordsJogTheAxisTheyWereWrittenFor) {
  Machine machine;
  machine.rememberRecords();
  AxisJogRecord& z = machine.engine.axisJog[2];
  z = AxisJogRecord{0, 600, 0, 1000, 0, 1, {0, 0}};
  Machine::JogEvent jog;
  EXPECT_TRUE(machine.execute("DOJOG", jog));
  EXPECT_TRUE(jog.start);
  EXPECT_EQ(jog.axes, std::vector<int>{2});
  EXPECT_EQ(machine.formatRecord(2), "Z dir=0 speed=600 full=1000 stop=0 start=1");
  machine.advance(0.025);  // 600 units per minute for one report cycle
  EXPECT_EQ(machine.formatPositions(), "X 0.0000 Y 0.0000 Z 0.2500 A 0.0000 B 0.0000 C 0.0000");

  // The same record again: still Z, found by its start mark.
  EXPECT_TRUE(machine.execute("DOJOG", jog));
  EXPECT_EQ(jog.axes, std::vector<int>{2});

  // Reverse at half speed.
  z.direction = 1;
  z.jogSpeed = 300;
  machine.execute("DOJOG", jog);
  machine.advance(0.1);
  EXPECT_EQ(machine.formatPositions(), "X 0.0000 Y 0.0000 Z -0.2500 A 0.0000 B 0.0000 C 0.0000");

  z.stopByte = 1;
  machine.execute("ENDJOG", jog);
  EXPECT_FALSE(jog.start);
  EXPECT_EQ(jog.axes, std::vector<int>{2});
  EXPECT_FALSE(machine.jogging(2));
  // A repeated ENDJOG with nothing rewritten still concerns the last jogged axis.
  machine.execute("ENDJOG", jog);
  EXPECT_EQ(jog.axes, std::vector<int>{2});
  machine.takeMoved();
  machine.advance(1.0);
  EXPECT_FALSE(machine.takeMoved());
}

TEST(Machine, ADoJogWithTheStopMarkSetDoesNotMove) {
  Machine machine;
  machine.rememberRecords();
  machine.engine.axisJog[0] = AxisJogRecord{0, 600, 0, 1000, 1, 1, {0, 0}};
  Machine::JogEvent jog;
  machine.execute("DOJOG", jog);
  EXPECT_EQ(jog.axes, std::vector<int>{0});
  EXPECT_FALSE(machine.jogging(0));
}

}  // namespace
}  // namespace k4::hostsim
