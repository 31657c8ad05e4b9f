// The host's profile file as the simulator prepares it: a fresh temporary file with an empty
// "profile" root unless the user names one, and setting texts written into the plug-in's
// section before the plug-in starts.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace k4::hostsim {

// What the host finds in a profile the user named, before the plug-in reads it. Both texts name
// the file and say what to do; empty when there is nothing to say.
struct ProfileDiagnosis {
  std::string error;    // the profile cannot be used as asked
  std::string warning;  // it can, but the pendant will not read the settings the user expects
  bool fresh = false;   // there is no file yet (`warning` says the defaults are used)
};

// `mustSave`: the run writes the profile (the configuration dialog, a scenario kept with
// --write-profile), so the file, or its folder when there is no file yet, must take a write.
// `configCommand` is the command that opens the configuration dialog on this profile.
ProfileDiagnosis diagnoseProfile(const std::string& path, bool mustSave,
                                 const std::string& configCommand);

// The folder a program keeps its files in: $XDG_CONFIG_HOME/orvane-k4, else
// ~/.config/orvane-k4; created (with its parents) when missing. False with `error` set when it
// cannot be created.
bool configFolder(std::string& folder, std::string& error);

// Keeps libxml2's own messages ("I/O error : ...") off the terminal: every failure is reported
// by the host in its own words. Called once at the start of a host program.
void silenceXmlMessages();

class ProfileFile {
 public:
  ProfileFile() = default;
  ~ProfileFile();  // removes the temporary file
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // Uses `path`, or a fresh temporary file when empty. False with `error` set on failure.
  bool open(const std::string& path, std::string& error);
  // A temporary copy of `path` (an empty profile when there is none yet), removed at the end:
  // what a scenario writes never reaches the user's own profile.
  bool openCopy(const std::string& path, std::string& error);
  const std::string& path() const { return path_; }

  // Stores each text verbatim as its key's element text in the plug-in's section.
  bool writeSettings(const std::vector<SettingText>& settings, std::string& error);
  // The integer a key of the plug-in's section holds; `fallback` when the file, the key or a
  // number is missing.
  long readSetting(const std::string& key, long fallback) const;
  // Every key of the plug-in's section with its text, in the file's order; none when the file
  // or the section is missing.
  std::vector<SettingText> readSettings() const;

 private:
  bool openTemporary(const std::string& content, std::string& error);

  std::string path_;
  bool temporary_ = false;
};

}  // namespace k4::hostsim
