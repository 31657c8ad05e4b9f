#include "session_recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pendant_controls.h"

namespace k4::hostsim {

bool SessionRecorder::open(const std::string& path, std::string& error) {
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

SessionRecorder::~SessionRecorder() {
  if (file_ == nullptr)
    return;
  flushRun();
  std::fclose(file_);
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
  flushRun();
  InputReportBytes report{};
  std::copy(bytes, bytes + report.size(), report.begin());
  std::fprintf(file_, "report %s\n", formatReport(report).c_str());
  std::fflush(file_);
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
