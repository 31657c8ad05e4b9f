// The keyboard as the virtual pendant in live mode: keys turn the wheel, click or hold the
// buttons, set the knob and the intensity, and unplug or plug the pendant.
#pragma once

#include <termios.h>

#include <cstdint>
#include <vector>

#include "pendant_controls.h"

namespace k4::hostsim {

class HostSimulator;
class SessionRecorder;

// The help line the dashboard shows while keys play the pendant.
inline constexpr const char* kKeyboardHelp =
    "Keys: arrows wheel  1-9 knob  s/S STOP click/hold  d/D SIDE  c cycle  "
    "a any  r reset  +/- intensity  u unplug/plug  q quit";

// Puts the terminal into raw keyboard mode for the session and always restores it: at the end,
// and while the program is stopped (Ctrl-Z); after `fg` it is raw again.
class RawTerminal {
 public:
  explicit RawTerminal(bool enable);
  ~RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  bool active() const { return active_; }
  // True once after the program was continued (the screen needs drawing anew).
  static bool takeResumed();

 private:
  static void onStop(int);
  static void onContinue(int);

  termios saved_{};
  termios raw_{};
  bool active_ = false;
};

// Every change of the controls goes to the plug-in as a report and to the recording.
class KeyboardPendant {
 public:
  KeyboardPendant(HostSimulator& sim, SessionRecorder& recorder) : sim_(sim), recorder_(recorder) {}

  // Reads the keys waiting on standard input; `now` in session milliseconds. Unless
  // `playPendant` (a real pendant serves), only q is heeded.
  void readKeys(int64_t now, bool playPendant = true);
  // Lets go of the buttons whose click has lasted long enough, and turns the wheel on while an
  // arrow key is held.
  void releaseButtons(int64_t now);
  // The earlier of `wake` and the next button release or wheel count of a held arrow key.
  int64_t nextWake(int64_t wake) const;

  bool quitAsked() const { return quit_; }
  bool inputClosed() const { return inputClosed_; }

 private:
  struct PendingRelease {
    int64_t at;
    bool PendantControls::*button;
  };

  void queueControls();
  void click(bool PendantControls::*button, int64_t now);
  void toggle(bool PendantControls::*button);
  void turnWheel(int counts);
  void arrowKey(int direction, int64_t now);
  void pressKey(char key, int64_t now);

  HostSimulator& sim_;
  SessionRecorder& recorder_;
  std::vector<PendingRelease> releases_;
  // An arrow key: its direction and when it last came. The terminal repeats a held key, but
  // slower than the report cycle and irregularly; a held key instead turns the wheel one count
  // every cycle until its repeats stop, so it jogs on as a wheel turned steadily would.
  int arrowDirection_ = 0;
  int64_t lastArrowAt_ = 0;
  bool arrowHeld_ = false;
  int64_t nextHeldCount_ = 0;
  bool quit_ = false;
  bool inputClosed_ = false;
};

}  // namespace k4::hostsim
