// SPDX-License-Identifier: Apache-2.0
// The process's surroundings: clock, time zone, user names and the
// temporary folder, each with an override for hosts and tests.
#include "platform/system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace platform {
namespace {

std::optional<double> gTimeOverride;
std::optional<long> gTimeZoneOverride;
bool gUserNamesOverridden = false;
std::optional<std::string> gShortNameOverride;
std::optional<std::string> gFullNameOverride;
std::optional<std::string> gTemporaryDirectoryOverride;

/// The password-database entry of the real user: login name and comment.
struct PasswdEntry {
  std::string name;
  std::string gecos;
};

std::optional<PasswdEntry> currentPasswdEntry() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  int rc = 0;
  while ((rc = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (rc != 0 || found == nullptr) return std::nullopt;
  return PasswdEntry{entry.pw_name != nullptr ? entry.pw_name : "",
                     entry.pw_gecos != nullptr ? entry.pw_gecos : ""};
}

/// A file descriptor closed when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

/// Makes sure `folder` is a real folder of this user that nobody else can
/// enter: creates it mode 0700 when missing, takes away group and other
/// permissions when it has some, and refuses a link, a non-folder or a
/// folder of another user.
bool securePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // O_NOFOLLOW: a symbolic link planted in the folder's place is refused
  // instead of followed; the checks below then work on what was opened.
  const FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    return false;
  }
  if ((info.st_mode & 077) != 0) {
    if (fchmod(fd.get(), 0700) != 0) return false;
    if (fstat(fd.get(), &info) != 0 || (info.st_mode & 077) != 0) return false;
  }
  return true;
}

}  // namespace

double currentTime() {
  if (gTimeOverride) return *gTimeOverride;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(now).count();
}

void setCurrentTimeOverride(std::optional<double> seconds) {
  gTimeOverride = seconds;
}

long timeZoneOffsetAt(double time) {
  if (gTimeZoneOverride) return *gTimeZoneOverride;
  if (!std::isfinite(time)) return 0;
  const auto seconds = static_cast<std::time_t>(std::floor(time));
  // localtime_r need not look at TZ again; tzset makes a changed zone count.
  tzset();
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

void setTimeZoneOffsetOverride(std::optional<long> secondsEast) {
  gTimeZoneOverride = secondsEast;
}

std::string NSUserName() {
  if (gUserNamesOverridden && gShortNameOverride) return *gShortNameOverride;
  if (const auto entry = currentPasswdEntry()) return entry->name;
  return {};
}

std::optional<std::string> NSFullUserName() {
  if (gUserNamesOverridden) return gFullNameOverride;
  const auto entry = currentPasswdEntry();
  if (!entry) return std::nullopt;
  std::string full = entry->gecos.substr(0, entry->gecos.find(','));
  if (full.empty()) return std::nullopt;
  return full;
}

void setUserNamesOverride(std::optional<std::string> shortName,
                          std::optional<std::string> fullName) {
  gUserNamesOverridden = shortName.has_value() || fullName.has_value();
  gShortNameOverride = std::move(shortName);
  gFullNameOverride = std::move(fullName);
}

std::optional<std::string> NSTemporaryDirectory() {
  if (gTemporaryDirectoryOverride) {
    std::string folder = *gTemporaryDirectoryOverride;
    if (folder.empty()) return std::nullopt;
    if (folder.back() != '/') folder += '/';
    return folder;
  }
  std::string base = "/tmp";
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && tmpdir[0] == '/') {
    base = tmpdir;
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  const std::string folder = base + "/jobwick-" + std::to_string(getuid());
  if (!securePrivateFolder(folder)) return std::nullopt;
  return folder + "/";
}

void setTemporaryDirectoryOverride(std::optional<std::string> folder) {
  gTemporaryDirectoryOverride = std::move(folder);
}

}  // namespace platform
