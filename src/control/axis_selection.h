// The axis selection's state (the decoder is a PendantWindow operation, axis_selection.cpp).
#pragma once

#include <cstdint>

namespace k4 {

struct AxisSelectionState {
  int32_t axisStepForward = 0;
  int32_t axisStepBack = 0;
  int32_t modifierClickLatch = 0;
  bool tabClickSlow = false;
  bool tabClickLatch = false;
};

}  // namespace k4
