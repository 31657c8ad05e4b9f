// The simulated host: it hands the plug-in its callbacks, its memory blocks and its view, calls
// the entry points in the host's order, hands LEDs, DROs, button codes and command lines to the
// machine behind it (a HostModel), and plays the virtual pendant. Every host action becomes one
// event for the event sink, in the order it happens.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host_blocks.h"
#include "host_event.h"
#include "host_model.h"
#include "host_view.h"
#include "pendant_controls.h"
#include "plugin_module.h"
#include "profile_file.h"
#include "scripted_dialog_view.h"
#include "virtual_pendant.h"

namespace k4::hostsim {

struct ShowFlags {
  bool reads = false;    // every GetLED/GetDRO with its answer
  bool reports = false;  // every output report written
  bool records = false;  // the jog record at each "DOJOG"/"ENDJOG"
  bool machine = false;  // axis positions after each cycle that moved one
};

class HostSimulator;

// What happens to the simulator besides the host's events, for a watcher such as the session plot.
enum class SimulatorEvent { Started, CycleEnded, Configured, Unplugged, Plugged };

class SimulatorObserver {
 public:
  virtual void simulatorEvent(SimulatorEvent what, HostSimulator& sim) = 0;

 protected:
  ~SimulatorObserver() = default;
};

// Which device services the plug-in gets through the host view.
enum class PendantLink {
  Virtual,       // the simulator's virtual pendant
  PluginHidraw,  // none: the plug-in finds a real pendant with its own hidraw services
  Explicit,      // a device table the caller provides (a named hidraw device)
};

class HostSimulator {
 public:
  // `model` is the machine behind the host (the simulator's own, or a bridge to a real
  // controller); it outlives the simulator. With a model on the real clock, each scripted cycle
  // waits for its 25 ms.
  HostSimulator(const EntryPoints& entry, ProfileFile& profile, ShowFlags show, EventSink& sink,
                HostModel& model);
  ~HostSimulator();  // stops a running plug-in
  HostSimulator(const HostSimulator&) = delete;
  HostSimulator& operator=(const HostSimulator&) = delete;

  void useLink(PendantLink link, const k4_device_table* explicitDevices = nullptr);
  PendantLink link() const { return link_; }
  HostModel& model() { return *model_; }
  // The pendant's presence as the host sees it, for a model that must stop jogs on unplug.
  void notePendantPresence(bool present);
  void observe(SimulatorObserver* observer) { observer_ = observer; }

  // The host's start-up: the six setters, SetProName(profile), InitControl, PostInitControl.
  // Settings are written into the profile first; false (nothing started) when that fails.
  bool start(const std::vector<SettingText>& settings, std::string& error);
  // StopPlug. The virtual pendant is replaced by a fresh one with the same presence, so no
  // notification can reach the destroyed window.
  void stop();
  bool running() const { return running_; }
  const std::string& displayName() const { return displayName_; }

  // One report cycle on the virtual clock: machine time advances 25 ms, the plug-in's timer
  // fires, then the cycle's reports, status line and positions are printed.
  void cycleOnVirtualClock();
  // What precedes any report cycle: the machine takes `seconds` of machine time and fills the
  // blocks, and the jog records are remembered (live mode calls it before the real timer fires).
  void beforeCycle(double seconds);
  // What follows any report cycle (live mode calls it after the real timer fired).
  void afterCycle();
  void update();
  void config(const std::vector<ScriptedDialogView::Step>& steps);

  // The virtual pendant.
  VirtualPendant& pendant() { return *pendant_; }
  PendantControls& controls() { return controls_; }
  void queueReport(const InputReportBytes& report);
  void unplug();
  // `elsewhere`: under another interface path (another port, another hidraw node).
  void plug(bool elsewhere = false);
  // `pendant`: a second pendant (the pendant's ids) rather than another kind of device.
  void arriveOther(bool pendant = false);

  HostBlocks& blocks() { return blocks_; }
  SimHostView& view() { return view_; }
  // The last output report the pendant was sent (virtual pendant only); empty before any.
  const std::vector<uint8_t>& lastOutputReport() const { return lastOutput_; }
  // The last mode or axis code 334..339 performed.
  int lastAxisCode() const { return lastAxisCode_; }
  // The LED and DRO codes the plug-in has read so far, in the order of their first read.
  const std::vector<int>& ledsRead() const { return ledsRead_; }
  const std::vector<int>& drosRead() const { return drosRead_; }

  // Prints a status line the plug-in assigned since the last look, and positions that moved.
  void reportHostChanges();

  // ---- Host callbacks (through the one current simulator) -----------------------------------
  void onDoButton(int code);
  void onSetDro(int code, double value);
  double onGetDro(int code);
  uint8_t onGetLed(int code);
  void onSetLed(int code, bool on);
  void onCode(const char* line);

 private:
  void emit(const HostEvent& event) { sink_.event(event); }
  void notify(SimulatorEvent what) {
    if (observer_ != nullptr)
      observer_->simulatorEvent(what, *this);
  }
  void collectOutputReports();

  EntryPoints entry_;
  ProfileFile& profile_;
  ShowFlags show_;
  EventSink& sink_;
  HostBlocks blocks_;
  HostModel* model_;
  SimHostView view_;
  std::unique_ptr<VirtualPendant> pendant_;
  ScriptedDialogView dialog_;
  PendantControls controls_;
  PendantLink link_ = PendantLink::Virtual;
  const k4_device_table* explicitDevices_ = nullptr;
  SimulatorObserver* observer_ = nullptr;
  bool running_ = false;
  std::string displayName_;
  uint32_t statusSeen_ = 0;
  std::vector<uint8_t> lastOutput_;
  int lastAxisCode_ = 0;
  std::vector<int> ledsRead_;
  std::vector<int> drosRead_;
  bool realTime_ = false;
  std::chrono::steady_clock::time_point nextCycle_{};
};

constexpr int kCyclePeriodMs = 25;

}  // namespace k4::hostsim
