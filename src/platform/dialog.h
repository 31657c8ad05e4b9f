// Dialog view: shows the configuration dialog's model and reports how it was closed. The model
// (members, exchange, validation, accept) is portable; a view only draws it and feeds it input.
#pragma once

namespace k4 {

class propertiesdlg;

constexpr int kDialogOk = 1;      // IDOK
constexpr int kDialogCancel = 2;  // IDCANCEL

class DialogView {
 public:
  virtual ~DialogView() = default;
  // Runs the dialog modally over `dialog` and returns kDialogOk or kDialogCancel.
  virtual int runModal(propertiesdlg& dialog) = 0;
};

// The platform's view for a host view: on Windows the dialog resource; on Linux the view the
// host's view hands over as a dialog table (the simulator's scripted view), else the
// interactive terminal view.
DialogView& platformDialogView(void* hostView);

}  // namespace k4
