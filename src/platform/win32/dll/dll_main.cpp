// Load and unload of the plug-in module. The host loads it with LoadLibrary; without sockets the
// plug-in refuses to load, and says so, rather than failing later in the host's process.
#include <windows.h>

#include <cstring>

#include "platform/module.h"

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
}
#endif

namespace {

bool socketsStarted = false;

#if defined(K4_OWN_FRAME_TABLES)
const void* ownFrameTables = nullptr;
// The unwinder's bookkeeping for one registered table (its `struct object`, six pointers and
// a word in this version of the run-time): room to spare.
alignas(16) unsigned char frameObject[64];

// The start of this module's .eh_frame section, from its own section headers.
const void* frameTablesOf(HINSTANCE instance) {
  const auto* base = reinterpret_cast<const unsigned char*>(instance);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto* section = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
      reinterpret_cast<const unsigned char*>(&nt->OptionalHeader) +
      nt->FileHeader.SizeOfOptionalHeader);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::memcmp(section->Name, ".eh_frame", 8) == 0)
      return base + section->VirtualAddress;
  }
  return nullptr;
}

void registerOwnFrameTables(HINSTANCE instance) {
  dwarf_eh_bases bases{};
  void* here = reinterpret_cast<void*>(&registerOwnFrameTables);
  if (_Unwind_Find_FDE(here, &bases) != nullptr)
    return;  // the usual case: the start-up code registered them with us
  ownFrameTables = frameTablesOf(instance);
  if (ownFrameTables != nullptr)
    __register_frame_info(ownFrameTables, frameObject);
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
      // At process exit (reserved non-null) other modules may already be gone; the system
      // reclaims the socket layer itself then.
      if (socketsStarted && reserved == nullptr)
        k4::shutdownSocketLayer();
      socketsStarted = false;
      deregisterOwnFrameTables();
      return TRUE;
    default:
      return TRUE;
  }
}
