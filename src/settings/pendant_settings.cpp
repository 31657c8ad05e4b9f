// Placeholder until the settings table lands.
#include "settings/pendant_settings.h"

#include "host/plugin_state.h"
#include "link/pendant_window.h"

namespace k4 {

PendantSettings pendantSettings;

int16_t PendantSettings::button(int index) const {
  switch (index) {
    case 0:
      return BUTTON0;
    case 1:
      return BUTTON1;
    case 2:
      return BUTTON2;
    case 3:
      return BUTTON3;
    default:
      return 0;
  }
}

void LoadSettings(ProfileStore&) {
  if (pendantWindow != nullptr)
    pendantWindow->discoverDevice();
}

void ConfigureSettings(ProfileStore&) {}

}  // namespace k4
