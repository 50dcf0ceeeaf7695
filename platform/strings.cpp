// Text helpers: UTF-8 decoding and encoding, UTF-16 counting, trimming and
// case-insensitive comparison.
#include "platform/strings.h"

#include <array>
#include <cstdint>

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

// Simple case folding (Unicode CaseFolding.txt, status C and S) restricted
// to the Latin, Greek and Cyrillic blocks and the letter-like symbols that
// fold into them. A code point c in [first, last] with (c - first) % step
// == 0 folds to c + delta.
struct FoldRange {
  char32_t first;
  char32_t last;
  int delta;
  int step;
};

constexpr std::array kFoldRanges = std::to_array<FoldRange>({
    // Basic Latin and Latin-1.
    {0x0041, 0x005A, 32, 1},
    {0x00B5, 0x00B5, 0x03BC - 0x00B5, 1},
    {0x00C0, 0x00D6, 32, 1},
    {0x00D8, 0x00DE, 32, 1},
    // Latin Extended-A.
    {0x0100, 0x012E, 1, 2},
    {0x0132, 0x0136, 1, 2},
    {0x0139, 0x0147, 1, 2},
    {0x014A, 0x0176, 1, 2},
    {0x0178, 0x0178, 0x00FF - 0x0178, 1},
    {0x0179, 0x017D, 1, 2},
    {0x017F, 0x017F, 0x0073 - 0x017F, 1},
    // Latin Extended-B.
    {0x0181, 0x0181, 0x0253 - 0x0181, 1},
    {0x0182, 0x0184, 1, 2},
    {0x0186, 0x0186, 0x0254 - 0x0186, 1},
    {0x0187, 0x0187, 1, 1},
    {0x0189, 0x018A, 0x0256 - 0x0189, 1},
    {0x018B, 0x018B, 1, 1},
    {0x018E, 0x018E, 0x01DD - 0x018E, 1},
    {0x018F, 0x018F, 0x0259 - 0x018F, 1},
    {0x0190, 0x0190, 0x025B - 0x0190, 1},
    {0x0191, 0x0191, 1, 1},
    {0x0193, 0x0193, 0x0260 - 0x0193, 1},
    {0x0194, 0x0194, 0x0263 - 0x0194, 1},
    {0x0196, 0x0196, 0x0269 - 0x0196, 1},
    {0x0197, 0x0197, 0x0268 - 0x0197, 1},
    {0x0198, 0x0198, 1, 1},
    {0x019C, 0x019C, 0x026F - 0x019C, 1},
    {0x019D, 0x019D, 0x0272 - 0x019D, 1},
    {0x019F, 0x019F, 0x0275 - 0x019F, 1},
    {0x01A0, 0x01A4, 1, 2},
    {0x01A6, 0x01A6, 0x0280 - 0x01A6, 1},
    {0x01A7, 0x01A7, 1, 1},
    {0x01A9, 0x01A9, 0x0283 - 0x01A9, 1},
    {0x01AC, 0x01AC, 1, 1},
    {0x01AE, 0x01AE, 0x0288 - 0x01AE, 1},
    {0x01AF, 0x01AF, 1, 1},
    {0x01B1, 0x01B2, 0x028A - 0x01B1, 1},
    {0x01B3, 0x01B5, 1, 2},
    {0x01B7, 0x01B7, 0x0292 - 0x01B7, 1},
    {0x01B8, 0x01B8, 1, 1},
    {0x01BC, 0x01BC, 1, 1},
    {0x01C4, 0x01C4, 2, 1},
    {0x01C5, 0x01C5, 1, 1},
    {0x01C7, 0x01C7, 2, 1},
    {0x01C8, 0x01C8, 1, 1},
    {0x01CA, 0x01CA, 2, 1},
    {0x01CB, 0x01DB, 1, 2},
    {0x01DE, 0x01EE, 1, 2},
    {0x01F1, 0x01F1, 2, 1},
    {0x01F2, 0x01F4, 1, 2},
    {0x01F6, 0x01F6, 0x0195 - 0x01F6, 1},
    {0x01F7, 0x01F7, 0x01BF - 0x01F7, 1},
    {0x01F8, 0x021E, 1, 2},
    {0x0220, 0x0220, 0x019E - 0x0220, 1},
    {0x0222, 0x0232, 1, 2},
    {0x023A, 0x023A, 0x2C65 - 0x023A, 1},
    {0x023B, 0x023B, 1, 1},
    {0x023D, 0x023D, 0x019A - 0x023D, 1},
    {0x023E, 0x023E, 0x2C66 - 0x023E, 1},
    {0x0241, 0x0241, 1, 1},
    {0x0243, 0x0243, 0x0180 - 0x0243, 1},
    {0x0244, 0x0244, 0x0289 - 0x0244, 1},
    {0x0245, 0x0245, 0x028C - 0x0245, 1},
    {0x0246, 0x024E, 1, 2},
    // Greek and Coptic.
    {0x0345, 0x0345, 0x03B9 - 0x0345, 1},
    {0x0370, 0x0372, 1, 2},
    {0x0376, 0x0376, 1, 1},
    {0x037F, 0x037F, 0x03F3 - 0x037F, 1},
    {0x0386, 0x0386, 0x03AC - 0x0386, 1},
    {0x0388, 0x038A, 0x03AD - 0x0388, 1},
    {0x038C, 0x038C, 0x03CC - 0x038C, 1},
    {0x038E, 0x038F, 0x03CD - 0x038E, 1},
    {0x0391, 0x03A1, 32, 1},
    {0x03A3, 0x03AB, 32, 1},
    {0x03C2, 0x03C2, 1, 1},
    {0x03CF, 0x03CF, 0x03D7 - 0x03CF, 1},
    {0x03D0, 0x03D0, 0x03B2 - 0x03D0, 1},
    {0x03D1, 0x03D1, 0x03B8 - 0x03D1, 1},
    {0x03D5, 0x03D5, 0x03C6 - 0x03D5, 1},
    {0x03D6, 0x03D6, 0x03C0 - 0x03D6, 1},
    {0x03D8, 0x03EE, 1, 2},
    {0x03F0, 0x03F0, 0x03BA - 0x03F0, 1},
    {0x03F1, 0x03F1, 0x03C1 - 0x03F1, 1},
    {0x03F4, 0x03F4, 0x03B8 - 0x03F4, 1},
    {0x03F5, 0x03F5, 0x03B5 - 0x03F5, 1},
    {0x03F7, 0x03F7, 1, 1},
    {0x03F9, 0x03F9, 0x03F2 - 0x03F9, 1},
    {0x03FA, 0x03FA, 1, 1},
    {0x03FD, 0x03FF, 0x037B - 0x03FD, 1},
    // Cyrillic and its supplements.
    {0x0400, 0x040F, 80, 1},
    {0x0410, 0x042F, 32, 1},
    {0x0460, 0x0480, 1, 2},
    {0x048A, 0x04BE, 1, 2},
    {0x04C0, 0x04C0, 15, 1},
    {0x04C1, 0x04CD, 1, 2},
    {0x04D0, 0x052E, 1, 2},
    {0x1C80, 0x1C80, 0x0432 - 0x1C80, 1},
    {0x1C81, 0x1C81, 0x0434 - 0x1C81, 1},
    {0x1C82, 0x1C82, 0x043E - 0x1C82, 1},
    {0x1C83, 0x1C84, 0x0441 - 0x1C83, 1},
    {0x1C85, 0x1C85, 0x0442 - 0x1C85, 1},
    {0x1C86, 0x1C86, 0x044A - 0x1C86, 1},
    {0x1C87, 0x1C87, 0x0463 - 0x1C87, 1},
    {0x1C88, 0x1C88, 0xA64B - 0x1C88, 1},
    // Latin Extended Additional.
    {0x1E00, 0x1E94, 1, 2},
    {0x1E9B, 0x1E9B, 0x1E61 - 0x1E9B, 1},
    {0x1E9E, 0x1E9E, 0x00DF - 0x1E9E, 1},
    {0x1EA0, 0x1EFE, 1, 2},
    // Greek Extended.
    {0x1F08, 0x1F0F, -8, 1},
    {0x1F18, 0x1F1D, -8, 1},
    {0x1F28, 0x1F2F, -8, 1},
    {0x1F38, 0x1F3F, -8, 1},
    {0x1F48, 0x1F4D, -8, 1},
    {0x1F59, 0x1F5F, -8, 2},
    {0x1F68, 0x1F6F, -8, 1},
    {0x1F88, 0x1F8F, -8, 1},
    {0x1F98, 0x1F9F, -8, 1},
    {0x1FA8, 0x1FAF, -8, 1},
    {0x1FB8, 0x1FB9, -8, 1},
    {0x1FBA, 0x1FBB, 0x1F70 - 0x1FBA, 1},
    {0x1FBC, 0x1FBC, -9, 1},
    {0x1FBE, 0x1FBE, 0x03B9 - 0x1FBE, 1},
    {0x1FC8, 0x1FCB, 0x1F72 - 0x1FC8, 1},
    {0x1FCC, 0x1FCC, -9, 1},
    {0x1FD8, 0x1FD9, -8, 1},
    {0x1FDA, 0x1FDB, 0x1F76 - 0x1FDA, 1},
    {0x1FE8, 0x1FE9, -8, 1},
    {0x1FEA, 0x1FEB, 0x1F7A - 0x1FEA, 1},
    {0x1FEC, 0x1FEC, -7, 1},
    {0x1FF8, 0x1FF9, 0x1F78 - 0x1FF8, 1},
    {0x1FFA, 0x1FFB, 0x1F7C - 0x1FFA, 1},
    {0x1FFC, 0x1FFC, -9, 1},
    // Letter-like symbols that fold into Greek and Latin letters.
    {0x2126, 0x2126, 0x03C9 - 0x2126, 1},
    {0x212A, 0x212A, 0x006B - 0x212A, 1},
    {0x212B, 0x212B, 0x00E5 - 0x212B, 1},
    // Cyrillic Extended-B.
    {0xA640, 0xA66C, 1, 2},
    {0xA680, 0xA69A, 1, 2},
});

char32_t foldCase(char32_t cp) {
  for (const FoldRange& range : kFoldRanges) {
    if (cp < range.first) break;  // ranges are sorted
    if (cp <= range.last && (cp - range.first) % static_cast<char32_t>(range.step) == 0) {
      return static_cast<char32_t>(static_cast<std::int64_t>(cp) + range.delta);
    }
  }
  return cp;
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

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t pa = 0;
  std::size_t pb = 0;
  while (pa < a.size() && pb < b.size()) {
    const Decoded da = decodeAt(a, pa);
    const Decoded db = decodeAt(b, pb);
    if (!da.valid || !db.valid) {
      // Invalid bytes compare as bytes, so two different invalid sequences
      // never count as equal.
      if (da.valid != db.valid || a[pa] != b[pb]) return false;
    } else if (foldCase(da.codePoint) != foldCase(db.codePoint)) {
      return false;
    }
    pa += da.length;
    pb += db.length;
  }
  return pa == a.size() && pb == b.size();
}

namespace {

// foldCase of every ASCII character, for the common case of comparing
// plain ASCII names.
const std::array<char32_t, 0x80>& asciiFolds() {
  static const std::array<char32_t, 0x80> folds = [] {
    std::array<char32_t, 0x80> table{};
    for (char32_t c = 0; c < 0x80; ++c) table[c] = foldCase(c);
    return table;
  }();
  return folds;
}

}  // namespace

CaseFoldedText::CaseFoldedText(std::string_view text) {
  folded_.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Decoded d = decodeAt(text, pos);
    folded_.push_back(d.valid ? foldCase(d.codePoint)
                              : kInvalid | static_cast<unsigned char>(text[pos]));
    pos += d.length;
  }
}

bool CaseFoldedText::matches(std::string_view other) const {
  const std::array<char32_t, 0x80>& ascii = asciiFolds();
  std::size_t pos = 0;
  for (const char32_t wanted : folded_) {
    if (pos == other.size()) return false;
    const auto lead = static_cast<unsigned char>(other[pos]);
    if (lead < 0x80) {
      if (ascii[lead] != wanted) return false;
      ++pos;
      continue;
    }
    const Decoded d = decodeAt(other, pos);
    if ((d.valid ? foldCase(d.codePoint) : kInvalid | lead) != wanted) return false;
    pos += d.length;
  }
  return pos == other.size();
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
