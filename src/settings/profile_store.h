// Reads and writes integer values in the host's XML profile, by section and key. A store lives
// for one entry-point call: opening parses the whole file, closing writes it back.
//
// Layout: a section is the first child element of the document's root with the section's
// name, a key the first child element of its section with the key's name, and the key's whole
// text is the value in decimal. Everything else in the file is the host's and is left as it
// was. Nothing reaches the disk before the close.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/xml.h"

namespace k4 {

class ProfileStore {
 public:
  // Opens the store on `profileFile` (a copy of profilePath) with the platform's document.
  explicit ProfileStore(const std::string& profileFile);
  // The same on a given document; a null document stands for one that could not be created.
  ProfileStore(const std::string& profileFile, std::unique_ptr<XmlDocument> document);
  virtual ~ProfileStore();  // closes: saves the document and releases it
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;

  // The key's value as a leading decimal integer (saturated at the int32 limits), or
  // `defaultValue` when the section or key is missing or the key's text is empty. An empty key
  // element is removed.
  int32_t ReadInt(const char* section, const char* key, int32_t defaultValue);
  // Creates the section and key elements as needed and sets the key's text. Always true.
  bool WriteInt(const char* section, const char* key, int32_t value);

 private:
  XmlElement findKey(const char* section, const char* key, XmlElement* sectionElement);

  std::unique_ptr<XmlDocument> document;
  std::string fileName;
  // False when the file holds content the document could not take in (unparsable or
  // unreadable): writing the document back would replace the host's profile with our section.
  bool saveAtClose = false;
};

}  // namespace k4
