// SPDX-License-Identifier: Apache-2.0
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "platform/c_handles.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSuffixLength = 6;
// Names tried before giving up; each is taken only when some other file
// has it already.
constexpr int kMaxAttempts = 100;

AtomicFileSeams gSeams;

std::string randomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char noise[kSuffixLength] = {};
  if (::getrandom(noise, sizeof noise, 0) != ssize_t(sizeof noise)) {
    // Without the kernel's randomness names only have to differ, which the
    // exclusive create makes sure of.
    static unsigned counter = 0;
    const unsigned seed = unsigned(::getpid()) * 2654435761u + counter++;
    for (std::size_t i = 0; i < sizeof noise; ++i) noise[i] = (unsigned char)(seed >> (i * 5));
  }
  std::string suffix;
  for (unsigned char byte : noise) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
  return suffix;
}

long writeSome(int fd, const char* data, std::size_t size) {
  if (gSeams.write) return gSeams.write(fd, data, size);
  return long(::write(fd, data, size));
}

// Writes all of `bytes`; 0, or the errno of the failing write.
int writeAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const long n = writeSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno != 0 ? errno : EIO;
    if (n == 0) return ENOSPC;  // write(2) makes no progress only when full
    done += std::size_t(n);
  }
  return 0;
}

// Creates a new temporary file beside `path`; sets `temporary` to its name.
UniqueFd createTemporary(const fs::path& path, fs::path& temporary, int& error) {
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const std::string suffix = gSeams.suffix ? gSeams.suffix() : randomSuffix();
    temporary = path;
    temporary += "." + suffix;
    UniqueFd fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd) return fd;
    if (errno != EEXIST) {
      error = errno;
      return fd;
    }
  }
  error = EEXIST;
  return UniqueFd();
}

// Opens an unnamed file in the target's folder (O_TMPFILE): until it is
// given a name, a writer that dies leaves nothing behind. Empty when the
// file system cannot make one.
UniqueFd createUnnamed(const fs::path& path) {
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  return UniqueFd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
}

// Gives the unnamed file `fd` a fresh temporary name beside `path`; the
// name goes to `temporary`. 0, or the errno of the last link tried. A
// name already taken (by anything, a link included) is passed over: the
// link is made at a new name only, never through what is there.
int nameUnnamed(int fd, const fs::path& path, fs::path& temporary) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const std::string suffix = gSeams.suffix ? gSeams.suffix() : randomSuffix();
    temporary = path;
    temporary += "." + suffix;
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Writes `bytes` with `mode` to `fd` and flushes them to disk; 0 or errno.
int fillAndSync(int fd, std::string_view bytes, unsigned mode) {
  if (::fchmod(fd, mode_t(mode)) != 0) return errno;
  if (const int written = writeAll(fd, bytes); written != 0) return written;
  if (::fsync(fd) != 0) return errno;
  return 0;
}

// The content is written to an unnamed file first and named only once it
// is complete and synced, so a writer killed while writing leaves no file;
// only one killed in the instant between naming and renaming leaves a
// temporary file for removeTemporaryFilesOf(). Where the file system has no
// unnamed files, the temporary file is named from the start.
int writeTemporary(const fs::path& path, std::string_view bytes, unsigned mode,
                   fs::path& temporary) {
  if (UniqueFd unnamed = createUnnamed(path)) {
    if (const int error = fillAndSync(unnamed.get(), bytes, mode); error != 0) return error;
    const int error = nameUnnamed(unnamed.get(), path, temporary);
    // Without /proc the file cannot be named; write it the named way.
    if (error != ENOENT) {
      if (error == 0 && !unnamed.close()) {
        const int closing = errno;
        ::unlink(temporary.c_str());
        return closing != 0 ? closing : EIO;
      }
      return error;
    }
  }
  int error = 0;
  UniqueFd fd = createTemporary(path, temporary, error);
  if (!fd) return error;
  error = fillAndSync(fd.get(), bytes, mode);
  if (error == 0 && !fd.close()) error = errno != 0 ? errno : EIO;
  if (error != 0) {
    fd.reset();
    ::unlink(temporary.c_str());
  }
  return error;
}

int replace(const fs::path& path, std::string_view bytes, unsigned mode) {
  if (path.filename().empty()) return EISDIR;
  fs::path temporary;
  if (const int error = writeTemporary(path, bytes, mode, temporary); error != 0) {
    return error;
  }
  auto fail = [&](int failure) {
    ::unlink(temporary.c_str());
    return failure != 0 ? failure : EIO;
  };
  if (gSeams.beforeRename) gSeams.beforeRename(temporary);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(errno);
  // Make the rename itself durable. Some file systems cannot flush a
  // folder; the new file is in place either way.
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
  return 0;
}

}  // namespace

int replaceFileAtomically(const fs::path& path, std::string_view bytes, unsigned mode) {
  try {
    return replace(path, bytes, mode);
  } catch (const std::exception&) {
    return ENOMEM;
  }
}

bool isTemporaryNameFor(std::string_view target, std::string_view name) {
  if (target.empty() || name.size() != target.size() + 1 + kSuffixLength) return false;
  if (!name.starts_with(target) || name[target.size()] != '.') return false;
  const std::string_view suffix = name.substr(target.size() + 1);
  return std::all_of(suffix.begin(), suffix.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; });
}

std::size_t removeTemporaryFilesOf(const fs::path& path) {
  try {
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string target = path.filename().string();
    std::size_t removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (!isTemporaryNameFor(target, entry.path().filename().string())) continue;
      if (!entry.is_symlink(ec) && entry.is_regular_file(ec) &&
          ::unlink(entry.path().c_str()) == 0) {
        ++removed;
      }
    }
    return removed;
  } catch (const std::exception&) {
    return 0;
  }
}

void setAtomicFileSeamsForTesting(AtomicFileSeams seams) {
  gSeams = std::move(seams);
}

}  // namespace platform
