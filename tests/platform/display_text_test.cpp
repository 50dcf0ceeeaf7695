// SPDX-License-Identifier: Apache-2.0
// Outside texts as one menu line, and the look-alike test.
#include "platform/display_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/strings.h"

namespace platform {
namespace {

TEST(VisibleLine, HiddenCharactersShowAndRightToLeftIsIsolated) {
  struct Case {
    const char* what;
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"plain", "Board", "Board"},
      {"empty", "", ""},
      {"right-to-left override",
       "\xE2\x80\xAE"
       "draoB",
       "<U+202E>draoB"},
      {"override inside a name",
       "Invoice\xE2\x80\xAE"
       "fdp.exe",
       "Invoice<U+202E>fdp.exe"},
      {"isolates and marks",
       "a\xE2\x81\xA6"
       "b\xE2\x80\x8F",
       "a<U+2066>b<U+200F>"},
      {"zero width space",
       "Bo\xE2\x80\x8B"
       "ard",
       "Bo<U+200B>ard"},
      {"C0 controls as pictures", "a\nb\tc\x1B",
       "a\xE2\x90\x8A"
       "b\xE2\x90\x89"
       "c\xE2\x90\x9B"},
      {"delete", "a\x7F", "a\xE2\x90\xA1"},
      {"C1 control", "a\xC2\x85", "a<U+0085>"},
      {"line separator",
       "a\xE2\x80\xA8"
       "b",
       "a<U+2028>b"},
      {"invalid UTF-8", "a\xFF", "a\xEF\xBF\xBD"},
      {"Hebrew is isolated", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",
       "\xE2\x81\xA8\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D\xE2\x81\xA9"},
      {"accents and CJK stay", "R\xC3\xA9union \xE6\x97\xA5", "R\xC3\xA9union \xE6\x97\xA5"},
  };
  for (const Case& c : cases) EXPECT_EQ(visibleLine(c.text, 48), c.shown) << c.what;
}

TEST(VisibleLine, WidthIsBoundedAtACharacterBoundary) {
  struct Case {
    const char* what;
    std::string text;
    std::size_t maxUnits;
    std::string shown;
  };
  const std::string e = "e\xCC\x81";  // e and a combining acute: one character, two units
  const Case cases[] = {
      {"fits exactly", "abcd", 4, "abcd"},
      {"one over", "abcde", 4, "abc\xE2\x80\xA6"},
      {"surrogate pair not split", "ab\xF0\x9F\x98\x80", 3, "ab\xE2\x80\xA6"},
      {"combining mark stays with its letter", "a" + e + e, 4, "a" + e + "\xE2\x80\xA6"},
      {"cut inside: the mark would be alone", "ab" + e, 3, "ab\xE2\x80\xA6"},
  };
  for (const Case& c : cases) EXPECT_EQ(visibleLine(c.text, c.maxUnits), c.shown) << c.what;

  const std::string huge(4096, 'W');
  const std::string shown = visibleLine(huge, 48);
  EXPECT_EQ(utf16Length(shown), 48u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "\xE2\x80\xA6");
}

TEST(LookAlike, MatchesWhatAReaderCouldTakeForTheText) {
  struct Case {
    std::string other;
    bool alike;
  };
  const Case cases[] = {
      {"Main Folder", true},
      {"MAIN FOLDER", true},
      {"main folder", true},
      {"Main Fo1der", true},         // digit one for l
      {"M\xD0\xB0in Folder", true},  // Cyrillic a
      {"  Main   Folder ", true},    // white space
      {"Main\xC2\xA0"
       "Folder",
       true},  // no-break space
      {"\xEF\xBC\xAD"
       "ain Folder",
       true},  // fullwidth M
      {"Main Folders", false},
      {"Main", false},
      {"Main Folder<U+202E>", false},
      {"", false},
      {std::string(4096, 'M'), false},
  };
  const LookAlike mainFolder("Main Folder");
  for (const Case& c : cases) EXPECT_EQ(mainFolder.matches(c.other), c.alike) << c.other;
}

// Terminal columns: ASCII one each, East Asian wide and full-width two,
// half-width and ambiguous one, an invalid sequence one.
TEST(TerminalColumns, CountsWideCharactersTwice) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"", 0},
      {"plain text\t!", 12},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 4},  // 日本
      {"\xEF\xBC\xA1", 2},              // fullwidth A
      {"\xEF\xBD\xB1", 1},              // halfwidth katakana A
      {"\xC3\xA9", 1},                  // é
      {"a\xE6\x97\xA5\xFF", 4},         // ASCII, wide, an invalid byte
      {"\xF0\x9F\x98\x80", 2},          // an emoji, outside the BMP
  };
  for (const auto& [text, columns] : cases) EXPECT_EQ(terminalColumns(text), columns) << text;
}

}  // namespace
}  // namespace platform
