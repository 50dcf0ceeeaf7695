// SPDX-License-Identifier: Apache-2.0
// Unicode's character data, case folding, normalisation, confusables and
// text boundaries behind strings.h and display_text.h. They live in a module
// of its own (jobwick-unicode.so, beside the framework library) that links
// ICU, so that ICU and its 30 MB of data are loaded by the first text that
// needs them only (plain ASCII never does), never by a command that
// compares or shows nothing else.
//
// The module is built from this source tree with the same compiler and
// standard library as the framework, so the interface is plain C++; the one
// entry point is a C symbol, and no exception leaves the module (every entry
// is noexcept). Texts cross it as UTF-16; every entry answers false when ICU
// fails or memory runs out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform::unicode {

/// The module's table. `version` and `size` are this build's; a module with
/// others is refused.
struct Module {
  int version = 0;
  std::size_t size = 0;
  /// Unicode's full case folding of valid text.
  bool (*foldCase)(std::u16string_view text, std::u16string* out) noexcept = nullptr;
  /// visibleLine's work on valid text (display_text.h).
  bool (*visibleLine)(std::u16string_view text, std::size_t maxUnits,
                      std::u16string* out) noexcept = nullptr;
  /// The LookAlike skeleton of valid text (display_text.h).
  bool (*skeleton)(std::u16string_view text, std::u16string* out) noexcept = nullptr;
  /// terminalColumns of UTF-8 text (display_text.h).
  bool (*columns)(std::string_view utf8, std::size_t* out) noexcept = nullptr;
  /// The ends of the pieces between line-break opportunities of valid text,
  /// by Unicode's line-breaking rules tailored for Japanese.
  bool (*lineBreaks)(std::u16string_view text, std::vector<std::size_t>* ends) noexcept = nullptr;
};

inline constexpr int kModuleVersion = 1;
/// The symbol the module exports: `const Module* jobwick_unicode_module()`.
inline constexpr const char* kModuleSymbol = "jobwick_unicode_module";
/// The module's file name, in the folder of the framework library.
inline constexpr const char* kModuleFileName = "jobwick-unicode.so";

/// The module loaded once per process (on the first call), or null with
/// `error` set to why it could not be. JOBWICK_UNICODE_MODULE names another
/// file to load in its place.
const Module* loadedModule(std::string* error);

}  // namespace platform::unicode
