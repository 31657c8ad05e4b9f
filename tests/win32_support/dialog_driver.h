// Drives the configuration dialog through its real controls while its modal loop runs, the way a
// user would: a thread timer, served by that very loop, plays a script of steps against the
// dialog and the message boxes it opens. Shared by the test program that opens the dialog from
// its own resources and by the stand-in host that opens it through the plug-in's Config.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace k4::test {

inline std::string windowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

inline std::string className(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The visible dialog windows of this thread: the configuration dialog, recognised by its
// caption, and a message box it has opened.
struct DialogWindows {
  HWND dialog = nullptr;
  HWND messageBox = nullptr;
};

inline BOOL CALLBACK collectDialogWindow(HWND window, LPARAM found) {
  auto& windows = *reinterpret_cast<DialogWindows*>(found);
  if (className(window) != "#32770" || !IsWindowVisible(window))
    return TRUE;
  if (windowText(window) == "Configuration") {
    windows.dialog = window;
  } else {
    windows.messageBox = window;
  }
  return TRUE;
}

inline DialogWindows threadDialogWindows() {
  DialogWindows windows;
  EnumThreadWindows(GetCurrentThreadId(), &collectDialogWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// The text of a message box: its static control 0xFFFF.
inline std::string messageBoxText(HWND messageBox) {
  return windowText(GetDlgItem(messageBox, 0xFFFF));
}

// One step of a script; returns true when done, false to be called again on the next tick.
using DialogStep = std::function<bool(const DialogWindows&)>;

struct DialogDriver {
  static constexpr UINT kTickMilliseconds = 20;
  static constexpr int kTickLimit = 300;  // about six seconds

  std::vector<DialogStep> steps;
  std::size_t next = 0;
  int ticks = 0;
  bool timedOut = false;

  bool finished() const { return next == steps.size(); }
};

inline DialogDriver* activeDialogDriver = nullptr;

inline void CALLBACK onDialogDriverTick(HWND, UINT, UINT_PTR, DWORD) {
  DialogDriver& driver = *activeDialogDriver;
  const DialogWindows windows = threadDialogWindows();
  if (++driver.ticks > DialogDriver::kTickLimit) {
    // A script that stalls must not hang the test program: close whatever is open.
    driver.timedOut = true;
    if (windows.messageBox != nullptr)
      PostMessageA(windows.messageBox, WM_COMMAND, IDOK, 0);
    if (windows.dialog != nullptr)
      PostMessageA(windows.dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  if (windows.dialog == nullptr || driver.finished())
    return;
  if (driver.steps[driver.next](windows))
    ++driver.next;
}

// Calls `runModal`, which opens the dialog modally on this thread, and plays the steps against
// the dialog while it is open.
inline void playWhileModal(DialogDriver& driver, std::vector<DialogStep> steps,
                           const std::function<void()>& runModal) {
  driver.steps = std::move(steps);
  activeDialogDriver = &driver;
  const UINT_PTR timer = SetTimer(nullptr, 0, DialogDriver::kTickMilliseconds, &onDialogDriverTick);
  runModal();
  KillTimer(nullptr, timer);
  activeDialogDriver = nullptr;
}

// Posted, so that the click is handled by the dialog's own loop and not inside the timer.
inline bool clickOk(const DialogWindows& windows) {
  PostMessageA(GetDlgItem(windows.dialog, IDOK), BM_CLICK, 0, 0);
  return true;
}

inline bool pressEscape(const DialogWindows& windows) {
  HWND focus = GetFocus();
  PostMessageA(focus != nullptr ? focus : windows.dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  return true;
}

// Waits for a message box, records its text and dismisses it.
inline DialogStep dismissMessageBox(std::vector<std::string>& texts) {
  return [&texts](const DialogWindows& windows) {
    if (windows.messageBox == nullptr)
      return false;
    texts.push_back(messageBoxText(windows.messageBox));
    PostMessageA(windows.messageBox, WM_COMMAND, IDOK, 0);
    return true;
  };
}

}  // namespace k4::test
