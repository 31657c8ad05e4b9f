// The plug-in's side of the C contract: which tables a host hands over are used, and how the
// device adapter reads a host's answers. A host in another language gets no compiler's help, so
// a table it got wrong must cost it the table, never a call through a bad pointer.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <string>

#include "fake_window.h"
#include "platform/hosted/host_device_services.h"
#include "platform/hosted/host_tables.h"

namespace k4 {
namespace {

int addTimer(void*, uint32_t, k4_callback, void*) {
  return 1;
}
void removeById(void*, int) {}
int watchFd(void*, int, k4_callback, void*) {
  return 1;
}

k4_host_view completeView() {
  k4_host_view view{};
  view.version = K4_HOST_VIEW_VERSION;
  view.size = sizeof view;
  view.add_timer = &addTimer;
  view.remove_timer = &removeById;
  view.watch_fd = &watchFd;
  view.unwatch_fd = &removeById;
  return view;
}

TEST(HostTables, AHostViewIsUsedOnlyWhenItsVersionSizeAndRequiredFunctionsAreRight) {
  struct Case {
    const char* name;
    void (*spoil)(k4_host_view&);
    bool usable;
  };
  const Case cases[] = {
      {"complete", [](k4_host_view&) {}, true},
      {"no watches offered",
       [](k4_host_view& v) {
         v.watch_fd = nullptr;
         v.unwatch_fd = nullptr;
       },
       true},
      {"version 0", [](k4_host_view& v) { v.version = 0; }, false},
      {"a later version", [](k4_host_view& v) { v.version = K4_HOST_VIEW_VERSION + 1; }, false},
      {"size short of unwatch_fd",
       [](k4_host_view& v) { v.size = offsetof(k4_host_view, unwatch_fd); }, false},
      {"no add_timer", [](k4_host_view& v) { v.add_timer = nullptr; }, false},
      {"no remove_timer", [](k4_host_view& v) { v.remove_timer = nullptr; }, false},
      {"a watch that cannot be withdrawn", [](k4_host_view& v) { v.unwatch_fd = nullptr; }, false},
  };
  for (const Case& c : cases) {
    k4_host_view view = completeView();
    c.spoil(view);
    EXPECT_EQ(usableHostView(&view) != nullptr, c.usable) << c.name;
  }
  EXPECT_EQ(usableHostView(nullptr), nullptr);
}

TEST(HostTables, TablesBeyondTheSizeAHostBuiltAreNotRead) {
  // A version-1 host built before the tables existed would stop at run_nested; whatever lies
  // beyond its struct is not the plug-in's to read.
  k4_host_view view = completeView();
  view.devices = reinterpret_cast<const k4_device_table*>(&view);  // garbage if read
  view.dialog = reinterpret_cast<const k4_dialog_table*>(&view);
  view.size = offsetof(k4_host_view, devices);
  ASSERT_NE(usableHostView(&view), nullptr);
  EXPECT_EQ(hostDeviceTable(view), nullptr);
  EXPECT_EQ(hostDialogTable(view), nullptr);
}

// A stand-in with one interface under a long path; its answers are set by each test.
struct Host {
  std::string path;
  int writeAnswer = K4_WRITE_SENT;
  int asked = 0;
};

k4_device_table deviceTable(Host& host) {
  k4_device_table table{};
  table.version = K4_HOST_VIEW_VERSION;
  table.size = sizeof table;
  table.context = &host;
  table.begin_enumeration = [](void*) {};
  table.interface_path = [](void* context, uint32_t index, char* buffer, size_t capacity) {
    Host& self = *static_cast<Host*>(context);
    ++self.asked;
    if (index != 0)
      return -1;
    std::snprintf(buffer, capacity, "%s", self.path.c_str());
    return static_cast<int>(self.path.size());
  };
  table.end_enumeration = [](void*) {};
  table.open_probe = [](void*, const char*) -> k4_handle { return 7; };
  table.attributes = [](void*, k4_handle, uint16_t*, uint16_t*) { return 0; };
  table.open_read = [](void*, const char*) -> k4_handle { return 8; };
  table.open_write = [](void*, const char*) -> k4_handle { return 9; };
  table.close = [](void*, k4_handle) {};
  table.read_report = [](void*, k4_handle, uint8_t* report, int) {
    report[0] = 0xEE;  // scribbles, yet answers "no report"
    return 0;
  };
  table.write_report = [](void* context, k4_handle, const uint8_t*) {
    return static_cast<Host*>(context)->writeAnswer;
  };
  return table;
}

TEST(HostDeviceServices, APathLongerThanTheFirstBufferIsAskedForAgainWhole) {
  Host host{std::string(300, 'p') + "end"};
  const k4_device_table table = deviceTable(host);
  ASSERT_TRUE(usableDeviceTable(&table));
  HostDeviceServices devices(table);
  std::string path;
  ASSERT_TRUE(devices.interfacePath(0, path));
  EXPECT_EQ(path, host.path);
  EXPECT_EQ(host.asked, 2);
  EXPECT_FALSE(devices.interfacePath(1, path));
}

TEST(HostDeviceServices, OnlyTheHostsSentAndBusyAnswersAreTakenAtTheirWord) {
  Host host;
  const k4_device_table table = deviceTable(host);
  HostDeviceServices devices(table);
  const uint8_t report[kOutputReportSize] = {};
  const struct {
    int answer;
    WriteResult result;
  } cases[] = {{K4_WRITE_SENT, WriteResult::Sent},
               {K4_WRITE_BUSY, WriteResult::Busy},
               {K4_WRITE_FAILED, WriteResult::Failed},
               {-1, WriteResult::Failed},
               {99, WriteResult::Failed}};
  for (const auto& c : cases) {
    host.writeAnswer = c.answer;
    EXPECT_EQ(devices.writeReport(9, report), c.result) << c.answer;
  }
}

TEST(HostDeviceServices, AReadWithoutAReportLeavesTheReportAsItWas) {
  Host host;
  const k4_device_table table = deviceTable(host);
  HostDeviceServices devices(table);
  uint8_t report[kInputReportSize] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(devices.readReport(8, report, 5));
  EXPECT_EQ(report[0], 1);
  // Without notifications offered, registering is refused rather than called through null.
  test::FakeWindowLog log;
  test::FakeWindow window(log);
  EXPECT_FALSE(devices.registerNotifications(window));
}

TEST(HostDeviceServices, ATableMissingARequiredFunctionOrPairIsNotUsed) {
  Host host;
  k4_device_table table = deviceTable(host);
  table.read_report = nullptr;
  EXPECT_FALSE(usableDeviceTable(&table));
  table = deviceTable(host);
  table.register_notifications = [](void*, k4_device_sink, void*) { return 1; };
  EXPECT_FALSE(usableDeviceTable(&table)) << "notifications that cannot be withdrawn";
  table.size = offsetof(k4_device_table, write_report);
  EXPECT_FALSE(usableDeviceTable(&table));
}

}  // namespace
}  // namespace k4
