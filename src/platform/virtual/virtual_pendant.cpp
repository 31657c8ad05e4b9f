// The in-process pendant. Handles are plain numbers in a table; a removed device's handles stay
// in the table, marked dead, until the plug-in closes them, so leaks and double closes show.
#include "platform/virtual/virtual_pendant.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/window.h"

namespace k4 {

namespace {

// Interface paths compare without regard to letter case, as the system's own do.
bool samePath(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

VirtualPendant::VirtualPendant() = default;

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
  notify(kDeviceRemoveComplete, notifiedName);
}

void VirtualPendant::plug() {
  present_ = true;
  notify(kDeviceArrival, pendantPath_);
}

void VirtualPendant::plugElsewhere() {
  pendantPath_ = samePath(pendantPath_, kPendantPath) ? kPendantElsewherePath : kPendantPath;
  plug();
}

const std::string& VirtualPendant::pendantPath() const {
  return pendantPath_;
}

void VirtualPendant::arriveSecondPendant() {
  addTrailingDevice(kSecondPendantPath, static_cast<uint16_t>(kPendantVendorId),
                    static_cast<uint16_t>(kPendantProductId));
  notify(kDeviceArrival, kSecondPendantPath);
}

void VirtualPendant::arriveOther() {
  notify(kDeviceArrival, kOtherArrivalPath);
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
  notify(kDeviceRemoveComplete, path);
}

void VirtualPendant::setWritesFail(bool fail) {
  writesFail_ = fail;
}

void VirtualPendant::setStalled(bool stalled) {
  stalled_ = stalled;
  if (!stalled_ && pendingOn_ != kInvalidHandle) {
    written_.push_back(pendingReport_);
    pendingOn_ = kInvalidHandle;
  }
}

void VirtualPendant::setShortReads(bool shortReads) {
  shortReads_ = shortReads;
}

void VirtualPendant::notify(uint32_t eventType, const std::string& name) {
  if (window_ != nullptr)
    window_->deliverDeviceChange(eventType, kDeviceTypeInterface, name.c_str());
}

// ---- Observation --------------------------------------------------------------------------------

const std::vector<VirtualPendant::OutputReport>& VirtualPendant::writtenReports() const {
  return written_;
}

void VirtualPendant::clearWrittenReports() {
  written_.clear();
}

bool VirtualPendant::writePending() const {
  return pendingOn_ != kInvalidHandle;
}

int VirtualPendant::cancelledWriteCount() const {
  return cancelledWrites_;
}

bool VirtualPendant::notificationsRegistered() const {
  return window_ != nullptr;
}

int VirtualPendant::openHandleCount() const {
  return static_cast<int>(handles_.size());
}

const std::vector<DeviceHandle>& VirtualPendant::closedHandles() const {
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

// ---- DeviceServices -----------------------------------------------------------------------------

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

bool VirtualPendant::interfacePath(uint32_t index, std::string& path) {
  if (index >= enumeration_.size())
    return false;
  path = enumeration_[index];
  return true;
}

void VirtualPendant::endEnumeration() {
  enumeration_.clear();
}

DeviceHandle VirtualPendant::open(const std::string& path, Access access) {
  int device = kPendantDevice;
  if (samePath(path, pendantPath_)) {
    if (!present_)
      return kInvalidHandle;
  } else {
    auto found = std::find_if(devices_.begin(), devices_.end(),
                              [&](const Device& other) { return samePath(other.path, path); });
    if (found == devices_.end())
      return kInvalidHandle;
    device = static_cast<int>(found - devices_.begin());
  }
  const DeviceHandle id = nextHandle_++;
  handles_[id] = Handle{device, access, false};
  return id;
}

DeviceHandle VirtualPendant::openProbe(const std::string& path) {
  const DeviceHandle handle = open(path, Access::kProbe);
  if (handle != kInvalidHandle)
    ++probes_;
  return handle;
}

bool VirtualPendant::attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) {
  auto found = handles_.find(probe);
  if (found == handles_.end() || found->second.dead)
    return false;
  if (found->second.device == kPendantDevice) {
    vendorId = static_cast<uint16_t>(kPendantVendorId);
    productId = static_cast<uint16_t>(kPendantProductId);
  } else {
    const Device& device = devices_[static_cast<std::size_t>(found->second.device)];
    vendorId = device.vendorId;
    productId = device.productId;
  }
  return true;
}

DeviceHandle VirtualPendant::openRead(const std::string& path) {
  return open(path, Access::kRead);
}

DeviceHandle VirtualPendant::openWrite(const std::string& path) {
  return open(path, Access::kWrite);
}

void VirtualPendant::close(DeviceHandle handle) {
  if (handle == pendingOn_) {
    pendingOn_ = kInvalidHandle;
    ++cancelledWrites_;
  }
  if (handles_.erase(handle) == 0) {
    ++badCloses_;
    return;
  }
  closed_.push_back(handle);
}

bool VirtualPendant::readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize],
                                int timeoutMs) {
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
  std::memcpy(report, next.data(), kInputReportSize);
  return true;
}

WriteResult VirtualPendant::writeReport(DeviceHandle handle,
                                        const uint8_t (&report)[kOutputReportSize]) {
  auto found = handles_.find(handle);
  if (found == handles_.end() || found->second.dead || found->second.device != kPendantDevice ||
      found->second.access != Access::kWrite || writesFail_) {
    return WriteResult::Failed;
  }
  OutputReport written;
  std::memcpy(written.data(), report, kOutputReportSize);
  if (pendingOn_ == handle) {
    if (++pendingWrites_ < kStalledWritesBeforeFailure)
      return WriteResult::Busy;
    pendingOn_ = kInvalidHandle;
    ++cancelledWrites_;
    return WriteResult::Failed;
  }
  if (stalled_) {
    pendingOn_ = handle;
    pendingReport_ = written;
    pendingWrites_ = 0;
    return WriteResult::Sent;
  }
  written_.push_back(written);
  return WriteResult::Sent;
}

bool VirtualPendant::registerNotifications(NativeWindow& window) {
  window_ = &window;
  return true;
}

void VirtualPendant::unregisterNotifications(NativeWindow& window) {
  if (window_ == &window)
    window_ = nullptr;
}

}  // namespace k4
