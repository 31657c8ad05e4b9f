// The XML document on libxml2. The profile belongs to the host, so a load followed by a save
// must give the host's file back as it was: blank text is kept (no XML_PARSE_NOBLANKS), nothing
// is re-indented (no XML_SAVE_FORMAT), and the file's own declaration is written back byte for
// byte instead of one made up by the serializer.
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/xml.h"

namespace k4 {

namespace {

// No network access, and no messages on the host's stderr: the plug-in keeps no log.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

xmlNodePtr node(XmlElement element) {
  return reinterpret_cast<xmlNodePtr>(element);
}
XmlElement element(xmlNodePtr node) {
  return reinterpret_cast<XmlElement>(node);
}

const xmlChar* xmlText(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}

enum class ReadResult { Read, Missing, Failed };

ReadResult readWholeFile(const std::string& path, std::string& contents) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  contents.clear();
  char buffer[65536];
  while (ok) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    contents.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return ok ? ReadResult::Read : ReadResult::Failed;
}

bool onlyBlanks(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The byte-order mark and the XML declaration at the start of a file in an encoding that is
// ASCII in its first bytes, with the blanks after the declaration: "" when there are none.
// The serializer's own declaration would differ in quoting, spacing and the standalone flag.
std::string leadingDeclaration(const std::string& file) {
  std::size_t end = 0;
  if (file.compare(0, 3, "\xEF\xBB\xBF") == 0)
    end = 3;
  if (file.compare(end, 5, "<?xml") == 0 && end + 5 < file.size() &&
      std::strchr(" \t\r\n", file[end + 5]) != nullptr) {
    const std::size_t close = file.find("?>", end);
    if (close == std::string::npos)
      return {};
    end = close + 2;
    while (end < file.size() && std::strchr(" \t\r\n", file[end]) != nullptr)
      ++end;
  }
  return file.substr(0, end);
}

bool asciiCompatible(const std::string& file) {
  // UTF-16 and UTF-32 files start with a byte-order mark or with a zero byte.
  if (file.size() >= 2 &&
      ((file[0] == '\xFF' && file[1] == '\xFE') || (file[0] == '\xFE' && file[1] == '\xFF'))) {
    return false;
  }
  return file.empty() || file[0] != '\0';
}

int appendToString(void* context, const char* buffer, int length) {
  static_cast<std::string*>(context)->append(buffer, static_cast<std::size_t>(length));
  return length;
}

class LibXml2Document final : public XmlDocument {
 public:
  explicit LibXml2Document(xmlDocPtr doc) : doc_(doc) {}
  ~LibXml2Document() override {
    // Elements created but never placed in the tree are not freed with the document.
    for (xmlNodePtr created : unattached_) {
      if (created->parent == nullptr)
        xmlFreeNode(created);
    }
    xmlFreeDoc(doc_);
  }
  LibXml2Document(const LibXml2Document&) = delete;
  LibXml2Document& operator=(const LibXml2Document&) = delete;

  XmlLoadResult load(const std::string& path) override {
    std::string file;
    switch (readWholeFile(path, file)) {
      case ReadResult::Missing:
        return XmlLoadResult::Missing;
      case ReadResult::Failed:
        return XmlLoadResult::Unreadable;
      case ReadResult::Read:
        break;
    }
    if (onlyBlanks(file))
      return XmlLoadResult::Missing;
    if (file.size() > static_cast<std::size_t>(INT_MAX))
      return XmlLoadResult::Unreadable;
    xmlDocPtr parsed = xmlReadMemory(file.data(), static_cast<int>(file.size()), path.c_str(),
                                     nullptr, kParseOptions);
    if (parsed == nullptr)
      return XmlLoadResult::Malformed;
    if (xmlDocGetRootElement(parsed) == nullptr) {
      xmlFreeDoc(parsed);
      return XmlLoadResult::Malformed;
    }
    xmlFreeDoc(doc_);
    doc_ = parsed;
    ownDeclaration_ = asciiCompatible(file);
    declaration_ = ownDeclaration_ ? leadingDeclaration(file) : std::string{};
    return XmlLoadResult::Loaded;
  }

  XmlElement rootElement() override { return element(xmlDocGetRootElement(doc_)); }

  XmlElement firstChildElement(XmlElement parent, std::string_view name) override {
    if (parent == nullptr)
      return nullptr;
    for (xmlNodePtr child = node(parent)->children; child != nullptr; child = child->next) {
      if (child->type != XML_ELEMENT_NODE)
        continue;
      // A prefixed element's qualified name is "prefix:name", never a plain name.
      if (child->ns != nullptr && child->ns->prefix != nullptr)
        continue;
      const char* childName = reinterpret_cast<const char*>(child->name);
      if (childName != nullptr && name == childName)
        return element(child);
    }
    return nullptr;
  }

  XmlElement createElement(std::string_view name) override {
    const std::string owned(name);
    xmlNodePtr created = xmlNewDocNode(doc_, nullptr, xmlText(owned), nullptr);
    if (created != nullptr)
      unattached_.push_back(created);
    return element(created);
  }

  bool appendChild(XmlElement parent, XmlElement child) override {
    if (child == nullptr || node(child)->parent != nullptr)
      return false;
    if (parent == nullptr) {
      if (xmlDocGetRootElement(doc_) != nullptr)
        return false;
      xmlDocSetRootElement(doc_, node(child));
    } else if (xmlAddChild(node(parent), node(child)) == nullptr) {
      return false;
    }
    std::erase(unattached_, node(child));  // the tree owns it now
    return true;
  }

  std::string text(XmlElement target) override {
    if (target == nullptr)
      return {};
    xmlChar* content = xmlNodeGetContent(node(target));
    if (content == nullptr)
      return {};
    std::string result(reinterpret_cast<const char*>(content));
    xmlFree(content);
    return result;
  }

  bool setText(XmlElement target, std::string_view text) override {
    if (target == nullptr || text.size() > static_cast<std::size_t>(INT_MAX))
      return false;
    xmlNodePtr textNode = xmlNewDocTextLen(doc_, reinterpret_cast<const xmlChar*>(text.data()),
                                           static_cast<int>(text.size()));
    if (textNode == nullptr)
      return false;
    xmlNodePtr content = node(target)->children;
    while (content != nullptr) {
      xmlNodePtr next = content->next;
      xmlUnlinkNode(content);
      xmlFreeNode(content);
      content = next;
    }
    if (xmlAddChild(node(target), textNode) == nullptr) {
      xmlFreeNode(textNode);
      return false;
    }
    return true;
  }

  bool removeChild(XmlElement parent, XmlElement child) override {
    if (parent == nullptr || child == nullptr || node(child)->parent != node(parent))
      return false;
    xmlUnlinkNode(node(child));
    xmlFreeNode(node(child));
    return true;
  }

  bool save(const std::string& path) override {
    std::string out = declaration_;
    // The file's own encoding; a file without a declaration is UTF-8, and naming it keeps the
    // serializer from turning every non-ASCII character into a character reference.
    const char* encoding =
        doc_->encoding != nullptr ? reinterpret_cast<const char*>(doc_->encoding) : "UTF-8";
    const int options = ownDeclaration_ ? XML_SAVE_NO_DECL : 0;
    xmlSaveCtxtPtr context = xmlSaveToIO(appendToString, nullptr, &out, encoding, options);
    if (context == nullptr)
      return false;
    const bool written = xmlSaveDoc(context, doc_) >= 0;
    const bool closed = xmlSaveClose(context) >= 0;
    return written && closed && replaceFileContents(path, out);
  }

 private:
  xmlDocPtr doc_;
  std::string declaration_;
  bool ownDeclaration_ = true;  // false: the serializer writes the declaration itself
  std::vector<xmlNodePtr> unattached_;
};

}  // namespace

std::unique_ptr<XmlDocument> createXmlDocument() {
  xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  if (doc == nullptr)
    return nullptr;
  return std::make_unique<LibXml2Document>(doc);
}

}  // namespace k4
