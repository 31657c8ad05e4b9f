#include "profile_file.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

enum class FileRead { Read, Missing, Failed };

// The whole file, read here rather than by libxml2 so that a failure is ours to word.
FileRead readFile(const std::string& path, std::string& content, int& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = errno;
    return error == ENOENT ? FileRead::Missing : FileRead::Failed;
  }
  std::ostringstream text;
  text << file.rdbuf();
  content = text.str();
  return FileRead::Read;
}

xmlDocPtr parse(const std::string& content, const std::string& path) {
  return xmlReadMemory(content.data(), static_cast<int>(content.size()), path.c_str(), nullptr,
                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
}

xmlDocPtr readDocument(const std::string& path) {
  std::string content;
  int error = 0;
  if (readFile(path, content, error) != FileRead::Read)
    return nullptr;
  return parse(content, path);
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether a new file can be made in `folder`, tried for real: the plug-in saves the profile by
// writing a new file beside it and renaming it over the old one.
bool folderTakesFiles(const std::string& folder, int& error) {
  std::string probe = folder + "/.k4-profile-check-XXXXXX";
  const int fd = mkstemp(probe.data());
  if (fd < 0) {
    error = errno;
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  return true;
}

void ignoreMessage(void*, const char*, ...) {}
// The handler's error parameter is const in newer libxml2 versions.
template <typename Error>
void ignoreError(void*, Error) {}

}  // namespace

void silenceXmlMessages() {
  xmlSetGenericErrorFunc(nullptr, ignoreMessage);
  xmlSetStructuredErrorFunc(nullptr, ignoreError);
}

bool configFolder(std::string& folder, std::string& error) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg == '/') {
    folder = std::string(xdg) + "/orvane-k4";
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home != nullptr && *home != '\0' ? home : ".") + "/.config/orvane-k4";
  }
  for (std::size_t slash = 1; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      error = "cannot create the settings folder " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

ProfileDiagnosis diagnoseProfile(const std::string& path, bool mustSave,
                                 const std::string& configCommand) {
  ProfileDiagnosis result;
  const std::string folder = folderOf(path);
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    result.error = "the profile " + path + " cannot be made: there is no folder " + folder +
                   ". Create it (mkdir -p " + folder + ") or name a profile in a folder that " +
                   "exists.";
    return result;
  }
  const std::string fresh =
      "the pendant uses its default settings (every step size NONE). "
      "Set them with " +
      configCommand + ".";
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) {
      result.error = "the profile " + path + " is a folder; name a file for the profile.";
    } else if (mustSave) {
      result.error = "the profile " + path +
                     " is not a regular file, so the settings cannot be saved in it; name a "
                     "file for the profile.";
    } else {
      result.fresh = true;
      result.warning = "the profile " + path +
                       " is not a regular file: the pendant uses its default settings and "
                       "nothing is saved.";
    }
    return result;
  }
  std::string content;
  int error = 0;
  const FileRead read = readFile(path, content, error);
  if (read == FileRead::Failed) {
    result.error = "cannot read the profile " + path + " (" + std::strerror(error) +
                   "). Let your user read it (a file made with sudo: sudo chown $USER " + path +
                   ") or name another profile.";
    return result;
  }
  if (read == FileRead::Read && mustSave && access(path.c_str(), W_OK) != 0) {
    result.error = "the profile " + path + " cannot be saved: it is read-only (" +
                   std::strerror(errno) + "). Let your user write it (chmod u+w " + path +
                   "; a file made with sudo: sudo chown $USER " + path +
                   ") or name another profile.";
    return result;
  }
  // The plug-in saves the file where a link to it leads.
  char resolved[PATH_MAX];
  const std::string saveFolder =
      read == FileRead::Read && realpath(path.c_str(), resolved) != nullptr ? folderOf(resolved)
                                                                            : folder;
  if ((read == FileRead::Missing || mustSave) && !folderTakesFiles(saveFolder, error)) {
    result.error =
        "the profile " + path + " cannot be " + (read == FileRead::Missing ? "made" : "saved") +
        ": " + saveFolder + " takes no new file (" + std::strerror(error) +
        "), and the profile is saved by writing a new file beside the old one. Let "
        "your user write in " +
        saveFolder + ", or name a profile in a folder of your own, such as ~/.config/orvane-k4/.";
    return result;
  }
  // The plug-in takes a blank file as no profile at all.
  if (read == FileRead::Missing || content.find_first_not_of(" \t\r\n") == std::string::npos) {
    result.fresh = true;
    result.warning = "the profile " + path + " is new: " + fresh;
    return result;
  }

  xmlResetLastError();  // the error below must be this file's
  xmlDocPtr doc = parse(content, path);
  if (doc == nullptr || xmlDocGetRootElement(doc) == nullptr) {
    const xmlError* last = xmlGetLastError();
    std::string where;
    if (last != nullptr && last->line > 0 && last->message != nullptr) {
      std::string message = last->message;
      while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
      where = " (line " + std::to_string(last->line) + ": " + message + ")";
    }
    if (doc != nullptr)
      xmlFreeDoc(doc);
    result.error = "the profile " + path + " is not well-formed XML" + where +
                   ": the plug-in would read none of its settings and never save to it. Mend "
                   "the file, or move it away to start again from the default settings.";
    return result;
  }
  xmlNodePtr root = xmlDocGetRootElement(doc);
  const std::string section = kProfileSection;
  if (firstChildElement(root, section) != nullptr) {
    // The section where the plug-in reads it: nothing to say.
  } else if (xmlStrcmp(root->name, xml(kProfileSection)) == 0) {
    result.warning = "the profile " + path + " holds the pendant's section <" + section +
                     "> as its whole file; the plug-in reads the section only inside the "
                     "profile's root element, so it uses its default settings instead. Put the "
                     "section inside a root element (<profile><" +
                     section + ">...</" + section + "></profile>), or set the values with " +
                     configCommand + ".";
  } else {
    result.warning = "the profile " + path + " has no <" + section + "> section yet: " + fresh;
  }
  xmlFreeDoc(doc);
  return result;
}

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
    doc = readDocument(path_);
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
  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc, &text, &size);
  xmlFreeDoc(doc);
  bool saved = false;
  if (text != nullptr) {
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    saved = file && file.write(reinterpret_cast<const char*>(text), size) && file.flush();
    xmlFree(text);
  }
  if (!saved)
    error = "cannot save the profile " + path_ + " (" + std::strerror(errno) + ")";
  return saved;
}

long ProfileFile::readSetting(const std::string& key, long fallback) const {
  xmlDocPtr doc = readDocument(path_);
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
