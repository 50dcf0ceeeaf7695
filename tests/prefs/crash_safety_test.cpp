// SPDX-License-Identifier: Apache-2.0
// The preference record survives a writer that dies at any moment, a full
// disk and planted links: a print that stores its remembered entries leaves
// the old or the new domain file, whole, and never tells the user.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "pde/JC.h"
#include "platform/alert.h"
#include "platform/controls.h"
#include "platform/plist.h"
#include "platform/user_defaults.h"
#include "support/harness.h"

using jobwick::kModelProfile;
using platform::plist::Dict;
using platform::plist::Value;
namespace fs = std::filesystem;

namespace jwtest {
namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CrashSafetyTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    jc = makeController();
    ASSERT_TRUE(jc);
    ASSERT_NE(showPanel(*jc), nullptr);
    ASSERT_NE(jc->userNameEditText, nullptr);
    ASSERT_NE(jc->jobNameEditText, nullptr);
    ASSERT_NE(jc->userNameButton, nullptr);
    // As the print dialog does before the user types.
    ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  }
  void TearDown() override {
    jc.reset();
    ControllerTest::TearDown();
  }

  fs::path domainFile() const {
    return temp->path() / "prefs" / ("jp.co.quivo.mfp.Office_MFP.plist");
  }

  // Types save number `n` into the panel: the user and job names carry n
  // (so a record is whole exactly when both say the same), the user name's
  // lock is on, and the job name is long enough that a write takes a while.
  void typeVersion(long n) {
    jc->userNameEditText->setStringValue("user-" + std::to_string(n));
    jc->jobNameEditText->setStringValue("job-" + std::to_string(n) + std::string(2000, 'j'));
    jc->userNameButton->setState(platform::NSOnState);
  }

  // The save number the domain file holds: -1 when the file is missing,
  // unreadable, lacks the record or the other domain entry, or mixes two
  // saves.
  long versionOnDisk() const {
    const auto value = platform::plist::readFile(domainFile().string());
    if (!value || !value->asDict()) return -1;
    const Dict& domain = *value->asDict();
    const auto other = domain.find("Other Application");
    if (other == domain.end() || other->second != Value("kept")) return -1;
    const auto record = domain.find(kModelProfile.preferenceRecordKey);
    if (record == domain.end() || !record->second.asDict()) return -1;
    const Dict& r = *record->second.asDict();
    const auto user = r.find("user name");
    const auto job = r.find("job name");
    if (user == r.end() || job == r.end() || !user->second.asString() || !job->second.asString()) {
      return -1;
    }
    const std::string& u = *user->second.asString();
    const std::string& j = *job->second.asString();
    if (!u.starts_with("user-")) return -1;
    const long n = std::stol(u.substr(5));
    if (j != "job-" + std::to_string(n) + std::string(2000, 'j')) return -1;
    return n;
  }

  // Adds an entry of another program to the domain.
  void addForeignEntry() {
    auto* defaults = platform::UserDefaults::standardUserDefaults();
    ASSERT_NE(defaults, nullptr);
    Dict domain = defaults->persistentDomainForName("jp.co.quivo.mfp.Office_MFP").value_or(Dict{});
    domain["Other Application"] = "kept";
    defaults->setPersistentDomain(domain, "jp.co.quivo.mfp.Office_MFP");
    ASSERT_TRUE(defaults->synchronize());
    platform::UserDefaults::resetStandardUserDefaults();
  }

  std::shared_ptr<JC> jc;
};

// Waits up to ten seconds for the writer child to report a finished save
// on `fd`; false when it did not.
bool awaitFinishedSave(int fd) {
  pollfd ready{fd, POLLIN, 0};
  char done = 0;
  return ::poll(&ready, 1, 10000) == 1 && ::read(fd, &done, 1) == 1;
}

// A print dialog process killed (SIGKILL) at a random moment while it
// stores its entries, 200 times: each time the domain file is a whole
// record of the last finished save or of the one in progress. In odd rounds
// the kill comes up to 25 ms after the writer starts, often before its
// first save is done; in even rounds up to 25 ms after its first save, so
// that some rounds advance the record however slowly a loaded machine runs
// the writer.
TEST_F(CrashSafetyTest, WriterKilledAtRandomMomentsLeavesAWholeRecord) {
  typeVersion(0);
  ASSERT_TRUE(jc->shouldPrint());
  addForeignEntry();
  ASSERT_EQ(versionOnDisk(), 0);

  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> delayMicros(0, 25000);
  long lastSeen = 0;
  int advanced = 0;  // rounds in which at least one save finished
  constexpr int kRounds = 200;
  const auto started = std::chrono::steady_clock::now();
  for (int round = 1; round <= kRounds; ++round) {
    const long base = round * 1000L;
    int saves[2];
    ASSERT_EQ(::pipe(saves), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(saves[0]);
      for (long k = 0;; ++k) {
        typeVersion(base + k);
        jc->shouldPrint();
        if (k == 0 && ::write(saves[1], "s", 1) != 1) ::_exit(1);
      }
    }
    ::close(saves[1]);
    const bool afterFirstSave = round % 2 == 0;
    if (afterFirstSave) {
      EXPECT_TRUE(awaitFinishedSave(saves[0])) << "round " << round;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(saves[0]);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "round " << round;

    const long now = versionOnDisk();
    ASSERT_GE(now, 0) << "round " << round << ": the domain file is not a whole record";
    // Old (the last save seen) or newer, never older.
    ASSERT_GE(now, lastSeen) << "round " << round;
    if (afterFirstSave) {
      ASSERT_GE(now, base) << "round " << round;
    }
    if (now > lastSeen) ++advanced;
    lastSeen = now;
  }
  // The kills fell both between and during saves.
  EXPECT_GE(advanced, kRounds / 2);
  EXPECT_LT(advanced, kRounds);
  // Later prints still work and load what is on disk.
  typeVersion(999999);
  ASSERT_TRUE(jc->shouldPrint());
  EXPECT_EQ(versionOnDisk(), 999999);
  // The temporary files of the killed writers are gone after that save.
  for (const auto& entry : fs::directory_iterator(domainFile().parent_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.ends_with(".plist") || name.ends_with(".lock")) << name;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
}

// The disk fills up while the entries are stored (a file-size limit in a
// child process): the job prints, no alert is shown, the old file stays.
TEST_F(CrashSafetyTest, FullDiskLosesNothingAndTellsNobody) {
  typeVersion(1);
  ASSERT_TRUE(jc->shouldPrint());
  addForeignEntry();
  const std::string before = slurp(domainFile());
  ASSERT_EQ(versionOnDisk(), 1);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{512, 512};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    platform::clearShownAlerts();
    typeVersion(2);
    const bool printed = jc->shouldPrint();
    ::_exit(printed && platform::shownAlerts().empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the print was refused or an alert was shown";
  EXPECT_EQ(slurp(domainFile()), before);

  // The folder cannot be written at all (its path runs through a file).
  platform::UserDefaults::setPreferencesFolderOverride(temp->path() / "not-a-folder" / "prefs");
  std::ofstream(temp->path() / "not-a-folder") << "x";
  platform::clearShownAlerts();
  typeVersion(3);
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_TRUE(platform::shownAlerts().empty());
  EXPECT_EQ(slurp(domainFile()), before);
}

// A link planted at the domain file is neither read nor written through:
// the file it points to stays as it was and its values are not loaded.
TEST_F(CrashSafetyTest, LinkAtTheDomainFileIsNotFollowed) {
  jc.reset();
  const fs::path target = temp->path() / "elsewhere.plist";
  Dict record{{"Model Name", std::string("Quivo ") + kModelProfile.model},
              {"Release Number", "2.00"},
              {"hold button", 8},
              {"user name", "planted"}};
  const std::string targetBytes =
      platform::plist::toXml(Value(Dict{{kModelProfile.preferenceRecordKey, Value(record)}}));
  std::ofstream(target, std::ios::binary) << targetBytes;
  fs::remove(domainFile());
  fs::create_symlink(target, domainFile());
  platform::UserDefaults::resetStandardUserDefaults();

  jc = makeController();
  ASSERT_TRUE(jc);
  EXPECT_EQ(jc->prefHoldButtonFlag, 0u);
  EXPECT_FALSE(jc->prefUserNameStringRef);
  ASSERT_NE(showPanel(*jc), nullptr);
  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  typeVersion(7);
  ASSERT_TRUE(jc->shouldPrint());
  EXPECT_EQ(slurp(target), targetBytes);
  EXPECT_FALSE(fs::is_symlink(domainFile()));
}

}  // namespace
}  // namespace jwtest
