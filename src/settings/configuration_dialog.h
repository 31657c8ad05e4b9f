// Runs the configuration dialog modally over pendantSettings; OK stores the edited values into
// the record, any other close stores nothing. Returns kDialogOk or kDialogCancel.
#pragma once

namespace k4 {

int runConfigurationDialog();

}  // namespace k4
