// String encodings and byte conversions on top of iconv.
//
// Conversions to bytes go one character at a time through an iconv handle
// opened for the call: that is what lets a conversion stop exactly at the
// first character the encoding cannot hold, substitute a loss byte for it,
// or stop before a character whose bytes would overrun the buffer, and
// report how much of the text and of the buffer it used. The handle's shift
// state is reset before every character; the encodings used here are
// stateless, so each character's bytes stand on their own.
#include "platform/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/strings.h"

namespace platform {
namespace {

std::optional<CFStringEncoding> gSystemEncodingOverride;

/// An iconv conversion descriptor, closed when it goes out of scope.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

/// Encodes one code point with `handle`; nullopt when the encoding has no
/// bytes for it.
std::optional<std::string> encodeCodePoint(iconv_t handle, char32_t cp) {
  std::string in;
  appendUtf8(in, cp);
  std::array<char, 16> out{};
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  if (iconv(handle, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
      inLeft != 0) {
    return std::nullopt;
  }
  // Flush any closing shift sequence so the bytes stand alone.
  if (iconv(handle, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
    return std::nullopt;
  }
  return std::string(out.data(), out.size() - outLeft);
}

}  // namespace

std::string_view iconvNameForEncoding(CFStringEncoding encoding) {
  switch (encoding) {
    case kCFStringEncodingMacRoman:
      return "MACINTOSH";
    case kCFStringEncodingMacJapanese:
      // Code page 932 rather than plain Shift JIS: it is Shift JIS with the
      // vendor extensions Japanese systems produce, and it keeps every ASCII
      // byte as ASCII. Plain SHIFT_JIS in iconv reads byte 0x5C as the yen
      // sign and 0x7E as an overline, so ASCII entries (pass codes, login
      // names with a backslash domain separator) would not read back as
      // written.
      return "CP932";
    case kCFStringEncodingMacChineseTrad:
      return "BIG5";
    case kCFStringEncodingMacKorean:
      return "CP949";
    case kCFStringEncodingMacChineseSimp:
      return "EUC-CN";
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

CFStringEncoding systemEncodingForLanguage(std::string_view language) {
  // A tag looks like "ja", "ja_JP.UTF-8", "zh-Hant-TW" or "zh_TW@euro".
  const std::size_t codesetAt = language.find_first_of(".@");
  const std::string_view tag = language.substr(0, codesetAt);
  const std::size_t sep = tag.find_first_of("_-");
  const std::string_view lang = tag.substr(0, sep);
  if (equalsIgnoringCase(lang, "ja")) return kCFStringEncodingMacJapanese;
  if (equalsIgnoringCase(lang, "ko")) return kCFStringEncodingMacKorean;
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
      if (iconvNameForEncoding(encoding).empty()) return 0;
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
    if (!iconvNameForEncoding(cf).empty()) return cf;
  }
  return kCFStringEncodingInvalidId;
}

ConversionResult CFStringGetBytes(std::string_view text, std::size_t maxCharacters,
                                  CFStringEncoding encoding, std::uint8_t lossByte,
                                  std::uint8_t* buffer, std::size_t maxBytes) {
  ConversionResult result;
  const std::string_view name = iconvNameForEncoding(encoding);
  if (name.empty()) return result;
  const IconvHandle handle(std::string(name).c_str(), "UTF-8");
  if (!handle.valid()) return result;

  // Without a buffer the call only counts, and the byte limit does not apply.
  const std::size_t byteLimit = buffer == nullptr ? SIZE_MAX : maxBytes;
  const std::u16string units = toUtf16(text);
  const std::size_t limit = std::min(maxCharacters, units.size());

  std::size_t i = 0;
  while (i < limit) {
    const char16_t unit = units[i];
    std::size_t taken = 1;
    std::optional<std::string> bytes;
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < limit && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      const char32_t cp =
          0x10000 + ((static_cast<char32_t>(unit - 0xD800) << 10) | (units[i + 1] - 0xDC00));
      taken = 2;
      bytes = encodeCodePoint(handle.get(), cp);
    } else if (!high && !low) {
      bytes = encodeCodePoint(handle.get(), unit);
    }
    // Otherwise a lone surrogate (a limit that cuts a pair): unconvertible.

    if (!bytes) {
      if (lossByte == 0) break;
      bytes = std::string(1, static_cast<char>(lossByte));
    }
    if (bytes->size() > byteLimit - result.bytesUsed) break;
    if (buffer != nullptr) {
      std::memcpy(buffer + result.bytesUsed, bytes->data(), bytes->size());
    }
    result.bytesUsed += bytes->size();
    result.charactersUsed += taken;
    i += taken;
  }
  return result;
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
  const CFStringEncoding cf = CFStringConvertNSStringEncodingToEncoding(encoding);
  const std::string_view name = iconvNameForEncoding(cf);
  if (name.empty()) return std::nullopt;
  std::string input(static_cast<const char*>(bytes), length);
  if (cf == kCFStringEncodingUTF8) {
    if (!isValidUtf8(input)) return std::nullopt;
    return input;
  }

  const IconvHandle handle("UTF-8", std::string(name).c_str());
  if (!handle.valid()) return std::nullopt;
  std::string output;
  char* inPtr = input.data();
  std::size_t inLeft = input.size();
  std::array<char, 256> chunk{};
  while (inLeft > 0) {
    char* outPtr = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t rc = iconv(handle.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    output.append(chunk.data(), chunk.size() - outLeft);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      return std::nullopt;  // EILSEQ (invalid byte) or EINVAL (cut sequence)
    }
  }
  return output;
}

std::optional<std::string> stringWithCString(const char* bytes, NSStringEncoding encoding) {
  if (bytes == nullptr) return std::nullopt;
  return stringWithBytes(bytes, std::strlen(bytes), encoding);
}

}  // namespace platform
