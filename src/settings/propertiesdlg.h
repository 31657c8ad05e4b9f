// The configuration dialog's model: its own copies of the values it edits, the exchange between
// those copies and the dialog's controls, and the OK operation that stores them into the
// settings record. It holds no window: a view (the Windows dialog resource, the scripted or the
// terminal view) binds it to real or simulated controls through DialogControls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/pendant_settings.h"

namespace k4 {

// Control ids of dialog template 4013.
namespace dialog_id {
constexpr int kTemplate = 4013;
constexpr int kOk = 1;

constexpr int kStepSize1List = 4032;
constexpr int kStepSize2List = 4033;
constexpr int kStepSize3List = 4034;
constexpr int kVelList = 4037;
constexpr int kAxisAList = 4038;
constexpr int kAxisXYZList = 4039;
constexpr int kButton0List = 4040;
constexpr int kButton2List = 4041;
constexpr int kButton1List = 4042;
constexpr int kButton3List = 4043;
constexpr int kAxisBList = 4044;
constexpr int kAxisCList = 4045;
constexpr int kAutoChangeSensList = 4021;
constexpr int kSlowDownRateList = 4022;
constexpr int kVelocityInAutoList = 4023;

constexpr int kMacro1Field = 4162;
constexpr int kMacro2Field = 4163;
constexpr int kMacro3Field = 4171;
constexpr int kMacro4Field = 4168;
constexpr int kOem1Field = 4164;
constexpr int kOem2Field = 4165;
constexpr int kOem3Field = 4166;
constexpr int kOem4Field = 4167;
constexpr int kFeedRateField = 4169;
constexpr int kDelayStepsField = 4170;

constexpr int kSingleMpgRadio = 4161;    // first of the radio pair: SingleMode false
constexpr int kVelocityMpgRadio = 4035;  // second: SingleMode true
constexpr int kAutoModeCheck = 4176;
}  // namespace dialog_id

// The message shown when a number field holds no number.
constexpr const char* kEnterIntegerMessage = "Please enter an integer.";

// The dialog's controls as the model sees them, addressed by control id.
class DialogControls {
 public:
  virtual ~DialogControls() = default;

  // Number fields (and the edit part of a list).
  virtual std::string text(int id) = 0;
  virtual void setText(int id, std::string_view text) = 0;

  // Drop-down lists. Selecting a position outside the entries leaves no selection and an empty
  // text; listSelection gives -1 when nothing is selected.
  virtual void clearList(int id) = 0;
  virtual void addListEntry(int id, std::string_view text) = 0;
  virtual void selectListEntry(int id, int position) = 0;
  virtual int listSelection(int id) = 0;

  // Radio buttons and the check box.
  virtual bool isChecked(int id) = 0;
  virtual void setChecked(int id, bool checked) = 0;

  virtual void showMessage(std::string_view text) = 0;
  virtual void setFocus(int id) = 0;
};

class propertiesdlg {
 public:
  // Edits `settings`; the record changes only in acceptAndClose.
  explicit propertiesdlg(PendantSettings& settings = pendantSettings) : settings_(settings) {}

  // Binds the controls that the operations below read and write; the view calls it once the
  // dialog's controls exist.
  void attach(DialogControls& controls) { controls_ = &controls; }

  // Members from the settings, the fifteen lists filled and selected, then the members shown.
  // Returns true (the focus stays where the view puts it by default).
  bool initialiseControls();
  // Moves the number fields, the radio pair and the check box between the members and the
  // controls, in a fixed order. Reading stops at the first field without a number: the message
  // is shown, the focus put on that field and false returned.
  bool exchangeValues(bool toControls);
  // The OK button: reads the controls and, when every field holds a number, stores the members
  // and the list positions into the settings. Returns true when the dialog closes with OK,
  // false when it stays open and nothing was stored.
  bool acceptAndClose();

  // The dialog's own copies of the values it edits.
  int16_t macroNumbers[4] = {};  // Macro1..Macro4
  int16_t oemCodes[4] = {};      // OEM1..OEM4
  int32_t feedRate = 0;          // StepJogRate
  int32_t delaySteps = 0;        // DelaySteps
  int sideHoldChoice = -1;       // SingleMode: 0 first radio button, 1 second, -1 none
  int autoModeCheck = 0;         // AutoMode: the check box's state

 private:
  PendantSettings& settings_;
  DialogControls* controls_ = nullptr;
};

// Reads a number field as the dialog does: blanks, an optional sign, then at least one digit;
// text after the digits is ignored. Values beyond the int32 range saturate at its limits.
// False when the text holds no number.
bool parseIntegerField(std::string_view text, int32_t& value);

}  // namespace k4
