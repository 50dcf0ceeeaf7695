// SPDX-License-Identifier: Apache-2.0
#include "ticket/ticket_decoding.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "ticket/credentials.h"
#include "ticket/keys.h"
#include "ticket/value_helpers.h"

namespace jobwick::ticket {

namespace {

std::string_view beforeZero(std::string_view bytes) {
  return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

std::string_view asView(const std::vector<std::uint8_t>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

std::string asciiText(std::string_view value, std::size_t maxCharacters) {
  const std::string_view text = beforeZero(value);
  if (text.size() > maxCharacters) return {};
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? std::string(text) : std::string();
}

std::optional<std::string> asciiTicketValue(const platform::PrintSettings* settings,
                                            std::string_view key, std::size_t maxCharacters) {
  const auto value = platform::PMPrintSettingsGetValue(settings, key);
  if (!value) return std::nullopt;
  return asciiText(*value, maxCharacters);
}

std::string textInEncoding(std::string_view bytes, platform::NSStringEncoding encoding) {
  const std::string_view text = beforeZero(bytes);
  // A prefix that ends inside a character or before a byte the encoding does
  // not know fails to decode; walk back until one decodes. The texts are
  // short (at most a folder name of 1529 bytes), and a text that decodes
  // whole, the usual case, takes one try.
  for (std::size_t length = text.size();; --length) {
    if (auto decoded = platform::stringWithBytes(text.data(), length, encoding)) {
      return std::move(*decoded);
    }
    if (length == 0) break;
  }
  return {};
}

std::string textOfHexSecret(std::string_view hex, std::size_t byteCount,
                            platform::NSStringEncoding encoding, std::size_t maxPlainBytes) {
  if (hex.empty() || byteCount == 0) return {};
  // Cipher bytes: the hex text as far as it goes, zero-filled to byteCount.
  const std::size_t characters = std::min(hex.size(), 2 * byteCount);
  std::vector<std::uint8_t> cipher(byteCount + 1, 0);
  myatoi(hex.data(), cipher.data(), static_cast<std::uint32_t>(characters), cipher.size());
  // The 64-digit form of a secret of at most 16 bytes carries one cipher
  // block followed by a block of zeros, which is no cipher: deciphered, it
  // would append 16 bytes of noise to a secret of exactly 16 bytes, whose
  // first block has no zero fill to end it.
  std::size_t length = byteCount;
  while (length > kAesBlockSize &&
         std::all_of(cipher.begin() + static_cast<std::ptrdiff_t>(length - kAesBlockSize),
                     cipher.begin() + static_cast<std::ptrdiff_t>(length),
                     [](std::uint8_t b) { return b == 0; })) {
    length -= kAesBlockSize;
  }
  // Plain bytes: a zero-filled buffer one byte longer than the cipher, so the
  // text is terminated even when it fills every block.
  std::vector<std::uint8_t> plain(aesCipherLength(byteCount) + 1, 0);
  my_aes_decrypt(cipher.data(), length, plain.data(), plain.size());
  const std::string_view bytes = beforeZero(asView(plain));
  if (maxPlainBytes != 0 && bytes.size() > maxPlainBytes) return {};
  return textInEncoding(bytes, encoding);
}

std::string textOfBase64Secret(std::string_view base64, platform::NSStringEncoding encoding) {
  const std::string text(beforeZero(base64));
  std::vector<std::uint8_t> cipher(static_cast<std::size_t>(Base64decode_len(text.c_str())), 0);
  const std::int32_t length = Base64decode(cipher.data(), text.c_str(), cipher.size());
  if (length <= 0) return {};
  std::vector<std::uint8_t> plain(aesCipherLength(static_cast<std::size_t>(length)) + 1, 0);
  my_aes_decrypt(cipher.data(), static_cast<std::size_t>(length), plain.data(), plain.size());
  return textInEncoding(asView(plain), encoding);
}

std::string textOfHexName(std::string_view hex, platform::NSStringEncoding encoding) {
  return textInEncoding(bytesOfHex(beforeZero(hex)), encoding);
}

std::int32_t intValueOf(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(kLimit, magnitude * 10 + (text[i] - '0'));
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t holdButtonMaskOf(std::string_view value) {
  const std::int32_t number = intValueOf(value);
  if (number < 0 || static_cast<std::uint32_t>(number) > kHoldAll) return 0;
  return static_cast<std::uint32_t>(number);
}

}  // namespace jobwick::ticket
