// The jog engine's entry: the common guard and the dispatch of one procedure per jog mode.
#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

namespace {

using ModeProcedure = void (PendantWindow::*)();

// Index: jogMode. Modes outside 1..11 do nothing.
constexpr ModeProcedure kModeProcedures[] = {
    nullptr,                                  // 0: no mode
    &PendantWindow::runStepJog,               // 1: step jog
    &PendantWindow::runVelocityJogMode,       // 2: velocity jog
    &PendantWindow::runDelayedContinuousJog,  // 3: delayed continuous jog
    &PendantWindow::runDroAdjust,             // 4: DRO 3
    &PendantWindow::runDroAdjust,             // 5: DRO 821
    &PendantWindow::runDroAdjust,             // 6: DRO 74
    &PendantWindow::runZeroAndReference,      // 7: zero and reference keys
    &PendantWindow::runCustomActions,         // 8: BUTTON0, BUTTON1
    &PendantWindow::runCustomActions,         // 9: BUTTON2, BUTTON3
    &PendantWindow::runAutoMode,              // 10: step or velocity by wheel speed
    &PendantWindow::runSingleStep,            // 11: single step
};
constexpr int kModeCount = static_cast<int>(sizeof kModeProcedures / sizeof kModeProcedures[0]);

}  // namespace

void PendantWindow::runJogEngine(int reverse, int steps) {
  wheelReverse = reverse;
  wheelSteps = steps;
  // The host forbids jogging: forget held counts and settle any owed end-of-jog action.
  if (host.engine != nullptr && host.engine->jogInhibit != 0) {
    jogBacklog = 0;
    jogStartChecked = false;
    if (restore205Owed) {
      restore205Owed = false;
      host.doButton(button::kJogEndAction);
    }
    return;
  }
  if (jogMode <= 0 || jogMode >= kModeCount)
    return;
  // Copied out first: GCC 12's bounds sanitizer misreads an array element called in place
  // through `this->*` and reports the object's address as the index.
  const ModeProcedure procedure = kModeProcedures[jogMode];
  (this->*procedure)();
}

}  // namespace k4
