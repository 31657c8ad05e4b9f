// PLACEHOLDER: a stand-in for the scripted dialog view until its real implementation lands.
// Deleted before the simulator is handed over.
#include "platform/posix/scripted_dialog_view.h"

namespace k4 {
void ScriptedDialogView::setScript(std::vector<Step> steps) { steps_ = std::move(steps); }
int ScriptedDialogView::runModal(propertiesdlg&) {
  messages_.clear();
  return kDialogCancel;
}
}  // namespace k4
