// A pendant made by the kernel's uhid driver: a HID device with the pendant's vendor and product
// id and a report descriptor of our choosing, which the kernel's own HID core and hidraw driver
// serve like a plugged-in one. Used inside the test VM only (it needs /dev/uhid and root).
#pragma once

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace k4::hidvm {

// The pendant's reports in the two layouts a device may give them (see the VM test's notes).
// Without report ids: 7 input and 4 output data bytes.
inline const std::vector<uint8_t> kUnnumberedDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum 0
    0x26, 0xFF, 0x00,  //   Logical Maximum 255
    0x75, 0x08,        //   Report Size 8
    0x95, 0x07,        //   Report Count 7
    0x09, 0x02,        //   Usage 2
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x95, 0x04,        //   Report Count 4
    0x09, 0x03,        //   Usage 3
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0};             // End Collection
// Numbered: the same collection with a 2-byte input report 3 of another function (85 03 95 02
// 09 04 81 02), the pendant's input report 1 (85 01 95 07 09 02 81 02) and its output report 2
// (85 02 95 04 09 03 91 02).
// clang-format off
inline const std::vector<uint8_t> kNumberedDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x85, 0x03, 0x95, 0x02, 0x09, 0x04, 0x81, 0x02,
    0x85, 0x01, 0x95, 0x07, 0x09, 0x02, 0x81, 0x02,
    0x85, 0x02, 0x95, 0x04, 0x09, 0x03, 0x91, 0x02,
    0xC0};
// clang-format on
constexpr uint8_t kNumberedInputId = 1;
constexpr uint8_t kNumberedOutputId = 2;
constexpr uint8_t kNumberedOtherId = 3;

inline std::string hex(const uint8_t* bytes, std::size_t size) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

class UhidPendant {
 public:
  // Another kind of HID device with the same descriptor when given other ids.
  explicit UhidPendant(bool numbered, uint16_t vendor = 0x04D8, uint16_t product = 0xFCE5)
      : numbered_(numbered), vendor_(vendor), product_(product) {
    fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
  }
  ~UhidPendant() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  UhidPendant(const UhidPendant&) = delete;
  UhidPendant& operator=(const UhidPendant&) = delete;

  bool numbered() const { return numbered_; }
  const std::vector<uint8_t>& descriptor() const {
    return numbered_ ? kNumberedDescriptor : kUnnumberedDescriptor;
  }

  // Plugs the pendant in and waits until its hidraw node exists; false when it does not within
  // the time. `node` is its /dev/hidrawN.
  bool create(std::string& node) {
    uhid_event event{};
    event.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char*>(event.u.create2.name), sizeof event.u.create2.name,
                  "K4 test pendant");
    event.u.create2.rd_size = static_cast<uint16_t>(descriptor().size());
    std::memcpy(event.u.create2.rd_data, descriptor().data(), descriptor().size());
    event.u.create2.bus = 0x03;  // BUS_USB
    event.u.create2.vendor = vendor_;
    event.u.create2.product = product_;
    if (!send(event))
      return false;
    for (int tries = 0; tries < 500; ++tries) {
      node = findNode();
      if (!node.empty() && ::access(node.c_str(), F_OK) == 0)
        return true;
      pump(10);
    }
    return false;
  }

  // Unplugs it; the kernel removes the node before this returns.
  bool destroy() {
    uhid_event event{};
    event.type = UHID_DESTROY;
    return send(event);
  }

  // Sends the pendant's 7 data bytes as its input report (with its id when numbered).
  bool sendReport(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> report = data;
    if (numbered_)
      report.insert(report.begin(), kNumberedInputId);
    return sendRaw(report);
  }
  // Sends exactly these bytes as one input report.
  bool sendRaw(const std::vector<uint8_t>& bytes) {
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<uint16_t>(bytes.size());
    std::memcpy(event.u.input2.data, bytes.data(), bytes.size());
    return send(event);
  }
  // A report of the device's that is not the pendant's: another id, or another length.
  bool sendOtherReport() {
    return numbered_ ? sendRaw({kNumberedOtherId, 0x7F, 0x7F}) : sendRaw({0x7F, 0x7F, 0x7F});
  }

  // Handles what the kernel sent within `timeoutMs`: output reports are kept in `outputs`,
  // opens and closes of the hidraw node counted, report requests refused.
  void pump(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0)
        return;
      uhid_event event{};
      while (::read(fd_, &event, sizeof event) > 0) {
        switch (event.type) {
          case UHID_OPEN:
            ++opens;
            break;
          case UHID_CLOSE:
            ++closes;
            break;
          case UHID_OUTPUT: {
            // The event is packed: copy out, take no reference to its members.
            const uint16_t size = event.u.output.size;
            std::vector<uint8_t> output(std::min<std::size_t>(size, UHID_DATA_MAX));
            std::memcpy(output.data(), &event.u.output, output.size());
            outputs.push_back(std::move(output));
            break;
          }
          case UHID_GET_REPORT: {
            uhid_event reply{};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = event.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            send(reply);
            break;
          }
          case UHID_SET_REPORT: {
            uhid_event reply{};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = event.u.set_report.id;
            reply.u.set_report_reply.err = EIO;
            send(reply);
            break;
          }
          default:
            break;
        }
        event = {};
      }
    }
  }

  bool valid() const { return fd_ >= 0; }

  std::vector<std::vector<uint8_t>> outputs;
  int opens = 0;
  int closes = 0;

 private:
  bool send(const uhid_event& event) {
    return ::write(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
  }

  // The hidraw node of a device with the pendant's HID id (there is only ours in the VM).
  std::string findNode() const {
    char id[64];
    std::snprintf(id, sizeof id, "HID_ID=0003:0000%04X:0000%04X", vendor_, product_);
    for (int number = 0; number < 16; ++number) {
      const std::string name = "hidraw" + std::to_string(number);
      std::ifstream uevent("/sys/class/hidraw/" + name + "/device/uevent");
      std::string line;
      while (std::getline(uevent, line)) {
        if (line == id)
          return "/dev/" + name;
      }
    }
    return {};
  }

  bool numbered_;
  uint16_t vendor_;
  uint16_t product_;
  int fd_ = -1;
};

}  // namespace k4::hidvm
