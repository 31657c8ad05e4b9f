#include "platform/posix/hidraw_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/posix/hidraw_report_layout.h"
#include "platform/window.h"

namespace k4::posix {

namespace {

constexpr const char* kNodePrefix = "hidraw";
// Reads take one byte more than the longest report we accept, so that a longer report (which
// hidraw would cut to the buffer's size) shows as too long instead of passing for ours.
constexpr std::size_t kReadBufferSize = kInputReportSize + 1;
// How much later than asked a timed wait typically returns: the thread's timer slack (50 us by
// default) plus the wake-up itself, measured at about 100 us on a virtual machine
// (bench/hidraw_wait_bench: a 4.95 ms wait took 5.05 ms at the median).
constexpr long kWakeUpLatencyNs = 200000;

// The number N of a "hidrawN" name, or -1 for any other name.
long hidrawNumber(const char* name) {
  const std::size_t prefix = std::strlen(kNodePrefix);
  if (std::strncmp(name, kNodePrefix, prefix) != 0 || name[prefix] == '\0')
    return -1;
  long number = 0;
  for (const char* digit = name + prefix; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || number > 1000000)
      return -1;
    number = number * 10 + (*digit - '0');
  }
  return number;
}

std::string environmentOr(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool parseHex(const std::string& text, unsigned long& value) {
  if (text.empty() || text.size() > 8)
    return false;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 16);
  return end == text.c_str() + text.size();
}

// Every descriptor is close-on-exec: a host that starts other programs must not hand them the
// pendant. A device node is never to become this process's controlling terminal either (only
// the terminals that stand in for it in tests could).
int openNode(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

bool parseHidId(const std::string& uevent, uint16_t& vendorId, uint16_t& productId) {
  for (std::size_t start = 0; start < uevent.size();) {
    std::size_t end = uevent.find('\n', start);
    if (end == std::string::npos)
      end = uevent.size();
    const std::string line = uevent.substr(start, end - start);
    start = end + 1;
    if (line.rfind("HID_ID=", 0) != 0)
      continue;
    // bus:vendor:product, each in hexadecimal.
    const std::string ids = line.substr(7);
    const std::size_t first = ids.find(':');
    const std::size_t second = first == std::string::npos ? first : ids.find(':', first + 1);
    if (second == std::string::npos)
      return false;
    unsigned long bus = 0;
    unsigned long vendor = 0;
    unsigned long product = 0;
    if (!parseHex(ids.substr(0, first), bus) ||
        !parseHex(ids.substr(first + 1, second - first - 1), vendor) ||
        !parseHex(ids.substr(second + 1), product) || vendor > 0xFFFF || product > 0xFFFF) {
      return false;
    }
    vendorId = static_cast<uint16_t>(vendor);
    productId = static_cast<uint16_t>(product);
    return true;
  }
  return false;
}

HidrawDevices::HidrawDevices(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

HidrawDevices::~HidrawDevices() {
  // Only our own descriptors: at process exit the host's view may already be gone, and the
  // pendant window withdraws its registration itself when it is destroyed in order.
  if (inotifyFd_ >= 0)
    ::close(inotifyFd_);
  for (const auto& [probe, name] : probes_)
    ::close(static_cast<int>(probe));
  for (const auto& [handle, node] : links_)
    ::close(static_cast<int>(handle));
}

std::string HidrawDevices::sysfsRootFromEnvironment() {
  return environmentOr("K4_SYSFS_ROOT", "/sys");
}

std::string HidrawDevices::devRootFromEnvironment() {
  return environmentOr("K4_DEV_ROOT", "/dev");
}

// ---- Enumeration --------------------------------------------------------------------------------

void HidrawDevices::beginEnumeration() {
  enumeration_.clear();
  const std::string classDir = sysfsRoot_ + "/class/hidraw";
  DIR* dir = ::opendir(classDir.c_str());
  if (dir == nullptr)
    return;
  std::vector<std::pair<long, std::string>> found;
  while (const dirent* entry = ::readdir(dir)) {
    const long number = hidrawNumber(entry->d_name);
    if (number >= 0)
      found.emplace_back(number, entry->d_name);
  }
  ::closedir(dir);
  // The directory lists its entries in no particular order; the node number gives a stable one.
  std::sort(found.begin(), found.end());
  for (auto& [number, name] : found)
    enumeration_.push_back(std::move(name));
}

bool HidrawDevices::interfacePath(uint32_t index, std::string& path) {
  if (index >= enumeration_.size())
    return false;
  path = devRoot_ + "/" + enumeration_[index];
  return true;
}

void HidrawDevices::endEnumeration() {
  enumeration_.clear();
}

// ---- Handles ------------------------------------------------------------------------------------

// The probe needs no access to the device, as on the other platforms: an O_PATH descriptor
// proves the node exists without the read or write permission that the user may lack for other
// HID devices. The attributes come from sysfs, by the node's name.
DeviceHandle HidrawDevices::openProbe(const std::string& path) {
  const int fd = openNode(path, O_PATH);
  if (fd < 0)
    return kInvalidHandle;
  probes_[fd] = baseName(path);
  return fd;
}

bool HidrawDevices::attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) {
  auto found = probes_.find(probe);
  if (found == probes_.end() || hidrawNumber(found->second.c_str()) < 0)
    return false;
  // A sysfs attribute file holds at most one page.
  const std::string uevent =
      readSysfsFile(sysfsRoot_ + "/class/hidraw/" + found->second + "/device/uevent");
  return parseHidId(uevent, vendorId, productId);
}

// Each handle remembers the layout of the device it reaches (the descriptor is read once, here,
// never in the report cycle) and which node it was opened on.
DeviceHandle HidrawDevices::openLink(const std::string& path, int flags, bool forReading) {
  const int fd = openNode(path, flags);
  if (fd < 0)
    return kInvalidHandle;
  struct stat status {};
  ::fstat(fd, &status);
  const std::string name = baseName(path);
  links_[fd] = OpenNode{
      name, forReading, status.st_dev, status.st_ino,
      readReportLayout(fd, sysfsRoot_ + "/class/hidraw/" + name + "/device/report_descriptor")};
  return fd;
}

// Non-blocking, so that the bounded wait of a read is ours (poll), never the kernel's.
DeviceHandle HidrawDevices::openRead(const std::string& path) {
  return openLink(path, O_RDONLY | O_NONBLOCK, true);
}

// Non-blocking as well: the report cycle runs on the host's thread, which a device that stops
// taking output must never hold (writeReport).
DeviceHandle HidrawDevices::openWrite(const std::string& path) {
  return openLink(path, O_WRONLY | O_NONBLOCK, false);
}

void HidrawDevices::close(DeviceHandle handle) {
  if (handle < 0)
    return;
  probes_.erase(handle);
  links_.erase(handle);
  ::close(static_cast<int>(handle));
}

ReportLayout HidrawDevices::layoutOf(DeviceHandle handle) const {
  const auto found = links_.find(handle);
  return found == links_.end() ? ReportLayout{} : found->second.layout;
}

bool HidrawDevices::attributeChangeIsArrival(const std::string& name) const {
  // A node already gone (its removal is queued behind this event) cannot be opened.
  struct stat status {};
  if (::stat((devRoot_ + "/" + name).c_str(), &status) != 0)
    return false;
  bool reading = false;
  bool writing = false;
  for (const auto& [handle, node] : links_) {
    if (node.name == name && node.device == status.st_dev && node.inode == status.st_ino)
      (node.forReading ? reading : writing) = true;
  }
  return !(reading && writing);
}

// ---- Reports
// --------------------------------------------------------------------------------------

// Each hidraw read returns one whole report, framed as the device's layout says
// (takeInputReport). The node is non-blocking, so a report that lands after the wait stays in the
// kernel's queue and the next call returns it at once.
bool HidrawDevices::readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize],
                               int timeoutMs) {
  if (handle < 0)
    return false;
  const int fd = static_cast<int>(handle);
  pollfd watch{fd, POLLIN, 0};
  // A timed wait returns late by the timer slack and the wake-up; asking for that much less
  // keeps the wait within the bound the report cycle promises.
  long waitNs = std::max(timeoutMs, 0) * 1000000L - kWakeUpLatencyNs;
  waitNs = std::max(waitNs, 0L);
  const timespec wait{waitNs / 1000000000L, waitNs % 1000000000L};
  const int ready = ::ppoll(&watch, 1, &wait, nullptr);
  if (ready <= 0 || (watch.revents & POLLIN) == 0)
    return false;
  uint8_t buffer[kReadBufferSize];
  const ssize_t count = ::read(fd, buffer, sizeof buffer);
  if (count <= 0)
    return false;
  const auto found = links_.find(handle);
  const ReportLayout layout = found == links_.end() ? ReportLayout{} : found->second.layout;
  return takeInputReport(layout, buffer, static_cast<std::size_t>(count), report);
}

// hidraw takes the report number in the first byte of a write and sends the rest as the report;
// a device without numbered reports takes 0 there. The pendant's output report is exactly that
// layout (byte 0 = report id 0, four data bytes), so the 5 bytes are written unchanged, as on
// the other platforms; only a device that numbers its output report gets that number instead.
//
// The descriptor is non-blocking. A device that does not take the report at once (EAGAIN) has it
// skipped: the next cycle offers a newer one. Refused for longer than the pending limit, or
// failing outright, the device is given up (Failed). The kernel's USB HID driver itself waits
// for the device inside write() up to its own timeout whatever the flag says; a timeout there
// also ends as Failed, so a stalled pendant costs that wait once, not once per cycle.
WriteResult HidrawDevices::writeReport(DeviceHandle handle,
                                       const uint8_t (&report)[kOutputReportSize]) {
  if (handle < 0)
    return WriteResult::Failed;
  const auto found = links_.find(handle);
  uint8_t framed[kOutputReportSize];
  frameOutputReport(found == links_.end() ? ReportLayout{} : found->second.layout, report, framed);
  ssize_t count;
  do {
    count = ::write(static_cast<int>(handle), framed, kOutputReportSize);
  } while (count < 0 && errno == EINTR);
  if (count == static_cast<ssize_t>(kOutputReportSize)) {
    if (found != links_.end())
      found->second.refusedSinceNs = 0;
    return WriteResult::Sent;
  }
  // Not taken, or (on the terminals that stand in for devices in tests) not all of it.
  const bool refused = count >= 0 || errno == EAGAIN || errno == EWOULDBLOCK;
  if (refused && found != links_.end()) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t nowNs = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
    int64_t& since = found->second.refusedSinceNs;
    if (since == 0)
      since = nowNs;
    if (nowNs - since < int64_t{writePendingLimitMs_} * 1000000)
      return WriteResult::Busy;
    since = 0;
  }
  return WriteResult::Failed;
}

// ---- Notifications ----------------------------------------------------------------------------
//
// inotify on the device root rather than a kernel uevent socket: the node appearing is what lets
// an open succeed, and udev granting the user access to it afterwards shows as an attribute
// change, which is reported as a further arrival so that the reopen is tried again once the
// node is usable. A removed node is reported with its full path, the name discovery stored.
//
// devtmpfs itself changes a node's attributes right after creating it and right before
// removing it. Neither is an arrival while a read and a write handle are open on that very
// node, nor once the node is gone: a reopen would drop a report already waiting on the open
// handle, and one on removal would reach for a node that is going away.

namespace {

// Called by the host's loop, which may not be C++: nothing thrown may unwind into it.
void notificationsReady(void* self) {
  try {
    static_cast<HidrawDevices*>(self)->dispatchNotifications();
  } catch (...) {
  }
}

}  // namespace

bool HidrawDevices::registerNotifications(NativeWindow& window) {
  if (window_ == &window)
    return true;
  if (window_ != nullptr)
    unregisterNotifications(*window_);
  const auto* view = static_cast<const k4_host_view*>(window.nativeHandle());
  if (view == nullptr || view->watch_fd == nullptr)
    return false;
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0)
    return false;
  if (::inotify_add_watch(fd, devRoot_.c_str(),
                          IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
    ::close(fd);
    return false;
  }
  const int watchId = view->watch_fd(view->context, fd, &notificationsReady, this);
  if (watchId <= 0) {
    ::close(fd);
    return false;
  }
  window_ = &window;
  view_ = view;
  inotifyFd_ = fd;
  watchId_ = watchId;
  return true;
}

void HidrawDevices::unregisterNotifications(NativeWindow& window) {
  if (window_ != &window)
    return;
  if (view_ != nullptr && watchId_ != 0)
    view_->unwatch_fd(view_->context, watchId_);
  if (inotifyFd_ >= 0)
    ::close(inotifyFd_);
  window_ = nullptr;
  view_ = nullptr;
  inotifyFd_ = -1;
  watchId_ = 0;
}

void HidrawDevices::dispatchNotifications() {
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    if (inotifyFd_ < 0)
      return;
    const ssize_t length = ::read(inotifyFd_, buffer, sizeof buffer);
    if (length <= 0)
      return;  // drained (EAGAIN) or failed
    for (ssize_t offset = 0; offset < length;) {
      inotify_event event;
      std::memcpy(&event, buffer + offset, sizeof event);
      const char* name = buffer + offset + sizeof event;
      offset += static_cast<ssize_t>(sizeof event + event.len);
      if (event.len == 0 || hidrawNumber(name) < 0)
        continue;
      uint32_t eventType = 0;
      if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0)
        eventType = kDeviceRemoveComplete;
      else if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0)
        eventType = kDeviceArrival;
      else if ((event.mask & IN_ATTRIB) != 0 && attributeChangeIsArrival(name))
        eventType = kDeviceArrival;
      if (eventType == 0 || window_ == nullptr)
        continue;
      const std::string path = devRoot_ + "/" + name;
      window_->deliverDeviceChange(eventType, kDeviceTypeInterface, path.c_str());
    }
  }
}

}  // namespace k4::posix

namespace k4 {

DeviceServices& hidrawDeviceServices() {
  static posix::HidrawDevices devices(posix::HidrawDevices::sysfsRootFromEnvironment(),
                                      posix::HidrawDevices::devRootFromEnvironment());
  return devices;
}

}  // namespace k4
