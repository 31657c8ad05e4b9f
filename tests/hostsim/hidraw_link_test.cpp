// Live mode finds the first pendant among the hidraw devices by its HID id, in device-number
// order whatever order the directory lists them in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "hidraw_link.h"

namespace k4::hostsim {
namespace {

namespace fs = std::filesystem;

void addDevice(const fs::path& root, const std::string& name, const std::string& hidId) {
  fs::create_directories(root / name / "device");
  std::ofstream(root / name / "device" / "uevent")
      << "DRIVER=hid-generic\nHID_ID=" << hidId << "\nHID_NAME=device\n";
}

TEST(FindPendantHidraw, PicksTheLowestNumberedPendant) {
  const fs::path root = fs::temp_directory_path() / "k4-hostsim-sysfs-test";
  fs::remove_all(root);
  EXPECT_EQ(findPendantHidraw(root.string(), "/dev"), "");  // no sysfs tree at all
  addDevice(root, "hidraw0", "0003:0000046D:0000C52B");     // another HID device
  EXPECT_EQ(findPendantHidraw(root.string(), "/dev"), "");
  addDevice(root, "hidraw12", "0003:000004D8:0000FCE5");
  addDevice(root, "hidraw3", "0003:000004D8:0000FCE5");
  addDevice(root, "hidraw2", "0003:000004D8:0000FCE6");  // a neighbouring product id
  EXPECT_EQ(findPendantHidraw(root.string(), "/dev"), "/dev/hidraw3");
  fs::remove_all(root);
}

}  // namespace
}  // namespace k4::hostsim
