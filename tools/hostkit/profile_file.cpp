#include "profile_file.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/host_boundary.h"

namespace k4::hostsim {

namespace {

const xmlChar* xml(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

xmlNodePtr firstChildElement(xmlNodePtr parent, const std::string& name) {
  for (xmlNodePtr child = parent->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE && xmlStrcmp(child->name, xml(name.c_str())) == 0) {
      return child;
    }
  }
  return nullptr;
}

xmlNodePtr childElement(xmlNodePtr parent, const std::string& name) {
  if (xmlNodePtr found = firstChildElement(parent, name))
    return found;
  return xmlNewChild(parent, nullptr, xml(name.c_str()), nullptr);
}

}  // namespace

ProfileFile::~ProfileFile() {
  if (temporary_)
    unlink(path_.c_str());
}

bool ProfileFile::open(const std::string& path, std::string& error) {
  if (!path.empty()) {
    path_ = path;
    return true;
  }
  return openTemporary("<profile/>\n", error);
}

bool ProfileFile::openCopy(const std::string& path, std::string& error) {
  if (path.empty() || access(path.c_str(), F_OK) != 0)
    return open("", error);
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read the profile " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream content;
  content << file.rdbuf();
  return openTemporary(content.str(), error);
}

bool ProfileFile::openTemporary(const std::string& content, std::string& error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/k4-hostsim-profile-XXXXXX.xml";
  const int fd = mkstemps(pattern.data(), 4);
  if (fd < 0) {
    error = "cannot create a temporary profile " + pattern + ": " + std::strerror(errno);
    return false;
  }
  const bool written =
      write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  close(fd);
  path_ = pattern;
  temporary_ = true;
  if (!written)
    error = "cannot write the temporary profile " + pattern;
  return written;
}

bool ProfileFile::writeSettings(const std::vector<SettingText>& settings, std::string& error) {
  if (settings.empty())
    return true;
  xmlDocPtr doc = nullptr;
  if (access(path_.c_str(), F_OK) == 0) {
    doc = xmlReadFile(path_.c_str(), nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) {
      error = path_ + ": the profile is not well-formed XML; settings not written";
      return false;
    }
  } else {
    doc = xmlNewDoc(xml("1.0"));
  }
  xmlNodePtr root = xmlDocGetRootElement(doc);
  if (root == nullptr) {
    root = xmlNewNode(nullptr, xml("profile"));
    xmlDocSetRootElement(doc, root);
  }
  xmlNodePtr section = childElement(root, kProfileSection);
  for (const SettingText& setting : settings) {
    xmlNodePtr key = childElement(section, setting.key);
    xmlNodeSetContent(key, nullptr);
    if (!setting.text.empty())
      xmlAddChild(key, xmlNewDocText(doc, xml(setting.text.c_str())));
  }
  const bool saved = xmlSaveFile(path_.c_str(), doc) >= 0;
  xmlFreeDoc(doc);
  if (!saved)
    error = path_ + ": cannot save the profile";
  return saved;
}

long ProfileFile::readSetting(const std::string& key, long fallback) const {
  xmlDocPtr doc = xmlReadFile(path_.c_str(), nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr)
    return fallback;
  long value = fallback;
  xmlNodePtr root = xmlDocGetRootElement(doc);
  xmlNodePtr section = root != nullptr ? firstChildElement(root, kProfileSection) : nullptr;
  xmlNodePtr element = section != nullptr ? firstChildElement(section, key) : nullptr;
  if (element != nullptr) {
    xmlChar* text = xmlNodeGetContent(element);
    if (text != nullptr) {
      const char* start = reinterpret_cast<const char*>(text);
      char* end = nullptr;
      const long number = std::strtol(start, &end, 10);
      if (end != start)
        value = number;
      xmlFree(text);
    }
  }
  xmlFreeDoc(doc);
  return value;
}

}  // namespace k4::hostsim

namespace k4::hostsim {

std::vector<SettingText> ProfileFile::readSettings() const {
  std::vector<SettingText> settings;
  xmlDocPtr doc = xmlReadFile(path_.c_str(), nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr)
    return settings;
  xmlNodePtr root = xmlDocGetRootElement(doc);
  xmlNodePtr section = root != nullptr ? firstChildElement(root, kProfileSection) : nullptr;
  for (xmlNodePtr node = section != nullptr ? section->children : nullptr; node != nullptr;
       node = node->next) {
    if (node->type != XML_ELEMENT_NODE)
      continue;
    xmlChar* text = xmlNodeGetContent(node);
    settings.push_back({reinterpret_cast<const char*>(node->name),
                        text != nullptr ? reinterpret_cast<const char*>(text) : ""});
    xmlFree(text);
  }
  xmlFreeDoc(doc);
  return settings;
}

}  // namespace k4::hostsim
