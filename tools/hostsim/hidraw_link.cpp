#include "hidraw_link.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace k4::hostsim {

namespace {

DeviceHandle openPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  return fd >= 0 ? fd : kInvalidHandle;
}

int fdOf(DeviceHandle handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::string findPendantHidraw(const std::string& sysRoot, const std::string& devRoot) {
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "HID_ID=0003:%08X:%08X", kPendantVendorId,
                kPendantProductId);
  std::vector<std::pair<int, std::string>> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(sysRoot, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("hidraw", 0) != 0)
      continue;
    std::ifstream uevent(entry.path() / "device" / "uevent");
    std::string line;
    while (std::getline(uevent, line)) {
      if (line == wanted) {
        found.emplace_back(std::atoi(name.c_str() + 6), devRoot + "/" + name);
        break;
      }
    }
  }
  // Directory order is arbitrary: the lowest device number is the first pendant.
  std::sort(found.begin(), found.end());
  return found.empty() ? std::string() : found.front().second;
}

posix::ReportLayout hidrawLayout(int fd, const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return posix::readReportLayout(fd, "/sys/class/hidraw/" + name + "/device/report_descriptor");
}

bool canOpenReadWrite(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    if (errno == EACCES || errno == EPERM)
      error += "; packaging/udev/70-orvane-k4.rules gives the user at the seat access";
    return false;
  }
  ::close(fd);
  return true;
}

bool NamedHidrawDevice::interfacePath(uint32_t index, std::string& path) {
  if (index != 0)
    return false;
  path = path_;
  return true;
}

DeviceHandle NamedHidrawDevice::openProbe(const std::string& path) {
  return openPath(path, O_RDONLY | O_NONBLOCK);
}

bool NamedHidrawDevice::attributes(DeviceHandle probe, uint16_t& vendorId, uint16_t& productId) {
  hidraw_devinfo info{};
  if (probe == kInvalidHandle || ioctl(fdOf(probe), HIDIOCGRAWINFO, &info) < 0)
    return false;
  vendorId = static_cast<uint16_t>(info.vendor);
  productId = static_cast<uint16_t>(info.product);
  return true;
}

DeviceHandle NamedHidrawDevice::openRead(const std::string& path) {
  const DeviceHandle handle = openPath(path, O_RDONLY | O_NONBLOCK);
  if (handle != kInvalidHandle)
    readLayout_ = hidrawLayout(fdOf(handle), path);
  return handle;
}

DeviceHandle NamedHidrawDevice::openWrite(const std::string& path) {
  const DeviceHandle handle = openPath(path, O_WRONLY);
  if (handle != kInvalidHandle)
    writeLayout_ = hidrawLayout(fdOf(handle), path);
  return handle;
}

void NamedHidrawDevice::close(DeviceHandle handle) {
  if (handle != kInvalidHandle)
    ::close(fdOf(handle));
}

bool NamedHidrawDevice::readReport(DeviceHandle handle, uint8_t (&report)[kInputReportSize],
                                   int timeoutMs) {
  if (handle == kInvalidHandle)
    return false;
  pollfd watch{fdOf(handle), POLLIN, 0};
  if (::poll(&watch, 1, timeoutMs) <= 0 || (watch.revents & POLLIN) == 0)
    return false;
  // One byte more than the longest report taken, so that a longer one is seen as such.
  uint8_t buffer[kInputReportSize + 1];
  const ssize_t count = ::read(fdOf(handle), buffer, sizeof buffer);
  if (count <= 0 ||
      !posix::takeInputReport(readLayout_, buffer, static_cast<std::size_t>(count), report)) {
    return false;
  }
  if (onInput)
    onInput(report);
  return true;
}

WriteResult NamedHidrawDevice::writeReport(DeviceHandle handle,
                                           const uint8_t (&report)[kOutputReportSize]) {
  if (onOutput)
    onOutput(report);
  uint8_t framed[kOutputReportSize];
  posix::frameOutputReport(writeLayout_, report, framed);
  const bool written = handle != kInvalidHandle && ::write(fdOf(handle), framed, sizeof framed) ==
                                                       static_cast<ssize_t>(sizeof framed);
  return written ? WriteResult::Sent : WriteResult::Failed;
}

}  // namespace k4::hostsim
