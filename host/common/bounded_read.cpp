// SPDX-License-Identifier: Apache-2.0
// Bounded reads of input files.
#include "host/common/bounded_read.h"
#include "host/common/translate.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace jobwick::host {

std::string describeSize(std::size_t bytes) {
  if (bytes >= (1u << 30) && bytes % (1u << 30) == 0) return std::to_string(bytes >> 30) + " GiB";
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes) + " bytes";
}

bool readBounded(std::istream& in, std::size_t limit, std::string* text, std::string* error) {
  text->clear();
  char chunk[16384];
  while (in) {
    in.read(chunk, sizeof chunk);
    const auto got = static_cast<std::size_t>(in.gcount());
    if (text->size() + got > limit) {
      text->append(chunk, limit - text->size());
      if (error) *error = trf("larger than %1 (the limit)", {describeSize(limit)});
      return false;
    }
    text->append(chunk, got);
  }
  if (in.bad()) {
    if (error) *error = tr("read error");
    return false;
  }
  return true;
}

bool readBoundedFile(const std::filesystem::path& path, std::string_view what, std::size_t limit,
                     std::string* text, std::string* error) {
  const auto cannotRead = [&](const std::string& why) {
    return trf("%1: cannot read %2: %3", {path.string(), tr(std::string(what).c_str()), why});
  };
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    if (error) *error = cannotRead(tr("it is a folder"));
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = cannotRead(std::strerror(errno));
    return false;
  }
  std::string detail;
  if (!readBounded(in, limit, text, &detail)) {
    if (error) *error = cannotRead(detail);
    return false;
  }
  return true;
}

}  // namespace jobwick::host
