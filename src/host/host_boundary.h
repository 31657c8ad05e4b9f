// The boundary between the host program and the plug-in: the callbacks the host hands over,
// the host codes the plug-in uses, and the layouts of the host memory blocks.
//
// The field positions inside the host blocks are this header's choice. Everything that depends
// on them lives here, pinned by static_asserts, so that adapting to another host layout is a
// change of this one file. No field is pointer-sized: the 32-bit and the 64-bit builds share one
// layout. The whole contract, as a checklist, is "The host contract" in docs/ARCHITECTURE.md;
// tests/win32_host/bare_host_test.cpp is a host written from that list without this header, so
// a change here that breaks the contract fails there. The plug-in cannot detect a host whose
// convention or layout differs: it trusts these, and checks only for null pointers.
#pragma once

#include <cstddef>
#include <cstdint>

// Calling convention of the exports and of the host callbacks. The host is a 32-bit Windows
// program using the platform's default C convention: cdecl, the caller removes the arguments
// (a stdcall host would find its stack moved after every call). On 64-bit builds the one
// platform convention. The COM self-registration exports are stdcall, as COM has them.
#if defined(_WIN32) && !defined(_WIN64)
#define K4_CALL __cdecl
#else
#define K4_CALL
#endif

namespace k4 {

// ---- Callbacks -------------------------------------------------------------------------------

using DoButtonFn = void(K4_CALL*)(int code);
using SetDroFn = void(K4_CALL*)(int code, double value);
using GetDroFn = double(K4_CALL*)(int code);
// GetLED answers with a one-byte boolean: only the low byte of its result is defined, and a lit
// LED need not read 1. Typed as a byte so that nothing can use more than that byte, and read as
// "non-zero is lit" (Host::getLed), never as a number.
using GetLedFn = uint8_t(K4_CALL*)(int code);
using SetLedFn = void(K4_CALL*)(int code, bool on);  // stored, never called
using CodeFn = void(K4_CALL*)(const char* line);

// The six callbacks, each handed over by its own setter export.
struct HostCallbacks {
  DoButtonFn DoButton = nullptr;
  SetDroFn SetDRO = nullptr;
  GetDroFn GetDRO = nullptr;
  GetLedFn GetLED = nullptr;
  SetLedFn SetLED = nullptr;
  CodeFn Code = nullptr;
};

// ---- Host codes ------------------------------------------------------------------------------

namespace button {
constexpr int kReset = 1021;            // reset switch on/off; pendant unplugged
constexpr int kCycleStart = 1000;       // start combination while LED 804 is dark
constexpr int kCycleResume = 1001;      // start combination while LED 804 is lit
constexpr int kCycleStopFollow = 1002;  // second code of a stop not preceded by a pendant start
constexpr int kCycleStop = 1003;
constexpr int kAxisBase = 334;         // + axis index: on a mode change and before an axis change
constexpr int kToggleTabScreen = 323;  // single STOP click
constexpr int kZeroBase = 1008;        // + axis index, X..A
constexpr int kRefBase = 1022;         // + axis index, X..A
constexpr int kJogStartAction = 204;   // brackets a continuous jog while LED 15 is lit
constexpr int kJogEndAction = 205;
}  // namespace button

namespace led {
constexpr int kReset = 800;
constexpr int kCycleRunning = 804;
constexpr int kFeedHold = 805;
constexpr int kJogStartBracket = 15;
constexpr int kJogAllowed = 83;
}  // namespace led

namespace dro {
constexpr int kSpeedPercent = 3;    // continuous-jog speed percentage; trimmed in mode 4
constexpr int kSpindleTrim = 74;    // trimmed in mode 6
constexpr int kQueueDepth = 22;     // lines are sent only while it reads below kQueueLimit
constexpr int kJogFeed = 818;       // saved and restored around step jogging
constexpr int kFeedOverride = 821;  // saved and restored; trimmed in mode 5
constexpr int kStepSize = 828;      // the selected step size
constexpr double kQueueLimit = 20.0;
}  // namespace dro

constexpr int kAxisCount = 6;

// ---- The host's profile ---------------------------------------------------------------------

// The section of the host's XML profile under which the plug-in keeps its settings, one element
// per setting key holding an integer.
constexpr const char* kProfileSection = "Orvane_K4_Pendant";

// ---- Host memory blocks ----------------------------------------------------------------------

// Per-axis continuous-jog record inside the EngineBlock. The host's motion side reads it when
// it receives "DOJOG" or "ENDJOG".
struct AxisJogRecord {
  int32_t direction;       // 0 forward, 1 reverse
  int32_t jogSpeed;        // truncated towards zero
  uint32_t companionWord;  // copied from the PlannerBlock
  int32_t fullSpeed;       // copied from the PlannerBlock
  uint8_t stopByte;        // 1 before every "ENDJOG", 0 before every "DOJOG"
  uint8_t startByte;       // 1 before every "DOJOG"
  uint8_t reserved[2];
};
static_assert(sizeof(AxisJogRecord) == 20);
static_assert(offsetof(AxisJogRecord, direction) == 0);
static_assert(offsetof(AxisJogRecord, jogSpeed) == 4);
static_assert(offsetof(AxisJogRecord, companionWord) == 8);
static_assert(offsetof(AxisJogRecord, fullSpeed) == 12);
static_assert(offsetof(AxisJogRecord, stopByte) == 16);
static_assert(offsetof(AxisJogRecord, startByte) == 17);

struct EngineBlock {
  int32_t queueWordA;  // equal queue words: nothing queued
  int32_t queueWordB;
  uint8_t jogInhibit;  // non-zero: the jog engine does nothing
  uint8_t reserved[3];
  AxisJogRecord axisJog[kAxisCount];  // X, Y, Z, A, B, C
};
static_assert(offsetof(EngineBlock, queueWordA) == 0);
static_assert(offsetof(EngineBlock, queueWordB) == 4);
static_assert(offsetof(EngineBlock, jogInhibit) == 8);
static_assert(offsetof(EngineBlock, axisJog) == 12);
static_assert(sizeof(EngineBlock) == 12 + 6 * 20);

struct SetupBlock {
  int32_t absoluteWord;  // 0: "G90" follows each relative jog line
  int32_t reserved;
  double rotationAngle;  // degrees
};
static_assert(offsetof(SetupBlock, absoluteWord) == 0);
static_assert(offsetof(SetupBlock, rotationAngle) == 8);
static_assert(sizeof(SetupBlock) == 16);

// Capacity of the host's status line, terminator included. Longer messages are cut.
constexpr std::size_t kStatusLineSize = 128;

struct PlannerBlock {
  int32_t busyWord;
  int32_t queueWordA;
  int32_t queueWordB;
  int32_t reserved;
  double stepIncrement;                // host jog increment per wheel count
  int32_t fullJogSpeed[kAxisCount];    // per axis
  uint32_t companionWord[kAxisCount];  // per axis
  uint32_t statusAssignments;          // incremented at every assignment of statusLine
  char statusLine[kStatusLineSize];    // always terminated
  uint8_t reserved2[4];
};
static_assert(offsetof(PlannerBlock, busyWord) == 0);
static_assert(offsetof(PlannerBlock, queueWordA) == 4);
static_assert(offsetof(PlannerBlock, queueWordB) == 8);
static_assert(offsetof(PlannerBlock, stepIncrement) == 16);
static_assert(offsetof(PlannerBlock, fullJogSpeed) == 24);
static_assert(offsetof(PlannerBlock, companionWord) == 48);
static_assert(offsetof(PlannerBlock, statusAssignments) == 72);
static_assert(offsetof(PlannerBlock, statusLine) == 76);
static_assert(sizeof(PlannerBlock) == 76 + kStatusLineSize + 4);

// SetProName's argument, the host's "name string, by value", is taken as one pointer to the
// profile path's characters (NUL-terminated, ANSI code page): what a host passes when its
// string object is a single pointer to its characters. The characters are copied during the
// call; the argument is never written or released (a host whose convention leaves a by-value
// object's destruction to the callee loses that one string per call, freed by nobody rather
// than by an allocator that is not ours).
//
// HostView: on Windows the host's view window handle (HWND) that parents the pendant window;
// on Linux a k4_host_view (host/k4_host_view.h, a C struct of function pointers), the event
// loop that the host owns and runs, with the device and dialog tables a host may stand in with.

}  // namespace k4
