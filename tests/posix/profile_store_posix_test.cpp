// The profile store against file permissions and links on Linux.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "platform/atomic_file.h"
#include "profile_files.h"
#include "settings/profile_store.h"

namespace k4 {
namespace {

using test::fileExists;
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

// Runs `body` in a child process and returns its exit status (-1 when it did not exit).
template <typename Body>
int inChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(body());
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

std::size_t entriesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(ProfileStorePosix, ADirectoryWhereTheProfileShouldBeIsLeftAlone) {
  TempDir dir;
  const std::string path = dir.file("profile.xml");
  std::filesystem::create_directory(path);
  writeFile(dir.file("profile.xml/inside"), "host data");
  EXPECT_TRUE(useStore(path));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(readFile(dir.file("profile.xml/inside")), "host data");
  EXPECT_EQ(entriesIn(dir.path()), 1u);  // no temporary file beside it
}

// The disk fills up while the new profile is written: a file-size limit in a child process
// stands in for the full disk (the write fails with EFBIG instead of ENOSPC).
TEST(ProfileStorePosix, ADiskFullWriteLeavesTheOldProfileWhole) {
  TempDir dir;
  const std::string path = dir.file("profile.xml");
  std::string original = "<profile>\n";
  while (original.size() < 64 * 1024)
    original += "\t<Host><Key>some value of the host's</Key></Host>\n";
  original += "</profile>\n";
  writeFile(path, original);

  const int status = inChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    const rlimit limit{16 * 1024, 16 * 1024};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
      return 2;
    return useStore(path) ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFile(path), original);
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

// The process dies after the new profile was written and flushed beside the old one, before it
// took the old one's place.
TEST(ProfileStorePosix, ACrashBeforeTheReplaceLeavesTheOldProfileWhole) {
  TempDir dir;
  const std::string path = dir.file("profile.xml");
  writeFile(path, kOriginal);
  const int status = inChild([&] {
    setFileReplaceStepForTesting([](const std::string&, const std::string&) -> bool {
      ::_exit(7);  // the crash
    });
    useStore(path);
    return 0;
  });
  ASSERT_EQ(status, 7);
  EXPECT_EQ(readFile(path), kOriginal);
  ASSERT_TRUE(fileExists(replacementTempPath(path)));  // what the crash left behind

  // The next store neither trips over the leftover nor keeps it.
  EXPECT_TRUE(useStore(path));
  EXPECT_EQ(readFile(path), "<profile><Orvane_K4_Pendant><K>2</K></Orvane_K4_Pendant></profile>\n");
  EXPECT_FALSE(fileExists(replacementTempPath(path)));
}

// The host saves its profile while ours is open (the configuration dialog is up): its new file
// must survive the close, with our keys written into it.
TEST(ProfileStorePosix, AProfileReplacedWhileOpenKeepsTheReplacement) {
  struct Case {
    const char* what;
    std::string replacement;  // empty: the file is removed
    std::string expected;
  } cases[] = {
      {"replaced by a rename",
       "<profile><Host>new</Host><Orvane_K4_Pendant><K>5</K></Orvane_K4_Pendant></profile>\n",
       "<profile><Host>new</Host><Orvane_K4_Pendant><K>2</K><L>3</L></Orvane_K4_Pendant>"
       "</profile>\n"},
      {"replaced without our section", "<profile><Host>new</Host></profile>\n",
       "<profile><Host>new</Host><Orvane_K4_Pendant><K>2</K><L>3</L></Orvane_K4_Pendant>"
       "</profile>\n"},
      {"replaced by a file that does not parse", "<profile><Host>half", "<profile><Host>half"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("profile.xml");
    writeFile(path, kOriginal);
    {
      ProfileStore store(path);
      EXPECT_EQ(store.ReadInt(kSection, "K", 0), 1);
      // The host writes its new profile beside the old one and renames it into place.
      writeFile(dir.file("host-saving"), c.replacement);
      std::filesystem::rename(dir.file("host-saving"), path);
      store.WriteInt(kSection, "K", 2);
      store.WriteInt(kSection, "L", 3);
    }
    EXPECT_EQ(readFile(path), c.expected) << c.what;
    EXPECT_EQ(entriesIn(dir.path()), 1u) << c.what;
  }
}

TEST(ProfileStorePosix, AProfileRewrittenInPlaceWhileOpenKeepsTheRewrite) {
  TempDir dir;
  const std::string path = dir.file("profile.xml");
  writeFile(path, kOriginal);
  {
    ProfileStore store(path);
    writeFile(path, "<profile><Host>rewritten in place</Host></profile>\n");
    store.WriteInt(kSection, "K", 9);
  }
  EXPECT_EQ(readFile(path),
            "<profile><Host>rewritten in place</Host><Orvane_K4_Pendant><K>9</K>"
            "</Orvane_K4_Pendant></profile>\n");
}

}  // namespace
}  // namespace k4
