// The tables a host hands over through the C contract (host/k4_host_view.h), checked before
// the plug-in uses them: a table of a version this plug-in does not know, too small for the
// members it must have, or without a required function is not used at all, so a host's mistake
// costs it the table, never a call through a bad pointer.
#pragma once

#include "host/k4_host_view.h"

namespace k4 {

// The host view, or null when `view` is null or unusable.
const k4_host_view* usableHostView(const void* view);
// The view's device table / dialog table when it offers a usable one, else null.
const k4_device_table* hostDeviceTable(const k4_host_view& view);
const k4_dialog_table* hostDialogTable(const k4_host_view& view);

// The same checks for a device table handed over directly (tests, other platforms).
bool usableDeviceTable(const k4_device_table* table);
bool usableDialogTable(const k4_dialog_table* table);

}  // namespace k4
