// SPDX-License-Identifier: Apache-2.0
// Texts from outside (a printer's folder names) made fit to show as one line
// of a menu, the test for texts a user could take for one another, and the
// widths and line breaks of texts shown in a terminal.
//
// Unicode's data come from the Unicode module (unicode_module.h), loaded by
// the first text that needs it; plain ASCII lines and widths never do.
// Should the module be missing, these still answer, by ASCII's rules: every
// control shown, a text with any other character isolated, white space and
// case of ASCII only, one column per character, no break inside a word.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// `text` as one line of a menu: bytes that are not UTF-8 become U+FFFD;
/// characters that would not show, or would change how the rest shows, are
/// shown by their code point ("<U+202E>"): controls (C0 ones as their
/// control pictures, U+2400 on), format characters (bidirectional controls,
/// zero-width characters), every other default-ignorable code point, and
/// line and paragraph separators. Longer than `maxUnits` UTF-16 units, it is
/// cut at a character (grapheme) boundary and ends in "…" within that
/// bound. A line that holds right-to-left text is isolated (U+2068 ...
/// U+2069), so that it cannot reorder what is shown beside it.
std::string visibleLine(std::string_view text, std::size_t maxUnits);

/// A text to compare others against, by how they look: two texts match
/// when they are equal after NFKC with full case folding (full-width and
/// compatibility forms become plain letters), trimming white
/// space at both ends and joining runs of it into one space, and mapping
/// every character to its confusable prototype (the skeleton of Unicode's
/// security mechanisms, UTS #39, from ICU). "MAIN FOLDER", "Main Fo1der"
/// and "Main Folder " all look like "Main Folder".
class LookAlike {
 public:
  explicit LookAlike(std::string_view text);
  bool matches(std::string_view other) const;

 private:
  std::string skeleton_;
};

/// The columns `text` takes in a terminal: two for each East Asian wide or
/// full-width character, one for any other character or invalid sequence.
std::size_t terminalColumns(std::string_view text);

/// `text` (a word without white space) cut into the pieces between which a
/// line may break by Unicode's line-breaking rules, tailored for Japanese:
/// Japanese breaks between its characters but never before 、 or 。.
std::vector<std::string> lineBreakPieces(std::string_view text);

}  // namespace platform
