#include "live.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "hidraw_link.h"
#include "host_sim.h"
#include "plot.h"
#include "plugin_module.h"
#include "profile_file.h"

namespace k4::hostsim {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) {
  interrupted = 1;
}

constexpr int64_t kDashboardPeriodMs = 200;
constexpr int64_t kClickMs = 100;  // how long a key click holds a button down
// A pendant plugged in again is seen again within this time (one failed open each while away).
constexpr int64_t kMonitorRetryMs = 100;
constexpr std::size_t kEventLines = 8;
constexpr int kIntensityStep = 10;

int64_t milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

// Puts the terminal into raw keyboard mode for the session and always restores it.
class RawTerminal {
 public:
  explicit RawTerminal(bool enable) {
    if (!enable || tcgetattr(STDIN_FILENO, &saved_) != 0)
      return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_)
      tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

// Writes what the pendant sent as a scenario that replays the session: the reports in order,
// with the report cycles and Update calls between them.
class Recorder {
 public:
  bool open(const std::string& path, std::string& error) {
    if (path.empty())
      return true;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
      error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    std::fputs(
        "# Recorded by k4-hostsim --live: every report the pendant sent, with the report\n"
        "# cycles and Update calls between them. Replay: k4-hostsim FILE\n"
        "start\n",
        file_);
    return true;
  }
  ~Recorder() {
    if (file_ == nullptr)
      return;
    flushRun();
    std::fclose(file_);
  }
  Recorder() = default;
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void cycle() { count(kCycle); }
  void update() { count(kUpdate); }
  // A report the plug-in took during the cycle just counted: it goes before that cycle.
  void reportInLastCycle(const uint8_t* bytes) {
    if (file_ != nullptr && runKind_ == kCycle && runLength_ > 0) {
      --runLength_;
      report(bytes);
      count(kCycle);
      return;
    }
    report(bytes);
  }
  void report(const uint8_t* bytes) {
    if (file_ == nullptr)
      return;
    flushRun();
    InputReportBytes report{};
    std::copy(bytes, bytes + report.size(), report.begin());
    std::fprintf(file_, "report %s\n", formatReport(report).c_str());
    std::fflush(file_);
  }

 private:
  enum Kind { kNone, kCycle, kUpdate };
  void count(Kind kind) {
    if (file_ == nullptr)
      return;
    if (kind != runKind_)
      flushRun();
    runKind_ = kind;
    ++runLength_;
  }
  void flushRun() {
    if (runLength_ > 0) {
      std::fprintf(file_, "%s %d\n", runKind_ == kCycle ? "cycle" : "update", runLength_);
    }
    runKind_ = kNone;
    runLength_ = 0;
  }

  std::FILE* file_ = nullptr;
  Kind runKind_ = kNone;
  int runLength_ = 0;
};

// Host actions: kept for the dashboard, or printed as lines when the output is not a terminal.
class LiveSink final : public EventSink {
 public:
  explicit LiveSink(bool print) : print_(print) {}
  void event(const std::string& line) override {
    if (print_) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
    // A line repeated every cycle ("ENDJOG", code 1021) takes one line with its count.
    if (!lines_.empty() && lines_.back().first == line) {
      ++lines_.back().second;
      return;
    }
    lines_.emplace_back(line, 1);
    if (lines_.size() > kEventLines)
      lines_.pop_front();
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> shown;
    for (const auto& [line, count] : lines_) {
      shown.push_back(count > 1 ? line + "   (x" + std::to_string(count) + ")" : line);
    }
    return shown;
  }

 private:
  bool print_;
  std::deque<std::pair<std::string, int>> lines_;
};

struct PendingRelease {
  int64_t at;
  bool PendantControls::*button;
};

class LiveSession {
 public:
  LiveSession(const Options& options, HostSimulator& sim, LiveSink& sink, Recorder& recorder)
      : options_(options), sim_(sim), sink_(sink), recorder_(recorder) {}

  std::string title = "k4-hostsim";

  std::string linkText;     // how the pendant is reached, for the dashboard
  std::string monitorPath;  // a hidraw device the plug-in reads itself, watched beside it
  bool keyboard = false;    // keys play the virtual pendant
  bool dashboard = false;   // redraw the dashboard (stdout is a terminal)

  int run() {
    const auto epoch = std::chrono::steady_clock::now();
    const int64_t updatePeriod = std::max<int64_t>(1, 1000 / options_.updateHz);
    int64_t nextUpdate = updatePeriod;
    int64_t nextDashboard = 0;
    int64_t lastAdvance = 0;
    int64_t nextMonitorTry = 0;
    const int64_t endAt =
        options_.durationSeconds > 0 ? static_cast<int64_t>(options_.durationSeconds * 1000.0) : -1;
    HostModel* const model = sim_.model();
    while (!interrupted && !quit_) {
      if (model != nullptr && model->lost()) {
        lost_ = true;
        break;
      }
      int64_t now = milliseconds(epoch);
      if (endAt >= 0 && now >= endAt)
        break;
      if (!monitorPath.empty() && monitorFd_ < 0 && now >= nextMonitorTry) {
        monitorFd_ = ::open(monitorPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (monitorFd_ >= 0)
          monitorLayout_ = hidrawLayout(monitorFd_, monitorPath);
        nextMonitorTry = now + kMonitorRetryMs;
        if (monitorFd_ >= 0 && !monitorSeen_)
          sim_.notePendantPresence(true);
        monitorSeen_ = monitorFd_ >= 0;
      }

      // Wait for the earliest of: a timer, an Update, a key release, the dashboard, any fd.
      int64_t wake = nextUpdate;
      if (sim_.view().hasTimers())
        wake = std::min(wake, sim_.view().nextDue());
      if (dashboard)
        wake = std::min(wake, nextDashboard);
      for (const PendingRelease& release : releases_)
        wake = std::min(wake, release.at);
      if (endAt >= 0)
        wake = std::min(wake, endAt);
      std::vector<pollfd> fds;
      std::vector<int> watchIds;
      if (keyboard)
        fds.push_back({STDIN_FILENO, POLLIN, 0});
      const std::size_t monitorSlot = fds.size();
      if (monitorFd_ >= 0)
        fds.push_back({monitorFd_, POLLIN, 0});
      const std::size_t watchStart = fds.size();
      for (const SimHostView::Watch& watch : sim_.view().watches()) {
        fds.push_back({watch.fd, POLLIN, 0});
        watchIds.push_back(watch.id);
      }
      const int timeout = static_cast<int>(std::clamp<int64_t>(wake - now, 0, 1000));
      const int ready = ::poll(fds.data(), fds.size(), timeout);
      if (ready > 0) {
        if (keyboard && (fds[0].revents & POLLIN) != 0)
          readKeys(milliseconds(epoch));
        if (monitorFd_ >= 0 && (fds[monitorSlot].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
          readMonitor();
        }
        for (std::size_t i = watchStart; i < fds.size(); ++i) {
          if ((fds[i].revents & POLLIN) != 0)  // an fd in error would wake the loop forever
            sim_.view().fireWatch(watchIds[i - watchStart]);
        }
      }

      now = milliseconds(epoch);
      releaseButtons(now);
      sim_.view().setNow(now);
      if (sim_.view().hasTimers() && sim_.view().nextDue() <= now) {
        if (model != nullptr)
          model->beforeCycle(sim_.machine());
        sim_.machine().advance(static_cast<double>(now - lastAdvance) / 1000.0);
        lastAdvance = now;
        sim_.machine().rememberRecords();
        // The plug-in reads its own handle on the node during the cycle, so what the watch
        // beside it has waiting goes to the record before the cycle, and what lands during the
        // cycle (the plug-in's read waits for it) goes in as taken by that cycle.
        drainMonitor(false);
        const int fired = sim_.view().fireDueTimers(true);
        for (int i = 0; i < fired; ++i)
          recorder_.cycle();
        drainMonitor(true);
        ++cycles_;
        sim_.afterCycle();
      }
      if (now >= nextUpdate) {
        sim_.update();
        recorder_.update();
        ++updates_;
        nextUpdate += updatePeriod;
        if (nextUpdate <= now)
          nextUpdate = now + updatePeriod;
      }
      if (dashboard && now >= nextDashboard) {
        draw();
        nextDashboard = now + kDashboardPeriodMs;
      }
    }
    if (monitorFd_ >= 0)
      ::close(monitorFd_);
    return lost_ ? 3 : 0;
  }

  long cycles() const { return cycles_; }
  long updates() const { return updates_; }

 private:
  void queueControls() {
    const InputReportBytes report = sim_.controls().report();
    sim_.queueReport(report);
    recorder_.report(report.data());
  }

  void click(bool PendantControls::*button, int64_t now) {
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

  void toggle(bool PendantControls::*button) {
    sim_.controls().*button = !(sim_.controls().*button);
    std::erase_if(releases_, [button](const PendingRelease& r) { return r.button == button; });
    queueControls();
  }

  void releaseButtons(int64_t now) {
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

  void turnWheel(int counts) {
    PendantControls& controls = sim_.controls();
    controls.wheel = static_cast<uint8_t>((controls.wheel + counts + 256) % 256);
    queueControls();
  }

  void readKeys(int64_t now) {
    char keys[64];
    const ssize_t count = ::read(STDIN_FILENO, keys, sizeof keys);
    if (count == 0 && !isatty(STDIN_FILENO))
      keyboard = false;  // input closed
    for (ssize_t i = 0; i < count; ++i) {
      const char key = keys[i];
      if (key == '\x1b' && i + 2 < count && keys[i + 1] == '[') {
        const char arrow = keys[i + 2];
        i += 2;
        if (arrow == 'A' || arrow == 'C')
          turnWheel(+1);
        if (arrow == 'B' || arrow == 'D')
          turnWheel(-1);
        continue;
      }
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
          controls.intensity =
              static_cast<uint8_t>(std::min(250, controls.intensity + kIntensityStep));
          queueControls();
          break;
        case '-':
          controls.intensity =
              static_cast<uint8_t>(std::max(0, controls.intensity - kIntensityStep));
          queueControls();
          break;
        case 'u':
          if (sim_.pendant().present()) {
            sim_.unplug();
          } else {
            sim_.plug();
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
  }

  void drainMonitor(bool duringLastCycle) {
    for (int i = 0; i < 16 && monitorFd_ >= 0; ++i) {
      pollfd ready{monitorFd_, POLLIN, 0};
      if (::poll(&ready, 1, 0) != 1)
        return;
      readMonitor(duringLastCycle);
    }
  }

  // The plug-in reads its own handle; this one sees the same reports, framed the same way.
  void readMonitor(bool duringLastCycle = false) {
    uint8_t buffer[kInputReportSize + 1];
    uint8_t taken[kInputReportSize];
    const ssize_t count = ::read(monitorFd_, buffer, sizeof buffer);
    if (count > 0) {
      if (posix::takeInputReport(monitorLayout_, buffer, static_cast<std::size_t>(count), taken)) {
        InputReportBytes report{};
        std::copy(taken, taken + sizeof taken, report.begin());
        sim_.controls().takeReport(report);
        if (duringLastCycle)
          recorder_.reportInLastCycle(taken);
        else
          recorder_.report(taken);
      }
    } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
      // The pendant went away; look for it again later.
      ::close(monitorFd_);
      monitorFd_ = -1;
      monitorSeen_ = false;
      sim_.notePendantPresence(false);
    }
  }

  void draw() {
    Machine& machine = sim_.machine();
    HostModel* const model = sim_.model();
    const auto hostLed = [&](int code) {
      return model != nullptr ? model->led(code) : machine.led(code);
    };
    const double stepSize =
        model != nullptr ? model->dro(dro::kStepSize) : machine.dro(dro::kStepSize);
    std::string screen = "\x1b[H\x1b[J";
    char line[256];
    auto add = [&screen](const std::string& text) { screen += text + "\x1b[K\n"; };
    add(title + " live: " + sim_.displayName());
    add("Pendant: " + linkText);
    const std::vector<uint8_t>& output = sim_.lastOutputReport();
    std::string axis = "(not visible: output reports go to the pendant)";
    if (!output.empty())
      axis = std::string(1, kAxisLetters[std::min(5, (output[1] >> 4) & 7)]);
    const int code = sim_.lastAxisCode();
    std::snprintf(line, sizeof line, "Mode:   knob %d%s, last mode/axis code %s",
                  sim_.controls().knob & 0x7F, sim_.controls().side ? " + SIDE" : "",
                  code != 0 ? std::to_string(code).c_str() : "none yet");
    add(line);
    std::snprintf(line, sizeof line,
                  "Axis:   %s   Step size (DRO 828): %.10g   Host jog increment: %.10g   "
                  "Intensity: %d",
                  axis.c_str(), stepSize, machine.planner.stepIncrement, sim_.controls().intensity);
    add(line);
    auto lamp = [](bool on) { return on ? "on " : "off"; };
    if (!output.empty()) {
      std::snprintf(line, sizeof line,
                    "LEDs:   pendant 800 %s  804 %s  805 %s   host LED 83 (jog allowed) %s",
                    lamp(output[1] & 0x01), lamp(output[1] & 0x04), lamp(output[1] & 0x08),
                    lamp(hostLed(led::kJogAllowed)));
    } else {
      std::snprintf(line, sizeof line, "LEDs:   host 800 %s  804 %s  805 %s  83 %s",
                    lamp(hostLed(led::kReset)), lamp(hostLed(led::kCycleRunning)),
                    lamp(hostLed(led::kFeedHold)), lamp(hostLed(led::kJogAllowed)));
    }
    add(line);
    if (model != nullptr) {
      for (const std::string& text : model->dashboard())
        add(text);
    } else {
      add("Axes:   " + machine.formatPositions());
    }
    add("Status: \"" +
        std::string(machine.planner.statusLine,
                    strnlen(machine.planner.statusLine, kStatusLineSize)) +
        "\"");
    std::snprintf(line, sizeof line, "Cycles: %ld   Updates: %ld", cycles_, updates_);
    add(line);
    add("Last host actions:");
    for (const std::string& event : sink_.lines())
      add("  " + event);
    for (std::size_t i = sink_.lines().size(); i < kEventLines; ++i)
      add("");
    add(keyboard ? "Keys: arrows wheel  1-9 knob  s/S STOP click/hold  d/D SIDE  c cycle  "
                   "a any  r reset  +/- intensity  u unplug/plug  q quit"
                 : "Ctrl-C ends the session.");
    std::fwrite(screen.data(), 1, screen.size(), stdout);
    std::fflush(stdout);
  }

  const Options& options_;
  HostSimulator& sim_;
  LiveSink& sink_;
  Recorder& recorder_;
  std::vector<PendingRelease> releases_;
  int monitorFd_ = -1;
  posix::ReportLayout monitorLayout_;
  bool monitorSeen_ = false;
  bool quit_ = false;
  bool lost_ = false;
  long cycles_ = 0;
  long updates_ = 0;
};

}  // namespace

int runLive(const Options& options, HostModel* model, const std::string& title) {
  std::string error;
  PluginModule plugin;
  ProfileFile profile;
  Recorder recorder;
  if (!plugin.load(options.plugin, error) || !profile.open(options.profile, error) ||
      !recorder.open(options.record, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 2;
  }

  // Choose the pendant: a named hidraw device, else the first one found (read by the plug-in's
  // own hidraw services), else the virtual pendant played from the keyboard.
  std::unique_ptr<NamedHidrawDevice> named;
  // Started without a terminal (by LinuxCNC from [APPLICATIONS], by a service), no key can play
  // the pendant: say so instead of promising keys.
  const char* const keyboardText = isatty(STDIN_FILENO) != 0
                                       ? "keys play the virtual pendant"
                                       : "no terminal, so the virtual pendant stays at rest";
  std::string linkText;
  std::string monitorPath;
  PendantLink link = PendantLink::Virtual;
  if (!options.device.empty()) {
    if (!canOpenReadWrite(options.device, error)) {
      std::fprintf(stderr, "k4-hostsim: --device %s: %s\n", options.device.c_str(), error.c_str());
      return 2;
    }
    named = std::make_unique<NamedHidrawDevice>(options.device);
    link = PendantLink::Explicit;
    linkText = "hidraw " + options.device + " (named with --device)";
  } else if (options.hidraw) {
    // The plug-in looks for the pendant itself, now and whenever a device is plugged in.
    link = PendantLink::PluginHidraw;
    monitorPath = findPendantHidraw();
    linkText = "hidraw (the plug-in's own hidraw services; the pendant " +
               std::string(monitorPath.empty() ? "is taken up when plugged in)" : "at ") +
               monitorPath + (monitorPath.empty() ? "" : ")");
  } else if (const std::string found = findPendantHidraw(); !found.empty()) {
    if (canOpenReadWrite(found, error)) {
      link = PendantLink::PluginHidraw;
      monitorPath = found;
      linkText = "hidraw " + found + " (found by the plug-in's own hidraw services)";
    } else {
      linkText =
          "virtual: the pendant at " + found + " cannot be opened (" + error + "); " + keyboardText;
    }
  } else {
    linkText = std::string("virtual: no pendant found over hidraw; ") + keyboardText;
  }

  const bool dashboard = isatty(STDOUT_FILENO) != 0;
  RawTerminal terminal(link == PendantLink::Virtual && isatty(STDIN_FILENO) != 0);
  LiveSink liveSink(!dashboard);
  ShowFlags show = options.show;
  SessionTrace trace(liveSink, profile, show.records);
  const bool plotting = !options.plot.empty();
  show.records = show.records || plotting;  // the plot draws the jog records' speeds
  EventSink& sink = plotting ? static_cast<EventSink&>(trace) : liveSink;
  HostSimulator sim(plugin.entry(), profile, show, sink);
  if (plotting)
    sim.observe(&trace);
  sim.useLink(link, named.get());
  sim.setHostReactions(true);
  sim.setModel(model);
  LiveSession session(options, sim, liveSink, recorder);
  session.title = title;
  session.linkText = linkText;
  session.monitorPath = monitorPath;
  session.keyboard = terminal.active();
  session.dashboard = dashboard;
  if (named) {
    named->onInput = [&](const uint8_t(&report)[kInputReportSize]) {
      InputReportBytes bytes{};
      std::copy(report, report + kInputReportSize, bytes.begin());
      sim.controls().takeReport(bytes);
      recorder.report(report);
    };
  }

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  if (!dashboard)
    std::printf("# live: pendant %s\n", linkText.c_str());
  if (!sim.start({}, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 1;
  }
  const int status = session.run();
  sim.stop();
  if (dashboard)
    std::fputs("\x1b[H\x1b[J", stdout);
  std::printf("# live: %ld cycles, %ld updates; pendant %s\n# positions %s\n", session.cycles(),
              session.updates(), linkText.c_str(),
              (model != nullptr ? model->positions() : sim.machine().formatPositions()).c_str());
  if (plotting && !writeSessionPlot(trace, "k4-hostsim --live", options.plot, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 1;
  }
  return status;
}

}  // namespace k4::hostsim
