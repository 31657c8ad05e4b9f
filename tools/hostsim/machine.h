// The simulated machine behind the host: LED and DRO tables, the host memory blocks the
// plug-in reads and writes, and six axis positions moved by the command lines and jog records
// the plug-in sends.
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

#include "host/host_boundary.h"

namespace k4::hostsim {

constexpr const char* kAxisLetters = "XYZABC";

class Machine {
 public:
  Machine();  // the initial host state: a host ready to jog

  bool led(int code) const { return ledAnswer(code) != 0; }
  // The byte GetLED answers: 1 for a LED switched on, or the byte a script chose for "lit".
  uint8_t ledAnswer(int code) const;
  void setLed(int code, bool on) { leds_[code] = on ? 1 : 0; }
  void setLedAnswer(int code, uint8_t answer) { leds_[code] = answer; }
  double dro(int code) const;
  // Writing DRO 828 also sets the host's jog increment.
  void setDro(int code, double value);

  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};

  // What a jog command did: the axes whose record it concerned.
  struct JogEvent {
    bool start = false;  // "DOJOG" (true) or "ENDJOG"
    std::vector<int> axes;
  };

  // Executes one command line as the host would. "DOJOG"/"ENDJOG" start or stop the jog of the
  // axes whose record the plug-in prepared and fill `jog`; G-code lines move axes.
  // Returns true for a jog command.
  bool execute(const std::string& line, JogEvent& jog);

  // Remembers the jog records as they are now, so the next jog command can tell which records
  // the plug-in wrote in between.
  void rememberRecords();
  // The axes a jog command concerns (see machine.cpp); a bridge asks the same question.
  std::vector<int> jogSubjects(bool start) const;

  // Moves the jogging axes over `seconds` of machine time.
  void advance(double seconds);

  // True once after any axis moved.
  bool takeMoved();
  const std::array<double, kAxisCount>& positions() const { return positions_; }
  bool jogging(int axis) const { return jogSpeed_[axis] != 0.0; }

  // "X 0.0000 Y 0.0000 Z 0.0030 A 0.0000 B 0.0000 C 0.0000"
  std::string formatPositions() const;
  // "Z dir=0 speed=333 full=1000 stop=0 start=1"
  std::string formatRecord(int axis) const;

 private:
  void moveAxis(int axis, double target);

  std::map<int, uint8_t> leds_;
  std::map<int, double> dros_;
  std::array<double, kAxisCount> positions_{};
  std::array<double, kAxisCount> jogSpeed_{};  // signed units per minute; 0 when not jogging
  std::array<AxisJogRecord, kAxisCount> rememberedRecords_{};
  int lastJogAxis_ = -1;
  bool relative_ = false;  // G91 in force
  bool moved_ = false;
};

}  // namespace k4::hostsim
