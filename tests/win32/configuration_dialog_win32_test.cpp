// The configuration dialog on Windows, opened from the program's own resources and driven
// through its real controls from a thread timer while its modal loop runs, as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "platform/dialog.h"
#include "settings/configuration_dialog.h"
#include "settings/option_lists.h"
#include "settings/pendant_settings.h"
#include "settings/propertiesdlg.h"
#include "settings_defaults.h"

namespace k4 {
namespace {

using test::reconfigurationDefaults;

std::string listEntry(HWND dialog, int id, int position) {
  const LRESULT length = SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, position, 0);
  if (length == CB_ERR)
    return "<none>";
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, position, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

using test::className;
using test::clickOk;
using test::DialogDriver;
using test::DialogStep;
using test::pressEscape;
using test::windowText;
using Windows = test::DialogWindows;

// Runs the dialog as the plug-in does and plays the steps against it.
int runDriven(std::vector<DialogStep> steps, DialogDriver& driver) {
  int result = -1;
  test::playWhileModal(driver, std::move(steps), [&] { result = runConfigurationDialog(); });
  return result;
}

// Writes the dialog as shown on screen to a 24-bit BMP file.
bool saveScreenshot(HWND dialog, const char* path) {
  RedrawWindow(dialog, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT frame{};
  GetWindowRect(dialog, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC source = GetWindowDC(dialog);
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD rowSize = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = rowSize * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageSize;
    if (FILE* out = std::fopen(path, "wb")) {
      saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
              std::fwrite(bits, imageSize, 1, out) == 1;
      saved = std::fclose(out) == 0 && saved;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(dialog, source);
  return saved;
}

class ConfigurationDialogWin32 : public ::testing::Test {
 protected:
  void SetUp() override { pendantSettings = reconfigurationDefaults(); }
  void TearDown() override { pendantSettings = PendantSettings{}; }
  DialogDriver driver;
};

TEST_F(ConfigurationDialogWin32, OpensWithTheReReadSettingsAndOkStoresTheEdits) {
  struct Shown {
    std::string feedRate, delay, macro1, stepSize1, stepSize2, vel, autoChangeSens, velocityInAuto,
        slowDown, axisA, axisXYZ, button3;
    bool singleMpg = false, velocityMpg = true, autoMode = false;
    int buttonEntries = 0;
  } shown;
  const int result = runDriven(
      {
          [&](const Windows& w) {
            HWND d = w.dialog;
            shown.feedRate = windowText(GetDlgItem(d, 4169));
            shown.delay = windowText(GetDlgItem(d, 4170));
            shown.macro1 = windowText(GetDlgItem(d, 4162));
            shown.stepSize1 = windowText(GetDlgItem(d, 4032));
            shown.stepSize2 = windowText(GetDlgItem(d, 4033));
            shown.vel = windowText(GetDlgItem(d, 4037));
            shown.autoChangeSens = windowText(GetDlgItem(d, 4021));
            shown.velocityInAuto = windowText(GetDlgItem(d, 4023));
            shown.slowDown = windowText(GetDlgItem(d, 4022));
            shown.axisA = windowText(GetDlgItem(d, 4038));
            shown.axisXYZ = windowText(GetDlgItem(d, 4039));
            shown.button3 = windowText(GetDlgItem(d, 4043));
            shown.singleMpg = IsDlgButtonChecked(d, 4161) == BST_CHECKED;
            shown.velocityMpg = IsDlgButtonChecked(d, 4035) == BST_CHECKED;
            shown.autoMode = IsDlgButtonChecked(d, 4176) == BST_CHECKED;
            shown.buttonEntries = static_cast<int>(SendDlgItemMessageA(d, 4040, CB_GETCOUNT, 0, 0));
            return true;
          },
          [](const Windows& w) {
            SetDlgItemTextA(w.dialog, 4169, "150");
            SetDlgItemTextA(w.dialog, 4162, "  42");
            SetDlgItemTextA(w.dialog, 4164, "40000");
            SendDlgItemMessageA(w.dialog, 4032, CB_SETCURSEL, 4, 0);
            SendDlgItemMessageA(w.dialog, 4041, CB_SETCURSEL, 20, 0);  // a separator line
            // Clicked like a user: the radio pair and the check box are automatic buttons.
            SendMessageA(GetDlgItem(w.dialog, 4035), BM_CLICK, 0, 0);
            SendMessageA(GetDlgItem(w.dialog, 4176), BM_CLICK, 0, 0);
            return true;
          },
          &clickOk,
      },
      driver);

  EXPECT_FALSE(driver.timedOut);
  EXPECT_TRUE(driver.finished());
  EXPECT_EQ(shown.feedRate, "100");
  EXPECT_EQ(shown.delay, "25");
  EXPECT_EQ(shown.macro1, "0");
  EXPECT_EQ(shown.stepSize1, "0.001");
  EXPECT_EQ(shown.stepSize2, "NONE");
  EXPECT_EQ(shown.vel, "3");
  EXPECT_EQ(shown.autoChangeSens, "4");
  EXPECT_EQ(shown.velocityInAuto, "6");
  EXPECT_EQ(shown.slowDown, "4");
  EXPECT_EQ(shown.axisA, "Not Include A Axis in Axis Selection");
  EXPECT_EQ(shown.axisXYZ, "Single Click Selection");
  EXPECT_EQ(shown.button3, " NONE");
  EXPECT_TRUE(shown.singleMpg);
  EXPECT_FALSE(shown.velocityMpg);
  EXPECT_TRUE(shown.autoMode);
  EXPECT_EQ(shown.buttonEntries, 66);

  EXPECT_EQ(result, kDialogOk);
  EXPECT_EQ(pendantSettings.StepJogRate, 150);
  EXPECT_EQ(pendantSettings.Macro1, 42);
  EXPECT_EQ(pendantSettings.OEM1, -25536);
  EXPECT_EQ(pendantSettings.StepSize1, 4);
  EXPECT_EQ(pendantSettings.BUTTON2, 20);
  EXPECT_TRUE(pendantSettings.SingleMode);
  EXPECT_FALSE(pendantSettings.AutoMode);
  EXPECT_EQ(pendantSettings.DelaySteps, 25);
}

TEST_F(ConfigurationDialogWin32, LettersInTheFeedRateShowOneMessageThenEscapeStoresNothing) {
  std::vector<std::string> messages;
  bool focusOnFeedRate = false;
  int looks = 0;
  const int result = runDriven({
                                   [](const Windows& w) {
                                     SetDlgItemTextA(w.dialog, 4162, "7");
                                     SetDlgItemTextA(w.dialog, 4169, "fast");
                                     SendDlgItemMessageA(w.dialog, 4040, CB_SETCURSEL, 30, 0);
                                     return true;
                                   },
                                   &clickOk,
                                   test::dismissMessageBox(messages),
                                   [&](const Windows& w) {
                                     if (w.messageBox != nullptr)
                                       return false;
                                     // The dialog hands the field its focus once it is active
                                     // again, which may come a tick or two after the box went.
                                     focusOnFeedRate = GetFocus() == GetDlgItem(w.dialog, 4169);
                                     return focusOnFeedRate || ++looks >= 25;
                                   },
                                   &pressEscape,
                               },
                               driver);

  EXPECT_FALSE(driver.timedOut);
  EXPECT_TRUE(driver.finished());
  EXPECT_EQ(messages, std::vector<std::string>{"Please enter an integer."});
  EXPECT_TRUE(focusOnFeedRate);
  EXPECT_EQ(result, kDialogCancel);
  EXPECT_EQ(pendantSettings.Macro1, 0);
  EXPECT_EQ(pendantSettings.BUTTON0, 0);
  EXPECT_EQ(pendantSettings.StepJogRate, 100);
}

TEST_F(ConfigurationDialogWin32, TemplateHasTheLayoutsTextsStylesAndSizes) {
  std::set<std::string> texts;
  std::string caption;
  LONG_PTR style = 0, exStyle = 0;
  RECT dialogUnits{}, client{}, okButton{}, okPlace{541, 363, 0, 0}, okSize{0, 0, 54, 17};
  LONG_PTR feedRateStyle = 0, delayStyle = 0, macroStyle = 0, listStyle = 0, dropDownStyle = 0;
  bool bordered[3] = {};
  std::string zeroAll, separator;
  bool screenshotSaved = false;
  char screenshotPath[MAX_PATH] = {};
  const bool wantScreenshot =
      GetEnvironmentVariableA("K4_DIALOG_SCREENSHOT", screenshotPath, sizeof screenshotPath) > 0;

  const int result = runDriven(
      {
          [&](const Windows& w) {
            HWND d = w.dialog;
            caption = windowText(d);
            style = GetWindowLongPtrA(d, GWL_STYLE);
            exStyle = GetWindowLongPtrA(d, GWL_EXSTYLE);
            for (HWND child = GetWindow(d, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
              if (className(child) == "Static" || className(child) == "Button") {
                texts.insert(windowText(child));
              }
            }
            dialogUnits = RECT{0, 0, 619, 390};
            MapDialogRect(d, &dialogUnits);
            GetClientRect(d, &client);
            MapDialogRect(d, &okPlace);
            MapDialogRect(d, &okSize);
            GetWindowRect(GetDlgItem(d, IDOK), &okButton);
            MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&okButton), 2);
            feedRateStyle = GetWindowLongPtrA(GetDlgItem(d, 4169), GWL_STYLE);
            delayStyle = GetWindowLongPtrA(GetDlgItem(d, 4170), GWL_STYLE);
            macroStyle = GetWindowLongPtrA(GetDlgItem(d, 4171), GWL_STYLE);
            // An edit control turns its border into a sunken client edge.
            int field = 0;
            for (int id : {4169, 4170, 4171}) {
              HWND edit = GetDlgItem(d, id);
              bordered[field++] = (GetWindowLongPtrA(edit, GWL_STYLE) & WS_BORDER) != 0 ||
                                  (GetWindowLongPtrA(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
            }
            // A drop-down list hands its scroll bar on to the list part that drops down.
            listStyle = GetWindowLongPtrA(GetDlgItem(d, 4043), GWL_STYLE);
            COMBOBOXINFO combo{};
            combo.cbSize = sizeof combo;
            if (GetComboBoxInfo(GetDlgItem(d, 4043), &combo)) {
              dropDownStyle = GetWindowLongPtrA(combo.hwndList, GWL_STYLE);
            }
            zeroAll = listEntry(d, 4043, 52);
            separator = listEntry(d, 4042, 1);
            return true;
          },
          [&](const Windows& w) {
            if (wantScreenshot)
              screenshotSaved = saveScreenshot(w.dialog, screenshotPath);
            return true;
          },
          &pressEscape,
      },
      driver);

  EXPECT_FALSE(driver.timedOut);
  EXPECT_TRUE(driver.finished());
  EXPECT_EQ(result, kDialogCancel);
  EXPECT_EQ(caption, "Configuration");
  EXPECT_EQ(style & WS_SYSMENU, 0);
  EXPECT_NE(style & DS_MODALFRAME, 0);
  EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
  EXPECT_EQ(client.right, dialogUnits.right);
  EXPECT_EQ(client.bottom, dialogUnits.bottom);
  EXPECT_EQ(okButton.left, okPlace.left);
  EXPECT_EQ(okButton.top, okPlace.top);
  EXPECT_EQ(okButton.right - okButton.left, okSize.right);
  EXPECT_EQ(okButton.bottom - okButton.top, okSize.bottom);
  EXPECT_NE(feedRateStyle & ES_CENTER, 0);
  EXPECT_NE(delayStyle & ES_CENTER, 0);
  EXPECT_EQ(macroStyle & ES_CENTER, 0);
  for (LONG_PTR field : {feedRateStyle, delayStyle, macroStyle})
    EXPECT_NE(field & ES_AUTOHSCROLL, 0);
  for (bool border : bordered)
    EXPECT_TRUE(border);
  EXPECT_EQ(listStyle & 3, CBS_DROPDOWN);
  EXPECT_NE(dropDownStyle & WS_VSCROLL, 0);
  EXPECT_EQ(zeroAll, CustomButtonActions.label(52));
  EXPECT_EQ(separator, " ------------------------------ ");

  for (const char* text : {
           "Double click STOP Button to Select Step Size. Set NONE to Skip.",
           "Step Jogging Feed Rate. Set 0 to Use Feed Rate Currently in the System.",
           "Press and Hold SIDE Button to : ",
           "Single MPG Mode",
           "Velocity MPG Mode.",
           "Step / Velocity Auto Mode. ",
           "Single Click STOP Button to Open or Close TAB Screen.",
           "Step / Vel  Mode Switch Sensitivity.",
           "Speed Change Sensitivity in Step / Velocity Mode.",
           "Speed Change Sensitivity",
           "Press SIDE Button to Slow Down to 1 / ",
           "Steps to Delay the Start of Axis Movement in Continous Mode. 0 to 100.",
           "Action Button",
           "Enable Button",
           "+ Action Button",
           "Enable Button + Action Button",
           "Custom OEM Button   #1",
           "Custom Macro           #1",
           "#2",
           "#3",
           "#4",
           "OK",
           "Orvane K4 Pendant Configuration",
       }) {
    EXPECT_EQ(texts.count(text), 1u) << '"' << text << '"';
  }
  if (wantScreenshot) {
    EXPECT_TRUE(screenshotSaved) << screenshotPath;
  }
}

}  // namespace
}  // namespace k4
