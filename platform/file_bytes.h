// SPDX-License-Identifier: Apache-2.0
// A file's bytes read whole into memory of their own. A large file gets
// memory aligned to and advised for huge pages: fresh memory of several
// megabytes, touched one small page at a time as it is filled, costs many
// times the reading itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class FileBytes {
 public:
  /// Bytes already in memory (a text this process wrote).
  explicit FileBytes(std::string text = {}) : text_(std::move(text)) {}
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  enum class ReadResult { kRead, kTooLarge, kFailed };
  /// Replaces the bytes with those of the open file `fd` from its current
  /// position to its end, expecting about `sizeHint` of them. kTooLarge
  /// when there are more than `maxBytes`, kFailed on a read error (errno
  /// tells why); the bytes are then unspecified.
  ReadResult read(int fd, std::size_t sizeHint, std::size_t maxBytes);

  /// The bytes, with a NUL byte after them, as a std::string has.
  std::string_view view() const noexcept {
    return block_ != nullptr ? std::string_view(block_, size_) : std::string_view(text_);
  }
  std::size_t size() const noexcept { return view().size(); }

 private:
  void release() noexcept;

  std::string text_;
  char* block_ = nullptr;  // a mapping of blockSize_ bytes, when the bytes are large
  std::size_t blockSize_ = 0;
  std::size_t size_ = 0;
};

}  // namespace platform
