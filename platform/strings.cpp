// SPDX-License-Identifier: Apache-2.0
// Text helpers: UTF-8 decoding and encoding, UTF-16 counting, trimming and
// case-insensitive comparison (Unicode full case folding: plain ASCII here,
// any other text by the Unicode module's ICU).
#include "platform/strings.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/unicode_module.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

/// One step of strict UTF-8 decoding: the code point at `pos` and the number
/// of bytes it takes. Overlong forms, surrogates, values above U+10FFFF and
/// truncated sequences are invalid; an invalid sequence consumes one byte.
struct Decoded {
  char32_t codePoint;
  std::size_t length;
  bool valid;
};

Decoded decodeAt(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};

  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return {kReplacement, 1, false};
  }
  if (pos + length > text.size()) return {kReplacement, 1, false};
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return {kReplacement, 1, false};
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return {kReplacement, 1, false};
  }
  return {value, length, true};
}

std::size_t utf16Units(char32_t cp) {
  return cp >= 0x10000 ? 2 : 1;
}

}  // namespace

std::u16string toUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Decoded d = decodeAt(utf8, pos);
    pos += d.length;
    if (d.codePoint >= 0x10000) {
      const char32_t v = d.codePoint - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(d.codePoint));
    }
  }
  return out;
}

std::string fromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    char32_t cp = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((static_cast<char32_t>(unit - 0xD800) << 10) | (utf16[i + 1] - 0xDC00));
        ++i;
      } else {
        cp = kReplacement;
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      cp = kReplacement;
    }
    appendUtf8(out, cp);
  }
  return out;
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Decoded d = decodeAt(utf8, pos);
    pos += d.length;
    units += utf16Units(d.codePoint);
  }
  return units;
}

std::string utf16Substring(std::string_view utf8, std::size_t start, std::size_t length) {
  // A character that the range only partly covers (half a surrogate pair)
  // is left out: UTF-8 cannot hold half a character.
  const std::size_t end = length > SIZE_MAX - start ? SIZE_MAX : start + length;
  std::size_t unit = 0;
  std::size_t firstByte = utf8.size();
  std::size_t lastByte = utf8.size();
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Decoded d = decodeAt(utf8, pos);
    const std::size_t units = utf16Units(d.codePoint);
    if (firstByte == utf8.size() && unit >= start) firstByte = pos;
    if (unit + units > end) {
      lastByte = pos;
      break;
    }
    pos += d.length;
    unit += units;
  }
  if (firstByte >= lastByte) return {};
  return std::string(utf8.substr(firstByte, lastByte - firstByte));
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Decoded d = decodeAt(text, pos);
    if (!d.valid) return false;
    pos += d.length;
  }
  return true;
}

std::string trimCharacters(std::string_view text, std::string_view set) {
  // Only ASCII members of the set count, so a multibyte character is never
  // cut in half.
  const auto inSet = [&](char c) {
    return static_cast<unsigned char>(c) < 0x80 && set.find(c) != std::string_view::npos;
  };
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && inSet(text[first])) ++first;
  while (last > first && inSet(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

namespace {

constexpr char32_t kInvalidByte = 0x80000000;

/// Appends the full case folding of `run` (valid text, as UTF-16) to `out`,
/// one code point each. Plain ASCII folds A-Z to a-z, which is all that
/// Unicode's folding does to it, without the module; any other run goes
/// through ICU, or stays unfolded when the module is missing.
void appendFolded(const std::u16string& run, std::vector<char32_t>& out) {
  if (std::all_of(run.begin(), run.end(), [](char16_t unit) { return unit < 0x80; })) {
    for (const char16_t unit : run) {
      out.push_back(unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit);
    }
    return;
  }
  std::u16string folded;
  const unicode::Module* module = unicode::loadedModule(nullptr);
  if (!module || !module->foldCase(run, &folded)) folded = run;
  for (std::size_t i = 0; i < folded.size(); ++i) {
    const char16_t unit = folded[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < folded.size()) {
      out.push_back(0x10000 + ((char32_t(unit - 0xD800) << 10) | (folded[i + 1] - 0xDC00)));
      ++i;
    } else {
      out.push_back(unit);
    }
  }
}

/// The full case folding of `text`; a byte that is not valid UTF-8 stays a
/// byte (with kInvalidByte set), never equal to a character.
std::vector<char32_t> foldText(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  std::u16string run;
  for (std::size_t pos = 0; pos < text.size();) {
    const Decoded d = decodeAt(text, pos);
    if (!d.valid) {
      appendFolded(run, out);
      run.clear();
      out.push_back(kInvalidByte | static_cast<unsigned char>(text[pos]));
    } else if (d.codePoint >= 0x10000) {
      const char32_t v = d.codePoint - 0x10000;
      run.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      run.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      run.push_back(static_cast<char16_t>(d.codePoint));
    }
    pos += d.length;
  }
  appendFolded(run, out);
  return out;
}

}  // namespace

std::string caseFolded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t c : foldText(text)) {
    if (c & kInvalidByte) {
      out.push_back(static_cast<char>(c & 0xFF));
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return CaseFoldedText(b).matches(a);
}

CaseFoldedText::CaseFoldedText(std::string_view text) : folded_(foldText(text)) {}

bool CaseFoldedText::matches(std::string_view other) const {
  // Plain ASCII, the common case, folds A-Z only and never expands.
  bool ascii = true;
  for (const char c : other) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii) return foldText(other) == folded_;
  if (other.size() != folded_.size()) return false;
  for (std::size_t i = 0; i < other.size(); ++i) {
    char32_t c = static_cast<unsigned char>(other[i]);
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    if (c != folded_[i]) return false;
  }
  return true;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace platform
