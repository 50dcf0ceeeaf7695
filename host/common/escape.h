// SPDX-License-Identifier: Apache-2.0
// Text from outside (folder names from a printer, ticket values, PPD texts)
// made safe to print: no line breaks or control characters reach the
// terminal, so such text can neither forge output lines nor drive it.
#pragma once

#include <string>
#include <string_view>

namespace jobwick::host {

/// `text` with every control character (C0, DEL, and C1 in UTF-8) and every
/// byte that is not part of valid UTF-8 written as an escape: "\n", "\r",
/// "\t" and "\xHH" (one per byte). Printable text, non-ASCII letters and
/// backslashes included, stays as it is, so escaping twice changes nothing
/// more. Never fails.
std::string escapeText(std::string_view text);

/// escapeText within double quotes, with `"` and `\` written as `\"` and
/// `\\`.
std::string quoteText(std::string_view text);

}  // namespace jobwick::host
