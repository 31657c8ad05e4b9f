// The simulated machine behind the host: LED and DRO tables and six axis positions moved by the
// command lines and jog records the plug-in sends. The simulator's own HostModel.
//
// Units: positions are in the host's current units, as the G-code lines carry them. A jog
// record's speed is taken as units per minute (the same sense as a feed word), so an axis
// jogging at speed 600 moves 10 units a second, 0.25 units per 25 ms report cycle.
// The host takes a value written to DRO 828 (the step size) as its jog increment, the
// PlannerBlock's step increment, so a step size the pendant selects becomes the distance of
// the next step lines.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "host_blocks.h"
#include "host_model.h"

namespace k4::hostsim {

class SimulatedMachine final : public HostModel {
 public:
  SimulatedMachine();  // a host ready to jog: LED 83 lit, every DRO 0

  // The DROs a host starts with, for a session a person runs (live mode, the configuration
  // dialog): feed override (DRO 821) and spindle override (DRO 74) 100, continuous jog speed
  // (DRO 3) 50 percent. Scenarios keep every DRO at 0 and set what they need.
  void startAsAHost();

  // Live mode: the host answers code 1021 by toggling its reset state, LED 800, as a real host
  // does: after the callback, before the next report cycle (a host handles the button from its
  // own queue), which is where a recording of the session notes the LED. Scripts set the LEDs
  // themselves.
  void setReactions(bool react) { reactions_ = react; }

  // The host blocks' first values: a jog increment of 0.001 and a full jog speed of 1000.
  void attach(HostBlocks& blocks) override;
  // Moves the jogging axes over `seconds` of machine time.
  void beforeCycle(HostBlocks& blocks, double seconds) override;

  bool led(int code) override { return ledAnswer(code) != 0; }
  // 1 for a LED switched on, or the byte a script chose for "lit".
  uint8_t ledAnswer(int code) override;
  void setLed(int code, bool on) override { leds_[code] = on ? 1 : 0; }
  double dro(int code) override;
  // Writing DRO 828 also sets the host's jog increment.
  void setDro(int code, double value) override;
  void doButton(int code) override;
  // "DOJOG"/"ENDJOG" start or stop the jog of the axes whose record the plug-in prepared (the
  // axes come back); G-code lines move axes.
  std::vector<int> code(const std::string& line, HostBlocks& blocks) override;
  void presetLed(int code, uint8_t answer) override { leds_[code] = answer; }
  void presetDro(int code, double value) override { setDro(code, value); }

  void pendantPresence(bool) override {}
  void shutdown(const std::string&) override {}
  bool lost() const override { return false; }

  std::vector<std::string> dashboard() const override { return {"Axes:   " + positions()}; }
  // "X 0.0000 Y 0.0000 Z 0.0030 A 0.0000 B 0.0000 C 0.0000"
  std::string positions() const override;
  std::array<double, kAxisCount> axisPositions() const override { return positions_; }
  // True once after any axis moved.
  bool takeMoved() override;
  std::vector<std::string> takeMessages() override { return {}; }

  bool jogging(int axis) const { return jogSpeed_[axis] != 0.0; }

 private:
  void moveAxis(int axis, double target);

  HostBlocks* blocks_ = nullptr;
  bool reactions_ = false;
  int pendingResets_ = 0;  // codes 1021 not yet answered
  std::map<int, uint8_t> leds_;
  std::map<int, double> dros_;
  std::array<double, kAxisCount> positions_{};
  std::array<double, kAxisCount> jogSpeed_{};  // signed units per minute; 0 when not jogging
  int lastJogAxis_ = -1;
  bool relative_ = false;  // G91 in force
  bool moved_ = false;
};

}  // namespace k4::hostsim
