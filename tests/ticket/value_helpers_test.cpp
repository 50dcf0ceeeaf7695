// SPDX-License-Identifier: Apache-2.0
// Hex text, spool-time text, character clean-up and print-settings storage.
#include "ticket/value_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/print_settings.h"
#include "platform/system.h"

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// ---- myitoa / myatoi ----

TEST(HexText, MyitoaWritesUpperCaseHighDigitFirstAndTerminates) {
  struct Case {
    std::vector<std::uint8_t> in;
    const char* out;
  };
  const Case cases[] = {
      {bytes({0x00, 0x9F, 0xA0, 0xFF}), "009FA0FF"},
      {bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}), "0123456789ABCDEF"},
      {{}, ""},
  };
  for (const Case& c : cases) {
    const std::size_t n = c.in.size();
    std::vector<char> out(2 * n + 2, '#');  // one guard character after the terminator
    myitoa(c.in.data(), out.data(), static_cast<std::uint32_t>(n));
    EXPECT_STREQ(out.data(), c.out);
    EXPECT_EQ(out[2 * n + 1], '#') << c.out;
  }
}

TEST(HexText, MyatoiEvenCountsDecodeWithoutValidation) {
  struct Case {
    const char* in;
    std::vector<std::uint8_t> out;  // without the terminator
  };
  const Case cases[] = {
      {"009FA0FF", bytes({0x00, 0x9F, 0xA0, 0xFF})},
      {"", {}},
      {"a0", bytes({0xA0})},  // lower case decodes as the first character of a pair
      {"0a", bytes({0x2A})},  // ... but not as the second
      {"ff", bytes({0x1F})},
      {"7fFE", bytes({0x9F, 0xFE})},  // 0x70 + 0x66 + 0xC9
  };
  for (const Case& c : cases) {
    const std::size_t n = std::strlen(c.in);
    std::vector<std::uint8_t> out(n / 2 + 2, 0xEE);
    myatoi(c.in, out.data(), static_cast<std::uint32_t>(n), out.size());
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + n / 2), c.out) << c.in;
    EXPECT_EQ(out[n / 2], 0) << c.in;
    EXPECT_EQ(out[n / 2 + 1], 0xEE) << c.in;
  }
}

TEST(HexText, EveryByteSurvivesTheRoundTrip) {
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  std::vector<char> hex(513);
  myitoa(all.data(), hex.data(), 256);
  std::vector<std::uint8_t> back(257, 0xEE);
  myatoi(hex.data(), back.data(), 512, back.size());
  EXPECT_EQ(std::vector<std::uint8_t>(back.begin(), back.begin() + 256), all);
  EXPECT_EQ(back[256], 0);
}

// The text sits in a heap block of exactly `count` characters, without a
// terminator, so that a read past the count is caught by AddressSanitizer.
TEST(HexText, MyatoiOddCountReadsNothingBeyondAndPairsTheLastWithZero) {
  struct Case {
    std::string in;
    std::vector<std::uint8_t> out;
  };
  const Case cases[] = {
      {"7", bytes({0x70})},
      {"A", bytes({0xA0})},
      {"ABC", bytes({0xAB, 0xC0})},
      {"009FA0F", bytes({0x00, 0x9F, 0xA0, 0xF0})},
  };
  for (const Case& c : cases) {
    const std::size_t n = c.in.size();
    auto text = std::make_unique<char[]>(n);
    std::memcpy(text.get(), c.in.data(), n);
    const std::size_t written = (n + 1) / 2;
    std::vector<std::uint8_t> out(written + 2, 0xEE);
    myatoi(text.get(), out.data(), static_cast<std::uint32_t>(n), out.size());
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + written), c.out) << c.in;
    EXPECT_EQ(out[written], 0) << c.in;
    EXPECT_EQ(out[written + 1], 0xEE) << c.in;
  }
}

TEST(HexText, MyatoiStopsAtTheDestinationSize) {
  auto out = std::make_unique<std::uint8_t[]>(3);
  myatoi("00112233", out.get(), 8, 3);
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0x11);
  EXPECT_EQ(out[2], 0);  // terminator, inside the buffer
}

// ---- GetSpoolTime ----

class SpoolTime : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::setCurrentTimeOverride(std::nullopt);
    platform::setTimeZoneOffsetOverride(std::nullopt);
  }
  static std::string at(double time, long zoneOffset) {
    platform::setCurrentTimeOverride(time);
    platform::setTimeZoneOffsetOverride(zoneOffset);
    char text[kSpoolTimeBufferSize];
    std::memset(text, '#', sizeof text);
    const std::int32_t length = GetSpoolTime(text);
    EXPECT_EQ(length, static_cast<std::int32_t>(std::strlen(text)));
    return text;
  }
};

// Expected texts from `TZ=<zone> date -d @<time> '+%a, %-d %b %Y %H:%M:%S %z'`,
// with the half-hour zone's offset rewritten in hundredths of an hour.
TEST_F(SpoolTime, FormatsTheDateInThePinnedZone) {
  struct Case {
    double time;
    long offset;
    const char* text;
  };
  const Case cases[] = {
      {1767225600, 9 * 3600, "Thu, 1 Jan 2026 09:00:00 +0900"},  // first day of a month
      {1796688307, 9 * 3600, "Tue, 8 Dec 2026 09:05:07 +0900"},
      {1772334245, -5 * 3600, "Sat, 28 Feb 2026 22:04:05 -0500"},  // back across a month end
      {1796068800, 5 * 3600 + 1800, "Tue, 1 Dec 2026 01:30:00 +0550"},
      {1793491199.999, 0, "Sat, 31 Oct 2026 23:59:59 +0000"},  // seconds are cut
      {-0.5, 0, "Wed, 31 Dec 1969 23:59:59 +0000"},
  };
  for (const Case& c : cases) EXPECT_EQ(at(c.time, c.offset), c.text) << c.time;
}

TEST_F(SpoolTime, OffsetIsCutTowardZero) {
  // -5 h 30 min: -19800 / 36 = -550; -35 s: -35 / 36 = 0.
  EXPECT_EQ(at(1767225600, -19800), "Wed, 31 Dec 2025 18:30:00 -0550");
  EXPECT_EQ(at(1767225600, -35), "Wed, 31 Dec 2025 23:59:25 +0000");
}

TEST_F(SpoolTime, ClockWithoutACalendarDateGivesAnEmptyText) {
  platform::setCurrentTimeOverride(1e300);
  platform::setTimeZoneOffsetOverride(0);
  char text[kSpoolTimeBufferSize] = "stale";
  EXPECT_EQ(GetSpoolTime(text), 0);
  EXPECT_STREQ(text, "");
}

// ---- ReplaceSpaceCode ----

TEST(ReplaceSpaceCode, BlanksControlCharactersAndQuotesButKeepsTabsAndZeros) {
  std::string text(
      "a\rb\nc\"d\te\x01"
      "f\x1fg\x7fh'i\0j\x08",
      20);
  ReplaceSpaceCode(reinterpret_cast<std::uint8_t*>(text.data()),
                   static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(text, std::string("a b c d\te f g\x7fh'i\0j ", 20));
}

TEST(ReplaceSpaceCode, ChangesOnlyTheCountedBytes) {
  std::string text = "\r\n\r";
  ReplaceSpaceCode(reinterpret_cast<std::uint8_t*>(text.data()), 2);
  EXPECT_EQ(text, "  \r");
  for (std::int64_t count : {0, -1}) {
    std::string untouched = "\r\n";
    ReplaceSpaceCode(reinterpret_cast<std::uint8_t*>(untouched.data()), count);
    EXPECT_EQ(untouched, "\r\n");
  }
}

// ---- encodingWindowsLatin1 ----

TEST(EncodingWindowsLatin1, FalseOnlyForTheEastAsianSystemEncodings) {
  const std::pair<platform::CFStringEncoding, bool> cases[] = {
      {platform::kCFStringEncodingMacRoman, true},
      {platform::kCFStringEncodingUTF8, true},
      {platform::kCFStringEncodingMacJapanese, false},
      {platform::kCFStringEncodingMacChineseTrad, false},
      {platform::kCFStringEncodingMacKorean, false},
      {platform::kCFStringEncodingMacChineseSimp, false},
  };
  for (const auto& [encoding, expected] : cases) {
    platform::setSystemEncodingOverride(encoding);
    EXPECT_EQ(encodingWindowsLatin1(), expected) << encoding;
  }
  platform::setSystemEncodingOverride(std::nullopt);
}

// ---- MyPMPrintSetAsciiCStrValue ----

TEST(StoreValue, StoresAsciiAndRemovesOnEmptyMissingOrNonAscii) {
  platform::PrintSettings settings;
  MyPMPrintSetAsciiCStrValue(&settings, "k", "abc");
  EXPECT_EQ(settings.value("k"), "abc");
  for (const char* removing : {"", static_cast<const char*>(nullptr), "caf\xC3\xA9"}) {
    settings.setValue("k", "old");
    MyPMPrintSetAsciiCStrValue(&settings, "k", removing);
    EXPECT_FALSE(settings.contains("k"));
  }
  MyPMPrintSetAsciiCStrValue(&settings, "", "abc");  // no key: nothing stored
  MyPMPrintSetAsciiCStrValue(nullptr, "k", "abc");
  EXPECT_TRUE(settings.entries().empty());
}

// ---- MyMultiPMPrintSetAsciiCStrValue ----

class ChunkedValue : public ::testing::Test {
 protected:
  static constexpr const char* kBase = "jp.co.quivo.print.PrintSettings.loginName1";
  static std::string piece(int n) { return std::string(kBase) + std::to_string(n); }
  void seed(std::initializer_list<int> pieces) {
    for (int n : pieces) settings.setValue(piece(n), "stale" + std::to_string(n));
  }
  // What a reader that stops at the first missing piece sees.
  std::string joined() const {
    std::string all;
    for (int n = 1;; ++n) {
      const auto value = settings.value(piece(n));
      if (!value) return all;
      all += *value;
    }
  }
  platform::PrintSettings settings;
};

TEST_F(ChunkedValue, ExactlyOnePieceRemovesTheNextAndLeavesLaterOnes) {
  seed({1, 2, 3});
  const std::string value(254, 'x');
  MyMultiPMPrintSetAsciiCStrValue(&settings, kBase, value.c_str());
  EXPECT_EQ(settings.value(piece(1)), value);
  EXPECT_FALSE(settings.contains(piece(2)));
  EXPECT_EQ(settings.value(piece(3)), "stale3");  // beyond n + 1: left, but unreachable
  EXPECT_EQ(joined(), value);
  EXPECT_FALSE(settings.contains(kBase));
}

TEST_F(ChunkedValue, OneCharacterMoreMakesASecondPiece) {
  seed({3, 4});
  const std::string value = std::string(254, 'y') + "z";
  MyMultiPMPrintSetAsciiCStrValue(&settings, kBase, value.c_str());
  EXPECT_EQ(settings.value(piece(1)), std::string(254, 'y'));
  EXPECT_EQ(settings.value(piece(2)), "z");
  EXPECT_FALSE(settings.contains(piece(3)));
  EXPECT_EQ(settings.value(piece(4)), "stale4");
  EXPECT_EQ(joined(), value);
}

TEST_F(ChunkedValue, EmptyOrMissingValueRemovesOnlyTheFirstPiece) {
  for (const char* value : {"", static_cast<const char*>(nullptr)}) {
    seed({1, 2});
    MyMultiPMPrintSetAsciiCStrValue(&settings, kBase, value);
    EXPECT_FALSE(settings.contains(piece(1)));
    EXPECT_EQ(settings.value(piece(2)), "stale2");
    EXPECT_EQ(joined(), "");
  }
}

TEST_F(ChunkedValue, PieceNumbersBeyondNineAreWholeNumbers) {
  // A folder name of 1529 bytes gives 3058 hex characters: 13 pieces.
  std::string value;
  for (int i = 0; i < 3058; ++i) value += static_cast<char>('A' + i % 26);
  seed({14, 15});
  MyMultiPMPrintSetAsciiCStrValue(&settings, kBase, value.c_str());
  EXPECT_EQ(settings.value(piece(13))->size(), 3058u - 12 * 254);
  EXPECT_FALSE(settings.contains(piece(14)));
  EXPECT_EQ(joined(), value);
}

TEST(ChunkedValueBaseKey, TooLongOrEmptyBaseKeyDoesNothing) {
  platform::PrintSettings settings;
  const std::string longest(98, 'k');
  const std::string tooLong(99, 'k');
  settings.setValue(tooLong + "1", "old");
  MyMultiPMPrintSetAsciiCStrValue(&settings, tooLong.c_str(), "v");
  MyMultiPMPrintSetAsciiCStrValue(&settings, "", "v");
  MyMultiPMPrintSetAsciiCStrValue(&settings, nullptr, "v");
  MyMultiPMPrintSetAsciiCStrValue(nullptr, longest.c_str(), "v");
  EXPECT_EQ(settings.entries().size(), 1u);
  EXPECT_EQ(settings.value(tooLong + "1"), "old");

  MyMultiPMPrintSetAsciiCStrValue(&settings, longest.c_str(), "v");
  EXPECT_EQ(settings.value(longest + "1"), "v");
}

}  // namespace
