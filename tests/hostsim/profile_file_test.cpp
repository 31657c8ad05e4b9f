// Settings written into the host profile before start: verbatim text in the plug-in's section,
// the rest of the profile untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "demo_scenario.h"
#include "machine.h"
#include "profile_file.h"
#include "scenario.h"
#include "script_runner.h"

namespace k4::hostsim {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ProfileFile, TemporaryProfileHoldsOnlyAnEmptyRootAndIsRemoved) {
  std::string path;
  {
    ProfileFile profile;
    std::string error;
    ASSERT_TRUE(profile.open("", error)) << error;
    path = profile.path();
    EXPECT_EQ(contentOf(path), "<profile/>\n");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ProfileFile, SettingsGoIntoTheSectionVerbatim) {
  ProfileFile profile;
  std::string error;
  ASSERT_TRUE(profile.open("", error));
  ASSERT_TRUE(
      profile.writeSettings({{"AutoMode", "0"}, {"Macro1", "a < b & c"}, {"OEM1", ""}}, error));
  ASSERT_TRUE(profile.writeSettings({{"AutoMode", "1"}}, error));  // same key: replaced
  const std::string text = contentOf(profile.path());
  EXPECT_NE(text.find("<profile><Orvane_K4_Pendant><AutoMode>1</AutoMode>"
                      "<Macro1>a &lt; b &amp; c</Macro1><OEM1/></Orvane_K4_Pendant></profile>"),
            std::string::npos)
      << text;
}

TEST(ProfileFile, AUserProfileKeepsItsOtherContent) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "k4-hostsim-profile-test.xml").string();
  {
    std::ofstream file(path);
    file << "<host><Other>7</Other><Orvane_K4_Pendant><Vel>3</Vel></Orvane_K4_Pendant>"
            "<Orvane_K4_Pendant><Vel>9</Vel></Orvane_K4_Pendant></host>";
  }
  {
    ProfileFile profile;
    std::string error;
    ASSERT_TRUE(profile.open(path, error));
    ASSERT_TRUE(profile.writeSettings({{"Vel", "4"}}, error)) << error;
  }
  const std::string text = contentOf(path);
  EXPECT_NE(text.find("<host><Other>7</Other><Orvane_K4_Pendant><Vel>4</Vel></Orvane_K4_Pendant>"
                      "<Orvane_K4_Pendant><Vel>9</Vel></Orvane_K4_Pendant></host>"),
            std::string::npos)
      << text;
  std::filesystem::remove(path);
}

TEST(ProfileFile, AProfileThatIsNotXmlIsLeftAlone) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "k4-hostsim-broken-profile.xml").string();
  {
    std::ofstream file(path);
    file << "<host><unclosed>";
  }
  ProfileFile profile;
  std::string error;
  ASSERT_TRUE(profile.open(path, error));
  EXPECT_FALSE(profile.writeSettings({{"Vel", "4"}}, error));
  EXPECT_NE(error.find("not well-formed"), std::string::npos);
  EXPECT_EQ(contentOf(path), "<host><unclosed>");
  std::filesystem::remove(path);
}

// A scenario (the built-in demo included) runs on a copy of the profile it is given: the user's
// file stays byte for byte as it was. Only --write-profile keeps what the scenario changed.
TEST(ProfileFile, AScenarioLeavesANamedProfileAsItWas) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "k4-hostsim-named-profile.xml").string();
  const std::string original =
      "<?xml version=\"1.0\"?>\n<host><Orvane_K4_Pendant><Macro1>7</Macro1><AutoMode>1"
      "</AutoMode></Orvane_K4_Pendant>\n  <Other a='1'/></host>\n";
  {
    std::ofstream file(path, std::ios::binary);
    file << original;
  }
  const char* const ownScenario =
      "setting AutoMode=0 BUTTON0=2 Macro1=123\nstart\npendant knob=8\nstep 4\nstop\n";
  for (const char* text : {ownScenario, kDemoScenario}) {
    Options options;
    options.profile = path;
    SimulatedMachine machine;
    EXPECT_EQ(runScenario("test", parseScenario(text), options, machine), 0);
    EXPECT_EQ(contentOf(path), original);
  }
  Options keep;
  keep.profile = path;
  keep.writeProfile = true;
  SimulatedMachine machine;
  EXPECT_EQ(runScenario("test", parseScenario(ownScenario), keep, machine), 0);
  EXPECT_NE(contentOf(path).find("<Macro1>123</Macro1>"), std::string::npos);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace k4::hostsim
