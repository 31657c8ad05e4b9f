// A stand-in for the configuration dialog, driven by a script instead of a person: the host
// simulator and the tests hand it to the plug-in as the host view's dialog table
// (host/k4_host_view.h). It sets fields, picks list entries and checks buttons, addressed by the
// setting key each edits, presses OK or Escape, and keeps the messages the dialog showed.
#pragma once

#include <string>
#include <vector>

#include "host/k4_host_view.h"

namespace k4 {

class ScriptedDialogView {
 public:
  struct Step {
    enum class Kind { SetText, SelectEntry, SetCheck, PressOk, PressEscape };
    Kind kind;
    std::string key;   // the setting the control edits ("StepSize1", "SingleMode", ...)
    std::string text;  // SetText
    int value = 0;     // SelectEntry: list position; SetCheck: 0 or 1 (SingleMode: which button)
  };

  ScriptedDialogView();
  // The table holds this object's address.
  ScriptedDialogView(const ScriptedDialogView&) = delete;
  ScriptedDialogView& operator=(const ScriptedDialogView&) = delete;

  // The dialog table to hand over (k4_host_view::dialog); valid as long as this view.
  const k4_dialog_table* table() const { return &table_; }

  // The steps of the next dialog. When OK is refused (a field without a number), the view
  // closes with Escape after the script's last step; a script without OK or Escape ends with
  // Escape too.
  void setScript(std::vector<Step> steps);
  // Messages shown during the last dialog ("Please enter an integer.").
  const std::vector<std::string>& messages() const { return messages_; }

  // Plays the script over the controls the plug-in handed over; K4_DIALOG_OK or
  // K4_DIALOG_CANCEL.
  int runModal(const k4_dialog_controls& controls);

 private:
  k4_dialog_table table_;
  std::vector<Step> steps_;
  std::vector<std::string> messages_;
};

}  // namespace k4
