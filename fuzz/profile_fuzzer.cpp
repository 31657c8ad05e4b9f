// Arbitrary bytes as the host's profile, through what a Config call does to it: open a store,
// read the 27 keys, write the 27 keys, close. Afterwards:
//   - a file the XML parser does not take is byte for byte what it was;
//   - a file it takes (or one with nothing in it) holds our section, every key reads back as it
//     was written, and opening and closing the store once more changes no byte.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "settings/pendant_settings.h"
#include "settings/profile_store.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

fs::path workDir;

void removeWorkDir() {
  std::error_code ignored;
  fs::remove_all(workDir, ignored);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void writeFile(const fs::path& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// Whether the profile has something in it that the parser takes as a document with a root
// element, with the options the store's document uses.
bool parses(std::string_view contents) {
  if (contents.find_first_not_of(" \t\r\n") == std::string_view::npos)
    return true;  // nothing to lose: the store creates the profile
  xmlDocPtr doc = xmlReadMemory(contents.data(), static_cast<int>(contents.size()), "profile.xml",
                                nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const bool taken = doc != nullptr && xmlDocGetRootElement(doc) != nullptr;
  xmlFreeDoc(doc);
  return taken;
}

// The value written for key `index`: spread over the int32 range, signs and widths, and
// changed by the input so that a stale value cannot pass for a new one.
int32_t valueFor(std::size_t index, uint8_t salt) {
  static constexpr int32_t kValues[] = {0, 1, -1, 42, 2147483647, -2147483647 - 1, 99, -300};
  const uint32_t spread = static_cast<uint32_t>(index * 1000) * (salt % 7u);
  return static_cast<int32_t>(static_cast<uint32_t>(kValues[index % std::size(kValues)]) + spread);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/k4-profile-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr)
    std::abort();
  workDir = pattern;
  std::atexit(removeWorkDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  const fs::path path = workDir / "profile.xml";
  writeFile(path, original);
  const uint8_t salt = size != 0 ? data[size / 2] : 0;

  {
    k4::ProfileStore store(path.string());
    for (const k4::SettingKey& entry : k4::settingKeys())
      store.ReadInt(k4::kProfileSection, entry.key, entry.reconfigurationDefault);
    std::size_t index = 0;
    for (const k4::SettingKey& entry : k4::settingKeys())
      store.WriteInt(k4::kProfileSection, entry.key, valueFor(index++, salt));
  }
  const std::string saved = readFile(path);

  if (!parses(original)) {
    if (saved != original)
      fail("a profile that did not parse was changed");
    return 0;
  }

  {
    k4::ProfileStore store(path.string());
    std::size_t index = 0;
    for (const k4::SettingKey& entry : k4::settingKeys()) {
      // A default no written value has: a key that did not read back shows.
      if (store.ReadInt(k4::kProfileSection, entry.key, 123456789) != valueFor(index++, salt))
        fail("a written key did not read back");
    }
  }
  if (readFile(path) != saved)
    fail("opening and closing the saved profile changed it");
  return 0;
}
