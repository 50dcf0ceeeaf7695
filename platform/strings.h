// SPDX-License-Identifier: Apache-2.0
// Text helpers. Platform strings are UTF-8 std::string; lengths, ranges and
// limits are counted in UTF-16 units, as the print dialog's string type does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// UTF-16 form of a UTF-8 text. Invalid UTF-8 bytes become U+FFFD.
std::u16string toUtf16(std::string_view utf8);
/// UTF-8 form of a UTF-16 text. A lone surrogate becomes U+FFFD.
std::string fromUtf16(std::u16string_view utf16);
/// Appends the UTF-8 form of one code point (no check for surrogates).
void appendUtf8(std::string& out, char32_t codePoint);
/// Length of a UTF-8 text in UTF-16 units.
std::size_t utf16Length(std::string_view utf8);
/// The part of `utf8` covering UTF-16 units [start, start + length), clamped.
std::string utf16Substring(std::string_view utf8, std::size_t start, std::size_t length);
/// Whether `text` is valid UTF-8.
bool isValidUtf8(std::string_view text);
/// Removes every character of `set` (ASCII only) from both ends of `text`.
std::string trimCharacters(std::string_view text, std::string_view set);
/// Case-insensitive comparison of two texts: equal once both are put
/// through Unicode's full case folding (ICU's default folding, so "SS"
/// matches "ß" and full-width letters fold too). A byte that is not valid
/// UTF-8 compares as itself, never equal to a character. Plain ASCII is
/// folded here; other text loads the Unicode module (unicode_module.h), and
/// should it be missing, only its ASCII letters fold.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

/// `text` put through Unicode's full case folding (ICU); bytes that are not
/// valid UTF-8 are kept as they are.
std::string caseFolded(std::string_view text);

/// A text folded once for comparing many others against it:
/// `CaseFoldedText(b).matches(a)` answers what equalsIgnoringCase(a, b) does.
class CaseFoldedText {
 public:
  explicit CaseFoldedText(std::string_view text);
  bool matches(std::string_view other) const;

 private:
  // The text's full case folding, one code point each; a byte that is not
  // valid UTF-8 is the byte itself with the top bit set.
  std::vector<char32_t> folded_;
};

}  // namespace platform
