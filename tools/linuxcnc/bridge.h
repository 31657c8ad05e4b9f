// The bridge: it stands behind the simulated host in place of the machine model and serves the
// plug-in's LEDs, DROs, button codes and command lines from a running LinuxCNC.
//
// Two threads. The host's thread (the plug-in's callbacks, the report cycle) never waits for
// LinuxCNC: it reads a status copy taken once per cycle and puts commands into a queue. The
// bridge's own thread owns the controller: it keeps the status copy current, brings LinuxCNC
// into the mode a command needs, issues the command, follows its echo and reports refusals.
//
// One class, its parts in files of their own: bridge.cpp (the status copy per cycle, the queue,
// jog stops, the dashboard), bridge_mapping.cpp (LEDs, DROs, command lines), bridge_buttons.cpp
// (the table of button codes), bridge_worker.cpp (the bridge's thread), bridge_steps.cpp (step
// jogs and their bound); latency_probes.* keeps the benchmark's samples.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "actions.h"
#include "bridge_support.h"
#include "controller.h"
#include "host_blocks.h"
#include "host_model.h"
#include "latency_probes.h"

namespace k4::lcnc {

struct BridgeConfig {
  // Per axis, from the INI's [AXIS_L]MAX_VELOCITY, machine units per second; 0: not configured.
  std::array<double, kAxes> maxVelocity{};
  // Per axis, [AXIS_L]MAX_ACCELERATION, machine units per second squared; 0: not configured.
  std::array<double, kAxes> maxAcceleration{};
  // [TRAJ]DEFAULT_LINEAR_VELOCITY, machine units per second: the speed of a step line when no
  // feed is known.
  double defaultVelocity = 0.0;
  // How long a step jog may go on after the last wheel count, in seconds: the commanded but
  // unexecuted travel an axis may hold is what it covers in this time from rest. Below the
  // promised half second by the time a line takes to reach LinuxCNC.
  double restSeconds = 0.4;
  // [DISPLAY] override limits (LinuxCNC's task does not clamp), as fractions (1.0 = 100 %).
  double maxFeedOverride = 1.0;
  double maxSpindleOverride = 1.0;
  double minSpindleOverride = 0.5;
  // The joints behind each axis, from the kinematics; `jointsKnown` false: no mapping known,
  // homing a single axis is refused.
  bool jointsKnown = false;
  std::array<std::vector<int>, kAxes> axisJoints{};
  std::string kinematics;  // named in the refusal
  ActionMap actions = defaultActions();
  std::string actionsFile;       // named in the "no meaning" notes
  bool operatorMessages = true;  // the status line also goes to LinuxCNC's operator messages
  // LinuxCNC's error channel is a queue its readers share: a message the bridge reads, the
  // screen never shows. Only without a screen (headless) does the bridge read it, for the
  // reasons of refusals.
  bool readErrors = false;
  std::chrono::milliseconds staleAfter{2000};  // LinuxCNC silent this long: connection lost
  // A continuous jog the plug-in has not renewed for this long is stopped.
  std::chrono::milliseconds jogWatchdog{150};
  bool timings = false;  // keep latency and callback-time samples for the benchmark
  // Set from a signal handler: the host ends as if the connection were lost, jogs stopped.
  const std::atomic<bool>* stopRequest = nullptr;
};

class Bridge final : public hostsim::HostModel {
 public:
  Bridge(std::unique_ptr<Controller> controller, BridgeConfig config);
  ~Bridge() override;
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  void attach(hostsim::HostBlocks& blocks) override;
  void watchControls(const hostsim::PendantControls* controls) override { controls_ = controls; }
  void beforeCycle(hostsim::HostBlocks& blocks, double seconds) override;
  bool led(int code) override;
  double dro(int code) override;
  void setDro(int code, double value) override;
  void doButton(int code) override;
  // The jog records' axes are not named for the host's timeline: LinuxCNC's own status shows
  // the motion.
  std::vector<int> code(const std::string& line, hostsim::HostBlocks& blocks) override;
  void pendantPresence(bool present) override;
  void shutdown(const std::string& why) override;
  bool lost() const override {
    return lost_ || (config_.stopRequest != nullptr && config_.stopRequest->load());
  }
  bool realTime() const override { return true; }
  std::vector<std::string> dashboard() const override;
  std::string positions() const override;
  std::vector<std::string> takeMessages() override;

  // Whether every queued command has been taken and carried out by the bridge's thread (a test
  // waits for it instead of guessing how long that thread may take on a loaded machine).
  bool idle() const;

  // Benchmark samples (with `timings`); call after shutdown.
  Timings takeTimings();

 private:
  struct Queued {
    Command command;
    Clock::time_point cycleStart;  // the report cycle that asked for it
  };

  // ---- host thread ----
  void say(const std::string& text);
  void sayOnce(int code, const std::string& text);
  void tell(const std::string& text);  // standard output and LinuxCNC's operator messages
  // An operator-message command for `text`, remembered as our own (either thread).
  Command operatorText(const std::string& text);
  void enqueue(Command command, bool urgent = false);
  void sendFeedOverride();
  void stopJog(int axis, bool urgent);
  void stopAllJogs(const std::string& why);
  void runAction(const Action& action);
  // The button codes the bridge answers itself (kButtonRules); each handler gets the code.
  struct ButtonRule;
  static const ButtonRule kButtonRules[];
  void reset(int code);
  void cycleStart(int code);
  void cycleResume(int code);
  void cycleStop(int code);
  void zeroAll(int code);
  void zeroAxis(int code);
  void refAxis(int code);
  void stepLine(const std::string& line);
  void mdi(const std::string& line);
  double machineFactor(int axis) const;  // program units -> machine units
  bool allHomed() const;
  bool programRunning() const;
  bool interpreterBusy() const;
  bool axisPresent(int axis) const { return (status_.axisMask & (1 << axis)) != 0; }
  void timeCallback(const char* name, Clock::time_point since);

  // ---- bridge thread ----
  void workerLoop();
  void execute(const Queued& item);
  bool ensureMode(TaskMode mode, const std::string& what);
  bool ensureTeleop(bool enable, const std::string& what);
  bool enterMode(const Command& command, const std::string& what, TaskMode mode);
  Echo waitEcho(int serial, std::chrono::milliseconds limit);
  Echo waitTaken(int serial, std::chrono::milliseconds limit);
  void refuse(const Command& command, const std::string& what, const std::string& reason);
  void tellOperator(const std::string& text);
  void executeStep(const Queued& item);
  double restDistance(int axis, double speed) const;
  void followSteps();
  bool mayLeaveMode(std::string& why) const;
  void pollController();
  std::string lastErrorSince(Clock::time_point since, std::chrono::milliseconds wait);

  BridgeConfig config_;
  std::unique_ptr<Controller> controller_;
  hostsim::HostBlocks* blocks_ = nullptr;
  const hostsim::PendantControls* controls_ = nullptr;

  // Host-thread state.
  Status status_;
  std::array<bool, kAxes> continuousJog_{};
  std::array<bool, kAxes> jogIssued_{};
  std::array<Clock::time_point, kAxes> lastDojog_{};
  Clock::time_point cycleStart_ = Clock::now();
  uint32_t lastHeartbeat_ = 0;
  Clock::time_point heartbeatSeen_ = Clock::now();
  bool lost_ = false;
  bool shutDown_ = false;
  bool pendantPresent_ = true;
  // A reset (1021) in flight: the plug-in repeats the code until LED 800 agrees.
  bool resetPending_ = false;
  bool resetTargetEstop_ = false;
  Clock::time_point resetPendingUntil_{};
  Clock::time_point lastAbort_{};
  std::map<std::string, Clock::time_point> toldAt_;  // refusals told, not again for a while
  // A feed or spindle override written but not yet in the status.
  double feedWritten_ = -1.0;
  bool feedSendPending_ = false;
  Clock::time_point feedWrittenAt_{};
  double spindleWritten_ = -1.0;
  Clock::time_point spindleWrittenAt_{};
  bool lastStepByMdi_ = false;
  double jogSpeedPercent_;
  double stepSize_ = 0.01;  // until the pendant selects one
  std::map<int, double> otherDros_;
  std::set<int> told_;
  std::vector<std::string> messages_;
  uint32_t statusSeen_ = 0;
  std::string statusSent_;
  Clock::time_point statusSentAt_{};
  std::string lastLinuxcncMessage_;
  int pendingCount_ = 0;
  int outstandingLines_ = 0;

  // Shared with the bridge thread (under mutex_).
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Queued> queue_;
  bool busy_ = false;
  bool stopWorker_ = false;
  Status published_;
  int publishedLines_ = 0;  // step travel still outstanding, in lines
  std::vector<std::string> workerMessages_;
  std::set<std::string> ownTexts_;  // operator messages we sent, not to be echoed back

  // With `timings`: probes followed on the bridge thread, samples under a lock of their own.
  LatencyProbes probes_;

  // Bridge-thread state.
  Status live_;
  std::map<int, Clock::time_point> holdOff_;  // refused command kinds, quiet until then
  // Step jogs in flight per axis: LinuxCNC adds each increment to the axis' jog target, so the
  // bridge keeps that target itself to know the travel still to come.
  struct StepTrack {
    bool active = false;
    double target = 0.0;      // machine units
    double lineLength = 0.0;  // the last line's share on this axis, for DRO 22
    bool dropped = false;     // counts dropped in this burst (told once)
    Clock::time_point sent{};
    uint32_t heartbeat = 0;
  };
  std::array<StepTrack, kAxes> steps_{};
  Clock::time_point lastMdiSent_{};
  bool silent_ = false;  // LinuxCNC took nothing for `staleAfter`
  uint32_t silentHeartbeat_ = 0;
  bool manualAfterMdi_ = false;
  std::map<std::string, Clock::time_point> refusedAt_;
  std::deque<std::pair<Clock::time_point, std::string>> recentErrors_;

  std::thread worker_;
};

}  // namespace k4::lcnc
