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
  void event(const std::string& line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
};

void applyHost(Machine& machine, const Command& command) {
  const auto asInt = [](double value) { return static_cast<int32_t>(value); };
  switch (command.hostField) {
    case HostField::Inhibit:
      machine.engine.jogInhibit = static_cast<uint8_t>(command.values[0]);
      break;
    case HostField::EngineQueue:
      machine.engine.queueWordA = asInt(command.values[0]);
      machine.engine.queueWordB = asInt(command.values[1]);
      break;
    case HostField::PlannerBusy:
      machine.planner.busyWord = asInt(command.values[0]);
      break;
    case HostField::PlannerQueue:
      machine.planner.queueWordA = asInt(command.values[0]);
      machine.planner.queueWordB = asInt(command.values[1]);
      break;
    case HostField::Increment:
      machine.planner.stepIncrement = command.values[0];
      break;
    case HostField::Rotation:
      machine.setup.rotationAngle = command.values[0];
      break;
    case HostField::AbsoluteWord:
      machine.setup.absoluteWord = asInt(command.values[0]);
      break;
    case HostField::FullSpeed:
      machine.planner.fullJogSpeed[command.axis] = asInt(command.values[0]);
      break;
    case HostField::Companion:
      machine.planner.companionWord[command.axis] = static_cast<uint32_t>(command.values[0]);
      break;
  }
}

}  // namespace

int runScenario(const std::string& name, const std::vector<Command>& commands,
                const Options& options, bool closingSummary, HostModel* model) {
  std::string error;
  PluginModule plugin;
  ProfileFile profile;
  // A scenario's settings and whatever the plug-in saves go to a copy of the named profile,
  // unless the user asked for them to be kept.
  const bool opened = options.writeProfile ? profile.open(options.profile, error)
                                           : profile.openCopy(options.profile, error);
  if (!plugin.load(options.plugin, error) || !opened) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 2;
  }

  StdoutSink out;
  ShowFlags show = options.show;
  SessionTrace trace(out, profile, show.records);
  const bool plotting = !options.plot.empty();
  show.records = show.records || plotting;  // the plot draws the jog records' speeds
  EventSink& sink = plotting ? static_cast<EventSink&>(trace) : out;
  HostSimulator sim(plugin.entry(), profile, show, sink);
  if (plotting)
    sim.observe(&trace);
  sim.setModel(model);
  sim.setRealTime(model != nullptr);
  std::vector<SettingText> pendingSettings;
  for (const Command& command : commands) {
    if (model != nullptr && model->lost()) {
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
        sim.machine().setLedAnswer(command.code, command.ledAnswer);
        break;
      case Op::Dro:
        sim.machine().setDro(command.code, command.values[0]);
        break;
      case Op::Host:
        applyHost(sim.machine(), command);
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
        sink.event(command.text.empty() ? "#" : "# " + command.text);
        break;
    }
  }
  // The host shuts down: the plug-in is stopped before it is unloaded.
  sim.stop();
  if (closingSummary) {
    sink.event("# Axis positions at the end: " +
               (model != nullptr ? model->positions() : sim.machine().formatPositions()));
  }
  std::fflush(stdout);
  if (plotting && !writeSessionPlot(trace, "k4-hostsim: " + name, options.plot, error)) {
    std::fprintf(stderr, "k4-hostsim: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace k4::hostsim
