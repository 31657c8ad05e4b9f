// The dashboard's key legend and notices, broken into rows for any terminal width: no row wider
// than the terminal, no word cut, and the legend's entries kept whole wherever they fit.
#include <gtest/gtest.h>

#include <sstream>

#include "dashboard.h"
#include "keyboard_pendant.h"

namespace k4::hostsim {
namespace {

std::vector<std::string> wordsOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

TEST(DashboardWrap, EveryWidthKeepsWordsWholeAndRowsWithinTheWidth) {
  const std::string notice =
      "The terminal (40 x 10) is too small for the dashboard, which needs 60 x 20. Make it "
      "larger; the session goes on. q or Ctrl-C ends it.";
  for (const std::string& text : {std::string(kKeyboardHelp), notice}) {
    for (std::size_t width = 16; width <= 130; ++width) {
      const std::vector<std::string> rows = wrapWords(text, width);
      std::string joined;
      for (const std::string& row : rows) {
        EXPECT_LE(row.size(), width) << "width " << width << ": " << row;
        joined += row + " ";
      }
      EXPECT_EQ(wordsOf(joined), wordsOf(text)) << "width " << width;
    }
  }
}

TEST(DashboardWrap, LegendEntriesStayTogetherWhereTheyFit) {
  // In 80 columns the legend takes two rows, each entry (such as "+/- intensity") on one row.
  const std::vector<std::string> rows = wrapWords(kKeyboardHelp, 80);
  ASSERT_EQ(rows.size(), 2u);
  for (const char* entry : {"s/S STOP click/hold", "+/- intensity", "u unplug/plug", "a any"}) {
    EXPECT_TRUE(rows[0].find(entry) != std::string::npos ||
                rows[1].find(entry) != std::string::npos)
        << entry;
  }
  // Wide enough, it is one row as written.
  EXPECT_EQ(wrapWords(kKeyboardHelp, 200), std::vector<std::string>{kKeyboardHelp});
}

}  // namespace
}  // namespace k4::hostsim
