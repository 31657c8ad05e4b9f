// XML document services: the few DOM operations the profile store needs, one implementation
// per platform (MSXML through COM on Windows, libxml2 elsewhere).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace k4 {

// An element of one document: opaque, null for "none". Valid while its document lives and the
// element has not been removed.
struct XmlElementTag;
using XmlElement = XmlElementTag*;

enum class XmlLoadResult {
  Loaded,      // parsed; the document now holds the file's tree
  Missing,     // no such file, or a file with nothing in it: there is nothing to lose
  Unreadable,  // the file exists but could not be read
  Malformed,   // the file has content that does not parse
};

class XmlDocument {
 public:
  virtual ~XmlDocument() = default;

  // Parses the file into the document. On any result but Loaded the document is left without
  // a root element.
  virtual XmlLoadResult load(const std::string& path) = 0;

  virtual XmlElement rootElement() = 0;
  // The first child element of `parent` whose name is `name`, or null.
  virtual XmlElement firstChildElement(XmlElement parent, std::string_view name) = 0;
  // A new element, not yet in the tree; null on failure.
  virtual XmlElement createElement(std::string_view name) = 0;
  // Adds `child` as the last child of `parent`; a null parent makes `child` the document's
  // root element (only when it has none).
  virtual bool appendChild(XmlElement parent, XmlElement child) = 0;
  // The concatenated text of the element's descendants.
  virtual std::string text(XmlElement element) = 0;
  // Replaces all content of the element with one text node.
  virtual bool setText(XmlElement element, std::string_view text) = 0;
  // Removes `child` from `parent`; `child` is invalid afterwards.
  virtual bool removeChild(XmlElement parent, XmlElement child) = 0;
  // Writes the whole document to the file, creating it when missing. The file is replaced in
  // one step: a failed save leaves the previous file as it was.
  virtual bool save(const std::string& path) = 0;
};

// An empty document, or null when the platform's document object cannot be created.
std::unique_ptr<XmlDocument> createXmlDocument();

}  // namespace k4
