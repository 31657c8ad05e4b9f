// How the pendant's reports are framed on a hidraw node, as the device's report descriptor
// declares them.
//
// hidraw frames reports by the device's report descriptor: a device without report ids hands
// over its 7 data bytes and takes a write whose first byte is 0; a device with numbered reports
// hands over the id followed by the data and takes the id in the first byte of a write. The
// decoders always see the 8 bytes the pendant's report has on Windows, report id first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/device.h"

namespace k4::posix {

// How a device frames the pendant's reports, as its report descriptor declares them.
struct ReportLayout {
  bool known = false;     // the descriptor was read; otherwise the read length decides
  bool numbered = false;  // every report starts with its report id
  uint8_t inputId = 0;    // numbered: id of the input report with the pendant's 7 data bytes
  uint8_t outputId = 0;   // numbered: id of the output report with the pendant's 4 data bytes
};

// The layout a report descriptor declares. A descriptor without Input items of the pendant's
// size leaves the ids at 0.
ReportLayout parseReportDescriptor(const uint8_t* descriptor, std::size_t size);

// Turns one read of `count` bytes into the 8-byte input report. Without report ids only a read
// of the 7 data bytes is a report, and it is placed after a report id 0; with numbered reports
// only a read of the id and 7 data bytes is, and it keeps its id (the pendant's id when the
// descriptor names one). With the layout unknown, 7 bytes are taken as unnumbered and 8 as
// numbered. Anything else is no report, and `report` is left as it was.
bool takeInputReport(const ReportLayout& layout, const uint8_t* data, std::size_t count,
                     uint8_t (&report)[K4_INPUT_REPORT_SIZE]);

// The bytes to write for the 5-byte output report: unchanged, except that a device with a
// numbered output report gets that report's id in place of the 0.
void frameOutputReport(const ReportLayout& layout, const uint8_t (&report)[K4_OUTPUT_REPORT_SIZE],
                       uint8_t (&framed)[K4_OUTPUT_REPORT_SIZE]);

// The start of a small sysfs file (a report descriptor, a uevent), at most the largest report
// descriptor's size; empty when it cannot be read.
std::string readSysfsFile(const std::string& path);

// The layout of the device open as `fd`: its descriptor from the kernel (HIDIOCGRDESC), else
// from `descriptorFile` (sysfs's copy, which is all a test tree has); unknown when neither.
ReportLayout readReportLayout(int fd, const std::string& descriptorFile);

}  // namespace k4::posix
