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
/// Case-insensitive comparison of two texts (Unicode simple case folding of
/// the Latin, Greek and Cyrillic letters; other characters compare exactly).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

/// A text folded once for comparing many others against it:
/// `CaseFoldedText(b).matches(a)` answers what equalsIgnoringCase(a, b) does.
class CaseFoldedText {
 public:
  explicit CaseFoldedText(std::string_view text);
  bool matches(std::string_view other) const;

 private:
  // Per character of the text: its folded code point, or for a byte that is
  // not valid UTF-8 the byte itself with kInvalid set (invalid bytes compare
  // as bytes, never equal to a character).
  static constexpr char32_t kInvalid = 0x80000000;
  std::vector<char32_t> folded_;
};

}  // namespace platform
