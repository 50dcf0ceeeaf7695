// SPDX-License-Identifier: Apache-2.0
// Keystroke filters, driven through real text fields: a refused edit must
// leave the field as it was.
#include "ui/filters.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/controls.h"

namespace {

enum class Kind { Digits, FreeText, LoginName };

std::unique_ptr<platform::TextField> fieldWith(Kind kind, std::int64_t max,
                                               const std::string& text) {
  auto field = std::make_unique<platform::TextField>();
  field->setTag(1);
  field->setStringValue(text);
  switch (kind) {
    case Kind::Digits: {
      auto f = std::make_unique<MyIntegerNumberFilter>();
      f->SetmaxCharactersCount(max);
      field->setFormatter(std::move(f));
      break;
    }
    case Kind::FreeText: {
      auto f = std::make_unique<MyRomanFilter>();
      f->SetmaxCharactersCount(max);
      field->setFormatter(std::move(f));
      break;
    }
    case Kind::LoginName:
      field->setFormatter(std::make_unique<LoginnameInputFilter>());
      break;
  }
  return field;
}

enum class Edit { Type, Paste, DeleteBackward, ReplaceSelectionOfFirstTwo };

struct EditCase {
  const char* name;
  Kind kind;
  std::int64_t max;
  const char* before;
  Edit edit;
  const char* input;
  const char* after;  // equal to `before` when the edit is refused
};

class FilterEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(FilterEditTest, AppliesOrRefusesTheEdit) {
  const EditCase& c = GetParam();
  auto field = fieldWith(c.kind, c.max, c.before);
  switch (c.edit) {
    case Edit::Type:
      field->typeText(c.input);
      break;
    case Edit::Paste:
      field->pasteText(c.input);
      break;
    case Edit::DeleteBackward:
      field->deleteBackward();
      break;
    case Edit::ReplaceSelectionOfFirstTwo:
      field->setSelectedRange({0, 2});
      field->replaceSelection(c.input);
      break;
  }
  EXPECT_EQ(field->stringValue(), c.after);
}

const EditCase kEditCases[] = {
    // Digits with a limit of 8.
    {"DigitIntoEmpty", Kind::Digits, 8, "", Edit::Type, "1", "1"},
    {"LetterIntoEmpty", Kind::Digits, 8, "", Edit::Type, "a", ""},
    {"DeleteFromEmpty", Kind::Digits, 8, "", Edit::DeleteBackward, "", ""},
    {"NinthDigitTyped", Kind::Digits, 8, "1234567", Edit::Type, "89", "12345678"},
    {"DigitAtTheLimit", Kind::Digits, 8, "12345678", Edit::Type, "9", "12345678"},
    {"DigitOverSelectionAtTheLimit", Kind::Digits, 8, "12345678", Edit::ReplaceSelectionOfFirstTwo,
     "9", "12345678"},
    {"DeleteAtTheLimit", Kind::Digits, 8, "12345678", Edit::DeleteBackward, "", "1234567"},
    {"FullWidthDigitIsNoDigit", Kind::Digits, 8, "", Edit::Type, "\xEF\xBC\x91", ""},
    {"DigitOverSelectionBelowTheLimit", Kind::Digits, 8, "1234", Edit::ReplaceSelectionOfFirstTwo,
     "9", "934"},
    // A paste is judged by its first character and the length before it.
    {"PasteStartingWithDigit", Kind::Digits, 8, "", Edit::Paste, "12ab", "12ab"},
    {"PasteStartingWithLetter", Kind::Digits, 8, "", Edit::Paste, "a12", ""},
    {"PasteTenDigitsOntoSeven", Kind::Digits, 8, "1234567", Edit::Paste, "0123456789",
     "12345670123456789"},
    {"PasteOntoFull", Kind::Digits, 8, "12345678", Edit::Paste, "1", "12345678"},
    // Five-digit limit (account number; every code of the vk410e build).
    {"SixthDigit", Kind::Digits, 5, "1234", Edit::Type, "56", "12345"},
    // Unset limit admits no insertion.
    {"NoLimitSet", Kind::Digits, 0, "", Edit::Type, "1", ""},
    // Free text with the login-password limit of 31.
    {"FreeTextMixed", Kind::FreeText, 31, "", Edit::Type, "aZ 9-!", "aZ 9-!"},
    {"FreeText32ndCharacter", Kind::FreeText, 31, "abcdefghijklmnopqrstuvwxyz01234", Edit::Type,
     "5", "abcdefghijklmnopqrstuvwxyz01234"},
    {"FreeText31stCharacter", Kind::FreeText, 31, "abcdefghijklmnopqrstuvwxyz0123", Edit::Type,
     "45", "abcdefghijklmnopqrstuvwxyz01234"},
    // 30 characters of which one is outside the BMP: 31 UTF-16 units.
    {"FreeTextCountsUtf16Units", Kind::FreeText, 31,
     "abcdefghijklmnopqrstuvwxyz012\xF0\x9F\x98\x80", Edit::Type, "x",
     "abcdefghijklmnopqrstuvwxyz012\xF0\x9F\x98\x80"},
    {"FreeTextDeleteAtLimit", Kind::FreeText, 2, "ab", Edit::DeleteBackward, "", "a"},
    // The login name takes anything.
    {"LoginNameAnything", Kind::LoginName, 0, "", Edit::Paste,
     "a very long login name with \xE2\x80\xA2 and digits 0123456789 0123456789 0123456789",
     "a very long login name with \xE2\x80\xA2 and digits 0123456789 0123456789 0123456789"},
};

INSTANTIATE_TEST_SUITE_P(Filters, FilterEditTest, ::testing::ValuesIn(kEditCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The check itself, for proposals a text field never makes.
TEST(FilterCheckTest, CaretNotPastTheOriginalStartInsertsNothing) {
  MyIntegerNumberFilter digits;
  digits.SetmaxCharactersCount(1);
  std::string proposed = "ab";
  platform::Range caret{1, 0};
  // Caret before the original selection start: nothing inserted, accepted
  // even though the field is at its limit and "a" is no digit.
  EXPECT_TRUE(digits.isPartialStringValid(&proposed, &caret, "abc", {2, 0}, nullptr));
  // Original selection start beyond the proposal: nothing inserted.
  platform::Range end{9, 0};
  EXPECT_TRUE(digits.isPartialStringValid(&proposed, &end, "abcdefghij", {8, 0}, nullptr));
}

}  // namespace
