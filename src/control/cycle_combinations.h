// The SIDE combinations decoder's state (the decoder is a PendantWindow operation,
// cycle_combinations.cpp).
#pragma once

#include <cstdint>

namespace k4 {

struct CycleCombinationsState {
  int32_t startComboLatch = 0;
  int32_t stopComboLatch = 0;
  int32_t cycleStartedHere = 0;
};

}  // namespace k4
