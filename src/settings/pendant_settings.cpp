#include "settings/pendant_settings.h"

#include "host/plugin_state.h"
#include "settings/configuration_dialog.h"
#include "settings/option_lists.h"
#include "settings/profile_store.h"

namespace k4 {

PendantSettings pendantSettings;

namespace {

using S = PendantSettings;

// The two default columns differ only for StepSize1 and Vel: the pendant starts with no first
// step size and the slowest velocity sensitivity, while the dialog offers 0.001 and "3".
constexpr SettingKey kSettingKeys[] = {
    {"BUTTON0", &S::BUTTON0, 0, 0, &CustomButtonActions},
    {"BUTTON1", &S::BUTTON1, 0, 0, &CustomButtonActions},
    {"BUTTON2", &S::BUTTON2, 0, 0, &CustomButtonActions},
    {"BUTTON3", &S::BUTTON3, 0, 0, &CustomButtonActions},
    {"StepSize1", &S::StepSize1, 0, 2, &StepSizeChoices},
    {"StepSize2", &S::StepSize2, 0, 0, &StepSizeChoices},
    {"StepSize3", &S::StepSize3, 0, 0, &StepSizeChoices},
    {"Vel", &S::Vel, 0, 2, &VelocityDivisors},
    {"AxisASelection", &S::AxisASelection, 0, 0, &AxisInclusionChoicesA},
    {"AxisBSelection", &S::AxisBSelection, 0, 0, &AxisInclusionChoicesB},
    {"AxisCSelection", &S::AxisCSelection, 0, 0, &AxisInclusionChoicesC},
    {"AxisXYZSelection", &S::AxisXYZSelection, 0, 0, &AxisClickChoices},
    {"Macro1", &S::Macro1, 0, 0, nullptr},
    {"Macro2", &S::Macro2, 0, 0, nullptr},
    {"Macro3", &S::Macro3, 0, 0, nullptr},
    {"Macro4", &S::Macro4, 0, 0, nullptr},
    {"OEM1", &S::OEM1, 0, 0, nullptr},
    {"OEM2", &S::OEM2, 0, 0, nullptr},
    {"OEM3", &S::OEM3, 0, 0, nullptr},
    {"OEM4", &S::OEM4, 0, 0, nullptr},
    {"StepJogRate", &S::StepJogRate, 100, 100, nullptr},
    {"DelaySteps", &S::DelaySteps, 25, 25, nullptr},
    {"SingleMode", &S::SingleMode, 0, 0, nullptr},
    {"AutoMode", &S::AutoMode, 1, 1, nullptr},
    {"AutoChangeSens", &S::AutoChangeSens, 3, 3, &SensitivityThresholds},
    {"VelocityInAuto", &S::VelocityInAuto, 5, 5, &VelocityDivisors},
    {"SlowDownRate", &S::SlowDownRate, 2, 2, &SlowDownDivisors},
};
static_assert(std::size(kSettingKeys) == 27);

void bringPositionIntoRange(const SettingKey& entry, PendantSettings& settings,
                            DefaultsColumn column) {
  if (entry.options != nullptr && !entry.options->contains(entry.get(settings))) {
    entry.set(settings, entry.defaultFor(column));
  }
}

void readKey(const SettingKey& entry, ProfileStore& store, DefaultsColumn column) {
  entry.set(pendantSettings, store.ReadInt(kProfileSection, entry.key, entry.defaultFor(column)));
  bringPositionIntoRange(entry, pendantSettings, column);
}

void readKeys(std::span<const SettingKey> keys, ProfileStore& store, DefaultsColumn column) {
  for (const SettingKey& entry : keys)
    readKey(entry, store, column);
}

}  // namespace

int16_t PendantSettings::button(int index) const {
  switch (index) {
    case 0:
      return BUTTON0;
    case 1:
      return BUTTON1;
    case 2:
      return BUTTON2;
    case 3:
      return BUTTON3;
    default:
      return 0;
  }
}

int32_t SettingKey::get(const PendantSettings& settings) const {
  return std::visit([&](auto member) { return static_cast<int32_t>(settings.*member); }, field);
}

void SettingKey::set(PendantSettings& settings, int32_t value) const {
  struct Store {
    PendantSettings& settings;
    int32_t value;
    // Conversion to a narrower signed type keeps the low bits in two's complement.
    void operator()(int16_t S::*member) const { settings.*member = static_cast<int16_t>(value); }
    void operator()(int32_t S::*member) const { settings.*member = value; }
    void operator()(bool S::*member) const { settings.*member = value != 0; }
  };
  std::visit(Store{settings, value}, field);
}

std::span<const SettingKey> settingKeys() {
  return kSettingKeys;
}

void bringPositionsIntoRange(PendantSettings& settings, DefaultsColumn column) {
  for (const SettingKey& entry : kSettingKeys)
    bringPositionIntoRange(entry, settings, column);
}

void LoadSettings(ProfileStore& store, void (*betweenButtonKeysAndTheRest)()) {
  const std::span<const SettingKey> keys = settingKeys();
  readKeys(keys.first(kButtonKeyCount), store, DefaultsColumn::StartUp);
  // The pendant is looked for while the profile is open, between the button keys and the
  // rest; nothing read afterwards depends on the search.
  if (betweenButtonKeysAndTheRest != nullptr)
    betweenButtonKeysAndTheRest();
  readKeys(keys.subspan(kButtonKeyCount), store, DefaultsColumn::StartUp);
}

void ConfigureSettings(ProfileStore& store) {
  ConfigureSettings(store, runConfigurationDialog);
}

void ConfigureSettings(ProfileStore& store, int (*runDialog)()) {
  readKeys(settingKeys(), store, DefaultsColumn::Reconfiguration);
  // How the dialog was closed does not matter: OK has stored its values by now, any other way
  // leaves the values just read, and either is written back.
  if (runDialog != nullptr)
    runDialog();
  bringPositionsIntoRange(pendantSettings, DefaultsColumn::Reconfiguration);
  for (const SettingKey& entry : kSettingKeys) {
    store.WriteInt(kProfileSection, entry.key, entry.get(pendantSettings));
  }
}

}  // namespace k4
