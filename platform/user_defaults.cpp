// SPDX-License-Identifier: Apache-2.0
// Persistent domains as property-list files, one per domain, in a folder
// readable by the user only (the domains hold cipher text of credentials).
//
// A domain file is only ever replaced whole: the new content goes to a
// temporary file in the same folder, is flushed to disk and renamed over
// the old file while an advisory lock (flock on NAME.plist.lock) keeps
// other writers out. Readers take no lock: a rename is atomic, so they see
// either the old or the new file, never a mix.
#include "platform/user_defaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/c_handles.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

std::unique_ptr<UserDefaults> gShared;
std::optional<fs::path> gFolderOverride;

// Domain files larger than this are not property lists this system wrote.
constexpr std::size_t kMaxDomainBytes = 16u << 20;
// Longest name that still leaves room for ".plist.corrupt" in a file name.
constexpr std::size_t kMaxNameBytes = 241;

using FileDescriptor = UniqueFd;

fs::path domainPath(const fs::path& folder, const std::string& name) {
  return folder / (name + ".plist");
}

std::optional<fs::path> homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return fs::path(home);
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  int rc = 0;
  while ((rc = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (rc != 0 || !found || !entry.pw_dir || entry.pw_dir[0] != '/') return std::nullopt;
  return fs::path(entry.pw_dir);
}

// Creates `folder` and any missing parents, each mode 0700; existing
// folders are left as they are. False when it is not a folder afterwards.
bool ensureFolder(const fs::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  fs::path built;
  for (const fs::path& part : folder) {
    built /= part;
    if (::mkdir(built.c_str(), 0700) == 0) {
      ::chmod(built.c_str(), 0700);  // whatever the umask took away
    } else if (errno != EEXIST) {
      return false;
    }
  }
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Opens (creating, mode 0600) the domain's lock file and takes an exclusive
// lock on it; the lock lasts as long as the descriptor. An empty descriptor
// when the lock cannot be had, in particular when the lock file is a link
// or not a plain file.
FileDescriptor lockDomain(const fs::path& folder, const std::string& name) {
  const fs::path path = folder / (name + ".plist.lock");
  FileDescriptor fd(
      ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (!fd) return fd;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileDescriptor();
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return FileDescriptor();
  }
  return fd;
}

// The folder of a domain as it was when a look for leftovers last found
// none, per folder and domain, for every UserDefaults of the process.
struct FolderStamp {
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec modified {};
  struct timespec changed {};
};

bool operator==(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

FolderStamp stampOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_mtim, info.st_ctim};
}

std::mutex gCleanLooksMutex;
std::map<std::string, FolderStamp> gCleanLooks;
constexpr std::size_t kMaxCleanLooks = 64;

bool folderUnchangedSinceCleanLook(const std::string& key, const struct stat& now) {
  const std::lock_guard<std::mutex> guard(gCleanLooksMutex);
  const auto found = gCleanLooks.find(key);
  if (found == gCleanLooks.end()) return false;
  const FolderStamp stamp = stampOf(now);
  const FolderStamp& seen = found->second;
  return seen.device == stamp.device && seen.inode == stamp.inode &&
         seen.modified == stamp.modified && seen.changed == stamp.changed;
}

void rememberCleanLook(const std::string& key, const struct stat& before) {
  const std::lock_guard<std::mutex> guard(gCleanLooksMutex);
  if (gCleanLooks.size() >= kMaxCleanLooks) gCleanLooks.clear();
  gCleanLooks[key] = stampOf(before);
}

// Removes what writers of the domain killed before their rename left, when
// no writer is at work now (the lock is free). Readers do this so that such
// a file does not outlive the crash until the next write. A domain no one
// has ever written has no lock file and nothing to remove; none is made.
//
// A leftover is made by naming a file in the folder, which changes the
// folder's modification and change times. So once a look found nothing, the
// next read of that domain looks again only when the folder has changed
// since (a panel open reads the domain every time, and the look costs a
// folder listing). On a file system whose clock ticks coarsely, a leftover
// named within the same tick as that look waits for the next write, which
// removes it too.
void removeLeftoversOfDeadWriters(const fs::path& folder, const std::string& name) {
  struct stat before {};
  const bool stamped = ::stat(folder.c_str(), &before) == 0;
  const std::string key = (folder / name).string();
  if (stamped && folderUnchangedSinceCleanLook(key, before)) return;

  const fs::path path = folder / (name + ".plist.lock");
  const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) {
    // Never written: a writer makes the lock file first, which changes the
    // folder.
    if (stamped && errno == ENOENT) rememberCleanLook(key, before);
    return;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;  // a writer is at work
  // Removing a leftover changes the folder again: the next read looks once
  // more and finds it clean.
  if (removeTemporaryFilesOf(domainPath(folder, name)) == 0 && stamped) {
    rememberCleanLook(key, before);
  }
}

// What is on disk for a domain.
enum class FileState { kMissing, kCorrupt, kValid };

struct DomainFile {
  FileState state = FileState::kMissing;
  plist::Dict domain;
  // Where a text of a valid file holds a NUL, which `domain` does not keep.
  std::optional<std::string> nulAt;
};

// A file as its status showed it when its bytes were read. A replaced file
// is another file (another inode, new times), and any write changes the
// change time; but a file written within a tick of the clock the times come
// from may show the same times before and after. A stamp is therefore
// trusted only when the file had not changed for a while before it was
// taken (as "racily clean" files are judged elsewhere).
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  struct timespec changed {};
  bool settled = false;  // unchanged for kSettledSeconds when stamped
};

constexpr time_t kSettledSeconds = 2;

FileStamp fileStampOf(const struct stat& info) {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const auto before = [&now](const struct timespec& t) {
    return t.tv_sec + kSettledSeconds < now.tv_sec;
  };
  return {info.st_dev,  info.st_ino,  info.st_size,
          info.st_mtim, info.st_ctim, before(info.st_mtim) && before(info.st_ctim)};
}

bool isSettledAndUnchanged(const FileStamp& stamp, const struct stat& now) {
  return stamp.settled && stamp.device == now.st_dev && stamp.inode == now.st_ino &&
         stamp.size == now.st_size && stamp.modified == now.st_mtim && stamp.changed == now.st_ctim;
}

// The last domain files parsed, by path: a read takes the file's bytes
// again (another process may have replaced it) unless the file is surely
// the one read before (FileStamp), and the same bytes are not parsed
// again. A panel open and the save after it read the same file several
// times, and a domain with a large folder list costs far more to parse
// than to read; what this process wrote is known parsed as well. Bounded:
// at most 8 files and 24 MiB of file bytes (a domain file is at most
// 16 MiB), the older ones dropped first.
struct ParsedFile {
  // Shared with the arrays of `domain` kept as their text.
  std::shared_ptr<const FileBytes> bytes;
  FileStamp stamp;
  plist::Dict domain;
  std::optional<std::string> nulAt;
  std::uint64_t used = 0;
};

std::mutex gParsedMutex;
std::map<std::string, ParsedFile> gParsed;
std::uint64_t gParseClock = 0;
std::size_t gParses = 0;
constexpr std::size_t kMaxParsedFiles = 8;
constexpr std::size_t kMaxParsedBytes = 24u << 20;

// What was parsed of the file at `path` when it had `size` bytes, counted
// as used; nullopt when nothing was.
std::optional<ParsedFile> parsedOfSize(const fs::path& path, std::size_t size) {
  const std::lock_guard<std::mutex> guard(gParsedMutex);
  const auto found = gParsed.find(path.string());
  if (found == gParsed.end() || found->second.bytes->size() != size) return std::nullopt;
  found->second.used = ++gParseClock;
  return found->second;
}

// Stamps the file remembered for `path` anew, after its bytes were found
// the same again.
void restampParsed(const fs::path& path, const struct stat& info) {
  const std::lock_guard<std::mutex> guard(gParsedMutex);
  const auto found = gParsed.find(path.string());
  if (found != gParsed.end()) found->second.stamp = fileStampOf(info);
}

void rememberParsed(const fs::path& path, std::shared_ptr<const FileBytes> bytes,
                    const FileStamp& stamp, const plist::Dict& domain,
                    const std::optional<std::string>& nulAt = std::nullopt) {
  if (bytes->size() > kMaxParsedBytes) return;
  const std::lock_guard<std::mutex> guard(gParsedMutex);
  gParsed.erase(path.string());
  std::size_t total = bytes->size();
  for (const auto& [name, file] : gParsed) total += file.bytes->size();
  while (!gParsed.empty() && (gParsed.size() >= kMaxParsedFiles || total > kMaxParsedBytes)) {
    auto oldest = gParsed.begin();
    for (auto at = gParsed.begin(); at != gParsed.end(); ++at) {
      if (at->second.used < oldest->second.used) oldest = at;
    }
    total -= oldest->second.bytes->size();
    gParsed.erase(oldest);
  }
  gParsed[path.string()] = ParsedFile{std::move(bytes), stamp, domain, nulAt, ++gParseClock};
}

// Whether the XML form of `value` surely reads back as `value`: it leaves
// out nulls, ends a string at a NUL byte, keeps a date to the second, and a
// real's text is left unjudged.
bool survivesXml(const plist::Value& value) {
  // An array still held as the text it was read from is written as that
  // text, which reads back as it read.
  if (value.isUnreadArrayText()) return true;
  if (value.isNull() || value.asReal()) return false;
  if (const plist::Date* date = value.asDate()) return date->micros == 0;
  if (const std::string* text = value.asString()) return text->find('\0') == std::string::npos;
  if (const plist::Array* array = value.asArray()) {
    for (const plist::Value& item : *array) {
      if (!survivesXml(item)) return false;
    }
  }
  if (const plist::Dict* dict = value.asDict()) {
    for (const auto& [key, item] : *dict) {
      if (key.find('\0') != std::string::npos || !survivesXml(item)) return false;
    }
  }
  return true;
}

// Reads the open file `fd`, comparing it with the bytes `known` as it goes:
// true when it holds them exactly (an unchanged file of a large domain is
// then never held a second time); false when it differs or cannot be read.
bool readSameBytes(int fd, std::string_view known) {
  char buffer[65536];
  std::size_t same = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return same == known.size();
    const std::size_t count = std::size_t(n);
    if (count > known.size() - same || std::memcmp(known.data() + same, buffer, count) != 0)
      return false;
    same += count;
  }
}

// Reads a domain file without following a link at its name. A link, a
// missing file or anything but a plain file is a missing domain; a plain
// file that is not a property list with a dictionary at the top is corrupt.
DomainFile readDomainFile(const fs::path& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return {};
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  if (std::optional<ParsedFile> known = parsedOfSize(path, std::size_t(info.st_size))) {
    if (isSettledAndUnchanged(known->stamp, info)) {
      return {FileState::kValid, std::move(known->domain), std::move(known->nulAt)};
    }
    if (readSameBytes(fd.get(), known->bytes->view())) {
      restampParsed(path, info);
      return {FileState::kValid, std::move(known->domain), std::move(known->nulAt)};
    }
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) return {};
  }
  auto bytes = std::make_shared<FileBytes>();
  switch (bytes->read(fd.get(), std::size_t(info.st_size), kMaxDomainBytes)) {
    case FileBytes::ReadResult::kFailed:
      return {};  // no reason to move the file aside
    case FileBytes::ReadResult::kTooLarge:
      return {FileState::kCorrupt, {}, std::nullopt};
    case FileBytes::ReadResult::kRead:
      break;
  }
  std::shared_ptr<const FileBytes> shared = std::move(bytes);
  std::optional<std::string> nulAt;
  std::optional<plist::Value> value = plist::parse(shared, nullptr, &nulAt);
  {
    const std::lock_guard<std::mutex> guard(gParsedMutex);
    ++gParses;
  }
  if (!value || !value->asDict()) return {FileState::kCorrupt, {}, std::nullopt};
  rememberParsed(path, std::move(shared), fileStampOf(info), *value->asDict(), nulAt);
  return {FileState::kValid, std::move(*value->asDict()), std::move(nulAt)};
}

// Why `domain` must not replace the file `onDisk`, or "" when it may. libplist
// can neither write a text with a NUL nor read one from a binary list
// exactly, so writing either would cut the text there: a value of this
// process is refused, and so is any rewrite of a file that holds one
// (another program's binary list), whose entries would be cut unseen.
std::string refusalToWrite(const DomainFile& onDisk, const plist::Dict& domain) {
  if (onDisk.state == FileState::kValid && onDisk.nulAt) {
    return "the file holds a NUL character in " + *onDisk.nulAt +
           ", which writing it again would lose";
  }
  if (const std::optional<std::string> place = plist::placeOfNul(plist::Value(domain))) {
    return "a NUL character in " + *place + " cannot be stored";
  }
  return std::string();
}

// The last failed writes of the process, for the program to report.
std::mutex gFailedMutex;
std::vector<UserDefaults::FailedWrite> gFailed;
constexpr std::size_t kMaxFailed = 16;

void noteFailedWrite(const std::string& name, std::string reason) {
  try {
    const std::lock_guard<std::mutex> guard(gFailedMutex);
    if (gFailed.size() >= kMaxFailed) gFailed.erase(gFailed.begin());
    gFailed.push_back({name, std::move(reason)});
  } catch (const std::exception&) {
    // Out of memory: the write failed all the same, only the report is lost.
  }
}

void noteFailedWrite(const std::string& name, int error) {
  noteFailedWrite(name, std::strerror(error));
}

// The errno of a failed call, never 0 (some steps fail without setting it).
int lastError() {
  return errno != 0 ? errno : EIO;
}

// Replaces the domain file with `domain` while the caller holds the
// domain's lock. 0, or the errno of the step that failed (old file
// untouched, no temporary file left).
int writeLockedDomainFile(const fs::path& folder, const std::string& name,
                          const plist::Dict& domain) {
  // Temporary files (NAME.plist.XXXXXX) of writers killed in mid-write:
  // writers make them only while holding the domain's lock, which this
  // writer now holds, so none of them is still in use.
  const fs::path target = domainPath(folder, name);
  removeTemporaryFilesOf(target);
  auto bytes = std::make_shared<const FileBytes>(plist::toXml(plist::Value(domain)));
  const int error = replaceFileAtomically(target, bytes->view(), 0600);
  struct stat info {};
  if (error == 0 && survivesXml(plist::Value(domain)) && ::stat(target.c_str(), &info) == 0) {
    rememberParsed(target, bytes, fileStampOf(info), domain);
  }
  return error;
}

// Makes the domain's folder and takes the domain's lock; an empty
// descriptor and `error` set when either fails.
FileDescriptor lockForWriting(const fs::path& folder, const std::string& name, int& error) {
  errno = 0;
  if (!ensureFolder(folder)) {
    error = lastError();
    return FileDescriptor();
  }
  errno = 0;
  FileDescriptor lock = lockDomain(folder, name);
  if (!lock) error = lastError();
  return lock;
}

// Replaces the domain file with `domain`: "", or why not (the system's
// error text of the step that failed, or refusalToWrite's); the old file
// is then untouched and no temporary file is left.
std::string writeDomainFile(const fs::path& folder, const std::string& name,
                            const plist::Dict& domain) {
  int error = 0;
  const FileDescriptor lock = lockForWriting(folder, name, error);
  if (!lock) return std::strerror(error);
  std::string refusal = refusalToWrite(readDomainFile(domainPath(folder, name)), domain);
  if (!refusal.empty()) return refusal;
  error = writeLockedDomainFile(folder, name, domain);
  return error == 0 ? std::string() : std::strerror(error);
}

// Moves a file that is not a property list aside to NAME.plist.corrupt, so
// that nothing is destroyed; the caller holds the domain's lock.
void moveAside(const fs::path& path) {
  const fs::path aside = path.string() + ".corrupt";
  ::rename(path.c_str(), aside.c_str());
}

}  // namespace

UserDefaults::UserDefaults(fs::path folder) : folder_(std::move(folder)) {}

UserDefaults* UserDefaults::standardUserDefaults() {
  try {
    if (!gShared) {
      const std::optional<fs::path> folder = preferencesFolder();
      if (!folder) return nullptr;
      gShared = std::make_unique<UserDefaults>(*folder);
    }
    return gShared.get();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void UserDefaults::resetStandardUserDefaults() {
  if (gShared) gShared->synchronize();
  gShared.reset();
}

std::optional<fs::path> UserDefaults::preferencesFolder() {
  try {
    if (gFolderOverride) return gFolderOverride;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (config && config[0] == '/') return fs::path(config) / "jobwick" / "preferences";
    const std::optional<fs::path> home = homeFolder();
    if (!home) return std::nullopt;
    return *home / ".config" / "jobwick" / "preferences";
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void UserDefaults::setPreferencesFolderOverride(std::optional<fs::path> folder) {
  resetStandardUserDefaults();
  gFolderOverride = std::move(folder);
}

bool UserDefaults::isValidDomainName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxNameBytes && name[0] != '.' &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::optional<plist::Dict> UserDefaults::persistentDomainForName(const std::string& name) {
  try {
    if (!isValidDomainName(name)) return std::nullopt;
    if (const auto pending = pending_.find(name); pending != pending_.end()) return pending->second;
    if (const auto cached = cache_.find(name); cached != cache_.end()) return cached->second;

    const fs::path path = domainPath(folder_, name);
    removeLeftoversOfDeadWriters(folder_, name);
    DomainFile file = readDomainFile(path);
    if (file.state == FileState::kCorrupt) {
      // Look again under the lock: a writer may have just put a good file
      // in place, and that one must not be the file moved aside.
      const FileDescriptor lock = lockDomain(folder_, name);
      if (lock) {
        file = readDomainFile(path);
        if (file.state == FileState::kCorrupt) moveAside(path);
      }
    }
    std::optional<plist::Dict> domain;
    if (file.state == FileState::kValid) domain = std::move(file.domain);
    cache_[name] = domain;
    return domain;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void UserDefaults::setPersistentDomain(const plist::Dict& domain, const std::string& name) {
  try {
    if (!isValidDomainName(name)) {
      noteFailedWrite(name, "not a valid domain name");
      refusedWrite_ = true;
      return;
    }
    pending_[name] = domain;
  } catch (const std::exception&) {
    refusedWrite_ = true;
  }
}

bool UserDefaults::synchronize() {
  bool ok = !std::exchange(refusedWrite_, false);
  std::map<std::string, plist::Dict> pending = std::exchange(pending_, {});
  for (auto& [name, domain] : pending) {
    bool written = false;
    try {
      std::string failure = writeDomainFile(folder_, name, domain);
      written = failure.empty();
      if (written) {
        cache_[name] = std::move(domain);
      } else {
        noteFailedWrite(name, std::move(failure));
      }
    } catch (const std::exception& e) {
      noteFailedWrite(name, e.what());
      written = false;
    }
    if (!written) {
      cache_.erase(name);
      ok = false;
    }
  }
  return ok;
}

UserDefaults::Update UserDefaults::updatePersistentDomain(
    const std::string& name, const std::function<bool(std::optional<plist::Dict>&)>& edit) {
  try {
    if (!isValidDomainName(name)) {
      noteFailedWrite(name, "not a valid domain name");
      return Update::kFailed;
    }
    synchronize();
    // A first look without the lock: when `edit` finds nothing to change,
    // nothing is locked or written (no lock file appears in the folder).
    const fs::path path = domainPath(folder_, name);
    removeLeftoversOfDeadWriters(folder_, name);
    DomainFile look = readDomainFile(path);
    if (look.state != FileState::kCorrupt) {
      std::optional<plist::Dict> domain;
      if (look.state == FileState::kValid) domain = std::move(look.domain);
      if (!edit(domain)) {
        cache_[name] = std::move(domain);
        return Update::kUnchanged;
      }
    }
    int error = 0;
    const FileDescriptor lock = lockForWriting(folder_, name, error);
    if (!lock) {
      noteFailedWrite(name, error);
      return Update::kFailed;
    }
    // Read and edit again under the lock: what counts is the file as the
    // last writer left it.
    DomainFile file = readDomainFile(path);
    if (file.state == FileState::kCorrupt) moveAside(path);
    std::optional<plist::Dict> domain;
    if (file.state == FileState::kValid) domain = std::move(file.domain);
    if (!edit(domain)) {
      cache_[name] = std::move(domain);
      return Update::kUnchanged;
    }
    if (!domain) domain.emplace();
    if (std::string refusal = refusalToWrite(file, *domain); !refusal.empty()) {
      cache_.erase(name);
      noteFailedWrite(name, std::move(refusal));
      return Update::kFailed;
    }
    error = writeLockedDomainFile(folder_, name, *domain);
    if (error != 0) {
      cache_.erase(name);
      noteFailedWrite(name, error);
      return Update::kFailed;
    }
    cache_[name] = std::move(domain);
    return Update::kWritten;
  } catch (const std::exception& e) {
    cache_.erase(name);
    noteFailedWrite(name, e.what());
    return Update::kFailed;
  }
}

std::size_t UserDefaults::domainFilesParsed() {
  const std::lock_guard<std::mutex> guard(gParsedMutex);
  return gParses;
}

std::vector<UserDefaults::FailedWrite> UserDefaults::takeFailedWrites() {
  const std::lock_guard<std::mutex> guard(gFailedMutex);
  return std::exchange(gFailed, {});
}

}  // namespace platform
