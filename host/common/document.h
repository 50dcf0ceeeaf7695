// SPDX-License-Identifier: Apache-2.0
// The document `jobwick print` sends: checked before anything is asked of
// the scheduler, opened only when the job is submitted, and streamed to it
// in chunks, never read whole into memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/c_handles.h"

namespace jobwick::host {

/// The largest document sent: 1 GiB. A longer one (an endless pipe,
/// /dev/zero on standard input) fails and its job is cancelled.
/// docs/jobwick.md states the limit.
inline constexpr std::size_t kMaxDocumentBytes = std::size_t(1) << 30;

/// Checks, without reading a byte or opening a FIFO, that `file` can be
/// printed: "-" (standard input, which must be open), a readable regular
/// file or a FIFO. Answers false with `error` naming the file (escaped)
/// and why ("no such file", "a folder", "not a regular file or a FIFO").
bool checkDocument(const std::string& file, std::string* error);

/// Opens `file` for reading; "-" is a duplicate of standard input. A FIFO
/// is opened without waiting for a writer, and reads as empty when it has
/// none. An invalid descriptor when it cannot be opened; `error` then
/// names the file.
platform::UniqueFd openDocument(const std::string& file, std::string* error);

/// Reads `fd` to its end in chunks and hands each to `write`, at most
/// `limit` bytes in all. Answers false when reading fails, the input holds
/// more than `limit` bytes ("larger than 1 GiB (the limit)") or `write`
/// answers false (`error` then left empty for the writer to explain).
bool streamBounded(int fd, std::size_t limit, const std::function<bool(std::string_view)>& write,
                   std::string* error);

}  // namespace jobwick::host
