// SPDX-License-Identifier: Apache-2.0
// The XML parser behind xml.h. It lives in a module of its own
// (jobwick-xml.so, beside the framework library) that links libxml2, so that
// libxml2 and what it brings (liblzma, ICU) are loaded by the first XML read
// only, never by a command or a dialog that reads no XML.
//
// The module is built from this source tree with the same compiler and
// standard library as the framework, so the interface is plain C++; the one
// entry point is a C symbol, and no exception leaves the module (every entry
// is noexcept). Nodes are the parser's own; "counted" nodes are the ones
// XMLNode counts (no blank text).
#pragma once

#include <cstddef>
#include <string>

#include "platform/xml.h"

namespace platform::xml {

/// Called for each node of a stream; false stops the read.
using StreamVisitor = bool (*)(void* context, const XMLStreamNode& node) noexcept;

/// The module's table. `version` and `size` are this build's; a module with
/// others is refused.
struct Module {
  int version = 0;
  std::size_t size = 0;
  /// Parses the open file (a regular file); null with `error` set when it
  /// is not well-formed or exceeds the parser's limits.
  _xmlDoc* (*readFile)(int fd, std::string* error) noexcept = nullptr;
  /// Parses a document held in memory; same rules.
  _xmlDoc* (*readMemory)(const char* bytes, std::size_t size,
                         std::string* error) noexcept = nullptr;
  void (*freeDocument)(_xmlDoc* doc) noexcept = nullptr;
  _xmlNode* (*rootElement)(_xmlDoc* doc) noexcept = nullptr;
  /// The first, next and last counted node; null when there is none.
  _xmlNode* (*firstChild)(_xmlNode* node) noexcept = nullptr;
  _xmlNode* (*nextSibling)(_xmlNode* node) noexcept = nullptr;
  _xmlNode* (*lastChild)(_xmlNode* node) noexcept = nullptr;
  bool (*isElement)(_xmlNode* node) noexcept = nullptr;
  /// XMLNode::name and objectValue into `out`; false when out of memory.
  bool (*name)(_xmlNode* node, std::string* out) noexcept = nullptr;
  bool (*text)(_xmlNode* node, std::string* out) noexcept = nullptr;
  /// Reads the open file as a stream (see readXMLFileAsStream); false with
  /// `error` set when it is not well-formed, false with `error` empty when
  /// the visitor stopped it.
  bool (*readStream)(int fd, StreamVisitor visit, void* context,
                     std::string* error) noexcept = nullptr;
};

inline constexpr int kModuleVersion = 1;
/// The symbol the module exports: `const Module* jobwick_xml_module()`.
inline constexpr const char* kModuleSymbol = "jobwick_xml_module";
/// The module's file name, in the folder of the framework library.
inline constexpr const char* kModuleFileName = "jobwick-xml.so";

/// The module loaded once per process (on the first call), or null with
/// `error` set to why it could not be. JOBWICK_XML_MODULE names another
/// file to load in its place.
const Module* loadedModule(std::string* error);

}  // namespace platform::xml
