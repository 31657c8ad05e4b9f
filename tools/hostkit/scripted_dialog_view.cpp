#include "scripted_dialog_view.h"

#include <utility>

namespace k4 {

ScriptedDialogView::ScriptedDialogView() : table_{} {
  table_.version = K4_HOST_VIEW_VERSION;
  table_.size = sizeof table_;
  table_.context = this;
  table_.run_modal = [](void* context, const k4_dialog_controls* controls) {
    return static_cast<ScriptedDialogView*>(context)->runModal(*controls);
  };
  table_.show_message = [](void* context, const char* text) {
    static_cast<ScriptedDialogView*>(context)->messages_.emplace_back(text != nullptr ? text : "");
  };
}

void ScriptedDialogView::setScript(std::vector<Step> steps) {
  steps_ = std::move(steps);
}

int ScriptedDialogView::runModal(const k4_dialog_controls& controls) {
  // A script serves one dialog only; a later dialog without a script of its own just escapes.
  const std::vector<Step> steps = std::exchange(steps_, {});
  messages_.clear();
  void* const context = controls.context;
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::Kind::SetText:
        controls.set_text(context, step.key.c_str(), step.text.c_str());
        break;
      case Step::Kind::SelectEntry:
        controls.select_entry(context, step.key.c_str(), step.value);
        break;
      case Step::Kind::SetCheck:
        controls.set_check(context, step.key.c_str(), step.value);
        break;
      case Step::Kind::PressOk:
        // A refused OK leaves the dialog open for the steps that follow.
        if (controls.press_ok(context) != 0)
          return K4_DIALOG_OK;
        break;
      case Step::Kind::PressEscape:
        return K4_DIALOG_CANCEL;
    }
  }
  return K4_DIALOG_CANCEL;
}

}  // namespace k4
