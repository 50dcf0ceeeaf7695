// SPDX-License-Identifier: Apache-2.0
// The installed command: `cmake --install` into a temporary prefix, and the
// installed jobwick finds the installed bundles without any variable; the
// installed drivers as a scheduler whose model folder is the prefix's finds
// them.
#include <gtest/gtest.h>

#include <system_error>
#include <vector>

#include "cups_fixture.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;

/// The build installed once into a temporary prefix for every test here.
class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new TempDir;
    // The scheduler's helpers (user lp) read the installed drivers.
    fs::permissions(prefix_->path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    installed_ = runCommand(
        {JOBWICK_CMAKE, "--install", JOBWICK_BUILD_DIR, "--prefix", prefix_->path().string()});
  }
  static void TearDownTestSuite() {
    delete prefix_;
    prefix_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(installed_.exitCode, 0) << installed_.out << installed_.err; }

  static const fs::path& prefix() { return prefix_->path(); }

 private:
  static inline TempDir* prefix_ = nullptr;
  static inline CommandResult installed_;
};

TEST_F(InstallTest, InstalledJobwickFindsTheInstalledBundles) {
  const fs::path jobwick = prefix() / "bin/jobwick";
  for (const char* file : {"bin/jobwick", "lib/jobwick/bundles/JobwickVk7300.plugin/Info.plist",
                           "lib/jobwick/bundles/JobwickVk410e.plugin/JobwickVk410e.so",
                           "share/man/man1/jobwick.1.gz", "share/doc/jobwick/jobwick.md",
                           "share/doc/jobwick/copyright", "share/doc/jobwick/changelog.gz"}) {
    EXPECT_TRUE(fs::exists(prefix() / file)) << file;
  }
  // With GTK: the dialog program beside jobwick, and a valid desktop entry
  // in the applications menu that runs it for a file it is given. It claims
  // no file type, so it never becomes the application that opens PDFs.
  if (fs::exists(JOBWICK_BUILD_DIR "/gtk/jobwick-dialog")) {
    const fs::path entry = prefix() / "share/applications/jobwick-print.desktop";
    ASSERT_TRUE(fs::exists(entry));
    auto valid = runCommand({"/usr/bin/desktop-file-validate", entry.string()});
    EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
    EXPECT_EQ(valid.out + valid.err, "");
    const std::string text = readFile(entry);
    for (const char* line : {"Name=Print with Jobwick\n", "Exec=jobwick-dialog %f\n"}) {
      EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    for (const char* key : {"MimeType=", "NoDisplay="})
      EXPECT_EQ(text.find(key), std::string::npos) << key;
    auto help = runCommand({jobwick.string(), "dialog", "--help"}, {{"DISPLAY", std::nullopt}});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_NE(help.out.find("Usage: jobwick dialog [FILE]"), std::string::npos) << help.out;
  }
  const std::map<std::string, std::optional<std::string>> noBundleDir = {
      {"JOBWICK_BUNDLE_DIR", std::nullopt}, {"HOME", prefix().string()}};
  auto info = runCommand({jobwick.string(), "info", "vk7300"}, noBundleDir);
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find((prefix() / "lib/jobwick/bundles").string()), std::string::npos)
      << info.out;

  JOBWICK_NEED_CUPSD(cupsd);
  auto environment = noBundleDir;
  environment["CUPS_SERVER"] = cupsd->server();
  environment["JOBWICK_PREFS_DIR"] = (prefix() / "prefs").string();
  auto dryRun = runCommand({jobwick.string(), "print", JOBWICK_SOURCE_DIR "/README.md", "--printer",
                            "Vk7300", "--dry-run"},
                           environment);
  EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err;
  EXPECT_NE(dryRun.out.find("nothing sent to queue Vk7300 (bundle JobwickVk7300.plugin)"),
            std::string::npos)
      << dryRun.out;
}

// Every installed program and library finds the framework library through
// a RUNPATH relative to itself that points into the installation, never
// into the build folder.
TEST_F(InstallTest, RunpathsPointIntoTheInstallation) {
  const fs::path platform = prefix() / "lib/jobwick/platform/libjobwick_platform.so";
  ASSERT_TRUE(fs::exists(platform));
  std::vector<fs::path> needing = {
      prefix() / "bin/jobwick",
      prefix() / "lib/jobwick/bundles/JobwickVk7300.plugin/JobwickVk7300.so",
      prefix() / "lib/jobwick/bundles/JobwickVk410e.plugin/JobwickVk410e.so"};
  if (fs::exists(prefix() / "bin/jobwick-dialog"))
    needing.push_back(prefix() / "bin/jobwick-dialog");
  for (const fs::path& file : needing) {
    auto dynamic = runCommand({"/usr/bin/readelf", "-d", file.string()});
    ASSERT_EQ(dynamic.exitCode, 0) << file << dynamic.err;
    const auto at = dynamic.out.find("(RUNPATH)");
    ASSERT_NE(at, std::string::npos) << file << dynamic.out;
    const auto open = dynamic.out.find('[', at), close = dynamic.out.find(']', at);
    const std::string runpath = dynamic.out.substr(open + 1, close - open - 1);
    ASSERT_EQ(runpath.rfind("$ORIGIN/", 0), 0u) << file << ": " << runpath;
    const fs::path folder = file.parent_path() / runpath.substr(8);
    std::error_code ec;
    EXPECT_TRUE(fs::equivalent(folder, platform.parent_path(), ec)) << file << ": " << runpath;
  }
}

// The installed drivers, as a scheduler whose model folder is the prefix's
// sees them: listed by name, matched by a detected printer's device ID, and
// made into queues by name, with lpadmin or jobwick setup.
TEST_F(InstallTest, SchedulerFindsTheInstalledDrivers) {
  if (!jwtest::PrivateCupsd::available()) GTEST_SKIP() << "no cupsd here";
  TempDir folder;
  std::string why;
  jwtest::CupsdOptions options;
  options.modelFolder = prefix() / "share/cups/model";
  auto cupsd = jwtest::PrivateCupsd::start(folder.path() / "cupsd", &why, 120, options);
  ASSERT_TRUE(cupsd) << why;
  const std::map<std::string, std::optional<std::string>> environment = {
      {"CUPS_SERVER", cupsd->server()},
      {"JOBWICK_BUNDLE_DIR", std::nullopt},
      {"HOME", folder.path().string()},
      {"JOBWICK_PREFS_DIR", (folder.path() / "prefs").string()}};

  auto listed = runCommand({"/usr/sbin/lpinfo", "-m"}, environment);
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("jobwick/vk7300.ppd Quivo VK-7300 PS, 2.00\n"), std::string::npos)
      << listed.out;
  EXPECT_NE(listed.out.find("jobwick/vk410e.ppd Quivo VK-410E PS, 2.00\n"), std::string::npos)
      << listed.out;

  // A printer found on a USB or network connection reports its IEEE 1284
  // device ID; the scheduler offers the driver of that model, and only it.
  struct Detected {
    const char* deviceId;
    const char* driver;
    const char* other;
  };
  for (const Detected& printer :
       {Detected{"MFG:Quivo;MDL:VK-7300;CMD:POSTSCRIPT;", "jobwick/vk7300.ppd", "vk410e"},
        Detected{"MFG:Quivo;MDL:VK-410E;", "jobwick/vk410e.ppd", "vk7300"}}) {
    auto matched =
        runCommand({"/usr/sbin/lpinfo", "--device-id", printer.deviceId, "-m"}, environment);
    EXPECT_EQ(matched.exitCode, 0) << matched.err;
    EXPECT_NE(matched.out.find(printer.driver), std::string::npos) << matched.out;
    EXPECT_EQ(matched.out.find(printer.other), std::string::npos) << matched.out;
  }

  const std::string device = "file://" + cupsd->outputOf("Made").string();
  auto made = runCommand(
      {"/usr/sbin/lpadmin", "-p", "Made", "-E", "-v", device, "-m", "jobwick/vk410e.ppd"},
      environment);
  EXPECT_EQ(made.exitCode, 0) << made.err;
  const std::string jobwick = (prefix() / "bin/jobwick").string();
  auto setup = runCommand(
      {jobwick, "setup", "Office", "--model", "jobwick/vk7300.ppd", "--device-uri", device},
      environment);
  EXPECT_EQ(setup.exitCode, 0) << setup.out << setup.err;
  // A bare model name is Jobwick's driver for it.
  auto bare = runCommand({jobwick, "setup", "Bare", "--model", "vk410e", "--device-uri", device},
                         environment);
  EXPECT_EQ(bare.exitCode, 0) << bare.out << bare.err;
  auto queues = runCommand({jobwick, "queues"}, environment);
  EXPECT_EQ(queues.exitCode, 0) << queues.err;
  EXPECT_NE(queues.out.find("Made  JobwickVk410e.plugin"), std::string::npos) << queues.out;
  EXPECT_NE(queues.out.find("Office  JobwickVk7300.plugin"), std::string::npos) << queues.out;
  EXPECT_NE(queues.out.find("Bare  JobwickVk410e.plugin"), std::string::npos) << queues.out;
}

}  // namespace
}  // namespace hosttest
