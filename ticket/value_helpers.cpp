// SPDX-License-Identifier: Apache-2.0
#include "ticket/value_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "platform/encoding.h"
#include "platform/system.h"

namespace {

// Longest piece a chunked value is stored in, and the longest base key that
// leaves room for a piece number in the 100-character key the driver's
// filter expects.
constexpr std::size_t kPieceLength = 254;
constexpr std::size_t kMaxPieceBaseKeyLength = 98;

char hexDigit(unsigned value) {
  return static_cast<char>(value < 10 ? '0' + value : 'A' + (value - 10));
}

// One byte from a pair of hexadecimal characters, with the arithmetic the
// stored tickets were made with (modulo 256, no validation).
std::uint8_t byteFromPair(unsigned char high, unsigned char low) {
  unsigned value = high * 16u;
  if (high >= ':') value += 0x90;
  value += low;
  value += (low < ':') ? 0xD0 : 0xC9;
  return static_cast<std::uint8_t>(value & 0xFF);
}

bool isAscii(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) > 0x7F) return false;
  }
  return true;
}

}  // namespace

void myitoa(const std::uint8_t* source, char* destination, std::uint32_t count) {
  if (destination == nullptr) return;
  if (source == nullptr) count = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    *destination++ = hexDigit(source[i] >> 4);
    *destination++ = hexDigit(source[i] & 0x0F);
  }
  *destination = '\0';
}

void myatoi(const char* source, std::uint8_t* destination, std::uint32_t count,
            std::size_t destinationSize) {
  if (source == nullptr || destination == nullptr || destinationSize == 0) return;
  const std::size_t room = destinationSize - 1;  // bytes before the terminator
  std::size_t written = 0;
  for (std::uint32_t i = 0; i < count && written < room; i += 2) {
    const auto high = static_cast<unsigned char>(source[i]);
    // An unpaired last character reads as if followed by '0'.
    const auto low = (i + 1 < count) ? static_cast<unsigned char>(source[i + 1]) : '0';
    destination[written++] = byteFromPair(high, static_cast<unsigned char>(low));
  }
  destination[written] = 0;
}

std::int32_t GetSpoolTime(char* destination) {
  if (destination == nullptr) return 0;
  destination[0] = '\0';

  const double now = platform::currentTime();
  // Whole seconds of the clock, as the calendar shows them (floor, so that
  // a moment just before 1970 stays in 1969).
  const double whole = std::floor(now);
  if (!std::isfinite(whole) || whole < -9.0e18 || whole > 9.0e18) return 0;
  const long offset = platform::timeZoneOffsetAt(now);

  std::time_t shifted = 0;
  if (__builtin_add_overflow(static_cast<std::time_t>(whole), static_cast<std::time_t>(offset),
                             &shifted)) {
    return 0;
  }
  std::tm date{};
  if (gmtime_r(&shifted, &date) == nullptr) return 0;

  static constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = (date.tm_wday >= 0 && date.tm_wday <= 6) ? kDayNames[date.tm_wday] : "Mon";
  const char* month = (date.tm_mon >= 0 && date.tm_mon <= 11) ? kMonthNames[date.tm_mon] : "Jan";
  const long long year = static_cast<long long>(date.tm_year) + 1900;

  const int length = std::snprintf(
      destination, kSpoolTimeBufferSize, "%s, %d %s %04lld %02d:%02d:%02d %+05ld", day,
      date.tm_mday, month, year, date.tm_hour, date.tm_min, date.tm_sec, offset / 36);
  if (length < 0 || static_cast<std::size_t>(length) >= kSpoolTimeBufferSize) {
    destination[0] = '\0';
    return 0;
  }
  return length;
}

void ReplaceSpaceCode(std::uint8_t* buffer, std::int64_t count) {
  if (buffer == nullptr) return;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t c = buffer[i];
    if ((c >= 1 && c <= 8) || (c >= 10 && c <= 31) || c == '"') buffer[i] = ' ';
  }
}

bool encodingWindowsLatin1() {
  switch (platform::CFStringGetSystemEncoding()) {
    case platform::kCFStringEncodingMacJapanese:
    case platform::kCFStringEncodingMacChineseTrad:
    case platform::kCFStringEncodingMacKorean:
    case platform::kCFStringEncodingMacChineseSimp:
      return false;
    default:
      return true;
  }
}

void MyPMPrintSetAsciiCStrValue(platform::PrintSettings* settings, std::string_view key,
                                const char* value) {
  if (settings == nullptr || key.empty()) return;
  std::optional<std::string> stored;
  if (value != nullptr && *value != '\0' && isAscii(value)) stored.emplace(value);
  platform::PMPrintSettingsSetValue(settings, key, std::move(stored), false);
}

void MyMultiPMPrintSetAsciiCStrValue(platform::PrintSettings* settings, const char* baseKey,
                                     const char* value) {
  if (settings == nullptr || baseKey == nullptr || *baseKey == '\0') return;
  const std::string base(baseKey);
  if (base.size() > kMaxPieceBaseKeyLength) return;
  const auto pieceKey = [&base](std::size_t piece) { return base + std::to_string(piece); };

  MyPMPrintSetAsciiCStrValue(settings, pieceKey(1), nullptr);
  if (value == nullptr || *value == '\0') return;

  const std::size_t length = std::strlen(value);
  const std::size_t pieces = (length + kPieceLength - 1) / kPieceLength;
  for (std::size_t piece = 2; piece <= pieces + 1; ++piece) {
    MyPMPrintSetAsciiCStrValue(settings, pieceKey(piece), nullptr);
  }
  for (std::size_t piece = 1; piece <= pieces; ++piece) {
    const std::size_t start = (piece - 1) * kPieceLength;
    const std::string text(value + start, std::min(kPieceLength, length - start));
    MyPMPrintSetAsciiCStrValue(settings, pieceKey(piece), text.c_str());
  }
}
