#include "platform/posix/terminal_dialog_view.h"

#include <istream>
#include <ostream>
#include <string>

#include "settings/memory_dialog_controls.h"
#include "settings/propertiesdlg.h"

namespace k4 {

namespace {

enum class ControlKind { Field, List, Radio, Check };

struct TerminalControl {
  int id;
  ControlKind kind;
  const char* text;  // the dialog's own text beside the control, or what the control edits
};

// In the dialog's order, top to bottom.
constexpr TerminalControl kControls[] = {
    {4032, ControlKind::List,
     "Double click STOP Button to Select Step Size. Set NONE to Skip. (1)"},
    {4033, ControlKind::List,
     "Double click STOP Button to Select Step Size. Set NONE to Skip. (2)"},
    {4034, ControlKind::List,
     "Double click STOP Button to Select Step Size. Set NONE to Skip. (3)"},
    {4169, ControlKind::Field,
     "Step Jogging Feed Rate. Set 0 to Use Feed Rate Currently in the System."},
    {4161, ControlKind::Radio, "Press and Hold SIDE Button to : Single MPG Mode"},
    {4035, ControlKind::Radio, "Press and Hold SIDE Button to : Velocity MPG Mode."},
    {4176, ControlKind::Check, "Step / Velocity Auto Mode. "},
    {4021, ControlKind::List, "Step / Vel  Mode Switch Sensitivity."},
    {4023, ControlKind::List, "Speed Change Sensitivity in Step / Velocity Mode."},
    {4037, ControlKind::List, "Speed Change Sensitivity"},
    {4022, ControlKind::List, "Press SIDE Button to Slow Down to 1 / "},
    {4170, ControlKind::Field,
     "Steps to Delay the Start of Axis Movement in Continous Mode. 0 to 100."},
    {4039, ControlKind::List, "Axis selection clicks"},
    {4038, ControlKind::List, "Axis A"},
    {4044, ControlKind::List, "Axis B"},
    {4045, ControlKind::List, "Axis C"},
    {4040, ControlKind::List, "F1 Action Button"},
    {4042, ControlKind::List, "F1 Enable Button + Action Button"},
    {4041, ControlKind::List, "F2 Action Button"},
    {4043, ControlKind::List, "F2 Enable Button + Action Button"},
    {4164, ControlKind::Field, "Custom OEM Button   #1"},
    {4165, ControlKind::Field, "Custom OEM Button   #2"},
    {4166, ControlKind::Field, "Custom OEM Button   #3"},
    {4167, ControlKind::Field, "Custom OEM Button   #4"},
    {4162, ControlKind::Field, "Custom Macro           #1"},
    {4163, ControlKind::Field, "Custom Macro           #2"},
    {4171, ControlKind::Field, "Custom Macro           #3"},
    {4168, ControlKind::Field, "Custom Macro           #4"},
};

const TerminalControl* findControl(int id) {
  for (const TerminalControl& control : kControls) {
    if (control.id == id)
      return &control;
  }
  return nullptr;
}

bool isPosition(const std::string& text) {
  if (text.empty())
    return false;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
  }
  return text.size() < 6;
}

void showControls(std::ostream& out, MemoryDialogControls& controls) {
  out << "Configuration\n";
  for (const TerminalControl& control : kControls) {
    out << "  " << control.id << "  " << control.text << ": ";
    switch (control.kind) {
      case ControlKind::Field:
        out << '[' << controls.text(control.id) << "]\n";
        break;
      case ControlKind::List:
        out << '[' << controls.text(control.id) << "] (entry " << controls.listSelection(control.id)
            << ")\n";
        break;
      case ControlKind::Radio:
      case ControlKind::Check:
        out << (controls.isChecked(control.id) ? "(x)" : "( )") << '\n';
        break;
    }
  }
  out << "Type \"ID VALUE\", \"ID ?\" for a list's entries, \"ok\" or \"esc\".\n";
}

void showEntries(std::ostream& out, const MemoryDialogControls::List& list) {
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    out << "    " << i << ": [" << list.entries[i] << "]\n";
  }
}

}  // namespace

int TerminalDialogView::runModal(propertiesdlg& dialog) {
  MemoryDialogControls controls;
  dialog.attach(controls);
  if (!dialog.initialiseControls())
    return kDialogCancel;
  showControls(out_, controls);

  std::string line;
  while (std::getline(in_, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line == "ok") {
      controls.messages.clear();
      if (dialog.acceptAndClose())
        return kDialogOk;
      for (const std::string& message : controls.messages)
        out_ << message << '\n';
      out_ << "Focus on " << controls.focus << ".\n";
      continue;
    }
    if (line == "esc")
      return kDialogCancel;

    // "ID VALUE": the value is everything after the first blank, leading blanks of a number
    // field's text included.
    const std::size_t blank = line.find(' ');
    int id = 0;
    bool haveId = blank != std::string::npos && blank > 0 && isPosition(line.substr(0, blank));
    if (haveId)
      id = std::stoi(line.substr(0, blank));
    const TerminalControl* control = haveId ? findControl(id) : nullptr;
    if (control == nullptr) {
      out_ << "Unknown command.\n";
      continue;
    }
    const std::string value = line.substr(blank + 1);
    switch (control->kind) {
      case ControlKind::Field:
        controls.setText(id, value);
        break;
      case ControlKind::List:
        if (value == "?") {
          if (const MemoryDialogControls::List* list = controls.list(id))
            showEntries(out_, *list);
          continue;
        }
        if (isPosition(value)) {
          controls.selectListEntry(id, std::stoi(value));
        } else {
          controls.setText(id, value);
        }
        break;
      case ControlKind::Radio:
        if (value != "0")
          controls.setChecked(id, true);
        break;
      case ControlKind::Check:
        controls.setChecked(id, value != "0");
        break;
    }
    out_ << "  " << id << ": ["
         << (control->kind == ControlKind::Radio || control->kind == ControlKind::Check
                 ? (controls.isChecked(id) ? "x" : " ")
                 : controls.text(id))
         << "]\n";
  }
  return kDialogCancel;
}

}  // namespace k4
