// Module services on Windows, in a program that links the same sources as the plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "host/exports.h"
#include "platform/module.h"

namespace k4 {
namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

TEST(Win32Module, FileNameIsTheFullPathOfTheModuleHoldingTheCode) {
  const std::string path = moduleFileName();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), ":\\") << path;
  EXPECT_EQ(moduleBaseName(lowered(path)), "k4_win32_tests") << path;
}

TEST(Win32Module, SocketLayerStartsAndStops) {
  ASSERT_TRUE(initSocketLayer());
  shutdownSocketLayer();
}

}  // namespace
}  // namespace k4
