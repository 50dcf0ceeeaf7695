// SPDX-License-Identifier: Apache-2.0
// Temporary files and folders that remove themselves: scratch preferences
// folders, a queue's PPD fetched from the scheduler, a session's empty
// preferences. Every one is made in the user's temporary folder ($TMPDIR,
// else /tmp) with a name only its maker knows, mode 0700 for folders.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace jobwick::host {

/// A file removed when the object goes.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// A folder removed with its contents when the object goes.
class TemporaryFolder {
 public:
  /// Makes "PREFIX-XXXXXX" in the temporary folder. Null when it cannot be
  /// made; `error` then says why ("cannot make a temporary folder in /tmp:
  /// Permission denied").
  static std::unique_ptr<TemporaryFolder> make(std::string_view prefix, std::string* error);

  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  explicit TemporaryFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

/// The folder temporary files go to: $TMPDIR when it names a folder, else
/// /tmp.
std::filesystem::path temporaryFolderBase();

}  // namespace jobwick::host
