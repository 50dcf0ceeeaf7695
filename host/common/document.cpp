// SPDX-License-Identifier: Apache-2.0
// Checking, opening and streaming the document to print.
#include "host/common/document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "host/common/bounded_read.h"
#include "host/common/escape.h"
#include "host/common/translate.h"

namespace jobwick::host {
namespace {

bool refuseDocument(std::string* error, const std::string& file, const std::string& why) {
  if (error) {
    *error = trf("%1: cannot be read (%2)",
                 {file == "-" ? tr("standard input") : escapeText(file), why});
  }
  return false;
}

}  // namespace

bool checkDocument(const std::string& file, std::string* error) {
  struct stat info {};
  if (file == "-") {
    if (::fstat(STDIN_FILENO, &info) != 0) return refuseDocument(error, file, tr("it is closed"));
    if (S_ISDIR(info.st_mode)) return refuseDocument(error, file, tr("a folder"));
    return true;
  }
  if (::stat(file.c_str(), &info) != 0) {
    return refuseDocument(error, file, errno == ENOENT ? tr("no such file") : std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode))
    return refuseDocument(error, file, tr("a folder, not a readable file"));
  if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
    return refuseDocument(error, file, tr("not a regular file or a FIFO"));
  }
  // access() rather than open(): opening a FIFO's reading end would let a
  // waiting writer start, only to find it closed again.
  if (::access(file.c_str(), R_OK) != 0)
    return refuseDocument(error, file, tr("not a readable file"));
  return true;
}

platform::UniqueFd openDocument(const std::string& file, std::string* error) {
  platform::UniqueFd fd(file == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                                    : ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    refuseDocument(error, file, std::strerror(errno));
    return fd;
  }
  // Non-blocking only for the open (a FIFO without a writer); reads wait.
  if (file != "-") {
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  }
  return fd;
}

bool streamBounded(int fd, std::size_t limit, const std::function<bool(std::string_view)>& write,
                   std::string* error) {
  static constexpr std::size_t kChunk = 64 * 1024;
  // Left uninitialised: a small document touches only the memory it fills.
  const std::unique_ptr<char[]> chunk(new char[kChunk]);
  std::size_t total = 0;
  while (true) {
    const ssize_t got = ::read(fd, chunk.get(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (error) *error = trf("read error: %1", {std::strerror(errno)});
      return false;
    }
    if (got == 0) return true;
    total += std::size_t(got);
    if (total > limit) {
      if (error) *error = trf("larger than %1 (the limit)", {describeSize(limit)});
      return false;
    }
    if (!write(std::string_view(chunk.get(), std::size_t(got)))) {
      if (error) error->clear();
      return false;
    }
  }
}

}  // namespace jobwick::host
