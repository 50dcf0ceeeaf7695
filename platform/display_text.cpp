// SPDX-License-Identifier: Apache-2.0
// One-line display of outside texts and the look-alike test, over ICU.
#include "platform/display_text.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uspoof.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/c_handles.h"
#include "platform/strings.h"

namespace platform {
namespace {

constexpr char16_t kEllipsis = u'\u2026';
constexpr char16_t kFirstStrongIsolate = u'\u2068';
constexpr char16_t kPopDirectionalIsolate = u'\u2069';

bool isHidden(UChar32 cp) {
  switch (u_charType(cp)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return true;
    default:
      return u_hasBinaryProperty(cp, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) != 0;
  }
}

bool isRightToLeft(UChar32 cp) {
  const UCharDirection direction = u_charDirection(cp);
  return direction == U_RIGHT_TO_LEFT || direction == U_RIGHT_TO_LEFT_ARABIC ||
         direction == U_ARABIC_NUMBER;
}

void appendCodePoint(std::u16string& out, UChar32 cp) {
  if (U_IS_BMP(cp)) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    out.push_back(static_cast<char16_t>(U16_LEAD(cp)));
    out.push_back(static_cast<char16_t>(U16_TRAIL(cp)));
  }
}

/// `text` with every hidden character shown; `rightToLeft` tells whether
/// any character left is a right-to-left one.
std::u16string shownCharacters(const std::u16string& text, bool& rightToLeft) {
  std::u16string out;
  out.reserve(text.size());
  rightToLeft = false;
  for (int32_t i = 0; i < static_cast<int32_t>(text.size());) {
    UChar32 cp = 0;
    U16_NEXT(text.data(), i, static_cast<int32_t>(text.size()), cp);
    if (cp < 0x20) {
      out.push_back(static_cast<char16_t>(0x2400 + cp));
    } else if (cp == 0x7F) {
      out.push_back(u'\u2421');
    } else if (isHidden(cp)) {
      char code[16];
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(cp));
      for (const char* c = code; *c; ++c) out.push_back(static_cast<char16_t>(*c));
    } else {
      rightToLeft = rightToLeft || isRightToLeft(cp);
      appendCodePoint(out, cp);
    }
  }
  return out;
}

/// Where a text longer than `maxUnits` is cut so that it and an ellipsis
/// fit: the last character boundary at or before maxUnits - 1.
std::size_t cutPoint(const std::u16string& text, std::size_t maxUnits) {
  const std::size_t room = maxUnits == 0 ? 0 : maxUnits - 1;
  UErrorCode status = U_ZERO_ERROR;
  const BreakIterator characters(ubrk_open(UBRK_CHARACTER, "",
                                           reinterpret_cast<const UChar*>(text.data()),
                                           static_cast<int32_t>(text.size()), &status));
  if (U_FAILURE(status) || !characters) {
    // No break rules: at least never cut a surrogate pair.
    std::size_t at = room;
    if (at > 0 && at < text.size() && U16_IS_TRAIL(text[at])) --at;
    return at;
  }
  if (ubrk_isBoundary(characters.get(), static_cast<int32_t>(room))) return room;
  const int32_t before = ubrk_preceding(characters.get(), static_cast<int32_t>(room));
  return before == UBRK_DONE ? 0 : static_cast<std::size_t>(before);
}

/// ICU's spoof checker, made once; null when ICU cannot make one.
USpoofChecker* spoofChecker() {
  static const SpoofChecker checker = [] {
    UErrorCode status = U_ZERO_ERROR;
    SpoofChecker made(uspoof_open(&status));
    if (U_FAILURE(status)) return SpoofChecker();
    uspoof_setChecks(made.get(), USPOOF_CONFUSABLE, &status);
    return U_FAILURE(status) ? SpoofChecker() : std::move(made);
  }();
  return checker.get();
}

/// `text` in NFKC with its case folded (full-width and compatibility forms
/// become their plain letters); folded only when ICU has no normaliser.
std::u16string compatibilityFolded(std::string_view text) {
  const std::u16string source = toUtf16(text);
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* normalizer = unorm2_getNFKCCasefoldInstance(&status);
  if (U_FAILURE(status) || !normalizer) return toUtf16(caseFolded(text));
  std::u16string out(source.size() * 4 + 8, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    status = U_ZERO_ERROR;
    const int32_t length =
        unorm2_normalize(normalizer, reinterpret_cast<const UChar*>(source.data()),
                         static_cast<int32_t>(source.size()), reinterpret_cast<UChar*>(out.data()),
                         static_cast<int32_t>(out.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.assign(static_cast<std::size_t>(length), u'\0');
      continue;
    }
    if (U_FAILURE(status)) break;
    out.resize(static_cast<std::size_t>(length));
    return out;
  }
  return toUtf16(caseFolded(text));
}

/// The text in NFKC with case folded, its white space trimmed and joined
/// (see LookAlike), then its confusable skeleton.
std::string skeletonOf(std::string_view text) {
  const std::u16string folded = compatibilityFolded(text);
  std::u16string joined;
  bool space = false;
  for (int32_t i = 0; i < static_cast<int32_t>(folded.size());) {
    UChar32 cp = 0;
    U16_NEXT(folded.data(), i, static_cast<int32_t>(folded.size()), cp);
    if (u_isUWhiteSpace(cp)) {
      space = !joined.empty();
      continue;
    }
    if (space) joined.push_back(u' ');
    space = false;
    appendCodePoint(joined, cp);
  }
  USpoofChecker* checker = spoofChecker();
  if (!checker) return fromUtf16(joined);
  std::u16string skeleton(joined.size() * 4 + 8, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uspoof_getSkeleton(
        checker, 0, reinterpret_cast<const UChar*>(joined.data()),
        static_cast<int32_t>(joined.size()), reinterpret_cast<UChar*>(skeleton.data()),
        static_cast<int32_t>(skeleton.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      skeleton.assign(static_cast<std::size_t>(length), u'\0');
      continue;
    }
    if (U_FAILURE(status)) break;
    skeleton.resize(static_cast<std::size_t>(length));
    return fromUtf16(skeleton);
  }
  return fromUtf16(joined);
}

}  // namespace

std::string visibleLine(std::string_view text, std::size_t maxUnits) {
  bool rightToLeft = false;
  std::u16string shown = shownCharacters(toUtf16(text), rightToLeft);
  if (shown.size() > maxUnits) {
    shown.resize(cutPoint(shown, maxUnits));
    shown.push_back(kEllipsis);
  }
  if (rightToLeft) {
    shown.insert(shown.begin(), kFirstStrongIsolate);
    shown.push_back(kPopDirectionalIsolate);
  }
  return fromUtf16(shown);
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

}  // namespace platform
