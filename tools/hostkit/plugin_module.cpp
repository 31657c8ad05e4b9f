#include "plugin_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace k4::hostsim {

namespace {

template <typename Fn>
bool lookUp(void* handle, const char* name, Fn& fn, std::string& error) {
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    error = std::string("the plug-in has no entry point ") + name;
    return false;
  }
  fn = reinterpret_cast<Fn>(address);
  return true;
}

}  // namespace

PluginModule::~PluginModule() {
  if (handle_ != nullptr)
    dlclose(handle_);
}

bool PluginModule::load(const std::string& requested, std::string& error) {
  const std::string path = requested.empty() ? defaultPluginPath() : requested;
  if (requested.empty() && access(path.c_str(), R_OK) != 0) {
    error = "cannot find the plug-in " K4_PLUGIN_FILE_NAME "; looked in:";
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    for (const std::string& place :
         pluginCandidates(length > 0 ? std::string(self, static_cast<std::size_t>(length)) : ""))
      error += " " + place.substr(0, place.find_last_of('/') + 1);
    error += " (name it with --plugin PATH)";
    return false;
  }
  // A path without a slash would make dlopen search the library path instead of the file named.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = "cannot load the plug-in " + path + ": " + (reason != nullptr ? reason : "unknown");
    return false;
  }
  const bool complete = lookUp(handle_, "SetDoButton", entry_.SetDoButton, error) &&
                        lookUp(handle_, "SetSetDRO", entry_.SetSetDRO, error) &&
                        lookUp(handle_, "SetGetDRO", entry_.SetGetDRO, error) &&
                        lookUp(handle_, "SetGetLED", entry_.SetGetLED, error) &&
                        lookUp(handle_, "SetSetLED", entry_.SetSetLED, error) &&
                        lookUp(handle_, "SetCode", entry_.SetCode, error) &&
                        lookUp(handle_, "SetProName", entry_.SetProName, error) &&
                        lookUp(handle_, "InitControl", entry_.InitControl, error) &&
                        lookUp(handle_, "PostInitControl", entry_.PostInitControl, error) &&
                        lookUp(handle_, "Config", entry_.Config, error) &&
                        lookUp(handle_, "Update", entry_.Update, error) &&
                        lookUp(handle_, "StopPlug", entry_.StopPlug, error);
  if (!complete) {
    dlclose(handle_);
    handle_ = nullptr;
    entry_ = {};
  }
  return complete;
}

std::vector<std::string> pluginCandidates(const std::string& program) {
  const std::string dir = program.substr(0, program.find_last_of('/') + 1);
  std::vector<std::string> candidates;
  if (dir.empty())
    return candidates;
  // An unpacked archive keeps the pair side by side; an installed copy has the program in bin/
  // and the plug-in in its own folder of the library folder next to bin/ (the multiarch one on
  // Debian).
  candidates.push_back(dir + K4_PLUGIN_FILE_NAME);
  candidates.push_back(dir + "../" K4_PLUGIN_INSTALL_LIBDIR "/orvane-k4/" K4_PLUGIN_FILE_NAME);
  const std::string plainLib = dir + "../lib/orvane-k4/" K4_PLUGIN_FILE_NAME;
  if (plainLib != candidates.back())
    candidates.push_back(plainLib);
  // The build's own plug-in only for a program inside that build: a copy elsewhere must never
  // quietly load a plug-in from the build machine's source tree.
  const std::string buildRoot = K4_PLUGIN_BUILD_ROOT "/";
  if (program.compare(0, buildRoot.size(), buildRoot) == 0)
    candidates.push_back(K4_PLUGIN_BUILD_PATH);
  return candidates;
}

std::string defaultPluginPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::vector<std::string> candidates =
      pluginCandidates(length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "");
  for (const std::string& candidate : candidates)
    if (access(candidate.c_str(), R_OK) == 0)
      return candidate;
  // None there: the first place looked is the one the error message names.
  return candidates.empty() ? std::string(K4_PLUGIN_FILE_NAME) : candidates.front();
}

}  // namespace k4::hostsim
