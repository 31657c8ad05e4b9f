// How long one hidraw readReport holds the host's thread: with no report pending (the cycle's
// bounded wait, at most 5 ms) and with one report pending (no wait at all); and how long one
// writeReport holds it while the pendant takes no output (its node's buffer full). A FIFO in a
// temporary tree stands in for the pendant's node. Besides the mean, each run reports the median,
// the 99th percentile and the worst single call (median_us, p99_us, worst_us).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/pendant_window.h"
#include "platform/posix/hidraw_device.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class FifoPendant {
 public:
  FifoPendant() {
    char pattern[] = "/tmp/k4-bench-XXXXXX";
    root_ = ::mkdtemp(pattern);
    const std::string entry = root_ + "/sys/class/hidraw/hidraw0/device";
    fs::create_directories(entry);
    fs::create_directories(root_ + "/dev");
    std::ofstream(entry + "/uevent") << "HID_ID=0003:000004D8:0000FCE5\n";
    ::mkfifo((root_ + "/dev/hidraw0").c_str(), 0600);
    devices_ = std::make_unique<k4::posix::HidrawDevices>(root_ + "/sys", root_ + "/dev");
    readHandle = devices_->openRead(root_ + "/dev/hidraw0");
    // The test's end of the FIFO; with a writer open the node never reads as hung up.
    writer = ::open((root_ + "/dev/hidraw0").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  }
  ~FifoPendant() {
    ::close(writer);
    devices_->close(readHandle);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  k4::posix::HidrawDevices& devices() { return *devices_; }
  std::string node() const { return root_ + "/dev/hidraw0"; }
  k4::DeviceHandle readHandle = k4::kInvalidHandle;
  int writer = -1;

 private:
  std::string root_;
  std::unique_ptr<k4::posix::HidrawDevices> devices_;
};

// The worst single call, and the median and 99th percentile of all calls: on a shared machine
// the worst call also holds whatever preemption the scheduler chose to put there.
void recordWaits(benchmark::State& state, std::vector<double>& seconds) {
  if (seconds.empty())
    return;
  std::sort(seconds.begin(), seconds.end());
  auto at = [&seconds](double fraction) {
    return seconds[static_cast<std::size_t>(fraction * static_cast<double>(seconds.size() - 1))];
  };
  state.counters["median_us"] = at(0.5) * 1e6;
  state.counters["p99_us"] = at(0.99) * 1e6;
  state.counters["worst_us"] = seconds.back() * 1e6;
}

void BM_ReadWithNoReportPending(benchmark::State& state) {
  FifoPendant pendant;
  if (pendant.readHandle == k4::kInvalidHandle || pendant.writer < 0) {
    state.SkipWithError("could not open the stand-in node");
    return;
  }
  uint8_t report[k4::kInputReportSize];
  std::vector<double> waits;
  waits.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    const auto start = Clock::now();
    const bool got = pendant.devices().readReport(pendant.readHandle, report, k4::kReadWaitMs);
    waits.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    benchmark::DoNotOptimize(got);
    if (got)
      state.SkipWithError("a report appeared from nowhere");
  }
  recordWaits(state, waits);
}
BENCHMARK(BM_ReadWithNoReportPending)->Iterations(400)->Unit(benchmark::kMillisecond);

void BM_ReadWithOneReportPending(benchmark::State& state) {
  FifoPendant pendant;
  if (pendant.readHandle == k4::kInvalidHandle || pendant.writer < 0) {
    state.SkipWithError("could not open the stand-in node");
    return;
  }
  const uint8_t sent[k4::kInputReportSize] = {0, 1, 2, 3, 4, 5, 6, 7};
  uint8_t report[k4::kInputReportSize];
  std::vector<double> waits;
  waits.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    state.PauseTiming();
    if (::write(pendant.writer, sent, sizeof sent) != static_cast<ssize_t>(sizeof sent))
      state.SkipWithError("write to the stand-in node failed");
    state.ResumeTiming();
    const auto start = Clock::now();
    const bool got = pendant.devices().readReport(pendant.readHandle, report, k4::kReadWaitMs);
    waits.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (!got)
      state.SkipWithError("the pending report was not read");
  }
  recordWaits(state, waits);
}
BENCHMARK(BM_ReadWithOneReportPending)->Iterations(20000)->Unit(benchmark::kMicrosecond);

// The pendant stops taking output reports: the node's buffer is full and nobody drains it. Each
// write must come back at once (Busy) instead of waiting for the pendant.
void BM_WriteWhileThePendantTakesNoOutput(benchmark::State& state) {
  FifoPendant pendant;
  const k4::DeviceHandle writeHandle = pendant.devices().openWrite(pendant.node());
  if (writeHandle == k4::kInvalidHandle) {
    state.SkipWithError("could not open the stand-in node for writing");
    return;
  }
  pendant.devices().setWritePendingLimitMs(1000000);  // stays refused, never given up here
  const uint8_t output[k4::kOutputReportSize] = {0, 0x54, 0, 0, 0};
  k4::WriteResult result = k4::WriteResult::Sent;
  for (int i = 0; i < 1000000 && result == k4::WriteResult::Sent; ++i)
    result = pendant.devices().writeReport(writeHandle, output);
  if (result != k4::WriteResult::Busy)
    state.SkipWithError("the stand-in node did not fill up");
  std::vector<double> holds;
  holds.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    const auto start = Clock::now();
    result = pendant.devices().writeReport(writeHandle, output);
    holds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (result != k4::WriteResult::Busy)
      state.SkipWithError("a refused write did not come back as Busy");
  }
  recordWaits(state, holds);
  pendant.devices().close(writeHandle);
}
BENCHMARK(BM_WriteWhileThePendantTakesNoOutput)->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
