#include "settings/propertiesdlg.h"
#include "settings_defaults.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "settings/memory_dialog_controls.h"
#include "settings/option_lists.h"

namespace k4 {
namespace {

namespace id = dialog_id;

using test::reconfigurationDefaults;

bool sameRecord(const PendantSettings& a, const PendantSettings& b) {
  return a.BUTTON0 == b.BUTTON0 && a.BUTTON1 == b.BUTTON1 && a.BUTTON2 == b.BUTTON2 &&
         a.BUTTON3 == b.BUTTON3 && a.StepSize1 == b.StepSize1 && a.StepSize2 == b.StepSize2 &&
         a.StepSize3 == b.StepSize3 && a.Vel == b.Vel && a.AxisASelection == b.AxisASelection &&
         a.AxisBSelection == b.AxisBSelection && a.AxisCSelection == b.AxisCSelection &&
         a.AxisXYZSelection == b.AxisXYZSelection && a.Macro1 == b.Macro1 && a.Macro2 == b.Macro2 &&
         a.Macro3 == b.Macro3 && a.Macro4 == b.Macro4 && a.OEM1 == b.OEM1 && a.OEM2 == b.OEM2 &&
         a.OEM3 == b.OEM3 && a.OEM4 == b.OEM4 && a.StepJogRate == b.StepJogRate &&
         a.DelaySteps == b.DelaySteps && a.SingleMode == b.SingleMode && a.AutoMode == b.AutoMode &&
         a.AutoChangeSens == b.AutoChangeSens && a.VelocityInAuto == b.VelocityInAuto &&
         a.SlowDownRate == b.SlowDownRate;
}

class PropertiesDialog : public ::testing::Test {
 protected:
  void open() {
    dialog.attach(controls);
    ASSERT_TRUE(dialog.initialiseControls());
  }

  PendantSettings settings = reconfigurationDefaults();
  propertiesdlg dialog{settings};
  MemoryDialogControls controls;
};

TEST_F(PropertiesDialog, OpensOnAProfileWithoutTheSectionShowingItsDefaults) {
  open();
  const struct {
    int id;
    const char* text;
  } shown[] = {
      {id::kStepSize1List, "0.001"},
      {id::kStepSize2List, "NONE"},
      {id::kStepSize3List, "NONE"},
      {id::kVelList, "3"},
      {id::kAutoChangeSensList, "4"},
      {id::kVelocityInAutoList, "6"},
      {id::kSlowDownRateList, "4"},
      {id::kAxisAList, "Not Include A Axis in Axis Selection"},
      {id::kAxisBList, "Not Include B Axis in Axis Selection"},
      {id::kAxisCList, "Not Include C Axis in Axis Selection"},
      {id::kAxisXYZList, "Single Click Selection"},
      {id::kButton0List, " NONE"},
      {id::kButton1List, " NONE"},
      {id::kButton2List, " NONE"},
      {id::kButton3List, " NONE"},
      {id::kMacro1Field, "0"},
      {id::kMacro2Field, "0"},
      {id::kMacro3Field, "0"},
      {id::kMacro4Field, "0"},
      {id::kOem1Field, "0"},
      {id::kOem2Field, "0"},
      {id::kOem3Field, "0"},
      {id::kOem4Field, "0"},
      {id::kFeedRateField, "100"},
      {id::kDelayStepsField, "25"},
  };
  for (const auto& control : shown)
    EXPECT_EQ(controls.text(control.id), control.text) << control.id;
  EXPECT_TRUE(controls.isChecked(id::kSingleMpgRadio));
  EXPECT_FALSE(controls.isChecked(id::kVelocityMpgRadio));
  EXPECT_TRUE(controls.isChecked(id::kAutoModeCheck));
}

TEST_F(PropertiesDialog, ListsShowTheLabelsWithTheirBlanks) {
  open();
  const struct {
    int id;
    std::size_t size;
    std::size_t position;
    const char* text;
  } entries[] = {
      {id::kStepSize1List, 5, 1, "0.0001"},
      {id::kVelList, 10, 9, "10"},
      {id::kVelocityInAutoList, 10, 0, "1"},
      {id::kAutoChangeSensList, 10, 9, "10"},
      {id::kSlowDownRateList, 3, 0, "2"},
      {id::kAxisBList, 2, 1, "Include B Axis in Axis Selection"},
      {id::kAxisXYZList, 2, 1, "Single Click Downwards, Double Click Upwards"},
      {id::kButton0List, 66, 1, " ------------------------------ "},
      {id::kButton1List, 66, 2, " OEM Button #1"},
      {id::kButton2List, 66, 26, " Softlimits Toggle              "},
      {id::kButton3List, 66, 65, " Goto Safe Z                    "},
  };
  for (const auto& entry : entries) {
    const MemoryDialogControls::List* list = controls.list(entry.id);
    ASSERT_NE(list, nullptr) << entry.id;
    ASSERT_EQ(list->entries.size(), entry.size) << entry.id;
    EXPECT_EQ(list->entries[entry.position], entry.text) << entry.id;
  }
  // The tabs inside a label are shown as they are, with the padding that follows them.
  const std::string zeroAll = controls.list(id::kButton3List)->entries[52];
  EXPECT_EQ(zeroAll, CustomButtonActions.label(52));
  EXPECT_EQ(zeroAll.substr(0, 11), " ZeroAll\t\t\t");
}

// Records the order in which the lists are emptied and filled.
class FillOrderControls final : public DialogControls {
 public:
  std::string text(int) override { return "0"; }
  void setText(int, std::string_view) override {}
  void clearList(int id) override { cleared.push_back(id); }
  void addListEntry(int, std::string_view) override {}
  void selectListEntry(int, int) override {}
  int listSelection(int) override { return 0; }
  bool isChecked(int) override { return false; }
  void setChecked(int, bool) override {}
  void showMessage(std::string_view) override {}
  void setFocus(int) override {}

  std::vector<int> cleared;
};

TEST_F(PropertiesDialog, FillsTheListsInTheirFixedOrder) {
  FillOrderControls order;
  dialog.attach(order);
  dialog.initialiseControls();
  EXPECT_EQ(order.cleared, (std::vector<int>{4032, 4033, 4034, 4037, 4038, 4044, 4045, 4039, 4040,
                                             4042, 4041, 4043, 4023, 4021, 4022}));
}

TEST_F(PropertiesDialog, ReadsNumberFieldsLikeTheDialogToolkit) {
  const struct {
    int fieldId;
    const char* text;
    int32_t PendantSettings::*wide;
    int16_t PendantSettings::*narrow;
    int32_t expected;
  } cases[] = {
      {id::kMacro1Field, "  42", nullptr, &PendantSettings::Macro1, 42},
      {id::kMacro2Field, "-3", nullptr, &PendantSettings::Macro2, -3},
      {id::kMacro3Field, "40000", nullptr, &PendantSettings::Macro3, -25536},
      {id::kMacro4Field, "12abc", nullptr, &PendantSettings::Macro4, 12},
      {id::kOem1Field, "+7", nullptr, &PendantSettings::OEM1, 7},
      {id::kOem2Field, "65537", nullptr, &PendantSettings::OEM2, 1},
      {id::kOem3Field, "\t-32769", nullptr, &PendantSettings::OEM3, 32767},
      {id::kOem4Field, "1029", nullptr, &PendantSettings::OEM4, 1029},
      {id::kDelayStepsField, "150", &PendantSettings::DelaySteps, nullptr, 150},
      {id::kFeedRateField, "99999999999", &PendantSettings::StepJogRate, nullptr,
       std::numeric_limits<int32_t>::max()},
      {id::kFeedRateField, "-99999999999", &PendantSettings::StepJogRate, nullptr,
       std::numeric_limits<int32_t>::min()},
      {id::kFeedRateField, "0", &PendantSettings::StepJogRate, nullptr, 0},
  };
  for (const auto& c : cases) {
    settings = reconfigurationDefaults();
    controls = MemoryDialogControls{};
    open();
    controls.setText(c.fieldId, c.text);
    ASSERT_TRUE(dialog.acceptAndClose()) << c.text;
    const int32_t stored = c.wide != nullptr ? settings.*c.wide : settings.*c.narrow;
    EXPECT_EQ(stored, c.expected) << c.fieldId << " \"" << c.text << '"';
    EXPECT_TRUE(controls.messages.empty());
  }
}

TEST_F(PropertiesDialog, AFieldWithoutANumberKeepsTheDialogOpenAndStoresNothing) {
  for (const char* bad : {"abc", "", "   ", "-", "+x12", "- 5"}) {
    settings = reconfigurationDefaults();
    controls = MemoryDialogControls{};
    open();
    controls.setText(id::kMacro1Field, "5");
    controls.setText(id::kFeedRateField, bad);
    controls.setText(id::kDelayStepsField, "also bad");  // after the first bad field: not read
    controls.selectListEntry(id::kStepSize2List, 4);
    controls.setChecked(id::kVelocityMpgRadio, true);

    EXPECT_FALSE(dialog.acceptAndClose()) << '"' << bad << '"';
    EXPECT_EQ(controls.messages, std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(controls.focus, id::kFeedRateField);
    EXPECT_TRUE(sameRecord(settings, reconfigurationDefaults())) << '"' << bad << '"';
  }
}

TEST_F(PropertiesDialog, OkStoresTheChoicesOfListsRadioPairAndCheckBox) {
  open();
  controls.setChecked(id::kVelocityMpgRadio, true);
  controls.setChecked(id::kAutoModeCheck, false);
  controls.selectListEntry(id::kButton0List, 1);  // a separator line
  controls.selectListEntry(id::kButton1List, 10);
  controls.selectListEntry(id::kButton2List, 6);
  controls.selectListEntry(id::kButton3List, 65);
  controls.selectListEntry(id::kStepSize3List, 4);
  controls.selectListEntry(id::kAxisCList, 1);
  controls.selectListEntry(id::kAxisXYZList, 1);
  controls.selectListEntry(id::kVelocityInAutoList, 9);
  controls.selectListEntry(id::kAutoChangeSensList, 0);
  controls.selectListEntry(id::kSlowDownRateList, 1);

  ASSERT_TRUE(dialog.acceptAndClose());
  EXPECT_TRUE(settings.SingleMode);
  EXPECT_FALSE(settings.AutoMode);
  EXPECT_EQ(settings.BUTTON0, 1);
  EXPECT_EQ(settings.BUTTON1, 10);
  EXPECT_EQ(settings.BUTTON2, 6);
  EXPECT_EQ(settings.BUTTON3, 65);
  EXPECT_EQ(settings.StepSize1, 2);
  EXPECT_EQ(settings.StepSize3, 4);
  EXPECT_EQ(settings.AxisCSelection, 1);
  EXPECT_EQ(settings.AxisXYZSelection, 1);
  EXPECT_EQ(settings.VelocityInAuto, 9);
  EXPECT_EQ(settings.AutoChangeSens, 0);
  EXPECT_EQ(settings.SlowDownRate, 1);
  EXPECT_EQ(settings.StepJogRate, 100);
  EXPECT_EQ(settings.DelaySteps, 25);
}

TEST_F(PropertiesDialog, AStoredPositionOutsideItsListOpensEmptyAndStoresTheDefault) {
  settings.StepSize1 = 7;
  settings.Vel = -1;
  settings.BUTTON3 = 66;
  settings.SlowDownRate = 3;
  settings.AxisASelection = 2;
  open();
  for (int listId : {id::kStepSize1List, id::kVelList, id::kButton3List, id::kSlowDownRateList,
                     id::kAxisAList}) {
    EXPECT_EQ(controls.listSelection(listId), -1) << listId;
    EXPECT_EQ(controls.text(listId), "") << listId;
  }
  ASSERT_TRUE(dialog.acceptAndClose());
  EXPECT_EQ(settings.StepSize1, 2);
  EXPECT_EQ(settings.Vel, 2);
  EXPECT_EQ(settings.BUTTON3, 0);
  EXPECT_EQ(settings.SlowDownRate, 2);
  EXPECT_EQ(settings.AxisASelection, 0);
}

TEST_F(PropertiesDialog, TextTypedIntoAListSelectsOnlyAMatchingEntry) {
  open();
  controls.setText(id::kVelList, "7");                  // the entry "11,7"
  controls.setText(id::kVelocityInAutoList, "eleven");  // no entry: the key's default
  controls.setText(id::kButton0List, "Flood toggle");   // labels carry their blanks
  ASSERT_TRUE(dialog.acceptAndClose());
  EXPECT_EQ(settings.Vel, 6);
  EXPECT_EQ(settings.VelocityInAuto, 5);
  EXPECT_EQ(settings.BUTTON0, 0);
}

}  // namespace
}  // namespace k4
