// Every user choice that lasts from one run of the host to the next, stored as integers in the
// host's profile under one section. Most fields hold a 0-based position in a fixed option list
// (option_lists.h); the record only ever holds positions within their lists.
#pragma once

#include <cstdint>

namespace k4 {

class ProfileStore;

constexpr const char* kProfileSection = "Orvane_K4_Pendant";

struct PendantSettings {
  int16_t BUTTON0 = 0;  // CustomButtonActions positions
  int16_t BUTTON1 = 0;
  int16_t BUTTON2 = 0;
  int16_t BUTTON3 = 0;
  int16_t StepSize1 = 0;  // StepSizeChoices positions
  int16_t StepSize2 = 0;
  int16_t StepSize3 = 0;
  int16_t Vel = 0;             // VelocityDivisors position
  int16_t AxisASelection = 0;  // AxisInclusionChoices positions
  int16_t AxisBSelection = 0;
  int16_t AxisCSelection = 0;
  int16_t AxisXYZSelection = 0;  // AxisClickChoices position
  int16_t Macro1 = 0;
  int16_t Macro2 = 0;
  int16_t Macro3 = 0;
  int16_t Macro4 = 0;
  int16_t OEM1 = 0;
  int16_t OEM2 = 0;
  int16_t OEM3 = 0;
  int16_t OEM4 = 0;
  int32_t StepJogRate = 0;
  int32_t DelaySteps = 0;
  bool SingleMode = false;
  bool AutoMode = false;
  int16_t AutoChangeSens = 0;  // SensitivityThresholds position
  int16_t VelocityInAuto = 0;  // VelocityDivisors position
  int16_t SlowDownRate = 0;    // SlowDownDivisors position

  // BUTTON0..BUTTON3 by number.
  int16_t button(int index) const;
};

// The process-wide record: all zero at library load.
extern PendantSettings pendantSettings;

// Reads all keys with the start-up defaults; runs device discovery after the four button keys.
void LoadSettings(ProfileStore& store);

// Re-reads all keys with the reconfiguration defaults, runs the configuration dialog modally
// and writes all keys back, whatever the dialog's result.
void ConfigureSettings(ProfileStore& store);

}  // namespace k4
