#include "platform/posix/hidraw_report_layout.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace k4::posix {

namespace {

// The pendant's reports without their report id.
constexpr std::size_t kInputDataBytes = K4_INPUT_REPORT_SIZE - 1;
constexpr std::size_t kOutputDataBytes = K4_OUTPUT_REPORT_SIZE - 1;

}  // namespace

ReportLayout parseReportDescriptor(const uint8_t* descriptor, std::size_t size) {
  // Short items: a prefix byte (tag, type, data size) and 0, 1, 2 or 4 data bytes. Input and
  // Output main items add Report Size x Report Count bits to the report of the current Report
  // ID; Push and Pop save and restore those globals.
  enum : uint8_t { kMain = 0, kGlobal = 1 };
  enum : uint8_t { kInput = 0x8, kOutput = 0x9 };
  enum : uint8_t {
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB
  };
  struct Globals {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
  };
  constexpr std::size_t kStackDepth = 8;
  std::array<Globals, kStackDepth> stack{};
  std::size_t depth = 0;
  Globals globals;
  std::array<uint32_t, 256> inputBits{};
  std::array<uint32_t, 256> outputBits{};
  ReportLayout layout;
  layout.known = size > 0;
  for (std::size_t at = 0; at < size;) {
    const uint8_t prefix = descriptor[at];
    if (prefix == 0xFE) {  // long item: size, tag, data
      at += 3 + (at + 1 < size ? descriptor[at + 1] : 0);
      continue;
    }
    const std::size_t dataBytes = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (at + 1 + dataBytes > size)
      break;
    uint32_t value = 0;
    for (std::size_t i = 0; i < dataBytes; ++i)
      value |= uint32_t{descriptor[at + 1 + i]} << (8 * i);
    at += 1 + dataBytes;
    const uint8_t type = (prefix >> 2) & 3;
    const uint8_t tag = prefix >> 4;
    const uint64_t bits = uint64_t{globals.reportSize} * globals.reportCount;
    const uint32_t added = static_cast<uint32_t>(std::min<uint64_t>(bits, 0xFFFFFF));
    if (type == kMain && tag == kInput) {
      inputBits[globals.reportId] += added;
    } else if (type == kMain && tag == kOutput) {
      outputBits[globals.reportId] += added;
    } else if (type == kGlobal) {
      switch (tag) {
        case kReportSize:
          globals.reportSize = value;
          break;
        case kReportCount:
          globals.reportCount = value;
          break;
        case kReportId:
          globals.reportId = static_cast<uint8_t>(value);
          layout.numbered = true;
          break;
        case kPush:
          if (depth < kStackDepth)
            stack[depth++] = globals;
          break;
        case kPop:
          if (depth > 0)
            globals = stack[--depth];
          break;
        default:
          break;
      }
    }
  }
  if (layout.numbered) {
    for (std::size_t id = 1; id < inputBits.size(); ++id) {
      if (layout.inputId == 0 && inputBits[id] == kInputDataBytes * 8)
        layout.inputId = static_cast<uint8_t>(id);
      if (layout.outputId == 0 && outputBits[id] == kOutputDataBytes * 8)
        layout.outputId = static_cast<uint8_t>(id);
    }
  }
  return layout;
}

bool takeInputReport(const ReportLayout& layout, const uint8_t* data, std::size_t count,
                     uint8_t (&report)[K4_INPUT_REPORT_SIZE]) {
  const bool unnumbered = layout.known ? !layout.numbered : count == kInputDataBytes;
  if (unnumbered) {
    if (count != kInputDataBytes)
      return false;
    report[0] = 0;
    std::memcpy(report + 1, data, kInputDataBytes);
    return true;
  }
  // Another numbered report of the same length (a feature of some other part of the device)
  // is not the pendant's.
  if (count != K4_INPUT_REPORT_SIZE || (layout.inputId != 0 && data[0] != layout.inputId))
    return false;
  std::memcpy(report, data, K4_INPUT_REPORT_SIZE);
  return true;
}

void frameOutputReport(const ReportLayout& layout, const uint8_t (&report)[K4_OUTPUT_REPORT_SIZE],
                       uint8_t (&framed)[K4_OUTPUT_REPORT_SIZE]) {
  std::memcpy(framed, report, K4_OUTPUT_REPORT_SIZE);
  if (layout.numbered && layout.outputId != 0)
    framed[0] = layout.outputId;
}

std::string readSysfsFile(const std::string& path) {
  char text[HID_MAX_DESCRIPTOR_SIZE];
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return {};
  ssize_t count;
  do {
    count = ::read(fd, text, sizeof text);
  } while (count < 0 && errno == EINTR);
  ::close(fd);
  return count > 0 ? std::string(text, static_cast<std::size_t>(count)) : std::string();
}

ReportLayout readReportLayout(int fd, const std::string& descriptorFile) {
  hidraw_report_descriptor descriptor{};
  int size = 0;
  if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 && size <= HID_MAX_DESCRIPTOR_SIZE) {
    descriptor.size = static_cast<uint32_t>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) == 0)
      return parseReportDescriptor(descriptor.value, descriptor.size);
  }
  const std::string text = readSysfsFile(descriptorFile);
  return parseReportDescriptor(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace k4::posix
