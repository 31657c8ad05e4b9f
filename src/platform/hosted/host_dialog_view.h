// A dialog view over a host's dialog table (host/k4_host_view.h): the host stands in for the
// configuration dialog and edits its controls, addressed by setting key, through the
// k4_dialog_controls the plug-in hands it. Portable: the controls are kept in memory.
#pragma once

#include "host/k4_host_view.h"
#include "platform/dialog.h"

namespace k4 {

class HostDialogView final : public DialogView {
 public:
  HostDialogView() = default;
  // `table` must be usable (usableDialogTable) and outlive this view's use.
  explicit HostDialogView(const k4_dialog_table& table) : table_(&table) {}
  HostDialogView(const HostDialogView&) = delete;
  HostDialogView& operator=(const HostDialogView&) = delete;

  void bind(const k4_dialog_table* table) { table_ = table; }

  // kDialogOk only when the host pressed OK and the dialog accepted it.
  int runModal(propertiesdlg& dialog) override;

 private:
  const k4_dialog_table* table_ = nullptr;
};

}  // namespace k4
