// SPDX-License-Identifier: Apache-2.0
// Dialog-session scripts: a JSON document naming the bundle, the printer, the
// job's starting print settings and the user's surroundings, and the steps a
// person (or a print dialog) takes in the panel. The format is described in
// docs/jobwick.md; this file reads and checks it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/print_settings.h"

namespace jobwick::host {

/// One step of a session, checked for its kind and members.
struct SessionStep {
  std::size_t number = 0;  ///< 1-based position in "steps"
  std::string kind;        ///< the "do" member: "type", "click", ...
  std::string name;        ///< the optional "name" member
  nlohmann::json spec;     ///< the whole step object, variables substituted

  /// "step 3 (type)" or "step 3 "log in" (type)", for messages.
  std::string label() const;
  /// The "control" member ("" when the step has none).
  std::string control() const;
};

/// A session script as read.
struct SessionScript {
  std::filesystem::path path;    ///< the script file
  std::filesystem::path folder;  ///< relative paths in the script start here
  std::string description;
  std::optional<std::string> bundle;  ///< model name or path (made absolute)
  std::optional<std::filesystem::path> ppd;
  std::optional<std::string> printerId;
  std::optional<std::string> deviceURI;
  std::optional<bool> constraintHandling;
  std::optional<platform::PrintSettings> settings;  ///< inline settings
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::string> language;
  std::optional<std::filesystem::path> prefsDir;
  std::optional<double> clock;         ///< seconds since 1970, UTC
  std::optional<long> timeZoneOffset;  ///< seconds east of Greenwich
  std::optional<std::string> userLogin;
  std::optional<std::string> userFullName;
  std::vector<SessionStep> steps;
};

/// The step kinds, in the order of the documentation.
const std::vector<std::string>& sessionStepKinds();

/// Reads a session script from `text` (the contents of `path`). `variables`
/// ("--var NAME=VALUE") override the script's own "vars"; every "${NAME}"
/// in a string of the script is replaced by its value. Answers nullopt when
/// the script is malformed; `error` then names the place: "line 4, column
/// 9: ..." for bad JSON, "steps[2] (type): ..." or "step 3 (type): ..." for a
/// bad step, the member's name for anything else.
std::optional<SessionScript> parseSessionScript(std::string_view text,
                                                const std::filesystem::path& path,
                                                const std::map<std::string, std::string>& variables,
                                                std::string* error);

/// Reads the script file `path` and parses it (see parseSessionScript); the
/// error starts with the file's name.
std::optional<SessionScript> readSessionScript(const std::filesystem::path& path,
                                               const std::map<std::string, std::string>& variables,
                                               std::string* error);

/// A moment written as "2026-12-08T09:05:07+09:00" (or with "Z"): the
/// seconds since 1970 in UTC and the zone's offset in seconds east of
/// Greenwich. nullopt for any other text.
std::optional<std::pair<double, long>> parseClock(std::string_view text);

}  // namespace jobwick::host
