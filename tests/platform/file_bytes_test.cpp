// SPDX-License-Identifier: Apache-2.0
// A file read whole: small files into a string, large ones into a block of
// their own; the bytes, the NUL after them, and the limits.
#include "platform/file_bytes.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

class FileBytesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "jobwick-filebytes-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  int open(const std::string& content) {
    const fs::path path = folder_ / "file";
    std::ofstream(path, std::ios::binary) << content;
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }

  fs::path folder_;
};

// Bytes that show where a piece went missing or moved.
std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = char('a' + (i * 7 + i / 4096) % 26);
  return text;
}

TEST_F(FileBytesTest, ReadsWholeFilesWithTheirLimits) {
  constexpr std::size_t kMiB = 1u << 20;
  const struct {
    const char* name;
    std::size_t size;
    std::size_t hint;  // what the caller expects
    std::size_t max;
    FileBytes::ReadResult result;
  } cases[] = {
      {"empty", 0, 0, kMiB, FileBytes::ReadResult::kRead},
      {"small", 1000, 1000, kMiB, FileBytes::ReadResult::kRead},
      {"small, larger than expected", 300000, 1000, kMiB, FileBytes::ReadResult::kRead},
      {"small, over the limit", 5000, 5000, 4000, FileBytes::ReadResult::kTooLarge},
      {"large", 3 * kMiB + 17, 3 * kMiB + 17, 16 * kMiB, FileBytes::ReadResult::kRead},
      {"large, exactly its block", 4 * kMiB - 1, 4 * kMiB - (64u << 10) - 1, 16 * kMiB,
       FileBytes::ReadResult::kRead},
      {"large, grown past its block", 5 * kMiB, 2 * kMiB, 16 * kMiB, FileBytes::ReadResult::kRead},
      {"large, over the limit", 3 * kMiB, 3 * kMiB, 2 * kMiB + 5, FileBytes::ReadResult::kTooLarge},
      {"large, grown over the limit", 6 * kMiB, 2 * kMiB, 5 * kMiB,
       FileBytes::ReadResult::kTooLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string content = pattern(c.size);
    const int fd = open(content);
    ASSERT_GE(fd, 0);
    FileBytes bytes("stale");
    EXPECT_EQ(bytes.read(fd, c.hint, c.max), c.result);
    ::close(fd);
    if (c.result != FileBytes::ReadResult::kRead) continue;
    EXPECT_EQ(bytes.size(), content.size());
    EXPECT_TRUE(bytes.view() == content);
    // A NUL follows the bytes, as in a string: the markup check reads it.
    EXPECT_EQ(bytes.view().data()[bytes.size()], '\0');
  }
}

TEST_F(FileBytesTest, AReadErrorIsReportedAndATextStaysItself) {
  FileBytes bytes;
  EXPECT_EQ(bytes.read(-1, 10, 100), FileBytes::ReadResult::kFailed);
  const FileBytes text(std::string("written"));
  EXPECT_EQ(text.view(), "written");
  EXPECT_EQ(text.view().data()[text.size()], '\0');
}

}  // namespace
}  // namespace platform
