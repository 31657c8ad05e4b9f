// The host's memory that the plug-in is handed at InitControl: the engine, setup and planner
// blocks. They belong to the host, whatever machine stands behind it: the simulator's own or a
// bridge to a real controller gives them their first values and reads the jog records from them.
#pragma once

#include <array>
#include <vector>

#include "host/host_boundary.h"

namespace k4::hostsim {

struct HostBlocks {
  EngineBlock engine{};
  SetupBlock setup{};
  PlannerBlock planner{};

  // Remembers the jog records as they are now, so the next jog command can tell which records
  // the plug-in wrote in between.
  void rememberRecords();

  // The axes a jog command ("DOJOG" when `start`, else "ENDJOG") concerns: those whose record
  // the plug-in wrote since the records were last remembered; when it rewrote none (a repeated
  // "ENDJOG", an unchanged "DOJOG"), those whose record is marked for this command. An "ENDJOG"
  // mark counts only on an axis `running` says is jogging.
  std::vector<int> jogSubjects(bool start, const std::array<bool, kAxisCount>& running) const;

 private:
  std::array<AxisJogRecord, kAxisCount> remembered_{};
};

}  // namespace k4::hostsim
