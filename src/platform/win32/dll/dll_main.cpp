// Load and unload of the plug-in module. The host loads it with LoadLibrary; without sockets the
// plug-in refuses to load, and says so, rather than failing later in the host's process.
#include <windows.h>

#include "host/exports.h"
#include "platform/module.h"
#include "platform/win32/module_handle.h"

// The i686 module unwinds by the DWARF tables of its .eh_frame section, with the unwinder
// linked into it. At load, MinGW's start-up code hands those tables to the shared run-time
// libgcc_s_dw2-1.dll instead, whenever another module of the host has already loaded that DLL:
// our own unwinder then knows none of our frames, and the first exception thrown inside the
// plug-in, even one it catches itself, ends the host's process. So the tables are also
// registered with our own unwinder when it cannot find them, and taken back at unload.
#if defined(__i386__) && !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)
#define K4_OWN_FRAME_TABLES 1
extern "C" {
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
// The start of this module's .eh_frame section, defined by the linker (cmake/Win32Module.cmake).
extern const char k4_eh_frame_begin[];
}
#endif

namespace {

bool socketsStarted = false;

#if defined(K4_OWN_FRAME_TABLES)
const void* ownFrameTables = nullptr;
// The unwinder's bookkeeping for one registered table (its `struct object`, six pointers and
// a word in this version of the run-time): room to spare.
alignas(16) unsigned char frameObject[64];

void registerOwnFrameTables(HINSTANCE) {
  dwarf_eh_bases bases{};
  void* here = reinterpret_cast<void*>(&registerOwnFrameTables);
  // The usual case: the start-up code registered them with us. (This search also sorts them
  // while memory is plentiful.)
  if (_Unwind_Find_FDE(here, &bases) != nullptr)
    return;
  ownFrameTables = k4_eh_frame_begin;
  __register_frame_info(ownFrameTables, frameObject);
  // The first search sorts the tables, which takes memory: done now, not at the first throw,
  // which may be an allocation failure.
  _Unwind_Find_FDE(here, &bases);
}

void deregisterOwnFrameTables() {
  if (ownFrameTables != nullptr)
    __deregister_frame_info(ownFrameTables);
  ownFrameTables = nullptr;
}
#else
void registerOwnFrameTables(HINSTANCE) {}
void deregisterOwnFrameTables() {}
#endif

// A host that unloads the plug-in without StopPlug leaves the pendant window and its timer: the
// next tick would call into the unmapped module, and a jog would be left running. On the
// window's thread (where hosts unload their plug-ins) the stop is done as StopPlug does it:
// the jog ended and settled, the timer, window, notifications and handles let go. From another
// thread neither host calls nor the window are ours to use: the window is made inert there
// (the system's default procedure, which does nothing with our timer) and closed on its own
// thread.
void stopWhatTheHostLeftRunning() {
  const HWND window = k4::win32::livePendantWindow();
  if (window == nullptr || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    StopPlug();
    return;
  }
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
  PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      registerOwnFrameTables(instance);
      socketsStarted = k4::initSocketLayer();
      if (!socketsStarted) {
        k4::showMessageBox("Sockets Init Failed");
        deregisterOwnFrameTables();
        return FALSE;
      }
      return TRUE;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved non-null) other modules may already be gone and other
      // threads stopped where they stood: nothing is called then, the system reclaims the
      // window, the handles and the socket layer itself.
      if (reserved == nullptr)
        stopWhatTheHostLeftRunning();
      if (socketsStarted && reserved == nullptr)
        k4::shutdownSocketLayer();
      socketsStarted = false;
      deregisterOwnFrameTables();
      return TRUE;
    default:
      return TRUE;
  }
}
