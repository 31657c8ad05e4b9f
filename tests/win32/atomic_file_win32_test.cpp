// Replacing a profile's contents while the host holds the file open: the replacing rename is
// refused for sharing, and the contents are written in place instead, whole.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/atomic_file.h"
#include "profile_files.h"

namespace k4 {
namespace {

std::string readThrough(HANDLE handle) {
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  return text;
}

TEST(ReplaceFileContentsWin32, AProfileHeldOpenWithoutDeleteSharingIsWrittenInPlaceWhole) {
  const struct {
    const char* what;
    DWORD sharing;
    std::string before, after;
    bool saved;
  } cases[] = {
      {"shorter", FILE_SHARE_READ | FILE_SHARE_WRITE, std::string(5000, 'o'), "<profile/>", true},
      {"longer", FILE_SHARE_READ | FILE_SHARE_WRITE, "<p/>", std::string(70000, 'n'), true},
      {"same length", FILE_SHARE_READ | FILE_SHARE_WRITE, "<a>1</a>", "<a>2</a>", true},
      // Held without write sharing: nothing can write it; it stays as it was.
      {"read sharing only", FILE_SHARE_READ, "<a>1</a>", "<a>22</a>", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir directory;
    const std::string path = directory.file("profile.xml");
    test::writeFile(path, c.before);
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, c.sharing, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(replaceFileContents(path, c.after), c.saved);
    EXPECT_EQ(readThrough(held), c.saved ? c.after : c.before);
    CloseHandle(held);
    EXPECT_EQ(test::readFile(path), c.saved ? c.after : c.before);
    EXPECT_FALSE(test::fileExists(replacementTempPath(path)));
  }
}

}  // namespace
}  // namespace k4
