// SPDX-License-Identifier: Apache-2.0
// Unicode's character data, case folding, normalisation, confusables and
// text boundaries over ICU: the module jobwick-unicode.so, which the
// framework library loads on the first text that needs them.
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uspoof.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstdio>
#include <new>

#include "platform/c_handles.h"
#include "platform/unicode_module.h"

namespace platform {

// The ICU holders of c_handles.h are defined here, in the only code that
// makes ICU handles, so that the framework library never needs ICU itself.
void SpoofCheckerClose::operator()(USpoofChecker* checker) const noexcept {
  uspoof_close(checker);
}

void BreakIteratorClose::operator()(UBreakIterator* iterator) const noexcept {
  ubrk_close(iterator);
}

namespace unicode {
namespace {

constexpr char16_t kEllipsis = u'\u2026';
constexpr char16_t kFirstStrongIsolate = u'\u2068';
constexpr char16_t kPopDirectionalIsolate = u'\u2069';

const UChar* units(std::u16string_view text) {
  return reinterpret_cast<const UChar*>(text.data());
}

int32_t length(std::u16string_view text) {
  return static_cast<int32_t>(text.size());
}

/// Runs an ICU function that writes UTF-16 into `out`, with a second try
/// when the first guess of the room it needs was short.
template <class Write>
bool writeUtf16(std::u16string& out, std::size_t guess, Write write) {
  out.assign(guess, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t written =
        write(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.assign(static_cast<std::size_t>(written), u'\0');
      continue;
    }
    if (U_FAILURE(status)) return false;
    out.resize(static_cast<std::size_t>(written));
    return true;
  }
  return false;
}

bool foldCase(std::u16string_view text, std::u16string* out) noexcept try {
  // A character folds to at most three (U+0390 to three), each at most two
  // units.
  return writeUtf16(*out, text.size() * 3 + 1, [&](UChar* to, int32_t room, UErrorCode* status) {
    return u_strFoldCase(to, room, units(text), length(text), U_FOLD_CASE_DEFAULT, status);
  });
} catch (const std::bad_alloc&) {
  return false;
}

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
std::u16string shownCharacters(std::u16string_view text, bool& rightToLeft) {
  std::u16string out;
  out.reserve(text.size());
  rightToLeft = false;
  for (int32_t i = 0; i < length(text);) {
    UChar32 cp = 0;
    U16_NEXT(text.data(), i, length(text), cp);
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
  const BreakIterator characters(ubrk_open(UBRK_CHARACTER, "", units(text), length(text), &status));
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

bool visibleLine(std::u16string_view text, std::size_t maxUnits, std::u16string* out) noexcept try {
  bool rightToLeft = false;
  std::u16string shown = shownCharacters(text, rightToLeft);
  if (shown.size() > maxUnits) {
    shown.resize(cutPoint(shown, maxUnits));
    shown.push_back(kEllipsis);
  }
  if (rightToLeft) {
    shown.insert(shown.begin(), kFirstStrongIsolate);
    shown.push_back(kPopDirectionalIsolate);
  }
  *out = std::move(shown);
  return true;
} catch (const std::bad_alloc&) {
  return false;
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
bool compatibilityFolded(std::u16string_view text, std::u16string& out) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* normalizer = unorm2_getNFKCCasefoldInstance(&status);
  if (U_SUCCESS(status) && normalizer &&
      writeUtf16(out, text.size() * 4 + 8, [&](UChar* to, int32_t room, UErrorCode* result) {
        return unorm2_normalize(normalizer, units(text), length(text), to, room, result);
      })) {
    return true;
  }
  return foldCase(text, &out);
}

/// The text in NFKC with case folded, its white space trimmed and joined
/// (see LookAlike), then its confusable skeleton.
bool skeleton(std::u16string_view text, std::u16string* out) noexcept try {
  std::u16string folded;
  if (!compatibilityFolded(text, folded)) return false;
  std::u16string joined;
  bool space = false;
  for (int32_t i = 0; i < length(folded);) {
    UChar32 cp = 0;
    U16_NEXT(folded.data(), i, length(folded), cp);
    if (u_isUWhiteSpace(cp)) {
      space = !joined.empty();
      continue;
    }
    if (space) joined.push_back(u' ');
    space = false;
    appendCodePoint(joined, cp);
  }
  USpoofChecker* checker = spoofChecker();
  if (!checker ||
      !writeUtf16(*out, joined.size() * 4 + 8, [&](UChar* to, int32_t room, UErrorCode* status) {
        return uspoof_getSkeleton(checker, 0, units(joined), length(joined), to, room, status);
      })) {
    *out = std::move(joined);
  }
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

bool columns(std::string_view utf8, std::size_t* out) noexcept {
  std::size_t count = 0;
  const auto size = static_cast<int32_t>(utf8.size());
  for (int32_t i = 0; i < size;) {
    UChar32 c = 0;
    U8_NEXT(utf8.data(), i, size, c);
    const int width = c < 0 ? U_EA_NEUTRAL : u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    count += (width == U_EA_WIDE || width == U_EA_FULLWIDTH) ? 2 : 1;
  }
  *out = count;
  return true;
}

bool lineBreaks(std::u16string_view text, std::vector<std::size_t>* ends) noexcept try {
  UErrorCode status = U_ZERO_ERROR;
  const BreakIterator lines(ubrk_open(UBRK_LINE, "ja", units(text), length(text), &status));
  if (U_FAILURE(status) || !lines) return false;
  ends->clear();
  ubrk_first(lines.get());
  for (int32_t to = ubrk_next(lines.get()); to != UBRK_DONE; to = ubrk_next(lines.get())) {
    ends->push_back(static_cast<std::size_t>(to));
  }
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

const Module kModule{kModuleVersion, sizeof(Module), &foldCase,  &visibleLine,
                     &skeleton,      &columns,       &lineBreaks};

}  // namespace
}  // namespace unicode
}  // namespace platform

extern "C" __attribute__((visibility("default"))) const platform::unicode::Module*
jobwick_unicode_module() {
  return &platform::unicode::kModule;
}
