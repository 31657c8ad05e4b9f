#include "latency_probes.h"

namespace k4::lcnc {

namespace {

constexpr std::chrono::milliseconds kProbeLimit{1000};

}  // namespace

void LatencyProbes::watch(int axis, bool toMotion, Clock::time_point since,
                          Clock::time_point sent) {
  probes_.push_back({axis, toMotion, since, sent + kProbeLimit});
}

void LatencyProbes::follow(const Status& live) {
  if (probes_.empty())
    return;
  const Clock::time_point now = Clock::now();
  for (auto it = probes_.begin(); it != probes_.end();) {
    const bool moving = live.axisVelocity[it->axis] != 0.0;
    const bool done = it->toMotion ? moving : !moving;
    if (done || now > it->deadline) {
      if (done) {
        std::lock_guard lock(mutex_);
        (it->toMotion ? timings_.wheelToMotion : timings_.endToStopped)
            .push_back(msSince(it->since, now));
      }
      it = probes_.erase(it);
    } else {
      ++it;
    }
  }
}

void LatencyProbes::stopAccepted(Clock::time_point since) {
  std::lock_guard lock(mutex_);
  timings_.endToAccepted.push_back(msSince(since));
}

void LatencyProbes::callback(const char* name, Clock::time_point since) {
  const double ms = msSince(since);
  std::lock_guard lock(mutex_);
  timings_.callbacks[name].push_back(ms);
}

Timings LatencyProbes::take() {
  std::lock_guard lock(mutex_);
  Timings taken = std::move(timings_);
  timings_ = {};
  return taken;
}

}  // namespace k4::lcnc
