// SPDX-License-Identifier: Apache-2.0
// Print settings to and from JSON documents and option lines.
#include "host/common/settings_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/common/bounded_read.h"
#include "host/common/escape.h"
#include "host/common/translate.h"
#include "platform/atomic_file.h"

namespace jobwick::host {
namespace {

/// "line L, column C" of the byte that nlohmann's parser stopped at (its
/// `byte` counts the characters read, the failing one included).
std::string positionOf(std::string_view text, std::size_t byte) {
  std::size_t end = byte == 0 ? 0 : std::min(byte - 1, text.size());
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  std::size_t column = byte > lineStart ? byte - lineStart : 1;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

/// The parser's own description without its "[json.exception...] parse
/// error at line L, column C: " preamble.
std::string parseErrorDetail(const std::string& what) {
  static const std::regex preamble(R"(^\[json\.exception[^\]]*\]\s*(parse error[^:]*:\s*)?)");
  return std::regex_replace(what, preamble, "");
}

std::string describeType(const nlohmann::json& value) {
  return value.type_name();
}

bool fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

/// A NUL in a key or value would cut it where the ticket is handed on as C
/// strings, making a second entry of what follows; such text is refused.
bool hasNul(std::string_view text) {
  return text.find('\0') != std::string_view::npos;
}

/// Why the entry `key` = `value` cannot be a setting; empty when it can.
std::string entryProblem(std::string_view key, std::string_view value) {
  if (hasNul(key)) return "setting " + quoteText(key) + ": a NUL character in the key";
  if (hasNul(value)) return "setting " + quoteText(key) + ": a NUL character in the value";
  return {};
}

}  // namespace

std::optional<nlohmann::json> parseJsonDocument(std::string_view text, std::string* error) {
  try {
    return nlohmann::json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::parse_error& e) {
    if (error) *error = positionOf(text, e.byte) + ": " + parseErrorDetail(e.what());
  } catch (const nlohmann::json::exception& e) {
    // A number too large for a double ("1e999") is refused with no
    // position; the number's text, quoted in the message, shows where.
    if (error) {
      const std::string detail = parseErrorDetail(e.what());
      const std::size_t open = detail.find('\'');
      const std::size_t close = detail.rfind('\'');
      const std::size_t at = open < close ? text.find(detail.substr(open + 1, close - open - 1))
                                          : std::string_view::npos;
      *error =
          (at == std::string_view::npos ? std::string() : positionOf(text, at + 1) + ": ") + detail;
    }
  }
  return std::nullopt;
}

bool parseSettingsJson(std::string_view text, platform::PrintSettings* settings,
                       std::string* error) {
  auto parsed = parseJsonDocument(text, error);
  if (!parsed) return false;
  nlohmann::json document = std::move(*parsed);
  if (!document.is_object()) {
    return fail(error, "expected a JSON object with \"jobName\" and \"settings\", found " +
                           describeType(document));
  }

  std::optional<std::string> jobName;
  std::map<std::string, std::string> entries;
  for (const auto& [member, value] : document.items()) {
    if (member == "jobName") {
      if (value.is_string()) {
        jobName = value.get<std::string>();
        if (hasNul(*jobName)) return fail(error, "\"jobName\": a NUL character in the name");
      } else if (!value.is_null()) {
        return fail(error, "\"jobName\" must be a string or null, found " + describeType(value));
      }
    } else if (member == "settings") {
      if (!value.is_object()) {
        return fail(error, "\"settings\" must be an object, found " + describeType(value));
      }
      for (const auto& [key, entry] : value.items()) {
        if (!entry.is_string()) {
          return fail(error, "setting " + quoteText(key) + " must be a string, found " +
                                 describeType(entry));
        }
        if (auto problem = entryProblem(key, entry.get_ref<const std::string&>());
            !problem.empty()) {
          return fail(error, problem);
        }
        entries[key] = entry.get<std::string>();
      }
    } else {
      return fail(error, "unknown member " + quoteText(member) +
                             " (a settings file has \"jobName\" and \"settings\")");
    }
  }

  if (settings) {
    settings->setJobName(std::move(jobName));
    for (auto& [key, value] : entries) settings->setValue(key, std::move(value));
  }
  return true;
}

std::string settingsToJson(const platform::PrintSettings& settings) {
  // Values are UTF-8 by contract; a stray invalid byte must not abort the
  // write, so it is replaced rather than thrown on.
  return settingsDocument(settings).dump(2, ' ', false,
                                         nlohmann::ordered_json::error_handler_t::replace) +
         "\n";
}

nlohmann::ordered_json settingsDocument(const platform::PrintSettings& settings) {
  nlohmann::ordered_json document = nlohmann::ordered_json::object();
  if (settings.jobName()) document["jobName"] = *settings.jobName();
  document["settings"] = orderedObjectOf(settings.entries());
  return document;
}

bool parseOptionLines(std::string_view text, platform::PrintSettings* settings,
                      std::string* error) {
  std::map<std::string, std::string> entries;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      return fail(error, "line " + std::to_string(lineNumber) + ": expected key=value, found " +
                             quoteText(line));
    }
    std::string_view key = line.substr(0, equals);
    std::size_t keyStart = key.find_first_not_of(" \t");
    std::size_t keyEnd = key.find_last_not_of(" \t");
    if (keyStart == std::string_view::npos) {
      return fail(error, "line " + std::to_string(lineNumber) + ": empty key before \"=\"");
    }
    key = key.substr(keyStart, keyEnd - keyStart + 1);
    if (auto problem = entryProblem(key, line.substr(equals + 1)); !problem.empty()) {
      return fail(error, "line " + std::to_string(lineNumber) + ": " + problem);
    }
    entries[std::string(key)] = std::string(line.substr(equals + 1));
  }
  if (settings) {
    for (auto& [key, value] : entries) settings->setValue(key, std::move(value));
  }
  return true;
}

bool readSettingsFile(const std::filesystem::path& path, platform::PrintSettings* settings,
                      std::string* error) {
  std::string text;
  if (!readBoundedFile(path, N_("settings file"), kMaxSettingsBytes, &text, error)) return false;
  std::string detail;
  if (!parseSettingsText(text, settings, &detail)) {
    return fail(error, path.string() + ": " + detail);
  }
  return true;
}

bool parseSettingsText(std::string_view text, platform::PrintSettings* settings,
                       std::string* error) {
  std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '{'
             ? parseSettingsJson(text, settings, error)
             : parseOptionLines(text, settings, error);
}

bool writeSettingsFile(const std::filesystem::path& path, const platform::PrintSettings& settings,
                       std::string* error) {
  // Settings files are ordinary documents, readable by others.
  if (const int failure = platform::replaceFileAtomically(path, settingsToJson(settings), 0644)) {
    return fail(error, path.string() + ": cannot write settings file: " + std::strerror(failure));
  }
  return true;
}

}  // namespace jobwick::host
