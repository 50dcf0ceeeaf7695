// SPDX-License-Identifier: Apache-2.0
#include "ticket/keys.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ticket/credentials.h"
#include "ticket/value_helpers.h"

namespace jobwick::ticket {

namespace {

using enum ValueForm;

// clang-format off
constexpr KeyInfo kCatalogue[] = {
    // key                       form          chunked vk7300Only readBack
    {keys::kSpoolTime,          kHex,         false,  false,     false},
    {keys::kFiling,             kDigit,       false,  false,     true},
    {keys::kFolderPath,         kHex,         false,  false,     true},
    {keys::kFolderPath2,        kHex,         false,  false,     false},
    {keys::kFolderPath3,        kHex,         true,   true,      false},
    {keys::kJobSuspend,         kDigit,       false,  false,     true},
    {keys::kJobSuspendKey,      kMd5Hex,      false,  false,     false},
    {keys::kJobSuspend2Key,     kAesFHex32,   false,  false,     true},
    {keys::kAuthentication,     kDigit,       false,  false,     true},
    {keys::kLoginName1,         kAesFBase64,  true,   false,     true},
    {keys::kLoginName0,         kAesSBase64,  true,   false,     false},
    {keys::kLoginName2,         kAesSBase64,  true,   true,      false},
    {keys::kPassword,           kAesSBase64,  false,  false,     false},
    {keys::kPassword2,          kAesFHex64,   false,  false,     true},
    {keys::kPassword3,          kAesSBase64,  true,   true,      false},
    {keys::kUserNumber,         kPad5,        false,  false,     false},
    {keys::kUserNumber2,        kAesFHex32,   false,  false,     true},
    {keys::kAccountNumber,      kPad5,        false,  false,     false},
    {keys::kAccountNumber2,     kAesFHex32,   false,  false,     true},
    {keys::kUserName,           kHex,         false,  false,     true},
    {keys::kUserName2,          kHex,         false,  false,     false},
    {keys::kUserName3,          kHex,         true,   true,      false},
    {keys::kJobName,            kHex,         false,  false,     true},
    {keys::kJobName2,           kHex,         false,  false,     false},
    {keys::kJobName3,           kHex,         true,   true,      false},
    {keys::kFolderPassword,     kMd5Hex,      false,  false,     false},
    {keys::kFolderPassword2,    kAesFHex32,   false,  false,     true},
    {keys::kHoldButton,         kDecimal,     false,  false,     true},
};
// clang-format on

// The fixed-key cipher of a text (up to a zero byte in it), at least
// `minimumSize` bytes long with zeros after the cipher.
std::vector<std::uint8_t> aesFCipher(std::string_view text, std::size_t minimumSize,
                                     std::size_t* cipherLength) {
  const std::string plain(text);
  const std::size_t length = aesCipherLength(std::strlen(plain.c_str()));
  std::vector<std::uint8_t> cipher(std::max(length, minimumSize));
  my_aes_encrypt(plain.c_str(), cipher.data(), cipher.size());
  if (cipherLength != nullptr) *cipherLength = length;
  return cipher;
}

std::string base64Of(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return {};
  std::string text(static_cast<std::size_t>(Base64encode_len(static_cast<std::int32_t>(length))),
                   '\0');
  const std::int32_t written = Base64encode(text.data(), data, static_cast<std::int32_t>(length));
  text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
  return text;
}

std::string textBeforeZero(const std::uint8_t* bytes, std::size_t size) {
  const auto* begin = reinterpret_cast<const char*>(bytes);
  return std::string(begin, std::find(begin, begin + size, '\0'));
}

}  // namespace

std::string pieceKey(std::string_view baseKey, int piece) {
  std::string key(baseKey);
  key += std::to_string(piece);
  return key;
}

std::span<const KeyInfo> keyCatalogue() {
  return kCatalogue;
}

const KeyInfo* findKey(std::string_view key) {
  for (const KeyInfo& info : kCatalogue) {
    if (key == info.key) return &info;
  }
  return nullptr;
}

std::string pad5(std::string_view text) {
  std::string padded(text.size() < 5 ? 5 - text.size() : 0, '0');
  padded += text;
  return padded;
}

std::string hexOfBytes(std::string_view bytes) {
  std::string hex(2 * bytes.size() + 1, '\0');
  myitoa(reinterpret_cast<const std::uint8_t*>(bytes.data()), hex.data(),
         static_cast<std::uint32_t>(bytes.size()));
  hex.resize(2 * bytes.size());
  return hex;
}

std::string bytesOfHex(std::string_view hex) {
  const std::size_t count = (hex.size() + 1) / 2;
  std::vector<std::uint8_t> bytes(count + 1);
  myatoi(hex.data(), bytes.data(), static_cast<std::uint32_t>(hex.size()), bytes.size());
  return std::string(reinterpret_cast<const char*>(bytes.data()), count);
}

std::string md5hex(std::string_view text) {
  const std::string plain(text);
  char digest[33] = {};
  calcMD5(digest, plain.c_str());
  return digest;
}

std::string aesFHex32(std::string_view text) {
  const auto cipher = aesFCipher(text, 16, nullptr);
  return hexOfBytes(std::string_view(reinterpret_cast<const char*>(cipher.data()), 16));
}

std::string aesFHex64(std::string_view text) {
  const auto cipher = aesFCipher(text, 32, nullptr);
  return hexOfBytes(std::string_view(reinterpret_cast<const char*>(cipher.data()), 32));
}

std::string aesFBase64(std::string_view text) {
  std::size_t length = 0;
  const auto cipher = aesFCipher(text, 0, &length);
  return base64Of(cipher.data(), length);
}

std::string aesSBase64(std::string_view text, std::string_view spoolTimeText) {
  const std::string plain(text);
  const std::string keyText(spoolTimeText);
  const std::size_t length = aesCipherLength(std::strlen(plain.c_str()));
  std::vector<std::uint8_t> cipher(length);
  my_aes_encrypt2(plain.c_str(), keyText.c_str(), cipher.data(), cipher.size());
  if (std::strlen(keyText.c_str()) < kAesBlockSize) return {};
  return base64Of(cipher.data(), length);
}

std::string textOfAesFHex(std::string_view hex, std::size_t byteCount) {
  if (hex.empty() || byteCount == 0) return {};
  const std::size_t characters = std::min(hex.size(), 2 * byteCount);
  std::vector<std::uint8_t> cipher(byteCount + 1);
  myatoi(hex.data(), cipher.data(), static_cast<std::uint32_t>(characters), cipher.size());
  std::vector<std::uint8_t> plain(aesCipherLength(byteCount) + 1);
  my_aes_decrypt(cipher.data(), byteCount, plain.data(), plain.size());
  return textBeforeZero(plain.data(), plain.size());
}

std::string textOfAesFBase64(std::string_view base64) {
  const std::string text(base64);
  std::vector<std::uint8_t> cipher(static_cast<std::size_t>(Base64decode_len(text.c_str())));
  const std::int32_t length = Base64decode(cipher.data(), text.c_str(), cipher.size());
  if (length <= 0) return {};
  std::vector<std::uint8_t> plain(aesCipherLength(static_cast<std::size_t>(length)) + 1);
  my_aes_decrypt(cipher.data(), static_cast<std::size_t>(length), plain.data(), plain.size());
  return textBeforeZero(plain.data(), plain.size());
}

}  // namespace jobwick::ticket
