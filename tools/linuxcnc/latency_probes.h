// The bridge's latency probes for the benchmark (`--timings`): how long from the report cycle
// that asked for a jog, or for its end, until LinuxCNC's motion shows it, and how long each of
// the plug-in's callbacks takes. Off the measured path: the bridge records only when asked.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bridge_support.h"
#include "controller.h"

namespace k4::lcnc {

// Latency samples for the benchmark, in milliseconds.
struct Timings {
  std::vector<double> wheelToMotion;  // cycle that turned the wheel -> motion seen
  std::vector<double> endToAccepted;  // cycle that ended a continuous jog -> stop taken by motion
  std::vector<double> endToStopped;   // the same -> axis at rest (deceleration included)
  std::map<std::string, std::vector<double>> callbacks;  // time inside each callback
};

// The open probes belong to the bridge's thread, which follows them in each status it reads;
// the samples are taken by the host's thread, so they sit behind a lock of their own.
class LatencyProbes {
 public:
  // Bridge thread: a jog sent at `sent` for the cycle that began at `since`; `toMotion` waits
  // for the axis to move, otherwise for it to stand still. Given up after a second.
  void watch(int axis, bool toMotion, Clock::time_point since, Clock::time_point sent);
  // Bridge thread: closes the probes the status `live` answers.
  void follow(const Status& live);
  // Bridge thread: motion took the stop asked for by the cycle that began at `since`.
  void stopAccepted(Clock::time_point since);
  // Host thread: time spent inside a callback since `since`.
  void callback(const char* name, Clock::time_point since);
  Timings take();

 private:
  struct Probe {
    int axis;
    bool toMotion;  // wheel -> motion; else end -> stopped
    Clock::time_point since;
    Clock::time_point deadline;
  };
  std::vector<Probe> probes_;
  std::mutex mutex_;
  Timings timings_;
};

}  // namespace k4::lcnc
