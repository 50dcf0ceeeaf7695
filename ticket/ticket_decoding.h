// SPDX-License-Identifier: Apache-2.0
// Reading values back from the job ticket and the preference record.
//
// Everything read here is untrusted: print settings come from whatever
// application or earlier dialog wrote them, and the preference record is a
// file in the user's folder. Each helper bounds what it reads to the buffer
// size the stored form allows, never fails, and answers the empty text for a
// value it cannot make sense of. Decoded bytes are turned into text in the
// system encoding as far as that encoding reads them: the longest prefix that
// decodes is shown, so a damaged value shows as much of itself as it can.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/encoding.h"
#include "platform/print_settings.h"

namespace jobwick::ticket {

/// Longest ticket value, in characters, the reader takes for a single entry
/// (a value buffer of 256 bytes).
inline constexpr std::size_t kValueMaxCharacters = 255;
/// Longest piece of the chunked login name, and of the joined pieces, in
/// characters (a work buffer of 511 bytes).
inline constexpr std::size_t kLoginNameMaxCharacters = 510;
/// Longest `folderPath` value: hex text of the longest folder name the
/// writer stores (1529 bytes).
inline constexpr std::size_t kFolderPathMaxCharacters = 2 * 1529;

/// The value up to its first zero character when it is ASCII text of at most
/// `maxCharacters` characters; the empty text when it is longer or holds a
/// character outside ASCII (it does not fit the fixed buffer it is read into).
std::string asciiText(std::string_view value, std::size_t maxCharacters);

/// The ticket entry under `key` read as by asciiText; nullopt when the entry
/// is absent or `settings` is null.
std::optional<std::string> asciiTicketValue(const platform::PrintSettings* settings,
                                            std::string_view key, std::size_t maxCharacters);

/// The bytes up to their first zero byte as text in `encoding` (a
/// string-encoding number): the longest prefix the encoding reads. The empty
/// text when not even the first character reads, or the encoding is unknown.
std::string textInEncoding(std::string_view bytes, platform::NSStringEncoding encoding);

/// A secret stored as hex text of its fixed-key cipher (`byteCount` cipher
/// bytes: 16, or 32 for the password): the first 2 * byteCount characters
/// are turned into bytes (a shorter or odd text as far as it goes), deciphered
/// and read in `encoding`. Trailing all-zero blocks after the first are the
/// fill of the 64-digit form, not cipher, and are not deciphered. The empty text for an empty hex
/// text, and, when `maxPlainBytes` is not 0, for a deciphered text of more bytes than that.
std::string textOfHexSecret(std::string_view hex, std::size_t byteCount,
                            platform::NSStringEncoding encoding, std::size_t maxPlainBytes = 0);

/// A secret stored as Base64 of its whole fixed-key cipher: decoded up to the
/// first character outside the Base64 alphabet, deciphered over its full
/// length and read in `encoding`. The empty text when nothing decodes.
std::string textOfBase64Secret(std::string_view base64, platform::NSStringEncoding encoding);

/// A name stored as hex text of its bytes: every character taken (an odd
/// last one as if followed by '0'), the bytes read in `encoding` up to their
/// first zero byte.
std::string textOfHexName(std::string_view hex, platform::NSStringEncoding encoding);

/// The leading decimal number of a text as a signed 32-bit value: leading
/// spaces and tabs skipped, an optional sign, then digits up to the first
/// other character. 0 when there are no digits; a number beyond the range
/// gives the nearest limit.
std::int32_t intValueOf(std::string_view text);

/// The lock-button mask of a stored `holdButton` value: its number when that
/// lies between 0 and the mask of all lock buttons, else 0 (a negative or
/// oversized number is no mask the writer makes, and reading it as one
/// would lock, and so remember, entries the user never locked).
std::uint32_t holdButtonMaskOf(std::string_view value);

}  // namespace jobwick::ticket
