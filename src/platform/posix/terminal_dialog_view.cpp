#include "platform/posix/terminal_dialog_view.h"

#include <cctype>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "settings/memory_dialog_controls.h"
#include "settings/propertiesdlg.h"

namespace k4 {

namespace {

enum class ItemKind {
  Field,   // a number field: the line typed is its text
  List,    // a drop-down list: pick an entry, or type its text
  Choice,  // the radio pair, offered as a list of its two captions
  Check,   // the check box
};

struct TerminalItem {
  const char* group;  // set on the first item of a group: the group's heading
  int id;             // the control (for Choice: the first radio button of the pair)
  ItemKind kind;
  const char* label;  // the dialog's own caption beside the control
};

constexpr int kChoiceIds[] = {dialog_id::kSingleMpgRadio, dialog_id::kVelocityMpgRadio};
constexpr const char* kChoiceCaptions[] = {"Single MPG Mode", "Velocity MPG Mode."};

// In the dialog's order, top to bottom, left to right; the labels are its captions.
constexpr TerminalItem kItems[] = {
    {"Step jogging (S)", dialog_id::kStepSize1List, ItemKind::List,
     "Double click STOP Button to Select Step Size. Set NONE to Skip. #1"},
    {nullptr, dialog_id::kStepSize2List, ItemKind::List,
     "Double click STOP Button to Select Step Size. Set NONE to Skip. #2"},
    {nullptr, dialog_id::kStepSize3List, ItemKind::List,
     "Double click STOP Button to Select Step Size. Set NONE to Skip. #3"},
    {nullptr, dialog_id::kFeedRateField, ItemKind::Field,
     "Step Jogging Feed Rate. Set 0 to Use Feed Rate Currently in the System."},
    {nullptr, dialog_id::kSingleMpgRadio, ItemKind::Choice, "Press and Hold SIDE Button to :"},
    {nullptr, dialog_id::kAutoModeCheck, ItemKind::Check, "Step / Velocity Auto Mode."},
    {nullptr, dialog_id::kAutoChangeSensList, ItemKind::List,
     "Step / Vel  Mode Switch Sensitivity."},
    {nullptr, dialog_id::kVelocityInAutoList, ItemKind::List,
     "Speed Change Sensitivity in Step / Velocity Mode."},
    {"Velocity jogging (V)", dialog_id::kVelList, ItemKind::List, "Speed Change Sensitivity"},
    {nullptr, dialog_id::kSlowDownRateList, ItemKind::List,
     "Press SIDE Button to Slow Down to 1 /"},
    {"Continuous jogging (C)", dialog_id::kDelayStepsField, ItemKind::Field,
     "Steps to Delay the Start of Axis Movement in Continous Mode. 0 to 100."},
    {"Axis selection", dialog_id::kAxisXYZList, ItemKind::List, "X, Y, Z lamps"},
    {nullptr, dialog_id::kAxisAList, ItemKind::List, "A"},
    {nullptr, dialog_id::kAxisBList, ItemKind::List, "B"},
    {nullptr, dialog_id::kAxisCList, ItemKind::List, "C"},
    {"Buttons", dialog_id::kButton0List, ItemKind::List, "F1 Action Button"},
    {nullptr, dialog_id::kButton1List, ItemKind::List, "F1 Enable Button + Action Button"},
    {nullptr, dialog_id::kButton2List, ItemKind::List, "F2 Action Button"},
    {nullptr, dialog_id::kButton3List, ItemKind::List, "F2 Enable Button + Action Button"},
    {nullptr, dialog_id::kOem1Field, ItemKind::Field, "Custom OEM Button #1"},
    {nullptr, dialog_id::kOem2Field, ItemKind::Field, "Custom OEM Button #2"},
    {nullptr, dialog_id::kOem3Field, ItemKind::Field, "Custom OEM Button #3"},
    {nullptr, dialog_id::kOem4Field, ItemKind::Field, "Custom OEM Button #4"},
    {nullptr, dialog_id::kMacro1Field, ItemKind::Field, "Custom Macro #1"},
    {nullptr, dialog_id::kMacro2Field, ItemKind::Field, "Custom Macro #2"},
    {nullptr, dialog_id::kMacro3Field, ItemKind::Field, "Custom Macro #3"},
    {nullptr, dialog_id::kMacro4Field, ItemKind::Field, "Custom Macro #4"},
};
constexpr int kItemCount = static_cast<int>(std::size(kItems));

constexpr const char* kKeys =
    "Keys: Enter or n next item, p previous, g N item N, l the whole list, ok saves (OK), esc "
    "cancels (Escape).\n";

std::string trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

bool sameText(std::string_view a, std::string_view b) {
  const std::string x = trimmed(a);
  const std::string y = trimmed(b);
  if (x.size() != y.size())
    return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(x[i])) !=
        std::tolower(static_cast<unsigned char>(y[i]))) {
      return false;
    }
  }
  return true;
}

// A whole number of at most four digits, else -1.
int smallNumber(std::string_view text) {
  if (text.empty() || text.size() > 4)
    return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

class TerminalSession {
 public:
  TerminalSession(propertiesdlg& dialog, MemoryDialogControls& controls, std::istream& in,
                  std::ostream& out)
      : dialog_(dialog), controls_(controls), in_(in), out_(out) {}

  int run() {
    out_ << "Configuration (Orvane K4 Pendant)\n";
    showAll();
    out_ << kKeys;
    prompt();
    std::string line;
    while (std::getline(in_, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      const std::string command = trimmed(line);
      if (command == "ok") {
        controls_.messages.clear();
        if (dialog_.acceptAndClose())
          return kDialogOk;
        for (const std::string& message : controls_.messages)
          out_ << message << '\n';
        // The model puts the focus on the field it could not read: the cursor goes there.
        current_ = itemOf(controls_.focus, current_);
      } else if (command == "esc" || command == "cancel") {
        return kDialogCancel;
      } else if (command.empty() || command == "n") {
        current_ = (current_ + 1) % kItemCount;
      } else if (command == "p") {
        current_ = (current_ + kItemCount - 1) % kItemCount;
      } else if (command == "l") {
        showAll();
      } else if (command == "?" || command == "help") {
        help();
      } else if (command.size() > 2 && command.rfind("g ", 0) == 0) {
        const int target = smallNumber(trimmed(command.substr(2)));
        if (target >= 1 && target <= kItemCount)
          current_ = target - 1;
        else
          out_ << "There is no item " << trimmed(command.substr(2)) << "; items are 1 to "
               << kItemCount << ".\n";
      } else {
        edit(line, command);
      }
      prompt();
    }
    return kDialogCancel;
  }

 private:
  const TerminalItem& item() const { return kItems[current_]; }

  static int itemOf(int id, int fallback) {
    for (int i = 0; i < kItemCount; ++i) {
      if (kItems[i].id == id ||
          (kItems[i].kind == ItemKind::Choice && id == dialog_id::kVelocityMpgRadio)) {
        return i;
      }
    }
    return fallback;
  }

  int choice() {
    for (int i = 0; i < 2; ++i) {
      if (controls_.isChecked(kChoiceIds[i]))
        return i;
    }
    return -1;
  }

  std::string value(const TerminalItem& shown) {
    switch (shown.kind) {
      case ItemKind::Field:
      case ItemKind::List:
        return '[' + controls_.text(shown.id) + ']';
      case ItemKind::Choice: {
        const int chosen = choice();
        return '[' + std::string(chosen < 0 ? "" : kChoiceCaptions[chosen]) + ']';
      }
      case ItemKind::Check:
        return controls_.isChecked(shown.id) ? "[x]" : "[ ]";
    }
    return {};
  }

  void showItem(int index, bool cursor) {
    const TerminalItem& shown = kItems[index];
    out_ << (cursor ? "> " : "  ") << (index + 1 < 10 ? " " : "") << index + 1 << "  "
         << shown.label << ' ' << value(shown) << '\n';
  }

  void showAll() {
    for (int i = 0; i < kItemCount; ++i) {
      if (kItems[i].group != nullptr)
        out_ << kItems[i].group << '\n';
      showItem(i, false);
    }
  }

  void prompt() {
    showItem(current_, true);
    switch (item().kind) {
      case ItemKind::Field:
        out_ << "     type a whole number; Enter keeps it\n";
        break;
      case ItemKind::List:
      case ItemKind::Choice:
        out_ << "     + next entry, - previous entry, ? the entries, #N entry N, or type an "
                "entry\n";
        break;
      case ItemKind::Check:
        out_ << "     x ticks or clears it\n";
        break;
    }
  }

  void help() {
    out_ << kKeys;
    if (item().kind == ItemKind::Choice) {
      for (int i = 0; i < 2; ++i)
        out_ << "    #" << i + 1 << "  " << kChoiceCaptions[i] << '\n';
    } else if (item().kind == ItemKind::List) {
      if (const MemoryDialogControls::List* list = controls_.list(item().id)) {
        for (std::size_t i = 0; i < list->entries.size(); ++i)
          out_ << "    #" << i + 1 << "  " << list->entries[i] << '\n';
      }
    }
  }

  int entryCount() {
    if (item().kind == ItemKind::Choice)
      return 2;
    const MemoryDialogControls::List* list = controls_.list(item().id);
    return list != nullptr ? static_cast<int>(list->entries.size()) : 0;
  }

  int selection() {
    return item().kind == ItemKind::Choice ? choice() : controls_.listSelection(item().id);
  }

  void select(int position) {
    if (item().kind == ItemKind::Choice)
      controls_.setChecked(kChoiceIds[position], true);
    else
      controls_.selectListEntry(item().id, position);
  }

  enum class Pick { None, Picked, Refused };

  // Picks an entry by "+", "-", "#N" or its text; None when `command` is none of them.
  Pick pickEntry(const std::string& command) {
    const int count = entryCount();
    if (count == 0)
      return Pick::None;
    const int selected = selection();
    if (command == "+") {
      select(selected < 0 ? 0 : (selected + 1) % count);
      return Pick::Picked;
    }
    if (command == "-") {
      select(selected <= 0 ? count - 1 : selected - 1);
      return Pick::Picked;
    }
    if (command.size() > 1 && command[0] == '#') {
      const int position = smallNumber(command.substr(1));
      if (position >= 1 && position <= count) {
        select(position - 1);
        return Pick::Picked;
      }
      out_ << "There is no entry " << command << "; entries are #1 to #" << count << ".\n";
      return Pick::Refused;
    }
    for (int i = 0; i < count; ++i) {
      const std::string entry =
          item().kind == ItemKind::Choice
              ? std::string(kChoiceCaptions[i])
              : controls_.list(item().id)->entries[static_cast<std::size_t>(i)];
      if (sameText(entry, command)) {
        select(i);
        return Pick::Picked;
      }
    }
    return Pick::None;
  }

  void edit(const std::string& line, const std::string& command) {
    switch (item().kind) {
      case ItemKind::Field:
        // The text as typed, blanks included: the dialog reads it as the Windows field would.
        controls_.setText(item().id, line);
        current_ = (current_ + 1) % kItemCount;
        return;
      case ItemKind::List:
        switch (pickEntry(command)) {
          case Pick::None:
            controls_.setText(item().id, line);  // typed into the list's edit part
            break;
          case Pick::Picked:
            break;
          case Pick::Refused:
            return;
        }
        break;
      case ItemKind::Choice:
        if (pickEntry(command) != Pick::Picked) {
          out_ << "Choose #1 " << kChoiceCaptions[0] << " or #2 " << kChoiceCaptions[1] << ".\n";
          return;
        }
        break;
      case ItemKind::Check:
        if (command == "x") {
          controls_.setChecked(item().id, !controls_.isChecked(item().id));
        } else {
          out_ << "Type x to tick or clear \"" << item().label << "\".\n";
        }
        return;
    }
    // "+" and "-" stay on the list, to be pressed again; a chosen or typed entry moves on.
    if (command != "+" && command != "-")
      current_ = (current_ + 1) % kItemCount;
  }

  propertiesdlg& dialog_;
  MemoryDialogControls& controls_;
  std::istream& in_;
  std::ostream& out_;
  int current_ = 0;
};

}  // namespace

int TerminalDialogView::runModal(propertiesdlg& dialog) {
  MemoryDialogControls controls;
  dialog.attach(controls);
  if (!dialog.initialiseControls())
    return kDialogCancel;
  TerminalSession session(dialog, controls, in_, out_);
  return session.run();
}

}  // namespace k4
