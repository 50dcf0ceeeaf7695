// SPDX-License-Identifier: Apache-2.0
// The XML parser over libxml2: the module jobwick-xml.so, which the
// framework library loads on the first XML read. Documents are read with
// options safe for untrusted input: no network access, no DTD loading, no
// entity substitution, libxml2's depth and amplification limits left on.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <climits>
#include <memory>
#include <new>

#include "platform/xml_module.h"

namespace platform::xml {
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

void setLastError(std::string* error) noexcept {
  try {
    const xmlError* e = xmlGetLastError();
    if (!e || !e->message) {
      *error = "not well-formed XML";
      return;
    }
    std::string text = e->message;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    *error = "line " + std::to_string(e->line) + ": " + text;
  } catch (const std::bad_alloc&) {
    error->clear();
  }
}

_xmlDoc* readFile(int fd, std::string* error) noexcept {
  // The parser reads the file from the descriptor piece by piece, so a
  // large answer is never held whole in memory besides its tree.
  ParserSettings settings;
  xmlDoc* doc = xmlReadFd(fd, "answer.xml", nullptr, kParseOptions);
  if (!doc) setLastError(error);
  return doc;
}

_xmlDoc* readMemory(const char* bytes, std::size_t size, std::string* error) noexcept {
  if (size > std::size_t(INT_MAX)) return nullptr;  // the caller has refused it already
  ParserSettings settings;
  xmlDoc* doc = xmlReadMemory(bytes, int(size), "answer.xml", nullptr, kParseOptions);
  if (!doc) setLastError(error);
  return doc;
}

void freeDocument(_xmlDoc* doc) noexcept {
  xmlFreeDoc(doc);
}

_xmlNode* rootElement(_xmlDoc* doc) noexcept {
  return xmlDocGetRootElement(doc);
}

_xmlNode* countedFrom(xmlNode* node) {
  while (node && !counts(node)) node = node->next;
  return node;
}

_xmlNode* firstChild(_xmlNode* node) noexcept {
  return countedFrom(node->children);
}

_xmlNode* nextSibling(_xmlNode* node) noexcept {
  return countedFrom(node->next);
}

_xmlNode* lastChild(_xmlNode* node) noexcept {
  for (xmlNode* c = node->last; c; c = c->prev) {
    if (counts(c)) return c;
  }
  return nullptr;
}

bool isElement(_xmlNode* node) noexcept {
  return node->type == XML_ELEMENT_NODE;
}

bool name(_xmlNode* node, std::string* out) noexcept {
  try {
    out->clear();
    if (node->type != XML_ELEMENT_NODE || !node->name) return true;
    if (node->ns && node->ns->prefix) {
      *out = reinterpret_cast<const char*>(node->ns->prefix);
      *out += ':';
    }
    *out += reinterpret_cast<const char*>(node->name);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool text(_xmlNode* node, std::string* out) noexcept {
  try {
    out->clear();
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
        node->type == XML_COMMENT_NODE) {
      if (node->content) *out = reinterpret_cast<const char*>(node->content);
    } else if (node->type == XML_ELEMENT_NODE) {
      appendText(node, *out);
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::string_view view(const xmlChar* bytes) {
  return bytes ? std::string_view(reinterpret_cast<const char*>(bytes)) : std::string_view();
}

// The reader's current node as an XMLStreamNode; false for nodes XMLNode
// would not count and that are no text (ends of elements, the document type).
bool currentNode(xmlTextReader* reader, XMLStreamNode& node) {
  node.depth = xmlTextReaderDepth(reader);
  switch (xmlTextReaderNodeType(reader)) {
    case XML_READER_TYPE_ELEMENT:
      node.isElement = true;
      node.name = view(xmlTextReaderConstName(reader));
      return true;
    case XML_READER_TYPE_TEXT:
    case XML_READER_TYPE_WHITESPACE:
    case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
      node.isText = true;
      node.content = view(xmlTextReaderConstValue(reader));
      node.blank = node.content.find_first_not_of(" \t\n\r") == std::string_view::npos;
      return true;
    case XML_READER_TYPE_CDATA:
      node.isText = true;
      node.content = view(xmlTextReaderConstValue(reader));
      return true;
    case XML_READER_TYPE_COMMENT:
      node.content = view(xmlTextReaderConstValue(reader));
      return true;
    case XML_READER_TYPE_PROCESSING_INSTRUCTION:
    case XML_READER_TYPE_ENTITY_REFERENCE:
      return true;
    default:
      return false;
  }
}

bool readStream(int fd, StreamVisitor visit, void* context, std::string* error) noexcept {
  ParserSettings settings;
  const std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
      xmlReaderForFd(fd, "answer.xml", nullptr, kParseOptions), xmlFreeTextReader);
  if (!reader) {
    setLastError(error);
    return false;
  }
  int status = 0;
  while ((status = xmlTextReaderRead(reader.get())) == 1) {
    XMLStreamNode node;
    if (!currentNode(reader.get(), node)) continue;
    if (!visit(context, node)) {
      error->clear();
      return false;
    }
  }
  if (status != 0) {
    setLastError(error);
    return false;
  }
  return true;
}

const Module kModule{kModuleVersion, sizeof(Module), &readFile,    &readMemory, &freeDocument,
                     &rootElement,   &firstChild,    &nextSibling, &lastChild,  &isElement,
                     &name,          &text,          &readStream};

}  // namespace
}  // namespace platform::xml

extern "C" __attribute__((visibility("default"))) const platform::xml::Module*
jobwick_xml_module() {
  return &platform::xml::kModule;
}
