// PLACEHOLDER: replaced by the real decoder.
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::runZeroAndReference() {}

}  // namespace k4
