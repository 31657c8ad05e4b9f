// The configuration dialog, as the settings see it.
#pragma once

namespace k4 {

// Runs the modal configuration dialog over pendantSettings and returns how it was closed
// (1 for OK, 2 for cancel). Values the user accepted are in pendantSettings on return; a
// cancelled dialog changes nothing.
int runConfigurationDialog();

}  // namespace k4
