#include "fake_host.h"

#include <cstdio>

#include "host/host.h"
#include "host/plugin_state.h"
#include "settings/pendant_settings.h"

namespace k4::test {

FakeHost* FakeHost::current = nullptr;

namespace {

std::string formatNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.10g", value);
  return buffer;
}

void K4_CALL fakeDoButton(int code) {
  FakeHost::current->calls.push_back("DoButton " + std::to_string(code));
}
void K4_CALL fakeSetDro(int code, double value) {
  FakeHost::current->dros[code] = value;
  FakeHost::current->calls.push_back("SetDRO " + std::to_string(code) + " " + formatNumber(value));
}
double K4_CALL fakeGetDro(int code) {
  auto found = FakeHost::current->dros.find(code);
  const double value = found == FakeHost::current->dros.end() ? 0.0 : found->second;
  if (FakeHost::current->recordReads) {
    FakeHost::current->calls.push_back("GetDRO " + std::to_string(code) + " -> " +
                                       formatNumber(value));
  }
  return value;
}
uint8_t K4_CALL fakeGetLed(int code) {
  auto found = FakeHost::current->leds.find(code);
  const uint8_t answer = found != FakeHost::current->leds.end() ? found->second : 0;
  if (FakeHost::current->recordReads) {
    FakeHost::current->calls.push_back("GetLED " + std::to_string(code) + " -> " +
                                       std::to_string(answer));
  }
  return answer;
}
void K4_CALL fakeSetLed(int, bool) {}
void K4_CALL fakeCode(const char* line) {
  FakeHost::current->calls.push_back(std::string("Code \"") + line + "\"");
}

}  // namespace

FakeHost::FakeHost() {
  resetPluginState();
  pendantSettings = PendantSettings{};
  leds[led::kJogAllowed] = true;
  planner.stepIncrement = 0.001;
  for (int axis = 0; axis < kAxisCount; ++axis)
    planner.fullJogSpeed[axis] = 1000;
  current = this;
  host.callbacks =
      HostCallbacks{fakeDoButton, fakeSetDro, fakeGetDro, fakeGetLed, fakeSetLed, fakeCode};
  host.engine = &engine;
  host.setup = &setup;
  host.planner = &planner;
}

FakeHost::~FakeHost() {
  resetPluginState();
  pendantSettings = PendantSettings{};
  current = nullptr;
}

std::vector<std::string> FakeHost::take() {
  std::vector<std::string> taken;
  taken.swap(calls);
  return taken;
}

void updateTicks(int n) {
  for (int i = 0; i < n; ++i)
    advanceUpdateTick();
}

}  // namespace k4::test
