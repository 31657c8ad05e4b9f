#include "keyboard_pendant.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "host_sim.h"
#include "session_recorder.h"

namespace k4::hostsim {

namespace {

constexpr int64_t kClickMs = 100;  // how long a key click holds a button down
constexpr int kIntensityStep = 10;
// A second arrow key this soon after the first in the same direction is the terminal repeating
// a held key (repeat rates run from about 10 to 30 a second); a key struck by hand again is
// slower. The wheel turns on while repeats keep coming this often.
constexpr int64_t kRepeatGapMs = 120;
constexpr int64_t kHeldCountMs = 25;  // one count each report cycle while an arrow is held

}  // namespace

namespace {

// The one raw terminal of the process, for the signal handlers.
const RawTerminal* rawTerminal = nullptr;
termios savedMode{};
termios rawMode{};
volatile std::sig_atomic_t resumed = 0;

}  // namespace

RawTerminal::RawTerminal(bool enable) {
  if (!enable || tcgetattr(STDIN_FILENO, &saved_) != 0)
    return;
  raw_ = saved_;
  raw_.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw_.c_cc[VMIN] = 0;
  raw_.c_cc[VTIME] = 0;
  active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw_) == 0;
  if (!active_ || rawTerminal != nullptr)
    return;
  rawTerminal = this;
  savedMode = saved_;
  rawMode = raw_;
  struct sigaction action {};
  action.sa_handler = onStop;
  sigaction(SIGTSTP, &action, nullptr);
  action.sa_handler = onContinue;
  sigaction(SIGCONT, &action, nullptr);
}

RawTerminal::~RawTerminal() {
  if (rawTerminal == this) {
    signal(SIGTSTP, SIG_DFL);
    signal(SIGCONT, SIG_DFL);
    rawTerminal = nullptr;
  }
  if (active_)
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

// Ctrl-Z: the shell gets its terminal back as it was, then the program stops as it would have.
void RawTerminal::onStop(int) {
  const int savedErrno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
  signal(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);
  // Continued: onContinue has made the terminal raw again; catch the next Ctrl-Z too.
  struct sigaction action {};
  action.sa_handler = onStop;
  sigaction(SIGTSTP, &action, nullptr);
  errno = savedErrno;
}

void RawTerminal::onContinue(int) {
  const int savedErrno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &rawMode);
  resumed = 1;
  errno = savedErrno;
}

bool RawTerminal::takeResumed() {
  const bool was = resumed != 0;
  resumed = 0;
  return was;
}

void KeyboardPendant::queueControls() {
  const InputReportBytes report = sim_.controls().report();
  sim_.queueReport(report);
  recorder_.report(report.data());
}

void KeyboardPendant::click(bool PendantControls::*button, int64_t now) {
  PendantControls& controls = sim_.controls();
  if (controls.*button) {
    // Still down from the last click: let it up first, so a quick second key is a double click.
    controls.*button = false;
    queueControls();
    std::erase_if(releases_, [button](const PendingRelease& r) { return r.button == button; });
  }
  controls.*button = true;
  queueControls();
  releases_.push_back({now + kClickMs, button});
}

void KeyboardPendant::toggle(bool PendantControls::*button) {
  sim_.controls().*button = !(sim_.controls().*button);
  std::erase_if(releases_, [button](const PendingRelease& r) { return r.button == button; });
  queueControls();
}

void KeyboardPendant::releaseButtons(int64_t now) {
  if (arrowHeld_ && now - lastArrowAt_ > kRepeatGapMs)
    arrowHeld_ = false;  // the repeats stopped: the key was let go
  if (arrowHeld_ && now >= nextHeldCount_) {
    turnWheel(arrowDirection_);
    nextHeldCount_ = std::max(nextHeldCount_ + kHeldCountMs, now - kHeldCountMs / 2);
  }
  bool changed = false;
  for (auto it = releases_.begin(); it != releases_.end();) {
    if (it->at <= now) {
      sim_.controls().*(it->button) = false;
      it = releases_.erase(it);
      changed = true;
    } else {
      ++it;
    }
  }
  if (changed)
    queueControls();
}

int64_t KeyboardPendant::nextWake(int64_t wake) const {
  for (const PendingRelease& release : releases_)
    wake = std::min(wake, release.at);
  if (arrowHeld_)
    wake = std::min({wake, nextHeldCount_, lastArrowAt_ + kRepeatGapMs + 1});
  return wake;
}

void KeyboardPendant::turnWheel(int counts) {
  PendantControls& controls = sim_.controls();
  controls.wheel = static_cast<uint8_t>((controls.wheel + counts + 256) % 256);
  queueControls();
}

void KeyboardPendant::arrowKey(int direction, int64_t now) {
  const bool repeat = direction == arrowDirection_ && now - lastArrowAt_ <= kRepeatGapMs;
  lastArrowAt_ = now;
  arrowDirection_ = direction;
  if (repeat) {
    if (!arrowHeld_)
      nextHeldCount_ = now;  // the counts of the held key start now, the first one at once
    arrowHeld_ = true;
    releaseButtons(now);
    return;
  }
  arrowHeld_ = false;
  turnWheel(direction);
}

void KeyboardPendant::readKeys(int64_t now, bool playPendant) {
  char keys[64];
  const ssize_t count = ::read(STDIN_FILENO, keys, sizeof keys);
  if (count == 0 && !isatty(STDIN_FILENO))
    inputClosed_ = true;
  for (ssize_t i = 0; i < count; ++i) {
    const char key = keys[i];
    if (!playPendant) {
      quit_ = quit_ || key == 'q' || key == 'Q';
      continue;
    }
    if (key == '\x1b' && i + 2 < count && keys[i + 1] == '[') {
      const char arrow = keys[i + 2];
      i += 2;
      if (arrow == 'A' || arrow == 'C')
        arrowKey(+1, now);
      if (arrow == 'B' || arrow == 'D')
        arrowKey(-1, now);
      continue;
    }
    pressKey(key, now);
  }
}

void KeyboardPendant::pressKey(char key, int64_t now) {
  PendantControls& controls = sim_.controls();
  switch (key) {
    case 'q':
    case 'Q':
      quit_ = true;
      break;
    case 's':
      click(&PendantControls::stop, now);
      break;
    case 'S':
      toggle(&PendantControls::stop);
      break;
    case 'd':
      click(&PendantControls::side, now);
      break;
    case 'D':
      toggle(&PendantControls::side);
      break;
    case 'c':
      click(&PendantControls::cycle, now);
      break;
    case 'a':
      click(&PendantControls::any, now);
      break;
    case 'r':
      toggle(&PendantControls::reset);
      break;
    case '+':
    case '=':
      controls.intensity = static_cast<uint8_t>(std::min(250, controls.intensity + kIntensityStep));
      queueControls();
      break;
    case '-':
      controls.intensity = static_cast<uint8_t>(std::max(0, controls.intensity - kIntensityStep));
      queueControls();
      break;
    case 'u':
      if (sim_.pendant().present()) {
        sim_.unplug();
        recorder_.unplug();
      } else {
        sim_.plug();
        recorder_.plug();
      }
      break;
    default:
      if (key >= '1' && key <= '9') {
        controls.knob = static_cast<uint8_t>(key - '0');
        queueControls();
      }
      break;
  }
}

}  // namespace k4::hostsim
