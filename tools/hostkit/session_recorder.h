// The scenario writer behind `k4-hostsim --live --record FILE`: the session written as a
// scenario that replays it alone: the settings in force, the host's state at the start and every
// change of it the plug-in did not make itself (a LED the host switched, a DRO, a host block
// field), the reports the pendant sent, unplug and plug, with the report cycles and Update
// calls between them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "scenario.h"

namespace k4::hostsim {

class HostModel;
struct HostBlocks;

// Without a file (no --record) every call does nothing.
class SessionRecorder {
 public:
  SessionRecorder() = default;
  ~SessionRecorder();
  SessionRecorder(const SessionRecorder&) = delete;
  SessionRecorder& operator=(const SessionRecorder&) = delete;

  // An empty path records nothing; an existing file is replaced only with `overwrite`. False
  // with `error` set (saying what to do) when the file cannot or may not be written.
  bool open(const std::string& path, bool overwrite, std::string& error);
  const std::string& path() const { return path_; }

  // Before the plug-in starts: the settings in force, the host's state, then "start".
  void begin(const std::vector<SettingText>& settings, HostModel& model, const HostBlocks& blocks);
  // Where the plug-in may read the host next (before a report cycle, before an Update): what the
  // host holds that differs from what the record last said. `ledCodes`/`droCodes`: codes the
  // plug-in has read besides the host's well-known ones.
  void hostState(HostModel& model, const HostBlocks& blocks);
  void noteCodesRead(const std::vector<int>& ledCodes, const std::vector<int>& droCodes);

  void cycle() { count(kCycle); }
  void update() { count(kUpdate); }
  // A report the plug-in took during the cycle just counted: it goes before that cycle.
  void reportInLastCycle(const uint8_t* bytes);
  void report(const uint8_t* bytes);
  void unplug() { line("unplug"); }
  void plug() { line("plug"); }

 private:
  enum Kind { kNone, kCycle, kUpdate };
  void count(Kind kind);
  void flushRun();
  void line(const std::string& text);
  // Writes `text` when the value under `key` differs from the one written last.
  void change(const std::string& key, const std::string& text);

  std::FILE* file_ = nullptr;
  std::string path_;
  Kind runKind_ = kNone;
  int runLength_ = 0;
  std::map<std::string, std::string> written_;  // "led 800" -> "led 800 on"
  std::vector<int> ledCodes_;
  std::vector<int> droCodes_;
};

}  // namespace k4::hostsim
