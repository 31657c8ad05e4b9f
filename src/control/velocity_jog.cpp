// PLACEHOLDER: replaced by the real decoder.
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::runAutoMode() {}

}  // namespace k4
namespace k4 {
void PendantWindow::runVelocityJog(bool) {}
}  // namespace k4
