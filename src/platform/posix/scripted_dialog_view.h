// A dialog view driven by a script instead of a person: the host simulator and the tests use it
// to set fields, pick list entries, check buttons and press OK or Escape, and to read back the
// messages the dialog showed.
#pragma once

#include <string>
#include <vector>

#include "platform/dialog.h"

namespace k4 {

class ScriptedDialogView final : public DialogView {
 public:
  struct Step {
    enum class Kind { SetText, SelectEntry, CheckRadio, SetCheck, PressOk, PressEscape };
    Kind kind;
    int controlId = 0;  // the control's id (4032, 4169, 4161, 4176, ...)
    std::string text;   // SetText
    int value = 0;      // SelectEntry: list position; SetCheck: 0 or 1
  };

  // The steps of the next runModal. When OK is refused (a field without a number), the view
  // closes with Escape after the script's last step; a script without OK or Escape ends with
  // Escape too.
  void setScript(std::vector<Step> steps);
  // Messages shown during the last runModal ("Please enter an integer.").
  const std::vector<std::string>& messages() const { return messages_; }

  int runModal(propertiesdlg& dialog) override;

 private:
  std::vector<Step> steps_;
  std::vector<std::string> messages_;
};

// The control id that edits a setting key ("StepSize1" -> 4032, "SingleMode" -> the radio pair
// 4161, "AutoMode" -> 4176, "Macro1" -> 4162, ...); 0 for an unknown key.
int controlIdForSetting(const char* key);

}  // namespace k4
