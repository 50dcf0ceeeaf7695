// SPDX-License-Identifier: Apache-2.0
// The key catalogue and the value notations of the job ticket.
#include "ticket/keys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace jobwick::ticket {
namespace {

std::set<std::string> namesWhere(bool (*pick)(const KeyInfo&)) {
  std::set<std::string> names;
  for (const KeyInfo& info : keyCatalogue()) {
    if (pick(info)) names.insert(std::string(info.key).substr(kKeyPrefix.size()));
  }
  return names;
}

TEST(KeyCatalogue, EveryKeyIsPrefixedAndUnique) {
  std::set<std::string> seen;
  for (const KeyInfo& info : keyCatalogue()) {
    EXPECT_TRUE(std::string_view(info.key).starts_with(kKeyPrefix)) << info.key;
    EXPECT_TRUE(seen.insert(info.key).second) << info.key;
    EXPECT_EQ(findKey(info.key), &info);
  }
  EXPECT_EQ(seen.size(), 28u);
  EXPECT_EQ(findKey("jp.co.quivo.print.PrintSettings.loginName11"), nullptr);
  EXPECT_EQ(std::string(keys::kAuthentication), "jp.co.quivo.print.PrintSettings.Authentication");
}

TEST(KeyCatalogue, ChunkedBuildOnlyAndReadBackSets) {
  using Names = std::set<std::string>;
  EXPECT_EQ(namesWhere([](const KeyInfo& i) { return i.chunked; }),
            (Names{"folderPath3", "loginName1", "loginName0", "loginName2", "password3",
                   "userName3", "jobName3"}));
  EXPECT_EQ(namesWhere([](const KeyInfo& i) { return i.vk7300Only; }),
            (Names{"folderPath3", "loginName2", "password3", "userName3", "jobName3"}));
  EXPECT_EQ(namesWhere([](const KeyInfo& i) { return i.readBack; }),
            (Names{"filing", "folderPath", "jobSuspend", "jobSuspend2Key", "Authentication",
                   "loginName1", "password2", "userNumber2", "accountNumber2", "userName",
                   "jobName", "folderPassword2", "holdButton"}));
  EXPECT_EQ(pieceKey(keys::kLoginName1, 2), "jp.co.quivo.print.PrintSettings.loginName12");
}

TEST(HoldButtonMask, BitsAddUpToTheFullMask) {
  const std::uint32_t bits[] = {kHoldPassCode,   kHoldLoginName,     kHoldPassword,
                                kHoldUserName,   kHoldJobName,       kHoldFolderPassword,
                                kHoldUserNumber, kHoldAccountNumber, kHoldFolderName};
  std::uint32_t mask = 0;
  for (std::size_t i = 0; i < std::size(bits); ++i) {
    EXPECT_EQ(bits[i], 1u << i);
    mask |= bits[i];
  }
  EXPECT_EQ(mask, static_cast<std::uint32_t>(kHoldAll));
  EXPECT_EQ(mask, 511u);
}

TEST(ValueNotation, Pad5FillsUpToFiveCharacters) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "00000"},     {"1", "00001"},     {"12", "00012"},      {"123", "00123"},
      {"1234", "01234"}, {"12345", "12345"}, {"123456", "123456"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(pad5(in), out) << in;
}

TEST(ValueNotation, HexOfBytesAndBack) {
  const std::string raw("\x00\x9F\xA0\xFF*standard", 13);
  EXPECT_EQ(hexOfBytes(raw), "009FA0FF2A7374616E64617264");
  EXPECT_EQ(bytesOfHex(hexOfBytes(raw)), raw);
  EXPECT_EQ(bytesOfHex("ABC"), "\xAB\xC0");
}

// Reference values from openssl enc -aes-128-ecb -nopad -K 5e3a91c07d24b6f8a1e0c94d3b7f2a61.
TEST(ValueNotation, CipherFormsMatchTheReference) {
  EXPECT_EQ(aesFHex32("12345"), "44B2FFA78104B2B0B0C81DFEA72DA8B2");
  EXPECT_EQ(aesFHex64("hunter2"), "B006B9149048C768EAB7EC89F0FCA164" + std::string(32, '0'));
  EXPECT_EQ(aesFHex64("passwordpassword1234"),
            "B26390549FAD09AB3B404F95E13A4A72E4418B9E63651AB6E7C3FCA966F4AA20");
  // openssl enc ... | base64, for "taro.yamada" and the spool-time key of
  // "Tue, 8 Dec 2026 09:05:07 +0900".
  EXPECT_EQ(aesFBase64("taro.yamada"), "hi+5y0I9LGSS2ACmJHEOEw==");
  EXPECT_EQ(aesSBase64("hunter2", "Tue, 8 Dec 2026 09:05:07 +0900"), "imN+379v7o1NO2NgTkhFkA==");
  EXPECT_EQ(aesSBase64("hunter2", "too short"), "");
  EXPECT_EQ(aesFBase64(""), "");
  // printf '%s' '00123Tue, 8 Dec 2026 09:05:07 +0900' | md5sum
  EXPECT_EQ(md5hex(pad5("123") + "Tue, 8 Dec 2026 09:05:07 +0900"),
            "8d74e982b6ff3b922204ec71925dfd5e");
}

TEST(ValueNotation, LoginNamesPastOneHundredSeventySixBytesNeedTwoPieces) {
  EXPECT_LE(aesFBase64(std::string(176, 'n')).size(), kPieceLength);
  EXPECT_GT(aesFBase64(std::string(177, 'n')).size(), kPieceLength);
}

TEST(ValueNotation, FixedKeyFormsReadBack) {
  EXPECT_EQ(textOfAesFHex(aesFHex32("12345"), 16), "12345");
  EXPECT_EQ(textOfAesFHex(aesFHex64("passwordpassword1234"), 32), "passwordpassword1234");
  EXPECT_EQ(textOfAesFHex("", 16), "");
  const std::string longName(300, 'n');
  EXPECT_EQ(textOfAesFBase64(aesFBase64(longName)), longName);
  EXPECT_EQ(textOfAesFBase64("hi+5y0I9LGSS2ACmJHEOEw=="), "taro.yamada");
  EXPECT_EQ(textOfAesFBase64("=bad"), "");
}

}  // namespace
}  // namespace jobwick::ticket
