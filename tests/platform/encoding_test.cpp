// SPDX-License-Identifier: Apache-2.0
// Byte conversions with character and byte limits, the system encoding and
// the encoding-number mappings.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <iconv.h>

#include "platform/encoding.h"
#include "platform/strings.h"

namespace platform {
namespace {

std::string hex(const std::uint8_t* bytes, std::size_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

std::size_t utf16LengthOf(const std::string& text) {
  std::size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

const std::string kNihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語
const std::string kEuro =
    "ab\xE2\x82\xAC"
    "cd";  // ab€cd
const std::string kGrin =
    "a\xF0\x9F\x98\x80"
    "b";  // a😀b (4 units)

struct BytesCase {
  const char* name;
  std::string text;
  std::size_t maxCharacters;
  CFStringEncoding encoding;
  std::uint8_t lossByte;
  std::size_t maxBytes;
  std::string expectedHex;
  std::size_t expectedCharacters;
};

TEST(Encoding, GetBytesHonoursLimitsLossByteAndFit) {
  const BytesCase cases[] = {
      {"character limit", "abcdef", 3, kCFStringEncodingASCII, 0, 10, "616263", 3},
      {"byte limit", "abcdef", 10, kCFStringEncodingASCII, 0, 4, "61626364", 4},
      {"stop at unconvertible", kEuro, 10, kCFStringEncodingASCII, 0, 10, "6162", 2},
      {"loss byte", kEuro, 10, kCFStringEncodingASCII, ' ', 10, "6162206364", 5},
      {"loss byte must fit too", kEuro, 10, kCFStringEncodingASCII, '?', 2, "6162", 2},
      {"euro in cp1252", kEuro, 10, kCFStringEncodingWindowsLatin1, 0, 10, "6162806364", 5},
      {"euro not in latin1", kEuro, 10, kCFStringEncodingISOLatin1, 0, 10, "6162", 2},
      {"mac roman", "Caf\xC3\xA9", 10, kCFStringEncodingMacRoman, 0, 10, "4361668E", 4},
      {"japanese", kNihongo, 10, kCFStringEncodingMacJapanese, 0, 10, "93FA967B8CEA", 3},
      {"double-byte char does not fit", "a" + kNihongo, 10, kCFStringEncodingMacJapanese, 0, 4,
       "6193FA", 2},
      {"no loss byte for a char that does not fit", "a" + kNihongo, 10,
       kCFStringEncodingMacJapanese, ' ', 4, "6193FA", 2},
      {"half-width katakana is one byte", "\xEF\xBD\xB1", 1, kCFStringEncodingMacJapanese, 0, 1,
       "B1", 1},
      {"backslash is 0x80", "a\\b", 3, kCFStringEncodingMacJapanese, 0, 3, "618062", 3},
      {"shift jis", kNihongo, 2, kCFStringEncodingShiftJIS, 0, 10, "93FA967B", 2},
      {"euc-jp", kNihongo, 1, kCFStringEncodingEUC_JP, 0, 10, "C6FC", 1},
      {"big5", "\xE7\xB9\x81", 1, kCFStringEncodingMacChineseTrad, 0, 2, "C163", 1},
      {"gb2312", "\xE7\xAE\x80", 1, kCFStringEncodingMacChineseSimp, 0, 2, "BCF2", 1},
      {"korean", "\xED\x95\x9C", 1, kCFStringEncodingMacKorean, 0, 2, "C7D1", 1},
      {"utf-8 whole pair", kGrin, 4, kCFStringEncodingUTF8, 0, 10, "61F09F988062", 4},
      {"limit cuts a pair: stop", kGrin, 2, kCFStringEncodingUTF8, 0, 10, "61", 1},
      {"limit cuts a pair: loss byte", kGrin, 2, kCFStringEncodingUTF8, '?', 10, "613F", 2},
      {"4-byte char does not fit", kGrin, 4, kCFStringEncodingUTF8, 0, 4, "61", 1},
      {"pair unconvertible: one loss byte", kGrin, 4, kCFStringEncodingMacJapanese, ' ', 10,
       "612062", 4},
      {"unknown encoding", "abc", 3, 0x1234, ' ', 10, "", 0},
      {"no room at all", "abc", 3, kCFStringEncodingASCII, 0, 0, "", 0},
      {"empty text", "", 10, kCFStringEncodingUTF8, 0, 10, "", 0},
  };
  for (const BytesCase& c : cases) {
    std::vector<std::uint8_t> buffer(c.maxBytes + 4, 0xEE);
    const ConversionResult r = CFStringGetBytes(c.text, c.maxCharacters, c.encoding, c.lossByte,
                                                buffer.data(), c.maxBytes);
    EXPECT_EQ(hex(buffer.data(), r.bytesUsed), c.expectedHex) << c.name;
    EXPECT_EQ(r.charactersUsed, c.expectedCharacters) << c.name;
    // Nothing is written past what was used (no terminator either).
    EXPECT_EQ(buffer[r.bytesUsed], 0xEE) << c.name;
  }
}

// Known answers from Apple's published mapping tables (JAPANESE.TXT,
// CHINTRAD.TXT, KOREAN.TXT, CHINSIMP.TXT, ROMAN.TXT, CYRILLIC.TXT,
// CENTEURO.TXT), both directions.
struct VendorCase {
  CFStringEncoding encoding;
  const char* utf8;
  const char* hexBytes;
};

const VendorCase kVendorTable[] = {
    // Mac Japanese: the single-byte rows where it differs from code page 932,
    // an Apple extension row (circled digits in row 0x85), a kanji, a
    // half-width katakana and a control character.
    {kCFStringEncodingMacJapanese, "\xC2\xA5", "5C"},        // ¥
    {kCFStringEncodingMacJapanese, "\\", "80"},              // backslash
    {kCFStringEncodingMacJapanese, "\xC2\xA0", "A0"},        // no-break space
    {kCFStringEncodingMacJapanese, "\xC2\xA9", "FD"},        // ©
    {kCFStringEncodingMacJapanese, "\xE2\x84\xA2", "FE"},    // ™
    {kCFStringEncodingMacJapanese, "\xE2\x91\xA0", "8540"},  // ①
    {kCFStringEncodingMacJapanese, "\xE2\x91\xA1", "8541"},  // ②
    {kCFStringEncodingMacJapanese, "\xE2\x85\xA0", "859F"},  // Ⅰ
    {kCFStringEncodingMacJapanese, "\xE3\x88\xB1", "874D"},  // ㈱
    {kCFStringEncodingMacJapanese, "\xE6\x97\xA5", "93FA"},  // 日
    {kCFStringEncodingMacJapanese, "\xEF\xBD\xB1", "B1"},    // ｱ
    {kCFStringEncodingMacJapanese, "~", "7E"},
    {kCFStringEncodingMacJapanese, "\t", "09"},
    // Mac Traditional Chinese
    {kCFStringEncodingMacChineseTrad, "\xE7\xB9\x81", "C163"},  // 繁
    {kCFStringEncodingMacChineseTrad, "\xC2\xA9", "FD"},
    {kCFStringEncodingMacChineseTrad, "\xE2\x84\xA2", "FE"},
    {kCFStringEncodingMacChineseTrad, "\xC2\xA0", "A0"},
    {kCFStringEncodingMacChineseTrad, "\\", "5C"},
    // Mac Korean
    {kCFStringEncodingMacKorean, "\xED\x95\x9C", "C7D1"},  // 한
    {kCFStringEncodingMacKorean, "\xE2\x82\xA9", "81"},    // ₩
    {kCFStringEncodingMacKorean, "\xC2\xA0", "80"},
    {kCFStringEncodingMacKorean, "\xC2\xA9", "83"},
    {kCFStringEncodingMacKorean, "\xE2\x84\xA2", "A2E2"},
    // Mac Simplified Chinese
    {kCFStringEncodingMacChineseSimp, "\xE7\xAE\x80", "BCF2"},  // 简
    {kCFStringEncodingMacChineseSimp, "\xC2\xA9", "FD"},
    {kCFStringEncodingMacChineseSimp, "\xE2\x84\xA2", "FE"},
    {kCFStringEncodingMacChineseSimp, "\xC2\xA0", "A0"},
    // Mac OS Roman
    {kCFStringEncodingMacRoman, "\xC3\xA9", "8E"},      // é
    {kCFStringEncodingMacRoman, "\xE2\x82\xAC", "DB"},  // €
    {kCFStringEncodingMacRoman, "\xE2\x80\xA0", "A0"},  // †
    {kCFStringEncodingMacRoman, "\xCB\x87", "FF"},      // ˇ
    {kCFStringEncodingMacRoman, "\n", "0A"},
    // Mac Cyrillic
    {kCFStringEncodingMacCyrillic, "\xD0\x96", "86"},      // Ж
    {kCFStringEncodingMacCyrillic, "\xD0\xB6", "E6"},      // ж
    {kCFStringEncodingMacCyrillic, "\xD2\x90", "A2"},      // Ґ
    {kCFStringEncodingMacCyrillic, "\xE2\x82\xAC", "FF"},  // €
    // Mac Central European
    {kCFStringEncodingMacCentralEurRoman, "\xC5\x82", "B8"},  // ł
    {kCFStringEncodingMacCentralEurRoman, "\xC5\x81", "FC"},  // Ł
    {kCFStringEncodingMacCentralEurRoman, "\xC4\x8D", "8B"},  // č
    {kCFStringEncodingMacCentralEurRoman, "\xC5\x91", "CE"},  // ő
};

std::string bytesOfHex(const char* hexText) {
  std::string out;
  for (const char* p = hexText; p[0] != '\0' && p[1] != '\0'; p += 2) {
    out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
  }
  return out;
}

TEST(Encoding, MacEncodingsFollowTheVendorTables) {
  for (const VendorCase& c : kVendorTable) {
    std::uint8_t buffer[8] = {};
    const std::string text = c.utf8;
    const ConversionResult r = CFStringGetBytes(text, 10, c.encoding, 0, buffer, sizeof buffer);
    EXPECT_EQ(hex(buffer, r.bytesUsed), c.hexBytes) << c.encoding << " " << text;
    EXPECT_EQ(r.charactersUsed, utf16LengthOf(text)) << c.encoding << " " << text;
    const std::string bytes = bytesOfHex(c.hexBytes);
    const NSStringEncoding ns = CFStringConvertEncodingToNSStringEncoding(c.encoding);
    EXPECT_EQ(stringWithBytes(bytes.data(), bytes.size(), ns), text)
        << c.encoding << " " << c.hexBytes;
  }
}

TEST(Encoding, MacEncodingsStopOrSubstituteAtAMissingCharacter) {
  // "a€b" and "aĀb": neither the euro sign nor A with macron is in the CJK
  // tables; Ā is not in Mac OS Roman; é is not in Mac Cyrillic.
  const std::pair<CFStringEncoding, const char*> cases[] = {
      {kCFStringEncodingMacJapanese,
       "a\xE2\x82\xAC"
       "b"},
      {kCFStringEncodingMacChineseTrad,
       "a\xE2\x82\xAC"
       "b"},
      {kCFStringEncodingMacKorean,
       "a\xE2\x82\xAC"
       "b"},
      {kCFStringEncodingMacChineseSimp,
       "a\xE2\x82\xAC"
       "b"},
      {kCFStringEncodingMacRoman,
       "a\xC4\x80"
       "b"},
      {kCFStringEncodingMacCyrillic,
       "a\xC3\xA9"
       "b"},
      {kCFStringEncodingMacCentralEurRoman,
       "a\xE2\x82\xAC"
       "b"},
  };
  for (const auto& [encoding, text] : cases) {
    std::uint8_t buffer[8] = {};
    ConversionResult r = CFStringGetBytes(text, 10, encoding, 0, buffer, sizeof buffer);
    EXPECT_EQ(hex(buffer, r.bytesUsed), "61") << encoding;
    EXPECT_EQ(r.charactersUsed, 1u) << encoding;
    r = CFStringGetBytes(text, 10, encoding, ' ', buffer, sizeof buffer);
    EXPECT_EQ(hex(buffer, r.bytesUsed), "612062") << encoding;
    EXPECT_EQ(r.charactersUsed, 3u) << encoding;
  }
}

TEST(Encoding, MacJapaneseAtLimits) {
  // ¥ and © are one byte each, ① two: a byte limit falls before ①.
  const std::string name = "\xC2\xA5\xC2\xA9\xE2\x91\xA0";
  std::uint8_t buffer[8] = {};
  ConversionResult r = CFStringGetBytes(name, 10, kCFStringEncodingMacJapanese, 0, buffer, 3);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "5CFD");
  EXPECT_EQ(r.charactersUsed, 2u);
  // A surrogate pair (not in the table) cut by the character limit, then
  // whole: one loss byte for the half and for the pair alike.
  const std::string grin = "\xE2\x91\xA0\xF0\x9F\x98\x80";  // ①😀
  r = CFStringGetBytes(grin, 2, kCFStringEncodingMacJapanese, ' ', buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "854020");
  EXPECT_EQ(r.charactersUsed, 2u);
  r = CFStringGetBytes(grin, 3, kCFStringEncodingMacJapanese, ' ', buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "854020");
  EXPECT_EQ(r.charactersUsed, 3u);
  r = CFStringGetBytes(grin, 3, kCFStringEncodingMacJapanese, 0, buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "8540");
  EXPECT_EQ(r.charactersUsed, 1u);
  // A lead byte cut at the end of the bytes, and a byte the table leaves
  // empty, do not decode.
  const NSStringEncoding ns = 0x80000000u | kCFStringEncodingMacJapanese;
  EXPECT_EQ(stringWithBytes("a\x85", 2, ns), std::nullopt);
  EXPECT_EQ(stringWithBytes("\xFF", 1, ns), std::nullopt);
}

TEST(Encoding, LongConversionsKeepLimits) {
  // Long texts: the exact stop at the first unconvertible character and at
  // the byte limit, far from the start.
  const std::string latin(3000, 'x');
  std::vector<std::uint8_t> buffer(4000);
  const std::string withEuro = latin + "\xE2\x82\xAC" + "y";
  ConversionResult r =
      CFStringGetBytes(withEuro, 5000, kCFStringEncodingISOLatin1, 0, buffer.data(), buffer.size());
  EXPECT_EQ(r.charactersUsed, 3000u);
  EXPECT_EQ(r.bytesUsed, 3000u);
  r = CFStringGetBytes(withEuro, 5000, kCFStringEncodingISOLatin1, ' ', buffer.data(),
                       buffer.size());
  EXPECT_EQ(r.charactersUsed, 3002u);
  EXPECT_EQ(r.bytesUsed, 3002u);
  EXPECT_EQ(buffer[3000], ' ');
  EXPECT_EQ(buffer[3001], 'y');
  r = CFStringGetBytes(latin, 5000, kCFStringEncodingWindowsLatin1, 0, buffer.data(), 2500);
  EXPECT_EQ(r.charactersUsed, 2500u);
  // Counting without a buffer goes past any scratch space.
  r = CFStringGetBytes(latin, 5000, kCFStringEncodingUTF8, 0, nullptr, 0);
  EXPECT_EQ(r.bytesUsed, 3000u);
  // The converter is reused: a later short conversion is not disturbed.
  r = CFStringGetBytes("\xE2\x82\xAC", 1, kCFStringEncodingWindowsLatin1, 0, buffer.data(), 4);
  EXPECT_EQ(hex(buffer.data(), r.bytesUsed), "80");
}

// The encodings converted without iconv give iconv's own answer for every
// character of the Basic Multilingual Plane and for every byte.
TEST(Encoding, WesternEncodingsAgreeWithIconv) {
  struct Case {
    CFStringEncoding cf;
    NSStringEncoding ns;
    const char* iconvName;
  };
  const Case cases[] = {
      {kCFStringEncodingASCII, NSASCIIStringEncoding, "ASCII"},
      {kCFStringEncodingISOLatin1, NSISOLatin1StringEncoding, "ISO-8859-1"},
      {kCFStringEncodingWindowsLatin1, NSWindowsCP1252StringEncoding, "CP1252"},
      {kCFStringEncodingUTF8, NSUTF8StringEncoding, "UTF-8"},
  };
  for (const Case& c : cases) {
    iconv_t toBytes = iconv_open(c.iconvName, "UTF-32LE");
    iconv_t fromBytes = iconv_open("UTF-8", c.iconvName);
    ASSERT_NE(toBytes, reinterpret_cast<iconv_t>(-1)) << c.iconvName;
    ASSERT_NE(fromBytes, reinterpret_cast<iconv_t>(-1)) << c.iconvName;
    int wrong = 0;
    for (char32_t cp = 1; cp < 0x10000 && wrong < 5; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      char in[4] = {char(cp & 0xFF), char((cp >> 8) & 0xFF), 0, 0};
      char out[8];
      char* inPtr = in;
      char* outPtr = out;
      std::size_t inLeft = 4, outLeft = sizeof out;
      iconv(toBytes, nullptr, nullptr, nullptr, nullptr);
      const bool converts = iconv(toBytes, &inPtr, &inLeft, &outPtr, &outLeft) == 0;
      const std::string expected = converts ? std::string(out, outPtr) : std::string();
      std::string text;
      appendUtf8(text, cp);
      std::uint8_t buffer[8];
      const ConversionResult r = CFStringGetBytes(text, 1, c.cf, 0, buffer, sizeof buffer);
      const std::string got(reinterpret_cast<char*>(buffer), r.bytesUsed);
      if (got != expected || r.charactersUsed != (converts ? 1u : 0u)) {
        ADD_FAILURE() << c.iconvName << " U+" << std::hex << std::uint32_t(cp);
        ++wrong;
      }
    }
    for (int byte = 1; byte < 0x100 && c.cf != kCFStringEncodingUTF8; ++byte) {
      char in[1] = {char(byte)};
      char out[8];
      char* inPtr = in;
      char* outPtr = out;
      std::size_t inLeft = 1, outLeft = sizeof out;
      iconv(fromBytes, nullptr, nullptr, nullptr, nullptr);
      const bool decodes = iconv(fromBytes, &inPtr, &inLeft, &outPtr, &outLeft) == 0;
      const std::optional<std::string> expected =
          decodes ? std::optional<std::string>(std::string(out, outPtr)) : std::nullopt;
      EXPECT_EQ(stringWithBytes(in, 1, c.ns), expected) << c.iconvName << " byte " << byte;
    }
    iconv_close(toBytes);
    iconv_close(fromBytes);
  }
}

// A character outside the Basic Multilingual Plane is one character of two
// units; a surrogate without its partner has no bytes in any encoding.
TEST(Encoding, SurrogatesInWesternEncodings) {
  std::uint8_t buffer[16];
  ConversionResult r = CFStringGetBytes(kGrin, 4, kCFStringEncodingUTF8, 0, buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "61F09F988062");
  EXPECT_EQ(r.charactersUsed, 4u);
  r = CFStringGetBytes(kGrin, 4, kCFStringEncodingWindowsLatin1, '?', buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "613F62");
  EXPECT_EQ(r.charactersUsed, 4u);
  // A limit inside the pair leaves its first half alone: unconvertible.
  r = CFStringGetBytes(kGrin, 2, kCFStringEncodingUTF8, 0, buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "61");
  EXPECT_EQ(r.charactersUsed, 1u);
  r = CFStringGetBytes(kGrin, 2, kCFStringEncodingUTF8, '?', buffer, sizeof buffer);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "613F");
  // The four bytes must fit whole.
  r = CFStringGetBytes(kGrin, 4, kCFStringEncodingUTF8, 0, buffer, 4);
  EXPECT_EQ(hex(buffer, r.bytesUsed), "61");
}

TEST(Encoding, GetBytesWithoutBufferOnlyCounts) {
  const ConversionResult r =
      CFStringGetBytes(kNihongo, 100, kCFStringEncodingMacJapanese, 0, nullptr, 0);
  EXPECT_EQ(r.charactersUsed, 3u);
  EXPECT_EQ(r.bytesUsed, 6u);
}

TEST(Encoding, GetCStringNeedsRoomForTheTerminator) {
  char buffer[8];
  ASSERT_TRUE(CFStringGetCString(kNihongo, buffer, 7, kCFStringEncodingMacJapanese));
  EXPECT_EQ(std::string(buffer), "\x93\xFA\x96\x7B\x8C\xEA");

  std::fill(std::begin(buffer), std::end(buffer), 'x');
  EXPECT_FALSE(CFStringGetCString(kNihongo, buffer, 6, kCFStringEncodingMacJapanese));
  EXPECT_EQ(buffer[0], '\0');

  std::fill(std::begin(buffer), std::end(buffer), 'x');
  EXPECT_FALSE(CFStringGetCString(kEuro, buffer, sizeof buffer, kCFStringEncodingASCII));
  EXPECT_EQ(buffer[0], '\0');

  EXPECT_TRUE(CFStringGetCString("", buffer, 1, kCFStringEncodingASCII));
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_FALSE(CFStringGetCString("a", buffer, 0, kCFStringEncodingASCII));
}

TEST(Encoding, DecodesBytesOrRefusesInvalidOnes) {
  struct Case {
    const char* name;
    std::string bytes;
    NSStringEncoding encoding;
    std::optional<std::string> expected;
  };
  const NSStringEncoding macJapanese = 0x80000000u | kCFStringEncodingMacJapanese;
  const Case cases[] = {
      {"latin1", "Caf\xE9", NSISOLatin1StringEncoding, "Caf\xC3\xA9"},
      {"mac roman", "Caf\x8E", NSMacOSRomanStringEncoding, "Caf\xC3\xA9"},
      {"cp1252 euro", "\x80", NSWindowsCP1252StringEncoding, "\xE2\x82\xAC"},
      {"shift jis", "\x93\xFA\x96\x7B", NSShiftJISStringEncoding, "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"mac japanese 0x5C is the yen sign", "a\\b", macJapanese,
       "a\xC2\xA5"
       "b"},
      {"mac japanese 0x80 is the backslash",
       "a\x80"
       "b",
       macJapanese, "a\\b"},
      {"euc-jp", "\xC6\xFC", NSJapaneseEUCStringEncoding, "\xE6\x97\xA5"},
      {"utf-8", kNihongo, NSUTF8StringEncoding, kNihongo},
      {"invalid utf-8", "a\xFF", NSUTF8StringEncoding, std::nullopt},
      {"ascii above 127", "a\x80", NSASCIIStringEncoding, std::nullopt},
      {"cut double-byte char", "a\x93", NSShiftJISStringEncoding, std::nullopt},
      {"unknown encoding", "abc", 999, std::nullopt},
      {"empty", "", NSISOLatin1StringEncoding, ""},
      {"long text", std::string(1000, '\xE9'), NSISOLatin1StringEncoding,
       [] {
         std::string s;
         for (int i = 0; i < 1000; ++i) s += "\xC3\xA9";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringWithBytes(c.bytes.data(), c.bytes.size(), c.encoding), c.expected) << c.name;
  }
  EXPECT_EQ(stringWithCString("Caf\xE9", NSISOLatin1StringEncoding), "Caf\xC3\xA9");
  EXPECT_EQ(stringWithCString(nullptr, NSUTF8StringEncoding), std::nullopt);
}

TEST(Encoding, NumberMappingsRoundTrip) {
  const std::pair<CFStringEncoding, NSStringEncoding> pairs[] = {
      {kCFStringEncodingUTF8, 4},
      {kCFStringEncodingISOLatin1, 5},
      {kCFStringEncodingShiftJIS, 8},
      {kCFStringEncodingWindowsLatin1, 12},
      {kCFStringEncodingMacRoman, 30},
      {kCFStringEncodingASCII, 1},
      {kCFStringEncodingEUC_JP, 3},
      {kCFStringEncodingMacJapanese, 0x80000001u},
      {kCFStringEncodingMacChineseTrad, 0x80000002u},
      {kCFStringEncodingMacKorean, 0x80000003u},
      {kCFStringEncodingMacChineseSimp, 0x80000019u},
      {kCFStringEncodingMacCyrillic, 0x80000007u},
      {kCFStringEncodingMacCentralEurRoman, 0x8000001Du},
  };
  for (const auto& [cf, ns] : pairs) {
    EXPECT_EQ(CFStringConvertEncodingToNSStringEncoding(cf), ns) << cf;
    EXPECT_EQ(CFStringConvertNSStringEncodingToEncoding(ns), cf) << ns;
  }
  EXPECT_EQ(CFStringConvertNSStringEncodingToEncoding(999), kCFStringEncodingInvalidId);
  EXPECT_EQ(CFStringConvertNSStringEncodingToEncoding(0x80001234u), kCFStringEncodingInvalidId);
  EXPECT_EQ(CFStringConvertEncodingToNSStringEncoding(kCFStringEncodingInvalidId), 0u);
}

TEST(Encoding, SystemEncodingForLanguageTags) {
  const std::pair<const char*, CFStringEncoding> cases[] = {
      {"ja_JP.UTF-8", kCFStringEncodingMacJapanese},
      {"ja", kCFStringEncodingMacJapanese},
      {"zh_TW", kCFStringEncodingMacChineseTrad},
      {"zh_HK.Big5-HKSCS", kCFStringEncodingMacChineseTrad},
      {"zh-Hant", kCFStringEncodingMacChineseTrad},
      {"zh_CN.GB2312", kCFStringEncodingMacChineseSimp},
      {"zh-Hans-SG", kCFStringEncodingMacChineseSimp},
      {"zh", kCFStringEncodingMacChineseSimp},
      {"ko_KR.EUC-KR", kCFStringEncodingMacKorean},
      {"ru_RU.UTF-8", kCFStringEncodingMacCyrillic},
      {"uk", kCFStringEncodingMacCyrillic},
      {"pl_PL", kCFStringEncodingMacCentralEurRoman},
      {"cs-CZ", kCFStringEncodingMacCentralEurRoman},
      {"fr_FR.UTF-8", kCFStringEncodingMacRoman},
      {"de", kCFStringEncodingMacRoman},
      {"C", kCFStringEncodingMacRoman},
      {"POSIX", kCFStringEncodingMacRoman},
      {"en_US.UTF-8", kCFStringEncodingMacRoman},
      {"jam", kCFStringEncodingMacRoman},  // not Japanese just because it starts with "ja"
      {"", kCFStringEncodingMacRoman},
  };
  for (const auto& [tag, expected] : cases) {
    EXPECT_EQ(systemEncodingForLanguage(tag), expected) << tag;
  }
}

// Restores the locale variables and the override after each test.
class SystemEncodingEnv : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.emplace_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(kVariables[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kVariables[i]);
      }
    }
    setSystemEncodingOverride(std::nullopt);
  }

  std::vector<std::optional<std::string>> saved_;
};

TEST_F(SystemEncodingEnv, FirstSetVariableDecides) {
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacRoman);

  setenv("LANG", "ko_KR.UTF-8", 1);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacKorean);
  setenv("LC_MESSAGES", "zh_CN.UTF-8", 1);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacChineseSimp);
  setenv("LC_ALL", "", 1);  // set but empty: skipped
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacChineseSimp);
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacRoman);
  setenv("LANGUAGE", "zh_TW:ja_JP", 1);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacChineseTrad);
  setenv("LANGUAGE", ":ja_JP", 1);  // empty first entry: LANGUAGE gives nothing
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacRoman);

  setSystemEncodingOverride(kCFStringEncodingMacJapanese);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacJapanese);
  setSystemEncodingOverride(std::nullopt);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacRoman);
}

}  // namespace
}  // namespace platform
