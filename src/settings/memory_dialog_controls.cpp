#include "settings/memory_dialog_controls.h"

#include <cstddef>

namespace k4 {

std::string MemoryDialogControls::text(int id) {
  if (auto list = lists.find(id); list != lists.end())
    return list->second.text;
  auto field = fields.find(id);
  return field != fields.end() ? field->second : std::string{};
}

void MemoryDialogControls::setText(int id, std::string_view text) {
  if (auto found = lists.find(id); found != lists.end()) {
    List& list = found->second;
    list.text = text;
    list.selection = -1;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
      if (list.entries[i] == text) {
        list.selection = static_cast<int>(i);
        break;
      }
    }
    return;
  }
  fields[id] = text;
}

void MemoryDialogControls::clearList(int id) {
  lists[id] = List{};
}

void MemoryDialogControls::addListEntry(int id, std::string_view text) {
  lists[id].entries.emplace_back(text);
}

void MemoryDialogControls::selectListEntry(int id, int position) {
  List& list = lists[id];
  if (position >= 0 && static_cast<std::size_t>(position) < list.entries.size()) {
    list.selection = position;
    list.text = list.entries[static_cast<std::size_t>(position)];
  } else {
    list.selection = -1;
    list.text.clear();
  }
}

int MemoryDialogControls::listSelection(int id) {
  auto list = lists.find(id);
  return list != lists.end() ? list->second.selection : -1;
}

bool MemoryDialogControls::isChecked(int id) {
  auto check = checks.find(id);
  return check != checks.end() && check->second;
}

void MemoryDialogControls::setChecked(int id, bool checked) {
  checks[id] = checked;
  if (!checked)
    return;
  if (id == dialog_id::kSingleMpgRadio)
    checks[dialog_id::kVelocityMpgRadio] = false;
  if (id == dialog_id::kVelocityMpgRadio)
    checks[dialog_id::kSingleMpgRadio] = false;
}

const MemoryDialogControls::List* MemoryDialogControls::list(int id) const {
  auto found = lists.find(id);
  return found != lists.end() ? &found->second : nullptr;
}

}  // namespace k4
