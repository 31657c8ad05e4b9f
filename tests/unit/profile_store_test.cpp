#include "settings/profile_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "profile_files.h"

namespace k4 {
namespace {

using test::asSavedDocument;
using test::fileExists;
using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* kSection = "Orvane_K4_Pendant";

// Counts the saves that reach the final replace step, and performs it.
int savesSeen = 0;
bool countingReplace(const std::string& temp, const std::string& target) {
  ++savesSeen;
  std::error_code error;
  std::filesystem::rename(temp, target, error);
  return !error;
}

class ProfileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savesSeen = 0;
    setFileReplaceStepForTesting(countingReplace);
  }
  void TearDown() override { setFileReplaceStepForTesting(nullptr); }

  std::string profile(const std::string& contents) {
    writeFile(path, contents);
    return path;
  }

  TempDir dir;
  std::string path = dir.file("profile.xml");
};

std::string withKey(const std::string& keyMarkup) {
  return "<profile><Orvane_K4_Pendant>" + keyMarkup + "</Orvane_K4_Pendant></profile>\n";
}

TEST_F(ProfileStoreTest, ReadsTheLeadingIntegerAndKeepsTheElement) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {" 42", 42},
      {"-3", -3},
      {"+4", 4},
      {"007", 7},
      {"7x", 7},
      {"abc", 0},
      {" ", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      // Beyond 32 bits the value saturates instead of wrapping into a different number.
      {"2147483648", INT32_MAX},
      {"99999999999999999999999", INT32_MAX},
      {"-2147483649", INT32_MIN},
      {"-00000000000000000000000000012", -12},
  };
  for (const Case& c : cases) {
    const std::string original = withKey(std::string("<K>") + c.text + "</K>");
    {
      ProfileStore store(profile(original));
      EXPECT_EQ(store.ReadInt(kSection, "K", 99), c.expected) << '"' << c.text << '"';
    }
    EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(original)) << c.text;
  }
}

TEST_F(ProfileStoreTest, EmptyKeysReadAsTheDefaultAndLeaveTheFile) {
  for (const char* empty : {"<K/>", "<K></K>"}) {
    {
      ProfileStore store(profile(withKey(std::string("<A>1</A>") + empty + "<B>2</B>")));
      EXPECT_EQ(store.ReadInt(kSection, "K", 17), 17) << empty;
      // Removed at once: a second read finds no key either.
      EXPECT_EQ(store.ReadInt(kSection, "K", 18), 18) << empty;
      EXPECT_EQ(store.ReadInt(kSection, "B", 0), 2);
    }
    EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(withKey("<A>1</A><B>2</B>")))
        << empty;
  }
}

TEST_F(ProfileStoreTest, NewSectionIsAppendedLastWithKeysInWriteOrder) {
  {
    ProfileStore store(profile("<profile>\n  <Other>x</Other>\n</profile>\n"));
    EXPECT_TRUE(store.WriteInt(kSection, "A", 1));
    EXPECT_TRUE(store.WriteInt(kSection, "B", -5));
    EXPECT_TRUE(store.WriteInt(kSection, "A", 7));  // rewrites in place
    EXPECT_TRUE(store.WriteInt(kSection, "C", 0));
    EXPECT_TRUE(store.WriteInt(kSection, "D", INT32_MIN));
    EXPECT_EQ(store.ReadInt(kSection, "A", 0), 7);
  }
  EXPECT_EQ(asSavedDocument(readFile(path)),
            asSavedDocument("<profile>\n  <Other>x</Other>\n<Orvane_K4_Pendant><A>7</A><B>-5</B>"
                            "<C>0</C><D>-2147483648</D></Orvane_K4_Pendant></profile>\n"));
}

TEST_F(ProfileStoreTest, OnlyTheFirstSectionAndKeyOfANameCount) {
  const std::string second = "<Orvane_K4_Pendant><K>2</K></Orvane_K4_Pendant>";
  {
    ProfileStore store(profile("<profile><Orvane_K4_Pendant><K>1</K><K>9</K></Orvane_K4_Pendant>" +
                               second + "</profile>\n"));
    EXPECT_EQ(store.ReadInt(kSection, "K", 0), 1);
    store.WriteInt(kSection, "K", 5);
    store.WriteInt(kSection, "New", 6);
  }
  EXPECT_EQ(asSavedDocument(readFile(path)),
            asSavedDocument("<profile><Orvane_K4_Pendant><K>5</K><K>9</K><New>6</New>"
                            "</Orvane_K4_Pendant>" +
                            second + "</profile>\n"));
}

TEST_F(ProfileStoreTest, ARootOfAnotherNameIsUsedAsItIs) {
  {
    ProfileStore store(
        profile("<config><Orvane_K4_Pendant><K>3</K></Orvane_K4_Pendant></config>\n"));
    EXPECT_EQ(store.ReadInt(kSection, "K", 0), 3);
    store.WriteInt(kSection, "L", 4);
  }
  EXPECT_EQ(asSavedDocument(readFile(path)),
            asSavedDocument("<config><Orvane_K4_Pendant><K>3</K><L>4</L></Orvane_K4_Pendant>"
                            "</config>\n"));
}

TEST_F(ProfileStoreTest, EveryCloseSavesEvenAfterReadsOnly) {
  const std::string original = withKey("<K>3</K>");
  { ProfileStore store(profile(original)); }
  {
    ProfileStore store(path);
    store.ReadInt(kSection, "K", 0);
  }
  EXPECT_EQ(savesSeen, 2);
  EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(original));
}

TEST_F(ProfileStoreTest, AMissingOrEmptyProfileIsCreatedWithAProfileRoot) {
  for (const char* existing : {static_cast<const char*>(nullptr), "", " \n"}) {
    std::filesystem::remove(path);
    if (existing != nullptr)
      writeFile(path, existing);
    {
      ProfileStore store(path);
      EXPECT_EQ(store.ReadInt(kSection, "K", 11), 11);
    }
    ASSERT_TRUE(fileExists(path));
    EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument("<profile/>\n"));
  }
}

// ---- Faults ------------------------------------------------------------------------------------

TEST_F(ProfileStoreTest, AnUnparsableProfileIsNeverOverwritten) {
  const char* unparsable[] = {
      "<profile><Unclosed></profile>\n",
      "plain text, not a profile",
      "<profile/><second/>",
      "<?xml version=\"1.0\"?>\n<!-- only a comment -->\n",
      "\xEF\xBB\xBF<profile><K>&undefined;</K></profile>",
  };
  for (const char* contents : unparsable) {
    {
      ProfileStore store(profile(contents));
      EXPECT_EQ(store.ReadInt(kSection, "K", 8), 8) << contents;
      EXPECT_TRUE(store.WriteInt(kSection, "K", 9));
      EXPECT_EQ(store.ReadInt(kSection, "K", 8), 9);  // the store itself still works
    }
    EXPECT_EQ(readFile(path), contents);
  }
  EXPECT_EQ(savesSeen, 0);
}

std::string tempSeenAtReplace;
bool failingReplace(const std::string& temp, const std::string&) {
  tempSeenAtReplace = readFile(temp);
  return false;
}

TEST_F(ProfileStoreTest, AFailureBeforeTheReplaceLeavesTheOldProfileIntact) {
  const std::string original = withKey("<K>1</K>");
  setFileReplaceStepForTesting(failingReplace);
  tempSeenAtReplace.clear();
  {
    ProfileStore store(profile(original));
    store.WriteInt(kSection, "K", 2);
  }
  // The new profile was complete on the disk before the step that failed ...
  EXPECT_EQ(asSavedDocument(tempSeenAtReplace), asSavedDocument(withKey("<K>2</K>")));
  // ... and the old one is untouched, with no temporary file left beside it.
  EXPECT_EQ(readFile(path), original);
  EXPECT_FALSE(fileExists(replacementTempPath(path)));
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path().filename(), "profile.xml");
}

TEST_F(ProfileStoreTest, AProfileInAMissingDirectoryIsQuietlyNotSaved) {
  const std::string nowhere = (dir.path() / "no such dir" / "profile.xml").string();
  {
    ProfileStore store(nowhere);
    EXPECT_EQ(store.ReadInt(kSection, "K", 4), 4);
    EXPECT_TRUE(store.WriteInt(kSection, "K", 5));
  }
  EXPECT_FALSE(fileExists(nowhere));
  EXPECT_FALSE(fileExists((dir.path() / "no such dir").string()));
}

TEST_F(ProfileStoreTest, WithoutADocumentReadsGiveDefaultsAndWritesDoNothing) {
  writeFile(path, withKey("<K>1</K>"));
  {
    ProfileStore store(path, nullptr);
    EXPECT_EQ(store.ReadInt(kSection, "K", 6), 6);
    EXPECT_TRUE(store.WriteInt(kSection, "K", 7));
    EXPECT_EQ(store.ReadInt(kSection, "K", 6), 6);
  }
  EXPECT_EQ(readFile(path), withKey("<K>1</K>"));
  EXPECT_EQ(savesSeen, 0);
}

// ---- A realistic host profile ------------------------------------------------------------------

// Several hundred elements of the host's, indented with tabs, with comments, entities, a CDATA
// section, non-ASCII text and attributes, under an XML declaration.
std::string hostProfile(const std::string& ourSection) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- host profile -->\n<profile>\n";
  for (int section = 0; section < 40; ++section) {
    xml += "\t<Section" + std::to_string(section) + ">\n";
    for (int key = 0; key < 12; ++key) {
      xml += "\t\t<Key" + std::to_string(key) + ">" + std::to_string(section * 100 + key * 7) +
             ".25</Key" + std::to_string(key) + ">\n";
    }
    xml +=
        "\t\t<!-- limits in \xC2\xB0 and mm -->\n\t\t<Name kind=\"text\">A &amp; B "
        "&lt;1&gt;</Name>\n";
    xml += "\t\t<Script><![CDATA[if (a < b) { go(); }]]></Script>\n\t\t<Flag/>\n";
    xml += "\t</Section" + std::to_string(section) + ">\n";
    if (section == 20)
      xml += ourSection;
  }
  return xml + "</profile>\n";
}

TEST_F(ProfileStoreTest, RoundTripOfAHostProfileChangesOnlyOurSection) {
  const std::string original = hostProfile("");
  ASSERT_GT(original.size(), 15000u);
  { ProfileStore store(profile(original)); }
  EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(original));

  // Our section is appended last the first time ...
  {
    ProfileStore store(path);
    store.WriteInt(kSection, "StepJogRate", 100);
    store.WriteInt(kSection, "Vel", 2);
  }
  std::string expected = original;
  expected.insert(expected.rfind("</profile>"),
                  "<Orvane_K4_Pendant><StepJogRate>100</StepJogRate><Vel>2</Vel>"
                  "</Orvane_K4_Pendant>");
  EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(expected));

  // ... and later rewritten where it stands, in the host's own layout.
  const std::string withOurs = hostProfile(
      "\t<Orvane_K4_Pendant>\n\t\t<StepJogRate>50</StepJogRate>\n\t</Orvane_K4_Pendant>\n");
  {
    ProfileStore store(profile(withOurs));
    EXPECT_EQ(store.ReadInt(kSection, "StepJogRate", 0), 50);
    store.WriteInt(kSection, "StepJogRate", 75);
  }
  std::string rewritten = withOurs;
  rewritten.replace(rewritten.find(">50<"), 4, ">75<");
  EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(rewritten));
}

TEST_F(ProfileStoreTest, TheFilesDeclarationAndEncodingAreKept) {
  struct Case {
    std::string original;
    bool onWindows;
  } cases[] = {
      // Wine's document writes UTF-8 whatever the declaration says; the system's own follows
      // the declaration, so this case is left to Linux.
      {"<?xml version='1.0' encoding='ISO-8859-1' standalone='yes' "
       "?>\r\n<profile>caf\xE9</profile>\n",
       false},
      {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n\n<profile>caf\xC3\xA9</profile>\n", true},
      {"<profile>caf\xC3\xA9</profile>\n", true},
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    if (!c.onWindows)
      continue;
#endif
    { ProfileStore store(profile(c.original)); }
    EXPECT_EQ(asSavedDocument(readFile(path)), asSavedDocument(c.original)) << c.original;
  }
}

}  // namespace
}  // namespace k4
