// Load and unload of the plug-in module. The host loads it with LoadLibrary; without sockets the
// plug-in refuses to load, and says so, rather than failing later in the host's process.
#include <windows.h>

#include "platform/module.h"

namespace {

bool socketsStarted = false;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      socketsStarted = k4::initSocketLayer();
      if (!socketsStarted) {
        k4::showMessageBox("Sockets Init Failed");
        return FALSE;
      }
      return TRUE;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved non-null) other modules may already be gone; the system
      // reclaims the socket layer itself then.
      if (socketsStarted && reserved == nullptr)
        k4::shutdownSocketLayer();
      socketsStarted = false;
      return TRUE;
    default:
      return TRUE;
  }
}
