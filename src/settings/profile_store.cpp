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
  // Taken before the read: a change that slips in between is seen as a change at the close.
  loadedStamp = fileStamp(fileName);
  saveAtClose = loadInto(*document);
}

bool ProfileStore::loadInto(XmlDocument& target) const {
  const XmlLoadResult loaded = target.load(fileName);
  if (target.rootElement() == nullptr)
    target.appendChild(nullptr, target.createElement(kNewRootName));
  // A missing or empty file is created at the close, as the host expects. A file we could not
  // take in is never written: its content would be lost.
  return loaded == XmlLoadResult::Loaded || loaded == XmlLoadResult::Missing;
}

ProfileStore::~ProfileStore() {
  // Nothing may escape a destructor; a save that fails leaves the previous file intact.
  try {
    saveAtTheClose();
  } catch (...) {
  }
}

void ProfileStore::saveAtTheClose() {
  // The result of the save is not consulted: a failed save leaves the previous file intact and
  // the host has no channel for our errors.
  if (document == nullptr || !saveAtClose)
    return;
  if (fileStamp(fileName) == loadedStamp) {
    document->save(fileName);
    return;
  }
  // The host (or the user) replaced the profile while it was open here, say while the dialog
  // was shown: saving what was read then would undo their change. The new file gets our writes.
  std::unique_ptr<XmlDocument> current = createXmlDocument();
  if (current == nullptr || !loadInto(*current))
    return;
  for (const Write& write : writes)
    writeInto(*current, write.section.c_str(), write.key.c_str(), write.value);
  current->save(fileName);
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
  writeInto(*document, section, key, value);
  if (saveAtClose)
    writes.push_back(Write{section, key, value});
  return true;
}

void ProfileStore::writeInto(XmlDocument& target, const char* section, const char* key,
                             int32_t value) {
  const XmlElement root = target.rootElement();
  XmlElement sectionElement = target.firstChildElement(root, section);
  if (sectionElement == nullptr) {
    sectionElement = target.createElement(section);
    if (!target.appendChild(root, sectionElement))
      return;
  }
  XmlElement keyElement = target.firstChildElement(sectionElement, key);
  if (keyElement == nullptr) {
    keyElement = target.createElement(key);
    if (!target.appendChild(sectionElement, keyElement))
      return;
  }
  target.setText(keyElement, std::to_string(value));
}

}  // namespace k4
