// The dialog's controls kept in memory: the views without a window (the scripted view of the
// host simulator and the tests, the terminal view) edit these, and the model reads them exactly
// as it reads the controls of the Windows dialog.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "settings/propertiesdlg.h"

namespace k4 {

class MemoryDialogControls final : public DialogControls {
 public:
  struct List {
    std::vector<std::string> entries;
    int selection = -1;
    std::string text;  // the edit part: the selected entry's text, or what was typed
  };

  std::string text(int id) override;
  // On a list, typing: the entry with exactly this text becomes the selection, else none.
  void setText(int id, std::string_view text) override;
  void clearList(int id) override;
  void addListEntry(int id, std::string_view text) override;
  void selectListEntry(int id, int position) override;
  int listSelection(int id) override;
  bool isChecked(int id) override;
  // Checking a radio button unchecks the other one of its pair, as the auto radio buttons do.
  void setChecked(int id, bool checked) override;
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  void setFocus(int id) override { focus = id; }

  const List* list(int id) const;

  std::map<int, std::string> fields;
  std::map<int, List> lists;
  std::map<int, bool> checks;
  std::vector<std::string> messages;
  int focus = 0;
};

}  // namespace k4
