// SPDX-License-Identifier: Apache-2.0
// Images: bundle images and the system's icons. The headless platform keeps
// what identifies the picture (its file or icon type) and its size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/object.h"

namespace platform {

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

class Image : public Object {
 public:
  /// Loads a PNG file; null when it is missing or not a PNG. The size is
  /// read from the file's header.
  static std::shared_ptr<Image> imageWithContentsOfFile(const std::filesystem::path& path);
  /// The workspace icon for a four-character file type code such as 'lock'.
  static std::shared_ptr<Image> iconForFileType(std::uint32_t typeCode);

  /// What the image shows: "file:<name>" or "icon:<code>".
  const std::string& name() const { return name_; }
  Size size() const { return size_; }
  void setSize(Size size) { size_ = size; }
  /// The PNG file a "file:" image was loaded from; empty for an icon.
  const std::filesystem::path& file() const { return file_; }

  explicit Image(std::string name, Size size, std::filesystem::path file = {})
      : name_(std::move(name)), size_(size), file_(std::move(file)) {}

 private:
  std::string name_;
  Size size_;
  std::filesystem::path file_;
};

/// The four characters of a type code ('lock' -> "lock").
std::string fourCharCodeString(std::uint32_t code);
constexpr std::uint32_t fourCharCode(const char (&text)[5]) {
  return (std::uint32_t(std::uint8_t(text[0])) << 24) |
         (std::uint32_t(std::uint8_t(text[1])) << 16) |
         (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3]));
}

}  // namespace platform
