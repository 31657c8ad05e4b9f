// The host's profile file as the simulator prepares it: a fresh temporary file with an empty
// "profile" root unless the user names one, and setting texts written into the plug-in's
// section before the plug-in starts.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace k4::hostsim {

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
