// The in-process pendant. Handles are plain numbers in a table; a removed device's handles stay
// in the table, marked dead, until the plug-in closes them, so leaks and double closes show.
#include "virtual_pendant.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace k4 {

namespace {

// Interface paths compare without regard to letter case, as the system's own do.
bool samePath(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

VirtualPendant& self(void* context) {
  return *static_cast<VirtualPendant*>(context);
}

}  // namespace

k4_device_table VirtualPendant::makeTable(VirtualPendant* pendant) {
  k4_device_table table{};
  table.version = K4_HOST_VIEW_VERSION;
  table.size = sizeof table;
  table.context = pendant;
  table.begin_enumeration = [](void* context) { self(context).beginEnumeration(); };
  table.interface_path = [](void* context, uint32_t index, char* buffer, size_t capacity) {
    return self(context).interfacePath(index, buffer, capacity);
  };
  table.end_enumeration = [](void* context) { self(context).endEnumeration(); };
  table.open_probe = [](void* context, const char* path) { return self(context).openProbe(path); };
  table.attributes = [](void* context, k4_handle probe, uint16_t* vendorId, uint16_t* productId) {
    return self(context).attributes(probe, *vendorId, *productId) ? 1 : 0;
  };
  table.open_read = [](void* context, const char* path) { return self(context).openRead(path); };
  table.open_write = [](void* context, const char* path) { return self(context).openWrite(path); };
  table.close = [](void* context, k4_handle handle) { self(context).close(handle); };
  table.read_report = [](void* context, k4_handle handle, uint8_t* report, int timeoutMs) {
    return self(context).readReport(handle, report, timeoutMs) ? 1 : 0;
  };
  table.write_report = [](void* context, k4_handle handle, const uint8_t* report) {
    return self(context).writeReport(handle, report);
  };
  table.register_notifications = [](void* context, k4_device_sink deliver, void* sink) {
    return self(context).registerNotifications(deliver, sink) ? 1 : 0;
  };
  table.unregister_notifications = [](void* context, void* sink) {
    self(context).unregisterNotifications(sink);
  };
  return table;
}

VirtualPendant::VirtualPendant() : table_(makeTable(this)) {}

// ---- Set-up and control -------------------------------------------------------------------------

void VirtualPendant::setPresent(bool present) {
  present_ = present;
}

bool VirtualPendant::present() const {
  return present_;
}

void VirtualPendant::addOtherDevice(const std::string& path, uint16_t vendorId,
                                    uint16_t productId) {
  devices_.push_back(Device{path, vendorId, productId, false});
}

void VirtualPendant::addTrailingDevice(const std::string& path, uint16_t vendorId,
                                       uint16_t productId) {
  devices_.push_back(Device{path, vendorId, productId, true});
}

void VirtualPendant::queueReport(const InputReport& report) {
  queued_.push_back(report);
}

void VirtualPendant::queueLateReport(const InputReport& report) {
  late_.push_back(report);
}

void VirtualPendant::unplug() {
  unplug(pendantPath_);
}

void VirtualPendant::unplug(const std::string& notifiedName) {
  present_ = false;
  for (auto& [id, handle] : handles_) {
    if (handle.device == kPendantDevice)
      handle.dead = true;
  }
  notify(K4_DEVICE_REMOVE_COMPLETE, notifiedName);
}

void VirtualPendant::plug() {
  present_ = true;
  notify(K4_DEVICE_ARRIVAL, pendantPath_);
}

void VirtualPendant::plugElsewhere() {
  pendantPath_ = samePath(pendantPath_, kPendantPath) ? kPendantElsewherePath : kPendantPath;
  plug();
}

const std::string& VirtualPendant::pendantPath() const {
  return pendantPath_;
}

void VirtualPendant::arriveSecondPendant() {
  addTrailingDevice(kSecondPendantPath, K4_PENDANT_VENDOR_ID, K4_PENDANT_PRODUCT_ID);
  notify(K4_DEVICE_ARRIVAL, kSecondPendantPath);
}

void VirtualPendant::arriveOther() {
  notify(K4_DEVICE_ARRIVAL, kOtherArrivalPath);
}

void VirtualPendant::removeOther(const std::string& path) {
  for (std::size_t index = 0; index < devices_.size(); ++index) {
    if (!samePath(devices_[index].path, path))
      continue;
    for (auto& [id, handle] : handles_) {
      if (handle.device == static_cast<int>(index))
        handle.dead = true;
    }
  }
  notify(K4_DEVICE_REMOVE_COMPLETE, path);
}

void VirtualPendant::setWritesFail(bool fail) {
  writesFail_ = fail;
}

void VirtualPendant::setStalled(bool stalled) {
  stalled_ = stalled;
  if (!stalled_ && pendingOn_ != K4_INVALID_HANDLE) {
    written_.push_back(pendingReport_);
    pendingOn_ = K4_INVALID_HANDLE;
  }
}

void VirtualPendant::setShortReads(bool shortReads) {
  shortReads_ = shortReads;
}

void VirtualPendant::notify(uint32_t eventType, const std::string& name) {
  if (deliver_ != nullptr)
    deliver_(sink_, eventType, K4_DEVICE_TYPE_INTERFACE, name.c_str());
}

// ---- Observation --------------------------------------------------------------------------------

const std::vector<VirtualPendant::OutputReport>& VirtualPendant::writtenReports() const {
  return written_;
}

void VirtualPendant::clearWrittenReports() {
  written_.clear();
}

bool VirtualPendant::writePending() const {
  return pendingOn_ != K4_INVALID_HANDLE;
}

int VirtualPendant::cancelledWriteCount() const {
  return cancelledWrites_;
}

bool VirtualPendant::notificationsRegistered() const {
  return deliver_ != nullptr;
}

int VirtualPendant::openHandleCount() const {
  return static_cast<int>(handles_.size());
}

const std::vector<k4_handle>& VirtualPendant::closedHandles() const {
  return closed_;
}

int VirtualPendant::badCloseCount() const {
  return badCloses_;
}

int VirtualPendant::readCount() const {
  return reads_;
}

int VirtualPendant::lastReadTimeoutMs() const {
  return lastTimeoutMs_;
}

int VirtualPendant::probesOpened() const {
  return probes_;
}

std::size_t VirtualPendant::queuedReportCount() const {
  return queued_.size() + late_.size();
}

// ---- The device table's operations
// -------------------------------------------------------------------------

void VirtualPendant::beginEnumeration() {
  enumeration_.clear();
  for (const Device& device : devices_) {
    if (!device.afterPendant)
      enumeration_.push_back(device.path);
  }
  if (present_)
    enumeration_.push_back(pendantPath_);
  for (const Device& device : devices_) {
    if (device.afterPendant)
      enumeration_.push_back(device.path);
  }
}

int VirtualPendant::interfacePath(uint32_t index, char* buffer, std::size_t capacity) const {
  if (index >= enumeration_.size())
    return -1;
  const std::string& path = enumeration_[index];
  if (capacity > 0)
    std::snprintf(buffer, capacity, "%s", path.c_str());
  return static_cast<int>(path.size());
}

void VirtualPendant::endEnumeration() {
  enumeration_.clear();
}

k4_handle VirtualPendant::open(const std::string& path, Access access) {
  int device = kPendantDevice;
  if (samePath(path, pendantPath_)) {
    if (!present_)
      return K4_INVALID_HANDLE;
  } else {
    auto found = std::find_if(devices_.begin(), devices_.end(),
                              [&](const Device& other) { return samePath(other.path, path); });
    if (found == devices_.end())
      return K4_INVALID_HANDLE;
    device = static_cast<int>(found - devices_.begin());
  }
  const k4_handle id = nextHandle_++;
  handles_[id] = Handle{device, access, false};
  return id;
}

k4_handle VirtualPendant::openProbe(const char* path) {
  const k4_handle handle = open(path, Access::kProbe);
  if (handle != K4_INVALID_HANDLE)
    ++probes_;
  return handle;
}

bool VirtualPendant::attributes(k4_handle probe, uint16_t& vendorId, uint16_t& productId) const {
  auto found = handles_.find(probe);
  if (found == handles_.end() || found->second.dead)
    return false;
  if (found->second.device == kPendantDevice) {
    vendorId = K4_PENDANT_VENDOR_ID;
    productId = K4_PENDANT_PRODUCT_ID;
  } else {
    const Device& device = devices_[static_cast<std::size_t>(found->second.device)];
    vendorId = device.vendorId;
    productId = device.productId;
  }
  return true;
}

k4_handle VirtualPendant::openRead(const char* path) {
  return open(path, Access::kRead);
}

k4_handle VirtualPendant::openWrite(const char* path) {
  return open(path, Access::kWrite);
}

void VirtualPendant::close(k4_handle handle) {
  if (handle == pendingOn_) {
    pendingOn_ = K4_INVALID_HANDLE;
    ++cancelledWrites_;
  }
  if (handles_.erase(handle) == 0) {
    ++badCloses_;
    return;
  }
  closed_.push_back(handle);
}

bool VirtualPendant::readReport(k4_handle handle, uint8_t* report, int timeoutMs) {
  ++reads_;
  lastTimeoutMs_ = timeoutMs;
  auto found = handles_.find(handle);
  if (found == handles_.end() || found->second.dead || found->second.device != kPendantDevice ||
      found->second.access != Access::kRead) {
    return false;
  }
  if (queued_.empty()) {
    // Nothing there within the wait; a late report lands just afterwards.
    if (!late_.empty()) {
      queued_.push_back(late_.front());
      late_.pop_front();
    }
    return false;
  }
  const InputReport next = queued_.front();
  queued_.pop_front();
  if (shortReads_)
    return false;
  std::memcpy(report, next.data(), next.size());
  return true;
}

int VirtualPendant::writeReport(k4_handle handle, const uint8_t* report) {
  auto found = handles_.find(handle);
  if (found == handles_.end() || found->second.dead || found->second.device != kPendantDevice ||
      found->second.access != Access::kWrite || writesFail_) {
    return K4_WRITE_FAILED;
  }
  OutputReport written;
  std::memcpy(written.data(), report, written.size());
  if (pendingOn_ == handle) {
    if (++pendingWrites_ < kStalledWritesBeforeFailure)
      return K4_WRITE_BUSY;
    pendingOn_ = K4_INVALID_HANDLE;
    ++cancelledWrites_;
    return K4_WRITE_FAILED;
  }
  if (stalled_) {
    pendingOn_ = handle;
    pendingReport_ = written;
    pendingWrites_ = 0;
    return K4_WRITE_SENT;
  }
  written_.push_back(written);
  return K4_WRITE_SENT;
}

bool VirtualPendant::registerNotifications(k4_device_sink deliver, void* sink) {
  if (deliver == nullptr)
    return false;
  deliver_ = deliver;
  sink_ = sink;
  return true;
}

void VirtualPendant::unregisterNotifications(void* sink) {
  if (sink_ != sink)
    return;
  deliver_ = nullptr;
  sink_ = nullptr;
}

}  // namespace k4
