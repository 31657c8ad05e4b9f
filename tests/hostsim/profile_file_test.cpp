// Settings written into the host profile before start: verbatim text in the plug-in's section,
// the rest of the profile untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "profile_file.h"

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

}  // namespace
}  // namespace k4::hostsim
