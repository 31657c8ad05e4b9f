// Report sequences through the whole chain: the link over the virtual pendant, every decoder and
// the jog engine, against a host whose LEDs, DROs, memory blocks and the plug-in's settings the
// input sets freely. Every report cycle is checked:
//   - axisIndex stays in 0..5 and jogMode in 1..11;
//   - at most five lines reach the host's Code callback in one cycle;
//   - every line has one of the plug-in's formats, its numbers finite with four decimals;
//   - the status line is terminated and holds one of the plug-in's messages;
//   - a disconnected link makes no host call; a removal of the pendant performs 1021 once (and,
//     with a jog running, "ENDJOG" after it), and after it the plug-in acts on nothing until a
//     report arrives again;
//   - jog records, as the host's motion side sees them: every "DOJOG" finds exactly one record
//     freshly written with stop 0 and start 1; every "ENDJOG" finds the stop byte of each jogging
//     axis freshly written 1; at most one axis jogs; after a cycle that changed the mode or the
//     axis, and after a removal, no axis jogs unless that cycle sent "DOJOG" for it;
//   - no "DOJOG" in a cycle whose report shows no wheel movement, unless a jog already runs on
//     that axis (started and not ended since, also not earlier in the same cycle);
//   - a removal performs 1021 once, and besides it at most the end of a running jog and the 205
//     owed since its start;
//   - after a failed or stalled write the link is down with no axis jogging, and no host call
//     follows until the pendant arrives.
//
// The input is a stream of operations (see `Op`); a byte short of an operation's payload ends it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "fake_window.h"
#include "handed_pendant.h"
#include "host/exports.h"
#include "host/host.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "settings/pendant_settings.h"

namespace k4 {
namespace {

constexpr int kMaxCyclesPerInput = 3000;
constexpr int kMaxLinesPerCycle = 5;

// ---- Invariant failures ---------------------------------------------------------------------

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "broken invariant: %s [%.*s]\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

// ---- Line grammar ---------------------------------------------------------------------------

struct Cursor {
  std::string_view rest;
  bool literal(std::string_view text) {
    if (rest.substr(0, text.size()) != text)
      return false;
    rest.remove_prefix(text.size());
    return true;
  }
  bool digits() {
    std::size_t n = 0;
    while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9')
      ++n;
    rest.remove_prefix(n);
    return n > 0;
  }
  bool integer() {
    literal("-");
    return digits();
  }
  // A finite number with exactly four decimals: "-?[0-9]+\.[0-9]{4}".
  bool fixed4() {
    literal("-");
    if (!digits() || !literal("."))
      return false;
    for (int i = 0; i < 4; ++i) {
      if (rest.empty() || rest[0] < '0' || rest[0] > '9')
        return false;
      rest.remove_prefix(1);
    }
    return true;
  }
  bool axisLetter() {
    if (rest.empty() || std::string_view("XYZABC").find(rest[0]) == std::string_view::npos)
      return false;
    rest.remove_prefix(1);
    return true;
  }
  bool end() const { return rest.empty(); }
};

bool isPluginLine(std::string_view line) {
  if (line == "G90" || line == "DOJOG" || line == "ENDJOG")
    return true;
  {
    Cursor c{line};  // "M%d"
    if (c.literal("M") && c.integer() && c.end())
      return true;
  }
  {
    Cursor c{line};  // "G91G1 X%.4f Y%.4f "
    if (c.literal("G91G1 X") && c.fixed4() && c.literal(" Y") && c.fixed4() && c.literal(" ") &&
        c.end()) {
      return true;
    }
  }
  {
    Cursor c{line};  // "G91G1 F%d %s %.4f"
    if (c.literal("G91G1 F") && c.integer() && c.literal(" ") && c.axisLetter() && c.literal(" ") &&
        c.fixed4() && c.end()) {
      return true;
    }
  }
  {
    Cursor c{line};  // "G91G1 F%.4f %s %.4f"
    if (c.literal("G91G1 F") && c.fixed4() && c.literal(" ") && c.axisLetter() && c.literal(" ") &&
        c.fixed4() && c.end()) {
      return true;
    }
  }
  Cursor c{line};  // "G91G1 %s %.4f"
  return c.literal("G91G1 ") && c.axisLetter() && c.literal(" ") && c.fixed4() && c.end();
}

constexpr std::string_view kStatusMessages[] = {
    " Jog OFF. ",
    " OEM Function #1 executed. ",
    "OEM Function #2 executed.",
    "OEM Function #3 executed. ",
    "OEM Function #4 executed.",
    " Custom Macro #1 executed. ",
    " Custom Macro #2 executed. ",
    " Custom Macro #3 executed. ",
    " Custom Macro #4 executed. ",
};

// ---- The host -------------------------------------------------------------------------------

constexpr int kLeds[] = {led::kReset, led::kCycleRunning, led::kFeedHold, led::kJogStartBracket,
                         led::kJogAllowed};
constexpr int kDros[] = {dro::kSpeedPercent, dro::kSpindleTrim,  dro::kQueueDepth,
                         dro::kJogFeed,      dro::kFeedOverride, dro::kStepSize};
constexpr int kLedCount = sizeof kLeds / sizeof kLeds[0];
constexpr int kDroCount = sizeof kDros / sizeof kDros[0];

struct FuzzHost {
  bool leds[kLedCount] = {};
  double dros[kDroCount] = {};
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};

  // Counted since the last reset of the counts.
  int lines = 0;
  int actions = 0;  // DoButton, SetDRO, Code
  int resets = 0;   // DoButton 1021
  int reads = 0;    // GetLED, GetDRO
  int endJogs = 0;  // "ENDJOG"
  int settles = 0;  // DoButton 205

  // The window under test, for the wheel movement its cycle decoded.
  const PendantWindow* window = nullptr;

  // The motion side's view: which axes jog, and which were started by a "DOJOG" since the counts
  // were reset.
  bool jogging[kAxisCount] = {};
  bool startedNow[kAxisCount] = {};
};

// The host consumes what the plug-in wrote into a record at each jog command and leaves this
// mark, so that the next command shows exactly what was written since.
constexpr uint8_t kConsumed = 0xEE;

void consumeRecords(FuzzHost& h) {
  for (AxisJogRecord& record : h.engine.axisJog) {
    record.stopByte = kConsumed;
    record.startByte = kConsumed;
  }
}

void jogCommand(FuzzHost& h, bool start) {
  if (start) {
    int written = -1;
    for (int axis = 0; axis < kAxisCount; ++axis) {
      const AxisJogRecord& record = h.engine.axisJog[axis];
      if (record.stopByte == 0 && record.startByte == 1) {
        if (written >= 0)
          fail("\"DOJOG\" with two records started");
        written = axis;
      } else if (record.stopByte == 0 || record.startByte == 1) {
        fail("\"DOJOG\" with a record half written");
      }
    }
    if (written < 0)
      fail("\"DOJOG\" without a record started");
    if (h.window != nullptr && h.window->wheelSteps == 0 && !h.jogging[written])
      fail("\"DOJOG\" starts a jog with the wheel at rest");
    for (int axis = 0; axis < kAxisCount; ++axis) {
      if (h.engine.axisJog[axis].stopByte == 1)
        h.jogging[axis] = false;
    }
    h.jogging[written] = true;
    h.startedNow[written] = true;
  } else {
    ++h.endJogs;
    for (int axis = 0; axis < kAxisCount; ++axis) {
      if (h.jogging[axis] && h.engine.axisJog[axis].stopByte != 1)
        fail("\"ENDJOG\" without the stop byte of the jogging axis");
      if (h.engine.axisJog[axis].stopByte == 1)
        h.jogging[axis] = false;
    }
  }
  int joggingAxes = 0;
  for (bool axis : h.jogging)
    joggingAxes += axis ? 1 : 0;
  if (joggingAxes > 1)
    fail("two axes jog at once");
  consumeRecords(h);
}

bool anyAxisJogging(const FuzzHost& h, bool exceptStartedNow) {
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (h.jogging[axis] && !(exceptStartedNow && h.startedNow[axis]))
      return true;
  }
  return false;
}

FuzzHost* fuzzHost = nullptr;
uint64_t cyclesRun = 0;

int droSlot(int code) {
  for (int i = 0; i < kDroCount; ++i) {
    if (kDros[i] == code)
      return i;
  }
  return -1;
}

void K4_CALL hostDoButton(int code) {
  ++fuzzHost->actions;
  if (code == button::kReset)
    ++fuzzHost->resets;
  if (code == button::kJogEndAction)
    ++fuzzHost->settles;
}
void K4_CALL hostSetDro(int code, double value) {
  ++fuzzHost->actions;
  const int slot = droSlot(code);
  if (slot >= 0)
    fuzzHost->dros[slot] = value;
}
double K4_CALL hostGetDro(int code) {
  ++fuzzHost->reads;
  const int slot = droSlot(code);
  return slot >= 0 ? fuzzHost->dros[slot] : 0.0;
}
uint8_t K4_CALL hostGetLed(int code) {
  ++fuzzHost->reads;
  for (int i = 0; i < kLedCount; ++i) {
    if (kLeds[i] == code)
      return fuzzHost->leds[i];
  }
  return false;
}
void K4_CALL hostSetLed(int, bool) {
  fail("SetLED is never called");
}
void K4_CALL hostCode(const char* line) {
  ++fuzzHost->actions;
  ++fuzzHost->lines;
  if (line == nullptr)
    fail("a null line");
  const std::size_t length = std::strlen(line);
  if (!isPluginLine({line, length}))
    fail("a line of no known format", {line, length});
  const std::string_view text(line, length);
  if (text == "DOJOG" || text == "ENDJOG")
    jogCommand(*fuzzHost, text == "DOJOG");
}

// ---- The input ------------------------------------------------------------------------------

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool take(void* out, std::size_t n) {
    if (size_ - used_ < n)
      return false;
    std::memcpy(out, data_ + used_, n);
    used_ += n;
    return true;
  }
  bool byte(uint8_t& out) { return take(&out, 1); }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

enum Op : uint8_t {
  kReportAndCycle,  // 8 bytes: the next report, then one cycle
  kCycles,          // 1 byte: 1..32 cycles without a new report, Update between some of them
  kUpdates,         // 1 byte: 1..16 Update calls
  kSetLed,          // 1 byte: LED (low bits) and state (bit 7)
  kSetDro,          // 1 byte DRO, 8 bytes double
  kSetting,         // 1 byte key, 4 bytes value: as the profile would hand it over
  kHostBlock,       // 1 byte field, 8 bytes value
  kUnplug,
  kPlug,
  kWritesFail,   // 1 byte: on/off
  kShortReads,   // 1 byte: on/off
  kLateReport,   // 8 bytes
  kOtherDevice,  // 1 byte: arrival (even) or removal (odd) of another HID device
  kTurnWheel,    // 8 bytes report, 1 byte step, 1 byte count, 1 byte Update period
  kStall,        // 1 byte: the pendant stops (odd) or resumes (even) taking output
  kOpCount
};

double asDouble(const uint8_t (&bytes)[8]) {
  double value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

int32_t asInt32(const uint8_t (&bytes)[8]) {
  int32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

void setHostBlockField(FuzzHost& h, uint8_t field, const uint8_t (&bytes)[8]) {
  const int axis = (field >> 4) % kAxisCount;
  switch (field % 11) {
    case 0:
      h.planner.stepIncrement = asDouble(bytes);
      break;
    case 1:
      h.setup.rotationAngle = asDouble(bytes);
      break;
    case 2:
      h.planner.fullJogSpeed[axis] = asInt32(bytes);
      break;
    case 3:
      h.planner.companionWord[axis] = static_cast<uint32_t>(asInt32(bytes));
      break;
    case 4:
      h.setup.absoluteWord = asInt32(bytes);
      break;
    case 5:
      h.planner.busyWord = asInt32(bytes);
      break;
    case 6:
      h.planner.queueWordA = asInt32(bytes);
      break;
    case 7:
      h.engine.queueWordA = asInt32(bytes);
      break;
    case 8:
      h.engine.jogInhibit = bytes[0];
      break;
    case 9:
      h.planner.queueWordB = h.planner.queueWordA;
      h.engine.queueWordB = h.engine.queueWordA;
      h.planner.busyWord = 0;
      break;
    default:
      h.engine.jogInhibit = 0;
      break;
  }
}

// ---- One input ------------------------------------------------------------------------------

class Run {
 public:
  Run() {
    resetPluginState();
    pendantSettings = PendantSettings{};
    for (const SettingKey& entry : settingKeys())
      entry.set(pendantSettings, entry.startUpDefault);
    host_.leds[4] = true;  // LED 83: jogging allowed
    host_.planner.stepIncrement = 0.001;
    for (int axis = 0; axis < kAxisCount; ++axis)
      host_.planner.fullJogSpeed[axis] = 1000;
    consumeRecords(host_);
    // A status line that was never terminated: only the plug-in's assignment may end it.
    std::memset(host_.planner.statusLine, 'x', sizeof host_.planner.statusLine);
    fuzzHost = &host_;
    host.callbacks =
        HostCallbacks{hostDoButton, hostSetDro, hostGetDro, hostGetLed, hostSetLed, hostCode};
    host.engine = &host_.engine;
    host.setup = &host_.setup;
    host.planner = &host_.planner;
  }
  ~Run() {
    window_.reset();
    resetPluginState();
    pendantSettings = PendantSettings{};
    fuzzHost = nullptr;
  }

  void start(uint8_t options) {
    pendant_.setPresent((options & 1) == 0);
    if ((options & 2) != 0)
      pendant_.addOtherDevice(VirtualPendant::kOtherArrivalPath, 0x1209, 0x0001);
    window_ = std::make_unique<PendantWindow>(pendant_.services());
    window_->attachNativeWindow(test::makeFakeWindow(windowLog_), nullptr);
    host_.window = window_.get();
    resetCounts();
    window_->discoverDevice();
    if (host_.actions != 0)
      fail("discovery performed a host action");
  }

  void play(Input& in) {
    uint8_t op = 0;
    while (cycles_ < kMaxCyclesPerInput && in.byte(op)) {
      if (!step(static_cast<Op>(op % kOpCount), in))
        return;
    }
  }

 private:
  bool step(Op op, Input& in) {
    uint8_t a = 0;
    uint8_t bytes[8] = {};
    switch (op) {
      case kReportAndCycle: {
        if (!in.take(bytes, 8))
          return false;
        queueReport(bytes);
        cycle();
        return true;
      }
      case kCycles: {
        if (!in.byte(a))
          return false;
        const int count = (a & 31) + 1;
        for (int i = 0; i < count; ++i) {
          cycle();
          if ((a & 0x80) != 0 && i % 2 == 1)
            Update();
        }
        return true;
      }
      case kUpdates:
        if (!in.byte(a))
          return false;
        for (int i = 0; i <= (a & 15); ++i)
          Update();
        return true;
      case kSetLed:
        if (!in.byte(a))
          return false;
        host_.leds[(a & 0x7F) % kLedCount] = (a & 0x80) != 0;
        return true;
      case kSetDro:
        if (!in.byte(a) || !in.take(bytes, 8))
          return false;
        host_.dros[a % kDroCount] = asDouble(bytes);
        return true;
      case kSetting: {
        int32_t value = 0;
        if (!in.byte(a) || !in.take(&value, sizeof value))
          return false;
        // What reading the profile does with a stored value: the field keeps what fits, and a
        // position outside its list takes the key's default.
        settingKeys()[a % settingKeys().size()].set(pendantSettings, value);
        bringPositionsIntoRange(pendantSettings, DefaultsColumn::StartUp);
        return true;
      }
      case kHostBlock:
        if (!in.byte(a) || !in.take(bytes, 8))
          return false;
        setHostBlockField(host_, a, bytes);
        return true;
      case kUnplug:
        unplug();
        return true;
      case kPlug:
        if (!pendant_.present()) {
          resetCounts();
          pendant_.plug();
          if (host_.actions != 0)
            fail("an arrival performed a host action");
        }
        return true;
      case kWritesFail:
        if (!in.byte(a))
          return false;
        pendant_.setWritesFail((a & 1) != 0);
        return true;
      case kStall:
        if (!in.byte(a))
          return false;
        pendant_.setStalled((a & 1) != 0);
        return true;
      case kShortReads:
        if (!in.byte(a))
          return false;
        shortReads_ = (a & 1) != 0;
        pendant_.setShortReads(shortReads_);
        return true;
      case kLateReport: {
        if (!in.take(bytes, 8))
          return false;
        VirtualPendant::InputReport report;
        std::memcpy(report.data(), bytes, 8);
        pendant_.queueLateReport(report);
        return true;
      }
      case kOtherDevice:
        if (!in.byte(a))
          return false;
        resetCounts();
        if ((a & 1) == 0) {
          pendant_.arriveOther();
        } else {
          pendant_.removeOther(VirtualPendant::kOtherArrivalPath);
        }
        if (host_.actions != 0)
          fail("another device's arrival or removal performed a host action");
        return true;
      case kTurnWheel: {
        uint8_t stride = 0;
        uint8_t count = 0;
        uint8_t period = 0;
        if (!in.take(bytes, 8) || !in.byte(stride) || !in.byte(count) || !in.byte(period))
          return false;
        for (int i = 0; i <= count % 64; ++i) {
          queueReport(bytes);
          cycle();
          bytes[1] = static_cast<uint8_t>(bytes[1] + stride);
          if (period != 0 && i % (period % 8 + 1) == 0)
            Update();
        }
        return true;
      }
      case kOpCount:
        break;
    }
    return false;
  }

  void queueReport(const uint8_t (&bytes)[8]) {
    VirtualPendant::InputReport report;
    std::memcpy(report.data(), bytes, 8);
    pendant_.queueReport(report);
  }

  void unplug() {
    if (!pendant_.present())
      return;
    // The removal concerns the pendant only when the link knows it: found at start or at an
    // arrival, and not already removed since.
    const int expected = window_->notifyPath.empty() ? 0 : 1;
    resetCounts();
    pendant_.unplug();
    if (host_.resets != expected || host_.actions != expected + host_.endJogs + host_.settles ||
        host_.endJogs > expected || host_.settles > expected)
      fail("a removal did not perform 1021 exactly once and nothing else but ending a jog");
    if (anyAxisJogging(host_, false))
      fail("an axis still jogs after the pendant's removal");
    if (expected != 0)
      quietUntilReport_ = true;
  }

  void cycle() {
    ++cycles_;
    ++cyclesRun;
    const bool connected = window_->deviceConnected;
    const std::size_t queued = pendant_.queuedReportCount();
    const uint32_t assignments = host_.planner.statusAssignments;
    const int32_t modeBefore = window_->jogMode;
    const int32_t axisBefore = window_->axisIndex;
    resetCounts();
    window_->runReportCycle();
    if (connected && !window_->deviceConnected) {
      // The write failed or stalled: the jog ended; the cycles until the pendant arrives again
      // call nothing (checked for every disconnected cycle below).
      if (anyAxisJogging(host_, false))
        fail("an axis still jogs after the link went down");
    }
    if ((window_->jogMode != modeBefore || window_->axisIndex != axisBefore) &&
        anyAxisJogging(host_, true)) {
      fail("a jog outlived a change of the mode or the axis");
    }

    const bool reportArrived =
        pendant_.queuedReportCount() < queued && !shortReads_ && pendant_.present();
    if (reportArrived)
      quietUntilReport_ = false;

    if (window_->axisIndex < 0 || window_->axisIndex >= kAxisCount)
      fail("axisIndex out of 0..5");
    if (window_->jogMode < 1 || window_->jogMode > 11)
      fail("jogMode out of 1..11");
    if (host_.lines > kMaxLinesPerCycle)
      fail("more than five lines in one cycle");
    if (!connected && host_.actions + host_.reads != 0)
      fail("a disconnected link called the host");
    if (quietUntilReport_ && host_.actions != 0)
      fail("a host action after the removal before any new report");
    if (host_.planner.statusAssignments != assignments) {
      const char* line = host_.planner.statusLine;
      const void* end = std::memchr(line, '\0', kStatusLineSize);
      if (end == nullptr)
        fail("the status line is not terminated");
      const std::string_view text(line,
                                  static_cast<std::size_t>(static_cast<const char*>(end) - line));
      bool known = false;
      for (std::string_view message : kStatusMessages)
        known = known || text == message;
      if (!known)
        fail("an unknown status message", text);
    }
  }

  void resetCounts() {
    host_.lines = 0;
    host_.actions = 0;
    host_.resets = 0;
    host_.reads = 0;
    host_.endJogs = 0;
    host_.settles = 0;
    for (bool& started : host_.startedNow)
      started = false;
  }

  FuzzHost host_;
  test::HandedPendant pendant_;
  test::FakeWindowLog windowLog_;
  std::unique_ptr<PendantWindow> window_;
  bool shortReads_ = false;
  bool quietUntilReport_ = false;
  int cycles_ = 0;
};

void reportCycleCount() {
  std::fprintf(stderr, "report cycles: %llu\n", static_cast<unsigned long long>(cyclesRun));
}

}  // namespace
}  // namespace k4

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::atexit(k4::reportCycleCount);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  k4::Input input(data + 1, size - 1);
  k4::Run run;
  run.start(data[0]);
  run.play(input);
  return 0;
}
