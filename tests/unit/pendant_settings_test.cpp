#include "settings/pendant_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_host.h"
#include "host/exports.h"
#include "host/plugin_state.h"
#include "link/pendant_window.h"
#include "profile_files.h"
#include "settings/option_lists.h"
#include "settings/profile_store.h"

namespace k4 {
namespace {

using test::asSavedDocument;
using test::readFile;
using test::TempDir;
using test::writeFile;

class PendantSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { pendantSettings = PendantSettings{}; }
  void TearDown() override { pendantSettings = PendantSettings{}; }

  // A profile whose section holds `keys` (markup), or no section when null.
  void profileWith(const char* keys) {
    std::string xml = "<profile><Host>1</Host>";
    if (keys != nullptr)
      xml += std::string("<Orvane_K4_Pendant>") + keys + "</Orvane_K4_Pendant>";
    writeFile(path, xml + "</profile>\n");
  }
  void load() {
    ProfileStore store(path);
    LoadSettings(store);
  }
  void configure(int (*dialog)()) {
    ProfileStore store(path);
    ConfigureSettings(store, dialog);
  }
  // The text of one key as saved.
  std::string saved(const std::string& key) {
    const std::string file = readFile(path);
    const std::size_t open = file.find("<" + key + ">");
    if (open == std::string::npos)
      return "(missing)";
    const std::size_t start = open + key.size() + 2;
    return file.substr(start, file.find('<', start) - start);
  }

  TempDir dir;
  std::string path = dir.file("profile.xml");
};

int closeAtOnce() {
  return 2;
}

TEST_F(PendantSettingsTest, TheTableHasEveryKeyOnceWithDefaultsInsideTheirLists) {
  std::vector<std::string> names;
  for (const SettingKey& entry : settingKeys()) {
    for (const std::string& seen : names)
      EXPECT_NE(seen, entry.key);
    names.emplace_back(entry.key);
    if (entry.options == nullptr)
      continue;
    EXPECT_TRUE(entry.options->contains(entry.startUpDefault)) << entry.key;
    EXPECT_TRUE(entry.options->contains(entry.reconfigurationDefault)) << entry.key;
  }
  ASSERT_EQ(names.size(), 27u);
  for (std::size_t i = 0; i < kButtonKeyCount; ++i) {
    EXPECT_EQ(names[i], "BUTTON" + std::to_string(i));
  }
}

TEST_F(PendantSettingsTest, AProfileWithoutTheSectionGivesTheStartUpDefaults) {
  profileWith(nullptr);
  pendantSettings.StepJogRate = 1;  // every field is read, none is left as it was
  pendantSettings.BUTTON2 = 7;
  load();
  const PendantSettings& s = pendantSettings;
  EXPECT_EQ((std::vector<int>{s.BUTTON0, s.BUTTON1, s.BUTTON2, s.BUTTON3}),
            (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ((std::vector<int>{s.StepSize1, s.StepSize2, s.StepSize3, s.Vel}),
            (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(
      (std::vector<int>{s.AxisASelection, s.AxisBSelection, s.AxisCSelection, s.AxisXYZSelection}),
      (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(
      (std::vector<int>{s.Macro1, s.Macro2, s.Macro3, s.Macro4, s.OEM1, s.OEM2, s.OEM3, s.OEM4}),
      (std::vector<int>(8, 0)));
  EXPECT_EQ(s.StepJogRate, 100);
  EXPECT_EQ(s.DelaySteps, 25);
  EXPECT_FALSE(s.SingleMode);
  EXPECT_TRUE(s.AutoMode);
  EXPECT_EQ((std::vector<int>{s.AutoChangeSens, s.VelocityInAuto, s.SlowDownRate}),
            (std::vector<int>{3, 5, 2}));
  // Loading only reads: the section is not created.
  EXPECT_EQ(readFile(path).find("Orvane_K4_Pendant"), std::string::npos);
}

TEST_F(PendantSettingsTest, ConfigureWritesAllKeysInOrderWithTheReconfigurationDefaults) {
  profileWith(nullptr);
  configure(closeAtOnce);
  EXPECT_EQ(pendantSettings.StepSize1, 2);
  EXPECT_EQ(pendantSettings.Vel, 2);
  EXPECT_EQ(asSavedDocument(readFile(path)),
            asSavedDocument(
                "<profile><Host>1</Host><Orvane_K4_Pendant><BUTTON0>0</BUTTON0><BUTTON1>0</BUTTON1>"
                "<BUTTON2>0</BUTTON2><BUTTON3>0</BUTTON3><StepSize1>2</StepSize1>"
                "<StepSize2>0</StepSize2><StepSize3>0</StepSize3><Vel>2</Vel>"
                "<AxisASelection>0</AxisASelection><AxisBSelection>0</AxisBSelection>"
                "<AxisCSelection>0</AxisCSelection><AxisXYZSelection>0</AxisXYZSelection>"
                "<Macro1>0</Macro1><Macro2>0</Macro2><Macro3>0</Macro3><Macro4>0</Macro4>"
                "<OEM1>0</OEM1><OEM2>0</OEM2><OEM3>0</OEM3><OEM4>0</OEM4>"
                "<StepJogRate>100</StepJogRate><DelaySteps>25</DelaySteps>"
                "<SingleMode>0</SingleMode><AutoMode>1</AutoMode><AutoChangeSens>3</AutoChangeSens>"
                "<VelocityInAuto>5</VelocityInAuto><SlowDownRate>2</SlowDownRate>"
                "</Orvane_K4_Pendant></profile>\n"));
}

// Stored text, the field as read at start-up, and the text written back by a configuration
// closed without changes.
TEST_F(PendantSettingsTest, StoredValuesAreConvertedToTheFieldsWidth) {
  struct Case {
    const char* key;
    const char* stored;
    int32_t expected;
    const char* written;
  } cases[] = {
      {"SingleMode", "5", 1, "1"},
      {"AutoMode", "0", 0, "0"},
      {"AutoMode", "-1", 1, "1"},
      {"Macro1", "65537", 1, "1"},
      {"Macro1", "-1", -1, "-1"},
      {"OEM2", "40000", -25536, "-25536"},
      {"StepJogRate", "0", 0, "0"},
      {"StepJogRate", "3000000000", INT32_MAX, "2147483647"},
      {"DelaySteps", "-150", -150, "-150"},
      {"Macro4", "abc", 0, "0"},
      {"Macro3", "", 0, "0"},  // empty: the default, and the key is written again
      {"StepJogRate", "", 100, "100"},
  };
  for (const Case& c : cases) {
    const std::string markup = std::string("<") + c.key + ">" + c.stored + "</" + c.key + ">";
    const auto field = [&] {
      for (const SettingKey& entry : settingKeys()) {
        if (std::string(entry.key) == c.key)
          return entry.get(pendantSettings);
      }
      return -12345;
    };
    profileWith(markup.c_str());
    load();
    EXPECT_EQ(field(), c.expected) << c.key << " " << c.stored;
    profileWith(markup.c_str());
    configure(closeAtOnce);
    EXPECT_EQ(field(), c.expected) << c.key << " " << c.stored;
    EXPECT_EQ(saved(c.key), c.written) << c.key << " " << c.stored;
  }
}

TEST_F(PendantSettingsTest, StoredPositionsOutsideTheirListsTakeTheDefaultInForce) {
  struct Case {
    const char* key;
    const char* stored;
    int32_t atStartUp;
    int32_t atReconfiguration;
  } cases[] = {
      {"Vel", "99", 0, 2},
      {"Vel", "9", 9, 9},
      {"StepSize1", "-1", 0, 2},
      {"StepSize1", "4", 4, 4},
      {"BUTTON0", "66", 0, 0},
      {"BUTTON0", "65", 65, 65},
      {"SlowDownRate", "3", 2, 2},
      {"AxisXYZSelection", "2", 0, 0},
      {"AutoChangeSens", "65546", 3, 3},  // 10 in the low 16 bits: one past the list
      {"AxisCSelection", "65537", 1, 1},  // 1 in the low 16 bits: inside
  };
  for (const Case& c : cases) {
    const std::string markup = std::string("<") + c.key + ">" + c.stored + "</" + c.key + ">";
    const SettingKey* entry = nullptr;
    for (const SettingKey& candidate : settingKeys()) {
      if (std::string(candidate.key) == c.key)
        entry = &candidate;
    }
    ASSERT_NE(entry, nullptr);
    profileWith(markup.c_str());
    load();
    EXPECT_EQ(entry->get(pendantSettings), c.atStartUp) << c.key << " " << c.stored;
    configure(closeAtOnce);
    EXPECT_EQ(entry->get(pendantSettings), c.atReconfiguration) << c.key << " " << c.stored;
    EXPECT_EQ(saved(c.key), std::to_string(c.atReconfiguration)) << c.key << " " << c.stored;
  }
}

// A dialog closed with OK over lists with nothing selected and a typed number.
int acceptWithEmptyLists() {
  pendantSettings.Vel = -1;
  pendantSettings.StepSize2 = -1;
  pendantSettings.BUTTON3 = 12;
  pendantSettings.Macro1 = -1;  // a plain number: any value stands
  return 1;
}

TEST_F(PendantSettingsTest, PositionsTheDialogHandsBackAreBroughtIntoRangeBeforeWriting) {
  profileWith("<Vel>7</Vel><StepSize2>3</StepSize2>");
  configure(acceptWithEmptyLists);
  EXPECT_EQ(pendantSettings.Vel, 2);
  EXPECT_EQ(pendantSettings.StepSize2, 0);
  EXPECT_EQ(saved("Vel"), "2");
  EXPECT_EQ(saved("StepSize2"), "0");
  EXPECT_EQ(saved("BUTTON3"), "12");
  EXPECT_EQ(saved("Macro1"), "-1");
}

// Device services that note which settings were already read when the pendant was looked for.
class RecordingDevices final : public test::NoDeviceServices {
 public:
  std::vector<PendantSettings> seen;
  void beginEnumeration() override { seen.push_back(pendantSettings); }
};

TEST_F(PendantSettingsTest, ThePendantIsLookedForBetweenTheButtonKeysAndTheRest) {
  profileWith("<BUTTON3>5</BUTTON3><StepSize1>3</StepSize1>");
  RecordingDevices devices;
  PendantWindow window(devices);
  pendantWindow = &window;
  load();
  pendantWindow = nullptr;
  ASSERT_EQ(devices.seen.size(), 1u);
  EXPECT_EQ(devices.seen[0].BUTTON3, 5);
  EXPECT_EQ(devices.seen[0].StepSize1, 0);
  EXPECT_EQ(pendantSettings.StepSize1, 3);
}

TEST_F(PendantSettingsTest, TheEntryPointsOpenTheHostsProfile) {
  resetPluginState();
  const std::string profileFile = dir.file("host profile.xml");
  SetProName(profileFile.c_str());
  EXPECT_EQ(asSavedDocument(readFile(profileFile)), asSavedDocument("<profile/>\n"));

  writeFile(profileFile,
            "<profile><Orvane_K4_Pendant><Vel>4</Vel></Orvane_K4_Pendant></profile>\n");
  PostInitControl();  // without InitControl: settings only, no pendant window
  EXPECT_EQ(pendantSettings.Vel, 4);
  EXPECT_EQ(pendantSettings.StepJogRate, 100);

  resetPluginState();
}

}  // namespace
}  // namespace k4
