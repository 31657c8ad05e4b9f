#include "platform/hosted/host_tables.h"

#include <cstddef>

namespace k4 {

namespace {

// Whether a table of `size` bytes, as the host built it, holds `member` whole.
template <typename Table, typename Member>
bool covers(const Table& table, const Member& member) {
  const auto* start = reinterpret_cast<const unsigned char*>(&table);
  const auto* end = reinterpret_cast<const unsigned char*>(&member) + sizeof member;
  return static_cast<std::size_t>(end - start) <= table.size;
}

template <typename Table>
bool knownVersion(const Table& table) {
  return table.version >= 1 && table.version <= K4_HOST_VIEW_VERSION;
}

}  // namespace

const k4_host_view* usableHostView(const void* view) {
  const auto* hostView = static_cast<const k4_host_view*>(view);
  if (hostView == nullptr || !knownVersion(*hostView) || !covers(*hostView, hostView->unwatch_fd))
    return nullptr;
  if (hostView->add_timer == nullptr || hostView->remove_timer == nullptr)
    return nullptr;
  // A watch that could not be withdrawn would outlive the plug-in's use of it.
  if (hostView->watch_fd != nullptr && hostView->unwatch_fd == nullptr)
    return nullptr;
  return hostView;
}

bool usableDeviceTable(const k4_device_table* table) {
  if (table == nullptr || !knownVersion(*table) ||
      !covers(*table, table->unregister_notifications)) {
    return false;
  }
  const bool required = table->begin_enumeration != nullptr && table->interface_path != nullptr &&
                        table->end_enumeration != nullptr && table->open_probe != nullptr &&
                        table->attributes != nullptr && table->open_read != nullptr &&
                        table->open_write != nullptr && table->close != nullptr &&
                        table->read_report != nullptr && table->write_report != nullptr;
  const bool notificationsPaired =
      table->register_notifications == nullptr || table->unregister_notifications != nullptr;
  return required && notificationsPaired;
}

bool usableDialogTable(const k4_dialog_table* table) {
  return table != nullptr && knownVersion(*table) && covers(*table, table->show_message) &&
         table->run_modal != nullptr;
}

const k4_device_table* hostDeviceTable(const k4_host_view& view) {
  if (!covers(view, view.devices) || !usableDeviceTable(view.devices))
    return nullptr;
  return view.devices;
}

const k4_dialog_table* hostDialogTable(const k4_host_view& view) {
  if (!covers(view, view.dialog) || !usableDialogTable(view.dialog))
    return nullptr;
  return view.dialog;
}

}  // namespace k4
