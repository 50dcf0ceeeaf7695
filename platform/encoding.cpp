// SPDX-License-Identifier: Apache-2.0
// String encodings and byte conversions.
//
// The Mac script encodings that can be the system encoding (Mac OS Roman,
// Japanese, Traditional and Simplified Chinese, Korean, Cyrillic, Central
// European) are converted with Apple's vendor mapping tables as POCO's
// Encodings library carries them (written into this library at build time,
// platform/mac_tables.h): one table lookup per character, which is
// what lets a conversion stop exactly at the first character the encoding
// cannot hold, substitute a loss byte for it, or stop before a character
// whose bytes would overrun the buffer. The tables leave out the control
// characters (0x00-0x1F, 0x7F), which every Mac encoding maps to
// themselves, and the few Apple entries that decode to a character followed
// by a private-use rendering hint; bytes of the latter do not decode.
//
// UTF-8 and the single-byte encodings of Western text (ASCII, ISO Latin 1,
// Windows Latin 1) are converted here, one character at a time: their
// bytes are the character's number, apart from Windows Latin 1's row
// 0x80-0x9F (a test sets all of them against iconv over every byte and
// every character of the Basic Multilingual Plane). These are the
// encodings a job ticket's texts are written in, so a print opens no
// iconv converter and loads no conversion module.
//
// The other encodings (Shift JIS, EUC-JP) go through iconv, with one
// converter per encoding and direction kept for the life of the process
// (the plug-ins have no threads) and the text converted in bulk from
// UTF-16: iconv stops at an unconvertible character or at a character that
// does not fit with the input pointer on that character's first unit, so
// the UTF-16 units and the bytes used are known exactly without converting
// one character at a time.
#include "platform/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/c_handles.h"
#include "platform/mac_tables.h"
#include "platform/strings.h"

namespace platform {
namespace {

std::optional<CFStringEncoding> gSystemEncodingOverride;

constexpr const char* kUtf16Native =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

/// The kept converter from UTF-16 to `name` (toBytes) or from `name` to
/// UTF-8; null when iconv cannot open it.
const IconvHandle* converter(CFStringEncoding encoding, std::string_view name, bool toBytes) {
  static std::map<std::pair<CFStringEncoding, bool>, std::unique_ptr<IconvHandle>> handles;
  auto& slot = handles[{encoding, toBytes}];
  if (!slot) {
    const std::string iconvName(name);
    slot = toBytes ? std::make_unique<IconvHandle>(iconvName.c_str(), kUtf16Native)
                   : std::make_unique<IconvHandle>("UTF-8", iconvName.c_str());
  }
  return slot->valid() ? slot.get() : nullptr;
}

/// Apple's table for a Mac script encoding, or null for another encoding.
const mac::Table* macTable(CFStringEncoding encoding) noexcept {
  return mac::tableFor(encoding);
}

bool isControl(char32_t c) {
  return c < 0x20 || c == 0x7F;
}
bool isHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

/// Bytes of one code point in a Mac table: the byte count (1 or 2) written
/// to `out`, or 0 when the table has no bytes for it.
int encodeMac(const mac::Table& table, char32_t cp, std::uint8_t out[2]) {
  if (isControl(cp)) {
    out[0] = static_cast<std::uint8_t>(cp);
    return 1;
  }
  return mac::encodeCharacter(table, cp, out);  // the Basic Multilingual Plane only
}

/// CFStringGetBytes one character at a time: `encode(cp, out)` writes the
/// bytes of code point `cp` (at most four) and answers their count, or 0
/// when the encoding has none. A surrogate without its partner (a limit
/// that cuts a pair) has no bytes in any encoding.
template <class Encode>
ConversionResult getBytesByCharacter(std::u16string_view units, std::uint8_t lossByte,
                                     std::uint8_t* buffer, std::size_t byteLimit,
                                     const Encode& encode) {
  ConversionResult result;
  std::size_t i = 0;
  while (i < units.size()) {
    const char16_t unit = units[i];
    std::size_t taken = 1;
    char32_t cp = unit;
    bool valid = !isHighSurrogate(unit) && !isLowSurrogate(unit);
    if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      taken = 2;
      cp = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00);
      valid = true;
    }
    std::uint8_t bytes[4];
    int n = valid ? encode(cp, bytes) : 0;
    if (n == 0) {
      if (lossByte == 0) break;
      bytes[0] = lossByte;
      n = 1;
    }
    const auto size = static_cast<std::size_t>(n);
    if (size > byteLimit - result.bytesUsed) break;
    if (buffer != nullptr) std::memcpy(buffer + result.bytesUsed, bytes, size);
    result.bytesUsed += size;
    result.charactersUsed += taken;
    i += taken;
  }
  return result;
}

/// The Mac-table form of CFStringGetBytes: the tables hold the Basic
/// Multilingual Plane only.
ConversionResult macGetBytes(const mac::Table& table, std::u16string_view units,
                             std::uint8_t lossByte, std::uint8_t* buffer, std::size_t byteLimit) {
  return getBytesByCharacter(units, lossByte, buffer, byteLimit,
                             [&table](char32_t cp, std::uint8_t* out) {
                               return cp > 0xFFFF ? 0 : encodeMac(table, cp, out);
                             });
}

/// Windows Latin 1's characters for the bytes 0x80-0x9F; 0 where the code
/// page has none. Every other byte is the character of its number.
constexpr std::array<char16_t, 32> kWindowsLatin1Row8 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

/// The encodings converted here rather than by iconv.
bool isConvertedHere(CFStringEncoding encoding) {
  return encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingISOLatin1 ||
         encoding == kCFStringEncodingWindowsLatin1 || encoding == kCFStringEncodingUTF8;
}

/// The bytes of code point `cp` in an encoding converted here: the count
/// written to `out` (at most 4), or 0 when the encoding has none for it.
int encodeHere(CFStringEncoding encoding, char32_t cp, std::uint8_t out[4]) {
  switch (encoding) {
    case kCFStringEncodingUTF8: {
      std::string bytes;
      appendUtf8(bytes, cp);
      std::memcpy(out, bytes.data(), bytes.size());
      return static_cast<int>(bytes.size());
    }
    case kCFStringEncodingASCII:
      out[0] = static_cast<std::uint8_t>(cp);
      return cp < 0x80 ? 1 : 0;
    case kCFStringEncodingISOLatin1:
      out[0] = static_cast<std::uint8_t>(cp);
      return cp < 0x100 ? 1 : 0;
    default:  // Windows Latin 1
      if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
        out[0] = static_cast<std::uint8_t>(cp);
        return 1;
      }
      for (std::size_t i = 0; i < kWindowsLatin1Row8.size(); ++i) {
        if (cp != 0 && kWindowsLatin1Row8[i] == cp) {
          out[0] = static_cast<std::uint8_t>(0x80 + i);
          return 1;
        }
      }
      return 0;
  }
}

/// CFStringGetBytes for an encoding converted here.
ConversionResult getBytesHere(CFStringEncoding encoding, std::u16string_view units,
                              std::uint8_t lossByte, std::uint8_t* buffer, std::size_t byteLimit) {
  return getBytesByCharacter(
      units, lossByte, buffer, byteLimit,
      [encoding](char32_t cp, std::uint8_t* out) { return encodeHere(encoding, cp, out); });
}

/// Decodes the bytes of a single-byte encoding converted here; nullopt at
/// a byte it has no character for.
std::optional<std::string> decodeHere(CFStringEncoding encoding, const unsigned char* bytes,
                                      std::size_t length) {
  std::string output;
  output.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t cp = bytes[i];
    if (cp >= 0x80 && encoding == kCFStringEncodingASCII) return std::nullopt;
    if (cp >= 0x80 && cp < 0xA0 && encoding == kCFStringEncodingWindowsLatin1) {
      cp = kWindowsLatin1Row8[cp - 0x80];
      if (cp == 0) return std::nullopt;
    }
    appendUtf8(output, cp);
  }
  return output;
}

/// The iconv form of CFStringGetBytes, in bulk.
ConversionResult iconvGetBytes(const IconvHandle& handle, std::u16string_view units,
                               std::uint8_t lossByte, std::uint8_t* buffer, std::size_t byteLimit) {
  ConversionResult result;
  std::array<char, 1024> scratch{};  // output when only counting
  handle.reset();
  std::size_t i = 0;
  while (i < units.size()) {
    char* inPtr = reinterpret_cast<char*>(const_cast<char16_t*>(units.data() + i));
    std::size_t inLeft = (units.size() - i) * sizeof(char16_t);
    char* outStart =
        buffer != nullptr ? reinterpret_cast<char*>(buffer + result.bytesUsed) : scratch.data();
    std::size_t outLeft = buffer != nullptr ? byteLimit - result.bytesUsed : scratch.size();
    char* outPtr = outStart;
    const std::size_t rc = iconv(handle.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    const std::size_t converted = (units.size() - i) - inLeft / sizeof(char16_t);
    result.bytesUsed += static_cast<std::size_t>(outPtr - outStart);
    result.charactersUsed += converted;
    i += converted;
    if (rc != static_cast<std::size_t>(-1)) break;  // all of it
    if (error == E2BIG) {
      if (buffer != nullptr) break;  // the next character does not fit
      continue;                      // counting: the scratch space is full
    }
    // EILSEQ (no bytes for the character) or EINVAL (a pair cut at the end).
    const std::size_t taken =
        isHighSurrogate(units[i]) && i + 1 < units.size() && isLowSurrogate(units[i + 1]) ? 2 : 1;
    if (lossByte == 0 || byteLimit - result.bytesUsed < 1) break;
    if (buffer != nullptr) buffer[result.bytesUsed] = lossByte;
    result.bytesUsed += 1;
    result.charactersUsed += taken;
    i += taken;
    handle.reset();
  }
  return result;
}

/// Decodes bytes with a Mac table; nullopt at a byte sequence it has no
/// character for, or a double-byte character cut at the end.
std::optional<std::string> macDecode(const mac::Table& table, const unsigned char* bytes,
                                     std::size_t length) {
  const std::int32_t* map = table.singleBytes;
  std::string output;
  output.reserve(length);
  for (std::size_t i = 0; i < length;) {
    const unsigned char b = bytes[i];
    int cp = -1;
    if (isControl(b)) {
      cp = b;
      i += 1;
    } else if (map[b] >= 0) {
      cp = map[b];
      i += 1;
    } else if (map[b] == -2 && i + 1 < length) {
      cp = mac::decodePair(table, bytes[i], bytes[i + 1]);
      i += 2;
    }
    if (cp < 0) return std::nullopt;
    appendUtf8(output, static_cast<char32_t>(cp));
  }
  return output;
}

/// Decodes bytes with iconv, in bulk.
std::optional<std::string> iconvDecode(const IconvHandle& handle, const char* bytes,
                                       std::size_t length) {
  handle.reset();
  std::string output;
  char* inPtr = const_cast<char*>(bytes);
  std::size_t inLeft = length;
  std::array<char, 4096> chunk{};
  while (inLeft > 0) {
    char* outPtr = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t rc = iconv(handle.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    output.append(chunk.data(), chunk.size() - outLeft);
    if (rc == static_cast<std::size_t>(-1) && error != E2BIG) {
      return std::nullopt;  // EILSEQ (invalid byte) or EINVAL (cut sequence)
    }
  }
  return output;
}

}  // namespace

std::string_view iconvNameForEncoding(CFStringEncoding encoding) {
  switch (encoding) {
    case kCFStringEncodingWindowsLatin1:
      return "CP1252";
    case kCFStringEncodingISOLatin1:
      return "ISO-8859-1";
    case kCFStringEncodingASCII:
      return "ASCII";
    case kCFStringEncodingShiftJIS:
      return "SHIFT_JIS";
    case kCFStringEncodingEUC_JP:
      return "EUC-JP";
    case kCFStringEncodingUTF8:
      return "UTF-8";
    default:
      return {};
  }
}

namespace {

/// Whether conversions to and from `encoding` are available.
bool isSupportedEncoding(CFStringEncoding encoding) {
  return macTable(encoding) != nullptr || !iconvNameForEncoding(encoding).empty();
}

}  // namespace

CFStringEncoding systemEncodingForLanguage(std::string_view language) {
  // A tag looks like "ja", "ja_JP.UTF-8", "zh-Hant-TW" or "zh_TW@euro".
  const std::size_t codesetAt = language.find_first_of(".@");
  const std::string_view tag = language.substr(0, codesetAt);
  const std::size_t sep = tag.find_first_of("_-");
  const std::string_view lang = tag.substr(0, sep);
  if (equalsIgnoringCase(lang, "ja")) return kCFStringEncodingMacJapanese;
  if (equalsIgnoringCase(lang, "ko")) return kCFStringEncodingMacKorean;
  // Languages written in Cyrillic, and the Central European Latin ones.
  for (const char* cyrillic : {"ru", "uk", "be", "bg", "mk", "sr"}) {
    if (equalsIgnoringCase(lang, cyrillic)) return kCFStringEncodingMacCyrillic;
  }
  for (const char* central : {"pl", "cs", "sk", "hu", "et", "lv", "lt"}) {
    if (equalsIgnoringCase(lang, central)) return kCFStringEncodingMacCentralEurRoman;
  }
  if (equalsIgnoringCase(lang, "zh")) {
    // Traditional Chinese by script (Hant) or by region (Taiwan, Hong Kong,
    // Macau); everything else Chinese is Simplified.
    std::string_view rest =
        sep == std::string_view::npos ? std::string_view{} : tag.substr(sep + 1);
    while (!rest.empty()) {
      const std::size_t next = rest.find_first_of("_-");
      const std::string_view part = rest.substr(0, next);
      if (equalsIgnoringCase(part, "Hant") || equalsIgnoringCase(part, "TW") ||
          equalsIgnoringCase(part, "HK") || equalsIgnoringCase(part, "MO")) {
        return kCFStringEncodingMacChineseTrad;
      }
      if (equalsIgnoringCase(part, "Hans")) return kCFStringEncodingMacChineseSimp;
      rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
    }
    return kCFStringEncodingMacChineseSimp;
  }
  return kCFStringEncodingMacRoman;
}

CFStringEncoding CFStringGetSystemEncoding() {
  if (gSystemEncodingOverride) return *gSystemEncodingOverride;
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    std::string_view language(value);
    if (std::strcmp(name, "LANGUAGE") == 0) {
      // A colon-separated preference list: its first entry wins.
      const std::size_t colon = language.find(':');
      language = language.substr(0, colon);
      if (language.empty()) continue;
    }
    return systemEncodingForLanguage(language);
  }
  return kCFStringEncodingMacRoman;
}

void setSystemEncodingOverride(std::optional<CFStringEncoding> encoding) {
  gSystemEncodingOverride = encoding;
}

NSStringEncoding CFStringConvertEncodingToNSStringEncoding(CFStringEncoding encoding) {
  switch (encoding) {
    case kCFStringEncodingASCII:
      return NSASCIIStringEncoding;
    case kCFStringEncodingEUC_JP:
      return NSJapaneseEUCStringEncoding;
    case kCFStringEncodingUTF8:
      return NSUTF8StringEncoding;
    case kCFStringEncodingISOLatin1:
      return NSISOLatin1StringEncoding;
    case kCFStringEncodingShiftJIS:
      return NSShiftJISStringEncoding;
    case kCFStringEncodingWindowsLatin1:
      return NSWindowsCP1252StringEncoding;
    case kCFStringEncodingMacRoman:
      return NSMacOSRomanStringEncoding;
    default:
      if (!isSupportedEncoding(encoding)) return 0;
      return 0x80000000ull | encoding;
  }
}

CFStringEncoding CFStringConvertNSStringEncodingToEncoding(NSStringEncoding encoding) {
  switch (encoding) {
    case NSASCIIStringEncoding:
      return kCFStringEncodingASCII;
    case NSJapaneseEUCStringEncoding:
      return kCFStringEncodingEUC_JP;
    case NSUTF8StringEncoding:
      return kCFStringEncodingUTF8;
    case NSISOLatin1StringEncoding:
      return kCFStringEncodingISOLatin1;
    case NSShiftJISStringEncoding:
      return kCFStringEncodingShiftJIS;
    case NSWindowsCP1252StringEncoding:
      return kCFStringEncodingWindowsLatin1;
    case NSMacOSRomanStringEncoding:
      return kCFStringEncodingMacRoman;
    default:
      break;
  }
  if ((encoding & ~0xFFFFFFFFull) == 0 && (encoding & 0x80000000ull) != 0) {
    const auto cf = static_cast<CFStringEncoding>(encoding & 0x7FFFFFFFull);
    if (isSupportedEncoding(cf)) return cf;
  }
  return kCFStringEncodingInvalidId;
}

ConversionResult CFStringGetBytes(std::string_view text, std::size_t maxCharacters,
                                  CFStringEncoding encoding, std::uint8_t lossByte,
                                  std::uint8_t* buffer, std::size_t maxBytes) {
  // Without a buffer the call only counts, and the byte limit does not apply.
  const std::size_t byteLimit = buffer == nullptr ? SIZE_MAX : maxBytes;
  const mac::Table* table = macTable(encoding);
  const IconvHandle* handle = nullptr;
  if (isConvertedHere(encoding)) {
    const std::u16string units = toUtf16(text);
    return getBytesHere(encoding, std::u16string_view(units).substr(0, maxCharacters), lossByte,
                        buffer, byteLimit);
  }
  if (table == nullptr) {
    const std::string_view name = iconvNameForEncoding(encoding);
    if (name.empty()) return {};
    handle = converter(encoding, name, true);
    if (handle == nullptr) return {};
  }
  const std::u16string units = toUtf16(text);
  const std::u16string_view taken(units.data(), std::min(maxCharacters, units.size()));
  return table != nullptr ? macGetBytes(*table, taken, lossByte, buffer, byteLimit)
                          : iconvGetBytes(*handle, taken, lossByte, buffer, byteLimit);
}

bool CFStringGetCString(std::string_view text, char* buffer, std::size_t bufferSize,
                        CFStringEncoding encoding) {
  if (buffer == nullptr || bufferSize == 0) return false;
  const std::size_t length = utf16Length(text);
  const ConversionResult used = CFStringGetBytes(
      text, length, encoding, 0, reinterpret_cast<std::uint8_t*>(buffer), bufferSize - 1);
  if (used.charactersUsed != length) {
    buffer[0] = '\0';
    return false;
  }
  buffer[used.bytesUsed] = '\0';
  return true;
}

std::optional<std::string> stringWithBytes(const void* bytes, std::size_t length,
                                           NSStringEncoding encoding) {
  if (bytes == nullptr && length > 0) return std::nullopt;
  if (length == 0) bytes = "";
  const CFStringEncoding cf = CFStringConvertNSStringEncodingToEncoding(encoding);
  if (const mac::Table* table = macTable(cf)) {
    return macDecode(*table, static_cast<const unsigned char*>(bytes), length);
  }
  const std::string_view name = iconvNameForEncoding(cf);
  if (name.empty()) return std::nullopt;
  if (cf == kCFStringEncodingUTF8) {
    std::string input(static_cast<const char*>(bytes), length);
    if (!isValidUtf8(input)) return std::nullopt;
    return input;
  }
  if (isConvertedHere(cf)) {
    return decodeHere(cf, static_cast<const unsigned char*>(bytes), length);
  }
  const IconvHandle* handle = converter(cf, name, false);
  if (handle == nullptr) return std::nullopt;
  return iconvDecode(*handle, static_cast<const char*>(bytes), length);
}

std::optional<std::string> stringWithCString(const char* bytes, NSStringEncoding encoding) {
  if (bytes == nullptr) return std::nullopt;
  return stringWithBytes(bytes, std::strlen(bytes), encoding);
}

}  // namespace platform
