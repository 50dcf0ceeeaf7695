// SPDX-License-Identifier: Apache-2.0
#include "ticket/credentials.h"

#include <nettle/aes.h>
#include <nettle/md5.h>
#include <string.h>  // explicit_bzero

#include <algorithm>
#include <cstring>

namespace {

// The program's fixed key; the same in every build, and the driver's filter
// and stored preferences depend on it.
constexpr std::uint8_t kFixedKey[16] = {0x5e, 0x3a, 0x91, 0xc0, 0x7d, 0x24, 0xb6, 0xf8,
                                        0xa1, 0xe0, 0xc9, 0x4d, 0x3b, 0x7f, 0x2a, 0x61};

// Runs AES-128 over `length` bytes of `input` as independent blocks (ECB
// without padding), the last partial block completed with zeros in a local
// copy. Writes the whole blocks that fit in `capacity` bytes of `output`.
// The key schedule lives on the stack and is wiped before returning.
void aes128Blocks(const std::uint8_t* key, bool encrypt, const std::uint8_t* input,
                  std::size_t length, std::uint8_t* output, std::size_t capacity) {
  const std::size_t blocks =
      std::min(aesCipherLength(length), capacity / kAesBlockSize * kAesBlockSize) / kAesBlockSize;
  if (blocks == 0) return;

  aes128_ctx schedule;
  if (encrypt) {
    aes128_set_encrypt_key(&schedule, key);
  } else {
    aes128_set_decrypt_key(&schedule, key);
  }
  const auto run = [&](std::size_t bytes, std::uint8_t* to, const std::uint8_t* from) {
    if (encrypt) {
      aes128_encrypt(&schedule, bytes, to, from);
    } else {
      aes128_decrypt(&schedule, bytes, to, from);
    }
  };
  const std::size_t wholeBytes = std::min(length / kAesBlockSize, blocks) * kAesBlockSize;
  if (wholeBytes > 0) run(wholeBytes, output, input);
  if (blocks * kAesBlockSize > wholeBytes) {
    std::uint8_t last[kAesBlockSize] = {};
    std::memcpy(last, input + wholeBytes, length - wholeBytes);
    run(kAesBlockSize, output + wholeBytes, last);
    explicit_bzero(last, sizeof last);
  }
  explicit_bzero(&schedule, sizeof schedule);
}

void encryptText(const char* plainText, const std::uint8_t* key, std::uint8_t* output,
                 std::size_t outputSize) {
  const std::size_t length = std::strlen(plainText);
  if (length == 0) return;
  aes128Blocks(key, true, reinterpret_cast<const std::uint8_t*>(plainText), length, output,
               outputSize);
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a Base64 character, or -1 for a character outside the alphabet.
int base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Number of characters from the start of `text` that belong to the alphabet.
std::size_t base64Run(const char* text) {
  std::size_t n = 0;
  while (base64Value(static_cast<unsigned char>(text[n])) >= 0) ++n;
  return n;
}

}  // namespace

void my_aes_encrypt(const char* plainText, std::uint8_t* output, std::size_t outputSize) {
  if (plainText == nullptr || output == nullptr) return;
  std::memset(output, 0, outputSize);
  encryptText(plainText, kFixedKey, output, outputSize);
}

void my_aes_encrypt2(const char* plainText, const char* keyText, std::uint8_t* output,
                     std::size_t outputSize) {
  if (plainText == nullptr || keyText == nullptr || output == nullptr) return;
  std::memset(output, 0, outputSize);
  const std::size_t keyTextLength = std::strlen(keyText);
  if (keyTextLength < kAesBlockSize) return;
  const auto* key = reinterpret_cast<const std::uint8_t*>(keyText + keyTextLength - kAesBlockSize);
  encryptText(plainText, key, output, outputSize);
}

void my_aes_decrypt(const std::uint8_t* cipher, std::size_t length, std::uint8_t* output,
                    std::size_t outputSize) {
  if (cipher == nullptr || output == nullptr || outputSize == 0) return;
  output[0] = 0;
  aes128Blocks(kFixedKey, false, cipher, length, output, outputSize);
}

std::int32_t Base64encode_len(std::int32_t length) {
  const std::int64_t n = std::max<std::int32_t>(length, 0);
  return static_cast<std::int32_t>((n + 2) / 3 * 4 + 1);
}

std::int32_t Base64encode(char* output, const std::uint8_t* data, std::int32_t length) {
  if (length < 0) length = 0;
  if (output == nullptr || (data == nullptr && length > 0)) return 0;
  char* p = output;
  std::int32_t i = 0;
  for (; i + 2 < length; i += 3) {
    const unsigned group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    *p++ = kBase64Alphabet[(group >> 18) & 0x3F];
    *p++ = kBase64Alphabet[(group >> 12) & 0x3F];
    *p++ = kBase64Alphabet[(group >> 6) & 0x3F];
    *p++ = kBase64Alphabet[group & 0x3F];
  }
  if (length - i == 1) {
    *p++ = kBase64Alphabet[data[i] >> 2];
    *p++ = kBase64Alphabet[(data[i] & 0x03) << 4];
    *p++ = '=';
    *p++ = '=';
  } else if (length - i == 2) {
    *p++ = kBase64Alphabet[data[i] >> 2];
    *p++ = kBase64Alphabet[((data[i] & 0x03) << 4) | (data[i + 1] >> 4)];
    *p++ = kBase64Alphabet[(data[i + 1] & 0x0F) << 2];
    *p++ = '=';
  }
  *p++ = '\0';
  return static_cast<std::int32_t>(p - output);
}

std::int32_t Base64decode_len(const char* text) {
  const std::int64_t n = text == nullptr ? 0 : static_cast<std::int64_t>(base64Run(text));
  return static_cast<std::int32_t>((n + 3) / 4 * 3 + 1);
}

std::int32_t Base64decode(std::uint8_t* output, const char* text, std::size_t outputSize) {
  if (output == nullptr || text == nullptr || outputSize == 0) return 0;
  const std::size_t n = base64Run(text);
  const std::size_t room = outputSize - 1;
  std::size_t written = 0;
  const auto put = [&](unsigned value) {
    if (written < room) output[written++] = static_cast<std::uint8_t>(value & 0xFF);
  };
  const auto value = [text](std::size_t i) {
    return static_cast<unsigned>(base64Value(static_cast<unsigned char>(text[i])));
  };
  std::size_t i = 0;
  for (; i + 3 < n && written < room; i += 4) {
    const unsigned group =
        (value(i) << 18) | (value(i + 1) << 12) | (value(i + 2) << 6) | value(i + 3);
    put(group >> 16);
    put(group >> 8);
    put(group);
  }
  if (i + 3 >= n && n - i >= 2) {
    put((value(i) << 2) | (value(i + 1) >> 4));
    if (n - i == 3) put((value(i + 1) << 4) | (value(i + 2) >> 2));
  }
  output[written] = 0;
  return static_cast<std::int32_t>(written);
}

void calcMD5(char* output, const char* text) {
  if (output == nullptr || text == nullptr) return;
  md5_ctx context;
  md5_init(&context);
  md5_update(&context, std::strlen(text), reinterpret_cast<const std::uint8_t*>(text));
  std::uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&context, sizeof digest, digest);
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < sizeof digest; ++i) {
    *output++ = kDigits[digest[i] >> 4];
    *output++ = kDigits[digest[i] & 0x0F];
  }
  *output = '\0';
}
