// The dialog view on Linux: the dialog table the host's view hands over (the simulator's
// scripted view), else the interactive terminal view on the process's standard streams.
#include <iostream>

#include "platform/dialog.h"
#include "platform/hosted/host_dialog_view.h"
#include "platform/hosted/host_tables.h"
#include "platform/posix/terminal_dialog_view.h"

namespace k4 {

DialogView& platformDialogView(void* hostView) {
  if (const k4_host_view* view = usableHostView(hostView)) {
    if (const k4_dialog_table* table = hostDialogTable(*view)) {
      static HostDialogView handed;
      handed.bind(table);
      return handed;
    }
  }
  static TerminalDialogView terminalView(std::cin, std::cout);
  return terminalView;
}

}  // namespace k4
