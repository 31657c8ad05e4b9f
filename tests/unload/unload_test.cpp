// A host that unloads the plug-in (dlclose) without calling StopPlug, in the middle of a
// velocity jog. The module stops itself on the way out: the jog is ended and settled, the timer
// and the device watch leave the host's loop, the pendant is let go, so the host's loop calls
// nothing that went away with the module. The module is the shipped Orvane_K4.so, loaded as a
// host loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_boundary.h"
#include "manual_host_view.h"
#include "virtual_pendant.h"

namespace k4 {
namespace {

std::vector<std::string> calls;
void K4_CALL onButton(int code) {
  calls.push_back("DoButton " + std::to_string(code));
}
void K4_CALL onSetDro(int code, double) {
  calls.push_back("SetDRO " + std::to_string(code));
}
double K4_CALL onGetDro(int) {
  return 0.0;
}
uint8_t K4_CALL onGetLed(int code) {
  return code == led::kJogAllowed || code == led::kJogStartBracket ? 1 : 0;
}
void K4_CALL onSetLed(int, bool) {}
void K4_CALL onCode(const char* line) {
  calls.push_back(std::string("Code ") + line);
}

template <typename Fn>
Fn exported(void* module, const char* name) {
  void* symbol = ::dlsym(module, name);
  EXPECT_NE(symbol, nullptr) << name;
  return reinterpret_cast<Fn>(symbol);
}

TEST(Unload, WithoutStopPlugEndsTheJogAndLeavesNothingInTheHostsLoop) {
  const std::string profile = ::testing::TempDir() + "k4-unload-profile.xml";
  void* module = ::dlopen(K4_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  exported<void (*)(DoButtonFn)>(module, "SetDoButton")(onButton);
  exported<void (*)(SetDroFn)>(module, "SetSetDRO")(onSetDro);
  exported<void (*)(GetDroFn)>(module, "SetGetDRO")(onGetDro);
  exported<void (*)(GetLedFn)>(module, "SetGetLED")(onGetLed);
  exported<void (*)(SetLedFn)>(module, "SetSetLED")(onSetLed);
  exported<void (*)(CodeFn)>(module, "SetCode")(onCode);
  exported<const char* (*)(const char*)>(module, "SetProName")(profile.c_str());

  VirtualPendant pendant;
  test::ManualHostView loop(pendant.table());
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};
  for (int& speed : planner.fullJogSpeed)
    speed = 1000;
  exported<bool (*)(EngineBlock*, SetupBlock*, PlannerBlock*, void*)>(module, "InitControl")(
      &engine, &setup, &planner, loop.view());
  exported<void (*)()>(module, "PostInitControl")();
  const auto update = exported<void (*)()>(module, "Update");
  ASSERT_EQ(loop.timerCount(), 1u);
  ASSERT_TRUE(pendant.notificationsRegistered());

  uint8_t wheel = 10;
  for (int i = 0; i < 12; ++i) {
    wheel = static_cast<uint8_t>(wheel + 2);
    pendant.queueReport({0, wheel, 60, 0, 2, 0, 0, 0});
    loop.fireTimers();
    update();
  }
  ASSERT_NE(std::find(calls.begin(), calls.end(), "Code DOJOG"), calls.end());
  ASSERT_EQ(engine.axisJog[0].stopByte, 0);
  calls.clear();

  ASSERT_EQ(::dlclose(module), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"Code ENDJOG", "DoButton 205"}));
  EXPECT_EQ(engine.axisJog[0].stopByte, 1);
  EXPECT_EQ(loop.timerCount(), 0u);
  EXPECT_FALSE(pendant.notificationsRegistered());
  EXPECT_EQ(pendant.openHandleCount(), 0);
  loop.fireTimers();  // nothing left to call
  std::remove(profile.c_str());
}

}  // namespace
}  // namespace k4
