// DRO adjust (modes 4, 5 and 6): the wheel trims a host value by half a percent of itself per
// count, within the value's bounds.
#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

namespace {

struct DroAdjustRange {
  int dro;
  double lower;
  double upper;
};

// Index: jogMode - kFirstDroAdjustMode.
constexpr int kFirstDroAdjustMode = 4;
constexpr DroAdjustRange kDroAdjustRanges[] = {
    {dro::kSpeedPercent, 0.1, 100.0},  // mode 4
    {dro::kFeedOverride, 1.0, 250.0},  // mode 5
    {dro::kSpindleTrim, 1.0, 250.0},   // mode 6
};
constexpr int kDroAdjustModeCount =
    static_cast<int>(sizeof kDroAdjustRanges / sizeof kDroAdjustRanges[0]);

// Proportional steps feel the same at every magnitude of the value.
constexpr double kFractionPerCount = 0.005;

}  // namespace

void PendantWindow::runDroAdjust() {
  if (wheelSteps == 0)
    return;
  const int slot = jogMode - kFirstDroAdjustMode;
  if (slot < 0 || slot >= kDroAdjustModeCount)
    return;
  const DroAdjustRange& range = kDroAdjustRanges[slot];
  const double k = wheelSteps * kFractionPerCount;

  const double value = host.getDro(range.dro);
  // The comparisons are false for a value that is not a number, so such a value is left alone.
  if (wheelReverse == 0) {
    if (value < range.upper) {
      const double raised = (1.0 + k) * value;
      host.setDro(range.dro, raised > range.upper ? range.upper : raised);
    }
  } else {
    if (value > 0.0) {
      const double lowered = (1.0 - k) * value;
      host.setDro(range.dro, lowered < range.lower ? range.lower : lowered);
    }
  }
}

}  // namespace k4
