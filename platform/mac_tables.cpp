// SPDX-License-Identifier: Apache-2.0
// Lookups in the Mac encodings' tables that the build writes.
#include "platform/mac_tables.h"

#include <algorithm>
#include <cstring>

namespace platform::mac {
namespace {

#include "mac_tables.inc"

}  // namespace

const Table* tableFor(std::uint32_t encoding) noexcept {
  for (const Table* table : kTables) {
    if (table->encoding == encoding) return table;
  }
  return nullptr;
}

int encodeCharacter(const Table& table, char32_t cp, std::uint8_t out[2]) noexcept {
  if (cp > 0xFFFF) return 0;
  const auto found = std::lower_bound(
      table.encoded.begin(), table.encoded.end(), cp,
      [](const EncodedChar& entry, char32_t wanted) { return entry.character < wanted; });
  if (found == table.encoded.end() || found->character != cp) return 0;
  std::memcpy(out, found->bytes, found->length);
  return found->length;
}

std::int32_t decodePair(const Table& table, unsigned char lead, unsigned char trail) noexcept {
  const auto bytes = static_cast<std::uint16_t>(lead << 8 | trail);
  const auto found = std::lower_bound(
      table.pairs.begin(), table.pairs.end(), bytes,
      [](const DecodedPair& entry, std::uint16_t wanted) { return entry.bytes < wanted; });
  if (found == table.pairs.end() || found->bytes != bytes) return -1;
  return found->character;
}

}  // namespace platform::mac
