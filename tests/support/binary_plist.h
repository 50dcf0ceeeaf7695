// SPDX-License-Identifier: Apache-2.0
// Binary property lists as other programs write them, made byte by byte:
// strings in ASCII or UTF-16, dictionaries, one-byte references and
// two-byte offsets. Enough for the small domains the tests put in place
// behind the panel's back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jwtest {

class BinaryPlist {
 public:
  /// Adds an object and answers its reference, for the dictionaries added
  /// after it (at most 256 objects, each shorter than 256 units).
  std::size_t ascii(std::string_view text) { return add(marker(0x50, text.size()) += text); }
  std::size_t utf16(std::u16string_view text) {
    std::string bytes = marker(0x60, text.size());
    for (const char16_t unit : text) {
      bytes += static_cast<char>(unit >> 8);
      bytes += static_cast<char>(unit & 0xFF);
    }
    return add(std::move(bytes));
  }
  std::size_t dict(const std::vector<std::pair<std::size_t, std::size_t>>& entries) {
    std::string bytes = marker(0xD0, entries.size());
    for (const auto& entry : entries) bytes += static_cast<char>(entry.first);
    for (const auto& entry : entries) bytes += static_cast<char>(entry.second);
    return add(std::move(bytes));
  }

  /// The file, with `top` as its value.
  std::string bytes(std::size_t top) const {
    std::string out = "bplist00";
    std::vector<std::size_t> offsets;
    for (const std::string& object : objects_) {
      offsets.push_back(out.size());
      out += object;
    }
    const std::size_t table = out.size();
    for (const std::size_t offset : offsets) {
      out += static_cast<char>(offset >> 8);
      out += static_cast<char>(offset & 0xFF);
    }
    out += std::string(6, '\0');
    out += '\x02';  // offset size
    out += '\x01';  // reference size
    for (const std::uint64_t value :
         {std::uint64_t(objects_.size()), std::uint64_t(top), std::uint64_t(table)}) {
      for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
    }
    return out;
  }

 private:
  static std::string marker(int kind, std::size_t count) {
    if (count < 15) return std::string(1, static_cast<char>(kind | int(count)));
    return std::string{static_cast<char>(kind | 0x0F), '\x10', static_cast<char>(count)};
  }
  std::size_t add(std::string bytes) {
    objects_.push_back(std::move(bytes));
    return objects_.size() - 1;
  }

  std::vector<std::string> objects_;
};

}  // namespace jwtest
