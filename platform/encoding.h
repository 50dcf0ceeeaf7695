// SPDX-License-Identifier: Apache-2.0
// String encodings: the platform's string-encoding numbers, the conversion
// numbers used for byte conversions, the system encoding, and conversions.
// The Mac script encodings come from Apple's vendor mapping tables (as
// POCO's Encodings library carries them); the others go through iconv.
// Limits in characters are UTF-16 units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// String-encoding numbers as the print dialog's string class numbers them.
using NSStringEncoding = std::uint64_t;
inline constexpr NSStringEncoding NSASCIIStringEncoding = 1;
inline constexpr NSStringEncoding NSJapaneseEUCStringEncoding = 3;
inline constexpr NSStringEncoding NSUTF8StringEncoding = 4;
inline constexpr NSStringEncoding NSISOLatin1StringEncoding = 5;
inline constexpr NSStringEncoding NSShiftJISStringEncoding = 8;
inline constexpr NSStringEncoding NSWindowsCP1252StringEncoding = 12;
inline constexpr NSStringEncoding NSMacOSRomanStringEncoding = 30;

/// Conversion numbers of the byte-level conversion functions.
using CFStringEncoding = std::uint32_t;
inline constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
inline constexpr CFStringEncoding kCFStringEncodingMacJapanese = 1;
inline constexpr CFStringEncoding kCFStringEncodingMacChineseTrad = 2;
inline constexpr CFStringEncoding kCFStringEncodingMacKorean = 3;
inline constexpr CFStringEncoding kCFStringEncodingMacCyrillic = 7;
inline constexpr CFStringEncoding kCFStringEncodingMacChineseSimp = 25;
inline constexpr CFStringEncoding kCFStringEncodingMacCentralEurRoman = 29;
inline constexpr CFStringEncoding kCFStringEncodingISOLatin1 = 0x0201;
inline constexpr CFStringEncoding kCFStringEncodingWindowsLatin1 = 0x0500;
inline constexpr CFStringEncoding kCFStringEncodingASCII = 0x0600;
inline constexpr CFStringEncoding kCFStringEncodingShiftJIS = 0x0A01;
inline constexpr CFStringEncoding kCFStringEncodingEUC_JP = 0x0920;
inline constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
inline constexpr CFStringEncoding kCFStringEncodingInvalidId = 0xFFFFFFFFu;

/// The system's default conversion encoding: derived from the user's
/// language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG; the first that is set)
/// by systemEncodingForLanguage. MacRoman when none is set. The host (and
/// tests) may override it.
CFStringEncoding CFStringGetSystemEncoding();
/// Sets (or, with nullopt, clears) the override of the system encoding.
void setSystemEncodingOverride(std::optional<CFStringEncoding> encoding);
/// Derives the system encoding from a language tag such as "ja_JP.UTF-8" or
/// "zh-Hant": Japanese MacJapanese, Traditional Chinese (Hant, or Taiwan,
/// Hong Kong, Macau) MacChineseTrad, Korean MacKorean, other Chinese
/// MacChineseSimp, the Cyrillic-script languages MacCyrillic, the Central
/// European ones MacCentralEurRoman; any other tag (or an empty one)
/// MacRoman.
CFStringEncoding systemEncodingForLanguage(std::string_view language);

/// Maps a conversion number to a string-encoding number (MacJapanese and the
/// other Mac script encodings have no small number: 0x80000000 | number);
/// 0 for a conversion number this platform does not know.
NSStringEncoding CFStringConvertEncodingToNSStringEncoding(CFStringEncoding encoding);
/// The reverse mapping; kCFStringEncodingInvalidId for an unknown number.
CFStringEncoding CFStringConvertNSStringEncodingToEncoding(NSStringEncoding encoding);

/// What a byte conversion used.
struct ConversionResult {
  std::size_t charactersUsed = 0;  ///< UTF-16 units of the text converted
  std::size_t bytesUsed = 0;       ///< bytes written to the buffer
};

/// Converts the text from its start, taking at most `maxCharacters` UTF-16
/// units, into at most `maxBytes` bytes of `buffer` (which may be null to
/// only count; the byte limit then does not apply). A character the
/// encoding cannot represent is replaced by `lossByte`, or, when `lossByte`
/// is 0, ends the conversion; half a surrogate pair (a character limit that
/// cuts a pair) counts as such a character. A character whose bytes would
/// not fit ends the conversion too. Never writes a terminator. An unknown
/// encoding converts nothing.
ConversionResult CFStringGetBytes(std::string_view text, std::size_t maxCharacters,
                                  CFStringEncoding encoding, std::uint8_t lossByte,
                                  std::uint8_t* buffer, std::size_t maxBytes);

/// Converts the whole text and a terminating zero into `buffer` of
/// `bufferSize` bytes. Answers false when a character cannot be converted
/// or the result does not fit; the buffer (when bufferSize > 0) then holds
/// the empty string.
bool CFStringGetCString(std::string_view text, char* buffer, std::size_t bufferSize,
                        CFStringEncoding encoding);

/// Decodes `length` bytes in `encoding` (a string-encoding number). Answers
/// nullopt when the bytes are not valid in that encoding.
std::optional<std::string> stringWithBytes(const void* bytes, std::size_t length,
                                           NSStringEncoding encoding);
/// Decodes a zero-terminated byte string; nullopt for a null pointer or
/// bytes that are not valid in the encoding.
std::optional<std::string> stringWithCString(const char* bytes, NSStringEncoding encoding);

/// The iconv name used for a conversion number, or an empty view (also for
/// the Mac script encodings, which do not go through iconv).
std::string_view iconvNameForEncoding(CFStringEncoding encoding);

}  // namespace platform
