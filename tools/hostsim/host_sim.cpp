#include "host_sim.h"

#include <cstdio>
#include <cstring>
#include <thread>

namespace k4::hostsim {

namespace {

// The host callbacks are plain function pointers: they reach the one simulator through this.
HostSimulator* current = nullptr;

void K4_CALL callDoButton(int code) {
  if (current != nullptr)
    current->onDoButton(code);
}
void K4_CALL callSetDro(int code, double value) {
  if (current != nullptr)
    current->onSetDro(code, value);
}
double K4_CALL callGetDro(int code) {
  return current != nullptr ? current->onGetDro(code) : 0.0;
}
uint8_t K4_CALL callGetLed(int code) {
  return current != nullptr ? current->onGetLed(code) : 0;
}
void K4_CALL callSetLed(int code, bool on) {
  if (current != nullptr)
    current->onSetLed(code, on);
}
void K4_CALL callCode(const char* line) {
  if (current != nullptr)
    current->onCode(line);
}

std::string formatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

}  // namespace

HostSimulator::HostSimulator(const EntryPoints& entry, ProfileFile& profile, ShowFlags show,
                             EventSink& sink)
    : entry_(entry),
      profile_(profile),
      show_(show),
      sink_(sink),
      pendant_(std::make_unique<VirtualPendant>()) {
  current = this;
  view_.setDialog(dialog_.table());
}

HostSimulator::~HostSimulator() {
  if (running_)
    stop();
  if (current == this)
    current = nullptr;
}

void HostSimulator::useLink(PendantLink link, const k4_device_table* explicitDevices) {
  link_ = link;
  explicitDevices_ = explicitDevices;
}

bool HostSimulator::start(const std::vector<SettingText>& settings, std::string& error) {
  if (running_)
    return true;
  if (!profile_.writeSettings(settings, error))
    return false;
  switch (link_) {
    case PendantLink::Virtual:
      view_.setDevices(pendant_->table());
      break;
    case PendantLink::PluginHidraw:
      view_.setDevices(nullptr);
      break;
    case PendantLink::Explicit:
      view_.setDevices(explicitDevices_);
      break;
  }
  entry_.SetDoButton(&callDoButton);
  entry_.SetSetDRO(&callSetDro);
  entry_.SetGetDRO(&callGetDro);
  entry_.SetGetLED(&callGetLed);
  entry_.SetSetLED(&callSetLed);
  entry_.SetCode(&callCode);
  const char* name = entry_.SetProName(profile_.path().c_str());
  displayName_ = name != nullptr ? name : "";
  entry_.InitControl(&machine_.engine, &machine_.setup, &machine_.planner, view_.hostView());
  running_ = true;
  entry_.PostInitControl();
  reportHostChanges();
  notify(SimulatorEvent::Started);
  return true;
}

void HostSimulator::stop() {
  if (!running_)
    return;
  if (model_ != nullptr)
    model_->shutdown("the plug-in stops");
  entry_.StopPlug();
  running_ = false;
  if (link_ == PendantLink::Virtual) {
    // The old pendant may still hold the destroyed window for its notifications.
    auto fresh = std::make_unique<VirtualPendant>();
    fresh->setPresent(pendant_->present());
    pendant_ = std::move(fresh);
    view_.setDevices(pendant_->table());
  }
  reportHostChanges();
}

void HostSimulator::cycleOnVirtualClock() {
  if (realTime_) {
    const auto now = std::chrono::steady_clock::now();
    if (nextCycle_ < now - std::chrono::milliseconds(kCyclePeriodMs))
      nextCycle_ = now;
    nextCycle_ += std::chrono::milliseconds(kCyclePeriodMs);
    std::this_thread::sleep_until(nextCycle_);
  }
  if (model_ != nullptr)
    model_->beforeCycle(machine_);
  machine_.advance(kCyclePeriodMs / 1000.0);
  machine_.rememberRecords();
  view_.setNow(view_.now() + kCyclePeriodMs);
  view_.fireDueTimers();
  afterCycle();
}

void HostSimulator::afterCycle() {
  collectOutputReports();
  reportHostChanges();
  notify(SimulatorEvent::CycleEnded);
}

void HostSimulator::update() {
  entry_.Update();
  reportHostChanges();
}

void HostSimulator::config(const std::vector<ScriptedDialogView::Step>& steps) {
  dialog_.setScript(steps);
  entry_.Config();
  for (const std::string& message : dialog_.messages())
    emit("Message \"" + message + "\"");
  reportHostChanges();
  notify(SimulatorEvent::Configured);
}

void HostSimulator::queueReport(const InputReportBytes& report) {
  pendant_->queueReport(report);
}

void HostSimulator::unplug() {
  // The model hears of it first: the plug-in answers the removal with host calls of its own.
  notePendantPresence(false);
  pendant_->unplug();
  notify(SimulatorEvent::Unplugged);
  reportHostChanges();
}

void HostSimulator::plug(bool elsewhere) {
  if (elsewhere) {
    pendant_->plugElsewhere();
  } else {
    pendant_->plug();
  }
  notePendantPresence(true);
  notify(SimulatorEvent::Plugged);
  reportHostChanges();
}

void HostSimulator::notePendantPresence(bool present) {
  if (model_ != nullptr)
    model_->pendantPresence(present);
}

void HostSimulator::arriveOther(bool pendant) {
  if (pendant) {
    pendant_->arriveSecondPendant();
  } else {
    pendant_->arriveOther();
  }
  reportHostChanges();
}

void HostSimulator::collectOutputReports() {
  if (link_ != PendantLink::Virtual)
    return;
  for (const VirtualPendant::OutputReport& report : pendant_->writtenReports()) {
    lastOutput_.assign(report.begin(), report.end());
    if (show_.reports) {
      std::string line = "Output";
      char byte[4];
      for (uint8_t value : report) {
        std::snprintf(byte, sizeof byte, " %02X", value);
        line += byte;
      }
      emit(line);
    }
  }
  pendant_->clearWrittenReports();
}

void HostSimulator::reportHostChanges() {
  if (model_ != nullptr) {
    for (const std::string& message : model_->takeMessages())
      emit("Note " + message);
  }
  if (machine_.planner.statusAssignments != statusSeen_) {
    statusSeen_ = machine_.planner.statusAssignments;
    const char* text = machine_.planner.statusLine;
    emit("Status \"" + std::string(text, strnlen(text, kStatusLineSize)) + "\"");
  }
  if (machine_.takeMoved() && show_.machine)
    emit("Machine " + machine_.formatPositions());
}

void HostSimulator::onDoButton(int code) {
  if (code >= button::kAxisBase && code < button::kAxisBase + kAxisCount)
    lastAxisCode_ = code;
  if (model_ != nullptr) {
    emit("DoButton " + std::to_string(code));
    model_->doButton(code);
    return;
  }
  if (hostReactions_ && code == button::kReset) {
    machine_.setLed(led::kReset, !machine_.led(led::kReset));
  }
  emit("DoButton " + std::to_string(code));
}

void HostSimulator::onSetDro(int code, double value) {
  if (model_ != nullptr)
    model_->setDro(code, value);
  else
    machine_.setDro(code, value);
  emit("SetDRO " + std::to_string(code) + " " + formatNumber(value));
}

double HostSimulator::onGetDro(int code) {
  const double value = model_ != nullptr ? model_->dro(code) : machine_.dro(code);
  if (show_.reads)
    emit("GetDRO " + std::to_string(code) + " -> " + formatNumber(value));
  return value;
}

uint8_t HostSimulator::onGetLed(int code) {
  const uint8_t answer = model_ != nullptr ? static_cast<uint8_t>(model_->led(code) ? 1 : 0)
                                           : machine_.ledAnswer(code);
  if (show_.reads)
    emit("GetLED " + std::to_string(code) + " -> " + std::to_string(answer));
  return answer;
}

void HostSimulator::onSetLed(int code, bool on) {
  machine_.setLed(code, on);
  emit("SetLED " + std::to_string(code) + (on ? " on" : " off"));
}

void HostSimulator::onCode(const char* line) {
  const std::string text = line != nullptr ? line : "";
  emit("Code \"" + text + "\"");
  if (model_ != nullptr) {
    model_->code(text, machine_);
    return;
  }
  Machine::JogEvent jog;
  if (machine_.execute(text, jog) && show_.records) {
    for (int axis : jog.axes)
      emit("Record " + machine_.formatRecord(axis));
  }
}

}  // namespace k4::hostsim
