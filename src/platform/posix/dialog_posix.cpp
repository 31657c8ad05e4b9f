// The dialog view on Linux: the one the host hands over (the simulator's scripted view), else
// the interactive terminal view on the process's standard streams.
#include <iostream>

#include "platform/dialog.h"
#include "platform/posix/host_view.h"
#include "platform/posix/terminal_dialog_view.h"

namespace k4 {

DialogView& platformDialogView(void* hostView) {
  if (hostView != nullptr) {
    if (DialogView* view = static_cast<posix::HostView*>(hostView)->dialogView())
      return *view;
  }
  static TerminalDialogView terminalView(std::cin, std::cout);
  return terminalView;
}

}  // namespace k4
