#include "ini_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace k4::lcnc {

namespace {

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return "";
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool IniFile::load(const std::string& path, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read the INI file " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  std::string line;
  std::string section;
  while (std::getline(file, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';')
      continue;
    if (line[0] == '[') {
      section = trim(line.substr(1, line.find(']') - 1));
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    values_[section + "\n" + trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return true;
}

std::string IniFile::get(const std::string& section, const std::string& key,
                         const std::string& fallback) const {
  const auto it = values_.find(section + "\n" + key);
  return it != values_.end() ? it->second : fallback;
}

double IniFile::number(const std::string& section, const std::string& key, double fallback) const {
  const std::string text = get(section, key);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return text.empty() || end == text.c_str() ? fallback : value;
}

}  // namespace k4::lcnc
