// PLACEHOLDER: replaced by the real decoder.
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::decodeMode() {}

}  // namespace k4
