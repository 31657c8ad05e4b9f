// The machine behind the host: it answers the plug-in's LEDs and DROs and carries out its
// button codes and command lines. The simulator's own machine (SimulatedMachine) is one; a
// bridge to a real controller is another. Everything else (module loading, host blocks, event
// loop, pendant links, dashboard, scenario runner) is the host's and the same for both.
//
// Every call comes on the host's thread inside a plug-in callback or between report cycles, and
// must return at once: a model that talks to a slow controller does so from a thread of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_boundary.h"

namespace k4::hostsim {

struct HostBlocks;
struct PendantControls;

class HostModel {
 public:
  virtual ~HostModel() = default;

  // The host blocks the plug-in is handed; called once when the model is put in place, before
  // the plug-in starts. The model gives them their first values.
  virtual void attach(HostBlocks& blocks) = 0;
  // The pendant's controls as the host last saw them (virtual pendant, or a hidraw pendant the
  // host reads beside the plug-in); they may lag the plug-in's own reading by a cycle.
  virtual void watchControls(const PendantControls* controls) { (void)controls; }

  // Once before every report cycle, `seconds` of machine time after the previous one: the model
  // takes the machine's state for this cycle and fills the host blocks from it.
  virtual void beforeCycle(HostBlocks& blocks, double seconds) = 0;

  virtual bool led(int code) = 0;
  // The byte GetLED answers; any non-zero byte is lit.
  virtual uint8_t ledAnswer(int code) { return led(code) ? 1 : 0; }
  // SetLED: kept by the host, never called by the plug-in.
  virtual void setLed(int code, bool on) { (void)code, (void)on; }
  virtual double dro(int code) = 0;
  virtual void setDro(int code, double value) = 0;
  virtual void doButton(int code) = 0;
  // A command line from the plug-in. For "DOJOG"/"ENDJOG", which concern the jog records in
  // `blocks`, the axes whose record the model took, for the host's timeline (a model may leave
  // them unsaid); nothing for other lines.
  virtual std::vector<int> code(const std::string& line, HostBlocks& blocks) = 0;

  // A scenario's "led" and "dro" lines: the host's state as the script sets it. A model whose
  // answers come from a real controller keeps to the controller's.
  virtual void presetLed(int code, uint8_t answer) { (void)code, (void)answer; }
  virtual void presetDro(int code, double value) { (void)code, (void)value; }

  // The pendant went away or came back (virtual unplug, hidraw node gone).
  virtual void pendantPresence(bool present) = 0;
  // The host is about to stop (quit, signal, end of a scenario): stop whatever moves.
  virtual void shutdown(const std::string& why) = 0;
  // Set when the model can no longer serve (its controller is gone): the host ends.
  virtual bool lost() const = 0;
  // A real controller moves in real time: a scenario's cycles then wait for their 25 ms.
  virtual bool realTime() const { return false; }

  // Lines for the live dashboard, and the axis positions for closing summaries.
  virtual std::vector<std::string> dashboard() const = 0;
  virtual std::string positions() const = 0;
  // The positions the session picture draws each cycle, and whether an axis moved since the
  // last look (the host then prints the positions when asked to); a model that leaves motion to
  // its controller's own displays keeps both at rest.
  virtual std::array<double, kAxisCount> axisPositions() const { return {}; }
  virtual bool takeMoved() { return false; }
  // Messages the model has for the operator since the last call (refusals, notes).
  virtual std::vector<std::string> takeMessages() = 0;
};

// A host with no machine behind it, for a run that only opens the configuration dialog: no LED
// lit, every DRO 0, button codes and command lines taken and dropped.
class IdleHostModel final : public HostModel {
 public:
  void attach(HostBlocks&) override {}
  void beforeCycle(HostBlocks&, double) override {}
  bool led(int) override { return false; }
  double dro(int) override { return 0.0; }
  void setDro(int, double) override {}
  void doButton(int) override {}
  std::vector<int> code(const std::string&, HostBlocks&) override { return {}; }
  void pendantPresence(bool) override {}
  void shutdown(const std::string&) override {}
  bool lost() const override { return false; }
  std::vector<std::string> dashboard() const override { return {}; }
  std::string positions() const override { return {}; }
  std::vector<std::string> takeMessages() override { return {}; }
};

}  // namespace k4::hostsim
