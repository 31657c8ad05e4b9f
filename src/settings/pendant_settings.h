// Every user choice that lasts from one run of the host to the next, stored as integers in the
// host's profile under one section. Most fields hold a 0-based position in a fixed option list
// (option_lists.h); the record only ever holds positions within their lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

#include "host/host_boundary.h"

namespace k4 {

class ProfileStore;
struct OptionList;

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

// Which of a key's two defaults is in force: the one used when the host starts the plug-in, or
// the one the configuration dialog offers.
enum class DefaultsColumn { StartUp, Reconfiguration };

// One persisted setting: its profile key, its field and width, its two defaults, and the option
// list whose position it holds (null for a plain number).
struct SettingKey {
  using Field =
      std::variant<int16_t PendantSettings::*, int32_t PendantSettings::*, bool PendantSettings::*>;

  const char* key;
  Field field;
  int32_t startUpDefault;
  int32_t reconfigurationDefault;
  const OptionList* options;

  int32_t defaultFor(DefaultsColumn column) const {
    return column == DefaultsColumn::StartUp ? startUpDefault : reconfigurationDefault;
  }
  // The field's value, widened (a boolean as 0 or 1).
  int32_t get(const PendantSettings& settings) const;
  // Stores a value read from the profile: an int16 field keeps the low 16 bits in two's
  // complement, a boolean is true when non-zero, an int32 field takes it unchanged.
  void set(PendantSettings& settings, int32_t value) const;
};

// The 27 keys in the order they are read and written; the four button keys come first.
std::span<const SettingKey> settingKeys();
constexpr std::size_t kButtonKeyCount = 4;

// A field holding a position outside its option list (a stored 99 for Vel, -1 from a dialog
// list with nothing selected) takes the key's default of the column in force: every consumer
// indexes a fixed list with it, and the default is the choice the user would otherwise get.
// Reading and the dialog's hand-back both go through here.
void bringPositionsIntoRange(PendantSettings& settings, DefaultsColumn column);

// Reads all keys with the start-up defaults; calls `betweenButtonKeysAndTheRest` (when given)
// after the four button keys, while the profile is open: the caller's pendant search runs there.
void LoadSettings(ProfileStore& store, void (*betweenButtonKeysAndTheRest)());

// Re-reads all keys with the reconfiguration defaults, runs the configuration dialog modally
// and writes all keys back, whatever the dialog's result.
void ConfigureSettings(ProfileStore& store);
// The same with another dialog (tests).
void ConfigureSettings(ProfileStore& store, int (*runDialog)());

}  // namespace k4
