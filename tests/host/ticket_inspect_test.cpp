// SPDX-License-Identifier: Apache-2.0
// The ticket reader's own primitives and its report on hand-made tickets:
// AES against the published test vector, strict hex and Base64, the digest
// checks, pieces and left-over pieces, and the Mac Japanese fallback.
#include "host/inspect/ticket_inspect.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace jobwick::host;
using ::testing::HasSubstr;

constexpr const char kTicketPrefix[] = "jp.co.quivo.print.PrintSettings.";
const std::string kSpool = "Tue, 8 Dec 2026 09:05:07 +0900";

std::string hexOf(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

std::string base64Of(const std::string& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 |
                 (unsigned char)bytes[i + 2];
    for (int s = 18; s >= 0; s -= 6) out += alphabet[(v >> s) & 63];
  }
  if (i + 1 == bytes.size()) {
    unsigned v = (unsigned char)bytes[i] << 16;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8;
    for (int s = 18; s >= 6; s -= 6) out += alphabet[(v >> s) & 63];
    out += "=";
  }
  return out;
}

void put(platform::PrintSettings& settings, const std::string& name, const std::string& value) {
  settings.setValue(std::string(kTicketPrefix) + name, value);
}

const TicketField* field(const TicketReport& report, const std::string& name) {
  for (const auto& f : report.fields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

const TicketCheck* check(const TicketReport& report, const std::string& name) {
  for (const auto& c : report.checks) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

TEST(TicketPrimitives, AesMatchesThePublishedVectorAndTheFixedKey) {
  // FIPS-197 appendix C.1.
  const std::string key = *bytesFromHex("000102030405060708090a0b0c0d0e0f");
  const std::string plain = *bytesFromHex("00112233445566778899aabbccddeeff");
  EXPECT_EQ(hexOf(aesEncryptBlocks(plain, key)), "69C4E0D86A7B0430D8CDB78070B4C55A");
  EXPECT_EQ(aesDecryptBlocks(aesEncryptBlocks(plain, key), key), plain);
  EXPECT_EQ(hexOf(fixedKey()), "5E3A91C07D24B6F8A1E0C94D3B7F2A61");
  // A 17-byte text takes two blocks; the second holds the 17th byte and zeros.
  EXPECT_EQ(aesEncryptBlocks(std::string(17, 'a'), key).size(), 32u);
  EXPECT_FALSE(aesDecryptBlocks("short", key));
}

TEST(TicketPrimitives, HexAndBase64AreStrict) {
  EXPECT_EQ(bytesFromHex("009fA0ff"), std::string("\x00\x9f\xa0\xff", 4));
  EXPECT_EQ(bytesFromHex(""), "");
  EXPECT_FALSE(bytesFromHex("ABC"));
  EXPECT_FALSE(bytesFromHex("0G"));
  EXPECT_EQ(bytesFromBase64("TWFu"), "Man");
  EXPECT_EQ(bytesFromBase64("TWE="), "Ma");
  EXPECT_EQ(bytesFromBase64("TQ=="), "M");
  EXPECT_FALSE(bytesFromBase64("TW!u"));
  EXPECT_FALSE(bytesFromBase64("T"));
  EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(padFive("42"), "00042");
  EXPECT_EQ(padFive("123456"), "123456");
}

TEST(TicketPrimitives, SecretsOpenOnlyWithTheirKey) {
  const std::string cipher = aesEncryptBlocks("1234", fixedKey());
  // The 64-digit form: one block of cipher and a block of zero digits.
  Secret wide = openHexSecret(hexOf(cipher) + std::string(32, '0'), 32);
  EXPECT_EQ(wide.bytes, "1234");
  EXPECT_EQ(wide.problem, "");
  EXPECT_EQ(openHexSecret(hexOf(cipher), 16).bytes, "1234");
  const std::string otherKey(16, 'k');
  EXPECT_THAT(openCipher(cipher, otherKey).problem, HasSubstr("wrong key or damaged"));
  EXPECT_THAT(openBase64Secret("not base64!", fixedKey()).problem, HasSubstr("not Base64"));
  EXPECT_THAT(openCipher(std::string(15, 'x'), fixedKey()).problem,
              HasSubstr("not a multiple of 16"));
}

/// A ticket as the vk7300 build writes it, made with the reader's own
/// primitives from the key list.
platform::PrintSettings sampleTicket() {
  platform::PrintSettings settings;
  const std::string spoolKey = kSpool.substr(kSpool.size() - 16);
  put(settings, "spoolTime", hexOf(kSpool));
  put(settings, "jobSuspend", "1");
  put(settings, "jobSuspend2Key", hexOf(aesEncryptBlocks("42", fixedKey())));
  put(settings, "jobSuspendKey", md5Hex("00042" + kSpool));
  put(settings, "filing", "3");
  put(settings, "folderPath", hexOf("Board"));
  put(settings, "folderPassword2", hexOf(aesEncryptBlocks("1357", fixedKey())));
  put(settings, "folderPassword", md5Hex(kSpool + "01357"));
  // A login name whose Base64 cipher needs two pieces of 254 characters.
  const std::string login(200, 'l');
  const std::string login1 = base64Of(aesEncryptBlocks(login, fixedKey()));
  put(settings, "loginName11", login1.substr(0, 254));
  put(settings, "loginName12", login1.substr(254));
  put(settings, "loginName14", "left over");
  put(settings, "password", base64Of(aesEncryptBlocks("pw", spoolKey)));
  put(settings, "password2", hexOf(aesEncryptBlocks("pw", fixedKey())) + std::string(32, '0'));
  put(settings, "userNumber", "00042");
  put(settings, "userNumber2", hexOf(aesEncryptBlocks("42", fixedKey())));
  put(settings, "holdButton", "258");
  settings.setValue("com.example.copies", "2");
  return settings;
}

TEST(TicketReport, ExplainsEveryEntryOfASoundTicket) {
  const TicketReport report = inspectTicket(sampleTicket(), platform::kCFStringEncodingMacRoman);
  EXPECT_EQ(report.problems(), std::vector<std::string>{});
  EXPECT_EQ(report.spoolTimeText, kSpool);
  EXPECT_EQ(field(report, "jobSuspend")->meaning, "1: hold after print");
  EXPECT_EQ(field(report, "jobSuspend2Key")->text, "42");
  EXPECT_EQ(field(report, "folderPath")->text, "Board");
  const TicketField* login = field(report, "loginName1");
  ASSERT_TRUE(login);
  EXPECT_EQ(login->text, std::string(200, 'l'));
  EXPECT_EQ(login->storedKeys.size(), 2u);
  EXPECT_EQ(field(report, "password")->text, "pw");
  EXPECT_EQ(field(report, "password2")->text, "pw");
  EXPECT_EQ(field(report, "holdButton")->meaning, "258: login name, folder name locked");
  for (const char* name : {"jobSuspendKey", "folderPassword", "userNumber", "password"}) {
    ASSERT_TRUE(check(report, name)) << name;
    EXPECT_EQ(check(report, name)->status, "match") << name;
  }
  ASSERT_EQ(report.unknownKeys.size(), 1u);
  EXPECT_EQ(report.unknownKeys[0].first, "loginName14");
  EXPECT_THAT(report.unknownKeys[0].second, HasSubstr("after a missing piece"));
  ASSERT_EQ(report.otherSettings.size(), 1u);
  EXPECT_THAT(formatTicketReport(report), HasSubstr("No problems found."));
}

TEST(TicketReport, FindsTamperedValues) {
  struct Case {
    const char* key;
    std::string value;
    const char* problem;
  };
  const Case cases[] = {
      {"jobSuspendKey", md5Hex("00043" + kSpool), "jobSuspendKey: md5(pad5(code) + spool time)"},
      {"folderPassword", md5Hex("01357" + kSpool), "folderPassword: md5(spool time + pad5(code))"},
      {"userNumber", "00043", "userNumber: \"00043\" differs"},
      {"filing", "7", "filing: not one of the digits"},
      {"folderPath", "4G", "folderPath: not hexadecimal text"},
      {"jobSuspend2Key", "ABCD", "jobSuspend2Key: expected 32 hex digits"},
      {"holdButton", "1024", "holdButton: not a mask"},
      {"jobSuspendKey", "XYZ", "jobSuspendKey: not an MD5 digest"},
      // Another spool time: the spool-key cipher and both digests fail.
      {"spoolTime", hexOf("Wed, 9 Dec 2026 10:00:00 +0900"), "password: does not decipher"},
  };
  for (const Case& c : cases) {
    platform::PrintSettings settings = sampleTicket();
    put(settings, c.key, c.value);
    const auto problems = inspectTicket(settings, platform::kCFStringEncodingMacRoman).problems();
    EXPECT_THAT(problems, ::testing::Contains(HasSubstr(c.problem))) << c.key;
  }
}

// The spool time's form, checked on texts long enough that the regular
// expression this check used to be overflowed the stack.
TEST(TicketReport, SpoolTimeForm) {
  const std::string longDigits(200000, '9');
  const struct {
    std::string text;
    bool sound;
  } cases[] = {
      {"Tue, 8 Dec 2026 09:05:07 +0900", true},
      {"Sun, 31 Jan 12026 23:59:59 -12000", true},
      {"Tue, 8 Dec " + longDigits + " 09:05:07 +0900", true},
      {"Tue, 8 Dec 2026 09:05:07 +" + longDigits, true},
      {"Tue, 08 Dec 2026 09:05:07 +0900", false},
      {"Tue, 123 Dec 2026 09:05:07 +0900", false},
      {"Tue, 8 Dec 226 09:05:07 +0900", false},
      {"Tue, 8 Dec 2026 9:05:07 +0900", false},
      {"Tue, 8 Dec 2026 09:05:07 0900", false},
      {"Tue, 8 Dec 2026 09:05:07 +090", false},
      {"Tue, 8 Dec 2026 09:05:07 +0900 ", false},
      {"Tue, 8 Dec 2026 09:05:07 +" + longDigits + "x", false},
      {"Tux, 8 Dec 2026 09:05:07 +0900", false},
      {"Tue, 8 Dek 2026 09:05:07 +0900", false},
  };
  for (const auto& c : cases) {
    platform::PrintSettings settings;
    put(settings, "spoolTime", hexOf(c.text));
    const TicketReport report = inspectTicket(settings, platform::kCFStringEncodingMacRoman);
    ASSERT_TRUE(field(report, "spoolTime")) << c.text.substr(0, 40);
    EXPECT_EQ(field(report, "spoolTime")->problem.empty(), c.sound) << c.text.substr(0, 40);
  }
}

TEST(TicketReport, ReadsNamesInTheWritersEncodings) {
  platform::PrintSettings settings;
  // "山田" in Mac Japanese (Shift JIS bytes) and UTF-8: a Mac OS Roman writer
  // fell back to Mac Japanese for the first variant.
  put(settings, "userName", "8E529363");
  put(settings, "userName3" + std::string("1"), hexOf("山田"));
  put(settings, "jobName", hexOf("Caf\x8E"));   // é in Mac OS Roman
  put(settings, "jobName2", hexOf("Caf\xE9"));  // é in Windows Latin 1
  TicketReport roman = inspectTicket(settings, platform::kCFStringEncodingMacRoman);
  EXPECT_EQ(field(roman, "userName")->text, "山田");
  EXPECT_THAT(field(roman, "userName")->how, HasSubstr("fallback"));
  EXPECT_EQ(field(roman, "jobName")->text, "Café");
  EXPECT_EQ(field(roman, "jobName2")->text, "Café");
  // A Japanese writer used Mac Japanese for both of the first variants.
  TicketReport japanese = inspectTicket(settings, platform::kCFStringEncodingMacJapanese);
  EXPECT_EQ(field(japanese, "userName")->text, "山田");
  EXPECT_EQ(secondVariantEncoding(platform::kCFStringEncodingMacJapanese),
            platform::kCFStringEncodingMacJapanese);
}

TEST(TicketReport, NoTicketIsNoProblem) {
  platform::PrintSettings settings;
  settings.setValue("com.example.copies", "1");
  TicketReport report = inspectTicket(settings, platform::kCFStringEncodingMacRoman);
  EXPECT_TRUE(report.fields.empty());
  EXPECT_TRUE(report.problems().empty());
  EXPECT_THAT(formatTicketReport(report), HasSubstr("hold no job ticket"));
  EXPECT_EQ(ticketReportJson(report)["consistent"], true);
}

}  // namespace
