#include "session_trace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "profile_file.h"

namespace k4::hostsim {

namespace {

// ---- Reading the host's lines ------------------------------------------------------------------

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The text between the first pair of double quotes.
std::string quoted(const std::string& line) {
  const std::size_t open = line.find('"');
  const std::size_t close = line.rfind('"');
  if (open == std::string::npos || close <= open)
    return "";
  return line.substr(open + 1, close - open - 1);
}

int fieldOf(const std::string& line, const char* name) {
  const std::size_t at = line.find(name);
  return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + std::strlen(name));
}

}  // namespace

int jogModeForKnob(int knob, bool sideHeld, bool autoMode, bool singleMode) {
  if (knob == 1) {
    if (!sideHeld)
      return autoMode ? 10 : 1;
    return singleMode ? 2 : 11;
  }
  if (knob == 3)
    return sideHeld ? 4 : 3;
  return knob >= 2 && knob <= 9 ? knob : 0;
}

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

void SessionTrace::event(const std::string& line) {
  const bool record = startsWith(line, "Record ");
  if (!record || forwardRecords_)
    forward_.event(line);
  const double t = now();
  if (record) {
    const int axis = static_cast<int>(std::string(kAxisLetters).find(line[7]));
    if (axis < 0 || axis >= kAxisCount)
      return;
    // As the machine takes it: a "DOJOG" with the stop byte clear runs the axis.
    const bool runs = lastLineStartedJog_ && fieldOf(line, " stop=") == 0;
    const double speed = fieldOf(line, " speed=");
    jogSpeeds_.push_back({t, axis, runs ? (fieldOf(line, " dir=") != 0 ? -speed : speed) : 0.0});
    return;
  }
  if (startsWith(line, "DoButton ")) {
    actions_.push_back({t, ActionKind::Button, line.substr(9)});
  } else if (startsWith(line, "SetDRO ")) {
    std::string text = line.substr(7);
    const std::size_t blank = text.find(' ');
    if (blank != std::string::npos)
      text[blank] = '=';
    actions_.push_back({t, ActionKind::DroWrite, text});
  } else if (startsWith(line, "Status ")) {
    actions_.push_back({t, ActionKind::Status, "\"" + quoted(line) + "\""});
  } else if (startsWith(line, "Code ")) {
    const std::string code = quoted(line);
    lastLineStartedJog_ = code == "DOJOG";
    ActionKind kind = ActionKind::OtherLine;
    if (code == "DOJOG")
      kind = ActionKind::DoJog;
    else if (code == "ENDJOG")
      kind = ActionKind::EndJog;
    else if (startsWith(code, "G91G1"))
      kind = ActionKind::StepLine;
    actions_.push_back({t, kind, code});
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
  sample.positions = sim.machine().positions();
  samples_.push_back(sample);
}

}  // namespace k4::hostsim
