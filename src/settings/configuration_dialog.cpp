#include "settings/configuration_dialog.h"

#include <memory>

#include "host/host.h"
#include "platform/dialog.h"
#include "settings/propertiesdlg.h"

namespace k4 {

int runConfigurationDialog() {
  // The settings are written back after the dialog whichever way it ends, so a failure inside
  // the dialog must come back as a plain cancel, never as an exception.
  try {
    auto dialog = std::make_unique<propertiesdlg>(pendantSettings);
    return platformDialogView(host.view).runModal(*dialog) == kDialogOk ? kDialogOk : kDialogCancel;
  } catch (...) {
    return kDialogCancel;
  }
}

}  // namespace k4
