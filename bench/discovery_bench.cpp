// What one discovery costs on Linux: the link looks for the pendant at start-up and again at
// every device arrival while no pendant is open, never in the report cycle. A temporary tree
// stands in for /sys and /dev with 20 HID interfaces (19 other devices, FIFOs as their nodes);
// the pendant is the last one listed, so every other interface is probed first, or absent, so
// that all 20 are probed for nothing (an arrival of another device while the pendant is away).
// Each iteration makes a pendant window, runs discovery and closes what it opened.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fake_host.h"
#include "link/pendant_window.h"
#include "platform/posix/hidraw_device.h"

namespace {

namespace fs = std::filesystem;

constexpr int kInterfaces = 20;

class HidTree {
 public:
  explicit HidTree(bool pendantPresent) {
    char pattern[] = "/tmp/k4-discovery-XXXXXX";
    root_ = ::mkdtemp(pattern);
    fs::create_directories(root_ + "/dev");
    for (int n = 0; n < kInterfaces; ++n) {
      const bool pendant = pendantPresent && n == kInterfaces - 1;
      const std::string name = "hidraw" + std::to_string(n);
      const std::string entry = root_ + "/sys/class/hidraw/" + name + "/device";
      fs::create_directories(entry);
      std::ofstream(entry + "/uevent")
          << "DRIVER=hid-generic\n"
          << (pendant ? "HID_ID=0003:000004D8:0000FCE5\n"
                      : "HID_ID=0003:0000046D:0000C0" + std::to_string(10 + n) + "\n")
          << "HID_NAME=x\n";
      const std::string node = root_ + "/dev/" + name;
      ::mkfifo(node.c_str(), 0600);
      if (pendant) {
        // The far end of the pendant's FIFO, so that its write handle opens.
        reader_ = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      }
    }
  }
  ~HidTree() {
    if (reader_ >= 0)
      ::close(reader_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string sysfs() const { return root_ + "/sys"; }
  std::string dev() const { return root_ + "/dev"; }

 private:
  std::string root_;
  int reader_ = -1;
};

void BM_Discovery(benchmark::State& state) {
  const bool pendantPresent = state.range(0) != 0;
  k4::test::FakeHost host;
  HidTree tree(pendantPresent);
  k4::posix::HidrawDevices devices(tree.sysfs(), tree.dev());
  for (auto _ : state) {
    k4::PendantWindow window(devices);
    const bool found = window.discoverDevice();
    if (found != pendantPresent)
      state.SkipWithError("discovery found the wrong thing");
    benchmark::DoNotOptimize(found);
  }
  state.counters["interfaces"] = kInterfaces;
}
BENCHMARK(BM_Discovery)
    ->ArgName("pendant")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
