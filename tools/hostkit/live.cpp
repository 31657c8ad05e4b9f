// The live session's event loop: one poll over the keys, the watched hidraw node and the
// plug-in's file descriptors, with the report cycles, the Update calls and the dashboard on a
// real clock.
#include "live.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dashboard.h"
#include "hidraw_link.h"
#include "host_sim.h"
#include "keyboard_pendant.h"
#include "plot.h"
#include "plugin_module.h"
#include "profile_file.h"
#include "session_recorder.h"

namespace k4::hostsim {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) {
  interrupted = 1;
}

constexpr int64_t kDashboardPeriodMs = 200;
// A pendant plugged in again is seen again within this time (one failed open each while away).
constexpr int64_t kMonitorRetryMs = 100;

int64_t milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

class LiveSession {
 public:
  LiveSession(const Options& options, HostSimulator& sim, LiveSink& sink, SessionRecorder& recorder,
              Dashboard screen)
      : options_(options),
        sim_(sim),
        sink_(sink),
        recorder_(recorder),
        keys_(sim, recorder),
        screen_(screen) {}

  std::string title = "k4-hostsim";

  std::string linkText;          // how the pendant is reached, for the dashboard
  std::string monitorPath;       // a hidraw device the plug-in reads itself, watched beside it
  bool keyboard = false;         // keys are read (q ends the session)
  bool keysPlayPendant = false;  // and play the virtual pendant
  bool dashboard = false;        // redraw the dashboard (stdout is a terminal)

  int run() {
    const auto epoch = std::chrono::steady_clock::now();
    const int64_t updatePeriod = std::max<int64_t>(1, 1000 / options_.updateHz);
    int64_t nextUpdate = updatePeriod;
    int64_t nextDashboard = 0;
    int64_t nextMonitorTry = 0;
    const int64_t endAt =
        options_.durationSeconds > 0 ? static_cast<int64_t>(options_.durationSeconds * 1000.0) : -1;
    while (!interrupted && !quit_) {
      if (sim_.model().lost()) {
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
        if (monitorFd_ >= 0 && !monitorSeen_) {
          sim_.notePendantPresence(true);
          if (monitorLost_)
            recorder_.plug();
        }
        monitorSeen_ = monitorFd_ >= 0;
      }

      // Wait for the earliest of: a timer, an Update, a key release, the dashboard, any fd.
      int64_t wake = nextUpdate;
      if (sim_.view().hasTimers())
        wake = std::min(wake, sim_.view().nextDue());
      if (dashboard)
        wake = std::min(wake, nextDashboard);
      wake = keys_.nextWake(wake);
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
      keys_.releaseButtons(now);
      sim_.view().setNow(now);
      if (sim_.view().hasTimers() && sim_.view().nextDue() <= now) {
        // The machine takes one report period per cycle, as in a scenario, so that a recording
        // of the session replays to the same positions.
        sim_.beforeCycle(kCyclePeriodMs / 1000.0);
        recorder_.noteCodesRead(sim_.ledsRead(), sim_.drosRead());
        recorder_.hostState(sim_.model(), sim_.blocks());
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
        recorder_.hostState(sim_.model(), sim_.blocks());
        sim_.update();
        recorder_.update();
        ++updates_;
        nextUpdate += updatePeriod;
        if (nextUpdate <= now)
          nextUpdate = now + updatePeriod;
      }
      if (dashboard && (now >= nextDashboard || RawTerminal::takeResumed())) {
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
  void readKeys(int64_t now) {
    keys_.readKeys(now, keysPlayPendant);
    if (keys_.inputClosed())
      keyboard = false;
    quit_ = keys_.quitAsked();
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
    uint8_t buffer[K4_INPUT_REPORT_SIZE + 1];
    uint8_t taken[K4_INPUT_REPORT_SIZE];
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
      monitorLost_ = true;
      sim_.notePendantPresence(false);
      recorder_.unplug();
    }
  }

  void draw() {
    DashboardText text{title, linkText,
                       keyboard && keysPlayPendant ? kKeyboardHelp
                       : keyboard                  ? "q or Ctrl-C ends the session."
                                                   : "Ctrl-C ends the session."};
    if (keysPlayPendant)
      text.pendantPresent = sim_.pendant().present();
    else if (!monitorPath.empty())
      text.pendantPresent = monitorSeen_;
    screen_.draw(sim_, sink_, text, cycles_, updates_);
  }

  const Options& options_;
  HostSimulator& sim_;
  LiveSink& sink_;
  SessionRecorder& recorder_;
  KeyboardPendant keys_;
  Dashboard screen_;
  int monitorFd_ = -1;
  posix::ReportLayout monitorLayout_;
  bool monitorSeen_ = false;
  bool monitorLost_ = false;  // seen, then gone: its return is a plug
  bool quit_ = false;
  bool lost_ = false;
  long cycles_ = 0;
  long updates_ = 0;
};

}  // namespace

int runLive(const Options& options, HostModel& model, const std::string& title) {
  std::string error;
  std::string profileWarning;
  if (!options.profile.empty()) {
    const ProfileDiagnosis found =
        diagnoseProfile(options.profile, false, title + " --config --profile " + options.profile);
    if (!found.error.empty()) {
      std::fprintf(stderr, "%s: %s\n", title.c_str(), found.error.c_str());
      return 2;
    }
    profileWarning = found.warning;
    if (!profileWarning.empty())
      std::fprintf(stderr, "%s: %s\n", title.c_str(), profileWarning.c_str());
  }
  PluginModule plugin;
  ProfileFile profile;
  SessionRecorder recorder;
  if (!canWritePlot(options.plot, error) || !plugin.load(options.plugin, error) ||
      !profile.open(options.profile, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 2;
  }

  // Choose the pendant: a named hidraw device, else the first one found (read by the plug-in's
  // own hidraw services), else the virtual pendant played from the keyboard. A pendant that is
  // there and cannot be opened ends the session with what to do about it: quietly playing the
  // keys instead would leave the user wondering why the wheel does nothing.
  std::unique_ptr<NamedHidrawDevice> named;
  // Started without a terminal (by LinuxCNC from [APPLICATIONS], by a service), no key can play
  // the pendant: say so instead of promising keys.
  const char* const keyboardText = isatty(STDIN_FILENO) != 0
                                       ? "keys play the virtual pendant"
                                       : "no terminal, so the virtual pendant stays at rest";
  std::string linkText;
  std::string monitorPath;
  PendantLink link = PendantLink::Virtual;
  bool notPendant = false;
  if (options.keyboard) {
    linkText = std::string("virtual (--keyboard); ") + keyboardText;
  } else if (!options.device.empty()) {
    if (const std::string problem = pendantNodeProblem(options.device, notPendant);
        !problem.empty()) {
      std::fprintf(stderr, "k4-hostsim: %s%s\n", notPendant ? "--device " : "", problem.c_str());
      return notPendant ? 2 : 1;
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
    if (const std::string problem = pendantNodeProblem(found, notPendant); !problem.empty()) {
      std::fprintf(stderr, "k4-hostsim: %s\n", problem.c_str());
      return 1;
    }
    link = PendantLink::PluginHidraw;
    monitorPath = found;
    linkText = "hidraw " + found + " (found by the plug-in's own hidraw services)";
  } else {
    linkText = std::string("virtual: no pendant found over hidraw; ") + keyboardText;
  }

  // The record is made only for a session that runs: a refused pendant leaves no file behind.
  if (!recorder.open(options.record, options.overwrite, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 2;
  }

  const bool dashboard = dashboardTerminal();
  // With a real pendant the keys only end the session (q), as with the keyboard's pendant.
  RawTerminal terminal(isatty(STDIN_FILENO) != 0);
  LiveSink liveSink(!dashboard);
  SessionPlot plot(liveSink, profile, options.show, options.plot);
  HostSimulator sim(plugin.entry(), profile, plot.show(), plot.sink(), model);
  plot.watch(sim);
  sim.useLink(link, named != nullptr ? named->table() : nullptr);
  LiveSession session(options, sim, liveSink, recorder,
                      Dashboard(profile.readSetting("AutoMode", 1) != 0,
                                profile.readSetting("SingleMode", 0) != 0));
  session.title = title;
  session.linkText = linkText;
  session.monitorPath = monitorPath;
  session.keyboard = terminal.active();
  session.keysPlayPendant = link == PendantLink::Virtual;
  session.dashboard = dashboard;
  if (named) {
    named->onInput = [&](const uint8_t(&report)[K4_INPUT_REPORT_SIZE]) {
      InputReportBytes bytes{};
      std::copy(report, report + K4_INPUT_REPORT_SIZE, bytes.begin());
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
  recorder.begin(profile.readSettings(), sim.model(), sim.blocks());
  if (!sim.start({}, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 1;
  }
  if (link == PendantLink::Virtual) {
    // The virtual pendant says where its controls stand before the first key: the plug-in takes
    // a first report's knob as a mode change and its wheel count with it, which would swallow
    // the first key of the session.
    const InputReportBytes rest = sim.controls().report();
    sim.queueReport(rest);
    recorder.report(rest.data());
  }
  const int status = session.run();
  sim.stop();
  if (dashboard)
    std::fputs("\x1b[H\x1b[J", stdout);
  std::printf("# live: %ld cycles, %ld updates; pendant %s\n# positions %s\n", session.cycles(),
              session.updates(), linkText.c_str(), sim.model().positions().c_str());
  // The dashboard covered the warning given at the start.
  if (dashboard && !profileWarning.empty())
    std::fprintf(stderr, "%s: %s\n", title.c_str(), profileWarning.c_str());
  if (!plot.write("k4-hostsim --live", error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 1;
  }
  if (!options.plot.empty())
    std::printf("# the session's picture: %s\n", options.plot.c_str());
  if (!recorder.path().empty()) {
    std::printf("# the session's recording: %s (replay: k4-hostsim %s)\n", recorder.path().c_str(),
                recorder.path().c_str());
  }
  return status;
}

}  // namespace k4::hostsim
