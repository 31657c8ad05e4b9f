// Placeholder until the XML-backed store lands: reads give their defaults, writes do nothing.
#include "settings/profile_store.h"

namespace k4 {

class XmlDocument {};

ProfileStore::ProfileStore(const std::string& profileFile) : fileName(profileFile) {}
ProfileStore::~ProfileStore() = default;

int32_t ProfileStore::ReadInt(const char*, const char*, int32_t defaultValue) {
  return defaultValue;
}
bool ProfileStore::WriteInt(const char*, const char*, int32_t) {
  return true;
}

}  // namespace k4
