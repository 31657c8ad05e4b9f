#include "platform/posix/scripted_dialog_view.h"

#include <cstring>
#include <utility>

#include "settings/memory_dialog_controls.h"
#include "settings/propertiesdlg.h"

namespace k4 {

namespace {

struct KeyControl {
  const char* key;
  int id;
};

// Every setting key and the control that edits it.
constexpr KeyControl kKeyControls[] = {
    {"BUTTON0", dialog_id::kButton0List},
    {"BUTTON1", dialog_id::kButton1List},
    {"BUTTON2", dialog_id::kButton2List},
    {"BUTTON3", dialog_id::kButton3List},
    {"StepSize1", dialog_id::kStepSize1List},
    {"StepSize2", dialog_id::kStepSize2List},
    {"StepSize3", dialog_id::kStepSize3List},
    {"Vel", dialog_id::kVelList},
    {"AxisASelection", dialog_id::kAxisAList},
    {"AxisBSelection", dialog_id::kAxisBList},
    {"AxisCSelection", dialog_id::kAxisCList},
    {"AxisXYZSelection", dialog_id::kAxisXYZList},
    {"Macro1", dialog_id::kMacro1Field},
    {"Macro2", dialog_id::kMacro2Field},
    {"Macro3", dialog_id::kMacro3Field},
    {"Macro4", dialog_id::kMacro4Field},
    {"OEM1", dialog_id::kOem1Field},
    {"OEM2", dialog_id::kOem2Field},
    {"OEM3", dialog_id::kOem3Field},
    {"OEM4", dialog_id::kOem4Field},
    {"StepJogRate", dialog_id::kFeedRateField},
    {"DelaySteps", dialog_id::kDelayStepsField},
    {"SingleMode", dialog_id::kSingleMpgRadio},
    {"AutoMode", dialog_id::kAutoModeCheck},
    {"AutoChangeSens", dialog_id::kAutoChangeSensList},
    {"VelocityInAuto", dialog_id::kVelocityInAutoList},
    {"SlowDownRate", dialog_id::kSlowDownRateList},
};

}  // namespace

int controlIdForSetting(const char* key) {
  if (key == nullptr)
    return 0;
  for (const KeyControl& entry : kKeyControls) {
    if (std::strcmp(entry.key, key) == 0)
      return entry.id;
  }
  return 0;
}

void ScriptedDialogView::setScript(std::vector<Step> steps) {
  steps_ = std::move(steps);
}

int ScriptedDialogView::runModal(propertiesdlg& dialog) {
  // A script serves one dialog only; a later dialog without a script of its own just escapes.
  const std::vector<Step> steps = std::exchange(steps_, {});
  messages_.clear();

  MemoryDialogControls controls;
  dialog.attach(controls);
  int result = kDialogCancel;
  if (dialog.initialiseControls()) {
    for (const Step& step : steps) {
      bool closed = false;
      switch (step.kind) {
        case Step::Kind::SetText:
          controls.setText(step.controlId, step.text);
          break;
        case Step::Kind::SelectEntry:
          controls.selectListEntry(step.controlId, step.value);
          break;
        case Step::Kind::CheckRadio:
          controls.setChecked(step.controlId, true);
          break;
        case Step::Kind::SetCheck:
          controls.setChecked(step.controlId, step.value != 0);
          break;
        case Step::Kind::PressOk:
          // A refused OK leaves the dialog open for the steps that follow.
          if (dialog.acceptAndClose()) {
            result = kDialogOk;
            closed = true;
          }
          break;
        case Step::Kind::PressEscape:
          closed = true;
          break;
      }
      if (closed)
        break;
    }
  }
  messages_ = std::move(controls.messages);
  return result;
}

}  // namespace k4
