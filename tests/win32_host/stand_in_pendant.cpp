#include "stand_in_pendant.h"

#include <dbt.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/dll/import_redirect.h"

namespace k4::test {

namespace {

StandInPendant* current = nullptr;

// The system's own functions, for everything that is not the stand-in's.
template <typename Fn>
Fn systemFunction(const char* dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(dll), name)));
}

using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumInterfacesFn = BOOL(WINAPI*)(HDEVINFO, SP_DEVINFO_DATA*, const GUID*, DWORD,
                                       SP_DEVICE_INTERFACE_DATA*);
using InterfaceDetailFn = BOOL(WINAPI*)(HDEVINFO, SP_DEVICE_INTERFACE_DATA*,
                                        SP_DEVICE_INTERFACE_DETAIL_DATA_A*, DWORD, DWORD*,
                                        SP_DEVINFO_DATA*);
using DestroyListFn = BOOL(WINAPI*)(HDEVINFO);
using AttributesFn = BOOLEAN(WINAPI*)(HANDLE, HIDD_ATTRIBUTES*);
using CreateFileFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD,
                                     HANDLE);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);

// The stand-in's device information set: any value that is not INVALID_HANDLE_VALUE.
const HDEVINFO kStandInSet = reinterpret_cast<HDEVINFO>(static_cast<INT_PTR>(0x4B340000));

HDEVINFO WINAPI standInGetClassDevs(const GUID* guid, PCSTR enumerator, HWND parent, DWORD flags) {
  if (current != nullptr)
    return current->getClassDevs();
  static const auto real = systemFunction<GetClassDevsFn>("setupapi.dll", "SetupDiGetClassDevsA");
  return real(guid, enumerator, parent, flags);
}

BOOL WINAPI standInEnumInterfaces(HDEVINFO set, SP_DEVINFO_DATA* info, const GUID* guid,
                                  DWORD index, SP_DEVICE_INTERFACE_DATA* data) {
  if (set == kStandInSet)
    return current != nullptr && current->enumInterfaces(index, data);
  static const auto real =
      systemFunction<EnumInterfacesFn>("setupapi.dll", "SetupDiEnumDeviceInterfaces");
  return real(set, info, guid, index, data);
}

BOOL WINAPI standInInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                   SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size,
                                   DWORD* required, SP_DEVINFO_DATA* info) {
  if (set == kStandInSet)
    return current != nullptr && current->interfaceDetail(data, detail, size, required);
  static const auto real =
      systemFunction<InterfaceDetailFn>("setupapi.dll", "SetupDiGetDeviceInterfaceDetailA");
  return real(set, data, detail, size, required, info);
}

BOOL WINAPI standInDestroyList(HDEVINFO set) {
  if (set == kStandInSet)
    return current != nullptr && current->destroyList();
  static const auto real =
      systemFunction<DestroyListFn>("setupapi.dll", "SetupDiDestroyDeviceInfoList");
  return real(set);
}

BOOLEAN WINAPI standInAttributes(HANDLE handle, HIDD_ATTRIBUTES* attributes) {
  if (current != nullptr)
    return current->attributes(handle, attributes);
  static const auto real = systemFunction<AttributesFn>("hid.dll", "HidD_GetAttributes");
  return real(handle, attributes);
}

CreateFileFn realCreateFile() {
  static const auto real = systemFunction<CreateFileFn>("kernel32.dll", "CreateFileA");
  return real;
}

// What the plug-in's CloseHandle import pointed at before the stand-in: the module may watch
// its own handles through it, so the stand-in passes every close on there.
void* moduleCloseHandle = nullptr;

CloseHandleFn realCloseHandle() {
  if (moduleCloseHandle != nullptr)
    return reinterpret_cast<CloseHandleFn>(moduleCloseHandle);
  static const auto real = systemFunction<CloseHandleFn>("kernel32.dll", "CloseHandle");
  return real;
}

HANDLE WINAPI standInCreateFile(LPCSTR path, DWORD access, DWORD share,
                                SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                                HANDLE templateFile) {
  if (current != nullptr)
    return current->createFile(path, access, share, security, disposition, flags, templateFile);
  return realCreateFile()(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI standInCloseHandle(HANDLE handle) {
  if (current != nullptr)
    return current->closeHandle(handle);
  return realCloseHandle()(handle);
}

using RegisterNotificationFn = HDEVNOTIFY(WINAPI*)(HANDLE, LPVOID, DWORD);
using UnregisterNotificationFn = BOOL(WINAPI*)(HDEVNOTIFY);

// Passed on to the system, counted while a stand-in is there: only the system delivers
// notifications to a window that registered for them.
HDEVNOTIFY WINAPI standInRegisterNotification(HANDLE recipient, LPVOID filter, DWORD flags) {
  static const auto real =
      systemFunction<RegisterNotificationFn>("user32.dll", "RegisterDeviceNotificationA");
  const HDEVNOTIFY registration = real(recipient, filter, flags);
  if (current != nullptr)
    current->noteRegistration(registration != nullptr, filter);
  return registration;
}

BOOL WINAPI standInUnregisterNotification(HDEVNOTIFY registration) {
  static const auto real =
      systemFunction<UnregisterNotificationFn>("user32.dll", "UnregisterDeviceNotification");
  if (current != nullptr)
    current->noteRegistration(false, nullptr);
  return real(registration);
}

struct Redirection {
  const char* name;
  void* standIn;
};

const Redirection kRedirections[] = {
    {"SetupDiGetClassDevsA", reinterpret_cast<void*>(&standInGetClassDevs)},
    {"SetupDiEnumDeviceInterfaces", reinterpret_cast<void*>(&standInEnumInterfaces)},
    {"SetupDiGetDeviceInterfaceDetailA", reinterpret_cast<void*>(&standInInterfaceDetail)},
    {"SetupDiDestroyDeviceInfoList", reinterpret_cast<void*>(&standInDestroyList)},
    {"HidD_GetAttributes", reinterpret_cast<void*>(&standInAttributes)},
    {"CreateFileA", reinterpret_cast<void*>(&standInCreateFile)},
    {"CloseHandle", reinterpret_cast<void*>(&standInCloseHandle)},
    {"RegisterDeviceNotificationA", reinterpret_cast<void*>(&standInRegisterNotification)},
    {"UnregisterDeviceNotification", reinterpret_cast<void*>(&standInUnregisterNotification)},
};

// Points every import of `module` named in kRedirections at its stand-in.
void redirectImports(HMODULE module) {
  for (const Redirection& redirection : kRedirections) {
    void* const previous = win32::redirectImport(module, redirection.name, redirection.standIn);
    if (previous != nullptr && std::strcmp(redirection.name, "CloseHandle") == 0)
      moduleCloseHandle = previous;
  }
}

}  // namespace

StandInPendant::StandInPendant(HMODULE plugIn, std::string path)
    : path_(std::move(path)),
      pipeBase_("\\\\.\\pipe\\k4-stand-in-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount())),
      wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  InitializeCriticalSection(&mutex_);
  current = this;
  if (plugIn != nullptr)
    redirectImports(plugIn);
  outputThread_ = CreateThread(nullptr, 0, &StandInPendant::outputThread, this, 0, nullptr);
}

StandInPendant::~StandInPendant() {
  InterlockedExchange(&stopping_, 1);
  SetEvent(wake_);
  WaitForSingleObject(outputThread_, INFINITE);
  CloseHandle(outputThread_);
  if (current == this)
    current = nullptr;
  // The plug-in's ends are its own to close; a plug-in that is still loaded and still holds
  // one meets a broken pipe.
  for (const Opened& opened : opened_) {
    if (opened.server != nullptr)
      CloseHandle(opened.server);
  }
  CloseHandle(wake_);
  DeleteCriticalSection(&mutex_);
}

std::string StandInPendant::defaultPath() {
  return "\\\\?\\hid#vid_04d8&pid_fce5#7&2b1c3a4&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

void StandInPendant::setForeignInterfaces(std::vector<StandInInterface> interfaces,
                                          std::size_t pendantPosition) {
  foreign_ = std::move(interfaces);
  pendantPosition_ = pendantPosition;
}

std::vector<StandInInterface> StandInPendant::listed() const {
  std::vector<StandInInterface> interfaces = foreign_;
  if (pluggedIn_ != 0) {
    const std::size_t at = std::min(pendantPosition_, interfaces.size());
    interfaces.insert(interfaces.begin() + static_cast<std::ptrdiff_t>(at),
                      StandInInterface{path_, kVendorId, kProductId});
  }
  return interfaces;
}

HDEVINFO StandInPendant::getClassDevs() {
  ++enumerations_;
  enumerated_ = listed();
  return kStandInSet;
}

BOOL StandInPendant::enumInterfaces(DWORD index, SP_DEVICE_INTERFACE_DATA* data) {
  if (index >= enumerated_.size() || data == nullptr || data->cbSize != sizeof *data) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->Flags = SPINT_ACTIVE;
  data->Reserved = index;
  return TRUE;
}

BOOL StandInPendant::interfaceDetail(const SP_DEVICE_INTERFACE_DATA* data,
                                     SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size,
                                     DWORD* required) {
  if (data == nullptr || data->Reserved >= enumerated_.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string& path = enumerated_[data->Reserved].path;
  const DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (required != nullptr)
    *required = needed;
  if (detail == nullptr || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof *detail) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}

BOOL StandInPendant::destroyList() {
  return TRUE;
}

BOOLEAN StandInPendant::attributes(HANDLE handle, HIDD_ATTRIBUTES* attributes) {
  Lock lock(mutex_);
  for (const Opened& opened : opened_) {
    if (opened.client == handle && attributes != nullptr &&
        attributes->Size == sizeof *attributes) {
      attributes->VendorID = opened.vendorId;
      attributes->ProductID = opened.productId;
      attributes->VersionNumber = 0x0100;
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

HANDLE StandInPendant::createFile(const char* path, DWORD access, DWORD share,
                                  SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
  // A device path of no present interface (an unplugged pendant's among them) opens nothing.
  const std::vector<StandInInterface> present = listed();
  const auto listedHere = std::find_if(present.begin(), present.end(), [&](const auto& entry) {
    return path != nullptr && _stricmp(entry.path.c_str(), path) == 0;
  });
  if (listedHere == present.end()) {
    if (path != nullptr && _strnicmp(path, "\\\\?\\hid#", 8) == 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    return realCreateFile()(path, access, share, security, disposition, flags, templateFile);
  }
  const auto listed = listedHere;
  const bool isPendant = _stricmp(path, path_.c_str()) == 0;
  if (isPendant && access != 0)
    deviceOpens_.push_back(path_);
  Opened opened{nullptr, nullptr, false, listed->vendorId, listed->productId};
  if (access == 0 || !isPendant) {
    // A probe, or another device's interface: a real handle with nothing behind it.
    opened.client = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  } else {
    opened.output = (access & GENERIC_WRITE) != 0;
    if (opened.output) {
      ++writeOpens_;
      if ((flags & FILE_FLAG_OVERLAPPED) != 0)
        ++writeOpensOverlapped_;
    }
    const std::string name = pipeBase_ + "-" + std::to_string(++pipeSerial_);
    // Output: no buffer, so the plug-in's write completes only when the pendant takes it.
    // Input: room for many reports, so the test's writes never wait.
    opened.server = CreateNamedPipeA(
        name.c_str(),
        (opened.output ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, opened.output ? 0 : 4096,
        opened.output ? 0 : 4096, 0, nullptr);
    if (opened.server == INVALID_HANDLE_VALUE)
      return INVALID_HANDLE_VALUE;
    opened.client =
        realCreateFile()(name.c_str(), access, share, security, OPEN_EXISTING, flags, nullptr);
    if (opened.client == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      CloseHandle(opened.server);
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  {
    Lock lock(mutex_);
    opened_.push_back(opened);
  }
  SetEvent(wake_);
  return opened.client;
}

BOOL StandInPendant::closeHandle(HANDLE handle) {
  {
    Lock lock(mutex_);
    for (Opened& opened : opened_) {
      if (opened.client == handle)
        opened.client = nullptr;
    }
  }
  SetEvent(wake_);
  return realCloseHandle()(handle);
}

int StandInPendant::openDeviceHandles() const {
  Lock lock(mutex_);
  return static_cast<int>(std::count_if(opened_.begin(), opened_.end(),
                                        [](const Opened& o) { return o.client != nullptr; }));
}

void StandInPendant::sendReport(const std::array<uint8_t, 8>& report) {
  std::vector<HANDLE> inputs;
  {
    Lock lock(mutex_);
    for (const Opened& opened : opened_) {
      if (opened.client != nullptr && opened.server != nullptr && !opened.output)
        inputs.push_back(opened.server);
    }
  }
  for (HANDLE server : inputs) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    if (!WriteFile(server, report.data(), static_cast<DWORD>(report.size()), &written,
                   &overlapped) &&
        GetLastError() == ERROR_IO_PENDING &&
        WaitForSingleObject(overlapped.hEvent, 1000) != WAIT_OBJECT_0) {
      CancelIo(server);
      WaitForSingleObject(overlapped.hEvent, 1000);
    }
    CloseHandle(overlapped.hEvent);
  }
}

void StandInPendant::refuseOutputFor(DWORD milliseconds) {
  InterlockedExchange(&refuseStart_, static_cast<LONG>(GetTickCount()));
  InterlockedExchange(&refuseMs_, static_cast<LONG>(milliseconds));
  InterlockedExchange(&refusing_, 1);
  SetEvent(wake_);
}

std::vector<OutputReport> StandInPendant::takeOutput() {
  Lock lock(mutex_);
  return std::exchange(output_, {});
}

// A registration that failed counts nothing; a withdrawal (no filter) one less.
void StandInPendant::noteRegistration(bool registered, const void* filter) {
  if (filter == nullptr) {
    if (notificationRegistrations_ > 0)
      --notificationRegistrations_;
    return;
  }
  if (!registered)
    return;
  // Counted only when it asks for the HID class's interfaces.
  const auto* asked = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
  GUID hidClass{};
  static const auto hidGuid = systemFunction<void(WINAPI*)(GUID*)>("hid.dll", "HidD_GetHidGuid");
  hidGuid(&hidClass);
  if (asked->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
      IsEqualGUID(asked->dbcc_classguid, hidClass)) {
    ++notificationRegistrations_;
  }
}

void StandInPendant::plugInAt(const std::string& path) {
  path_ = path;
  InterlockedExchange(&pluggedIn_, 1);
}

int StandInPendant::deviceOpens(const std::string& path) const {
  return static_cast<int>(std::count(deviceOpens_.begin(), deviceOpens_.end(), path));
}

void StandInPendant::unplug() {
  InterlockedExchange(&pluggedIn_, 0);
  Lock lock(mutex_);
  for (const Opened& opened : opened_) {
    if (opened.server != nullptr)
      DisconnectNamedPipe(opened.server);
  }
}

// The pendant's side of the output pipe: takes every report the plug-in writes on its newest
// output handle, unless refusing.
DWORD WINAPI StandInPendant::outputThread(void* self) {
  static_cast<StandInPendant*>(self)->drainOutput();
  return 0;
}

void StandInPendant::drainOutput() {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uint8_t buffer[64];
  std::vector<uint8_t> pending;
  while (!stopping_) {
    HANDLE server = nullptr;
    {
      Lock lock(mutex_);
      for (const Opened& opened : opened_) {
        if (opened.output && opened.client != nullptr && opened.server != nullptr)
          server = opened.server;
      }
    }
    if (refusing_ != 0 &&
        GetTickCount() - static_cast<DWORD>(refuseStart_) >= static_cast<DWORD>(refuseMs_)) {
      InterlockedExchange(&refusing_, 0);
    }
    if (server == nullptr || refusing_ != 0 || pluggedIn_ == 0) {
      WaitForSingleObject(wake_, 20);
      continue;
    }
    ResetEvent(overlapped.hEvent);
    DWORD got = 0;
    bool done = ReadFile(server, buffer, sizeof buffer, &got, &overlapped) != FALSE;
    if (!done && GetLastError() == ERROR_IO_PENDING) {
      const HANDLE waits[] = {overlapped.hEvent, wake_};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
        CancelIo(server);  // refusing now, stopping, or a newer handle: look again
      done = GetOverlappedResult(server, &overlapped, &got, TRUE) != FALSE;
    }
    if (!done) {
      WaitForSingleObject(wake_, 20);
      continue;
    }
    Lock lock(mutex_);
    pending.insert(pending.end(), buffer, buffer + got);
    while (pending.size() >= 5) {
      OutputReport report;
      std::copy_n(pending.begin(), 5, report.begin());
      output_.push_back(report);
      pending.erase(pending.begin(), pending.begin() + 5);
    }
  }
  CloseHandle(overlapped.hEvent);
}

}  // namespace k4::test
