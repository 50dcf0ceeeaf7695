// SPDX-License-Identifier: Apache-2.0
// The job's print settings as files: a JSON document
//   {"jobName": "Quarterly report", "settings": {"key": "value", ...}}
// or CUPS-style option lines ("key=value", one per line).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/print_settings.h"

namespace jobwick::host {

/// Fills `settings` from a JSON document. "jobName" (a string or null) and
/// "settings" (an object of string values) are the only members; both may be
/// missing. Answers false and leaves `settings` untouched when the text is
/// not such a document, or a key, value or the job name holds a NUL
/// character; `error` then says what is wrong, with line and column for
/// malformed JSON ("line 3, column 14: ...") and naming the setting else.
bool parseSettingsJson(std::string_view text, platform::PrintSettings* settings,
                       std::string* error);

/// Parses a JSON document; nullopt for malformed text, `error` then says
/// where and what ("line 3, column 14: syntax error ...").
std::optional<nlohmann::json> parseJsonDocument(std::string_view text, std::string* error);

/// Fills `settings` from the text of a settings file: JSON when its first
/// non-blank character is "{", option lines otherwise. Answers false on
/// malformed text (`error` says why, without a file name).
bool parseSettingsText(std::string_view text, platform::PrintSettings* settings,
                       std::string* error);

/// The JSON document of `settings`: members sorted by key, two-space indent,
/// "jobName" left out when the job has no name. Ends with a newline.
std::string settingsToJson(const platform::PrintSettings& settings);

/// An ordered JSON object of `entries` (key and value pairs) in their
/// order. The keys must be distinct, as a map's are: the members are
/// appended without looking for an earlier one of the same name, which
/// assigning them one by one does (a search of the members so far for each
/// new one, quadratic in their number).
template <class Entries>
nlohmann::ordered_json orderedObjectOf(const Entries& entries) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  auto& members = static_cast<nlohmann::ordered_json::object_t::Container&>(
      object.get_ref<nlohmann::ordered_json::object_t&>());
  members.reserve(entries.size());
  for (const auto& [key, value] : entries) members.emplace_back(key, value);
  return object;
}

/// The document settingsToJson writes, as ordered JSON: "jobName" (when
/// the job has a name), then "settings" with the entries sorted by key.
nlohmann::ordered_json settingsDocument(const platform::PrintSettings& settings);

/// Fills `settings` from option lines: "key=value" per line, split at the
/// first "="; spaces around the key are dropped, the value is kept as it
/// stands. Blank lines and lines starting with "#" are skipped. Answers false
/// (leaving `settings` untouched) at the first line without "=", with an
/// empty key or with a NUL character; `error` then names the line
/// ("line 4: ...").
bool parseOptionLines(std::string_view text, platform::PrintSettings* settings, std::string* error);

/// Reads a settings file: JSON when its first non-blank character is "{",
/// option lines otherwise. A folder, or a file over kMaxSettingsBytes, is
/// refused unread. Answers false when the file cannot be read or parsed;
/// `error` then starts with the file's name.
bool readSettingsFile(const std::filesystem::path& path, platform::PrintSettings* settings,
                      std::string* error);

/// Writes `settings` as JSON to `path`, replacing it atomically (a temporary
/// file in the same folder renamed over it). Answers false when writing
/// failed (an existing file then stays as it was); `error` names the file
/// and the system error.
bool writeSettingsFile(const std::filesystem::path& path, const platform::PrintSettings& settings,
                       std::string* error);

}  // namespace jobwick::host
