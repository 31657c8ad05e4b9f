#include "host_event.h"

#include <cstdio>

namespace k4::hostsim {

std::string formatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string formatRecord(int axis, const AxisJogRecord& r) {
  char text[160];
  std::snprintf(text, sizeof text, "%c dir=%d speed=%d full=%d stop=%d start=%d",
                kAxisLetters[axis], static_cast<int>(r.direction), static_cast<int>(r.jogSpeed),
                static_cast<int>(r.fullSpeed), r.stopByte, r.startByte);
  return text;
}

std::string formatEvent(const HostEvent& e) {
  const std::string code = std::to_string(e.code);
  switch (e.kind) {
    case HostEventKind::DoButton:
      return "DoButton " + code;
    case HostEventKind::SetDro:
      return "SetDRO " + code + " " + formatNumber(e.value);
    case HostEventKind::GetDro:
      return "GetDRO " + code + " -> " + formatNumber(e.value);
    case HostEventKind::GetLed:
      return "GetLED " + code + " -> " + std::to_string(static_cast<int>(e.value));
    case HostEventKind::SetLed:
      return "SetLED " + code + (e.value != 0 ? " on" : " off");
    case HostEventKind::Code:
      return "Code \"" + e.text + "\"";
    case HostEventKind::Record:
      return "Record " + formatRecord(e.code, e.record);
    case HostEventKind::Status:
      return "Status \"" + e.text + "\"";
    case HostEventKind::Message:
      return "Message \"" + e.text + "\"";
    case HostEventKind::Note:
      return "Note " + e.text;
    case HostEventKind::Machine:
      return "Machine " + e.text;
    case HostEventKind::Output: {
      std::string line = "Output";
      char byte[4];
      for (uint8_t value : e.bytes) {
        std::snprintf(byte, sizeof byte, " %02X", value);
        line += byte;
      }
      return line;
    }
    case HostEventKind::Comment:
      break;
  }
  return e.text.empty() ? "#" : "# " + e.text;
}

}  // namespace k4::hostsim
