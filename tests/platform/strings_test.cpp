// SPDX-License-Identifier: Apache-2.0
// Text helpers: UTF-16 counting and slicing, UTF-8 validation, trimming and
// case-insensitive comparison.
#include <locale.h>
#include <wctype.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/strings.h"

namespace platform {
namespace {

// "a", "é" (2 bytes), "日" (3 bytes), U+1F600 (4 bytes, a surrogate pair).
const std::string kMixed = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80z";

TEST(Strings, Utf16RoundTripAndLength) {
  const std::u16string units = toUtf16(kMixed);
  EXPECT_EQ(units, (std::u16string{u'a', u'\u00E9', u'\u65E5', 0xD83D, 0xDE00, u'z'}));
  EXPECT_EQ(utf16Length(kMixed), 6u);
  EXPECT_EQ(fromUtf16(units), kMixed);
}

TEST(Strings, InvalidUnitsBecomeReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},                            // byte never valid in UTF-8
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong "/"
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xE6\x97", u"\uFFFD\uFFFD"},            // cut sequence
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_FALSE(isValidUtf8(c.utf8)) << c.utf8;
    EXPECT_EQ(utf16Length(c.utf8), c.utf16.size()) << c.utf8;
  }
  EXPECT_TRUE(isValidUtf8(kMixed));
  EXPECT_EQ(fromUtf16(std::u16string{u'x', 0xD83D}), "x\xEF\xBF\xBD");
  EXPECT_EQ(fromUtf16(std::u16string{0xDE00, u'y'}), "\xEF\xBF\xBDy");
}

TEST(Strings, Utf16SubstringCountsUnitsAndNeverSplitsCharacters) {
  struct Case {
    std::size_t start;
    std::size_t length;
    std::string expected;
  };
  const Case cases[] = {
      {0, 3, "a\xC3\xA9\xE6\x97\xA5"},
      {1, 1, "\xC3\xA9"},
      {3, 2, "\xF0\x9F\x98\x80"},
      {3, 1, ""},   // half of the pair
      {4, 2, "z"},  // starts inside the pair
      {2, 100, "\xE6\x97\xA5\xF0\x9F\x98\x80z"},
      {6, 1, ""},
      {50, 1, ""},
      {0, SIZE_MAX, kMixed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf16Substring(kMixed, c.start, c.length), c.expected) << c.start << "+" << c.length;
  }
}

TEST(Strings, TrimCharactersTouchesOnlyBothEnds) {
  EXPECT_EQ(trimCharacters("  \tab c\n ", " \t\n"), "ab c");
  EXPECT_EQ(trimCharacters("xxx", "x"), "");
  EXPECT_EQ(trimCharacters("", " "), "");
  EXPECT_EQ(trimCharacters(" a ", ""), " a ");
  // A non-ASCII member of the set is ignored, so "é" is not cut in half.
  EXPECT_EQ(trimCharacters("\xC3\xA9", "\xA9"), "\xC3\xA9");
}

TEST(Strings, EqualsIgnoringCase) {
  struct Case {
    std::string a;
    std::string b;
    bool equal;
  };
  const Case cases[] = {
      {"Hello", "hELLO", true},
      {"Hello", "Hell", false},
      {"", "", true},
      {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},  // Été / éTÉ
      {"\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1",
       true},
      {"\xCF\x82", "\xCE\xA3", true},  // final sigma
      {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
       "\xD0\xBC\xD0\x9E\xD0\xA1\xD0\x9A\xD0\x92\xD0\x90", true},  // Москва
      {"\xD0\x81", "\xD1\x91", true},                              // Ё / ё
      {"\xC5\xBF", "S", true},                                     // long s
      {"\xE2\x84\xAA", "k", true},                                 // Kelvin sign
      {"\xEF\xBC\xA1", "\xEF\xBD\x81", true},                      // fullwidth A / a
      {"\xEF\xBC\xB3\xEF\xBC\xA1\xEF\xBC\xAC\xEF\xBC\xA5\xEF\xBC\xB3",
       "\xEF\xBD\x93\xEF\xBD\x81\xEF\xBD\x8C\xEF\xBD\x85\xEF\xBD\x93",
       true},  // ＳＡＬＥＳ / ｓａｌｅｓ
      {"Stra\xC3\x9F"
       "e",
       "STRASSE", true},                               // full folding: ß is ss
      {"\xEF\xAC\x81le", "FILE", true},                // ligature fi
      {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", true},  // Deseret, outside the BMP
      {"\xEF\xBC\xA1", "A", false},                    // fullwidth is not ASCII
      {"\xFF", "\xFE", false},                         // invalid bytes differ
      {"\xFF", "\xFF", true},
      {"a", "\xEF\xBF\xBD", false},
      {"K", "\xE2\x84\xAA", true},     // ASCII against a sign that folds to it
      {"ab\xFF", "AB\xFF", true},      // an invalid byte after letters
      {"\xE2\x84", "\xE2\x84", true},  // a cut-off character: two invalid bytes
      {"\xC3\xA9x", "\xC3\xA9", false},
      {"x", "", false},
      {"ss", "\xC3\x9F", true},  // ASCII against ß, which folds to two letters
      {"sS", "\xC3\x9F", true},
      {"s", "\xC3\x9F", false},
      {"@[", "`{", false},          // the neighbours of A-Z and a-z do not fold
      {"\xFF", "\xC3\xBF", false},  // an invalid byte is not the character ÿ
  };
  for (const Case& c : cases) {
    EXPECT_EQ(equalsIgnoringCase(c.a, c.b), c.equal) << c.a << " vs " << c.b;
    // The text folded once for many comparisons answers the same, either way round.
    EXPECT_EQ(CaseFoldedText(c.b).matches(c.a), c.equal) << c.a << " vs folded " << c.b;
    EXPECT_EQ(CaseFoldedText(c.a).matches(c.b), c.equal) << c.b << " vs folded " << c.a;
  }
}

// The folded text itself: plain ASCII folds A-Z only, on either side of an
// invalid byte; any other text folds by Unicode's full case folding, in and
// outside the BMP, with an invalid byte kept as it is.
TEST(Strings, CaseFolded) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"Hello, World 42!", "hello, world 42!"},
      {"AZaz@[`{~", "azaz@[`{~"},
      {"ABC\xFF"
       "DEF",
       "abc\xFF"
       "def"},
      {"Stra\xC3\x9F"
       "E",
       "strasse"},
      {"\xE2\x84\xAA", "k"},  // Kelvin sign
      {"\xC3\x89\xFFX", "\xC3\xA9\xFFx"},
      {"\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1"},    // ΣΑ
      {"\xF0\x90\x90\x80Q", "\xF0\x90\x90\xA8q"},  // Deseret capital, outside the BMP
      {"\xEF\xAC\x81", "fi"},                      // ligature fi
  };
  for (const auto& [text, folded] : cases) EXPECT_EQ(caseFolded(text), folded) << text;
}

// Cross-checks the folding table against the C library's Unicode lower-case
// mapping: every Latin, Greek or Cyrillic letter must compare equal to its
// lower-case form. Dotted capital I has a lower-case form but no simple case
// folding, so it is the one exception.
TEST(Strings, FoldingAgreesWithLowerCaseMapping) {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == static_cast<locale_t>(nullptr)) GTEST_SKIP() << "no C.UTF-8 locale";
  const std::pair<char32_t, char32_t> blocks[] = {
      {0x0041, 0x024F}, {0x0370, 0x03FF}, {0x0400, 0x052F}, {0x1E00, 0x1FFF}, {0xA640, 0xA69F}};
  for (const auto& [first, last] : blocks) {
    for (char32_t cp = first; cp <= last; ++cp) {
      const auto lower = static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8));
      if (lower == cp || cp == 0x0130) continue;
      const std::string a = fromUtf16(std::u16string(1, static_cast<char16_t>(cp)));
      const std::string b = fromUtf16(std::u16string(1, static_cast<char16_t>(lower)));
      EXPECT_TRUE(equalsIgnoringCase(a, b)) << std::hex << static_cast<unsigned>(cp);
    }
  }
  freelocale(utf8);
}

}  // namespace
}  // namespace platform
