// SPDX-License-Identifier: Apache-2.0
// The Mac encodings' tables the build writes against POCO's own, over every
// byte, every two-byte sequence and every character of the Basic
// Multilingual Plane: a conversion asks a table nothing else, so equal
// answers here make every conversion's bytes and characters the same.
#include <Poco/MacCentralEurRomanEncoding.h>
#include <Poco/MacChineseSimpEncoding.h>
#include <Poco/MacChineseTradEncoding.h>
#include <Poco/MacCyrillicEncoding.h>
#include <Poco/MacJapaneseEncoding.h>
#include <Poco/MacKoreanEncoding.h>
#include <Poco/MacRomanEncoding.h>

#include <memory>

#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "platform/mac_tables.h"

namespace platform {
namespace {

TEST(MacTables, AnswerAsPocosTablesDo) {
  const struct {
    CFStringEncoding encoding;
    std::shared_ptr<Poco::TextEncoding> poco;
  } cases[] = {
      {kCFStringEncodingMacRoman, std::make_shared<Poco::MacRomanEncoding>()},
      {kCFStringEncodingMacJapanese, std::make_shared<Poco::MacJapaneseEncoding>()},
      {kCFStringEncodingMacChineseTrad, std::make_shared<Poco::MacChineseTradEncoding>()},
      {kCFStringEncodingMacKorean, std::make_shared<Poco::MacKoreanEncoding>()},
      {kCFStringEncodingMacCyrillic, std::make_shared<Poco::MacCyrillicEncoding>()},
      {kCFStringEncodingMacChineseSimp, std::make_shared<Poco::MacChineseSimpEncoding>()},
      {kCFStringEncodingMacCentralEurRoman, std::make_shared<Poco::MacCentralEurRomanEncoding>()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    const mac::Table* table = mac::tableFor(c.encoding);
    ASSERT_NE(table, nullptr);
    const Poco::TextEncoding::CharacterMap& map = c.poco->characterMap();
    int mismatches = 0;
    for (int lead = 0; lead < 256; ++lead) {
      if (table->singleBytes[lead] != map[lead]) ++mismatches;
      if (map[lead] != -2) continue;
      for (int trail = 0; trail < 256; ++trail) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(lead),
                                        static_cast<unsigned char>(trail)};
        const int expected = c.poco->convert(bytes);
        if (mac::decodePair(*table, bytes[0], bytes[1]) != (expected < 0 ? -1 : expected))
          ++mismatches;
      }
    }
    for (char32_t cp = 0; cp <= 0x10000; ++cp) {
      unsigned char expected[4] = {};
      int n = c.poco->convert(static_cast<int>(cp), expected, 4);
      if (n > 2 || cp > 0xFFFF) n = 0;
      std::uint8_t got[2] = {};
      const int m = mac::encodeCharacter(*table, cp, got);
      if (m != (n < 0 ? 0 : n) || (n >= 1 && got[0] != expected[0]) ||
          (n == 2 && got[1] != expected[1]))
        ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
  }
  EXPECT_EQ(mac::tableFor(kCFStringEncodingUTF8), nullptr);
}

}  // namespace
}  // namespace platform
