#include "script_runner.h"

#include <cstdio>

#include "host_sim.h"
#include "plot.h"
#include "plugin_module.h"
#include "profile_file.h"

namespace k4::hostsim {

namespace {

class StdoutSink final : public EventSink {
 public:
  void event(const HostEvent& event) override {
    const std::string line = formatEvent(event);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
};

void applyHost(HostBlocks& blocks, const Command& command) {
  const auto asInt = [](double value) { return static_cast<int32_t>(value); };
  switch (command.hostField) {
    case HostField::Inhibit:
      blocks.engine.jogInhibit = static_cast<uint8_t>(command.values[0]);
      break;
    case HostField::EngineQueue:
      blocks.engine.queueWordA = asInt(command.values[0]);
      blocks.engine.queueWordB = asInt(command.values[1]);
      break;
    case HostField::PlannerBusy:
      blocks.planner.busyWord = asInt(command.values[0]);
      break;
    case HostField::PlannerQueue:
      blocks.planner.queueWordA = asInt(command.values[0]);
      blocks.planner.queueWordB = asInt(command.values[1]);
      break;
    case HostField::Increment:
      blocks.planner.stepIncrement = command.values[0];
      break;
    case HostField::Rotation:
      blocks.setup.rotationAngle = command.values[0];
      break;
    case HostField::AbsoluteWord:
      blocks.setup.absoluteWord = asInt(command.values[0]);
      break;
    case HostField::FullSpeed:
      blocks.planner.fullJogSpeed[command.axis] = asInt(command.values[0]);
      break;
    case HostField::Companion:
      blocks.planner.companionWord[command.axis] = static_cast<uint32_t>(command.values[0]);
      break;
  }
}

}  // namespace

int runScenario(const std::string& name, const std::vector<Command>& commands,
                const Options& options, HostModel& model, bool closingSummary) {
  std::string error;
  if (!options.profile.empty()) {
    // Kept with --write-profile, the scenario's settings must be able to reach the file.
    const ProfileDiagnosis found = diagnoseProfile(
        options.profile, options.writeProfile, "k4-hostsim --config --profile " + options.profile);
    if (!found.error.empty()) {
      std::fprintf(stderr, "k4-hostsim: %s\n", found.error.c_str());
      return 2;
    }
    // A new profile is the scenario's to fill with its setting lines.
    if (!found.warning.empty() && !found.fresh)
      std::fprintf(stderr, "k4-hostsim: %s\n", found.warning.c_str());
  }
  PluginModule plugin;
  ProfileFile profile;
  // A scenario's settings and whatever the plug-in saves go to a copy of the named profile,
  // unless the user asked for them to be kept.
  const bool opened = options.writeProfile ? profile.open(options.profile, error)
                                           : profile.openCopy(options.profile, error);
  if (!opened || !canWritePlot(options.plot, error) || !plugin.load(options.plugin, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 2;
  }

  StdoutSink out;
  SessionPlot plot(out, profile, options.show, options.plot);
  EventSink& sink = plot.sink();
  HostSimulator sim(plugin.entry(), profile, plot.show(), sink, model);
  plot.watch(sim);
  std::vector<SettingText> pendingSettings;
  for (const Command& command : commands) {
    if (sim.model().lost()) {
      sim.stop();
      std::fflush(stdout);
      std::fprintf(stderr, "%s:%d: the controller is gone; the scenario ends here\n", name.c_str(),
                   command.line);
      return 3;
    }
    switch (command.op) {
      case Op::Start:
        if (!sim.start(pendingSettings, error)) {
          std::fflush(stdout);
          std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), command.line, error.c_str());
          return 1;
        }
        pendingSettings.clear();
        break;
      case Op::PendantAbsent:
        sim.pendant().setPresent(false);
        break;
      case Op::Setting:
        pendingSettings.insert(pendingSettings.end(), command.settings.begin(),
                               command.settings.end());
        break;
      case Op::Report:
        sim.controls().takeReport(command.report);
        sim.queueReport(command.report);
        break;
      case Op::Pendant:
        applyPendantChanges(sim.controls(), command.pendant);
        sim.queueReport(sim.controls().report());
        break;
      case Op::Cycle:
        for (int i = 0; i < command.count; ++i)
          sim.cycleOnVirtualClock();
        break;
      case Op::Update:
        for (int i = 0; i < command.count; ++i)
          sim.update();
        break;
      case Op::Step:
        for (int i = 0; i < command.count; ++i) {
          sim.update();
          sim.cycleOnVirtualClock();
        }
        break;
      case Op::Led:
        sim.model().presetLed(command.code, command.ledAnswer);
        break;
      case Op::Dro:
        sim.model().presetDro(command.code, command.values[0]);
        break;
      case Op::Host:
        applyHost(sim.blocks(), command);
        break;
      case Op::Unplug:
        sim.unplug();
        break;
      case Op::Plug:
        sim.plug(command.elsewhere);
        break;
      case Op::ArriveOther:
        sim.arriveOther(command.elsewhere);
        break;
      case Op::Config:
        sim.config(command.dialog);
        break;
      case Op::Stop:
        sim.stop();
        break;
      case Op::Echo:
        sink.event({.kind = HostEventKind::Comment, .text = command.text});
        break;
    }
  }
  // The host shuts down: the plug-in is stopped before it is unloaded.
  sim.stop();
  if (closingSummary) {
    sink.event({.kind = HostEventKind::Comment,
                .text = "Axis positions at the end: " + sim.model().positions()});
  }
  std::fflush(stdout);
  if (!plot.write("k4-hostsim: " + name, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace k4::hostsim
