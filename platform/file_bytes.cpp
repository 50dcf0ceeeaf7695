// SPDX-License-Identifier: Apache-2.0
// File bytes in memory of their own, large ones in huge pages.
#include "platform/file_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

constexpr std::size_t kHugePage = 2u << 20;

std::size_t roundUp(std::size_t size, std::size_t unit) {
  return (size + unit - 1) / unit * unit;
}

// Fresh memory of `size` bytes (a multiple of kHugePage) starting on a huge
// page, advised for huge pages; null when it cannot be had.
char* mapHugeBlock(std::size_t size) {
  void* raw =
      ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto begin = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (begin + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
  // Give back what lies outside the aligned block.
  if (aligned > begin) ::munmap(raw, aligned - begin);
  const std::uintptr_t end = begin + size + kHugePage;
  if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  auto* block = reinterpret_cast<char*>(aligned);
  // Advice only: without huge pages the block is as good, only slower.
  ::madvise(block, size, MADV_HUGEPAGE);
  return block;
}

}  // namespace

FileBytes::~FileBytes() {
  release();
}

void FileBytes::release() noexcept {
  if (block_ != nullptr) ::munmap(block_, blockSize_);
  block_ = nullptr;
  blockSize_ = size_ = 0;
}

FileBytes::ReadResult FileBytes::read(int fd, std::size_t sizeHint, std::size_t maxBytes) {
  release();
  text_.clear();
  if (sizeHint >= kHugePage && sizeHint <= maxBytes) {
    // Room for the bytes expected, a little growth and the NUL after them
    // (fresh memory is zero).
    const std::size_t room = roundUp(sizeHint + (64u << 10), kHugePage);
    if (char* block = mapHugeBlock(room)) {
      block_ = block;
      blockSize_ = room;
      while (size_ < room - 1) {
        const ssize_t n = ::read(fd, block_ + size_, room - 1 - size_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadResult::kFailed;
        if (n == 0) return size_ > maxBytes ? ReadResult::kTooLarge : ReadResult::kRead;
        size_ += std::size_t(n);
      }
      // The file grew past the room: read on into a string.
      text_.assign(block_, size_);
      release();
    }
  }
  if (text_.empty()) text_.reserve(sizeHint < maxBytes ? sizeHint + 1 : maxBytes + 1);
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadResult::kFailed;
    if (n == 0) return ReadResult::kRead;
    if (text_.size() + std::size_t(n) > maxBytes) return ReadResult::kTooLarge;
    text_.append(buffer, std::size_t(n));
  }
}

}  // namespace platform
