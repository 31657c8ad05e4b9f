#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "manual_host_view.h"
#include "platform/posix/terminal_dialog_view.h"
#include "profile_files.h"
#include "scripted_dialog_view.h"
#include "settings/configuration_dialog.h"
#include "settings/option_lists.h"
#include "settings/pendant_settings.h"
#include "settings/profile_store.h"
#include "settings/propertiesdlg.h"
#include "settings_defaults.h"

namespace k4 {
namespace {

using Step = ScriptedDialogView::Step;
using Kind = Step::Kind;

Step setText(const char* key, const char* text) {
  return Step{Kind::SetText, key, text, 0};
}
Step select(const char* key, int position) {
  return Step{Kind::SelectEntry, key, "", position};
}
Step setCheck(const char* key, bool checked) {
  return Step{Kind::SetCheck, key, "", checked ? 1 : 0};
}
Step pressOk() {
  return Step{Kind::PressOk, "", "", 0};
}
Step pressEscape() {
  return Step{Kind::PressEscape, "", "", 0};
}

using test::ManualHostView;
using test::reconfigurationDefaults;

class ConfigurationDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    savedView_ = host.view;
    host.view = hostView_.view();
    pendantSettings = reconfigurationDefaults();
  }
  void TearDown() override {
    host.view = savedView_;
    pendantSettings = PendantSettings{};
  }

  ScriptedDialogView view;

 private:
  ManualHostView hostView_{nullptr, view.table()};
  void* savedView_ = nullptr;
};

TEST_F(ConfigurationDialog, LettersInTheFeedRateKeepItOpenThenEscapeStoresNothing) {
  view.setScript({
      setText("Macro1", "17"),
      select("BUTTON0", 21),
      setText("StepJogRate", "fast"),
      pressOk(),
      pressEscape(),
  });
  EXPECT_EQ(runConfigurationDialog(), kDialogCancel);
  EXPECT_EQ(view.messages(), std::vector<std::string>{"Please enter an integer."});
  EXPECT_EQ(pendantSettings.Macro1, 0);
  EXPECT_EQ(pendantSettings.BUTTON0, 0);
  EXPECT_EQ(pendantSettings.StepJogRate, 100);
}

TEST_F(ConfigurationDialog, ARefusedOkCanBeCorrectedAndAccepted) {
  view.setScript({
      setText("StepJogRate", "fast"),
      pressOk(),
      setText("StepJogRate", " 250"),
      setCheck("SingleMode", true),
      setCheck("AutoMode", false),
      pressOk(),
  });
  EXPECT_EQ(runConfigurationDialog(), kDialogOk);
  EXPECT_EQ(view.messages().size(), 1u);
  EXPECT_EQ(pendantSettings.StepJogRate, 250);
  EXPECT_TRUE(pendantSettings.SingleMode);
  EXPECT_FALSE(pendantSettings.AutoMode);
}

TEST_F(ConfigurationDialog, EscapeOrNoScriptKeepsEveryValueReadBeforeOpening) {
  pendantSettings.BUTTON2 = 30;
  pendantSettings.OEM3 = -7;
  const std::vector<std::vector<Step>> scripts = {
      {pressEscape()},
      {},
      {setText("OEM3", "5"), select("BUTTON2", 3)},
  };
  for (const auto& script : scripts) {
    view.setScript(script);
    EXPECT_EQ(runConfigurationDialog(), kDialogCancel);
    EXPECT_EQ(pendantSettings.BUTTON2, 30);
    EXPECT_EQ(pendantSettings.OEM3, -7);
    EXPECT_EQ(pendantSettings.StepSize1, 2);
  }
}

TEST_F(ConfigurationDialog, EveryKeyReachesItsSettingThroughItsControl) {
  // A list key takes position 1, a number key 7; each read back from its own field.
  const struct {
    const char* key;
    bool isList;
    int16_t PendantSettings::*narrow;
    int32_t PendantSettings::*wide;
  } keys[] = {
      {"BUTTON0", true, &PendantSettings::BUTTON0, nullptr},
      {"BUTTON1", true, &PendantSettings::BUTTON1, nullptr},
      {"BUTTON2", true, &PendantSettings::BUTTON2, nullptr},
      {"BUTTON3", true, &PendantSettings::BUTTON3, nullptr},
      {"StepSize1", true, &PendantSettings::StepSize1, nullptr},
      {"StepSize2", true, &PendantSettings::StepSize2, nullptr},
      {"StepSize3", true, &PendantSettings::StepSize3, nullptr},
      {"Vel", true, &PendantSettings::Vel, nullptr},
      {"AxisASelection", true, &PendantSettings::AxisASelection, nullptr},
      {"AxisBSelection", true, &PendantSettings::AxisBSelection, nullptr},
      {"AxisCSelection", true, &PendantSettings::AxisCSelection, nullptr},
      {"AxisXYZSelection", true, &PendantSettings::AxisXYZSelection, nullptr},
      {"Macro1", false, &PendantSettings::Macro1, nullptr},
      {"Macro2", false, &PendantSettings::Macro2, nullptr},
      {"Macro3", false, &PendantSettings::Macro3, nullptr},
      {"Macro4", false, &PendantSettings::Macro4, nullptr},
      {"OEM1", false, &PendantSettings::OEM1, nullptr},
      {"OEM2", false, &PendantSettings::OEM2, nullptr},
      {"OEM3", false, &PendantSettings::OEM3, nullptr},
      {"OEM4", false, &PendantSettings::OEM4, nullptr},
      {"StepJogRate", false, nullptr, &PendantSettings::StepJogRate},
      {"DelaySteps", false, nullptr, &PendantSettings::DelaySteps},
      {"AutoChangeSens", true, &PendantSettings::AutoChangeSens, nullptr},
      {"VelocityInAuto", true, &PendantSettings::VelocityInAuto, nullptr},
      {"SlowDownRate", true, &PendantSettings::SlowDownRate, nullptr},
  };
  for (const auto& key : keys) {
    pendantSettings = reconfigurationDefaults();
    if (key.isList) {
      view.setScript({select(key.key, 1), pressOk()});
    } else {
      view.setScript({setText(key.key, "7"), pressOk()});
    }
    ASSERT_EQ(runConfigurationDialog(), kDialogOk) << key.key;
    const int stored =
        key.narrow != nullptr ? pendantSettings.*key.narrow : pendantSettings.*key.wide;
    EXPECT_EQ(stored, key.isList ? 1 : 7) << key.key;
  }

  pendantSettings = reconfigurationDefaults();
  // SingleMode's 1 is the pair's second button.
  view.setScript({setCheck("SingleMode", true), setCheck("AutoMode", false), pressOk()});
  ASSERT_EQ(runConfigurationDialog(), kDialogOk);
  EXPECT_TRUE(pendantSettings.SingleMode);
  EXPECT_FALSE(pendantSettings.AutoMode);
  view.setScript({setCheck("SingleMode", false), pressOk()});
  ASSERT_EQ(runConfigurationDialog(), kDialogOk);
  EXPECT_FALSE(pendantSettings.SingleMode);
}

// A foreign host's dialog: what each control function answers for keys of the wrong kind or no
// control, and that nothing changes once OK has closed the dialog.
TEST_F(ConfigurationDialog, TheHandedControlsRefuseKeysOfAnotherKindAndCallsAfterClosing) {
  struct Answers {
    std::vector<int> got;
  } answers;
  k4_dialog_table table{};
  table.version = K4_HOST_VIEW_VERSION;
  table.size = sizeof table;
  table.context = &answers;
  table.run_modal = [](void* context, const k4_dialog_controls* c) {
    auto& got = static_cast<Answers*>(context)->got;
    got = {
        c->set_text(c->context, "Unknown", "1"),     c->set_text(c->context, nullptr, "1"),
        c->set_text(c->context, "AutoMode", "1"),    c->select_entry(c->context, "StepJogRate", 1),
        c->set_check(c->context, "Vel", 1),          c->set_text(c->context, "StepJogRate", "321"),
        c->select_entry(c->context, "Vel", 3),       c->press_ok(c->context),
        c->set_text(c->context, "StepJogRate", "5"), c->press_ok(c->context)};
    return K4_DIALOG_CANCEL;  // answered wrongly: the accepted OK decides
  };
  ManualHostView foreign{nullptr, &table};
  host.view = foreign.view();
  EXPECT_EQ(runConfigurationDialog(), kDialogOk);
  EXPECT_EQ(answers.got, (std::vector<int>{0, 0, 0, 0, 0, 1, 1, 1, 0, 0}));
  EXPECT_EQ(pendantSettings.StepJogRate, 321);
  EXPECT_EQ(pendantSettings.Vel, 3);
}

// The whole configuration call on a profile without the plug-in's section: the dialog opens on
// the reconfiguration defaults and all keys are written back, whichever way it closes.
TEST_F(ConfigurationDialog, ConfigWritesTheDialogsValuesOrTheValuesReadBeforeIt) {
  const struct {
    std::vector<Step> script;
    const char* expected;
  } cases[] = {
      {{setText("StepJogRate", "150"), select("BUTTON0", 21), setCheck("SingleMode", true),
        pressOk()},
       "<BUTTON0>21</BUTTON0><BUTTON1>0</BUTTON1><BUTTON2>0</BUTTON2><BUTTON3>0</BUTTON3>"
       "<StepSize1>2</StepSize1><StepSize2>0</StepSize2><StepSize3>0</StepSize3><Vel>2</Vel>"
       "<AxisASelection>0</AxisASelection><AxisBSelection>0</AxisBSelection>"
       "<AxisCSelection>0</AxisCSelection><AxisXYZSelection>0</AxisXYZSelection>"
       "<Macro1>0</Macro1><Macro2>0</Macro2><Macro3>0</Macro3><Macro4>0</Macro4>"
       "<OEM1>0</OEM1><OEM2>0</OEM2><OEM3>0</OEM3><OEM4>0</OEM4>"
       "<StepJogRate>150</StepJogRate><DelaySteps>25</DelaySteps><SingleMode>1</SingleMode>"
       "<AutoMode>1</AutoMode><AutoChangeSens>3</AutoChangeSens>"
       "<VelocityInAuto>5</VelocityInAuto><SlowDownRate>2</SlowDownRate>"},
      {{setText("StepJogRate", "150"), select("BUTTON0", 21), pressEscape()},
       "<BUTTON0>0</BUTTON0><BUTTON1>0</BUTTON1><BUTTON2>0</BUTTON2><BUTTON3>0</BUTTON3>"
       "<StepSize1>2</StepSize1><StepSize2>0</StepSize2><StepSize3>0</StepSize3><Vel>2</Vel>"
       "<AxisASelection>0</AxisASelection><AxisBSelection>0</AxisBSelection>"
       "<AxisCSelection>0</AxisCSelection><AxisXYZSelection>0</AxisXYZSelection>"
       "<Macro1>0</Macro1><Macro2>0</Macro2><Macro3>0</Macro3><Macro4>0</Macro4>"
       "<OEM1>0</OEM1><OEM2>0</OEM2><OEM3>0</OEM3><OEM4>0</OEM4>"
       "<StepJogRate>100</StepJogRate><DelaySteps>25</DelaySteps><SingleMode>0</SingleMode>"
       "<AutoMode>1</AutoMode><AutoChangeSens>3</AutoChangeSens>"
       "<VelocityInAuto>5</VelocityInAuto><SlowDownRate>2</SlowDownRate>"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    const std::string path = dir.file("profile.xml");
    test::writeFile(path, "<profile><Host>1</Host></profile>\n");
    pendantSettings = PendantSettings{};
    view.setScript(c.script);
    {
      ProfileStore store(path);
      ConfigureSettings(store);
    }
    std::string saved = test::readFile(path);
    // Compare the keys only, without the layout the store gives the file.
    std::string keys;
    for (char ch : saved) {
      if (ch != ' ' && ch != '\n' && ch != '\r' && ch != '\t')
        keys += ch;
    }
    EXPECT_NE(keys.find(std::string("<Orvane_K4_Pendant>") + c.expected + "</Orvane_K4_Pendant>"),
              std::string::npos)
        << saved;
  }
}

// The terminal form as a person uses it: the dialog's captions, never control ids, a cursor
// moved with Enter, p and g N, lists stepped or picked by entry number or text, the radio pair
// as one choice, the check box toggled, and a field without a number sending the cursor back.
TEST(TerminalDialogView, EditsByCaptionWithACursor) {
  PendantSettings settings = reconfigurationDefaults();
  propertiesdlg dialog(settings);
  // An entry's text typed in other case with blanks around it picks that entry.
  std::string typed(CustomButtonActions.label(5));
  for (char& c : typed)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::istringstream in(
      "g 4\nabc\nok\n"  // the feed rate holds no number: OK refuses, the cursor stays there
      "42\n"            // typed into the feed rate, the cursor moves on to the radio pair
      "#2\n"            // "Velocity MPG Mode."
      "x\n"             // the auto mode check box, ticked at first, cleared
      "g 1\n+\n+\n-\n"  // step size #1: 0.001 -> 0.01 -> 0.1 -> 0.01
      "g 16\n?\n#20\n"  // F1 Action Button: entry 20 (position 19)
      "n\n  " +
      typed +
      "  \n"         // F2 Action Button (item 18): picked by its text
      "p\np\n#99\n"  // item 17: no such entry, nothing changes
      "g 99\nok\n");
  std::ostringstream out;
  TerminalDialogView view(in, out);

  EXPECT_EQ(view.runModal(dialog), kDialogOk);
  EXPECT_EQ(settings.StepJogRate, 42);
  EXPECT_TRUE(settings.SingleMode);
  EXPECT_FALSE(settings.AutoMode);
  EXPECT_EQ(settings.StepSize1, 3);
  EXPECT_EQ(settings.BUTTON0, 19);
  EXPECT_EQ(settings.BUTTON2, 5);
  EXPECT_EQ(settings.BUTTON1, 0);
  const std::string shown = out.str();
  EXPECT_EQ(shown.find("4169"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Focus on"), std::string::npos);
  EXPECT_NE(shown.find("   4  Step Jogging Feed Rate. Set 0 to Use Feed Rate Currently in the "
                       "System. [100]"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("Please enter an integer.\n>  4  Step Jogging Feed Rate. Set 0 to Use "
                       "Feed Rate Currently in the System. [abc]"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find(">  5  Press and Hold SIDE Button to : [Single MPG Mode]"),
            std::string::npos);
  EXPECT_NE(shown.find(">  6  Step / Velocity Auto Mode. [ ]"), std::string::npos);
  EXPECT_NE(shown.find("    #20  " + std::string(CustomButtonActions.label(19))),
            std::string::npos);
  EXPECT_NE(shown.find("There is no entry #99"), std::string::npos);
  EXPECT_NE(shown.find("There is no item 99"), std::string::npos);
}

TEST(TerminalDialogView, EscapeAndEndOfInputStoreNothing) {
  for (const char* input : {"g 4\n300\n", "g 4\n300\nesc\nok\n"}) {
    PendantSettings settings = reconfigurationDefaults();
    propertiesdlg dialog(settings);
    std::istringstream in(input);
    std::ostringstream out;
    TerminalDialogView view(in, out);
    EXPECT_EQ(view.runModal(dialog), kDialogCancel) << input;
    EXPECT_EQ(settings.StepJogRate, 100) << input;
  }
}

}  // namespace
}  // namespace k4
