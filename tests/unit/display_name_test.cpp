#include <gtest/gtest.h>

#include "host/exports.h"

namespace k4 {
namespace {

TEST(DisplayName, IsTheModuleBaseNameFollowedByTheVersion) {
  struct Case {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:\\Program Files\\Host\\PlugIns\\Alpha.dll", "Alpha Pendant --Tarnwick Ver 3.3.0"},
      {"/usr/lib/k4/Alpha.so", "Alpha Pendant --Tarnwick Ver 3.3.0"},
      {"Alpha.dll", "Alpha Pendant --Tarnwick Ver 3.3.0"},
      {"D:/mixed\\dirs/Orvane_K4.dll", "Orvane_K4 Pendant --Tarnwick Ver 3.3.0"},
      {"C:\\dir.with.dots\\Beta", "Beta Pendant --Tarnwick Ver 3.3.0"},
      {"", " Pendant --Tarnwick Ver 3.3.0"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(buildDisplayName(c.path), c.expected) << c.path;
}

}  // namespace
}  // namespace k4
