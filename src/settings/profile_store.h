// Reads and writes integer values in the host's XML profile, by section and key. A store lives
// for one entry-point call: opening parses the whole file, closing writes it back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace k4 {

class XmlDocument;

class ProfileStore {
 public:
  // Opens the store on `profileFile` (a copy of profilePath).
  explicit ProfileStore(const std::string& profileFile);
  virtual ~ProfileStore();  // closes: saves the document and releases it
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;

  int32_t ReadInt(const char* section, const char* key, int32_t defaultValue);
  bool WriteInt(const char* section, const char* key, int32_t value);

 private:
  std::unique_ptr<XmlDocument> document;
  std::string fileName;
};

}  // namespace k4
