// The profile store's Windows document: COM initialisation on the host's thread, and profiles
// the user protected.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "profile_files.h"
#include "settings/profile_store.h"

namespace k4 {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* kSection = "Orvane_K4_Pendant";

int32_t writeAndReadBack(const std::string& path) {
  { ProfileStore(path).WriteInt(kSection, "K", 42); }
  return ProfileStore(path).ReadInt(kSection, "K", 0);
}

// After the store, a fresh initialisation tells whether COM was still initialised on the thread
// (S_FALSE) or not (S_OK); RPC_E_CHANGED_MODE means a multithreaded apartment is still there.
HRESULT probeApartment() {
  const HRESULT probe = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(probe))
    CoUninitialize();
  return probe;
}

TEST(ProfileStoreWin32, WorksWhateverTheThreadsComStateAndLeavesItAsItWas) {
  struct Case {
    const char* what;
    bool initialiseFirst;
    DWORD model;
    HRESULT stateAfter;
  } cases[] = {
      {"COM not initialised", false, 0, S_OK},
      {"single-threaded apartment", true, COINIT_APARTMENTTHREADED, S_FALSE},
      {"multithreaded apartment", true, COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("profile.xml");
    writeFile(path, "<profile/>");
    const HRESULT hostInit = c.initialiseFirst ? CoInitializeEx(nullptr, c.model) : S_FALSE;
    ASSERT_TRUE(SUCCEEDED(hostInit)) << c.what;
    EXPECT_EQ(writeAndReadBack(path), 42) << c.what;
    EXPECT_EQ(probeApartment(), c.stateAfter) << c.what;
    if (c.initialiseFirst)
      CoUninitialize();
  }
}

TEST(ProfileStoreWin32, AReadOnlyProfileIsLeftAsItWas) {
  TempDir dir;
  const std::string path = dir.file("profile.xml");
  const std::string original = "<profile><Orvane_K4_Pendant><K>1</K></Orvane_K4_Pendant></profile>";
  writeFile(path, original);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  { ProfileStore(path).WriteInt(kSection, "K", 2); }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(readFile(path), original);
}

}  // namespace
}  // namespace k4
