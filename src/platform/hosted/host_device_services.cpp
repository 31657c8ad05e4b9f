#include "platform/hosted/host_device_services.h"

#include <cstring>

#include "platform/window.h"

namespace k4 {

namespace {

// The host calls this for each arrival and removal; the sink is the window that registered.
// Nothing thrown may unwind into the host's frames, which may not be C++ at all.
void deliverDeviceChange(void* sink, uint32_t event, uint32_t deviceType, const char* name) {
  try {
    static_cast<NativeWindow*>(sink)->deliverDeviceChange(event, deviceType,
                                                          name != nullptr ? name : "");
  } catch (...) {
  }
}

}  // namespace

void HostDeviceServices::beginEnumeration() {
  if (table_ != nullptr)
    table_->begin_enumeration(table_->context);
}

bool HostDeviceServices::interfacePath(uint32_t index, std::string& path) {
  if (table_ == nullptr)
    return false;
  // Most paths fit the first buffer; a longer one is asked for again at its full length.
  char buffer[256];
  buffer[0] = '\0';
  const int length = table_->interface_path(table_->context, index, buffer, sizeof buffer);
  if (length < 0)
    return false;
  if (static_cast<std::size_t>(length) < sizeof buffer) {
    buffer[sizeof buffer - 1] = '\0';
    path.assign(buffer, strnlen(buffer, static_cast<std::size_t>(length)));
    return true;
  }
  std::string longer(static_cast<std::size_t>(length) + 1, '\0');
  const int again = table_->interface_path(table_->context, index, longer.data(), longer.size());
  if (again < 0)
    return false;
  longer.back() = '\0';
  longer.resize(strnlen(longer.c_str(), longer.size()));
  path = std::move(longer);
  return true;
}

void HostDeviceServices::endEnumeration() {
  if (table_ != nullptr)
    table_->end_enumeration(table_->context);
}

DeviceHandle HostDeviceServices::openProbe(const std::string& path) {
  return table_ != nullptr ? table_->open_probe(table_->context, path.c_str()) : kInvalidHandle;
}

bool HostDeviceServices::attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) {
  if (table_ == nullptr)
    return false;
  uint16_t vendor = 0;
  uint16_t product = 0;
  if (table_->attributes(table_->context, probe, &vendor, &product) == 0)
    return false;
  vendorId = vendor;
  productId = product;
  return true;
}

DeviceHandle HostDeviceServices::openRead(const std::string& path) {
  return table_ != nullptr ? table_->open_read(table_->context, path.c_str()) : kInvalidHandle;
}

DeviceHandle HostDeviceServices::openWrite(const std::string& path) {
  return table_ != nullptr ? table_->open_write(table_->context, path.c_str()) : kInvalidHandle;
}

void HostDeviceServices::close(DeviceHandle handle) {
  if (table_ != nullptr)
    table_->close(table_->context, handle);
}

bool HostDeviceServices::readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize],
                                    int timeoutMs) {
  if (table_ == nullptr)
    return false;
  // The host writes into a copy: a report it reports as not read leaves `report` as it was.
  uint8_t taken[kInputReportSize];
  std::memcpy(taken, report, sizeof taken);
  if (table_->read_report(table_->context, handle, taken, timeoutMs) == 0)
    return false;
  std::memcpy(report, taken, sizeof taken);
  return true;
}

WriteResult HostDeviceServices::writeReport(DeviceHandle handle,
                                            const uint8_t (&report)[kOutputReportSize]) {
  if (table_ == nullptr)
    return WriteResult::Failed;
  switch (table_->write_report(table_->context, handle, report)) {
    case K4_WRITE_SENT:
      return WriteResult::Sent;
    case K4_WRITE_BUSY:
      return WriteResult::Busy;
    default:
      // Anything else the host answers is no sign that the pendant takes output.
      return WriteResult::Failed;
  }
}

bool HostDeviceServices::registerNotifications(NativeWindow& window) {
  if (table_ == nullptr || table_->register_notifications == nullptr)
    return false;
  return table_->register_notifications(table_->context, &deliverDeviceChange, &window) != 0;
}

void HostDeviceServices::unregisterNotifications(NativeWindow& window) {
  if (table_ != nullptr && table_->unregister_notifications != nullptr)
    table_->unregister_notifications(table_->context, &window);
}

}  // namespace k4
