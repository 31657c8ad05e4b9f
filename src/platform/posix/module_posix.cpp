#include <dlfcn.h>

#include <cstdio>

#include "platform/module.h"

namespace k4 {

std::string moduleFileName() {
  Dl_info info{};
  // The address of this function lies inside the plug-in module itself.
  if (dladdr(reinterpret_cast<void*>(&moduleFileName), &info) != 0 && info.dli_fname != nullptr) {
    return info.dli_fname;
  }
  return {};
}

// Sockets need no start-up on Linux.
bool initSocketLayer() {
  return true;
}
void shutdownSocketLayer() {}

void showMessageBox(const char* text) {
  std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
}

}  // namespace k4
