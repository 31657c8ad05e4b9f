// The settings record as a profile without the plug-in's section reads when the dialog is about
// to open: written out by hand, independently of the settings table it checks.
#pragma once

#include "settings/pendant_settings.h"

namespace k4::test {

inline PendantSettings reconfigurationDefaults() {
  PendantSettings s;
  s.StepSize1 = 2;
  s.Vel = 2;
  s.AutoChangeSens = 3;
  s.VelocityInAuto = 5;
  s.SlowDownRate = 2;
  s.StepJogRate = 100;
  s.DelaySteps = 25;
  s.AutoMode = true;
  return s;
}

}  // namespace k4::test
