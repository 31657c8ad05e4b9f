#include <dlfcn.h>
#include <pthread.h>

#include <cstdio>
#include <cstdlib>

#include "host/exports.h"
#include "platform/module.h"
#include "platform/posix/host_thread.h"

namespace k4 {

namespace posix {

namespace {
pthread_t hostThread{};
bool hostThreadKnown = false;
}  // namespace

void rememberHostThread() {
  hostThread = ::pthread_self();
  hostThreadKnown = true;
}

bool onHostThread() {
  return hostThreadKnown && ::pthread_equal(hostThread, ::pthread_self()) != 0;
}

}  // namespace posix

namespace {

// A host that unloads the module (dlclose) without StopPlug would leave our timer and watches
// in its event loop, pointing into code that is gone. The module's destructor stops the plug-in
// first, as StopPlug would, but only for such an unload: at process exit the host's view and
// blocks may already be destroyed (main returned, its statics went), and nothing is left to
// call us anyway.
//
// Telling the two apart: a handler registered with atexit from inside this module belongs to
// the module. At process exit, exit handlers run before any module destructor, so the flag is
// set by then; at dlclose the module's destructor functions run before its exit handlers.
bool processExiting = false;

void markProcessExiting() {
  processExiting = true;
}

[[gnu::constructor]] void onModuleLoad() {
  std::atexit(markProcessExiting);
}

[[gnu::destructor]] void onModuleUnload() {
  if (processExiting || !posix::onHostThread())
    return;
  stopPlugInAtUnload();
}

}  // namespace

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
