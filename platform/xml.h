// SPDX-License-Identifier: Apache-2.0
// XML documents read with libxml2, with options safe for untrusted input:
// no network access, no DTD loading, no entity substitution, libxml2's
// depth and amplification limits left on. White-space-only text between
// elements forms no node. The parser's process-wide settings (entity loader,
// error handler) are changed only for the length of each parse. libxml2 is
// called from the XML module (xml_module.h), loaded by the first read; a
// read fails, with the reason, when the module cannot be loaded.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/c_handles.h"

struct _xmlDoc;
struct _xmlNode;

namespace platform {

class XMLDocument;

/// A node of a document: valid as long as its document lives.
class XMLNode {
 public:
  XMLNode() = default;
  explicit XMLNode(_xmlNode* node) : node_(node) {}
  explicit operator bool() const { return node_ != nullptr; }

  /// Number of child nodes (elements, text, comments...; no blank text).
  std::size_t childCount() const;
  /// The child at `index`, or an empty node when out of range.
  /// Walks the child list from the start: to visit every child use
  /// children() or firstChild() and nextSibling(), which walk it once.
  XMLNode childAtIndex(std::size_t index) const;
  /// Every counted child in document order (as childAtIndex numbers them);
  /// empty for an empty node.
  std::vector<XMLNode> children() const;
  /// The first counted child, or an empty node when there is none; with
  /// nextSibling(), a walk over the children that builds no list.
  XMLNode firstChild() const;
  /// The next counted node after this one under the same parent, or an
  /// empty node after the last.
  XMLNode nextSibling() const;
  /// The last counted child, or an empty node when there is none.
  XMLNode lastChild() const;
  /// The element's qualified name as written ("files", "ns:files"); empty
  /// for text and other unnamed nodes.
  std::string name() const;
  /// The node's text: the concatenated text and CDATA of an element's
  /// descendants (entity references are not expanded and add nothing); the
  /// content of a text, CDATA or comment node; empty otherwise.
  std::string objectValue() const;
  bool isElement() const;

 private:
  _xmlNode* node_ = nullptr;
};

class XMLDocument {
 public:
  /// Reads and parses a file. Null (and `error` set) when the file is
  /// missing or not a regular file, is not well-formed XML, or exceeds the
  /// parser's safety limits.
  static std::unique_ptr<XMLDocument> initWithContentsOfFile(const std::string& path,
                                                             std::string* error = nullptr);
  /// Parses a document held in memory; same rules.
  static std::unique_ptr<XMLDocument> initWithData(const std::string& bytes,
                                                   std::string* error = nullptr);
  ~XMLDocument();
  XMLDocument(const XMLDocument&) = delete;
  XMLDocument& operator=(const XMLDocument&) = delete;

  /// The document element, or an empty node.
  XMLNode rootElement() const;

 private:
  explicit XMLDocument(_xmlDoc* doc) : doc_(doc) {}
  XmlDoc doc_;
};

/// One node of a document read as a stream: its depth (0 for the document
/// element), whether it is an element, its qualified name (elements) and its
/// content (text, CDATA and comments). Blank text is passed on marked
/// `blank`: it is part of an element's text but not a node XMLNode counts.
/// The views are valid only during the call that gets them.
struct XMLStreamNode {
  int depth = 0;
  bool isElement = false;
  bool isText = false;  // text or CDATA: what an element's objectValue() joins
  bool blank = false;
  std::string_view name;
  std::string_view content;
};

/// Reads a file node by node, as initWithContentsOfFile would parse it, but
/// without building its tree: a large answer costs the memory of one node.
/// `visit` sees every node that XMLNode counts, and blank text, in document
/// order. False (and `error`
/// set) on the same failures as initWithContentsOfFile; nodes before the
/// point where a malformed document fails have been visited by then.
bool readXMLFileAsStream(const std::string& path,
                         const std::function<void(const XMLStreamNode&)>& visit,
                         std::string* error = nullptr);

/// Whether this process can read XML: false, with `error` set to why ("the
/// XML module could not be loaded: ..."), when the parser's module cannot
/// be loaded. Tells a document that is not XML from a reader that is missing.
bool xmlReaderAvailable(std::string* error = nullptr);

}  // namespace platform
