// Declarations of the plug-in's exports, for the tests and the host simulator's type checks.
#pragma once

#include <string>

#include "host/host_boundary.h"

#if defined(_WIN32)
#define K4_EXPORT  // exported under their plain names through the module definition file
#else
#define K4_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
K4_EXPORT void K4_CALL SetDoButton(k4::DoButtonFn fn);
K4_EXPORT void K4_CALL SetSetDRO(k4::SetDroFn fn);
K4_EXPORT void K4_CALL SetGetDRO(k4::GetDroFn fn);
K4_EXPORT void K4_CALL SetGetLED(k4::GetLedFn fn);
K4_EXPORT void K4_CALL SetSetLED(k4::SetLedFn fn);
K4_EXPORT void K4_CALL SetCode(k4::CodeFn fn);
K4_EXPORT const char* K4_CALL SetProName(const char* name);
K4_EXPORT bool K4_CALL InitControl(k4::EngineBlock* engine, k4::SetupBlock* setup,
                                   k4::PlannerBlock* planner, void* view);
K4_EXPORT void K4_CALL PostInitControl();
K4_EXPORT void K4_CALL Config();
K4_EXPORT void K4_CALL Update();
K4_EXPORT void K4_CALL StopPlug();
K4_EXPORT void K4_CALL DoDwell();
K4_EXPORT void K4_CALL Reset();
K4_EXPORT void K4_CALL JogOn();
K4_EXPORT void K4_CALL JogOff();
K4_EXPORT void K4_CALL Purge();
K4_EXPORT void K4_CALL Probe();
K4_EXPORT void K4_CALL Home();
}

namespace k4 {
// The module's file name without directory and extension.
std::string moduleBaseName(const std::string& path);
// The module's base name followed by the version suffix.
std::string buildDisplayName(const std::string& modulePath);
// The host unloads the module without StopPlug: what StopPlug does (the jog ended and settled,
// the timer, the window and the device let go), so that nothing of ours is left to be called
// once the module's code is gone. The platform's unload hook calls it only where that is safe:
// for a dynamic unload, not at process exit, and on the thread that runs the plug-in.
void stopPlugInAtUnload();
}  // namespace k4
