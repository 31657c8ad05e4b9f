// The virtual pendant's controls as the simulator's operator sets them, and the 8-byte input
// report they make. The report layout is the pendant's own: byte 1 the wheel counter, byte 2
// the jog intensity, byte 3 the button bits, byte 4 the knob; bytes 0 and 5 to 7 stay 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace k4::hostsim {

using InputReportBytes = std::array<uint8_t, 8>;

struct PendantControls {
  uint8_t wheel = 0;      // free-running counter, modulo 256
  uint8_t intensity = 0;  // byte 2
  uint8_t knob = 1;       // byte 4; the knob starts at position 1
  bool reset = false;     // byte 3 bit 0 (report bit 24)
  bool any = false;       // bit 25
  bool cycle = false;     // bit 26
  bool stop = false;      // bit 27
  bool side = false;      // bit 28

  InputReportBytes report() const;
  // Takes the controls from a raw report, so later relative wheel moves continue from it.
  void takeReport(const InputReportBytes& report);
};

// "00 05 00 08 01 00 00 00"
std::string formatReport(const InputReportBytes& report);

}  // namespace k4::hostsim
