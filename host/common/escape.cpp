// SPDX-License-Identifier: Apache-2.0
// Escaping outside text for text output.
#include "host/common/escape.h"

#include <cstdint>

namespace jobwick::host {
namespace {

void appendHex(std::string* out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  *out += "\\x";
  *out += kDigits[byte >> 4];
  *out += kDigits[byte & 0xF];
}

/// The length of the valid UTF-8 sequence at `at` (0 when it is not one).
std::size_t sequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool invalid = code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF);
  const bool c1 = code >= 0x80 && code <= 0x9F;
  return overlong || invalid || c1 ? 0 : length;
}

void appendEscaped(std::string* out, std::string_view text, bool quoted) {
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80) {
      if (std::size_t length = sequenceLength(text, at)) {
        out->append(text.substr(at, length));
        at += length;
      } else {
        appendHex(out, byte);
        ++at;
      }
      continue;
    }
    switch (byte) {
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      case '\\':
        *out += quoted ? "\\\\" : "\\";
        break;
      case '"':
        *out += quoted ? "\\\"" : "\"";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          appendHex(out, byte);
        } else {
          *out += char(byte);
        }
    }
    ++at;
  }
}

}  // namespace

std::string escapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendEscaped(&out, text, false);
  return out;
}

std::string quoteText(std::string_view text) {
  std::string out = "\"";
  appendEscaped(&out, text, true);
  return out + "\"";
}

}  // namespace jobwick::host
