// The scenario writer behind `k4-hostsim --live --record FILE`: what the pendant sent, written
// as a scenario that replays the session.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace k4::hostsim {

// Writes the reports in order, with the report cycles and Update calls between them. Without a
// file (no --record) every call does nothing.
class SessionRecorder {
 public:
  SessionRecorder() = default;
  ~SessionRecorder();
  SessionRecorder(const SessionRecorder&) = delete;
  SessionRecorder& operator=(const SessionRecorder&) = delete;

  // An empty path records nothing; false with `error` set when the file cannot be written.
  bool open(const std::string& path, std::string& error);

  void cycle() { count(kCycle); }
  void update() { count(kUpdate); }
  // A report the plug-in took during the cycle just counted: it goes before that cycle.
  void reportInLastCycle(const uint8_t* bytes);
  void report(const uint8_t* bytes);

 private:
  enum Kind { kNone, kCycle, kUpdate };
  void count(Kind kind);
  void flushRun();

  std::FILE* file_ = nullptr;
  Kind runKind_ = kNone;
  int runLength_ = 0;
};

}  // namespace k4::hostsim
