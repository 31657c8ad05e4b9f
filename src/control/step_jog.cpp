// Step jog: every wheel count moves the selected axis by the host's step increment. Counts that
// arrive while the host's queue is full are held in a backlog and sent once the wheel rests;
// with a rotated XY plane, X and Y steps are turned into the plane.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "control/jog_record.h"
#include "control/step_jog.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {

constexpr const char* kAxisLetters[kAxisCount] = {"X", "Y", "Z", "A", "B", "C"};

// Holds the host's DRO values for this many Update ticks after the last step line, so that a
// burst of lines is not interrupted by restoring them.
constexpr int32_t kDroHoldTicks = 3;
constexpr double kStepJogOverride = 100.0;

// The backlog drains in lines of this many counts, then one line for the rest.
constexpr int32_t kBacklogChunk = 5;

// Degrees to radians: the host's own factor, so that pendant moves land where its display
// puts them.
constexpr double kDegreesToRadians = 0.017453293;

int32_t addSaturating(int32_t a, int32_t b) {
  const int64_t sum = int64_t{a} + b;
  if (sum > INT32_MAX)
    return INT32_MAX;
  if (sum < -INT32_MAX)
    return -INT32_MAX;
  return static_cast<int32_t>(sum);
}

int64_t magnitude(int32_t value) {
  return std::llabs(int64_t{value});
}

// At most two lines per cycle: 5 counts while more than 4 are held, then the rest once fewer
// than 5 remain. A backlog of 12 thus goes out as 5, then 5 and 2.
void flushJogBacklog(PendantWindow& window) {
  const std::string_view letter = axisLetter(window.axisIndex);
  if (magnitude(window.jogBacklog) > kBacklogChunk - 1 && hostQueueHasRoom()) {
    const int32_t chunk = window.jogBacklog > 0 ? kBacklogChunk : -kBacklogChunk;
    sendMove(heldStepLine(letter, chunk * stepIncrement()), window.restoreAbsolute);
    window.jogBacklog -= chunk;
  }
  if (window.jogBacklog != 0 && magnitude(window.jogBacklog) < kBacklogChunk &&
      hostQueueHasRoom()) {
    sendMove(heldStepLine(letter, window.jogBacklog * stepIncrement()), window.restoreAbsolute);
    window.jogBacklog = 0;
  }
}

}  // namespace

std::string_view axisLetter(int32_t axisIndex) {
  if (axisIndex < 0 || axisIndex >= kAxisCount)
    return {};
  return kAxisLetters[axisIndex];
}

GcodeLine heldStepLine(std::string_view letter, double distance) {
  const int32_t rate = pendantSettings.StepJogRate;
  return rate != 0 ? stepLineAtRate(rate, letter, distance) : stepLineWithoutFeed(letter, distance);
}

double stepIncrement() {
  return host.planner != nullptr ? host.planner->stepIncrement : 0.0;
}

double rotationAngle() {
  return host.setup != nullptr ? host.setup->rotationAngle : 0.0;
}

bool hostQueueHasRoom() {
  return host.getDro(dro::kQueueDepth) < dro::kQueueLimit;
}

void sendMove(const GcodeLine& line, bool restoreAbsolute) {
  // The step increment, the rotation and the feed come from the host unchecked; a move by
  // "inf" or "nan" (or by a product that overflowed) is dropped instead of being sent.
  if (!line.allNumbersFinite())
    return;
  host.code(line.c_str());
  if (restoreAbsolute)
    host.code(kAbsoluteModeLine);
}

void prepareStepBurst(PendantWindow& window) {
  if (!window.droRestorePending) {
    window.savedDro818 = host.getDro(dro::kJogFeed);
    window.savedDro821 = host.getDro(dro::kFeedOverride);
    window.droRestorePending = true;
  }
  droHoldCountdown = kDroHoldTicks;
  if (pendantSettings.StepJogRate != 0)
    host.setDro(dro::kFeedOverride, kStepJogOverride);
}

void PendantWindow::runStepJog() {
  const std::string_view letter = axisLetter(axisIndex);

  // Coming from a velocity jog: keep ending it until the host has surely seen the end.
  if (continuousJogActive) {
    endJog();
    if (jogHoldTicks != 0)
      return;
    continuousJogActive = false;
    // The automatic mode's velocity jog is over for good (the step path runs only once the
    // intensity has dropped): its start action is settled here, or 205 would stay owed until
    // the next mode change.
    releaseJogStartAction();
  }

  if (wheelSteps == 0) {
    if (jogBacklog != 0)
      flushJogBacklog(*this);
    return;
  }
  // While the host runs or holds a program the counts are dropped, not held for later.
  if (host.getLed(led::kCycleRunning) || host.getLed(led::kFeedHold))
    return;
  if (!host.getLed(led::kJogAllowed)) {
    showStatusMessage(continuous_jog::kJogOffMessage);
    return;
  }

  const int32_t signedCount = wheelReverse != 0 ? -wheelSteps : wheelSteps;
  if (rotationAngle() != 0.0 && (axisIndex == 0 || axisIndex == 1)) {
    makeRotatedStep(signedCount);
    return;
  }

  prepareStepBurst(*this);
  if (!hostQueueHasRoom()) {
    jogBacklog = addSaturating(jogBacklog, signedCount);
    return;
  }
  const double distance = signedCount * stepIncrement();
  const int32_t rate = pendantSettings.StepJogRate;
  sendMove(rate != 0 ? stepLineAtRate(rate, letter, distance)
                     : stepLineAtFeed(host.getDro(dro::kJogFeed), letter, distance),
           restoreAbsolute);
}

// The move is turned by minus the plane's angle, so that it runs along the host's rotated X or
// Y. Counts that find the queue full are dropped: a backlog is kept for one axis only.
void PendantWindow::makeRotatedStep(int signedCount) {
  const double theta = rotationAngle() * kDegreesToRadians;
  const double distance = signedCount * stepIncrement();
  const double x = axisIndex == 0 ? distance : 0.0;
  const double y = axisIndex == 1 ? distance : 0.0;
  const double rotatedX = x * std::cos(theta) + y * std::sin(theta);
  const double rotatedY = -x * std::sin(theta) + y * std::cos(theta);
  if (hostQueueHasRoom())
    sendMove(rotatedStepLine(rotatedX, rotatedY), restoreAbsolute);
}

}  // namespace k4
