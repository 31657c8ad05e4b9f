// What the session picture (k4-hostsim --plot FILE.svg) draws, gathered while the session runs:
// the pendant's wheel, intensity and jog mode each report cycle, the axis positions, the jog
// records' speeds and the host actions, on one time axis in seconds.
//
// The trace stands between the simulator and its own output: it reads the host's events as they
// pass (so the simulator itself keeps no plot state), and the simulator tells it when a report
// cycle ends and when the pendant is unplugged or plugged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host_sim.h"

namespace k4::hostsim {

class ProfileFile;

// Host actions, one lane of marks each.
enum class ActionKind { Button, StepLine, DoJog, EndJog, OtherLine, DroWrite, Status, Pendant };
constexpr int kActionKinds = 8;

struct TraceSample {  // one finished report cycle
  double seconds = 0;
  int wheelCounts = 0;  // signed counts the wheel turned since the previous cycle
  int intensity = 0;    // report byte 2
  int jogMode = 0;      // 0 until the first knob reading that names a mode
  std::array<double, kAxisCount> positions{};
};

struct TraceAction {
  double seconds = 0;
  ActionKind kind = ActionKind::Button;
  std::string label;  // the code, the message, the line
};

struct JogSpeedPoint {  // a jog record as a "DOJOG"/"ENDJOG" left it
  double seconds = 0;
  int axis = 0;
  double speed = 0;  // units per minute, negative in reverse, 0 when stopped
};

class SessionTrace final : public EventSink, public SimulatorObserver {
 public:
  // Events go on to `forward`, except jog records when the user did not ask for them (the trace
  // needs them, so the simulator is asked for them in any case).
  SessionTrace(EventSink& forward, const ProfileFile& profile, bool forwardRecords);

  // The clock the host's events are stamped with.
  void useClock(const SimHostView& view) { clock_ = &view; }

  void event(const HostEvent& event) override;
  void simulatorEvent(SimulatorEvent what, HostSimulator& sim) override;

  const std::vector<TraceSample>& samples() const { return samples_; }
  const std::vector<TraceAction>& actions() const { return actions_; }
  const std::vector<JogSpeedPoint>& jogSpeeds() const { return jogSpeeds_; }
  double endSeconds() const;

 private:
  double now() const;
  void readModeSettings();
  void sampleCycle(HostSimulator& sim);

  EventSink& forward_;
  const ProfileFile& profile_;
  bool forwardRecords_;
  const SimHostView* clock_ = nullptr;
  bool autoMode_ = true;  // the plug-in's start-up defaults
  bool singleMode_ = false;
  int jogMode_ = 0;
  int lastWheel_ = -1;
  std::vector<TraceSample> samples_;
  std::vector<TraceAction> actions_;
  std::vector<JogSpeedPoint> jogSpeeds_;
};

}  // namespace k4::hostsim
