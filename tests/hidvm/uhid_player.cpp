// k4-uhid-pendant: plays a uhid pendant from a script, for the live runs in the test VM, and
// reads back every output report the host side sends it.
//   k4-uhid-pendant unnumbered|numbered SCRIPT
// Script lines: create | destroy | sleep MS | report HEX... (the 7 data bytes) | other (a report
// of the device's that is not the pendant's) | await-open (until the hidraw node is opened) |
// mark FILE (creates FILE, for the script around it) | await-file FILE (until FILE exists, at
// most a minute) | foreign-create, foreign-destroy (another kind of HID device, ids 1209:0001,
// which takes the lowest free hidraw number). # starts a comment. While it waits it reads what the
// kernel sends it. Ends with "pendant: N output reports, M malformed" and fails when any was
// malformed or a step failed.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "uhid_pendant.h"

namespace {

using k4::hidvm::UhidPendant;

// An output report as the device receives it: report id, then the LED and axis byte (bits 1
// and 7 always clear, axis 0 to 5) and three zero bytes.
bool wellFormed(const std::vector<uint8_t>& output, uint8_t id) {
  return output.size() == 5 && output[0] == id && (output[1] & 0x82) == 0 &&
         ((output[1] >> 4) & 7) <= 5 && output[2] == 0 && output[3] == 0 && output[4] == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "unnumbered" && std::string(argv[1]) != "numbered")) {
    std::fprintf(stderr, "usage: k4-uhid-pendant unnumbered|numbered SCRIPT\n");
    return 2;
  }
  const bool numbered = std::string(argv[1]) == "numbered";
  UhidPendant pendant(numbered);
  UhidPendant foreign(false, 0x1209, 0x0001);
  if (!pendant.valid() || !foreign.valid()) {
    std::perror("pendant: /dev/uhid");
    return 1;
  }
  const uint8_t id = numbered ? k4::hidvm::kNumberedOutputId : 0;
  std::ifstream script(argv[2]);
  std::string line;
  std::size_t checked = 0;
  int malformed = 0;
  int failed = 0;
  auto checkOutputs = [&] {
    for (; checked < pendant.outputs.size(); ++checked) {
      if (!wellFormed(pendant.outputs[checked], id)) {
        if (++malformed <= 5) {
          std::printf(
              "pendant: malformed output report %s\n",
              k4::hidvm::hex(pendant.outputs[checked].data(), pendant.outputs[checked].size())
                  .c_str());
        }
      }
    }
  };
  while (std::getline(script, line)) {
    std::istringstream words(line);
    std::string command;
    if (!(words >> command) || command[0] == '#')
      continue;
    bool ok = true;
    if (command == "create") {
      std::string node;
      ok = pendant.create(node);
      if (ok)
        std::printf("pendant: created %s\n", node.c_str());
    } else if (command == "destroy") {
      ok = pendant.destroy();
      pendant.opens = 0;
    } else if (command == "foreign-create") {
      std::string node;
      ok = foreign.create(node);
      if (ok)
        std::printf("pendant: foreign device created %s\n", node.c_str());
    } else if (command == "foreign-destroy") {
      ok = foreign.destroy();
    } else if (command == "sleep") {
      int ms = 0;
      words >> ms;
      pendant.pump(ms);
    } else if (command == "report") {
      std::vector<uint8_t> data;
      std::string byte;
      while (words >> byte)
        data.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
      ok = data.size() == 7 && pendant.sendReport(data);
    } else if (command == "other") {
      ok = pendant.sendOtherReport();
    } else if (command == "await-open") {
      for (int tries = 0; tries < 200 && pendant.opens == 0; ++tries)
        pendant.pump(50);
      ok = pendant.opens > 0;
    } else if (command == "await-file") {
      std::string file;
      words >> file;
      for (int tries = 0; tries < 1200 && ::access(file.c_str(), F_OK) != 0; ++tries)
        pendant.pump(50);
      ok = ::access(file.c_str(), F_OK) == 0;
    } else if (command == "mark") {
      std::string file;
      words >> file;
      std::FILE* marker = std::fopen(file.c_str(), "w");
      ok = marker != nullptr;
      if (marker != nullptr)
        std::fclose(marker);
    } else {
      ok = false;
    }
    if (!ok) {
      std::printf("pendant: failed: %s\n", line.c_str());
      ++failed;
    }
    checkOutputs();
    std::fflush(stdout);
  }
  pendant.pump(100);
  checkOutputs();
  std::printf("pendant: %zu output reports, %d malformed\n", pendant.outputs.size(), malformed);
  return failed == 0 && malformed == 0 ? 0 : 1;
}
