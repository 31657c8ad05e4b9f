// The configuration dialog on Windows: dialog template 4013 from the module's own resources,
// shown modally without a parent window. The dialog procedure binds the model to the real
// controls; the modal loop keeps serving the pendant window's timer while the dialog is open.
#include <windows.h>

#include <string>

#include "platform/dialog.h"
#include "settings/propertiesdlg.h"

namespace k4 {

namespace {

constexpr const char* kMessageCaption = "Orvane K4 Pendant";

// The module that holds the dialog's resources: the plug-in, or the program the dialog's code
// is linked into.
HINSTANCE resourceModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&resourceModule), &module)) {
    return nullptr;
  }
  return module;
}

class Win32DialogControls final : public DialogControls {
 public:
  void bind(HWND dialog) { dialog_ = dialog; }

  std::string text(int id) override {
    HWND control = GetDlgItem(dialog_, id);
    if (control == nullptr)
      return {};
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    const UINT length = GetDlgItemTextA(dialog_, id, text.data(), static_cast<int>(text.size()));
    text.resize(length);
    return text;
  }
  void setText(int id, std::string_view text) override {
    SetDlgItemTextA(dialog_, id, std::string(text).c_str());
  }
  void clearList(int id) override { SendDlgItemMessageA(dialog_, id, CB_RESETCONTENT, 0, 0); }
  void addListEntry(int id, std::string_view text) override {
    const std::string entry(text);
    SendDlgItemMessageA(dialog_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  void selectListEntry(int id, int position) override {
    // CB_SETCURSEL with a position outside the list clears the selection and the edit text.
    SendDlgItemMessageA(dialog_, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  }
  int listSelection(int id) override {
    const LRESULT selection = SendDlgItemMessageA(dialog_, id, CB_GETCURSEL, 0, 0);
    return selection == CB_ERR ? -1 : static_cast<int>(selection);
  }
  bool isChecked(int id) override { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
  void setChecked(int id, bool checked) override {
    // Each button on its own: the radio pair's ids are not adjacent, so a range would touch
    // every control numbered in between.
    CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  void showMessage(std::string_view text) override {
    MessageBoxA(dialog_, std::string(text).c_str(), kMessageCaption, MB_OK | MB_ICONEXCLAMATION);
  }
  void setFocus(int id) override {
    // Through the dialog manager, so that the default button and the edit selection follow.
    if (HWND control = GetDlgItem(dialog_, id)) {
      SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    }
  }

 private:
  HWND dialog_ = nullptr;
};

struct DialogSession {
  propertiesdlg* model;
  Win32DialogControls controls;
};

INT_PTR handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* session = reinterpret_cast<DialogSession*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    session->controls.bind(window);
    session->model->attach(session->controls);
    return session->model->initialiseControls() ? TRUE : FALSE;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
    return FALSE;
  auto* session = reinterpret_cast<DialogSession*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (LOWORD(wParam)) {
    case IDOK:
      if (session != nullptr && session->model->acceptAndClose())
        EndDialog(window, IDOK);
      return TRUE;
    case IDCANCEL:  // Escape: nothing stored
      EndDialog(window, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // No exception may unwind through the system's dialog manager; a failure inside the dialog
  // ends it the way Escape does.
  try {
    return handleMessage(window, message, wParam, lParam);
  } catch (...) {
    EndDialog(window, IDCANCEL);
    return TRUE;
  }
}

class Win32DialogView final : public DialogView {
 public:
  int runModal(propertiesdlg& dialog) override {
    DialogSession session{&dialog, {}};
    const INT_PTR result =
        DialogBoxParamA(resourceModule(), MAKEINTRESOURCEA(dialog_id::kTemplate), nullptr,
                        &dialogProcedure, reinterpret_cast<LPARAM>(&session));
    return result == IDOK ? kDialogOk : kDialogCancel;
  }
};

}  // namespace

// The host's view is not the dialog's parent: the dialog is created without one.
DialogView& platformDialogView(void*) {
  static Win32DialogView view;
  return view;
}

}  // namespace k4
