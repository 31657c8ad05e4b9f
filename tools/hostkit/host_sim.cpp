#include "host_sim.h"

#include <algorithm>
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

// A code joins the list the first time it is read; the plug-in reads a handful of codes.
void noteRead(std::vector<int>& codes, int code) {
  if (std::find(codes.begin(), codes.end(), code) == codes.end())
    codes.push_back(code);
}

}  // namespace

HostSimulator::HostSimulator(const EntryPoints& entry, ProfileFile& profile, ShowFlags show,
                             EventSink& sink, HostModel& model)
    : entry_(entry),
      profile_(profile),
      show_(show),
      sink_(sink),
      model_(&model),
      pendant_(std::make_unique<VirtualPendant>()) {
  current = this;
  view_.setDialog(dialog_.table());
  realTime_ = model_->realTime();
  model_->attach(blocks_);
  model_->watchControls(&controls_);
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
  entry_.InitControl(&blocks_.engine, &blocks_.setup, &blocks_.planner, view_.hostView());
  running_ = true;
  entry_.PostInitControl();
  reportHostChanges();
  notify(SimulatorEvent::Started);
  return true;
}

void HostSimulator::stop() {
  if (!running_)
    return;
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
  beforeCycle(kCyclePeriodMs / 1000.0);
  view_.setNow(view_.now() + kCyclePeriodMs);
  view_.fireDueTimers();
  afterCycle();
}

void HostSimulator::beforeCycle(double seconds) {
  model_->beforeCycle(blocks_, seconds);
  blocks_.rememberRecords();
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
    emit({.kind = HostEventKind::Message, .text = message});
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
    if (show_.reports)
      emit({.kind = HostEventKind::Output, .bytes = lastOutput_});
  }
  pendant_->clearWrittenReports();
}

void HostSimulator::reportHostChanges() {
  for (std::string& message : model_->takeMessages())
    emit({.kind = HostEventKind::Note, .text = std::move(message)});
  if (blocks_.planner.statusAssignments != statusSeen_) {
    statusSeen_ = blocks_.planner.statusAssignments;
    const char* text = blocks_.planner.statusLine;
    emit(
        {.kind = HostEventKind::Status, .text = std::string(text, strnlen(text, kStatusLineSize))});
  }
  if (model_->takeMoved() && show_.machine)
    emit({.kind = HostEventKind::Machine, .text = model_->positions()});
}

void HostSimulator::onDoButton(int code) {
  if (code >= button::kAxisBase && code < button::kAxisBase + kAxisCount)
    lastAxisCode_ = code;
  emit({.kind = HostEventKind::DoButton, .code = code});
  model_->doButton(code);
}

void HostSimulator::onSetDro(int code, double value) {
  model_->setDro(code, value);
  emit({.kind = HostEventKind::SetDro, .code = code, .value = value});
}

double HostSimulator::onGetDro(int code) {
  noteRead(drosRead_, code);
  const double value = model_->dro(code);
  if (show_.reads)
    emit({.kind = HostEventKind::GetDro, .code = code, .value = value});
  return value;
}

uint8_t HostSimulator::onGetLed(int code) {
  noteRead(ledsRead_, code);
  const uint8_t answer = model_->ledAnswer(code);
  if (show_.reads)
    emit({.kind = HostEventKind::GetLed, .code = code, .value = static_cast<double>(answer)});
  return answer;
}

void HostSimulator::onSetLed(int code, bool on) {
  model_->setLed(code, on);
  emit({.kind = HostEventKind::SetLed, .code = code, .value = on ? 1.0 : 0.0});
}

void HostSimulator::onCode(const char* line) {
  const std::string text = line != nullptr ? line : "";
  emit({.kind = HostEventKind::Code, .text = text});
  const std::vector<int> records = model_->code(text, blocks_);
  if (!show_.records)
    return;
  for (int axis : records) {
    emit({.kind = HostEventKind::Record,
          .code = axis,
          .record = blocks_.engine.axisJog[axis],
          .jogStart = text == "DOJOG"});
  }
}

}  // namespace k4::hostsim
