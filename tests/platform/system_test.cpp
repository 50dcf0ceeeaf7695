// SPDX-License-Identifier: Apache-2.0
// Clock, time zone, user names, the private temporary folder, alerts and
// images.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/alert.h"
#include "platform/image.h"
#include "platform/system.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

/// Sets an environment variable for one test and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    set(value);
  }
  ~ScopedEnv() { set(saved_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> saved_;
};

/// A fresh folder for one test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "jobwick-sys-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(System, RealTimeZoneFollowsTZAtTheGivenMoment) {
  struct Case {
    const char* tz;
    double time;
    long offset;
  };
  const Case cases[] = {
      {"UTC0", 1796720707, 0},
      {"JST-9", 1796720707, 32400},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1768000000, 3600},  // January 2026
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1784000000, 7200},  // July 2026
  };
  for (const Case& c : cases) {
    const ScopedEnv tz("TZ", c.tz);
    EXPECT_EQ(timeZoneOffsetAt(c.time), c.offset) << c.tz;
    setTimeZoneOffsetOverride(-19800);  // the pin wins over TZ
    EXPECT_EQ(timeZoneOffsetAt(c.time), -19800) << c.tz;
    setTimeZoneOffsetOverride(std::nullopt);
  }
}

TEST(System, UserNamesOverride) {
  setUserNamesOverride("alice", "Alice Liddell");
  EXPECT_EQ(NSUserName(), "alice");
  EXPECT_EQ(NSFullUserName(), "Alice Liddell");

  setUserNamesOverride("bob", std::nullopt);  // a user without a full name
  EXPECT_EQ(NSUserName(), "bob");
  EXPECT_EQ(NSFullUserName(), std::nullopt);

  setUserNamesOverride(std::nullopt, std::nullopt);
  EXPECT_FALSE(NSUserName().empty());
  const std::optional<std::string> full = NSFullUserName();
  if (full) {
    EXPECT_FALSE(full->empty());
    EXPECT_EQ(full->find(','), std::string::npos);
  }
}

class TemporaryDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(base_.path().empty());
    setTemporaryDirectoryOverride(std::nullopt);
  }
  void TearDown() override { setTemporaryDirectoryOverride(std::nullopt); }

  fs::path privateFolder() const { return base_.path() / ("jobwick-" + std::to_string(getuid())); }

  TempFolder base_;
};

TEST_F(TemporaryDirectory, CreatesPrivateFolderInsideTMPDIR) {
  const ScopedEnv tmpdir("TMPDIR", base_.path().string() + "/");
  const std::optional<std::string> folder = NSTemporaryDirectory();
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, privateFolder().string() + "/");
  struct stat info {};
  ASSERT_EQ(lstat(privateFolder().c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(NSTemporaryDirectory(), folder);  // existing folder is fine
}

TEST_F(TemporaryDirectory, TightensLoosePermissions) {
  const ScopedEnv tmpdir("TMPDIR", base_.path().string());
  ASSERT_EQ(mkdir(privateFolder().c_str(), 0700), 0);
  ASSERT_EQ(chmod(privateFolder().c_str(), 0777), 0);
  ASSERT_TRUE(NSTemporaryDirectory());
  struct stat info {};
  ASSERT_EQ(stat(privateFolder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(TemporaryDirectory, RefusesWhatIsNotThisUsersFolder) {
  const ScopedEnv tmpdir("TMPDIR", base_.path().string());
  const fs::path elsewhere = base_.path() / "elsewhere";
  fs::create_directory(elsewhere);

  fs::create_directory_symlink(elsewhere, privateFolder());
  EXPECT_EQ(NSTemporaryDirectory(), std::nullopt) << "a planted link";
  fs::remove(privateFolder());

  std::ofstream(privateFolder()) << "x";
  EXPECT_EQ(NSTemporaryDirectory(), std::nullopt) << "a plain file";
  fs::remove(privateFolder());

  if (geteuid() == 0) {
    ASSERT_EQ(mkdir(privateFolder().c_str(), 0700), 0);
    ASSERT_EQ(chown(privateFolder().c_str(), 4242, 4242), 0);
    EXPECT_EQ(NSTemporaryDirectory(), std::nullopt) << "another user's folder";
  }
}

TEST_F(TemporaryDirectory, MissingBaseAndOverride) {
  {
    const ScopedEnv tmpdir("TMPDIR", (base_.path() / "missing").string());
    EXPECT_EQ(NSTemporaryDirectory(), std::nullopt);
  }
  setTemporaryDirectoryOverride("/pinned/tmp");
  EXPECT_EQ(NSTemporaryDirectory(), "/pinned/tmp/");
  setTemporaryDirectoryOverride("/pinned/tmp/");
  EXPECT_EQ(NSTemporaryDirectory(), "/pinned/tmp/");
  setTemporaryDirectoryOverride("");
  EXPECT_EQ(NSTemporaryDirectory(), std::nullopt);
}

TEST(Alerts, RecordedWithAndWithoutPresenter) {
  clearShownAlerts();
  int presented = 0;
  NSRunInformationalAlertPanel("First", "Message", "OK");
  setAlertPresenter([&](const Alert& alert) { presented += alert.title == "Second"; });
  NSRunInformationalAlertPanel("Second", "Text", "Close");
  setAlertPresenter({});
  ASSERT_EQ(shownAlerts().size(), 2u);
  EXPECT_EQ(shownAlerts()[1].defaultButton, "Close");
  EXPECT_EQ(presented, 1);
  clearShownAlerts();
}

std::string pngHeader(std::uint32_t width, std::uint32_t height) {
  std::string bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
  for (std::uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((v >> shift) & 0xFF);
  }
  return bytes + std::string("\x08\x06\0\0\0", 5);
}

TEST(Images, PngSizeFromHeader) {
  const TempFolder folder;
  struct Case {
    const char* name;
    std::string content;
    std::optional<Size> size;
  };
  const Case cases[] = {
      {"space.png", pngHeader(16, 300), Size{16, 300}},
      {"big.png", pngHeader(70000, 1), Size{70000, 1}},
      {"zero.png", pngHeader(0, 5), std::nullopt},
      {"short.png", pngHeader(16, 16).substr(0, 20), std::nullopt},
      {"gif.png", "GIF89a" + pngHeader(1, 1), std::nullopt},
      {"noihdr.png",
       [] {
         std::string b = pngHeader(1, 1);
         b[12] = 'X';
         return b;
       }(),
       std::nullopt},
  };
  for (const Case& c : cases) {
    const fs::path path = folder.path() / c.name;
    std::ofstream(path, std::ios::binary) << c.content;
    const std::shared_ptr<Image> image = Image::imageWithContentsOfFile(path);
    if (!c.size) {
      EXPECT_EQ(image, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(image, nullptr) << c.name;
    EXPECT_EQ(image->size(), *c.size) << c.name;
    EXPECT_EQ(image->name(), std::string("file:") + c.name);
  }
  EXPECT_EQ(Image::imageWithContentsOfFile(folder.path() / "none.png"), nullptr);
  EXPECT_EQ(Image::imageWithContentsOfFile(folder.path()), nullptr);
}

TEST(Images, SystemIconsUntilResized) {
  const std::shared_ptr<Image> icon = Image::iconForFileType(fourCharCode("lock"));
  EXPECT_EQ(icon->name(), "icon:lock");
  EXPECT_EQ(icon->size(), (Size{32, 32}));
}

}  // namespace
}  // namespace platform
