// The user's actions file: what it makes of each line, and which lines it refuses (with the
// line number), so a typing error never silently changes what a button does on the machine.
#include "actions.h"

#include <gtest/gtest.h>

namespace k4::lcnc {
namespace {

TEST(ActionsFile, TheDefaultsGiveTheLinuxcncMeaningsOfTheActionList) {
  const ActionMap map = defaultActions();
  ASSERT_EQ(map.codes.count(113), 1u);
  EXPECT_EQ(describe(map.codes.at(113).at(0)), "flood toggle");
  ASSERT_EQ(map.codes.at(138).size(), 2u);  // Go Home: Z up first, then X and Y
  EXPECT_EQ(describe(map.codes.at(138)[0]), "mdi G53 G0 Z0");
  EXPECT_EQ(describe(map.codes.at(138)[1]), "mdi G53 G0 X0 Y0");
  EXPECT_EQ(map.codes.count(323), 0u);  // no meaning: left to the "say once" rule
  EXPECT_FALSE(map.led15);
  EXPECT_DOUBLE_EQ(map.jogSpeedPercent, 50.0);
}

TEST(ActionsFile, LinesReplaceTheDefaultsOfTheirCodeOnly) {
  ActionMap map = defaultActions();
  std::string error;
  ASSERT_TRUE(
      parseActions("113 = nothing\n"
                   "1008 = mdi G10 L20 P1 X0   # zero in G54 whatever is active\n"
                   "200 = mdi o<probe> call [#5220]\n"
                   "led15 = on\n"
                   "jog-speed-percent = 12.5\n",
                   map, error))
      << error;
  EXPECT_EQ(describe(map.codes.at(113).at(0)), "nothing");
  EXPECT_EQ(describe(map.codes.at(1008).at(0)), "mdi G10 L20 P1 X0");
  // A '#' right after a character is a parameter of the MDI line, not a comment.
  EXPECT_EQ(describe(map.codes.at(200).at(0)), "mdi o<probe> call [#5220]");
  EXPECT_EQ(map.codes.at(138).size(), 2u);
  EXPECT_TRUE(map.led15);
  EXPECT_DOUBLE_EQ(map.jogSpeedPercent, 12.5);
}

TEST(ActionsFile, BadLinesAreRefusedWithTheirLineNumberAndChangeNothing) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"113 flood toggle\n", "line 1: expected CODE = ACTION"},
      {"\n# fine\nX1 = flood toggle\n", "line 3: \"X1\" is not a button code"},
      {"113 = flod toggle\n", "line 1: unknown action \"flod\""},
      {"113 = flood sometimes\n", "line 1: flood takes on, off or toggle"},
      {"104 = mdi\n", "line 1: mdi needs an argument"},
      {"104 = home-all now\n", "line 1: home-all takes no argument"},
      {"led15 = yes\n", "line 1: led15 is on or off"},
      {"jog-speed-percent = 0\n", "line 1: jog-speed-percent is a number from 0.1 to 100"},
      {"70000 = nothing\n", "line 1: \"70000\" is not a button code"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ActionMap map = defaultActions();
    std::string error;
    EXPECT_FALSE(parseActions(std::string("113 = nothing\n") + c.text, map, error));
    // The good first line is not taken either: the file counts as a whole.
    EXPECT_EQ(describe(map.codes.at(113).at(0)), "flood toggle");
    std::string expected = c.error;
    // Every case's line numbers are shifted by the good line in front.
    const auto space = expected.find(' ');
    const int line = std::stoi(expected.substr(space + 1));
    expected = "line " + std::to_string(line + 1) + expected.substr(expected.find(':'));
    EXPECT_EQ(error, expected);
  }
}

}  // namespace
}  // namespace k4::lcnc
