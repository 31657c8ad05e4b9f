// The simulated machine: command lines move the axes, jog records jog them over time, and the
// host's initial state is that of a host ready to jog.
#include <gtest/gtest.h>

#include "host_event.h"
#include "machine.h"

namespace k4::hostsim {
namespace {

// The simulated machine behind its host blocks, as the simulator puts it in place.
struct AttachedMachine {
  AttachedMachine() { machine.attach(blocks); }
  // The axes a jog command concerned; none for other lines.
  std::vector<int> run(const std::string& line) { return machine.code(line, blocks); }

  HostBlocks blocks;
  SimulatedMachine machine;
};

TEST(Machine, StartsAsAHostReadyToJog) {
  AttachedMachine host;
  SimulatedMachine& machine = host.machine;
  EXPECT_TRUE(machine.led(83));
  EXPECT_FALSE(machine.led(800));
  EXPECT_EQ(machine.dro(828), 0.0);
  EXPECT_EQ(host.blocks.planner.stepIncrement, 0.001);
  EXPECT_EQ(host.blocks.setup.absoluteWord, 0);
  EXPECT_EQ(host.blocks.planner.fullJogSpeed[5], 1000);
  EXPECT_EQ(machine.positions(), "X 0.0000 Y 0.0000 Z 0.0000 A 0.0000 B 0.0000 C 0.0000");
}

// A session a person runs starts with the overrides and the jog speed a host shows, so knob
// positions 3 to 6 move and trim something; a scenario's machine keeps them at 0.
TEST(Machine, StartedAsAHostHasOverridesAndAJogSpeed) {
  AttachedMachine person;
  person.machine.startAsAHost();
  AttachedMachine scripted;
  const struct {
    int dro;
    double host;
  } cases[] = {{821, 100.0}, {74, 100.0}, {3, 50.0}, {828, 0.0}};
  for (const auto& c : cases) {
    EXPECT_EQ(person.machine.dro(c.dro), c.host) << c.dro;
    EXPECT_EQ(scripted.machine.dro(c.dro), 0.0) << c.dro;
  }
  EXPECT_EQ(person.blocks.planner.stepIncrement, 0.001);
}

TEST(Machine, StepLinesMoveRelativeAndG90EndsRelativeMode) {
  AttachedMachine host;
  SimulatedMachine& machine = host.machine;
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
    EXPECT_TRUE(host.run(c.line).empty());
    EXPECT_EQ(machine.positions(), c.positions) << c.line;
  }
  EXPECT_TRUE(machine.takeMoved());
  EXPECT_FALSE(machine.takeMoved());
  host.run("M3");
  EXPECT_FALSE(machine.takeMoved());
}

TEST(Machine, Dro828BecomesTheJogIncrement) {
  AttachedMachine host;
  host.machine.setDro(828, 0.01);
  EXPECT_EQ(host.blocks.planner.stepIncrement, 0.01);
  host.machine.setDro(821, 5);
  EXPECT_EQ(host.blocks.planner.stepIncrement, 0.01);
}

TEST(Machine, JogRecordsJogTheAxisTheyWereWrittenFor) {
  AttachedMachine host;
  SimulatedMachine& machine = host.machine;
  host.blocks.rememberRecords();
  AxisJogRecord& z = host.blocks.engine.axisJog[2];
  z = AxisJogRecord{0, 600, 0, 1000, 0, 1, {0, 0}};
  EXPECT_EQ(host.run("DOJOG"), std::vector<int>{2});
  EXPECT_EQ(formatRecord(2, z), "Z dir=0 speed=600 full=1000 stop=0 start=1");
  machine.beforeCycle(host.blocks, 0.025);  // 600 units per minute for one report cycle
  EXPECT_EQ(machine.positions(), "X 0.0000 Y 0.0000 Z 0.2500 A 0.0000 B 0.0000 C 0.0000");

  // The same record again: still Z, found by its start mark.
  EXPECT_EQ(host.run("DOJOG"), std::vector<int>{2});

  // Reverse at half speed.
  z.direction = 1;
  z.jogSpeed = 300;
  host.run("DOJOG");
  machine.beforeCycle(host.blocks, 0.1);
  EXPECT_EQ(machine.positions(), "X 0.0000 Y 0.0000 Z -0.2500 A 0.0000 B 0.0000 C 0.0000");

  z.stopByte = 1;
  EXPECT_EQ(host.run("ENDJOG"), std::vector<int>{2});
  EXPECT_FALSE(machine.jogging(2));
  // A repeated ENDJOG with nothing rewritten still concerns the last jogged axis.
  EXPECT_EQ(host.run("ENDJOG"), std::vector<int>{2});
  machine.takeMoved();
  machine.beforeCycle(host.blocks, 1.0);
  EXPECT_FALSE(machine.takeMoved());
}

TEST(Machine, ADoJogWithTheStopMarkSetDoesNotMove) {
  AttachedMachine host;
  host.blocks.rememberRecords();
  host.blocks.engine.axisJog[0] = AxisJogRecord{0, 600, 0, 1000, 1, 1, {0, 0}};
  EXPECT_EQ(host.run("DOJOG"), std::vector<int>{0});
  EXPECT_FALSE(host.machine.jogging(0));
}

}  // namespace
}  // namespace k4::hostsim
