// The configuration dialog on a terminal, for the Linux hosts (the simulator's and the LinuxCNC
// bridge's --config): a line-oriented form that lists every control under the dialog's own
// caption with its value, keeps a cursor on one item and takes one command a line.
#pragma once

#include <iosfwd>

#include "platform/dialog.h"

namespace k4 {

class TerminalDialogView final : public DialogView {
 public:
  TerminalDialogView(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

  // Moving: an empty line or "n" goes to the next item, "p" to the previous one, "g N" to item
  // N, "l" lists them all again. On a number field, any other line is its text (and the cursor
  // moves on); on a list or the SIDE button's radio pair, "+" and "-" step through the entries,
  // "?" lists them, "#N" picks entry N and other text picks the entry of that text (else it is
  // typed into the list); on the check box, "x" ticks or clears it. "ok" presses OK (a field
  // without a number shows the dialog's message and puts the cursor on it), "esc" or the end of
  // input escapes.
  int runModal(propertiesdlg& dialog) override;

 private:
  std::istream& in_;
  std::ostream& out_;
};

}  // namespace k4
