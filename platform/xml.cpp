// SPDX-License-Identifier: Apache-2.0
#include "platform/xml.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include "platform/c_handles.h"

namespace platform {

namespace {

bool isBlankText(const xmlNode* node) {
  if (node->type != XML_TEXT_NODE) return false;
  for (const xmlChar* p = node->content; p && *p; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return false;
  }
  return true;
}

bool counts(const xmlNode* node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
      return true;
    case XML_TEXT_NODE:
      return !isBlankText(node);
    default:
      return false;
  }
}

// Never fetch anything: external entities and DTDs resolve to nothing.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

// Small text nodes are kept inside their node (fewer allocations); the
// tree is only read once parsed, which that needs.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

void silence(void*, const char*, ...) {}

// For the length of one parse: the refusing entity loader and a silent error
// handler. The settings are process-wide in libxml2, which the plug-in shares
// with its host, so whatever was there before is put back afterwards.
class ParserSettings {
 public:
  ParserSettings()
      : loader_(xmlGetExternalEntityLoader()),
        errorHandler_(xmlGenericError),
        errorContext_(xmlGenericErrorContext) {
    xmlInitParser();
    xmlSetExternalEntityLoader(refuseExternalEntity);
    xmlSetGenericErrorFunc(nullptr, silence);
    xmlResetLastError();
  }
  ~ParserSettings() {
    xmlSetExternalEntityLoader(loader_);
    xmlSetGenericErrorFunc(errorContext_, errorHandler_);
  }
  ParserSettings(const ParserSettings&) = delete;
  ParserSettings& operator=(const ParserSettings&) = delete;

 private:
  xmlExternalEntityLoader loader_;
  xmlGenericErrorFunc errorHandler_;
  void* errorContext_;
};

// Text of the node's descendants in document order. Entity references are
// not expanded (no entity substitution): they contribute nothing.
void appendText(const xmlNode* node, std::string& out) {
  for (const xmlNode* c = node->children; c; c = c->next) {
    switch (c->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (c->content) out += reinterpret_cast<const char*>(c->content);
        break;
      case XML_ELEMENT_NODE:
        appendText(c, out);
        break;
      default:
        break;
    }
  }
}

std::string lastError() {
  const xmlError* e = xmlGetLastError();
  if (!e || !e->message) return "not well-formed XML";
  std::string text = e->message;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return "line " + std::to_string(e->line) + ": " + text;
}

// Opens a regular file for the parser; an invalid descriptor (and `error`
// set) for anything else. The file is opened here rather than by libxml2's
// loader: the loader is the refusing one during a parse, and it would also
// take the path for a URI.
UniqueFd openForParser(const std::string& path, std::string* error) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!fd || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size >= INT_MAX) {
    if (error) *error = "cannot read " + path;
    return UniqueFd();
  }
  return fd;
}

}  // namespace

std::size_t XMLNode::childCount() const {
  if (!node_) return 0;
  std::size_t n = 0;
  for (xmlNode* c = node_->children; c; c = c->next) n += counts(c) ? 1 : 0;
  return n;
}

XMLNode XMLNode::childAtIndex(std::size_t index) const {
  if (!node_) return XMLNode();
  for (xmlNode* c = node_->children; c; c = c->next) {
    if (!counts(c)) continue;
    if (index == 0) return XMLNode(c);
    --index;
  }
  return XMLNode();
}

std::vector<XMLNode> XMLNode::children() const {
  std::vector<XMLNode> out;
  if (!node_) return out;
  for (xmlNode* c = node_->children; c; c = c->next) {
    if (counts(c)) out.emplace_back(c);
  }
  return out;
}

XMLNode XMLNode::firstChild() const {
  if (!node_) return XMLNode();
  for (xmlNode* c = node_->children; c; c = c->next) {
    if (counts(c)) return XMLNode(c);
  }
  return XMLNode();
}

XMLNode XMLNode::nextSibling() const {
  if (!node_) return XMLNode();
  for (xmlNode* c = node_->next; c; c = c->next) {
    if (counts(c)) return XMLNode(c);
  }
  return XMLNode();
}

XMLNode XMLNode::lastChild() const {
  if (!node_) return XMLNode();
  for (xmlNode* c = node_->last; c; c = c->prev) {
    if (counts(c)) return XMLNode(c);
  }
  return XMLNode();
}

std::string XMLNode::name() const {
  if (!node_ || node_->type != XML_ELEMENT_NODE || !node_->name) return {};
  std::string local = reinterpret_cast<const char*>(node_->name);
  if (node_->ns && node_->ns->prefix) {
    return reinterpret_cast<const char*>(node_->ns->prefix) + (":" + local);
  }
  return local;
}

std::string XMLNode::objectValue() const {
  if (!node_) return {};
  std::string text;
  if (node_->type == XML_TEXT_NODE || node_->type == XML_CDATA_SECTION_NODE ||
      node_->type == XML_COMMENT_NODE) {
    if (node_->content) text = reinterpret_cast<const char*>(node_->content);
  } else if (node_->type == XML_ELEMENT_NODE) {
    appendText(node_, text);
  }
  return text;
}

bool XMLNode::isElement() const {
  return node_ && node_->type == XML_ELEMENT_NODE;
}

std::unique_ptr<XMLDocument> XMLDocument::initWithContentsOfFile(const std::string& path,
                                                                 std::string* error) {
  // The parser reads the file from the descriptor piece by piece, so a
  // large answer is never held whole in memory besides its tree.
  const UniqueFd fd = openForParser(path, error);
  if (!fd) return nullptr;
  ParserSettings settings;
  xmlDoc* doc = xmlReadFd(fd.get(), "answer.xml", nullptr, kParseOptions);
  if (!doc) {
    if (error) *error = lastError();
    return nullptr;
  }
  return std::unique_ptr<XMLDocument>(new XMLDocument(doc));
}

std::unique_ptr<XMLDocument> XMLDocument::initWithData(const std::string& bytes,
                                                       std::string* error) {
  if (bytes.size() > std::size_t(INT_MAX)) {
    if (error) *error = "document too large";
    return nullptr;
  }
  ParserSettings settings;
  xmlDoc* doc =
      xmlReadMemory(bytes.data(), int(bytes.size()), "answer.xml", nullptr, kParseOptions);
  if (!doc) {
    if (error) *error = lastError();
    return nullptr;
  }
  return std::unique_ptr<XMLDocument>(new XMLDocument(doc));
}

bool readXMLFileAsStream(const std::string& path,
                         const std::function<void(const XMLStreamNode&)>& visit,
                         std::string* error) {
  const UniqueFd fd = openForParser(path, error);
  if (!fd) return false;
  ParserSettings settings;
  const std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
      xmlReaderForFd(fd.get(), "answer.xml", nullptr, kParseOptions), xmlFreeTextReader);
  if (!reader) {
    if (error) *error = lastError();
    return false;
  }
  const auto text = [](const xmlChar* bytes) {
    return bytes ? std::string_view(reinterpret_cast<const char*>(bytes)) : std::string_view();
  };
  int status = 0;
  while ((status = xmlTextReaderRead(reader.get())) == 1) {
    XMLStreamNode node;
    node.depth = xmlTextReaderDepth(reader.get());
    switch (xmlTextReaderNodeType(reader.get())) {
      case XML_READER_TYPE_ELEMENT:
        node.isElement = true;
        node.name = text(xmlTextReaderConstName(reader.get()));
        break;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        node.isText = true;
        node.content = text(xmlTextReaderConstValue(reader.get()));
        node.blank = node.content.find_first_not_of(" \t\n\r") == std::string_view::npos;
        break;
      case XML_READER_TYPE_CDATA:
        node.isText = true;
        node.content = text(xmlTextReaderConstValue(reader.get()));
        break;
      case XML_READER_TYPE_COMMENT:
        node.content = text(xmlTextReaderConstValue(reader.get()));
        break;
      case XML_READER_TYPE_PROCESSING_INSTRUCTION:
      case XML_READER_TYPE_ENTITY_REFERENCE:
        break;
      default:
        continue;  // ends of elements, the document type
    }
    visit(node);
  }
  if (status != 0) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

XMLDocument::~XMLDocument() = default;

XMLNode XMLDocument::rootElement() const {
  return XMLNode(xmlDocGetRootElement(doc_.get()));
}

}  // namespace platform
