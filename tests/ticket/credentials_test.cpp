// SPDX-License-Identifier: Apache-2.0
// Ciphers, Base64 and MD5 against answers computed with other tools.
#include "ticket/credentials.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string hex(const std::uint8_t* data, std::size_t length) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 0x0F];
  }
  return out;
}

std::vector<std::uint8_t> unhex(const std::string& text) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

bool allZero(const std::uint8_t* data, std::size_t length) {
  return std::all_of(data, data + length, [](std::uint8_t b) { return b == 0; });
}

// The text, zero-filled to a whole number of blocks, enciphered with
//   openssl enc -aes-128-ecb -nopad -K 5e3a91c07d24b6f8a1e0c94d3b7f2a61 | xxd -p
struct KnownCipher {
  const char* plain;
  const char* cipher;
};
const KnownCipher kFixedKeyCiphers[] = {
    {"1", "3EB699E16152D6C9A0031CBDB4DFD5B5"},
    {"12345", "44B2FFA78104B2B0B0C81DFEA72DA8B2"},
    {"hunter2", "B006B9149048C768EAB7EC89F0FCA164"},
    {"0123456789ABCDEF", "E8FFCD79D4FD0BC9DBDF95D0D3E78A25"},
    {"0123456789ABCDEFG",  // 17 bytes: the second block is "G" and 15 zeros
     "E8FFCD79D4FD0BC9DBDF95D0D3E78A25F51851B0AFB52B29BD55526A5AE7BEDC"},
    {"passwordpassword1234", "B26390549FAD09AB3B404F95E13A4A72E4418B9E63651AB6E7C3FCA966F4AA20"},
};

TEST(FixedKeyCipher, MatchesTheReferenceAndLeavesTheRestOfTheBufferZero) {
  for (const KnownCipher& k : kFixedKeyCiphers) {
    std::vector<std::uint8_t> out(1550, 0xAA);
    my_aes_encrypt(k.plain, out.data(), out.size());
    const std::size_t length = aesCipherLength(std::strlen(k.plain));
    EXPECT_EQ(hex(out.data(), length), k.cipher) << k.plain;
    EXPECT_TRUE(allZero(out.data() + length, out.size() - length)) << k.plain;
  }
}

TEST(FixedKeyCipher, EmptyTextLeavesTheWholeBufferZero) {
  std::vector<std::uint8_t> out(511, 0xAA);
  my_aes_encrypt("", out.data(), out.size());
  EXPECT_TRUE(allZero(out.data(), out.size()));
}

// Exact-size heap blocks: AddressSanitizer catches a read past the text or
// a write past the output.
TEST(FixedKeyCipher, ReadsOnlyTheTextAndWritesOnlyWholeBlocksThatFit) {
  const std::string plain = "0123456789ABCDEFG";
  auto text = std::make_unique<char[]>(plain.size() + 1);
  std::memcpy(text.get(), plain.c_str(), plain.size() + 1);
  auto out = std::make_unique<std::uint8_t[]>(20);
  my_aes_encrypt(text.get(), out.get(), 20);
  EXPECT_EQ(hex(out.get(), 16), "E8FFCD79D4FD0BC9DBDF95D0D3E78A25");
  EXPECT_TRUE(allZero(out.get() + 16, 4));
}

// Spool-time key "6 09:05:07 +0900", the last 16 characters of the key text:
//   openssl enc -aes-128-ecb -nopad -K 362030393a30353a3037202b30393030
TEST(SpoolTimeKeyCipher, UsesOnlyTheLastSixteenCharactersOfTheKeyText) {
  for (const char* keyText :
       {"Tue, 8 Dec 2026 09:05:07 +0900", "Sun, 27 Sep 2026 09:05:07 +0900", "6 09:05:07 +0900"}) {
    std::vector<std::uint8_t> out(511, 0xAA);
    my_aes_encrypt2("hunter2", keyText, out.data(), out.size());
    EXPECT_EQ(hex(out.data(), 16), "8A637EDFBF6FEE8D4D3B63604E484590") << keyText;
    EXPECT_TRUE(allZero(out.data() + 16, out.size() - 16));
  }
}

TEST(SpoolTimeKeyCipher, ShortKeyTextGivesNoCipher) {
  std::vector<std::uint8_t> out(64, 0xAA);
  my_aes_encrypt2("hunter2", "09:05:07 +0900", out.data(), out.size());
  EXPECT_TRUE(allZero(out.data(), out.size()));
}

TEST(Decipher, RoundTripOfEveryShortLength) {
  const std::string source = "The quick brown fox jumps over the lazy dog 0123456789";
  for (std::size_t n = 1; n <= 48; ++n) {
    const std::string plain = source.substr(0, n);
    std::vector<std::uint8_t> cipher(64, 0);
    my_aes_encrypt(plain.c_str(), cipher.data(), cipher.size());
    std::vector<std::uint8_t> out(aesCipherLength(n) + 1, 0);
    my_aes_decrypt(cipher.data(), aesCipherLength(n), out.data(), out.size());
    EXPECT_EQ(reinterpret_cast<const char*>(out.data()), plain) << n;
  }
}

TEST(Decipher, NeverWritesPastTheRoundedLengthOrTheBuffer) {
  const auto cipher = unhex(kFixedKeyCiphers[4].cipher);  // two blocks
  {
    // A length of 17 reads 17 cipher bytes and writes exactly two blocks.
    auto in = std::make_unique<std::uint8_t[]>(17);
    std::memcpy(in.get(), cipher.data(), 17);
    std::vector<std::uint8_t> out(40, 0xEE);
    my_aes_decrypt(in.get(), 17, out.data(), out.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), 16), "0123456789ABCDEF");
    EXPECT_TRUE(std::all_of(out.begin() + 32, out.end(), [](std::uint8_t b) { return b == 0xEE; }));
  }
  {
    // A buffer of 24 bytes takes the first block only.
    auto out = std::make_unique<std::uint8_t[]>(24);
    std::memset(out.get(), 0xEE, 24);
    my_aes_decrypt(cipher.data(), cipher.size(), out.get(), 24);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.get()), 16), "0123456789ABCDEF");
    EXPECT_TRUE(
        std::all_of(out.get() + 16, out.get() + 24, [](std::uint8_t b) { return b == 0xEE; }));
  }
  {
    std::uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    my_aes_decrypt(cipher.data(), 0, out, sizeof out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0xEE);
  }
}

// Expected texts from `printf ... | base64`.
struct KnownBase64 {
  std::string data;
  const char* text;
};
const KnownBase64 kBase64[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
    {std::string("\x00\x9F\xA0\xFF\xFE", 5), "AJ+g//4="},
    {std::string(16, '\0'), "AAAAAAAAAAAAAAAAAAAAAA=="},
    {std::string(32, '\0'), "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="},
};

TEST(Base64, EncodesLikeTheReferenceAndCountsTheTerminator) {
  for (const KnownBase64& k : kBase64) {
    const auto length = static_cast<std::int32_t>(k.data.size());
    const std::int32_t size = Base64encode_len(length);
    std::vector<char> out(static_cast<std::size_t>(size), '#');
    const std::int32_t written =
        Base64encode(out.data(), reinterpret_cast<const std::uint8_t*>(k.data.data()), length);
    EXPECT_STREQ(out.data(), k.text);
    EXPECT_EQ(written, static_cast<std::int32_t>(std::strlen(k.text)) + 1) << k.text;
    EXPECT_EQ(written, size) << k.text;
  }
  EXPECT_EQ(Base64encode_len(16), 25);
  EXPECT_EQ(Base64encode_len(32), 45);
  EXPECT_EQ(Base64encode_len(-7), 1);
}

TEST(Base64, DecodesTheReferenceTextsBack) {
  for (const KnownBase64& k : kBase64) {
    const std::int32_t size = Base64decode_len(k.text);
    ASSERT_GE(size, static_cast<std::int32_t>(k.data.size()) + 1);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size), 0xEE);
    const std::int32_t n = Base64decode(out.data(), k.text, out.size());
    ASSERT_EQ(n, static_cast<std::int32_t>(k.data.size())) << k.text;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), n), k.data) << k.text;
    EXPECT_EQ(out[n], 0) << k.text;
  }
  EXPECT_EQ(Base64decode_len("AAAAAAAAAAAAAAAAAAAAAA=="), 19);
}

TEST(Base64, DecodingStopsAtTheFirstForeignCharacter) {
  struct Case {
    const char* text;
    const char* data;
    std::int32_t lengthNeeded;
  };
  const Case cases[] = {
      {"=Zm9v", "", 1},                                 // starts with the fill character
      {"Zm9v\nYmFy", "foo", 4},                         // a line break ends the text
      {"Zm9v YmFy", "foo", 4},    {"Zm9vY", "foo", 7},  // a final single character gives nothing
      {"Zm9vYmFy-", "foobar", 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Base64decode_len(c.text), c.lengthNeeded) << c.text;
    std::vector<std::uint8_t> out(16, 0xEE);
    const std::int32_t n = Base64decode(out.data(), c.text, out.size());
    EXPECT_EQ(n, static_cast<std::int32_t>(std::strlen(c.data))) << c.text;
    EXPECT_STREQ(reinterpret_cast<const char*>(out.data()), c.data) << c.text;
  }
}

TEST(Base64, DecodingKeepsWithinTheOutputBuffer) {
  auto out = std::make_unique<std::uint8_t[]>(4);
  EXPECT_EQ(Base64decode(out.get(), "Zm9vYmFy", 4), 3);
  EXPECT_STREQ(reinterpret_cast<const char*>(out.get()), "foo");
  EXPECT_EQ(Base64decode(out.get(), "Zm9vYmFy", 0), 0);
  EXPECT_EQ(Base64decode(nullptr, "Zm9v", 4), 0);
}

// Expected digests from `printf '%s' TEXT | md5sum`.
TEST(MD5, DigestsLikeTheReferenceInLowerCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"00123Tue, 8 Dec 2026 09:05:07 +0900", "8d74e982b6ff3b922204ec71925dfd5e"},
      {"Tue, 8 Dec 2026 09:05:07 +090000042", "fb2d412a903f8ddc907151adddfd7d55"},
  };
  for (const auto& [text, digest] : cases) {
    char out[34];
    std::memset(out, '#', sizeof out);
    calcMD5(out, text);
    EXPECT_STREQ(out, digest);
    EXPECT_EQ(out[33], '#');
  }
  calcMD5(nullptr, "abc");  // nothing to write to: no effect
}

}  // namespace
