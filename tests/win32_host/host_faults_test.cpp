// The stand-in host in situations a real host's process brings along: a profile it holds open
// itself, another module built with MinGW's shared run-time, the registry entries of the
// self-registration.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "host/host_boundary.h"
#include "plug_in_host.h"
#include "profile_files.h"

namespace {

using namespace k4;

using test::InitControlFn;
using test::SetProNameFn;
using RegistrationFn = HRESULT(STDAPICALLTYPE*)();
using ForeignFn = int (*)(int);

constexpr char kDisplayName[] = "Orvane_K4 Pendant --Tarnwick Ver 3.3.0";
constexpr char kTypeLibraryKey[] = "TypeLib\\{0C9FB259-B864-40A5-B59F-65E11E209FC4}";

using test::besideThisProgram;
using test::entry;

// The plug-in loaded, named a profile and started as the host starts it (no callbacks: with no
// pendant none is called).
class StartedPlugIn {
 public:
  explicit StartedPlugIn(const std::string& profile) {
    if (!plugIn_.loaded())
      return;
    name_ = plugIn_.entry<SetProNameFn>("SetProName")(profile.c_str());
    plugIn_.entry<InitControlFn>("InitControl")(&engine_, &setup_, &planner_, view_.hwnd());
  }
  ~StartedPlugIn() {
    if (plugIn_.loaded())
      call("StopPlug");
  }
  StartedPlugIn(const StartedPlugIn&) = delete;
  StartedPlugIn& operator=(const StartedPlugIn&) = delete;

  HMODULE module() const { return plugIn_.module(); }
  const char* name() const { return name_; }
  void call(const char* export_) const { plugIn_.call(export_); }

 private:
  // In this order, so that the module goes before its blocks and the view.
  test::HostView view_;
  EngineBlock engine_{};
  SetupBlock setup_{};
  PlannerBlock planner_{};
  test::PlugIn plugIn_;
  const char* name_ = nullptr;
};

// The whole file as read through `handle` from its start.
std::string readThrough(HANDLE handle) {
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  return text;
}

// ---- A profile the host holds open -----------------------------------------------------------

TEST(HostHoldsItsProfileOpen, TheSaveStillReachesTheFileWholeThroughTheHostsOwnHandle) {
  test::TempDir directory;
  const std::string profile = directory.file("profile.xml");
  // An empty key is dropped by the read at start-up, so the save has something to change;
  // the new profile is shorter than the old one, so a stale tail would show.
  test::writeFile(profile,
                  "<profile><Orvane_K4_Pendant><StepJogRate></StepJogRate><Vel>3</Vel>"
                  "</Orvane_K4_Pendant><HostPart>keep me</HostPart></profile>");
  // The host's handle: reading and writing shared, deleting (and so renaming over) not.
  HANDLE held =
      CreateFileA(profile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();

  // The situation is the one meant: replacing the file by a rename is refused here.
  const std::string probe = directory.file("probe.xml");
  test::writeFile(probe, "<profile/>");
  EXPECT_FALSE(MoveFileExA(probe.c_str(), profile.c_str(), MOVEFILE_REPLACE_EXISTING));
  const DWORD refusal = GetLastError();
  EXPECT_TRUE(refusal == ERROR_SHARING_VIOLATION || refusal == ERROR_ACCESS_DENIED) << refusal;
  DeleteFileA(probe.c_str());

  {
    StartedPlugIn plugIn(profile);
    ASSERT_NE(plugIn.module(), nullptr);
    plugIn.call("PostInitControl");
  }
  const std::string text = test::asSavedDocument(readThrough(held));
  CloseHandle(held);
  EXPECT_EQ(text,
            "<profile><Orvane_K4_Pendant><Vel>3</Vel></Orvane_K4_Pendant>"
            "<HostPart>keep me</HostPart></profile>");
  EXPECT_FALSE(test::fileExists(profile + ".k4-saving"));
}

// ---- Another module with MinGW's shared run-time ---------------------------------------------

// Reserves the free address space so that no allocation of 32 MiB or more can succeed: every
// free piece down to 64 KiB, then the smallest pieces given back up to 16 MiB in all, room for
// the system's own small needs. Gives everything back when it goes.
class AddressSpaceExhausted {
 public:
  AddressSpaceExhausted() {
    std::vector<SIZE_T> sizes;
    for (SIZE_T size = SIZE_T{1} << 30; size >= (SIZE_T{1} << 16);) {
      void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (block != nullptr) {
        blocks_.push_back(block);
        sizes.push_back(size);
      } else {
        size /= 2;
      }
    }
    for (SIZE_T given = 0; !blocks_.empty() && given + sizes.back() <= (SIZE_T{16} << 20);) {
      given += sizes.back();
      VirtualFree(blocks_.back(), 0, MEM_RELEASE);
      blocks_.pop_back();
      sizes.pop_back();
    }
  }
  ~AddressSpaceExhausted() {
    for (void* block : blocks_)
      VirtualFree(block, 0, MEM_RELEASE);
  }
  AddressSpaceExhausted(const AddressSpaceExhausted&) = delete;
  AddressSpaceExhausted& operator=(const AddressSpaceExhausted&) = delete;

 private:
  std::vector<void*> blocks_;
};

TEST(ForeignMinGWModule, AnExceptionInsideThePlugInStaysInsideIt) {
  if (sizeof(void*) != 4)
    GTEST_SKIP() << "the 64-bit run-time unwinds by the system's tables; nothing is registered";
  // The host's other module, loaded first, brings the shared run-time with it.
  const HMODULE foreign = LoadLibraryA(besideThisProgram("k4_foreign_module.dll").c_str());
  ASSERT_NE(foreign, nullptr) << GetLastError();
  ASSERT_NE(GetModuleHandleA("libgcc_s_dw2-1.dll"), nullptr);
  const auto foreignThrowAndCatch = entry<ForeignFn>(foreign, "foreign_throw_and_catch");
  ASSERT_NE(foreignThrowAndCatch, nullptr);
  ASSERT_EQ(foreignThrowAndCatch(41), 42);

  test::TempDir directory;
  const std::string profile = directory.file("profile.xml");
  test::writeFile(profile, "<profile><Orvane_K4_Pendant><Vel></Vel></Orvane_K4_Pendant></profile>");
  {
    StartedPlugIn plugIn(profile);
    ASSERT_NE(plugIn.module(), nullptr);
    ASSERT_STREQ(plugIn.name(), kDisplayName);
    const auto setProName = entry<SetProNameFn>(plugIn.module(), "SetProName");

    // A profile name the plug-in cannot copy: its allocation fails inside SetProName, which
    // throws and catches within the plug-in. The host's process goes on.
    const std::string hugeName(std::size_t{64} << 20, 'x');
    const char* answer = nullptr;
    {
      AddressSpaceExhausted exhausted;
      answer = setProName(hugeName.c_str());
    }
    EXPECT_STREQ(answer, kDisplayName);
    // The failed call left the profile it had: the read at start-up takes its empty key out.
    plugIn.call("PostInitControl");
    EXPECT_EQ(test::asSavedDocument(test::readFile(profile)),
              "<profile><Orvane_K4_Pendant/></profile>");
  }
  // The foreign module's own exceptions still work after the plug-in came and went.
  EXPECT_EQ(foreignThrowAndCatch(1), 2);
  FreeLibrary(foreign);
}

// Every load order of the plug-in beside a module with the shared run-time: the plug-in's own
// exceptions are caught inside it, and the foreign module's inside that one, whoever came first
// and whoever went first.
enum class Step {
  LoadForeign,
  FreeForeign,
  LoadFirst,  // the plug-in
  FreeFirst,
  LoadSecond,  // a second copy of the plug-in under another file name
  FreeSecond,
  ThrowInFirst,
  ThrowInSecond,
  ThrowInForeign,
};

struct LoadOrder {
  const char* name;
  std::vector<Step> steps;
};

class ForeignLoadOrder : public ::testing::TestWithParam<LoadOrder> {};

// Makes the plug-in throw and catch inside SetProName (a name it cannot copy); true when the
// call came back with the display name.
bool throwsAndCatchesInside(HMODULE plugIn) {
  static const std::string hugeName(std::size_t{64} << 20, 'x');
  const auto setProName = entry<SetProNameFn>(plugIn, "SetProName");
  const char* answer = nullptr;
  {
    AddressSpaceExhausted exhausted;
    answer = setProName(hugeName.c_str());
  }
  return answer != nullptr &&
         std::string(answer).find(" Pendant --Tarnwick Ver 3.3.0") != std::string::npos;
}

TEST_P(ForeignLoadOrder, EachModuleCatchesItsOwnExceptions) {
  if (sizeof(void*) != 4)
    GTEST_SKIP() << "the 64-bit run-time unwinds by the system's tables; nothing is registered";
  const std::string second = besideThisProgram("Orvane_K4_second_copy.dll");
  ASSERT_TRUE(CopyFileA(besideThisProgram("Orvane_K4.dll").c_str(), second.c_str(), FALSE));
  test::TempDir directory;
  const std::string profile = directory.file("profile.xml");
  HMODULE foreign = nullptr;
  HMODULE first = nullptr;
  HMODULE secondCopy = nullptr;
  int step = 0;
  for (const Step action : GetParam().steps) {
    SCOPED_TRACE("step " + std::to_string(step++));
    switch (action) {
      case Step::LoadForeign:
        foreign = LoadLibraryA(besideThisProgram("k4_foreign_module.dll").c_str());
        ASSERT_NE(foreign, nullptr);
        ASSERT_NE(GetModuleHandleA("libgcc_s_dw2-1.dll"), nullptr);
        break;
      case Step::FreeForeign:
        ASSERT_TRUE(FreeLibrary(foreign));
        foreign = nullptr;
        break;
      case Step::LoadFirst:
        first = LoadLibraryA(besideThisProgram("Orvane_K4.dll").c_str());
        ASSERT_NE(first, nullptr);
        entry<SetProNameFn>(first, "SetProName")(profile.c_str());
        break;
      case Step::FreeFirst:
        ASSERT_TRUE(FreeLibrary(first));
        first = nullptr;
        break;
      case Step::LoadSecond:
        secondCopy = LoadLibraryA(second.c_str());
        ASSERT_NE(secondCopy, nullptr);
        ASSERT_NE(secondCopy, first);
        entry<SetProNameFn>(secondCopy, "SetProName")(profile.c_str());
        break;
      case Step::FreeSecond:
        ASSERT_TRUE(FreeLibrary(secondCopy));
        secondCopy = nullptr;
        break;
      case Step::ThrowInFirst:
        EXPECT_TRUE(throwsAndCatchesInside(first));
        break;
      case Step::ThrowInSecond:
        EXPECT_TRUE(throwsAndCatchesInside(secondCopy));
        break;
      case Step::ThrowInForeign:
        EXPECT_EQ(entry<ForeignFn>(foreign, "foreign_throw_and_catch")(1), 2);
        break;
    }
  }
  for (HMODULE left : {secondCopy, first, foreign}) {
    if (left != nullptr)
      FreeLibrary(left);
  }
  DeleteFileA(second.c_str());
}

using enum Step;
INSTANTIATE_TEST_SUITE_P(
    Orders, ForeignLoadOrder,
    ::testing::Values(
        LoadOrder{"ForeignAfterThePlugIn",
                  {LoadFirst, ThrowInFirst, LoadForeign, ThrowInForeign, ThrowInFirst, FreeFirst,
                   ThrowInForeign}},
        LoadOrder{"ForeignUnloadedBeforeThePlugIn",
                  {LoadForeign, LoadFirst, ThrowInFirst, FreeForeign, ThrowInFirst, FreeFirst,
                   LoadForeign, ThrowInForeign}},
        LoadOrder{"TwoCopiesOfThePlugIn",
                  {LoadForeign, LoadFirst, LoadSecond, ThrowInFirst, ThrowInSecond, FreeFirst,
                   ThrowInSecond, ThrowInForeign, FreeSecond, ThrowInForeign}},
        LoadOrder{"ReloadedThreeTimes",
                  {LoadForeign, LoadFirst, ThrowInFirst, FreeFirst, LoadFirst, ThrowInFirst,
                   FreeFirst, LoadFirst, ThrowInFirst, FreeFirst, ThrowInForeign}}),
    [](const ::testing::TestParamInfo<LoadOrder>& order) { return std::string(order.param.name); });

// ---- Self-registration in the host's process ---------------------------------------------------

std::string registryDefault(const std::string& key) {
  char value[MAX_PATH * 2] = {};
  LONG size = sizeof value;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS)
    return "(none)";
  return value;
}

bool registryKeyExists(const std::string& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return false;
  RegCloseKey(opened);
  return true;
}

TEST(SelfRegistration, WritesAndRemovesTheTypeLibrarysEntriesForThisKindOfProcess) {
  const HMODULE module = LoadLibraryA(besideThisProgram("Orvane_K4.dll").c_str());
  ASSERT_NE(module, nullptr);
  const auto registerServer = entry<RegistrationFn>(module, "DllRegisterServer");
  const auto unregisterServer = entry<RegistrationFn>(module, "DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  const std::string version = std::string(kTypeLibraryKey) + "\\1.0";
  const char* const kind = sizeof(void*) == 4 ? "win32" : "win64";
  const char* const otherKind = sizeof(void*) == 4 ? "win64" : "win32";

  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(registryDefault(version), "Orvane_K4 1.0 Type Library");
  const std::string path = registryDefault(version + "\\0\\" + kind);
  EXPECT_EQ(_stricmp(path.c_str(), besideThisProgram("Orvane_K4.dll").c_str()), 0) << path;
  EXPECT_FALSE(registryKeyExists(version + "\\0\\" + otherKind));
  EXPECT_TRUE(registryKeyExists(version + "\\FLAGS"));
  EXPECT_TRUE(registryKeyExists(version + "\\HELPDIR"));

  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(registryKeyExists(kTypeLibraryKey));
  FreeLibrary(module);
}

}  // namespace
