// PLACEHOLDER: a stand-in for the virtual pendant until its real implementation lands.
// Deleted before the simulator is handed over.
#include "platform/virtual/virtual_pendant.h"
#include "platform/window.h"

namespace k4 {

namespace {
constexpr DeviceHandle kProbe = 1, kRead = 2, kWrite = 3;
constexpr const char* kOther = "\\\\?\\hid#vid_1234&pid_0001#other";
}

VirtualPendant::VirtualPendant() = default;
void VirtualPendant::setPresent(bool present) { present_ = present; }
bool VirtualPendant::present() const { return present_; }
void VirtualPendant::addOtherDevice(const std::string&, uint16_t, uint16_t) {}
void VirtualPendant::queueReport(const InputReport& report) { queued_.push_back(report); }
void VirtualPendant::unplug() {
  present_ = false;
  if (window_) window_->deliverDeviceChange(kDeviceRemoveComplete, kDeviceTypeInterface, kPendantPath);
}
void VirtualPendant::plug() {
  present_ = true;
  if (window_) window_->deliverDeviceChange(kDeviceArrival, kDeviceTypeInterface, kPendantPath);
}
void VirtualPendant::arriveOther() {
  if (window_) window_->deliverDeviceChange(kDeviceArrival, kDeviceTypeInterface, kOther);
}
const std::vector<VirtualPendant::OutputReport>& VirtualPendant::writtenReports() const { return written_; }
void VirtualPendant::clearWrittenReports() { written_.clear(); }
bool VirtualPendant::notificationsRegistered() const { return window_ != nullptr; }
int VirtualPendant::openHandleCount() const { return 0; }
void VirtualPendant::beginEnumeration() {}
bool VirtualPendant::interfacePath(uint32_t index, std::string& path) {
  if (index != 0 || !present_) return false;
  path = kPendantPath;
  return true;
}
void VirtualPendant::endEnumeration() {}
DeviceHandle VirtualPendant::openProbe(const std::string&) { return present_ ? kProbe : kInvalidHandle; }
bool VirtualPendant::attributes(DeviceHandle, uint16_t& v, uint16_t& p) {
  v = 0x04D8;
  p = 0xFCE5;
  return true;
}
DeviceHandle VirtualPendant::openRead(const std::string&) { return present_ ? kRead : kInvalidHandle; }
DeviceHandle VirtualPendant::openWrite(const std::string&) { return present_ ? kWrite : kInvalidHandle; }
void VirtualPendant::close(DeviceHandle) {}
bool VirtualPendant::readReport(DeviceHandle, uint8_t (&report)[kInputReportSize], int) {
  if (!present_ || queued_.empty()) return false;
  for (std::size_t i = 0; i < kInputReportSize; ++i) report[i] = queued_.front()[i];
  queued_.pop_front();
  return true;
}
bool VirtualPendant::writeReport(DeviceHandle, const uint8_t (&report)[kOutputReportSize]) {
  if (!present_) return false;
  OutputReport out{};
  for (std::size_t i = 0; i < kOutputReportSize; ++i) out[i] = report[i];
  written_.push_back(out);
  return true;
}
bool VirtualPendant::registerNotifications(NativeWindow& window) {
  window_ = &window;
  return true;
}

}  // namespace k4
