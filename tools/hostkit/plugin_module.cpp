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

std::string defaultPluginPath() {
  // Beside the executable first (an installed or copied pair), else where the build put it.
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string dir(self, static_cast<std::size_t>(length));
    dir.erase(dir.find_last_of('/') + 1);
    const std::string beside = dir + K4_PLUGIN_FILE_NAME;
    if (access(beside.c_str(), R_OK) == 0)
      return beside;
  }
  return K4_PLUGIN_BUILD_PATH;
}

}  // namespace k4::hostsim
