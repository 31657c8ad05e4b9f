// One whole report cycle (read, decoders, jog engine, output report, write) in each of the
// eleven jog modes, against a host whose callbacks do nothing and a pendant that answers every
// read at once, with the heap allocations made per cycle. The cycle runs on the host's
// user-interface thread every 25 ms and must not allocate once it runs.
//
// Each mode is driven through the knob, SIDE and the settings, as a user selects it, by a
// repeating 64-cycle session: the wheel turns, the jog key is pressed and released, STOP is
// clicked now and then, and the host's Update ticks every other cycle. The median of nine runs
// is the figure; allocs_per_cycle must be 0.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/exports.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "platform/device.h"
#include "settings/pendant_settings.h"

namespace {

uint64_t allocationCount = 0;

}  // namespace

// The replacements below pair malloc with free themselves; GCC cannot see that once it inlines
// them into the benchmark library's static initialisers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  ++allocationCount;
  if (void* memory = std::malloc(size != 0 ? size : 1))
    return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocationCount;
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace k4 {
namespace {

uint64_t hostCalls = 0;

void K4_CALL noButton(int) {
  ++hostCalls;
}
void K4_CALL noSetDro(int, double) {
  ++hostCalls;
}
double K4_CALL fixedDro(int code) {
  // DRO 22 at 0: the host always takes lines; DRO 3 at 50: a speed percentage to trim.
  return code == dro::kSpeedPercent ? 50.0 : 0.0;
}
uint8_t K4_CALL jogAllowedOnly(int code) {
  return code == led::kJogAllowed;
}
void K4_CALL noSetLed(int, bool) {}
void K4_CALL noCode(const char* line) {
  benchmark::DoNotOptimize(line);
  ++hostCalls;
}

struct QuietHost {
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};

  QuietHost() {
    resetPluginState();
    pendantSettings = PendantSettings{};
    for (const SettingKey& entry : settingKeys())
      entry.set(pendantSettings, entry.startUpDefault);
    pendantSettings.BUTTON0 = 6;  // custom actions that make host calls
    pendantSettings.BUTTON1 = 26;
    pendantSettings.BUTTON2 = 3;
    pendantSettings.BUTTON3 = 20;
    planner.stepIncrement = 0.001;
    for (int axis = 0; axis < kAxisCount; ++axis)
      planner.fullJogSpeed[axis] = 1000;
    host.callbacks = HostCallbacks{noButton, noSetDro, fixedDro, jogAllowedOnly, noSetLed, noCode};
    host.engine = &engine;
    host.setup = &setup;
    host.planner = &planner;
  }
  ~QuietHost() { resetPluginState(); }
};

// A pendant that always has a report ready: the one the session put there last.
class LoopbackPendant final : public DeviceServices {
 public:
  uint8_t report[kInputReportSize] = {};
  uint64_t written = 0;

  void beginEnumeration() override {}
  bool interfacePath(uint32_t index, std::string& path) override {
    if (index != 0)
      return false;
    path = "loopback";
    return true;
  }
  void endEnumeration() override {}
  DeviceHandle openProbe(const std::string&) override { return 1; }
  bool attributes(DeviceHandle, uint16_t& vendorId, uint16_t& productId) override {
    vendorId = kPendantVendorId;
    productId = kPendantProductId;
    return true;
  }
  DeviceHandle openRead(const std::string&) override { return 2; }
  DeviceHandle openWrite(const std::string&) override { return 3; }
  void close(DeviceHandle) override {}
  bool readReport(DeviceHandle, uint8_t (&out)[kInputReportSize], int) override {
    std::memcpy(out, report, sizeof report);
    return true;
  }
  WriteResult writeReport(DeviceHandle, const uint8_t (&)[kOutputReportSize]) override {
    ++written;
    return WriteResult::Sent;
  }
  bool registerNotifications(NativeWindow&) override { return false; }
};

// How a user selects each mode: knob position, SIDE, and the two settings knob position 1 reads.
struct ModeSelection {
  uint8_t knob;
  bool side;
  bool autoMode;
  bool stopClicks;  // STOP clicks belong to the session (not in mode 11: SIDE is held there)
};
constexpr ModeSelection kModes[12] = {
    {},
    {1, false, false, true},  // 1 step jog
    {2, false, false, true},  // 2 velocity jog
    {3, false, false, true},  // 3 delayed continuous jog
    {4, false, false, true},  // 4 DRO 3
    {5, false, false, true},  // 5 DRO 821
    {6, false, false, true},  // 6 DRO 74
    {7, false, false, true},  // 7 zero and reference
    {8, false, false, true},  // 8 BUTTON0, BUTTON1
    {9, false, false, true},  // 9 BUTTON2, BUTTON3
    {1, false, true, true},   // 10 automatic
    {1, true, false, false},  // 11 single step
};

void BM_ReportCycle(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const ModeSelection& selection = kModes[mode];
  QuietHost quietHost;
  pendantSettings.AutoMode = selection.autoMode;
  pendantSettings.SingleMode = false;
  LoopbackPendant pendant;
  PendantWindow window(pendant);
  window.axisIndex = 2;
  window.previousAxisIndex = 2;
  if (!window.discoverDevice()) {
    state.SkipWithError("the loopback pendant was not found");
    return;
  }

  // The count is only worth reporting if the hook really sees this program's allocations.
  const uint64_t probeBefore = allocationCount;
  int* probe = new int(1);
  benchmark::DoNotOptimize(probe);
  delete probe;
  if (allocationCount == probeBefore) {
    state.SkipWithError("the operator new hook is not in use");
    return;
  }

  uint8_t wheel = 0;
  uint64_t cycles = 0;
  hostCalls = 0;
  const uint64_t allocationsBefore = allocationCount;
  for (auto _ : state) {
    const int phase = static_cast<int>(cycles % 64);
    const bool turning = phase < 40;
    if (turning)
      wheel = static_cast<uint8_t>(wheel + (phase < 20 ? 1 : 3));
    const bool stop = selection.stopClicks && phase % 16 >= 12 && phase % 16 < 14;
    const uint8_t intensity = turning && phase % 8 < 6 ? 60 : 0;
    pendant.report[1] = wheel;
    pendant.report[2] = intensity;
    pendant.report[3] = static_cast<uint8_t>((stop ? 0x08 : 0) | (selection.side ? 0x10 : 0));
    pendant.report[4] = selection.knob;
    window.runReportCycle();
    if (phase % 2 == 1)
      Update();
    ++cycles;
  }
  const uint64_t allocations = allocationCount - allocationsBefore;
  state.counters["allocs_per_cycle"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
  state.counters["host_calls_per_cycle"] =
      benchmark::Counter(static_cast<double>(hostCalls), benchmark::Counter::kAvgIterations);
  if (window.jogMode != mode)
    state.SkipWithError("the session did not reach its mode");
  else if (hostCalls == 0)
    state.SkipWithError("the session made no host call");
  else if (allocations != 0)
    state.SkipWithError("the report cycle allocated on the heap");
}

BENCHMARK(BM_ReportCycle)
    ->ArgName("mode")
    ->DenseRange(1, 11)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace k4

BENCHMARK_MAIN();
