// One report cycle's decoding and output report (decodeReport + buildOutputReport) against a
// host whose callbacks do nothing, with the heap allocations made per cycle. The cycle runs on
// the host's user-interface thread every 25 ms and must not allocate once it runs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "fake_host.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
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

std::size_t sentCharacters = 0;

void K4_CALL noButton(int) {}
void K4_CALL noSetDro(int, double) {}
double K4_CALL noGetDro(int) {
  return 0.0;
}  // DRO 22 at 0: the host always takes lines
bool K4_CALL jogAllowedOnly(int code) {
  return code == led::kJogAllowed;
}
void K4_CALL noSetLed(int, bool) {}
void K4_CALL countCode(const char* line) {
  while (*line++ != '\0')
    ++sentCharacters;
}

struct QuietHost {
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};

  QuietHost() {
    resetPluginState();
    pendantSettings = PendantSettings{};
    pendantSettings.StepJogRate = 100;
    pendantSettings.AutoMode = false;  // knob 1: step jog
    planner.stepIncrement = 0.001;
    host.callbacks =
        HostCallbacks{noButton, noSetDro, noGetDro, jogAllowedOnly, noSetLed, countCode};
    host.engine = &engine;
    host.setup = &setup;
    host.planner = &planner;
  }
  ~QuietHost() { resetPluginState(); }
};

constexpr uint32_t kKnobAtOne = 1;

// `wheelStride` counts per cycle: 0 is a still pendant, 1 sends one step line and "G90" each
// cycle.
void runCycles(benchmark::State& state, uint8_t wheelStride) {
  QuietHost quietHost;
  test::NoDeviceServices devices;
  PendantWindow window(devices);
  window.axisIndex = 2;
  uint8_t wheel = 0;
  window.inputWord0 = 0;
  window.inputWord1 = kKnobAtOne;
  window.decodeReport();  // the first decode announces the mode and takes the wheel's reading

  // The count is only worth reporting if the hook really sees this program's allocations.
  const uint64_t probeBefore = allocationCount;
  int* probe = new int(1);
  benchmark::DoNotOptimize(probe);
  delete probe;
  if (allocationCount == probeBefore) {
    state.SkipWithError("the operator new hook is not in use");
    return;
  }

  const std::size_t sentBefore = sentCharacters;
  const uint64_t allocationsBefore = allocationCount;
  for (auto _ : state) {
    wheel = static_cast<uint8_t>(wheel + wheelStride);
    window.inputWord0 = uint32_t{wheel} << 8;
    window.decodeReport();
    window.buildOutputReport();
    benchmark::DoNotOptimize(window.outputReport);
  }
  const double allocations = static_cast<double>(allocationCount - allocationsBefore);
  state.counters["allocs_per_cycle"] =
      benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
  state.counters["chars_sent_per_cycle"] = benchmark::Counter(
      static_cast<double>(sentCharacters - sentBefore), benchmark::Counter::kAvgIterations);
}

void BM_ReportCycleStill(benchmark::State& state) {
  runCycles(state, 0);
}
void BM_ReportCycleStepping(benchmark::State& state) {
  runCycles(state, 1);
}

BENCHMARK(BM_ReportCycleStill)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReportCycleStepping)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace k4

BENCHMARK_MAIN();
