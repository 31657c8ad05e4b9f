// The scenario language: what each line turns into, which lines are refused with which
// message, and the rules about when the plug-in must (not) be running.
#include <gtest/gtest.h>

#include "scenario.h"

namespace k4::hostsim {
namespace {

using Step = ScriptedDialogView::Step;

std::string errorOf(const std::string& script, int* line = nullptr) {
  try {
    parseScenario(script);
  } catch (const ParseError& error) {
    if (line != nullptr)
      *line = error.line;
    return error.what();
  }
  return "no error";
}

std::vector<Op> opsOf(const std::string& script) {
  std::vector<Op> ops;
  for (const Command& command : parseScenario(script))
    ops.push_back(command.op);
  return ops;
}

TEST(ScenarioParse, PendantControlsMakeTheReportBytes) {
  const auto commands =
      parseScenario("pendant wheel=250 intensity=40 knob=3 reset=1 any=1 cycle=1 stop=1 side=1\n");
  ASSERT_EQ(commands.size(), 1u);
  PendantControls controls;
  EXPECT_EQ(formatReport(controls.report()), "00 00 00 00 01 00 00 00");  // knob starts at 1
  applyPendantChanges(controls, commands[0].pendant);
  // Bits 24..28 are byte 3 bits 0..4.
  EXPECT_EQ(formatReport(controls.report()), "00 FA 28 1F 03 00 00 00");
  PendantControls copy;
  copy.takeReport(controls.report());
  EXPECT_EQ(copy.report(), controls.report());
}

TEST(ScenarioParse, RelativeWheelAndReportBytes) {
  const auto commands = parseScenario(
      "pendant wheel=+3 wheel=-5\n"
      "report 00 05 00 08 01 00 00 00\n"
      "report 0005000801000000\n");
  ASSERT_EQ(commands.size(), 3u);
  ASSERT_EQ(commands[0].pendant.size(), 2u);
  EXPECT_EQ(commands[0].pendant[0].field, PendantField::WheelBy);
  EXPECT_EQ(commands[0].pendant[0].value, 3);
  EXPECT_EQ(commands[0].pendant[1].value, -5);
  EXPECT_EQ(formatReport(commands[1].report), "00 05 00 08 01 00 00 00");
  EXPECT_EQ(commands[2].report, commands[1].report);
}

TEST(ScenarioParse, SettingsKeepTheirTextVerbatim) {
  const auto commands =
      parseScenario("setting AutoMode=0 Macro1=\"12 with blanks\" OEM1=\"\" StepJogRate=7x\n");
  ASSERT_EQ(commands.size(), 1u);
  const auto& settings = commands[0].settings;
  ASSERT_EQ(settings.size(), 4u);
  EXPECT_EQ(settings[0].key, "AutoMode");
  EXPECT_EQ(settings[0].text, "0");
  EXPECT_EQ(settings[1].text, "12 with blanks");
  EXPECT_EQ(settings[2].text, "");
  EXPECT_EQ(settings[3].key, "StepJogRate");
  EXPECT_EQ(settings[3].text, "7x");
}

TEST(ScenarioParse, ConfigBecomesDialogSteps) {
  const auto commands =
      parseScenario("config StepSize1=3 SingleMode=1 AutoMode=0 Macro2=\" 42\" ok\n");
  ASSERT_EQ(commands.size(), 2u);  // an implicit start first
  const auto& steps = commands[1].dialog;
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0].kind, Step::Kind::SelectEntry);
  EXPECT_EQ(steps[0].key, "StepSize1");
  EXPECT_EQ(steps[0].value, 3);
  EXPECT_EQ(steps[1].kind, Step::Kind::SetCheck);
  EXPECT_EQ(steps[1].key, "SingleMode");
  EXPECT_EQ(steps[1].value, 1);  // the second button: "Velocity MPG Mode."
  EXPECT_EQ(steps[2].kind, Step::Kind::SetCheck);
  EXPECT_EQ(steps[2].key, "AutoMode");
  EXPECT_EQ(steps[2].value, 0);
  EXPECT_EQ(steps[3].kind, Step::Kind::SetText);
  EXPECT_EQ(steps[3].key, "Macro2");
  EXPECT_EQ(steps[3].text, " 42");
  EXPECT_EQ(steps[4].kind, Step::Kind::PressOk);
  EXPECT_EQ(parseScenario("config escape\n")[1].dialog.back().kind, Step::Kind::PressEscape);
}

TEST(ScenarioParse, HostFields) {
  const auto commands = parseScenario(
      "host engine-queue 1 2\nhost full-speed C 500\nhost rotation -30.5\nhost inhibit 1\n");
  EXPECT_EQ(commands[0].hostField, HostField::EngineQueue);
  EXPECT_EQ(commands[0].values[1], 2);
  EXPECT_EQ(commands[1].hostField, HostField::FullSpeed);
  EXPECT_EQ(commands[1].axis, 5);
  EXPECT_EQ(commands[1].values[0], 500);
  EXPECT_EQ(commands[2].values[0], -30.5);
  EXPECT_EQ(commands[3].values[0], 1);
}

TEST(ScenarioParse, CommentsBlankLinesAndEcho) {
  const auto commands = parseScenario(
      "# a comment\n\n   \ncycle 3 # three cycles\necho Step #2: the wheel  \necho\n");
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[1].op, Op::Cycle);
  EXPECT_EQ(commands[1].count, 3);
  EXPECT_EQ(commands[1].line, 4);
  EXPECT_EQ(commands[2].text, "Step #2: the wheel");
  EXPECT_EQ(commands[3].text, "");
}

TEST(ScenarioParse, StartIsImplicitBeforeTheFirstCommandThatNeedsThePlugIn) {
  EXPECT_EQ(opsOf("setting AutoMode=0\npendant absent\nled 800 on\nreport 0000000000000000\n"
                  "cycle\nupdate\n"),
            (std::vector<Op>{Op::Setting, Op::PendantAbsent, Op::Led, Op::Report, Op::Start,
                             Op::Cycle, Op::Update}));
  const auto commands = parseScenario("echo hello\nstep 2\n");
  EXPECT_TRUE(commands[1].implicit);
  EXPECT_EQ(commands[1].line, 2);
  // After stop, only an explicit start runs the plug-in again.
  EXPECT_EQ(opsOf("start\nstop\nsetting Vel=2\nstart\ncycle\n"),
            (std::vector<Op>{Op::Start, Op::Stop, Op::Setting, Op::Start, Op::Cycle}));
}

TEST(ScenarioParse, BadLinesAreRefusedWithTheirLineAndReason) {
  struct Case {
    const char* script;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"cycle\nfly away\n", 2, "unknown command \"fly\""},
      {"cycle -1\n", 1, "count: -1 is out of range 0..10000000"},
      {"cycle two\n", 1, "count: \"two\" is not an integer"},
      {"cycle 1 2\n", 1, "cycle takes at most one count"},
      {"report 00 05 00\n", 1, "report: expected 8 bytes as 16 hex digits, got 6 digits"},
      {"report 0 005000801000000\n", 1, "report: \"0\" splits a byte"},
      {"report 00 05 00 08 01 00 00 0G\n", 1, "report: \"0G\" is not hex"},
      {"pendant wheel=256\n", 1, "wheel: 256 is out of range 0..255"},
      {"pendant knob=128\n", 1, "knob: 128 is out of range 0..127"},
      {"pendant stop=2\n", 1, "stop must be 0 or 1, not \"2\""},
      {"pendant volume=3\n", 1,
       "pendant: unknown control \"volume\" (wheel, intensity, knob, reset, any, cycle, stop, "
       "side)"},
      {"pendant wheel\n", 1, "expected KEY=VALUE, not \"wheel\""},
      {"led 800 bright\n", 1, "led: expected on or off, not \"bright\""},
      {"led 800\n", 1, "usage: led CODE on|off"},
      {"dro 3 fast\n", 1, "DRO value: \"fast\" is not a number"},
      {"host full-speed Q 10\n", 1, "axis must be one of X, Y, Z, A, B, C, not \"Q\""},
      {"host warp 9\n", 1,
       "host: unknown field \"warp\" (inhibit, engine-queue, planner-busy, planner-queue, "
       "increment, rotation, absolute-word, full-speed, companion)"},
      {"setting 9lives=1\n", 1, "setting: \"9lives\" is not a key name"},
      {"setting Macro1=\"open\n", 1, "unterminated quote"},
      {"config Colour=1 ok\n", 1, "config: \"Colour\" is not a setting of the dialog"},
      {"config StepSize1=2\n", 1, "usage: config [KEY=VALUE ...] ok|escape"},
      {"config AutoMode=2 ok\n", 1, "AutoMode must be 0 or 1, not \"2\""},
      {"cycle\nsetting Vel=1\n", 2, "\"setting\" must come before the plug-in starts"},
      {"start\npendant absent\n", 2, "\"pendant absent\" must come before the plug-in starts"},
      {"start\nstart\n", 2, "the plug-in is already started"},
      {"stop\ncycle\n", 2, "the plug-in was stopped; give \"start\" to start it again first"},
      {"start\nstop\nstop\n", 3, "the plug-in was stopped; give \"start\" to start it again first"},
  };
  for (const Case& c : cases) {
    int line = 0;
    EXPECT_EQ(errorOf(c.script, &line), c.message) << c.script;
    EXPECT_EQ(line, c.line) << c.script;
  }
}

}  // namespace
}  // namespace k4::hostsim
