// SPDX-License-Identifier: Apache-2.0
#include "ticket/credentials.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "platform/c_handles.h"

namespace {

// The program's fixed key; the same in every build, and the driver's filter
// and stored preferences depend on it.
constexpr std::uint8_t kFixedKey[16] = {0x5e, 0x3a, 0x91, 0xc0, 0x7d, 0x24, 0xb6, 0xf8,
                                        0xa1, 0xe0, 0xc9, 0x4d, 0x3b, 0x7f, 0x2a, 0x61};

using platform::CipherContext;

// Runs AES-128 over `length` bytes of `input` as independent blocks (ECB
// without padding), the last partial block completed with zeros in a local
// copy. Writes the whole blocks that fit in `capacity` bytes of `output`.
// Answers false when the cipher library fails.
bool aes128Blocks(const std::uint8_t* key, bool encrypt, const std::uint8_t* input,
                  std::size_t length, std::uint8_t* output, std::size_t capacity) {
  const std::size_t blocks =
      std::min(aesCipherLength(length), capacity / kAesBlockSize * kAesBlockSize) / kAesBlockSize;
  if (blocks == 0) return true;
  if (blocks > static_cast<std::size_t>(INT_MAX) / kAesBlockSize) return false;

  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context) return false;
  if (EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, key, nullptr, encrypt ? 1 : 0) !=
          1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
    return false;
  }

  const std::size_t wholeBlocks = std::min(length / kAesBlockSize, blocks);
  const int wholeBytes = static_cast<int>(wholeBlocks * kAesBlockSize);
  int written = 0;
  if (wholeBytes > 0 &&
      (EVP_CipherUpdate(context.get(), output, &written, input, wholeBytes) != 1 ||
       written != wholeBytes)) {
    return false;
  }
  if (blocks > wholeBlocks) {
    std::uint8_t last[kAesBlockSize] = {};
    std::memcpy(last, input + wholeBytes, length - static_cast<std::size_t>(wholeBytes));
    const int status = EVP_CipherUpdate(context.get(), output + wholeBytes, &written, last,
                                        static_cast<int>(kAesBlockSize));
    OPENSSL_cleanse(last, sizeof last);
    if (status != 1 || written != static_cast<int>(kAesBlockSize)) return false;
  }
  return true;
}

void encryptText(const char* plainText, const std::uint8_t* key, std::uint8_t* output,
                 std::size_t outputSize) {
  const std::size_t length = std::strlen(plainText);
  if (length == 0) return;
  if (!aes128Blocks(key, true, reinterpret_cast<const std::uint8_t*>(plainText), length, output,
                    outputSize)) {
    std::memset(output, 0, outputSize);
  }
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
  if (!aes128Blocks(kFixedKey, false, cipher, length, output, outputSize)) {
    std::memset(output, 0,
                std::min(aesCipherLength(length), outputSize / kAesBlockSize * kAesBlockSize));
  }
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
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (EVP_Digest(text, std::strlen(text), digest, &digestLength, EVP_md5(), nullptr) != 1 ||
      digestLength != 16) {
    output[0] = '\0';
    return;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  for (unsigned int i = 0; i < digestLength; ++i) {
    *output++ = kDigits[digest[i] >> 4];
    *output++ = kDigits[digest[i] & 0x0F];
  }
  *output = '\0';
}
