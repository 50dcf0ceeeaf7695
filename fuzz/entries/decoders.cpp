// SPDX-License-Identifier: Apache-2.0
// Fuzz entries for the two text decoders that read ticket and preference
// values: Base64decode and myatoi.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/entries/fuzz_entries.h"
#include "ticket/credentials.h"
#include "ticket/value_helpers.h"

namespace jobwick::fuzz {

// Input: the first byte picks the output size (0 = exactly what
// Base64decode_len asks for, otherwise that many bytes), the rest is the
// text. Checks that decoding never writes past the buffer and that the
// decoded bytes encode and decode back to themselves.
int base64Decode(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chosen = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::int32_t needed = Base64decode_len(text.c_str());
  if (needed < 1) std::abort();
  const std::size_t outputSize = chosen == 0 ? static_cast<std::size_t>(needed) : chosen;
  // Exactly sized heap buffer, so that AddressSanitizer sees any overrun.
  std::vector<std::uint8_t> output(outputSize);
  const std::int32_t decoded = Base64decode(output.data(), text.c_str(), output.size());
  if (decoded < 0 || static_cast<std::size_t>(decoded) >= outputSize) std::abort();
  if (decoded > needed - 1) std::abort();
  if (output[static_cast<std::size_t>(decoded)] != 0) std::abort();

  // Round trip of what came out.
  std::vector<char> encoded(static_cast<std::size_t>(Base64encode_len(decoded)));
  const std::int32_t written = Base64encode(encoded.data(), output.data(), decoded);
  if (written != static_cast<std::int32_t>(encoded.size())) std::abort();
  std::vector<std::uint8_t> again(static_cast<std::size_t>(Base64decode_len(encoded.data())));
  const std::int32_t redecoded = Base64decode(again.data(), encoded.data(), again.size());
  if (redecoded != decoded || std::memcmp(again.data(), output.data(), decoded) != 0) {
    std::abort();
  }
  return 0;
}

// Input: the first byte picks the output size (0 = (count + 1) / 2 + 1),
// the second the count of characters read (0xFF = the whole text), the
// rest is the text. Checks the bounds and that upper-case hexadecimal text
// written by myitoa comes back unchanged.
int hexDecode(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t chosenSize = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t length = std::strlen(text.c_str());
  const std::uint32_t count =
      data[1] == 0xFF ? static_cast<std::uint32_t>(length)
                      : static_cast<std::uint32_t>(std::min<std::size_t>(data[1], length));
  const std::size_t outputSize = chosenSize == 0 ? (count + 1) / 2 + 1 : chosenSize;
  std::vector<std::uint8_t> output(outputSize);
  myatoi(text.c_str(), output.data(), count, output.size());

  // Round trip: bytes -> myitoa -> myatoi gives the bytes again.
  const std::size_t n = std::min<std::size_t>(size - 2, 512);
  std::vector<char> hex(2 * n + 1);
  myitoa(data + 2, hex.data(), static_cast<std::uint32_t>(n));
  std::vector<std::uint8_t> back(n + 1);
  myatoi(hex.data(), back.data(), static_cast<std::uint32_t>(2 * n), back.size());
  if (std::memcmp(back.data(), data + 2, n) != 0 || back[n] != 0) std::abort();
  return 0;
}

}  // namespace jobwick::fuzz
