// Module services on Windows: the module's own file name, Windows Sockets, a message box.
// The socket header must come before the window header, which would pull in the old one.
#include <winsock2.h>

#include <windows.h>

#include "platform/module.h"
#include "platform/win32/module_handle.h"

namespace k4 {

namespace win32 {

HMODULE thisModule() {
  HMODULE module = nullptr;
  // The address of this function lies inside the module that holds it, whatever process or
  // directory it was loaded from.
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&thisModule), &module))
    return nullptr;
  return module;
}

}  // namespace win32

std::string moduleFileName() {
  const HMODULE module = win32::thisModule();
  if (module == nullptr)
    return {};
  // Long installation paths do not fit MAX_PATH; grow until the name is not cut.
  std::string path(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 6; ++attempt) {
    const DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
  return {};
}

bool initSocketLayer() {
  WSADATA data{};
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void shutdownSocketLayer() {
  WSACleanup();
}

void showMessageBox(const char* text) {
  MessageBoxA(nullptr, text != nullptr ? text : "", nullptr, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace k4
