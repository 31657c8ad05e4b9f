// The G-code word reader both hosts use for the plug-in's command lines: blanks between a
// letter and its number, lower case, and what is not a word, which each host judges its own way.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gcode_words.h"

namespace k4::hostsim {
namespace {

// The words of a line as text: "G91 G1 F100 Z0.003", a '?' for each thing that is no word.
std::string wordsOf(const std::string& line, std::size_t from = 0) {
  GcodeWordReader reader(line, from);
  GcodeWord word;
  std::string out;
  for (GcodeWordReader::Next next; (next = reader.next(word)) != GcodeWordReader::Next::End;) {
    if (!out.empty())
      out += ' ';
    if (next == GcodeWordReader::Next::NotWord) {
      out += '?';
      continue;
    }
    char number[32];
    std::snprintf(number, sizeof number, "%g", word.number);
    out += word.letter;
    out += number;
  }
  return out;
}

TEST(GcodeWords, ReadsThePluginsLinesAndMarksWhatIsNoWord) {
  struct Case {
    const char* line;
    std::size_t from;
    const char* words;
  };
  const Case cases[] = {
      {"G91G1 F100 Z 0.0030", 0, "G91 G1 F100 Z0.003"},
      {"G91G1 F12.5000 A 1.5000", 5, "F12.5 A1.5"},
      {"G91G1 X0.7071 Y-0.7071 ", 5, "X0.7071 Y-0.7071"},
      {"g90", 0, "G90"},
      {"M123", 0, "M123"},
      {"", 0, ""},
      {"   ", 0, ""},
      // A letter without a number, a character that is no letter, a tab: none is a word, and
      // the words after them are still read.
      {"G91G1 X Y1", 5, "? Y1"},
      {"G91G1 5 X1", 5, "? X1"},
      {"G91G1\tX1", 5, "? X1"},
      {"X", 0, "?"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wordsOf(c.line, c.from), c.words) << '"' << c.line << '"';
}

}  // namespace
}  // namespace k4::hostsim
