// The configuration dialog on a terminal, for the simulator's live mode: a line-oriented menu
// that lists every control with its text and value and takes one command a line.
#pragma once

#include <iosfwd>

#include "platform/dialog.h"

namespace k4 {

class TerminalDialogView final : public DialogView {
 public:
  TerminalDialogView(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

  // Commands: "ID VALUE" sets a number field's text, picks a list's entry by position (other
  // text is typed into the list), checks radio button 4161 or 4035, or sets check box 4176 to
  // 0 or 1; "ID ?" shows a list's entries; "ok" presses OK; "esc" or the end of input escapes.
  int runModal(propertiesdlg& dialog) override;

 private:
  std::istream& in_;
  std::ostream& out_;
};

}  // namespace k4
