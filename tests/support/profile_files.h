// Profile files for tests: a temporary directory of the test's own (valid on Linux and under
// Wine), whole-file reads and writes, and a comparison of saved profiles.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace k4::test {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("k4_test_" + std::to_string(stamp) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

inline bool fileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// A saved profile as a document: on Linux the bytes themselves; the Windows document writes
// its own line ends, byte-order mark and declaration, so there both sides are compared
// without them.
inline std::string asSavedDocument(std::string text) {
#ifdef _WIN32
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
    text.erase(0, 3);
  if (text.compare(0, 5, "<?xml") == 0)
    text.erase(0, text.find("?>") + 2);
  std::string normalised;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      continue;
    normalised += text[i];
  }
  const std::size_t first = normalised.find_first_not_of(" \t\n");
  const std::size_t last = normalised.find_last_not_of(" \t\n");
  return first == std::string::npos ? std::string{} : normalised.substr(first, last - first + 1);
#else
  return text;
#endif
}

}  // namespace k4::test
