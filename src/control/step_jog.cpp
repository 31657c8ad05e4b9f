// PLACEHOLDER: replaced by the real decoder.
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::runStepJog() {}

}  // namespace k4
namespace k4 {
void PendantWindow::makeRotatedStep(int) {}
}  // namespace k4
