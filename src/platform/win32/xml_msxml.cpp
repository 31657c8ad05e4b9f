// The XML document on the system's MSXML DOM, through COM. The profile belongs to the host:
// white space is preserved on load so that the host's layout survives the save, and the
// document is saved into memory first so that the file can be replaced in one step.
#include <objbase.h>
#include <windows.h>
// windows.h first: msxml.h needs its types.
#include <msxml.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/xml.h"

namespace k4 {

namespace {

// DOMDocument and IXMLDOMDocument, spelt out here rather than taken from an import library.
constexpr CLSID kDomDocumentClass = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kDomDocumentInterface = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

bool succeeded(HRESULT result) {
  return result >= 0;
}

IXMLDOMNode* node(XmlElement element) {
  return reinterpret_cast<IXMLDOMNode*>(element);
}
XmlElement element(IXMLDOMNode* node) {
  return reinterpret_cast<XmlElement>(node);
}

// A BSTR owned for the length of one call.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), size(text))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }
  BSTR* out() { return &value_; }
  bool valid() const { return value_ != nullptr; }

 private:
  static UINT size(const std::wstring& text) { return static_cast<UINT>(text.size()); }
  BSTR value_ = nullptr;
};

std::wstring widen(std::string_view text, UINT codePage) {
  if (text.empty())
    return {};
  const int length = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(wide > 0 ? wide : 0), L'\0');
  if (wide > 0)
    MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), wide);
  return result;
}

std::string toUtf8(const wchar_t* text, UINT length) {
  if (text == nullptr || length == 0)
    return {};
  const int wide = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text, wide, result.data(), bytes, nullptr, nullptr);
  return result;
}

// Reads the whole file, and tells whether it exists with something in it, before the document
// is asked to parse it: a missing or blank file is created afresh, while a file the parser
// rejects must stay untouched. The file is read here, with read and write sharing, and not by
// the document: the host may hold its profile open for writing, which the document's own
// opening (read sharing only) would not get past.
XmlLoadResult readWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? XmlLoadResult::Missing
               : XmlLoadResult::Unreadable;
  }
  XmlLoadResult result = XmlLoadResult::Missing;
  char buffer[4096];
  DWORD got = 0;
  for (;;) {
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      result = XmlLoadResult::Unreadable;
      break;
    }
    if (got == 0)
      break;
    bytes.append(buffer, got);
    for (DWORD i = 0; i < got && result == XmlLoadResult::Missing; ++i) {
      const char c = buffer[i];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
        result = XmlLoadResult::Loaded;
    }
  }
  CloseHandle(file);
  return result;
}

class MsxmlDocument final : public XmlDocument {
 public:
  MsxmlDocument(IXMLDOMDocument* doc, bool comInitialised)
      : doc_(doc), comInitialised_(comInitialised) {}
  ~MsxmlDocument() override {
    for (IXMLDOMNode* held : held_)
      held->Release();
    doc_->Release();
    // Balances our own initialisation only; a host that initialised COM keeps it.
    if (comInitialised_)
      CoUninitialize();
  }
  MsxmlDocument(const MsxmlDocument&) = delete;
  MsxmlDocument& operator=(const MsxmlDocument&) = delete;

  XmlLoadResult load(const std::string& path) override {
    std::string bytes;
    const XmlLoadResult found = readWholeFile(path, bytes);
    if (found != XmlLoadResult::Loaded)
      return found;
    // The document parses the bytes as it would the file: it finds their encoding itself.
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    void* data = memory != nullptr ? GlobalLock(memory) : nullptr;
    if (data == nullptr) {
      if (memory != nullptr)
        GlobalFree(memory);
      return XmlLoadResult::Unreadable;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (!succeeded(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
      GlobalFree(memory);
      return XmlLoadResult::Unreadable;
    }
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_UNKNOWN;
    V_UNKNOWN(&source) = stream;  // the variant borrows our reference
    VARIANT_BOOL parsed = VARIANT_FALSE;
    const HRESULT result = doc_->load(source, &parsed);
    stream->Release();
    if (!succeeded(result) || parsed != VARIANT_TRUE || rootElement() == nullptr) {
      return XmlLoadResult::Malformed;
    }
    return XmlLoadResult::Loaded;
  }

  XmlElement rootElement() override {
    IXMLDOMElement* root = nullptr;
    if (!succeeded(doc_->get_documentElement(&root)) || root == nullptr)
      return nullptr;
    return hold(root);
  }

  XmlElement firstChildElement(XmlElement parent, std::string_view name) override {
    if (parent == nullptr)
      return nullptr;
    const std::wstring wanted = widen(name, CP_UTF8);
    IXMLDOMNode* child = nullptr;
    if (!succeeded(node(parent)->get_firstChild(&child)))
      return nullptr;
    while (child != nullptr) {
      DOMNodeType type = NODE_INVALID;
      if (succeeded(child->get_nodeType(&type)) && type == NODE_ELEMENT) {
        Bstr childName;
        if (succeeded(child->get_nodeName(childName.out())) && childName.valid() &&
            wanted == std::wstring(childName.get(), SysStringLen(childName.get()))) {
          return hold(child);
        }
      }
      IXMLDOMNode* next = nullptr;
      if (!succeeded(child->get_nextSibling(&next)))
        next = nullptr;
      child->Release();
      child = next;
    }
    return nullptr;
  }

  XmlElement createElement(std::string_view name) override {
    Bstr wideName(widen(name, CP_UTF8));
    IXMLDOMElement* created = nullptr;
    if (!wideName.valid() || !succeeded(doc_->createElement(wideName.get(), &created)) ||
        created == nullptr) {
      return nullptr;
    }
    return hold(created);
  }

  bool appendChild(XmlElement parent, XmlElement child) override {
    if (child == nullptr)
      return false;
    if (parent == nullptr && rootElement() != nullptr)
      return false;
    IXMLDOMNode* appended = nullptr;
    const HRESULT result = parent == nullptr ? doc_->appendChild(node(child), &appended)
                                             : node(parent)->appendChild(node(child), &appended);
    if (appended != nullptr)
      appended->Release();
    return succeeded(result);
  }

  std::string text(XmlElement target) override {
    if (target == nullptr)
      return {};
    Bstr content;
    if (!succeeded(node(target)->get_text(content.out())))
      return {};
    return toUtf8(content.get(), SysStringLen(content.get()));
  }

  bool setText(XmlElement target, std::string_view text) override {
    if (target == nullptr)
      return false;
    Bstr content(widen(text, CP_UTF8));
    if (!content.valid())
      return false;
    return succeeded(node(target)->put_text(content.get()));
  }

  bool removeChild(XmlElement parent, XmlElement child) override {
    if (parent == nullptr || child == nullptr)
      return false;
    IXMLDOMNode* removed = nullptr;
    const HRESULT result = node(parent)->removeChild(node(child), &removed);
    if (removed != nullptr)
      removed->Release();
    return succeeded(result);
  }

  bool save(const std::string& path) override {
    std::string bytes;
    return saveToMemory(bytes) && replaceFileContents(path, bytes);
  }

 private:
  // Every element handed out keeps a reference until the document goes.
  XmlElement hold(IXMLDOMNode* held) {
    held_.push_back(held);
    return element(held);
  }

  bool saveToMemory(std::string& bytes) {
    IStream* stream = nullptr;
    if (!succeeded(CreateStreamOnHGlobal(nullptr, TRUE, &stream)))
      return false;
    VARIANT target;
    VariantInit(&target);
    V_VT(&target) = VT_UNKNOWN;
    V_UNKNOWN(&target) = stream;  // the variant borrows our reference
    bool ok = succeeded(doc_->save(target));
    HGLOBAL memory = nullptr;
    STATSTG status{};
    ok = ok && succeeded(stream->Stat(&status, STATFLAG_NONAME)) &&
         succeeded(GetHGlobalFromStream(stream, &memory));
    if (ok && status.cbSize.QuadPart > 0) {
      const void* data = GlobalLock(memory);
      ok = data != nullptr;
      if (ok) {
        bytes.assign(static_cast<const char*>(data),
                     static_cast<std::size_t>(status.cbSize.QuadPart));
        GlobalUnlock(memory);
      }
    }
    stream->Release();
    return ok;
  }

  IXMLDOMDocument* doc_;
  bool comInitialised_;
  std::vector<IXMLDOMNode*> held_;
};

}  // namespace

std::unique_ptr<XmlDocument> createXmlDocument() {
  // The host's thread may have initialised COM already, in either model; an apartment of a
  // different model still serves the document, which runs in both.
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool comInitialised = succeeded(init);
  IXMLDOMDocument* doc = nullptr;
  void* created = nullptr;
  if (!succeeded(CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER,
                                  kDomDocumentInterface, &created)) ||
      created == nullptr) {
    if (comInitialised)
      CoUninitialize();
    return nullptr;
  }
  doc = static_cast<IXMLDOMDocument*>(created);
  // Loading waits for the whole file, keeps the host's blanks, and fetches nothing else.
  doc->put_async(VARIANT_FALSE);
  doc->put_preserveWhiteSpace(VARIANT_TRUE);
  doc->put_resolveExternals(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  return std::make_unique<MsxmlDocument>(doc, comInitialised);
}

}  // namespace k4
