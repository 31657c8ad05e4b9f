#include "host/plugin_state.h"

#include <algorithm>
#include <cstring>

#include "host/host.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {

Host host;

int32_t TickCounters[kTickCounterCount] = {100, 100, 100, 100, 100, 100, 100, 100};
int32_t jogPauseCountdown = 0;
int32_t wheelBusyCountdown = 0;
int32_t droHoldCountdown = 0;

PendantWindow* pendantWindow = nullptr;
std::string profilePath;
std::string displayName;

namespace {

void unwindIfStopped() {
  if (host.runningHandlerStopped)
    throw HandlerStopped{};
}

}  // namespace

void Host::doButton(int code) const {
  if (callbacks.DoButton != nullptr) {
    callbacks.DoButton(code);
    unwindIfStopped();
  }
}

void Host::setDro(int code, double value) const {
  if (callbacks.SetDRO != nullptr) {
    callbacks.SetDRO(code, value);
    unwindIfStopped();
  }
}

double Host::getDro(int code) const {
  if (callbacks.GetDRO == nullptr)
    return 0.0;
  const double value = callbacks.GetDRO(code);
  unwindIfStopped();
  return value;
}

bool Host::getLed(int code) const {
  if (callbacks.GetLED == nullptr)
    return false;
  const bool lit = callbacks.GetLED(code) != 0;
  unwindIfStopped();
  return lit;
}

void Host::code(const char* line) const {
  if (callbacks.Code != nullptr) {
    callbacks.Code(line);
    unwindIfStopped();
  }
}

void Host::showStatusMessage(const char* message) const {
  if (planner == nullptr)
    return;
  const char* text = message != nullptr ? message : "";
  const std::size_t length = std::min(std::strlen(text), kStatusLineSize - 1);
  std::memcpy(planner->statusLine, text, length);
  planner->statusLine[length] = '\0';
  ++planner->statusAssignments;
}

void advanceUpdateTick() {
  for (int32_t& counter : TickCounters) {
    if (counter > kTickCounterCeiling)
      counter = kTickCounterStart;
    ++counter;
  }
  for (int32_t* countdown : {&jogPauseCountdown, &wheelBusyCountdown, &droHoldCountdown}) {
    if (*countdown != 0)
      --*countdown;
  }
}

void LoadSettings(ProfileStore& store) {
  LoadSettings(store, [] {
    if (pendantWindow != nullptr)
      pendantWindow->discoverDevice();
  });
}

void resetPluginState() {
  std::fill(std::begin(TickCounters), std::end(TickCounters), kTickCounterStart);
  jogPauseCountdown = 0;
  wheelBusyCountdown = 0;
  droHoldCountdown = 0;
  pendantWindow = nullptr;
  profilePath.clear();
  displayName.clear();
  host = Host{};
}

}  // namespace k4
