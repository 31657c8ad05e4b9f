// Input reports built from named pendant controls, and a fixture holding a pendant window over
// the fake host, so that decoder tests read as timelines: present a report, decode, step Update
// ticks, compare the host calls.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "fake_host.h"
#include "link/pendant_window.h"

namespace k4::test {

struct PendantReport {
  uint8_t wheel = 0;      // byte 1: the wheel counter
  uint8_t intensity = 0;  // byte 2: jog intensity
  bool resetSwitch = false;
  bool otherButton = false;  // the button that only counts towards "any button down"
  bool cycleButton = false;
  bool stop = false;
  bool side = false;
  uint8_t knob = 1;  // byte 4, bits 0..6

  uint32_t word0() const {
    return uint32_t{wheel} << 8 | uint32_t{intensity} << 16 |
           (resetSwitch ? report_bit::kResetSwitch : 0u) |
           (otherButton ? report_bit::kAnyButton : 0u) |
           (cycleButton ? report_bit::kCycleButton : 0u) | (stop ? report_bit::kStop : 0u) |
           (side ? report_bit::kSide : 0u);
  }
  uint32_t word1() const { return uint32_t{knob} & kKnobMask; }
};

// A pendant window over the fake host, without any device.
class PendantTest : public ::testing::Test {
 protected:
  // Puts the report into the decoders' snapshot without running any decoder.
  void present(const PendantReport& report) {
    window.reportWord0 = report.word0();
    window.reportWord1 = report.word1();
  }
  // One full decode of the report, as the report cycle runs it.
  void decode(const PendantReport& report) {
    window.inputWord0 = report.word0();
    window.inputWord1 = report.word1();
    window.decodeReport();
  }

  FakeHost fakeHost;
  NoDeviceServices devices;
  PendantWindow window{devices};
};

}  // namespace k4::test
