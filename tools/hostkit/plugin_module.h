// The plug-in as the host sees it: a shared library and its exported entry points, nothing else.
#pragma once

#include <string>
#include <vector>

#include "host/exports.h"

namespace k4::hostsim {

struct EntryPoints {
  decltype(&::SetDoButton) SetDoButton = nullptr;
  decltype(&::SetSetDRO) SetSetDRO = nullptr;
  decltype(&::SetGetDRO) SetGetDRO = nullptr;
  decltype(&::SetGetLED) SetGetLED = nullptr;
  decltype(&::SetSetLED) SetSetLED = nullptr;
  decltype(&::SetCode) SetCode = nullptr;
  decltype(&::SetProName) SetProName = nullptr;
  decltype(&::InitControl) InitControl = nullptr;
  decltype(&::PostInitControl) PostInitControl = nullptr;
  decltype(&::Config) Config = nullptr;
  decltype(&::Update) Update = nullptr;
  decltype(&::StopPlug) StopPlug = nullptr;
};

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads the library (an empty path: `defaultPluginPath()`) and looks up every entry point;
  // false with `error` set when the file cannot be loaded or an entry point is missing (the
  // library is then unloaded again).
  bool load(const std::string& path, std::string& error);
  const EntryPoints& entry() const { return entry_; }

 private:
  void* handle_ = nullptr;
  EntryPoints entry_;
};

// Where a program at `program` (an absolute path) looks for the plug-in, in order: beside
// itself, in ../<libdir>/orvane-k4/ (and ../lib/orvane-k4/), then, only for a program inside
// this build's folder, where this build put it.
std::vector<std::string> pluginCandidates(const std::string& program);

// The first of this program's candidates that is readable, else the first candidate.
std::string defaultPluginPath();

}  // namespace k4::hostsim
