// A host written from the host contract in docs/ARCHITECTURE.md ("The host contract") and from
// nothing else: no header of the plug-in, its own declarations of the exports, its own blocks
// laid out byte by byte. When a change of the plug-in's header breaks the contract, this host
// notices it where the stand-in host built from that header cannot. So it repeats, on purpose,
// the setter table and helpers the other stand-in hosts share in plug_in_host.h.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Exports and callbacks: the platform's default C convention (cdecl on 32-bit Windows).
#if defined(_WIN64)
#define HOST_CALL
#else
#define HOST_CALL __cdecl
#endif

using SetterFn = void(HOST_CALL*)(void*);
using SetProNameFn = const char*(HOST_CALL*)(const char*);
// The result is a one-byte boolean: only the low byte of the return register is meant.
using InitControlFn = unsigned char(HOST_CALL*)(void*, void*, void*, HWND);
using VoidFn = void(HOST_CALL*)();

// The blocks' sizes and the positions the contract names.
constexpr std::size_t kEngineSize = 132;   // two words, inhibit byte, 6 x 20-byte jog records
constexpr std::size_t kSetupSize = 16;     // absolute word, reserved, rotation (double) at 8
constexpr std::size_t kPlannerSize = 208;  // ..., status count at 72, 128-byte line at 76
constexpr std::size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xA5;

// A block of the host's with guard bytes on either side.
class GuardedBlock {
 public:
  explicit GuardedBlock(std::size_t size) : size_(size), bytes_(size + 2 * kGuard, kGuardByte) {
    std::memset(bytes_.data() + kGuard, 0, size);
  }
  void* block() { return bytes_.data() + kGuard; }
  bool guardsIntact() const {
    for (std::size_t i = 0; i < kGuard; ++i) {
      if (bytes_[i] != kGuardByte || bytes_[kGuard + size_ + i] != kGuardByte)
        return false;
    }
    return true;
  }

 private:
  std::size_t size_;
  std::vector<unsigned char> bytes_;
};

// Calls `call` and checks that the callee left the stack as the caller's convention expects:
// a callee that cleaned up its own arguments (stdcall) would move it.
template <typename Call>
auto balanced(const char* what, Call call) {
  std::uintptr_t before = 0;
  std::uintptr_t after = 0;
#if defined(__i386__)
  __asm__ volatile("movl %%esp, %0" : "=r"(before));
#endif
  auto result = call();
#if defined(__i386__)
  __asm__ volatile("movl %%esp, %0" : "=r"(after));
#endif
  EXPECT_EQ(before, after) << what << " did not leave the stack to its caller";
  return result;
}

std::string besideThisProgram(const char* fileName) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path);
  directory.erase(directory.find_last_of('\\') + 1);
  return directory + fileName;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void HOST_CALL hostDoButton(int) {}
void HOST_CALL hostSetDro(int, double) {}
double HOST_CALL hostGetDro(int) {
  return 0.0;
}
// Any non-zero byte means lit.
unsigned char HOST_CALL hostGetLed(int) {
  return 0;
}
void HOST_CALL hostSetLed(int, unsigned char) {}
void HOST_CALL hostCode(const char*) {}

TEST(HostFromTheContract, DrivesThePlugInThroughItsExportsAsTheContractDescribesThem) {
  const HMODULE module = LoadLibraryA(besideThisProgram("Orvane_K4.dll").c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  auto entry = [module](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
  };

  const struct {
    const char* name;
    void* callback;
  } setters[] = {
      {"SetDoButton", reinterpret_cast<void*>(&hostDoButton)},
      {"SetSetDRO", reinterpret_cast<void*>(&hostSetDro)},
      {"SetGetDRO", reinterpret_cast<void*>(&hostGetDro)},
      {"SetGetLED", reinterpret_cast<void*>(&hostGetLed)},
      {"SetSetLED", reinterpret_cast<void*>(&hostSetLed)},
      {"SetCode", reinterpret_cast<void*>(&hostCode)},
  };
  for (const auto& setter : setters) {
    const auto fn = reinterpret_cast<SetterFn>(entry(setter.name));
    ASSERT_NE(fn, nullptr) << setter.name;
    balanced(setter.name, [&] {
      fn(setter.callback);
      return 0;
    });
  }

  // SetProName: the profile's name as a pointer to its characters, copied during the call;
  // the host may change or free its string right after.
  char directory[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, directory);
  const std::string profile = std::string(directory) + "k4_bare_host_profile.xml";
  {
    std::ofstream(profile, std::ios::binary | std::ios::trunc)
        << "<profile><Orvane_K4_Pendant><Vel></Vel><StepSize1>3</StepSize1>"
           "</Orvane_K4_Pendant></profile>";
  }
  const auto setProName = reinterpret_cast<SetProNameFn>(entry("SetProName"));
  ASSERT_NE(setProName, nullptr);
  std::vector<char> hostString(profile.begin(), profile.end());
  hostString.push_back('\0');
  const char* name = balanced("SetProName", [&] { return setProName(hostString.data()); });
  std::memset(hostString.data(), 'z', hostString.size() - 1);
  hostString.clear();
  hostString.shrink_to_fit();
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "Orvane_K4 Pendant --Tarnwick Ver 3.3.0");

  // InitControl: the three blocks, then the view as the host's native window handle.
  GuardedBlock engine(kEngineSize);
  GuardedBlock setup(kSetupSize);
  GuardedBlock planner(kPlannerSize);
  const HWND view = CreateWindowExA(0, "STATIC", "host view", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(view, nullptr);
  const auto initControl = reinterpret_cast<InitControlFn>(entry("InitControl"));
  ASSERT_NE(initControl, nullptr);
  const unsigned char started = balanced("InitControl", [&] {
    return initControl(engine.block(), setup.block(), planner.block(), view);
  });
  EXPECT_EQ(started, 1);
  const HWND pendantWindow = GetDlgItem(view, 1);
  ASSERT_NE(pendantWindow, nullptr);
  EXPECT_EQ(GetParent(pendantWindow), view);

  // PostInitControl reads the profile named before: its empty key is gone afterwards, though
  // the host's string with the name is long gone.
  for (const char* call : {"PostInitControl", "Update", "StopPlug"}) {
    const auto fn = reinterpret_cast<VoidFn>(entry(call));
    ASSERT_NE(fn, nullptr) << call;
    balanced(call, [&] {
      fn();
      return 0;
    });
  }
  const std::string saved = readWhole(profile);
  EXPECT_EQ(saved.find("<Vel"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<StepSize1>3</StepSize1>"), std::string::npos) << saved;
  EXPECT_FALSE(IsWindow(pendantWindow));

  // With no pendant, nothing of the host's memory around its blocks was touched.
  EXPECT_TRUE(engine.guardsIntact());
  EXPECT_TRUE(setup.guardsIntact());
  EXPECT_TRUE(planner.guardsIntact());

  DestroyWindow(view);
  EXPECT_TRUE(FreeLibrary(module));
  DeleteFileA(profile.c_str());
}

}  // namespace
