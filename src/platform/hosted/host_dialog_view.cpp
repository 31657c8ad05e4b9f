#include "platform/hosted/host_dialog_view.h"

#include <cstring>
#include <string_view>

#include "settings/memory_dialog_controls.h"
#include "settings/propertiesdlg.h"

namespace k4 {

namespace {

enum class ControlKind { List, Field, RadioPair, Check };

struct KeyControl {
  const char* key;
  int id;
  ControlKind kind;
};

// Every setting key and the control that edits it. The radio pair is named by its first button.
constexpr KeyControl kKeyControls[] = {
    {"BUTTON0", dialog_id::kButton0List, ControlKind::List},
    {"BUTTON1", dialog_id::kButton1List, ControlKind::List},
    {"BUTTON2", dialog_id::kButton2List, ControlKind::List},
    {"BUTTON3", dialog_id::kButton3List, ControlKind::List},
    {"StepSize1", dialog_id::kStepSize1List, ControlKind::List},
    {"StepSize2", dialog_id::kStepSize2List, ControlKind::List},
    {"StepSize3", dialog_id::kStepSize3List, ControlKind::List},
    {"Vel", dialog_id::kVelList, ControlKind::List},
    {"AxisASelection", dialog_id::kAxisAList, ControlKind::List},
    {"AxisBSelection", dialog_id::kAxisBList, ControlKind::List},
    {"AxisCSelection", dialog_id::kAxisCList, ControlKind::List},
    {"AxisXYZSelection", dialog_id::kAxisXYZList, ControlKind::List},
    {"Macro1", dialog_id::kMacro1Field, ControlKind::Field},
    {"Macro2", dialog_id::kMacro2Field, ControlKind::Field},
    {"Macro3", dialog_id::kMacro3Field, ControlKind::Field},
    {"Macro4", dialog_id::kMacro4Field, ControlKind::Field},
    {"OEM1", dialog_id::kOem1Field, ControlKind::Field},
    {"OEM2", dialog_id::kOem2Field, ControlKind::Field},
    {"OEM3", dialog_id::kOem3Field, ControlKind::Field},
    {"OEM4", dialog_id::kOem4Field, ControlKind::Field},
    {"StepJogRate", dialog_id::kFeedRateField, ControlKind::Field},
    {"DelaySteps", dialog_id::kDelayStepsField, ControlKind::Field},
    {"SingleMode", dialog_id::kSingleMpgRadio, ControlKind::RadioPair},
    {"AutoMode", dialog_id::kAutoModeCheck, ControlKind::Check},
    {"AutoChangeSens", dialog_id::kAutoChangeSensList, ControlKind::List},
    {"VelocityInAuto", dialog_id::kVelocityInAutoList, ControlKind::List},
    {"SlowDownRate", dialog_id::kSlowDownRateList, ControlKind::List},
};

const KeyControl* controlFor(const char* key) {
  if (key == nullptr)
    return nullptr;
  for (const KeyControl& entry : kKeyControls) {
    if (std::strcmp(entry.key, key) == 0)
      return &entry;
  }
  return nullptr;
}

// One run of the host's dialog: the model, its controls, and what the host has done so far.
struct Session {
  propertiesdlg& dialog;
  MemoryDialogControls& controls;
  const k4_dialog_table& table;
  bool accepted = false;
  std::size_t messagesShown = 0;

  static Session& of(void* context) { return *static_cast<Session*>(context); }

  // The host hands a message on at once, as the real dialog shows it before OK returns.
  void showNewMessages() {
    for (; messagesShown < controls.messages.size(); ++messagesShown) {
      if (table.show_message != nullptr)
        table.show_message(table.context, controls.messages[messagesShown].c_str());
    }
  }
};

// The functions the host calls. Once the dialog has closed they change nothing; nothing thrown
// may unwind into the host's frames. `edit` answers whether the key's control is of its kind.
template <typename Edit>
int editControl(void* context, const char* key, Edit edit) {
  try {
    Session& session = Session::of(context);
    const KeyControl* control = controlFor(key);
    if (session.accepted || control == nullptr)
      return 0;
    return edit(session.controls, *control) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int setText(void* context, const char* key, const char* text) {
  return editControl(context, key, [text](MemoryDialogControls& controls, const KeyControl& c) {
    if (c.kind != ControlKind::List && c.kind != ControlKind::Field)
      return false;
    controls.setText(c.id, text != nullptr ? std::string_view(text) : "");
    return true;
  });
}

int selectEntry(void* context, const char* key, int position) {
  return editControl(context, key, [position](MemoryDialogControls& controls, const KeyControl& c) {
    if (c.kind != ControlKind::List)
      return false;
    controls.selectListEntry(c.id, position);
    return true;
  });
}

int setCheck(void* context, const char* key, int checked) {
  return editControl(context, key, [checked](MemoryDialogControls& controls, const KeyControl& c) {
    if (c.kind == ControlKind::RadioPair) {
      // The pair's first button gives the key 0, the second 1; checking one unchecks the other.
      controls.setChecked(checked != 0 ? dialog_id::kVelocityMpgRadio : c.id, true);
      return true;
    }
    if (c.kind != ControlKind::Check)
      return false;
    controls.setChecked(c.id, checked != 0);
    return true;
  });
}

int pressOk(void* context) {
  try {
    Session& session = Session::of(context);
    if (session.accepted)
      return 0;
    session.accepted = session.dialog.acceptAndClose();
    session.showNewMessages();
    return session.accepted ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

int HostDialogView::runModal(propertiesdlg& dialog) {
  if (table_ == nullptr)
    return kDialogCancel;
  MemoryDialogControls controls;
  dialog.attach(controls);
  if (!dialog.initialiseControls())
    return kDialogCancel;
  Session session{dialog, controls, *table_};
  const k4_dialog_controls handed{K4_HOST_VIEW_VERSION,
                                  sizeof(k4_dialog_controls),
                                  &session,
                                  &setText,
                                  &selectEntry,
                                  &setCheck,
                                  &pressOk};
  table_->run_modal(table_->context, &handed);
  session.showNewMessages();
  // Whatever the host answers, only an accepted OK stored the settings.
  return session.accepted ? kDialogOk : kDialogCancel;
}

}  // namespace k4
