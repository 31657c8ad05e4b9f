// The module's entry point. It runs the run-time's own entry (static constructors, DllMain,
// static destructors) and, once the run-time has finished with a dynamic unload, gives back
// what the statically linked run-time never gives back itself: the emergency exception buffer
// of the C++ library and the semaphores behind its mutexes (the buffer's, the unwinder's
// table list's). Without this a host that reloads the plug-in loses about 20 KB and two
// handles per round.
#include <windows.h>

#include "platform/win32/dll/import_redirect.h"

namespace {

using k4::win32::redirectImport;

using CreateSemaphoreWFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
using CreateSemaphoreAFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCSTR);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);

// The run-time asks for its semaphores under either name, depending on how it was built.
CreateSemaphoreWFn systemCreateSemaphoreW = nullptr;
CreateSemaphoreAFn systemCreateSemaphoreA = nullptr;
CloseHandleFn systemCloseHandle = nullptr;

// The semaphores made through this module's imports and not closed since: only the run-time
// makes any. A handful; the room is generous, and one beyond it is simply not given back.
HANDLE semaphores[16];
int semaphoreCount = 0;

void note(HANDLE semaphore) {
  if (semaphore != nullptr &&
      semaphoreCount < static_cast<int>(sizeof semaphores / sizeof semaphores[0])) {
    semaphores[semaphoreCount++] = semaphore;
  }
}

HANDLE WINAPI notedCreateSemaphoreW(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum,
                                    LPCWSTR name) {
  const HANDLE semaphore = systemCreateSemaphoreW(security, initial, maximum, name);
  note(semaphore);
  return semaphore;
}

HANDLE WINAPI notedCreateSemaphoreA(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum,
                                    LPCSTR name) {
  const HANDLE semaphore = systemCreateSemaphoreA(security, initial, maximum, name);
  note(semaphore);
  return semaphore;
}

// A handle the module closes itself is no longer its to give back: closing it again at unload
// could close whatever the host has opened under the same value since.
BOOL WINAPI notedCloseHandle(HANDLE handle) {
  for (int i = 0; i < semaphoreCount; ++i) {
    if (semaphores[i] == handle) {
      semaphores[i] = semaphores[--semaphoreCount];
      break;
    }
  }
  return systemCloseHandle(handle);
}

// Before the run-time starts: its semaphores are noted from the first one on. The closes are
// watched first, so that no semaphore is noted that could be closed unseen.
void noteRunTimeSemaphores(HMODULE module) {
  systemCloseHandle = reinterpret_cast<CloseHandleFn>(
      redirectImport(module, "CloseHandle", reinterpret_cast<void*>(&notedCloseHandle)));
  if (systemCloseHandle == nullptr)
    return;
  systemCreateSemaphoreW = reinterpret_cast<CreateSemaphoreWFn>(
      redirectImport(module, "CreateSemaphoreW", reinterpret_cast<void*>(&notedCreateSemaphoreW)));
  systemCreateSemaphoreA = reinterpret_cast<CreateSemaphoreAFn>(
      redirectImport(module, "CreateSemaphoreA", reinterpret_cast<void*>(&notedCreateSemaphoreA)));
}

void releaseRunTimeSemaphores() {
  while (semaphoreCount > 0)
    systemCloseHandle(semaphores[--semaphoreCount]);
}

}  // namespace

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

namespace __gnu_cxx {
// The C++ library's own release of its emergency exception buffer.
void __freeres();
}  // namespace __gnu_cxx

extern "C" BOOL WINAPI k4ModuleEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH)
    noteRunTimeSemaphores(static_cast<HMODULE>(module));
  const BOOL result = DllMainCRTStartup(module, reason, reserved);
  // Only at a dynamic unload (reserved null): at process exit the system reclaims everything,
  // and other threads may still be inside the run-time. By now the static destructors have
  // run, and nothing of this module throws or takes a lock again.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    __gnu_cxx::__freeres();
    if (systemCloseHandle != nullptr)
      releaseRunTimeSemaphores();
  }
  return result;
}
