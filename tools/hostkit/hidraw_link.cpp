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

k4_handle openPath(const char* path, int flags) {
  const int fd = ::open(path, flags | O_CLOEXEC);
  return fd >= 0 ? fd : K4_INVALID_HANDLE;
}

int fdOf(k4_handle handle) {
  return static_cast<int>(handle);
}

NamedHidrawDevice& self(void* context) {
  return *static_cast<NamedHidrawDevice*>(context);
}

}  // namespace

std::string findPendantHidraw(const std::string& sysRoot, const std::string& devRoot) {
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "HID_ID=0003:%08X:%08X", K4_PENDANT_VENDOR_ID,
                K4_PENDANT_PRODUCT_ID);
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

namespace {

constexpr const char* kRuleName = "70-orvane-k4.rules";
constexpr const char* kTrigger =
    "sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=hidraw";

// What lets the user open the pendant: the udev rule where it is (installed by the package,
// beside the program in the release archive), made to apply, and the group for a user who is
// not at the seat.
std::string accessAdvice() {
  namespace fs = std::filesystem;
  std::error_code error;
  std::string advice;
  const fs::path installed = fs::path("/usr/lib/udev/rules.d") / kRuleName;
  const fs::path local = fs::path("/etc/udev/rules.d") / kRuleName;
  const fs::path beside = fs::read_symlink("/proc/self/exe", error).parent_path() / kRuleName;
  if (fs::exists(installed, error) || fs::exists(local, error)) {
    advice = "The udev rule is installed (" +
             (fs::exists(installed, error) ? installed : local).string() +
             "); have udev apply it, then unplug the pendant and plug it in again:\n    " +
             kTrigger + "\n";
  } else {
    const bool besideProgram = fs::exists(beside, error);
    advice = std::string("Install the udev rule that lets the user at the seat open the pendant") +
             (besideProgram ? ""
                            : std::string(" (") + kRuleName +
                                  ": beside k4-hostsim in the release archive, in packaging/udev/ "
                                  "of the source)") +
             ", then unplug the pendant and plug it in again:\n    sudo cp " +
             (besideProgram ? beside.string() : std::string(kRuleName)) +
             " /etc/udev/rules.d/ && " + kTrigger + "\n";
  }
  advice +=
      "A user who is not at the seat (a controller run headless or over SSH) joins the rule's "
      "group instead, and logs in again:\n    sudo usermod -aG plugdev $USER\n"
      "To play the pendant from the keyboard instead, start with --keyboard.";
  return advice;
}

}  // namespace

std::string pendantNodeProblem(const std::string& path, bool& notPendant) {
  notPendant = false;
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int reason = errno;
    std::string problem =
        "the pendant at " + path + " cannot be opened (" + std::strerror(reason) + ").";
    if (reason == EACCES || reason == EPERM)
      problem += "\n" + accessAdvice();
    return problem;
  }
  hidraw_devinfo info{};
  const bool hidraw = ioctl(fd, HIDIOCGRAWINFO, &info) == 0;
  ::close(fd);
  notPendant = true;
  if (!hidraw) {
    return path +
           " is not a hidraw device; the pendant is a /dev/hidrawN node (without "
           "--device the simulator finds it).";
  }
  if (static_cast<uint16_t>(info.vendor) != K4_PENDANT_VENDOR_ID ||
      static_cast<uint16_t>(info.product) != K4_PENDANT_PRODUCT_ID) {
    char ids[96];
    std::snprintf(ids, sizeof ids, " is the HID device %04x:%04x, not the pendant (%04x:%04x).",
                  static_cast<uint16_t>(info.vendor), static_cast<uint16_t>(info.product),
                  K4_PENDANT_VENDOR_ID, K4_PENDANT_PRODUCT_ID);
    return path + ids;
  }
  notPendant = false;
  return {};
}

NamedHidrawDevice::NamedHidrawDevice(std::string devicePath)
    : table_{}, path_(std::move(devicePath)) {
  table_.version = K4_HOST_VIEW_VERSION;
  table_.size = sizeof table_;
  table_.context = this;
  table_.begin_enumeration = [](void*) {};
  table_.interface_path = [](void* context, uint32_t index, char* buffer, size_t capacity) {
    return self(context).interfacePath(index, buffer, capacity);
  };
  table_.end_enumeration = [](void*) {};
  table_.open_probe = [](void*, const char* path) { return openPath(path, O_RDONLY | O_NONBLOCK); };
  table_.attributes = [](void*, k4_handle probe, uint16_t* vendorId, uint16_t* productId) {
    hidraw_devinfo info{};
    if (probe == K4_INVALID_HANDLE || ioctl(fdOf(probe), HIDIOCGRAWINFO, &info) < 0)
      return 0;
    *vendorId = static_cast<uint16_t>(info.vendor);
    *productId = static_cast<uint16_t>(info.product);
    return 1;
  };
  table_.open_read = [](void* context, const char* path) { return self(context).openRead(path); };
  table_.open_write = [](void* context, const char* path) { return self(context).openWrite(path); };
  table_.close = [](void*, k4_handle handle) {
    if (handle != K4_INVALID_HANDLE)
      ::close(fdOf(handle));
  };
  table_.read_report = [](void* context, k4_handle handle, uint8_t* report, int timeoutMs) {
    return self(context).readReport(
               handle, *reinterpret_cast<uint8_t(*)[K4_INPUT_REPORT_SIZE]>(report), timeoutMs)
               ? 1
               : 0;
  };
  table_.write_report = [](void* context, k4_handle handle, const uint8_t* report) {
    return self(context).writeReport(
        handle, *reinterpret_cast<const uint8_t(*)[K4_OUTPUT_REPORT_SIZE]>(report));
  };
}

int NamedHidrawDevice::interfacePath(uint32_t index, char* buffer, std::size_t capacity) const {
  if (index != 0)
    return -1;
  if (capacity > 0)
    std::snprintf(buffer, capacity, "%s", path_.c_str());
  return static_cast<int>(path_.size());
}

k4_handle NamedHidrawDevice::openRead(const char* path) {
  const k4_handle handle = openPath(path, O_RDONLY | O_NONBLOCK);
  if (handle != K4_INVALID_HANDLE)
    readLayout_ = hidrawLayout(fdOf(handle), path);
  return handle;
}

k4_handle NamedHidrawDevice::openWrite(const char* path) {
  const k4_handle handle = openPath(path, O_WRONLY);
  if (handle != K4_INVALID_HANDLE)
    writeLayout_ = hidrawLayout(fdOf(handle), path);
  return handle;
}

bool NamedHidrawDevice::readReport(k4_handle handle, uint8_t (&report)[K4_INPUT_REPORT_SIZE],
                                   int timeoutMs) {
  if (handle == K4_INVALID_HANDLE)
    return false;
  pollfd watch{fdOf(handle), POLLIN, 0};
  if (::poll(&watch, 1, timeoutMs) <= 0 || (watch.revents & POLLIN) == 0)
    return false;
  // One byte more than the longest report taken, so that a longer one is seen as such.
  uint8_t buffer[K4_INPUT_REPORT_SIZE + 1];
  const ssize_t count = ::read(fdOf(handle), buffer, sizeof buffer);
  if (count <= 0 ||
      !posix::takeInputReport(readLayout_, buffer, static_cast<std::size_t>(count), report)) {
    return false;
  }
  if (onInput)
    onInput(report);
  return true;
}

int NamedHidrawDevice::writeReport(k4_handle handle,
                                   const uint8_t (&report)[K4_OUTPUT_REPORT_SIZE]) {
  if (onOutput)
    onOutput(report);
  uint8_t framed[K4_OUTPUT_REPORT_SIZE];
  posix::frameOutputReport(writeLayout_, report, framed);
  const bool written =
      handle != K4_INVALID_HANDLE &&
      ::write(fdOf(handle), framed, sizeof framed) == static_cast<ssize_t>(sizeof framed);
  return written ? K4_WRITE_SENT : K4_WRITE_FAILED;
}

}  // namespace k4::hostsim
