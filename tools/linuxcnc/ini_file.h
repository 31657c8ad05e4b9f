// The few values the bridge takes from the machine's INI file: sections of KEY = VALUE lines,
// '#' and ';' comments, the last of repeated keys winning.
#pragma once

#include <map>
#include <string>

namespace k4::lcnc {

class IniFile {
 public:
  bool load(const std::string& path, std::string& error);
  // The value, or `fallback` when the section or key is missing.
  std::string get(const std::string& section, const std::string& key,
                  const std::string& fallback = "") const;
  double number(const std::string& section, const std::string& key, double fallback) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::map<std::string, std::string> values_;  // "SECTION\nKEY" -> value
};

}  // namespace k4::lcnc
