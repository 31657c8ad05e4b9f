// How long one hidraw readReport holds the host's thread: with no report pending (the cycle's
// bounded wait, at most 5 ms) and with one report pending (no wait at all). A FIFO in a temporary
// tree stands in for the pendant's node. Besides the mean, each run reports the worst single
// call as worst_us.
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
  k4::DeviceHandle readHandle = k4::kInvalidHandle;
  int writer = -1;

 private:
  std::string root_;
  std::unique_ptr<k4::posix::HidrawDevices> devices_;
};

void recordWorst(benchmark::State& state, double worstSeconds) {
  state.counters["worst_us"] = worstSeconds * 1e6;
}

void BM_ReadWithNoReportPending(benchmark::State& state) {
  FifoPendant pendant;
  if (pendant.readHandle == k4::kInvalidHandle || pendant.writer < 0) {
    state.SkipWithError("could not open the stand-in node");
    return;
  }
  uint8_t report[k4::kInputReportSize];
  double worst = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const bool got = pendant.devices().readReport(pendant.readHandle, report, k4::kReadWaitMs);
    worst = std::max(worst, std::chrono::duration<double>(Clock::now() - start).count());
    benchmark::DoNotOptimize(got);
    if (got)
      state.SkipWithError("a report appeared from nowhere");
  }
  recordWorst(state, worst);
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
  double worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (::write(pendant.writer, sent, sizeof sent) != static_cast<ssize_t>(sizeof sent))
      state.SkipWithError("write to the stand-in node failed");
    state.ResumeTiming();
    const auto start = Clock::now();
    const bool got = pendant.devices().readReport(pendant.readHandle, report, k4::kReadWaitMs);
    worst = std::max(worst, std::chrono::duration<double>(Clock::now() - start).count());
    if (!got)
      state.SkipWithError("the pending report was not read");
  }
  recordWorst(state, worst);
}
BENCHMARK(BM_ReadWithOneReportPending)->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
