// COM self-registration of the module: its type library, embedded as resource TYPELIB 1. The
// module serves no COM classes, so the class step always succeeds and no class object exists.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "host/plugin_state.h"
#include "platform/win32/module_handle.h"

namespace {

// {0C9FB259-B864-40A5-B59F-65E11E209FC4}, version 1.0.
constexpr GUID kTypeLibraryId = {
    0x0C9FB259, 0xB864, 0x40A5, {0xB5, 0x9F, 0x65, 0xE1, 0x1E, 0x20, 0x9F, 0xC4}};
constexpr WORD kTypeLibraryMajor = 1;
constexpr WORD kTypeLibraryMinor = 0;

std::wstring moduleFileNameWide() {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 6; ++attempt) {
    const DWORD length =
        GetModuleFileNameW(k4::win32::thisModule(), path.data(), static_cast<DWORD>(path.size()));
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

// Loads the module's own type library without registering it.
ITypeLib* loadOwnTypeLibrary(const std::wstring& path) {
  ITypeLib* library = nullptr;
  if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library)))
    return nullptr;
  return library;
}

bool registerTypeLibrary() {
  const std::wstring path = moduleFileNameWide();
  ITypeLib* library = loadOwnTypeLibrary(path);
  if (library == nullptr)
    return false;
  std::wstring pathCopy = path;  // RegisterTypeLib takes a non-const string
  const HRESULT result = RegisterTypeLib(library, pathCopy.data(), nullptr);
  library->Release();
  return SUCCEEDED(result);
}

bool unregisterTypeLibrary() {
  ITypeLib* library = loadOwnTypeLibrary(moduleFileNameWide());
  if (library == nullptr)
    return false;
  TLIBATTR* attributes = nullptr;
  if (FAILED(library->GetLibAttr(&attributes))) {
    library->Release();
    return false;
  }
  const LCID locale = attributes->lcid;
  const SYSKIND kind = attributes->syskind;
  library->ReleaseTLibAttr(attributes);
  library->Release();

  // Nothing registered is nothing to undo: unregistering twice succeeds.
  BSTR registeredPath = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(kTypeLibraryId, kTypeLibraryMajor, kTypeLibraryMinor, locale,
                                   &registeredPath))) {
    return true;
  }
  SysFreeString(registeredPath);
  return SUCCEEDED(
      UnRegisterTypeLib(kTypeLibraryId, kTypeLibraryMajor, kTypeLibraryMinor, locale, kind));
}

// The module has no COM classes of its own.
bool registerClasses() {
  return true;
}
bool unregisterClasses() {
  return true;
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    if (!registerTypeLibrary())
      return SELFREG_E_TYPELIB;
    if (!registerClasses())
      return SELFREG_E_CLASS;
    return S_OK;
  } catch (...) {
    return SELFREG_E_TYPELIB;
  }
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    if (!unregisterTypeLibrary())
      return SELFREG_E_TYPELIB;
    if (!unregisterClasses())
      return SELFREG_E_CLASS;
    return S_OK;
  } catch (...) {
    return SELFREG_E_TYPELIB;
  }
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID /*classId*/, REFIID /*interfaceId*/,
                                         LPVOID* object) {
  if (object != nullptr)
    *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

// COM never handed out an object, but the host's pendant work runs from this module: keep it
// loaded while the pendant window exists.
HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return k4::pendantWindow != nullptr ? S_FALSE : S_OK;
}

}  // extern "C"
