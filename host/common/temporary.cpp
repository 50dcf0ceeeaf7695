// SPDX-License-Identifier: Apache-2.0
// Temporary files and folders.
#include "host/common/temporary.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace jobwick::host {

namespace fs = std::filesystem;

fs::path temporaryFolderBase() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : base;
}

TemporaryFile::~TemporaryFile() {
  std::error_code ec;
  if (!path_.empty()) fs::remove(path_, ec);
}

std::unique_ptr<TemporaryFolder> TemporaryFolder::make(std::string_view prefix,
                                                       std::string* error) {
  const fs::path base = temporaryFolderBase();
  std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) {
    if (error) {
      *error = "cannot make a temporary folder in " + base.string() + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  return std::unique_ptr<TemporaryFolder>(new TemporaryFolder(pattern));
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace jobwick::host
