// What stands behind the simulated host when a real controller replaces the simulator's own
// machine model: a bridge answers the plug-in's LEDs and DROs and carries out its button codes
// and command lines. Everything else (module loading, host blocks, event loop, pendant links,
// dashboard, scenario runner) stays the simulator's.
//
// Every call comes on the host's thread inside a plug-in callback or between report cycles, and
// must return at once: a model that talks to a slow controller does so from a thread of its own.
#pragma once

#include <string>
#include <vector>

namespace k4::hostsim {

class Machine;
struct PendantControls;

class HostModel {
 public:
  virtual ~HostModel() = default;

  // The host blocks the plug-in was handed; called once when the model is put in place.
  virtual void attach(Machine& blocks) = 0;
  // The pendant's controls as the host last saw them (virtual pendant, or a hidraw pendant the
  // host reads beside the plug-in); they may lag the plug-in's own reading by a cycle.
  virtual void watchControls(const PendantControls* controls) { (void)controls; }

  // Once before every report cycle: the model takes the controller's state for this cycle and
  // fills the host blocks from it.
  virtual void beforeCycle(Machine& blocks) = 0;

  virtual bool led(int code) = 0;
  virtual double dro(int code) = 0;
  virtual void setDro(int code, double value) = 0;
  virtual void doButton(int code) = 0;
  // A command line from the plug-in. "DOJOG"/"ENDJOG" concern the jog records in `blocks`.
  virtual void code(const std::string& line, Machine& blocks) = 0;

  // The pendant went away or came back (virtual unplug, hidraw node gone).
  virtual void pendantPresence(bool present) = 0;
  // The host is about to stop (quit, signal, end of a scenario): stop whatever moves.
  virtual void shutdown(const std::string& why) = 0;
  // Set when the model can no longer serve (its controller is gone): the host ends.
  virtual bool lost() const = 0;

  // Lines for the live dashboard, and the axis positions for closing summaries.
  virtual std::vector<std::string> dashboard() const = 0;
  virtual std::string positions() const = 0;
  // Messages the model has for the operator since the last call (refusals, notes).
  virtual std::vector<std::string> takeMessages() = 0;
};

}  // namespace k4::hostsim
