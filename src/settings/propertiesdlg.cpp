#include "settings/propertiesdlg.h"

#include <cstddef>
#include <limits>

#include "settings/option_lists.h"

namespace k4 {

namespace {

struct ListControl {
  int id;
  const OptionList* list;
  int16_t PendantSettings::*setting;
};

// The fifteen lists in the order in which they are filled. Each list's selection position is
// what its setting stores, since no list is sorted.
const ListControl kListControls[] = {
    {dialog_id::kStepSize1List, &StepSizeChoices, &PendantSettings::StepSize1},
    {dialog_id::kStepSize2List, &StepSizeChoices, &PendantSettings::StepSize2},
    {dialog_id::kStepSize3List, &StepSizeChoices, &PendantSettings::StepSize3},
    {dialog_id::kVelList, &VelocityDivisors, &PendantSettings::Vel},
    {dialog_id::kAxisAList, &AxisInclusionChoicesA, &PendantSettings::AxisASelection},
    {dialog_id::kAxisBList, &AxisInclusionChoicesB, &PendantSettings::AxisBSelection},
    {dialog_id::kAxisCList, &AxisInclusionChoicesC, &PendantSettings::AxisCSelection},
    {dialog_id::kAxisXYZList, &AxisClickChoices, &PendantSettings::AxisXYZSelection},
    {dialog_id::kButton0List, &CustomButtonActions, &PendantSettings::BUTTON0},
    {dialog_id::kButton1List, &CustomButtonActions, &PendantSettings::BUTTON1},
    {dialog_id::kButton2List, &CustomButtonActions, &PendantSettings::BUTTON2},
    {dialog_id::kButton3List, &CustomButtonActions, &PendantSettings::BUTTON3},
    {dialog_id::kVelocityInAutoList, &VelocityDivisors, &PendantSettings::VelocityInAuto},
    {dialog_id::kAutoChangeSensList, &SensitivityThresholds, &PendantSettings::AutoChangeSens},
    {dialog_id::kSlowDownRateList, &SlowDownDivisors, &PendantSettings::SlowDownRate},
};

// A number field bound to a 16-bit or a 32-bit member (exactly one of the two is set).
struct NumberField {
  int id;
  int16_t* narrow;
  int32_t* wide;
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

bool parseIntegerField(std::string_view text, int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || text[i] < '0' || text[i] > '9')
    return false;
  // Counted past the int32 range only as far as needed to saturate: a field with a huge number
  // gets the nearest representable value instead of an arbitrary wrap.
  constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude < kLimit)
      magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (negative) {
    value = magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                                : static_cast<int32_t>(-magnitude);
  } else {
    value =
        magnitude >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
  }
  return true;
}

bool propertiesdlg::initialiseControls() {
  if (controls_ == nullptr)
    return false;
  macroNumbers[0] = settings_.Macro1;
  macroNumbers[1] = settings_.Macro2;
  macroNumbers[2] = settings_.Macro3;
  macroNumbers[3] = settings_.Macro4;
  oemCodes[0] = settings_.OEM1;
  oemCodes[1] = settings_.OEM2;
  oemCodes[2] = settings_.OEM3;
  oemCodes[3] = settings_.OEM4;
  feedRate = settings_.StepJogRate;
  delaySteps = settings_.DelaySteps;
  sideHoldChoice = settings_.SingleMode ? 1 : 0;
  autoModeCheck = settings_.AutoMode ? 1 : 0;

  for (const ListControl& control : kListControls) {
    controls_->clearList(control.id);
    for (std::size_t i = 0; i < control.list->size; ++i) {
      controls_->addListEntry(control.id, control.list->label(static_cast<int>(i)));
    }
    // A position outside the list selects nothing, which also empties the list's text.
    controls_->selectListEntry(control.id, settings_.*control.setting);
  }

  exchangeValues(true);
  return true;
}

bool propertiesdlg::exchangeValues(bool toControls) {
  if (controls_ == nullptr)
    return false;
  const NumberField fields[] = {
      {dialog_id::kMacro1Field, &macroNumbers[0], nullptr},
      {dialog_id::kMacro2Field, &macroNumbers[1], nullptr},
      {dialog_id::kMacro3Field, &macroNumbers[2], nullptr},
      {dialog_id::kMacro4Field, &macroNumbers[3], nullptr},
      {dialog_id::kOem1Field, &oemCodes[0], nullptr},
      {dialog_id::kOem2Field, &oemCodes[1], nullptr},
      {dialog_id::kOem3Field, &oemCodes[2], nullptr},
      {dialog_id::kOem4Field, &oemCodes[3], nullptr},
      {dialog_id::kFeedRateField, nullptr, &feedRate},
      {dialog_id::kDelayStepsField, nullptr, &delaySteps},
  };

  if (toControls) {
    for (const NumberField& field : fields) {
      const int32_t value = field.narrow != nullptr ? *field.narrow : *field.wide;
      controls_->setText(field.id, std::to_string(value));
    }
    controls_->setChecked(dialog_id::kSingleMpgRadio, sideHoldChoice == 0);
    controls_->setChecked(dialog_id::kVelocityMpgRadio, sideHoldChoice == 1);
    controls_->setChecked(dialog_id::kAutoModeCheck, autoModeCheck != 0);
    return true;
  }

  for (const NumberField& field : fields) {
    int32_t value = 0;
    if (!parseIntegerField(controls_->text(field.id), value)) {
      controls_->showMessage(kEnterIntegerMessage);
      controls_->setFocus(field.id);
      return false;
    }
    // A 16-bit field keeps the low 16 bits, in two's complement (40000 reads as -25536).
    if (field.narrow != nullptr) {
      *field.narrow = static_cast<int16_t>(value);
    } else {
      *field.wide = value;
    }
  }
  if (controls_->isChecked(dialog_id::kSingleMpgRadio)) {
    sideHoldChoice = 0;
  } else if (controls_->isChecked(dialog_id::kVelocityMpgRadio)) {
    sideHoldChoice = 1;
  } else {
    sideHoldChoice = -1;
  }
  autoModeCheck = controls_->isChecked(dialog_id::kAutoModeCheck) ? 1 : 0;
  return true;
}

bool propertiesdlg::acceptAndClose() {
  if (!exchangeValues(false))
    return false;

  settings_.Macro1 = macroNumbers[0];
  settings_.Macro2 = macroNumbers[1];
  settings_.Macro3 = macroNumbers[2];
  settings_.Macro4 = macroNumbers[3];
  settings_.OEM1 = oemCodes[0];
  settings_.OEM2 = oemCodes[1];
  settings_.OEM3 = oemCodes[2];
  settings_.OEM4 = oemCodes[3];
  settings_.StepJogRate = feedRate;
  settings_.DelaySteps = delaySteps;
  settings_.SingleMode = sideHoldChoice != 0;
  settings_.AutoMode = autoModeCheck != 0;

  // A list left without a selection (typed text that matches no entry, or a position that was
  // out of range when the dialog opened) reports -1; the record must only hold positions within
  // their lists, so such a position takes the key's reconfiguration default.
  for (const ListControl& control : kListControls) {
    settings_.*control.setting = static_cast<int16_t>(controls_->listSelection(control.id));
  }
  bringPositionsIntoRange(settings_, DefaultsColumn::Reconfiguration);
  return true;
}

}  // namespace k4
