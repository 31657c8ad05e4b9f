#include "host_blocks.h"

#include <cstring>

namespace k4::hostsim {

namespace {

bool sameRecord(const AxisJogRecord& a, const AxisJogRecord& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

void HostBlocks::rememberRecords() {
  for (int axis = 0; axis < kAxisCount; ++axis)
    remembered_[axis] = engine.axisJog[axis];
}

std::vector<int> HostBlocks::jogSubjects(bool start,
                                         const std::array<bool, kAxisCount>& running) const {
  std::vector<int> axes;
  for (int axis = 0; axis < kAxisCount; ++axis) {
    if (!sameRecord(engine.axisJog[axis], remembered_[axis]))
      axes.push_back(axis);
  }
  if (!axes.empty())
    return axes;
  for (int axis = 0; axis < kAxisCount; ++axis) {
    const AxisJogRecord& record = engine.axisJog[axis];
    const bool marked = start ? record.startByte != 0 && record.stopByte == 0
                              : record.stopByte != 0 && running[axis];
    if (marked)
      axes.push_back(axis);
  }
  return axes;
}

}  // namespace k4::hostsim
