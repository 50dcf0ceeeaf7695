// SPDX-License-Identifier: Apache-2.0
// One-line display of outside texts, the look-alike test and terminal
// widths, over the Unicode module for anything but plain ASCII.
#include "platform/display_text.h"

#include <algorithm>
#include <string>

#include "platform/module_loader.h"
#include "platform/strings.h"
#include "platform/unicode_module.h"

namespace platform {

namespace unicode {

const Module* loadedModule(std::string* error) {
  return moduleTable<Module>({"Unicode", kModuleFileName, "JOBWICK_UNICODE_MODULE", kModuleSymbol},
                             kModuleVersion, error);
}

}  // namespace unicode

namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

/// visibleLine by ASCII's rules: exactly Unicode's for ASCII text, where
/// every character is its own grapheme and none is hidden but the controls
/// or right-to-left. Any other text is isolated, as it might hold
/// right-to-left characters.
std::u16string plainVisibleLine(const std::u16string& text, std::size_t maxUnits) {
  std::u16string shown;
  bool other = false;
  for (const char16_t unit : text) {
    if (unit < 0x20) {
      shown.push_back(static_cast<char16_t>(0x2400 + unit));
    } else if (unit == 0x7F) {
      shown.push_back(u'\u2421');
    } else {
      other = other || unit >= 0x80;
      shown.push_back(unit);
    }
  }
  if (shown.size() > maxUnits) {
    std::size_t at = maxUnits == 0 ? 0 : maxUnits - 1;
    if (at > 0 && shown[at] >= 0xDC00 && shown[at] <= 0xDFFF) --at;  // never half a pair
    shown.resize(at);
    shown.push_back(u'\u2026');
  }
  if (other) {
    shown.insert(shown.begin(), u'\u2068');
    shown.push_back(u'\u2069');
  }
  return shown;
}

/// The LookAlike skeleton: Unicode's, or the case folding with ASCII white
/// space trimmed and joined when the module is missing.
std::string skeletonOf(std::string_view text) {
  std::u16string skeleton;
  if (const unicode::Module* module = unicode::loadedModule(nullptr);
      module && module->skeleton(toUtf16(text), &skeleton)) {
    return fromUtf16(skeleton);
  }
  std::string joined;
  bool space = false;
  for (const char c : caseFolded(text)) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
      space = !joined.empty();
      continue;
    }
    if (space) joined.push_back(' ');
    space = false;
    joined.push_back(c);
  }
  return joined;
}

}  // namespace

std::string visibleLine(std::string_view text, std::size_t maxUnits) {
  const std::u16string units = toUtf16(text);
  std::u16string shown;
  if (!isAscii(text)) {
    if (const unicode::Module* module = unicode::loadedModule(nullptr);
        module && module->visibleLine(units, maxUnits, &shown)) {
      return fromUtf16(shown);
    }
  }
  return fromUtf16(plainVisibleLine(units, maxUnits));
}

LookAlike::LookAlike(std::string_view text) : skeleton_(skeletonOf(text)) {}

bool LookAlike::matches(std::string_view other) const {
  // A skeleton has at least as many characters as its text less white space
  // and default-ignorable characters, so a text with far more characters
  // than the skeleton has bytes cannot match (the margin covers the
  // ignorable ones). This spares working out the skeleton of every long
  // name.
  std::size_t characters = 0;
  for (std::size_t i = 0; i < other.size(); ++i) {
    const auto byte = static_cast<unsigned char>(other[i]);
    if ((byte & 0xC0) != 0x80 && byte != ' ') ++characters;
  }
  if (characters > skeleton_.size() * 4) return false;
  return skeletonOf(other) == skeleton_;
}

std::size_t terminalColumns(std::string_view text) {
  if (isAscii(text)) return text.size();
  std::size_t columns = 0;
  if (const unicode::Module* module = unicode::loadedModule(nullptr);
      module && module->columns(text, &columns)) {
    return columns;
  }
  // One column for each character or invalid byte: a lead or lone byte.
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::vector<std::string> lineBreakPieces(std::string_view text) {
  const std::u16string units = toUtf16(text);
  std::vector<std::size_t> ends;
  const unicode::Module* module = unicode::loadedModule(nullptr);
  if (!module || !module->lineBreaks(units, &ends)) return {std::string(text)};
  std::vector<std::string> pieces;
  std::size_t from = 0;
  for (const std::size_t to : ends) {
    pieces.push_back(fromUtf16(std::u16string_view(units).substr(from, to - from)));
    from = to;
  }
  return pieces;
}

}  // namespace platform
