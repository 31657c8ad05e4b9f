// What the host does and sees, one value per event, in the order it happens: the plug-in's
// callbacks, the status line it assigns, the output reports, the model's notes. The timeline a
// scenario prints is these events written as lines; the session trace reads the same values,
// never the lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_boundary.h"

namespace k4::hostsim {

enum class HostEventKind {
  DoButton,  // code
  SetDro,    // code, value
  GetDro,    // code, value answered
  GetLed,    // code, value: the byte answered
  SetLed,    // code, value: 1 on, 0 off
  Code,      // text: the command line
  Record,    // code: the axis; record and jogStart: the jog record a "DOJOG"/"ENDJOG" left
  Status,    // text: the status line the plug-in assigned
  Message,   // text: a message box of the configuration dialog
  Note,      // text: the model's message for the operator
  Machine,   // text: the axis positions after a cycle that moved one
  Output,    // bytes: an output report the pendant was sent
  Comment,   // text: a narration line of a scenario (empty: a bare "#")
};

struct HostEvent {
  HostEventKind kind = HostEventKind::Comment;
  int code = 0;
  double value = 0;
  std::string text{};
  AxisJogRecord record{};
  bool jogStart = false;  // the record's command was "DOJOG"
  std::vector<uint8_t> bytes{};
};

// The event's line: "DoButton 334", "SetDRO 828 0.01", "Code \"DOJOG\"",
// "Record Z dir=0 speed=333 full=1000 stop=0 start=1", ...
std::string formatEvent(const HostEvent& event);

// A number as the host's lines write it ("%.10g").
std::string formatNumber(double value);
// "Z dir=0 speed=333 full=1000 stop=0 start=1"
std::string formatRecord(int axis, const AxisJogRecord& record);

constexpr const char* kAxisLetters = "XYZABC";

class EventSink {
 public:
  virtual void event(const HostEvent& event) = 0;

 protected:
  ~EventSink() = default;
};

}  // namespace k4::hostsim
