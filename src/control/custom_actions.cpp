// Custom actions (modes 8 and 9): STOP alone and STOP with SIDE each run one of the four
// user-chosen actions: a host button code, an OEM code or a macro.
#include <cstdint>
#include <cstdio>

#include "host/host.h"
#include "link/pendant_window.h"
#include "settings/option_lists.h"
#include "settings/pendant_settings.h"

namespace k4 {

namespace {

// Codes 800..899 are this plug-in's own: the OEM and macro slots, and 899 for "nothing" (the
// "NONE" entry and the separators). Every other code is the host's and is performed as it is.
constexpr int kOwnCodeFirst = 800;
constexpr int kOwnCodeLast = 899;

struct OwnAction {
  int code;
  int16_t PendantSettings::*setting;
  const char* message;
};

constexpr OwnAction kOemActions[] = {
    {813, &PendantSettings::OEM1, " OEM Function #1 executed. "},
    {814, &PendantSettings::OEM2, "OEM Function #2 executed."},
    {815, &PendantSettings::OEM3, "OEM Function #3 executed. "},
    {816, &PendantSettings::OEM4, "OEM Function #4 executed."},
};

constexpr OwnAction kMacroActions[] = {
    {817, &PendantSettings::Macro1, " Custom Macro #1 executed. "},
    {818, &PendantSettings::Macro2, " Custom Macro #2 executed. "},
    {819, &PendantSettings::Macro3, " Custom Macro #3 executed. "},
    {820, &PendantSettings::Macro4, " Custom Macro #4 executed. "},
};

// Room for "M" and any int16 in decimal, with its sign and the terminator.
constexpr std::size_t kMacroLineSize = 8;

// Actions BUTTON0, BUTTON1 in mode 8 and BUTTON2, BUTTON3 in mode 9; the first of each pair on
// STOP alone, the second on STOP with SIDE.
constexpr uint32_t kActionKeyValues[2] = {1, 3};

void runCustomAction(PendantWindow& window, int position) {
  // The settings keep positions inside the list; one from outside runs nothing rather than a
  // neighbouring action the user never chose.
  if (!CustomButtonActions.contains(position))
    return;
  const int code = CustomButtonActions.number(position);

  if (code < kOwnCodeFirst || code > kOwnCodeLast) {
    host.doButton(static_cast<int16_t>(code));
    return;
  }
  for (const OwnAction& action : kOemActions) {
    if (action.code != code)
      continue;
    host.doButton(pendantSettings.*action.setting);
    window.showStatusMessage(action.message);
    return;
  }
  for (const OwnAction& action : kMacroActions) {
    if (action.code != code)
      continue;
    char line[kMacroLineSize];
    std::snprintf(line, sizeof line, "M%d", static_cast<int>(pendantSettings.*action.setting));
    host.code(line);
    window.showStatusMessage(action.message);
    return;
  }
}

}  // namespace

void PendantWindow::runCustomActions() {
  const int firstAction = jogMode == 8 ? 0 : 2;
  const uint32_t keys = stopSideValue(reportWord0);
  for (int slot = 0; slot < 2; ++slot) {
    const int action = firstAction + slot;
    // One run per press: the latch holds until both buttons are up, so a held button does not
    // repeat its action 40 times a second.
    if (keys == kActionKeyValues[slot] && customButtonLatch[action] == 0) {
      runCustomAction(*this, pendantSettings.button(action));
      customButtonLatch[action] = 1;
    } else if (keys == 0) {
      customButtonLatch[action] = 0;
    }
  }
}

}  // namespace k4
