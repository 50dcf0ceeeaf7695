// SPDX-License-Identifier: Apache-2.0
// Print-settings value helpers shared by the job-ticket writer and reader and
// the preference store: hexadecimal text of bytes and back, the spool-time
// text, clean-up of texts the printer shows, and storing ASCII values in the
// print settings (whole or in pieces).
//
// These are plain functions over caller-owned buffers. Each states how many
// bytes it writes; the caller makes the buffer that large. Functions that
// decode text read back from the job ticket or the preferences also take the
// size of their output buffer, because the amount they write depends on that
// text and not on the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/print_settings.h"

/// Bytes a caller reserves for GetSpoolTime's output.
inline constexpr std::size_t kSpoolTimeBufferSize = 112;

/// Writes the `count` bytes of `source` as hexadecimal text into
/// `destination`: two upper-case digits per byte, high digit first, then a
/// terminating zero (2 * count + 1 characters; a count of 0 writes only the
/// terminator). Does nothing when `destination` is null; a null `source`
/// writes only the terminator.
void myitoa(const std::uint8_t* source, char* destination, std::uint32_t count);

/// Turns the first `count` characters of the hexadecimal text `source` into
/// bytes in `destination`, followed by a terminating zero. Every pair of
/// characters gives one byte; there is no validation: digits and upper-case
/// letters decode as hexadecimal, a lower-case letter decodes correctly only
/// as the first character of a pair ("a0" gives 0xA0, "0a" gives 0x2A).
///
/// An odd count reads nothing beyond `count`: the last, unpaired character
/// is decoded as if it were followed by '0' (so "ABC" gives 0xAB 0xC0 and
/// "7" gives 0x70).
///
/// Writes (count + 1) / 2 bytes and the terminator, but never more than
/// `destinationSize` bytes in all: when the buffer is smaller, only the
/// bytes that fit before the terminator are written. Does nothing when a
/// pointer is null or `destinationSize` is 0.
void myatoi(const char* source, std::uint8_t* destination, std::uint32_t count,
            std::size_t destinationSize);

/// Writes the spool-time text of the current moment into `destination`
/// (kSpoolTimeBufferSize bytes): the date and time in the system time zone
/// as "Tue, 8 Dec 2026 09:05:07 +0900", where the last field is the zone's
/// offset in seconds divided by 36 (so +5 h 30 min gives +0550). Clock and
/// zone come from platform/system.h. Returns the number of characters
/// written (30 or 31 for four-digit years), or 0 with an empty text when
/// the clock gives a time that has no calendar date or `destination` is
/// null.
std::int32_t GetSpoolTime(char* destination);

/// Replaces, in place, every byte of the value 1-8, 10-31 or 34 (double
/// quote) among the first `count` bytes of `buffer` by a space. Zero bytes,
/// tabs and all other bytes stay. A count below 1 or a null buffer changes
/// nothing.
void ReplaceSpaceCode(std::uint8_t* buffer, std::int64_t count);

/// Whether the second text variant of a field is Windows Latin 1: true
/// unless the system encoding is MacJapanese, MacChineseTrad, MacKorean or
/// MacChineseSimp.
bool encodingWindowsLatin1();

/// Stores `value` under `key` in the print settings (not locked). A null or
/// empty value removes the key; so does a value with a byte outside ASCII,
/// which cannot be stored as ASCII text. Does nothing when `settings` is
/// null or `key` is empty.
void MyPMPrintSetAsciiCStrValue(platform::PrintSettings* settings, std::string_view key,
                                const char* value);

/// Stores `value` in pieces of at most 254 characters under `baseKey`
/// followed by the piece number: piece 1 first, then 2, 3, ... The piece
/// after the last one written is removed; pieces further on that a longer
/// earlier value left are not, since readers stop at the first missing
/// piece. A null or empty value removes piece 1 only. Does nothing when
/// `settings` is null, or `baseKey` is null, empty or longer than 98
/// characters.
void MyMultiPMPrintSetAsciiCStrValue(platform::PrintSettings* settings, const char* baseKey,
                                     const char* value);
