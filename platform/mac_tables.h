// SPDX-License-Identifier: Apache-2.0
// Apple's vendor tables of the Mac script encodings (Roman, Japanese,
// Traditional and Simplified Chinese, Korean, Cyrillic, Central European),
// as POCO's Encodings library carries them, written into the framework
// library at build time (platform/tables/make_mac_tables.cpp), so that no
// process loads POCO to convert a string.
#pragma once

#include <cstdint>
#include <span>

namespace platform::mac {

/// The bytes of one character.
struct EncodedChar {
  char16_t character;
  std::uint8_t length;  ///< 1 or 2
  std::uint8_t bytes[2];
};

/// The character of one two-byte sequence (first byte high).
struct DecodedPair {
  std::uint16_t bytes;
  std::int32_t character;
};

struct Table {
  std::uint32_t encoding;  ///< CoreFoundation's number of the encoding
  /// Each byte alone, as POCO's character map has it: the character, -1
  /// for none, -n for the first byte of an n-byte sequence.
  const std::int32_t* singleBytes;
  std::span<const EncodedChar> encoded;  ///< sorted by character
  std::span<const DecodedPair> pairs;    ///< sorted by bytes
};

/// The table of a Mac script encoding (CoreFoundation's number); null for
/// any other encoding.
const Table* tableFor(std::uint32_t encoding) noexcept;

/// The bytes of character `cp` in `table`: the count (1 or 2) written to
/// `out`, or 0 when the table has no bytes of at most two for it.
int encodeCharacter(const Table& table, char32_t cp, std::uint8_t out[2]) noexcept;

/// The character of the two bytes `lead` `trail`, or -1 when they are
/// none.
std::int32_t decodePair(const Table& table, unsigned char lead, unsigned char trail) noexcept;

}  // namespace platform::mac
