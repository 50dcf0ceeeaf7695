// SPDX-License-Identifier: Apache-2.0
// The process's surroundings: the clock and time zone, the user's names and
// the temporary folder. Each can be pinned by the host or a test.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

/// Seconds since 1970-01-01 00:00:00 UTC: the real clock, or the pinned one.
double currentTime();
/// Pins the clock (nullopt: back to the real clock).
void setCurrentTimeOverride(std::optional<double> seconds);

/// Offset of the system time zone from Greenwich, in seconds, at `time`:
/// the pinned fixed offset, or the local zone of the process.
long timeZoneOffsetAt(double time);
/// Pins the system time zone to a fixed offset in seconds east of Greenwich.
void setTimeZoneOffsetOverride(std::optional<long> secondsEast);

/// The user's login name and full name (from the password database; the
/// full name is the first field of its comment, nullopt when empty). The
/// login name is empty when the database has no entry for the user.
std::string NSUserName();
std::optional<std::string> NSFullUserName();
/// Pins the names. While either is given the override is active: a missing
/// short name falls back to the database, a missing full name means the
/// user has none. Both nullopt: back to the database.
void setUserNamesOverride(std::optional<std::string> shortName,
                          std::optional<std::string> fullName);

/// The user's own temporary folder, ending in "/": the override, else a
/// folder jobwick-<uid> inside $TMPDIR (or /tmp), created mode 0700 and
/// refused (nullopt) when it is a link or belongs to someone else.
std::optional<std::string> NSTemporaryDirectory();
/// Pins the temporary folder ("/" is appended when missing); an empty text
/// pins "no temporary folder"; nullopt restores the real one.
void setTemporaryDirectoryOverride(std::optional<std::string> folder);

}  // namespace platform
