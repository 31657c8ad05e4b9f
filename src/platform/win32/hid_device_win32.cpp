#include "platform/win32/hid_device_win32.h"

// The HID headers need the types of windows.h first.
// clang-format off
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
// This toolchain's hidsdi.h declares C functions without C linkage for C++.
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <cstddef>
#include <cstring>

#include "platform/window.h"

namespace k4::win32 {

namespace {

// The records the system fills carry their own size in their first field; the sizes differ by
// architecture. The interface data record is 28 bytes on 32-bit Windows and 32 on 64-bit; the
// detail record's size field must hold 5 on 32-bit Windows (byte-packed: a DWORD and the first
// path character) and 8 on 64-bit, which is what sizeof gives under each one's packing.
constexpr bool k32Bit = sizeof(void*) == 4;
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (k32Bit ? 28 : 32));
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (k32Bit ? 5 : 8));
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32);
static_assert(DIGCF_PRESENT + DIGCF_DEVICEINTERFACE == 0x12);
static_assert(DBT_DEVTYP_DEVICEINTERFACE == kDeviceTypeInterface);
static_assert(DBT_DEVICEARRIVAL == kDeviceArrival &&
              DBT_DEVICEREMOVECOMPLETE == kDeviceRemoveComplete);

// How long closing waits for a cancelled read to finish before it closes the handle anyway.
constexpr DWORD kCancelWaitMs = 100;

HANDLE toHandle(DeviceHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

DeviceHandle fromHandle(HANDLE handle) {
  // INVALID_HANDLE_VALUE widens to -1, which is kInvalidHandle.
  return handle == nullptr ? kInvalidHandle : reinterpret_cast<DeviceHandle>(handle);
}

DeviceHandle openPath(const std::string& path, DWORD access, DWORD flags) {
  if (path.empty())
    return kInvalidHandle;
  return fromHandle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, flags, nullptr));
}

}  // namespace

HidDevices::HidDevices() {
  HidD_GetHidGuid(&hidClassGuid_);
}

HidDevices::~HidDevices() {
  if (window_ != nullptr)
    unregisterNotifications(*window_);
  endEnumeration();
  if (readEvent_ != nullptr)
    CloseHandle(readEvent_);
}

// ---- Enumeration --------------------------------------------------------------------------------

void HidDevices::beginEnumeration() {
  endEnumeration();
  detailSize_ = 0;
  HidD_GetHidGuid(&hidClassGuid_);
  deviceInfoSet_ =
      SetupDiGetClassDevsA(&hidClassGuid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

bool HidDevices::interfacePath(uint32_t index, std::string& path) {
  if (deviceInfoSet_ == INVALID_HANDLE_VALUE)
    return false;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  if (!SetupDiEnumDeviceInterfaces(deviceInfoSet_, nullptr, &hidClassGuid_, index, &data))
    return false;

  // An interface whose detail cannot be read is listed with an empty path: it cannot be
  // opened, so it does not match, and the enumeration goes on past it.
  path.clear();
  detailSize_ = 0;
  SetupDiGetDeviceInterfaceDetailA(deviceInfoSet_, &data, nullptr, 0, &detailSize_, nullptr);
  if (detailSize_ < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
    return true;
  interfaceDetail_.assign(detailSize_ / sizeof(DWORD) + 1, 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(interfaceDetail_.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (SetupDiGetDeviceInterfaceDetailA(deviceInfoSet_, &data, detail, detailSize_, nullptr,
                                       nullptr)) {
    // The buffer is one DWORD longer than asked for and zeroed, so the path is terminated.
    path = detail->DevicePath;
  }
  interfaceDetail_.clear();
  return true;
}

void HidDevices::endEnumeration() {
  if (deviceInfoSet_ != INVALID_HANDLE_VALUE)
    SetupDiDestroyDeviceInfoList(deviceInfoSet_);
  deviceInfoSet_ = INVALID_HANDLE_VALUE;
  interfaceDetail_.clear();
}

// ---- Handles ------------------------------------------------------------------------------------

// No access rights: the attributes can be read even from devices that others hold exclusively.
DeviceHandle HidDevices::openProbe(const std::string& path) {
  return openPath(path, 0, 0);
}

bool HidDevices::attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) {
  if (probe == kInvalidHandle)
    return false;
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  if (!HidD_GetAttributes(toHandle(probe), &attributes))
    return false;
  vendorId = attributes.VendorID;
  productId = attributes.ProductID;
  return true;
}

DeviceHandle HidDevices::openRead(const std::string& path) {
  if (readEvent_ == nullptr) {
    // Manual reset, initially signalled; made once and kept for every later read handle.
    readEvent_ = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  }
  return openPath(path, GENERIC_READ, FILE_FLAG_OVERLAPPED);
}

DeviceHandle HidDevices::openWrite(const std::string& path) {
  return openPath(path, GENERIC_WRITE, 0);
}

void HidDevices::close(DeviceHandle handle) {
  if (handle == kInvalidHandle)
    return;
  const HANDLE h = toHandle(handle);
  // The outstanding read owns readBuffer_ and readOverlapped_: end it before the handle goes,
  // so that the next read handle starts with both free.
  if (readPending_ && readPendingOn_ == h)
    cancelPendingRead();
  CloseHandle(h);
}

void HidDevices::cancelPendingRead() {
  CancelIo(readPendingOn_);
  if (WaitForSingleObject(readEvent_, kCancelWaitMs) == WAIT_OBJECT_0) {
    DWORD ignored = 0;
    GetOverlappedResult(readPendingOn_, &readOverlapped_, &ignored, FALSE);
  }
  readPending_ = false;
  readPendingOn_ = nullptr;
}

// ---- Reports
// --------------------------------------------------------------------------------------

// One read is issued into readBuffer_. When it does not complete within the wait it stays
// outstanding, and the next call waits for that same read instead of issuing another into a
// buffer the system still owns; a report that lands between two calls is collected at once by
// the next one.
bool HidDevices::readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize],
                            int timeoutMs) {
  if (handle == kInvalidHandle || readEvent_ == nullptr)
    return false;
  const HANDLE h = toHandle(handle);
  if (readPending_ && readPendingOn_ != h)
    cancelPendingRead();  // another handle's read; not seen while one read handle is in use

  if (!readPending_) {
    std::memset(&readOverlapped_, 0, sizeof readOverlapped_);
    readOverlapped_.hEvent = readEvent_;
    DWORD bytesRead = 0;
    if (ReadFile(h, readBuffer_, sizeof readBuffer_, &bytesRead, &readOverlapped_)) {
      if (bytesRead != sizeof readBuffer_)
        return false;
      std::memcpy(report, readBuffer_, sizeof readBuffer_);
      return true;
    }
    if (GetLastError() != ERROR_IO_PENDING)
      return false;
    readPending_ = true;
    readPendingOn_ = h;
  }

  const DWORD wait = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
  if (WaitForSingleObject(readEvent_, wait) != WAIT_OBJECT_0)
    return false;
  DWORD bytesRead = 0;
  const BOOL done = GetOverlappedResult(h, &readOverlapped_, &bytesRead, FALSE);
  if (!done && GetLastError() == ERROR_IO_INCOMPLETE)
    return false;
  readPending_ = false;
  readPendingOn_ = nullptr;
  if (!done || bytesRead != sizeof readBuffer_)
    return false;
  std::memcpy(report, readBuffer_, sizeof readBuffer_);
  return true;
}

WriteResult HidDevices::writeReport(DeviceHandle handle,
                                    const uint8_t (&report)[kOutputReportSize]) {
  if (handle == kInvalidHandle)
    return WriteResult::Failed;
  DWORD written = 0;
  const bool sent = WriteFile(toHandle(handle), report, kOutputReportSize, &written, nullptr) &&
                    written == kOutputReportSize;
  return sent ? WriteResult::Sent : WriteResult::Failed;
}

// ---- Notifications ----------------------------------------------------------------------------

bool HidDevices::registerNotifications(NativeWindow& window) {
  if (window_ == &window)
    return true;
  if (window_ != nullptr)
    unregisterNotifications(*window_);
  const HWND hwnd = static_cast<HWND>(window.nativeHandle());
  if (hwnd == nullptr)
    return false;
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid = hidClassGuid_;
  notification_ = RegisterDeviceNotificationA(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (notification_ == nullptr)
    return false;
  window_ = &window;
  return true;
}

void HidDevices::unregisterNotifications(NativeWindow& window) {
  if (window_ != &window)
    return;
  if (notification_ != nullptr)
    UnregisterDeviceNotification(notification_);
  notification_ = nullptr;
  window_ = nullptr;
}

}  // namespace k4::win32
