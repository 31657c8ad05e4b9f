// What one Config call costs the host's thread on a large profile: open, 27 reads, 27 writes
// and the close (with its flushed, atomic replace), beside libxml2 parsing and saving the same
// file with nothing else. The profiles live in $K4_BENCH_DIR, else the system's temp directory.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/pendant_settings.h"
#include "settings/profile_store.h"

namespace {

namespace fs = std::filesystem;

// About 1 MB in the host's layout: tab-indented sections of keys, comments now and then.
std::string generatedProfile() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<profile>\n";
  for (int section = 0; xml.size() < 1'000'000; ++section) {
    const std::string name = "Section" + std::to_string(section);
    xml += "\t<" + name + ">\n\t\t<!-- settings of " + name + " -->\n";
    for (int key = 0; key < 30; ++key) {
      const std::string keyName = "Key" + std::to_string(key);
      xml +=
          "\t\t<" + keyName + ">" + std::to_string(section * 31 + key) + ".5</" + keyName + ">\n";
    }
    xml += "\t</" + name + ">\n";
  }
  return xml + "</profile>\n";
}

class Profiles {
 public:
  Profiles() {
    const char* chosen = std::getenv("K4_BENCH_DIR");
    dir_ = (chosen != nullptr ? fs::path(chosen) : fs::temp_directory_path()) / "k4_store_bench";
    fs::create_directories(dir_);
    const std::string xml = generatedProfile();
    for (const char* name : {"store.xml", "libxml2.xml"}) {
      std::ofstream(dir_ / name, std::ios::binary) << xml;
    }
    size_ = xml.size();
  }
  ~Profiles() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  std::size_t size() const { return size_; }

 private:
  fs::path dir_;
  std::size_t size_ = 0;
};

const Profiles& profiles() {
  static const Profiles instance;
  return instance;
}

void BM_ProfileStoreConfigCall(benchmark::State& state) {
  const std::string path = profiles().path("store.xml");
  int32_t value = 0;
  for (auto _ : state) {
    k4::ProfileStore store(path);
    for (const k4::SettingKey& entry : k4::settingKeys()) {
      value += store.ReadInt(k4::kProfileSection, entry.key, entry.reconfigurationDefault);
    }
    for (const k4::SettingKey& entry : k4::settingKeys()) {
      store.WriteInt(k4::kProfileSection, entry.key, value & 0xFF);
    }
  }
  benchmark::DoNotOptimize(value);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * profiles().size()));
}
BENCHMARK(BM_ProfileStoreConfigCall)->Unit(benchmark::kMillisecond);

void BM_Libxml2ParseAndSave(benchmark::State& state) {
  const std::string path = profiles().path("libxml2.xml");
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
    if (doc == nullptr) {
      state.SkipWithError("libxml2 could not parse the profile");
      break;
    }
    xmlSaveFile(path.c_str(), doc);
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * profiles().size()));
}
BENCHMARK(BM_Libxml2ParseAndSave)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
