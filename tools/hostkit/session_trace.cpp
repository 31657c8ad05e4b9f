#include "session_trace.h"

#include <algorithm>

#include "control/knob_modes.h"
#include "profile_file.h"

namespace k4::hostsim {

SessionTrace::SessionTrace(EventSink& forward, const ProfileFile& profile, bool forwardRecords)
    : forward_(forward), profile_(profile), forwardRecords_(forwardRecords) {}

double SessionTrace::now() const {
  return clock_ != nullptr ? static_cast<double>(clock_->now()) / 1000.0 : 0.0;
}

double SessionTrace::endSeconds() const {
  double end = samples_.empty() ? 0.0 : samples_.back().seconds;
  if (!actions_.empty())
    end = std::max(end, actions_.back().seconds);
  return end;
}

void SessionTrace::event(const HostEvent& e) {
  if (e.kind != HostEventKind::Record || forwardRecords_)
    forward_.event(e);
  const double t = now();
  switch (e.kind) {
    case HostEventKind::Record: {
      if (e.code < 0 || e.code >= kAxisCount)
        return;
      // As the machine takes it: a "DOJOG" with the stop byte clear runs the axis.
      const bool runs = e.jogStart && e.record.stopByte == 0;
      const double speed = e.record.jogSpeed;
      jogSpeeds_.push_back({t, e.code, runs ? (e.record.direction != 0 ? -speed : speed) : 0.0});
      break;
    }
    case HostEventKind::DoButton:
      actions_.push_back({t, ActionKind::Button, std::to_string(e.code)});
      break;
    case HostEventKind::SetDro:
      actions_.push_back(
          {t, ActionKind::DroWrite, std::to_string(e.code) + "=" + formatNumber(e.value)});
      break;
    case HostEventKind::Status:
      actions_.push_back({t, ActionKind::Status, "\"" + e.text + "\""});
      break;
    case HostEventKind::Code: {
      ActionKind kind = ActionKind::OtherLine;
      if (e.text == "DOJOG")
        kind = ActionKind::DoJog;
      else if (e.text == "ENDJOG")
        kind = ActionKind::EndJog;
      else if (e.text.starts_with("G91G1"))
        kind = ActionKind::StepLine;
      actions_.push_back({t, kind, e.text});
      break;
    }
    default:
      break;
  }
}

void SessionTrace::simulatorEvent(SimulatorEvent what, HostSimulator& sim) {
  switch (what) {
    case SimulatorEvent::Started:
      useClock(sim.view());
      readModeSettings();
      break;
    case SimulatorEvent::Configured:
      readModeSettings();
      break;
    case SimulatorEvent::CycleEnded:
      sampleCycle(sim);
      break;
    case SimulatorEvent::Unplugged:
      actions_.push_back({now(), ActionKind::Pendant, "unplugged"});
      break;
    case SimulatorEvent::Plugged:
      actions_.push_back({now(), ActionKind::Pendant, "plugged in"});
      break;
  }
}

void SessionTrace::readModeSettings() {
  autoMode_ = profile_.readSetting("AutoMode", 1) != 0;
  singleMode_ = profile_.readSetting("SingleMode", 0) != 0;
}

void SessionTrace::sampleCycle(HostSimulator& sim) {
  useClock(sim.view());
  const PendantControls& controls = sim.controls();
  TraceSample sample;
  sample.seconds = now();
  if (lastWheel_ >= 0) {
    // The short way round, as the plug-in takes it; half a turn is no movement.
    int counts = (controls.wheel - lastWheel_ + 256) % 256;
    if (counts > 128)
      counts -= 256;
    sample.wheelCounts = counts == 128 ? 0 : counts;
  }
  lastWheel_ = controls.wheel;
  sample.intensity = controls.intensity;
  const int mode = jogModeForKnob(controls.knob & 0x7F, controls.side, autoMode_, singleMode_);
  if (mode != 0)
    jogMode_ = mode;
  sample.jogMode = jogMode_;
  sample.positions = sim.model().axisPositions();
  samples_.push_back(sample);
}

}  // namespace k4::hostsim
