// The mode selector's state (the decoder is a PendantWindow operation, mode_selector.cpp).
#pragma once

#include <cstdint>

namespace k4 {

struct ModeSelectorState {
  int32_t stopClickLatch = 0;
  bool modifierHeld = false;
};

}  // namespace k4
