// SPDX-License-Identifier: Apache-2.0
// Keystroke filters of the panel's text fields. They convert nothing: the
// values stay strings from the field to the job ticket. Each filter only
// decides whether one edit (a typed character or a paste) may happen, by
// looking at the first inserted character and at the length of the field
// before the edit. Lengths are UTF-16 units.
#pragma once

#include <cstdint>
#include <string>

#include "pde/JC.h"
#include "platform/controls.h"

/// Digits filter: admits an edit whose first inserted character is an ASCII
/// digit while the field is shorter than `maxValue` units. Deletions always
/// pass.
class MyIntegerNumberFilter : public platform::NumberFormatter {
 public:
  /// Sets the field's maximum number of characters (UTF-16 units).
  void SetmaxCharactersCount(std::int64_t count) { maxValue = count; }
  /// The value itself: the field holds strings.
  std::string stringForObjectValue(const std::string& value) override;
  /// Always succeeds with the text itself; `error` is never set.
  bool getObjectValue(std::string* value, const std::string& text, std::string* error) override;
  /// True to let the edit happen; never changes the proposal or sets `error`.
  bool isPartialStringValid(std::string* partial, platform::Range* proposedSelection,
                            const std::string& original, platform::Range originalSelection,
                            std::string* error) override;
  /// `maxValue`, for a host sizing the field.
  std::int64_t maximumLength() const override { return maxValue; }

  /// The field's maximum number of characters; 0 (nothing may be inserted)
  /// until set.
  std::int64_t maxValue = 0;
};

/// Free-text filter: admits any inserted character while the field is
/// shorter than `maxValue` units. Deletions always pass.
class MyRomanFilter : public platform::NumberFormatter {
 public:
  /// Sets the field's maximum number of characters (UTF-16 units).
  void SetmaxCharactersCount(std::int64_t count) { maxValue = count; }
  /// The value itself: the field holds strings.
  std::string stringForObjectValue(const std::string& value) override;
  /// Always succeeds with the text itself; `error` is never set.
  bool getObjectValue(std::string* value, const std::string& text, std::string* error) override;
  /// True to let the edit happen; never changes the proposal or sets `error`.
  bool isPartialStringValid(std::string* partial, platform::Range* proposedSelection,
                            const std::string& original, platform::Range originalSelection,
                            std::string* error) override;
  /// `maxValue`, for a host sizing the field.
  std::int64_t maximumLength() const override { return maxValue; }

  /// The field's maximum number of characters; 0 until set.
  std::int64_t maxValue = 0;
};

/// Login-name filter: admits every edit. It carries a callback object (the
/// panel controller) that it does not own and never calls.
class LoginnameInputFilter : public platform::Formatter {
 public:
  /// The value itself: the field holds strings.
  std::string stringForObjectValue(const std::string& value) override;
  /// Always succeeds with the text itself; `error` is never set.
  bool getObjectValue(std::string* value, const std::string& text, std::string* error) override;
  /// Always true.
  bool isPartialStringValid(std::string* partial, platform::Range* proposedSelection,
                            const std::string& original, platform::Range originalSelection,
                            std::string* error) override;
  /// Stores the callback object (not owned).
  void setCallback(LoginnameInputFilterCallback* callback) { m_context = callback; }

  LoginnameInputFilterCallback* m_context = nullptr;
};
