// The reset switch decoder's state (the decoder is a PendantWindow operation, reset_switch.cpp).
#pragma once

#include <cstdint>

namespace k4 {

struct ResetSwitchState {
  int32_t stopLatch = 0;
};

}  // namespace k4
