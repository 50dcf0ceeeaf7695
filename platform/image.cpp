// SPDX-License-Identifier: Apache-2.0
// Images: PNG files (size from the header) and the system's file-type icons.
#include "platform/image.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace platform {
namespace {

constexpr std::array<unsigned char, 8> kPngSignature = {0x89, 'P',  'N',  'G',
                                                        '\r', '\n', 0x1A, '\n'};
/// The size the workspace gives its icons until the caller resizes them.
constexpr Size kDefaultIconSize{32, 32};

std::uint32_t readBigEndian32(const unsigned char* bytes) {
  return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
         (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
}

}  // namespace

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::filesystem::path& path) {
  // A PNG starts with its signature and then the IHDR chunk: length 13,
  // type "IHDR", width and height as big-endian 32-bit numbers.
  std::ifstream file(path, std::ios::binary);
  if (!file) return nullptr;
  std::array<unsigned char, 24> header{};
  if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) return nullptr;
  if (!std::equal(kPngSignature.begin(), kPngSignature.end(), header.begin())) return nullptr;
  if (readBigEndian32(&header[8]) != 13 || header[12] != 'I' || header[13] != 'H' ||
      header[14] != 'D' || header[15] != 'R') {
    return nullptr;
  }
  const std::uint32_t width = readBigEndian32(&header[16]);
  const std::uint32_t height = readBigEndian32(&header[20]);
  // Zero and values above 2^31 - 1 are not valid PNG dimensions.
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return nullptr;
  return std::make_shared<Image>("file:" + path.filename().string(),
                                 Size{static_cast<double>(width), static_cast<double>(height)},
                                 path);
}

std::shared_ptr<Image> Image::iconForFileType(std::uint32_t typeCode) {
  return std::make_shared<Image>("icon:" + fourCharCodeString(typeCode), kDefaultIconSize);
}

std::string fourCharCodeString(std::uint32_t code) {
  return {static_cast<char>((code >> 24) & 0xFF), static_cast<char>((code >> 16) & 0xFF),
          static_cast<char>((code >> 8) & 0xFF), static_cast<char>(code & 0xFF)};
}

}  // namespace platform
