// SPDX-License-Identifier: Apache-2.0
// User defaults: domain files in a temporary preferences folder, written by
// this process, by other instances and by child processes at once.
#include "platform/user_defaults.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "platform/atomic_file.h"

namespace {

namespace fs = std::filesystem;
using platform::UserDefaults;
using platform::plist::Array;
using platform::plist::Dict;
using platform::plist::Value;
namespace plist = platform::plist;

const std::string kDomain = "jp.co.quivo.mfp.Office_MFP";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Names in `folder` other than domain and lock files: temporary leftovers.
std::set<std::string> strayFiles(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(".plist") && !name.ends_with(".lock") && !name.ends_with(".corrupt")) {
      names.insert(name);
    }
  }
  return names;
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jobwick-defaults-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    root = pattern;
    folder = root / "config" / "jobwick" / "preferences";
    UserDefaults::setPreferencesFolderOverride(folder);
  }
  void TearDown() override {
    UserDefaults::setPreferencesFolderOverride(std::nullopt);
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, ec);
    fs::remove_all(root, ec);
  }
  fs::path file(const std::string& name = kDomain) const { return folder / (name + ".plist"); }

  fs::path root;
  fs::path folder;
};

TEST_F(UserDefaultsTest, WritesAndReadsDomainsThroughRealFiles) {
  UserDefaults defaults(folder);
  EXPECT_FALSE(defaults.persistentDomainForName(kDomain));
  EXPECT_FALSE(fs::exists(folder));  // reading creates nothing

  const Dict domain{{"Job Handling", Dict{{"Model Name", "VK-7300"},
                                          {"hold button", 5},
                                          {"authentication", true},
                                          {"files", Array{Value(Dict{{"name", "Ünïcode"}})}}}},
                    {"Other", 1.5}};
  const Dict other{{"kept", "as it was"}};
  defaults.setPersistentDomain(domain, kDomain);
  defaults.setPersistentDomain(other, "jp.co.quivo.mfp.Other");
  EXPECT_EQ(defaults.persistentDomainForName(kDomain), domain);  // answered before writing
  ASSERT_TRUE(defaults.synchronize());

  // On disk: XML form, readable by the user only, folders created 0700.
  const std::string xml = slurp(file());
  EXPECT_NE(xml.find("<?xml"), std::string::npos);
  EXPECT_EQ(plist::parse(xml), Value(domain));
  EXPECT_EQ(modeOf(file()), 0600u);
  EXPECT_EQ(modeOf(file() += ".lock"), 0600u);
  for (fs::path p = folder; p != root; p = p.parent_path()) EXPECT_EQ(modeOf(p), 0700u) << p;
  EXPECT_TRUE(strayFiles(folder).empty());

  // A fresh object reads it back; replacing one domain leaves the other.
  const Dict replaced{{"Job Handling", Dict{{"hold button", 0}}}};
  UserDefaults second(folder);
  EXPECT_EQ(second.persistentDomainForName(kDomain), domain);
  second.setPersistentDomain(replaced, kDomain);
  ASSERT_TRUE(second.synchronize());
  UserDefaults third(folder);
  EXPECT_EQ(third.persistentDomainForName(kDomain), replaced);
  EXPECT_EQ(third.persistentDomainForName("jp.co.quivo.mfp.Other"), other);
  EXPECT_FALSE(third.persistentDomainForName("jp.co.quivo.mfp.Nobody"));
}

// Every read takes the file as it is now: a file rewritten in place by
// someone else, to the same size and to the same text again, and a file
// made corrupt after a good read.
TEST_F(UserDefaultsTest, EveryReadSeesTheFileAsItIsNow) {
  UserDefaults writer(folder);
  writer.setPersistentDomain(Dict{{"v", "aaaa"}}, kDomain);
  ASSERT_TRUE(writer.synchronize());
  const std::string first = slurp(file());
  EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), (Dict{{"v", "aaaa"}}));

  std::string second = first;
  second.replace(second.find("aaaa"), 4, "bbbb");
  std::ofstream(file(), std::ios::binary | std::ios::trunc) << second;
  EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), (Dict{{"v", "bbbb"}}));
  std::ofstream(file(), std::ios::binary | std::ios::trunc) << first;
  EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), (Dict{{"v", "aaaa"}}));

  std::ofstream(file(), std::ios::binary | std::ios::trunc) << first.substr(0, first.size() / 2);
  EXPECT_FALSE(UserDefaults(folder).persistentDomainForName(kDomain));
  EXPECT_TRUE(fs::exists(file().string() + ".corrupt"));
}

// A domain with a large folder list is parsed once, however often it is
// read: what this process wrote is known parsed, and a file read before is
// parsed again only when its bytes changed (EveryReadSeesTheFileAsItIsNow).
// A value whose XML form might not read back the same (a real) is parsed
// again rather than trusted.
TEST_F(UserDefaultsTest, ALargeDomainIsParsedOnceHoweverOftenItIsRead) {
  auto readsParsing = [&](const Dict& expected) {
    const std::size_t before = UserDefaults::domainFilesParsed();
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), expected);
    return UserDefaults::domainFilesParsed() - before;
  };
  Array files;
  for (int i = 0; i < 8000; ++i) {
    files.emplace_back(
        Dict{{"name", "Folder " + std::to_string(i)}, {"password", i % 2 == 0}, {"dir", true}});
  }
  Dict domain{{"Job Handling", Dict{{"files", std::move(files)}, {"hold button", 1}}}};
  UserDefaults writer(folder);
  writer.setPersistentDomain(domain, kDomain);
  ASSERT_TRUE(writer.synchronize());
  ASSERT_GT(fs::file_size(file()), 1u << 20);
  EXPECT_EQ(readsParsing(domain), 0u) << "written by this process";

  ASSERT_EQ(writer.updatePersistentDomain(kDomain,
                                          [](std::optional<Dict>& d) {
                                            (*d)["Job Handling"].asDict()->at("hold button") = 0;
                                            return true;
                                          }),
            UserDefaults::Update::kWritten);
  domain["Job Handling"].asDict()->at("hold button") = 0;
  EXPECT_EQ(readsParsing(domain), 0u) << "updated by this process";

  const Dict small{{"Job Handling", Dict{{"hold button", 1}}}, {"Other", 0.1}};
  writer.setPersistentDomain(small, kDomain);
  ASSERT_TRUE(writer.synchronize());
  EXPECT_EQ(readsParsing(small), 1u);
}

// What a read answers is the reader's own: changing it, down to an entry of
// a folder list, changes neither the file nor what the next reads answer
// (the process keeps what it parsed, and answers share it).
TEST_F(UserDefaultsTest, ChangingWhatAReadAnsweredChangesNoOtherRead) {
  // Built afresh for each comparison, so that it shares nothing with the
  // store.
  auto domain = [] {
    return Dict{{"Job Handling", Dict{{"files", Array{Value(Dict{{"name", "A"}})}}}}};
  };
  UserDefaults writer(folder);
  writer.setPersistentDomain(domain(), kDomain);
  ASSERT_TRUE(writer.synchronize());
  const std::string bytes = slurp(file());
  for (int round = 0; round < 2; ++round) {
    UserDefaults reader(folder);
    std::optional<Dict> read = reader.persistentDomainForName(kDomain);
    ASSERT_EQ(read, domain());
    Value& files = read->at("Job Handling").asDict()->at("files");
    (*files.asArray())[0].asDict()->at("name") = "changed";
    EXPECT_EQ(reader.persistentDomainForName(kDomain), domain());
    EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), domain());
    EXPECT_EQ(writer.persistentDomainForName(kDomain), domain());
  }
  EXPECT_EQ(slurp(file()), bytes);
}

TEST_F(UserDefaultsTest, FilesStayPrivateWhateverTheUmask) {
  const mode_t old = ::umask(0);
  UserDefaults defaults(folder);
  defaults.setPersistentDomain(Dict{{"a", 1}}, kDomain);
  const bool ok = defaults.synchronize();
  ::umask(old);
  ASSERT_TRUE(ok);
  EXPECT_EQ(modeOf(file()), 0600u);
  EXPECT_EQ(modeOf(folder), 0700u);
}

TEST_F(UserDefaultsTest, ResetSeesWhatOthersWrote) {
  UserDefaults* shared = UserDefaults::standardUserDefaults();
  ASSERT_TRUE(shared);
  EXPECT_FALSE(shared->persistentDomainForName(kDomain));

  UserDefaults other(folder);
  other.setPersistentDomain(Dict{{"from", "instance"}}, kDomain);
  ASSERT_TRUE(other.synchronize());
  // The shared object answers from its cache until it is reset.
  EXPECT_FALSE(UserDefaults::standardUserDefaults()->persistentDomainForName(kDomain));
  UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(UserDefaults::standardUserDefaults()->persistentDomainForName(kDomain),
            (Dict{{"from", "instance"}}));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    UserDefaults defaults(folder);
    defaults.setPersistentDomain(Dict{{"from", "process"}}, kDomain);
    ::_exit(defaults.synchronize() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(UserDefaults::standardUserDefaults()->persistentDomainForName(kDomain),
            (Dict{{"from", "process"}}));
}

TEST_F(UserDefaultsTest, ResetWritesUnsavedDomainsFirst) {
  UserDefaults::standardUserDefaults()->setPersistentDomain(Dict{{"a", 1}}, kDomain);
  UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(plist::readFile(file().string()), Value(Dict{{"a", 1}}));
}

TEST_F(UserDefaultsTest, CorruptFileIsSetAsideAndCountsAsMissing) {
  fs::create_directories(folder);
  spit(file().string() + ".corrupt", "an older corrupt file");
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"garbage", "not a property list \x01\x02"},
      {"torn", plist::toXml(Value(Dict{{"a", 1}})).substr(0, 60)},
      {"not a dictionary", plist::toXml(Value(Array{Value(1)}))},
  };
  for (const auto& c : cases) {
    spit(file(), c.bytes);
    UserDefaults defaults(folder);
    EXPECT_FALSE(defaults.persistentDomainForName(kDomain)) << c.label;
    EXPECT_FALSE(fs::exists(file())) << c.label;
    EXPECT_EQ(slurp(file().string() + ".corrupt"), c.bytes) << c.label;

    // The panel goes on: the domain can be written anew.
    defaults.setPersistentDomain(Dict{{"fresh", true}}, kDomain);
    EXPECT_TRUE(defaults.synchronize()) << c.label;
    EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), (Dict{{"fresh", true}}))
        << c.label;
  }
}

TEST_F(UserDefaultsTest, LinksAreNeverFollowed) {
  fs::create_directories(folder);
  const fs::path target = root / "elsewhere.plist";
  const std::string targetBytes = plist::toXml(Value(Dict{{"secret", "outside"}}));
  spit(target, targetBytes);
  fs::create_symlink(target, file());

  UserDefaults defaults(folder);
  EXPECT_FALSE(defaults.persistentDomainForName(kDomain));  // not read through the link
  EXPECT_EQ(slurp(target), targetBytes);                    // nor moved aside
  defaults.setPersistentDomain(Dict{{"a", 1}}, kDomain);
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(slurp(target), targetBytes);  // the link was replaced, not written through
  EXPECT_FALSE(fs::is_symlink(file()));
  EXPECT_EQ(plist::readFile(file().string()), Value(Dict{{"a", 1}}));

  // A lock file that is a link is refused, and nothing is written.
  fs::create_symlink(target, folder / "jp.co.quivo.mfp.Linked.plist.lock");
  defaults.setPersistentDomain(Dict{{"b", 2}}, "jp.co.quivo.mfp.Linked");
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_EQ(slurp(target), targetBytes);
  EXPECT_FALSE(fs::exists(file("jp.co.quivo.mfp.Linked")));
}

TEST_F(UserDefaultsTest, NamesThatCouldLeaveTheFolderAreRefused) {
  const std::string names[] = {"",
                               ".",
                               "..",
                               ".hidden",
                               "a/b",
                               "../escape",
                               "/abs",
                               std::string("nul\0x", 5),
                               std::string(242, 'n')};
  UserDefaults defaults(folder);
  spit(root / "escape.plist", plist::toXml(Value(Dict{{"a", 1}})));
  for (const std::string& name : names) {
    EXPECT_FALSE(UserDefaults::isValidDomainName(name)) << name;
    EXPECT_FALSE(defaults.persistentDomainForName(name)) << name;
    defaults.setPersistentDomain(Dict{{"x", 1}}, name);
    EXPECT_FALSE(defaults.synchronize()) << name;
  }
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(UserDefaults::isValidDomainName(std::string(241, 'n')));
  EXPECT_TRUE(UserDefaults::isValidDomainName("jp.co.quivo.mfp.Printer_Name-2 (copy)"));
  // A refused name does not stop good ones in the same synchronize.
  defaults.setPersistentDomain(Dict{{"x", 1}}, "..");
  defaults.setPersistentDomain(Dict{{"x", 1}}, kDomain);
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_TRUE(fs::exists(file()));
  EXPECT_TRUE(defaults.synchronize());  // the refusal is reported once
}

TEST_F(UserDefaultsTest, FailedWriteKeepsTheOldFile) {
  UserDefaults defaults(folder);
  const Dict old{{"version", "old"}};
  defaults.setPersistentDomain(old, kDomain);
  ASSERT_TRUE(defaults.synchronize());
  const std::string oldBytes = slurp(file());

  // The disk fills up mid-write (a file-size limit in a child process).
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    UserDefaults writer(folder);
    writer.setPersistentDomain(Dict{{"version", std::string(4096, 'n')}}, kDomain);
    const bool ok = writer.synchronize();
    // After the failure the object answers what is on disk.
    const bool readsOld = writer.persistentDomainForName(kDomain) == old;
    ::_exit(!ok && readsOld ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(slurp(file()), oldBytes);
  EXPECT_TRUE(strayFiles(folder).empty());

  // The domain's name is taken by a folder: the rename fails.
  fs::create_directories(file("jp.co.quivo.mfp.Dir"));
  defaults.setPersistentDomain(old, "jp.co.quivo.mfp.Dir");
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_TRUE(fs::is_directory(file("jp.co.quivo.mfp.Dir")));
  EXPECT_FALSE(defaults.persistentDomainForName("jp.co.quivo.mfp.Dir"));
  EXPECT_TRUE(strayFiles(folder).empty());

  // A read-only folder (only where permissions bind: not for root).
  if (::geteuid() != 0) {
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    defaults.setPersistentDomain(Dict{{"version", "new"}}, kDomain);
    EXPECT_FALSE(defaults.synchronize());
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(slurp(file()), oldBytes);
  }
}

// A writer killed while writing leaves no file at all; one killed between
// naming its file and the rename leaves a complete one, which the next read
// removes as long as no writer holds the domain's lock.
TEST_F(UserDefaultsTest, WhatAKilledWriterLeavesGoesAtTheNextRead) {
  UserDefaults defaults(folder);
  const Dict old{{"version", "old"}};
  defaults.setPersistentDomain(old, kDomain);
  ASSERT_TRUE(defaults.synchronize());

  const struct {
    const char* label;
    platform::AtomicFileSeams seams;
    std::size_t leftovers;
  } cases[] = {
      {"killed while writing",
       {.suffix = {},
        .write = [](int, const char*, std::size_t) -> long { ::_exit(7); },
        .beforeRename = {}},
       0},
      {"killed before the rename",
       {.suffix = {}, .write = {}, .beforeRename = [](const fs::path&) { ::_exit(7); }},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::setAtomicFileSeamsForTesting(c.seams);
      UserDefaults writer(folder);
      writer.setPersistentDomain(Dict{{"version", "new"}}, kDomain);
      writer.synchronize();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
    ASSERT_EQ(strayFiles(folder).size(), c.leftovers);

    // While a writer holds the lock, a reader leaves the folder alone.
    {
      const int lock = ::open((folder / (kDomain + ".plist.lock")).c_str(), O_RDWR | O_CLOEXEC);
      ASSERT_GE(lock, 0);
      ASSERT_EQ(::flock(lock, LOCK_EX), 0);
      EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), old);
      EXPECT_EQ(strayFiles(folder).size(), c.leftovers);
      ::close(lock);
    }
    EXPECT_EQ(UserDefaults(folder).persistentDomainForName(kDomain), old);
    EXPECT_TRUE(strayFiles(folder).empty());
  }

  // A domain never written has no lock file, and reading it makes none.
  EXPECT_FALSE(UserDefaults(folder).persistentDomainForName("jp.co.quivo.mfp.Never"));
  EXPECT_FALSE(fs::exists(folder / "jp.co.quivo.mfp.Never.plist.lock"));
}

// Two processes save the same domain over and over while this one reads it:
// every read is a whole, valid record of one writer.
TEST_F(UserDefaultsTest, ConcurrentWritersNeverLeaveAMixedFile) {
  constexpr int kWriters = 2;
  constexpr int kSaves = 200;
  auto record = [](int writer, int sequence) {
    Array entries;
    for (int i = 0; i < 20; ++i) {
      entries.push_back(
          Dict{{"writer", writer}, {"sequence", sequence}, {"pad", std::string(40, 'p')}});
    }
    return Dict{{"writer", writer}, {"sequence", sequence}, {"entries", entries}};
  };
  // Whose whole record a domain is; -1 when it is mixed or malformed.
  auto ownerOf = [](const Dict& domain) {
    auto field = [](const Dict& d, const char* key) {
      const auto found = d.find(key);
      return found == d.end() ? Value() : found->second;
    };
    const Value writer = field(domain, "writer"), sequence = field(domain, "sequence");
    const Value entries = field(domain, "entries");
    if (!writer.asInteger() || !sequence.asInteger() || !entries.asArray() ||
        entries.asArray()->size() != 20) {
      return -1;
    }
    for (const Value& entry : *entries.asArray()) {
      if (!entry.asDict() || field(*entry.asDict(), "writer") != writer ||
          field(*entry.asDict(), "sequence") != sequence) {
        return -1;
      }
    }
    return int(*writer.asInteger());
  };

  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    children[w] = ::fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      bool ok = true;
      for (int s = 0; s < kSaves; ++s) {
        UserDefaults defaults(folder);
        defaults.setPersistentDomain(record(w, s), kDomain);
        ok = defaults.synchronize() && ok;
      }
      ::_exit(ok ? 0 : 1);
    }
  }

  // Read until both writers are done, reaping them as they finish.
  int reads = 0, bad = 0, running = kWriters, failures = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (running > 0) {
    for (pid_t& child : children) {
      int status = 0;
      if (child > 0 && ::waitpid(child, &status, WNOHANG) == child) {
        --running;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
        child = 0;
      }
    }
    if (std::chrono::steady_clock::now() > deadline) {
      for (pid_t child : children) {
        if (child > 0 && ::kill(child, SIGKILL) == 0) ::waitpid(child, nullptr, 0);
      }
      FAIL() << "writers did not finish";
    }
    if (bad > 5 || !fs::exists(file())) continue;
    ++reads;
    std::string error;
    const auto value = plist::readFile(file().string(), &error);
    if (!value || !value->asDict() || ownerOf(*value->asDict()) < 0) {
      ++bad;
      ADD_FAILURE() << "read " << reads << ": " << (value ? "mixed record" : error);
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(bad, 0);
  EXPECT_GT(reads, 0);

  // At the end: one writer's last whole record, nothing left over.
  const auto last = UserDefaults(folder).persistentDomainForName(kDomain);
  ASSERT_TRUE(last);
  const int owner = ownerOf(*last);
  ASSERT_GE(owner, 0);
  EXPECT_EQ(*last, record(owner, kSaves - 1));
  EXPECT_FALSE(fs::exists(file().string() + ".corrupt"));
  EXPECT_TRUE(strayFiles(folder).empty());
}

TEST(UserDefaultsFolder, FollowsTheEnvironmentUnlessOverridden) {
  UserDefaults::setPreferencesFolderOverride(std::nullopt);
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";

  ::setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(UserDefaults::preferencesFolder(), fs::path("/xdg/config/jobwick/preferences"));
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(UserDefaults::preferencesFolder(),
            fs::path("/home/someone/.config/jobwick/preferences"));
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserDefaults::preferencesFolder(),
            fs::path("/home/someone/.config/jobwick/preferences"));
  UserDefaults::setPreferencesFolderOverride(fs::path("/override/prefs"));
  EXPECT_EQ(UserDefaults::preferencesFolder(), fs::path("/override/prefs"));
  UserDefaults::setPreferencesFolderOverride(std::nullopt);

  if (savedXdg) ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  if (savedHome)
    ::setenv("HOME", home.c_str(), 1);
  else
    ::unsetenv("HOME");
}

}  // namespace
