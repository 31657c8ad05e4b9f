// The continuous-jog and button modes in the 25 ms cycle: time per report cycle and heap
// allocations per cycle, which must stay at zero once the plug-in runs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "fake_host.h"
#include "host/host.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace {

// Atomic only so that the compiler cannot keep it in a register across calls into the plug-in.
std::atomic<std::size_t> allocations{0};

}  // namespace

// Counting replacements of the global allocation functions. GCC sees the inlined malloc behind
// this operator new and the free behind operator delete and wrongly reports a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace k4 {
namespace {

// A host that answers like the fake one but records nothing, so the only allocations counted
// are the plug-in's own.
std::size_t hostActions = 0;  // lines and button codes: shows that the run exercised the modes
void K4_CALL quietDoButton(int code) {
  benchmark::DoNotOptimize(code);
  ++hostActions;
}
void K4_CALL quietSetDro(int, double value) {
  benchmark::DoNotOptimize(value);
}
double K4_CALL quietGetDro(int code) {
  return code == dro::kSpeedPercent ? 50.0 : 0.0;
}
uint8_t K4_CALL quietGetLed(int code) {
  return code == led::kJogAllowed || code == led::kJogStartBracket;
}
void K4_CALL quietSetLed(int, bool) {}
void K4_CALL quietCode(const char* line) {
  benchmark::DoNotOptimize(line);
  ++hostActions;
}

uint32_t word(int intensity, bool stop = false) {
  return static_cast<uint32_t>(intensity) << 16 | (stop ? 1u << 27 : 0u);
}

// Runs `mode` cycle after cycle: a wheel turning with the intensity held, interrupted now and
// then by a still wheel, a dropped intensity and Update ticks, so that jogs start, run and end.
void runMode(benchmark::State& state, int mode) {
  test::FakeHost fakeHost;
  host.callbacks =
      HostCallbacks{quietDoButton, quietSetDro, quietGetDro, quietGetLed, quietSetLed, quietCode};
  pendantSettings.Vel = 2;
  pendantSettings.VelocityInAuto = 5;
  pendantSettings.AutoChangeSens = 0;
  pendantSettings.SlowDownRate = 2;
  pendantSettings.DelaySteps = 25;
  pendantSettings.BUTTON0 = 6;  // a macro: formats its line
  pendantSettings.BUTTON1 = 26;
  pendantSettings.Macro1 = -123;
  test::NoDeviceServices devices;
  PendantWindow window(devices);
  window.jogMode = mode;
  window.axisIndex = 2;

  hostActions = 0;
  const std::size_t before = allocations.load(std::memory_order_relaxed);
  std::size_t cycles = 0;
  for (auto _ : state) {
    const int phase = static_cast<int>(cycles % 64);
    const int intensity = phase < 48 ? 40 + phase : 0;
    window.runReportCycle();
    window.reportWord0 = word(intensity, phase % 8 < 2);
    window.runJogEngine(phase >= 56 ? 1 : 0, phase % 16 == 15 ? 0 : 3);
    if (phase % 4 == 0)
      test::updateTicks(1);
    ++cycles;
  }
  const std::size_t made = allocations.load(std::memory_order_relaxed) - before;
  state.counters["allocations_per_cycle"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(cycles ? cycles : 1));
  state.counters["host_actions_per_cycle"] = benchmark::Counter(
      static_cast<double>(hostActions) / static_cast<double>(cycles ? cycles : 1));
  if (made != 0)
    state.SkipWithError("the report cycle allocated on the heap");
}

void BM_VelocityJog(benchmark::State& state) {
  runMode(state, 2);
}
void BM_DelayedJog(benchmark::State& state) {
  runMode(state, 3);
}
void BM_DroAdjust(benchmark::State& state) {
  runMode(state, 4);
}
void BM_ZeroReference(benchmark::State& state) {
  runMode(state, 7);
}
void BM_CustomActions(benchmark::State& state) {
  runMode(state, 8);
}
void BM_AutoMode(benchmark::State& state) {
  runMode(state, 10);
}

BENCHMARK(BM_VelocityJog);
BENCHMARK(BM_DelayedJog);
BENCHMARK(BM_DroAdjust);
BENCHMARK(BM_ZeroReference);
BENCHMARK(BM_CustomActions);
BENCHMARK(BM_AutoMode);

}  // namespace
}  // namespace k4

BENCHMARK_MAIN();
