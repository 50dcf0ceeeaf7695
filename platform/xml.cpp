// SPDX-License-Identifier: Apache-2.0
// XML documents and nodes over the XML module (xml_module.h), which holds
// every call into libxml2 and is loaded on the first read.
#include "platform/xml.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <exception>
#include <new>

#include "platform/c_handles.h"
#include "platform/module_loader.h"
#include "platform/xml_module.h"

namespace platform {

namespace xml {

const Module* loadedModule(std::string* error) {
  return moduleTable<Module>({"XML", kModuleFileName, "JOBWICK_XML_MODULE", kModuleSymbol},
                             kModuleVersion, error);
}

}  // namespace xml

namespace {

// The module of a document or node that exists: it was loaded to make it.
const xml::Module& parser() {
  return *xml::loadedModule(nullptr);
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

void XmlDocFree::operator()(_xmlDoc* doc) const noexcept {
  if (doc) parser().freeDocument(doc);
}

std::size_t XMLNode::childCount() const {
  std::size_t n = 0;
  for (XMLNode c = firstChild(); c; c = c.nextSibling()) ++n;
  return n;
}

XMLNode XMLNode::childAtIndex(std::size_t index) const {
  XMLNode c = firstChild();
  for (; c && index > 0; --index) c = c.nextSibling();
  return c;
}

std::vector<XMLNode> XMLNode::children() const {
  std::vector<XMLNode> out;
  for (XMLNode c = firstChild(); c; c = c.nextSibling()) out.push_back(c);
  return out;
}

XMLNode XMLNode::firstChild() const {
  return node_ ? XMLNode(parser().firstChild(node_)) : XMLNode();
}

XMLNode XMLNode::nextSibling() const {
  return node_ ? XMLNode(parser().nextSibling(node_)) : XMLNode();
}

XMLNode XMLNode::lastChild() const {
  return node_ ? XMLNode(parser().lastChild(node_)) : XMLNode();
}

std::string XMLNode::name() const {
  std::string out;
  if (node_ && !parser().name(node_, &out)) throw std::bad_alloc();
  return out;
}

std::string XMLNode::objectValue() const {
  std::string out;
  if (node_ && !parser().text(node_, &out)) throw std::bad_alloc();
  return out;
}

bool XMLNode::isElement() const {
  return node_ && parser().isElement(node_);
}

std::unique_ptr<XMLDocument> XMLDocument::initWithContentsOfFile(const std::string& path,
                                                                 std::string* error) {
  const UniqueFd fd = openForParser(path, error);
  if (!fd) return nullptr;
  std::string why;
  const xml::Module* module = xml::loadedModule(&why);
  _xmlDoc* doc = module ? module->readFile(fd.get(), &why) : nullptr;
  if (!doc) {
    if (error) *error = why;
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
  std::string why;
  const xml::Module* module = xml::loadedModule(&why);
  _xmlDoc* doc = module ? module->readMemory(bytes.data(), bytes.size(), &why) : nullptr;
  if (!doc) {
    if (error) *error = why;
    return nullptr;
  }
  return std::unique_ptr<XMLDocument>(new XMLDocument(doc));
}

namespace {

// The caller's visitor behind the module's plain one: whatever it throws
// stops the read and is thrown again once out of the module.
struct StreamVisit {
  const std::function<void(const XMLStreamNode&)>& visit;
  std::exception_ptr thrown;

  static bool call(void* context, const XMLStreamNode& node) noexcept {
    auto* self = static_cast<StreamVisit*>(context);
    try {
      self->visit(node);
      return true;
    } catch (...) {
      self->thrown = std::current_exception();
      return false;
    }
  }
};

}  // namespace

bool readXMLFileAsStream(const std::string& path,
                         const std::function<void(const XMLStreamNode&)>& visit,
                         std::string* error) {
  const UniqueFd fd = openForParser(path, error);
  if (!fd) return false;
  std::string why;
  const xml::Module* module = xml::loadedModule(&why);
  if (!module) {
    if (error) *error = why;
    return false;
  }
  StreamVisit context{visit, nullptr};
  const bool read = module->readStream(fd.get(), &StreamVisit::call, &context, &why);
  if (context.thrown) std::rethrow_exception(context.thrown);
  if (!read && error) *error = why;
  return read;
}

bool xmlReaderAvailable(std::string* error) {
  return xml::loadedModule(error) != nullptr;
}

XMLDocument::~XMLDocument() = default;

XMLNode XMLDocument::rootElement() const {
  return XMLNode(parser().rootElement(doc_.get()));
}

}  // namespace platform
