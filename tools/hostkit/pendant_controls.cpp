#include "pendant_controls.h"

#include <cstdio>

namespace k4::hostsim {

namespace {
constexpr uint8_t kResetBit = 0x01;  // report bit 24
constexpr uint8_t kAnyBit = 0x02;    // bit 25
constexpr uint8_t kCycleBit = 0x04;  // bit 26
constexpr uint8_t kStopBit = 0x08;   // bit 27
constexpr uint8_t kSideBit = 0x10;   // bit 28
}  // namespace

InputReportBytes PendantControls::report() const {
  InputReportBytes bytes{};
  bytes[1] = wheel;
  bytes[2] = intensity;
  bytes[3] =
      static_cast<uint8_t>((reset ? kResetBit : 0) | (any ? kAnyBit : 0) | (cycle ? kCycleBit : 0) |
                           (stop ? kStopBit : 0) | (side ? kSideBit : 0));
  bytes[4] = knob;
  return bytes;
}

void PendantControls::takeReport(const InputReportBytes& report) {
  wheel = report[1];
  intensity = report[2];
  reset = (report[3] & kResetBit) != 0;
  any = (report[3] & kAnyBit) != 0;
  cycle = (report[3] & kCycleBit) != 0;
  stop = (report[3] & kStopBit) != 0;
  side = (report[3] & kSideBit) != 0;
  knob = report[4];
}

std::string formatReport(const InputReportBytes& report) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < report.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", report[i]);
    text += byte;
  }
  return text;
}

}  // namespace k4::hostsim
