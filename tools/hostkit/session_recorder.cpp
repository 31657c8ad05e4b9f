#include "session_recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host_blocks.h"
#include "host_event.h"
#include "host_model.h"
#include "pendant_controls.h"

namespace k4::hostsim {

namespace {

// The LEDs and DROs the plug-in reads of every host; others join as the plug-in reads them.
constexpr int kLeds[] = {led::kReset, led::kCycleRunning, led::kFeedHold, led::kJogStartBracket,
                         led::kJogAllowed};
constexpr int kDros[] = {dro::kSpeedPercent, dro::kSpindleTrim,  dro::kQueueDepth,
                         dro::kJogFeed,      dro::kFeedOverride, dro::kStepSize};

// A number as the scenario reads it back to the same double.
std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// A setting as a scenario word: quoted when it holds a blank; empty when it cannot be one.
std::string settingWord(const SettingText& setting) {
  if (setting.text.find_first_of("\"\n\r") != std::string::npos)
    return {};
  const bool plain =
      !setting.text.empty() && setting.text.find_first_of(" \t#") == std::string::npos;
  return setting.key + "=" + (plain ? setting.text : "\"" + setting.text + "\"");
}

}  // namespace

bool SessionRecorder::open(const std::string& path, bool overwrite, std::string& error) {
  if (path.empty())
    return true;
  // O_EXCL: a file that appears between a check and the open is not replaced either.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL), 0644);
  if (fd < 0) {
    error = errno == EEXIST ? "--record " + path +
                                  ": the file exists; name another file, or add --overwrite "
                                  "to replace it"
                            : "--record " + path + ": cannot write it: " + std::strerror(errno);
    return false;
  }
  file_ = ::fdopen(fd, "w");
  if (file_ == nullptr) {
    ::close(fd);
    error = "--record " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  std::fputs(
      "# Recorded by k4-hostsim --live: the settings in force, the host's state and its changes,\n"
      "# every report the pendant sent, unplug and plug, with the report cycles and Update calls\n"
      "# between them. Replay: k4-hostsim FILE\n",
      file_);
  return true;
}

SessionRecorder::~SessionRecorder() {
  if (file_ == nullptr)
    return;
  flushRun();
  std::fclose(file_);
}

void SessionRecorder::begin(const std::vector<SettingText>& settings, HostModel& model,
                            const HostBlocks& blocks) {
  if (file_ == nullptr)
    return;
  for (const SettingText& setting : settings) {
    const std::string word = settingWord(setting);
    line(word.empty() ? "# " + setting.key + " is left out: its text holds a quote or a line break"
                      : "setting " + word);
  }
  ledCodes_.assign(std::begin(kLeds), std::end(kLeds));
  droCodes_.assign(std::begin(kDros), std::end(kDros));
  hostState(model, blocks);
  line("start");
}

void SessionRecorder::noteCodesRead(const std::vector<int>& ledCodes,
                                    const std::vector<int>& droCodes) {
  for (int code : ledCodes) {
    if (std::find(ledCodes_.begin(), ledCodes_.end(), code) == ledCodes_.end())
      ledCodes_.push_back(code);
  }
  for (int code : droCodes) {
    if (std::find(droCodes_.begin(), droCodes_.end(), code) == droCodes_.end())
      droCodes_.push_back(code);
  }
}

void SessionRecorder::hostState(HostModel& model, const HostBlocks& blocks) {
  if (file_ == nullptr)
    return;
  for (int code : ledCodes_) {
    const uint8_t answer = model.ledAnswer(code);
    const std::string key = "led " + std::to_string(code);
    change(key, key + (answer == 0 ? " off" : answer == 1 ? " on" : " " + std::to_string(answer)));
  }
  for (int code : droCodes_) {
    const std::string key = "dro " + std::to_string(code);
    change(key, key + " " + exact(model.dro(code)));
  }
  // The host block fields after the DROs: a DRO the host ties to a block field (the step size
  // and the jog increment) must not undo the field's own value.
  const EngineBlock& engine = blocks.engine;
  const PlannerBlock& planner = blocks.planner;
  const SetupBlock& setup = blocks.setup;
  change("host inhibit", "host inhibit " + std::to_string(engine.jogInhibit != 0 ? 1 : 0));
  change("host engine-queue", "host engine-queue " + std::to_string(engine.queueWordA) + " " +
                                  std::to_string(engine.queueWordB));
  change("host planner-busy", "host planner-busy " + std::to_string(planner.busyWord));
  change("host planner-queue", "host planner-queue " + std::to_string(planner.queueWordA) + " " +
                                   std::to_string(planner.queueWordB));
  change("host increment", "host increment " + exact(planner.stepIncrement));
  change("host rotation", "host rotation " + exact(setup.rotationAngle));
  change("host absolute-word", "host absolute-word " + std::to_string(setup.absoluteWord));
  for (int axis = 0; axis < kAxisCount; ++axis) {
    const std::string letter(1, kAxisLetters[axis]);
    change("host full-speed " + letter,
           "host full-speed " + letter + " " + std::to_string(planner.fullJogSpeed[axis]));
    change("host companion " + letter,
           "host companion " + letter + " " + std::to_string(planner.companionWord[axis]));
  }
}

void SessionRecorder::change(const std::string& key, const std::string& text) {
  std::string& last = written_[key];
  if (last == text)
    return;
  last = text;
  line(text);
}

void SessionRecorder::line(const std::string& text) {
  if (file_ == nullptr)
    return;
  flushRun();
  std::fprintf(file_, "%s\n", text.c_str());
  std::fflush(file_);
}

void SessionRecorder::reportInLastCycle(const uint8_t* bytes) {
  if (file_ != nullptr && runKind_ == kCycle && runLength_ > 0) {
    --runLength_;
    report(bytes);
    count(kCycle);
    return;
  }
  report(bytes);
}

void SessionRecorder::report(const uint8_t* bytes) {
  if (file_ == nullptr)
    return;
  InputReportBytes report{};
  std::copy(bytes, bytes + report.size(), report.begin());
  line("report " + formatReport(report));
}

void SessionRecorder::count(Kind kind) {
  if (file_ == nullptr)
    return;
  if (kind != runKind_)
    flushRun();
  runKind_ = kind;
  ++runLength_;
}

void SessionRecorder::flushRun() {
  if (runLength_ > 0) {
    std::fprintf(file_, "%s %d\n", runKind_ == kCycle ? "cycle" : "update", runLength_);
  }
  runKind_ = kNone;
  runLength_ = 0;
}

}  // namespace k4::hostsim
