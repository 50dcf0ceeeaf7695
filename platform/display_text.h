// SPDX-License-Identifier: Apache-2.0
// Texts from outside (a printer's folder names) made fit to show as one line
// of a menu, and the test for texts a user could take for one another.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

}  // namespace platform
