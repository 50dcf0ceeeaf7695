// SPDX-License-Identifier: Apache-2.0
// Replacing files whole: planted links, a full disk, a writer killed before
// its rename, and the clean-up of what such a writer leaves.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::AtomicFileSeams;
using platform::replaceFileAtomically;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Installs one seam; the others stay normal.
template <typename F>
void seam(std::function<F> AtomicFileSeams::*which, std::function<F> function) {
  AtomicFileSeams seams;
  seams.*which = std::move(function);
  platform::setAtomicFileSeamsForTesting(std::move(seams));
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "jobwick-atomic-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    folder = pattern;
    target = folder / "answer.xml";
  }
  void TearDown() override {
    platform::setAtomicFileSeamsForTesting({});
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  fs::path folder;
  fs::path target;
};

TEST_F(AtomicFileTest, ReplacesTheFileWithTheModeAskedForAndNothingElse) {
  for (const unsigned mode : {0600u, 0644u}) {
    spit(target, "old content that is longer than the new");
    ASSERT_EQ(replaceFileAtomically(target, std::string("new\0bytes", 9), mode), 0);
    EXPECT_EQ(slurp(target), std::string("new\0bytes", 9));
    struct stat info {};
    ASSERT_EQ(::lstat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"answer.xml"}));
  }
  ASSERT_EQ(replaceFileAtomically(target, ""), 0);
  EXPECT_EQ(slurp(target), "");
}

TEST_F(AtomicFileTest, APlantedLinkAtTheTargetIsReplacedNotFollowed) {
  const fs::path victim = folder / "victim";
  spit(victim, "keep me");
  fs::create_symlink(victim, target);
  ASSERT_EQ(replaceFileAtomically(target, "written"), 0);
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(target)));
  EXPECT_EQ(slurp(target), "written");
  EXPECT_EQ(slurp(victim), "keep me");
}

TEST_F(AtomicFileTest, APlantedLinkAtTheTemporaryNameIsNeverWrittenThrough) {
  const fs::path victim = folder / "victim";
  spit(victim, "keep me");
  // Also a link to where no file is yet: creating through it would make one.
  const fs::path absent = folder / "absent";
  fs::create_symlink(victim, folder / "answer.xml.AAAAAA");
  fs::create_symlink(absent, folder / "answer.xml.BBBBBB");
  const std::string names[] = {"AAAAAA", "BBBBBB", "CCCCCC"};
  std::size_t call = 0;
  seam<std::string()>(&AtomicFileSeams::suffix,
                      [&] { return names[std::min<std::size_t>(call++, 2)]; });
  ASSERT_EQ(replaceFileAtomically(target, "written"), 0);
  EXPECT_EQ(call, 3);  // both planted names passed over
  EXPECT_EQ(slurp(target), "written");
  EXPECT_EQ(slurp(victim), "keep me");
  EXPECT_FALSE(fs::exists(absent));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "answer.xml.AAAAAA")));

  // When every name tried is taken, the write fails and the old file stays.
  seam<std::string()>(&AtomicFileSeams::suffix, [] { return std::string("AAAAAA"); });
  EXPECT_EQ(replaceFileAtomically(target, "second"), EEXIST);
  EXPECT_EQ(slurp(target), "written");
  EXPECT_EQ(slurp(victim), "keep me");
}

TEST_F(AtomicFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  const struct {
    const char* label;
    std::function<long(int, const char*, std::size_t)> write;
    int error;
  } cases[] = {
      {"disk full at once",
       [](int, const char*, std::size_t) -> long {
         errno = ENOSPC;
         return -1;
       },
       ENOSPC},
      {"disk full part-way",
       [first = true](int fd, const char* data, std::size_t size) mutable -> long {
         if (!first) {
           errno = ENOSPC;
           return -1;
         }
         first = false;
         return long(::write(fd, data, size / 2));
       },
       ENOSPC},
      {"no progress", [](int, const char*, std::size_t) -> long { return 0; }, ENOSPC},
      {"I/O error",
       [](int, const char*, std::size_t) -> long {
         errno = EIO;
         return -1;
       },
       EIO},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    spit(target, "old");
    seam<long(int, const char*, std::size_t)>(&AtomicFileSeams::write, c.write);
    EXPECT_EQ(replaceFileAtomically(target, std::string(4096, 'x')), c.error);
    EXPECT_EQ(slurp(target), "old");
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"answer.xml"}));
  }
}

TEST_F(AtomicFileTest, InterruptedWritesAreResumed) {
  int interruptions = 0;
  seam<long(int, const char*, std::size_t)>(
      &AtomicFileSeams::write, [&](int fd, const char* data, std::size_t size) -> long {
        if (interruptions++ % 2 == 0) {
          errno = EINTR;
          return -1;
        }
        return long(::write(fd, data, std::min<std::size_t>(size, 3)));
      });
  ASSERT_EQ(replaceFileAtomically(target, "abcdefghij"), 0);
  EXPECT_EQ(slurp(target), "abcdefghij");
}

TEST_F(AtomicFileTest, UnwritableFolderFailsCleanly) {
  EXPECT_EQ(replaceFileAtomically(folder / "missing" / "file", "x"), ENOENT);
  EXPECT_EQ(replaceFileAtomically(folder / "", "x"), EISDIR);
  EXPECT_EQ(namesIn(folder), (std::set<std::string>{}));
}

TEST_F(AtomicFileTest, AWriterKilledBeforeItsRenameLeavesTheOldFile) {
  spit(target, "old");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    seam<void(const fs::path&)>(&AtomicFileSeams::beforeRename,
                                [](const fs::path&) { ::_exit(7); });
    replaceFileAtomically(target, "new content");
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 7);
  EXPECT_EQ(slurp(target), "old");

  // The complete, synced leftover is there; a later write ignores it ...
  std::set<std::string> names = namesIn(folder);
  ASSERT_EQ(names.size(), 2u);
  names.erase("answer.xml");
  const std::string leftover = *names.begin();
  EXPECT_TRUE(platform::isTemporaryNameFor("answer.xml", leftover)) << leftover;
  EXPECT_EQ(slurp(folder / leftover), "new content");
  ASSERT_EQ(replaceFileAtomically(target, "later"), 0);
  EXPECT_EQ(slurp(target), "later");
  EXPECT_EQ(namesIn(folder), (std::set<std::string>{"answer.xml", leftover}));

  // ... and one who may clean up removes it, but no link and no other file.
  fs::create_symlink(target, folder / "answer.xml.LINKED");
  spit(folder / "answer.xml.toolongname", "not ours");
  spit(folder / "other.xml.ABCDEF", "not ours");
  EXPECT_EQ(platform::removeTemporaryFilesOf(target), 1u);
  EXPECT_EQ(namesIn(folder), (std::set<std::string>{"answer.xml", "answer.xml.LINKED",
                                                    "answer.xml.toolongname", "other.xml.ABCDEF"}));
  EXPECT_EQ(slurp(target), "later");
}

TEST(AtomicFileNames, TemporaryNamesAreTheTargetAndSixLettersOrDigits) {
  EXPECT_TRUE(platform::isTemporaryNameFor("a.plist", "a.plist.x1Y2z3"));
  for (const char* name : {"a.plist", "a.plist.", "a.plist.x1Y2z", "a.plist.x1Y2z34",
                           "a.plist.x1-2z3", "b.plist.x1Y2z3", "a.plistXx1Y2z3"}) {
    EXPECT_FALSE(platform::isTemporaryNameFor("a.plist", name)) << name;
  }
  EXPECT_FALSE(platform::isTemporaryNameFor("", ".abcdef"));
}

}  // namespace
