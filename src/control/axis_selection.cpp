// PLACEHOLDER: replaced by the real decoder.
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::decodeAxisSelection() {}

}  // namespace k4
