// SPDX-License-Identifier: Apache-2.0
// Keystroke filters of the panel's text fields.
#include "ui/filters.h"

#include <string>

#include "platform/strings.h"

namespace {

/// The text an edit inserts: from where the selection before the edit
/// started up to the caret after the edit. Empty when the caret did not move
/// past that start (a deletion, or an edit that inserts nothing).
std::u16string insertedText(const std::string& proposed, platform::Range proposedSelection,
                            platform::Range originalSelection) {
  if (proposedSelection.location <= originalSelection.location) return {};
  const std::u16string text = platform::toUtf16(proposed);
  if (originalSelection.location >= text.size()) return {};
  return text.substr(originalSelection.location,
                     proposedSelection.location - originalSelection.location);
}

/// The length test shared by the two counting filters: the field before the
/// edit must be shorter than its maximum. A negative maximum admits nothing.
bool hasRoomBeforeEdit(const std::string& original, std::int64_t maxValue) {
  if (maxValue <= 0) return false;
  return platform::utf16Length(original) < static_cast<std::uint64_t>(maxValue);
}

bool isAsciiDigit(char16_t unit) {
  return unit >= u'0' && unit <= u'9';
}

}  // namespace

// ---- MyIntegerNumberFilter ----

std::string MyIntegerNumberFilter::stringForObjectValue(const std::string& value) {
  return value;
}

bool MyIntegerNumberFilter::getObjectValue(std::string* value, const std::string& text,
                                           std::string* /*error*/) {
  if (value) *value = text;
  return true;
}

bool MyIntegerNumberFilter::isPartialStringValid(std::string* partial,
                                                 platform::Range* proposedSelection,
                                                 const std::string& original,
                                                 platform::Range originalSelection,
                                                 std::string* /*error*/) {
  if (!partial || !proposedSelection) return true;
  const std::u16string inserted = insertedText(*partial, *proposedSelection, originalSelection);
  if (inserted.empty()) return true;
  if (!isAsciiDigit(inserted.front())) return false;
  return hasRoomBeforeEdit(original, maxValue);
}

// ---- MyRomanFilter ----

std::string MyRomanFilter::stringForObjectValue(const std::string& value) {
  return value;
}

bool MyRomanFilter::getObjectValue(std::string* value, const std::string& text,
                                   std::string* /*error*/) {
  if (value) *value = text;
  return true;
}

bool MyRomanFilter::isPartialStringValid(std::string* partial, platform::Range* proposedSelection,
                                         const std::string& original,
                                         platform::Range originalSelection,
                                         std::string* /*error*/) {
  if (!partial || !proposedSelection) return true;
  const std::u16string inserted = insertedText(*partial, *proposedSelection, originalSelection);
  if (inserted.empty()) return true;
  return hasRoomBeforeEdit(original, maxValue);
}

// ---- LoginnameInputFilter ----

std::string LoginnameInputFilter::stringForObjectValue(const std::string& value) {
  return value;
}

bool LoginnameInputFilter::getObjectValue(std::string* value, const std::string& text,
                                          std::string* /*error*/) {
  if (value) *value = text;
  return true;
}

bool LoginnameInputFilter::isPartialStringValid(std::string* /*partial*/,
                                                platform::Range* /*proposedSelection*/,
                                                const std::string& /*original*/,
                                                platform::Range /*originalSelection*/,
                                                std::string* /*error*/) {
  return true;
}
