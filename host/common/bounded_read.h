// SPDX-License-Identifier: Apache-2.0
// Reading the host's input files with a size bound: a file that never ends
// (/dev/zero, an endless pipe) or is too large is refused, not read whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>

namespace jobwick::host {

/// The largest settings file, ticket (file or standard input) and session
/// script the host reads: 1 MiB each. docs/jobwick.md states the limits.
inline constexpr std::size_t kMaxSettingsBytes = 1u << 20;
inline constexpr std::size_t kMaxScriptBytes = 1u << 20;

/// Reads at most `limit` bytes of `in` into `text`. Answers false when the
/// stream holds more than `limit` bytes or fails while reading; `error` then
/// says which ("larger than 1 MiB (the limit)" / "read error"), and `text`
/// holds what was read so far.
bool readBounded(std::istream& in, std::size_t limit, std::string* text, std::string* error);

/// Reads the file at `path`, `what` naming it in messages (marked N_, shown
/// through tr: "settings file",
/// "session script"). A folder is refused, and so is anything longer than
/// `limit` bytes, without reading past the bound. Answers false on failure;
/// `error` then starts with the path ("PATH: cannot read settings file: ...").
bool readBoundedFile(const std::filesystem::path& path, std::string_view what, std::size_t limit,
                     std::string* text, std::string* error);

/// "1 GiB", "1 MiB", "64 KiB" or "N bytes" for a limit.
std::string describeSize(std::size_t bytes);

}  // namespace jobwick::host
