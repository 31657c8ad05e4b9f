// The plug-in's single working object: the hidden child window that owns the link to the
// pendant and all pendant state. Its timer runs the report cycle; its device-change handler
// follows the pendant being unplugged and plugged in again. The decoders of control/ are its
// argument-less operations, each defined in its own source file there; each decoder's own state
// is declared in the header of the same name and inherited, so the fields keep their names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "control/axis_selection.h"
#include "control/cycle_combinations.h"
#include "control/mode_selector.h"
#include "control/reset_switch.h"
#include "control/wheel.h"
#include "platform/device.h"
#include "platform/window.h"

namespace k4 {

constexpr uint32_t kReportTimerId = 1;
constexpr uint32_t kReportPeriodMs = 25;
constexpr int kReadWaitMs = 5;
constexpr int kRateHistoryLength = 10;

class PendantWindow final : public WindowSink,
                            public ResetSwitchState,
                            public CycleCombinationsState,
                            public ModeSelectorState,
                            public AxisSelectionState,
                            public WheelState {
 public:
  // `devices` must outlive the window.
  explicit PendantWindow(DeviceServices& devices);
  ~PendantWindow();
  PendantWindow(const PendantWindow&) = delete;
  PendantWindow& operator=(const PendantWindow&) = delete;

  // Creates the native hidden child window under the host's view; false when that failed
  // (the window object stays usable, only without timer and notifications).
  bool createNativeWindow(void* hostView);
  // The same with a native window supplied by the caller (tests hand in one of their own).
  bool attachNativeWindow(std::unique_ptr<NativeWindow> window, void* hostView);

  // Registers for device notifications, finds and opens the pendant, starts the 25 ms timer
  // whether or not a pendant was found. Returns whether one was found. While no pendant link is
  // open, every arrival looks for it again.
  bool discoverDevice();

  // The host stops the plug-in (StopPlug, or InitControl again) and hands the window over.
  // The stop work is done at once: a running jog is ended on its own axis, an owed 205 is paid,
  // the saved DROs are put back, then the notifications are withdrawn, the handles closed and
  // the native window destroyed with its timer. The object itself is deleted now, or, when one
  // of its handlers is still on the stack (the host stopped us from inside a callback), when
  // that handler returns; the handler makes no host call after the one that stopped it.
  static void stopAndRelease(PendantWindow* window);
  bool stopped() const { return stopped_; }

  // WindowSink: the report cycle and the device-change handler.
  void onTimer(uint32_t timerId) override;
  void onDeviceChange(uint32_t eventType, uint32_t deviceType, const char* deviceName) override;

  // One report cycle (what the timer runs, when no other handler of the plug-in is running).
  void runReportCycle();
  void decodeReport();
  void buildOutputReport();

  // Decoders, in the order decodeReport calls them.
  void decodeResetSwitch();
  void decodeCombinations();
  void decodeMode();
  void decodeAxisSelection();
  void decodeWheel();

  // Jog engine and the procedures it dispatches to. The engine stores its arguments in
  // wheelReverse and wheelSteps (which decodeWheel already holds) and dispatches on jogMode.
  void runJogEngine(int reverse, int steps);
  void runStepJog();
  void runSingleStep();
  void runAutoMode();  // mode 10: step jog or velocity jog by the sensitivity threshold
  void runVelocityJogMode() { runVelocityJog(false); }  // mode 2
  void runVelocityJog(bool autoMode);
  void runDelayedContinuousJog();
  void runDroAdjust();
  void runZeroAndReference();
  void runCustomActions();

  // Shared pieces of the jog engine.
  void endJog();  // stop byte 1 on the jog's axis, then "ENDJOG"
  // Ends a jog that may still be running ("DOJOG" sent, no "ENDJOG" since); nothing otherwise.
  void endRunningJog();
  // The plug-in ends the jog on its own (mode or axis change): the jog that may run is ended
  // and the wheel memory that could start the next one is forgotten, so that a new jog needs a
  // new wheel count.
  void endJogAndForgetWheel();
  // Nobody can release the jog any more (removal, lost link, stop): as endJogAndForgetWheel,
  // and also the owed 205 is paid.
  void abandonJog();
  void restoreSavedDros();
  void startOrUpdateJog(double speed);
  void releaseJogStartAction();
  bool recentMovement();
  // The opening guard of the intensity-driven procedures (velocity, delayed, single step).
  bool jogKeyAllowed();
  void makeRotatedStep(int signedCount);
  void clearRateHistory();
  void showStatusMessage(const char* message);

  // ---- Link -----------------------------------------------------------------------------------
  int32_t lastWheelCount = 0;
  int32_t axisIndex = 0;
  std::string devicePath;
  bool restoreAbsolute = true;
  int32_t previousAxisIndex = 1;
  int32_t jogMode = 1;
  int32_t knobPosition = 0;
  int32_t previousJogMode = 0;

  // ---- Decoders' shared state -----------------------------------------------------------------
  // Each decoder's own state is declared with it (the bases above); this one is shared by the
  // step-size, axis-selection and mode 7 click detectors.
  int32_t slowClick = 0;

  // ---- Step jog -------------------------------------------------------------------------------
  bool singleStepPressed = false;
  bool singleStepPrevious = false;

  // ---- Continuous jog -------------------------------------------------------------------------
  int32_t jogIntensity = 0;
  int32_t delayCount = 0;
  int32_t lastJogReverse = 0;
  int32_t recentIndex = 0;
  double recentSteps[2] = {0.0, 0.0};
  double rateHistory[kRateHistoryLength] = {};
  double historySum = 0.0;
  double speedRatio = 0.0;
  bool continuousJogActive = false;
  bool autoContinuous = false;
  bool jogStartChecked = false;
  bool restore205Owed = false;
  // The axis of the last "DOJOG" (-1: none yet). Ending a jog marks this axis' record, not the
  // one selected now: the host keeps moving whichever axis it was told to.
  int32_t jogAxis = -1;
  // A "DOJOG" was sent and no "ENDJOG" since: the host may still be moving jogAxis. Whatever
  // leaves the jog's mode or axis, or takes the pendant away, ends such a jog first.
  bool jogMayBeRunning = false;

  // ---- DRO-adjust and button modes ------------------------------------------------------------
  int32_t zeroPressLatch = 0;
  int32_t refPressLatch = 0;
  uint8_t customButtonLatch[4] = {0, 0, 0, 0};

  // ---- Step sizes and saved DROs --------------------------------------------------------------
  int32_t stepSlot = 1;
  double stepSizes[3] = {0.001, 0.001, 0.001};
  double savedDro818 = 0.0;
  double savedDro821 = 0.0;
  bool droRestorePending = false;
  int32_t jogHoldTicks = 0;
  int32_t jogBacklog = 0;

  // ---- Report snapshot and link state ---------------------------------------------------------
  uint32_t reportWord0 = 0;
  uint32_t reportWord1 = 0;
  DeviceHandle probeHandle = kInvalidHandle;
  uint32_t inputWord0 = 0;
  uint32_t inputWord1 = 0;
  bool deviceConnected = false;
  std::string notifyPath;
  uint8_t outputReport[kOutputReportSize] = {0, 0, 0, 0, 0};
  DeviceHandle readHandle = kInvalidHandle;
  DeviceHandle writeHandle = kInvalidHandle;
  uint32_t previousInputWord0 = 0;
  uint32_t previousInputWord1 = 0;

  // InputReport byte 1 and byte 2, and the knob, as the decoders read them.
  uint32_t wheelCounterByte() const { return (reportWord0 >> 8) & 0xFFu; }
  int32_t intensityByte() const { return static_cast<int32_t>((reportWord0 >> 16) & 0xFFu); }

 private:
  // The first present interface with the pendant's ids, opened; deviceConnected says whether
  // one was found. Nothing happens while a pendant is already connected.
  void findPendant();
  void openLinkHandles();
  void closeLinkHandles();
  // The pendant stopped taking output: the link is down as after a removal, without 1021.
  void dropLink();
  void handleDeviceChange(uint32_t eventType, bool concernsPendant);
  void stopWork();
  void releaseResources();
  template <typename Body>
  void runHandler(Body body);
  void runDeferredDeviceChanges();

  DeviceServices& devices_;
  std::unique_ptr<NativeWindow> nativeWindow_;
  bool notificationsRegistered_ = false;

  // Handlers of this window on the stack (the outermost one and the stop work).
  int handlersRunning_ = 0;
  bool stopped_ = false;
  // Device changes that arrived while a handler was running, handled in order once it returns.
  // A fixed ring: nothing is allocated in the handlers. Only arrivals and removals of the
  // pendant matter; when the ring is full the newest entry is replaced (the pendant's last
  // state is what counts).
  struct DeferredChange {
    uint32_t eventType;
    bool concernsPendant;
  };
  static constexpr int kDeferredChangeCapacity = 8;
  DeferredChange deferredChanges_[kDeferredChangeCapacity] = {};
  int deferredCount_ = 0;
};

// Input report bits of reportWord0.
namespace report_bit {
constexpr uint32_t kResetSwitch = 1u << 24;
constexpr uint32_t kAnyButton = 1u << 25;
constexpr uint32_t kCycleButton = 1u << 26;
constexpr uint32_t kStop = 1u << 27;
constexpr uint32_t kSide = 1u << 28;
constexpr uint32_t kQuietGate = 0x0Fu << 24;  // bits 24..27
}  // namespace report_bit

constexpr uint32_t kKnobMask = 0x7F;  // reportWord1 bits 0..6

// STOP and SIDE read together as a number 0..3: 1 STOP alone, 2 SIDE alone, 3 both.
inline uint32_t stopSideValue(uint32_t word0) {
  return (word0 >> 27) & 0x3u;
}

}  // namespace k4
