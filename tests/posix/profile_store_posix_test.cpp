// The profile store against file permissions and links on Linux.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "profile_files.h"
#include "settings/profile_store.h"

namespace k4 {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* kSection = "Orvane_K4_Pendant";
const std::string kOriginal =
    "<profile><Orvane_K4_Pendant><K>1</K></Orvane_K4_Pendant></profile>\n";

// Opens a store, reads and writes a key and closes it; true when nothing was thrown.
bool useStore(const std::string& path) {
  try {
    ProfileStore store(path);
    store.ReadInt(kSection, "K", 0);
    store.WriteInt(kSection, "K", 2);
    return true;
  } catch (...) {
    return false;
  }
}

// Root ignores permissions: as root the store runs in a child process that has given up its
// privileges.
bool useStoreWithoutPrivileges(const std::string& path) {
  if (::geteuid() != 0)
    return useStore(path);
  const pid_t child = ::fork();
  if (child == 0) {
    const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(dropped && useStore(path) ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(ProfileStorePosix, ProtectedProfilesAreLeftAsTheyWere) {
  struct Case {
    const char* what;
    mode_t directoryMode;
    mode_t fileMode;
  } cases[] = {
      {"read-only directory", 0555, 0666},
      {"read-only profile", 0777, 0444},
      {"unreadable profile", 0777, 0222},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("profile.xml");
    writeFile(path, kOriginal);
    ASSERT_EQ(::chmod(path.c_str(), c.fileMode), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), c.directoryMode), 0);
    EXPECT_TRUE(useStoreWithoutPrivileges(path)) << c.what;
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(readFile(path), kOriginal) << c.what;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << c.what;
  }
}

TEST(ProfileStorePosix, TheReplacementKeepsThePermissionsAndLinksOfTheProfile) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "real");
  const std::string real = dir.file("real/profile.xml");
  const std::string link = dir.file("profile.xml");
  writeFile(real, kOriginal);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  std::filesystem::create_symlink("real/profile.xml", link);

  EXPECT_TRUE(useStore(link));

  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFile(real), "<profile><Orvane_K4_Pendant><K>2</K></Orvane_K4_Pendant></profile>\n");
  struct stat info {};
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace k4
