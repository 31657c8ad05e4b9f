#include "settings/profile_store.h"

#include <string_view>

#include "settings/option_lists.h"

namespace k4 {

namespace {

constexpr const char* kNewRootName = "profile";

}  // namespace

ProfileStore::ProfileStore(const std::string& profileFile)
    : ProfileStore(profileFile, createXmlDocument()) {}

ProfileStore::ProfileStore(const std::string& profileFile, std::unique_ptr<XmlDocument> doc)
    : document(std::move(doc)), fileName(profileFile) {
  // Without a document the store cannot work: reads give their defaults, writes do nothing.
  if (document == nullptr)
    return;
  // Without a file name there is nothing to load and nowhere to save.
  if (fileName.empty()) {
    document->appendChild(nullptr, document->createElement(kNewRootName));
    return;
  }
  const XmlLoadResult loaded = document->load(fileName);
  // A missing or empty file is created at the close, as the host expects. A file we could not
  // take in is never written: its content would be lost.
  saveAtClose = loaded == XmlLoadResult::Loaded || loaded == XmlLoadResult::Missing;
  if (document->rootElement() == nullptr) {
    document->appendChild(nullptr, document->createElement(kNewRootName));
  }
}

ProfileStore::~ProfileStore() {
  // The result of the save is not consulted: a failed save leaves the previous file intact and
  // the host has no channel for our errors.
  if (document != nullptr && saveAtClose)
    document->save(fileName);
}

XmlElement ProfileStore::findKey(const char* section, const char* key, XmlElement* sectionElement) {
  *sectionElement = document->firstChildElement(document->rootElement(), section);
  if (*sectionElement == nullptr)
    return nullptr;
  return document->firstChildElement(*sectionElement, key);
}

int32_t ProfileStore::ReadInt(const char* section, const char* key, int32_t defaultValue) {
  if (document == nullptr || section == nullptr || key == nullptr)
    return defaultValue;
  XmlElement sectionElement = nullptr;
  const XmlElement keyElement = findKey(section, key, &sectionElement);
  if (keyElement == nullptr)
    return defaultValue;
  const std::string text = document->text(keyElement);
  if (text.empty()) {
    // An empty key is taken as never written; it goes from the file at the close.
    document->removeChild(sectionElement, keyElement);
    return defaultValue;
  }
  return leadingInteger(text);
}

bool ProfileStore::WriteInt(const char* section, const char* key, int32_t value) {
  if (document == nullptr || section == nullptr || key == nullptr)
    return true;
  const XmlElement root = document->rootElement();
  XmlElement sectionElement = document->firstChildElement(root, section);
  if (sectionElement == nullptr) {
    sectionElement = document->createElement(section);
    if (!document->appendChild(root, sectionElement))
      return true;
  }
  XmlElement keyElement = document->firstChildElement(sectionElement, key);
  if (keyElement == nullptr) {
    keyElement = document->createElement(key);
    if (!document->appendChild(sectionElement, keyElement))
      return true;
  }
  document->setText(keyElement, std::to_string(value));
  return true;
}

}  // namespace k4
