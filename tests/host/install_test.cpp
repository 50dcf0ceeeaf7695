// The installed command: `cmake --install` into a temporary prefix, and the
// installed jobwick finds the installed bundles without any variable.
#include <gtest/gtest.h>

#include "cups_fixture.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;

TEST(InstallTest, InstalledJobwickFindsTheInstalledBundles) {
  TempDir prefix;
  auto installed = runCommand(
      {JOBWICK_CMAKE, "--install", JOBWICK_BUILD_DIR, "--prefix", prefix.path().string()});
  ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;
  const fs::path jobwick = prefix.path() / "bin/jobwick";
  for (const char* file : {"bin/jobwick", "lib/jobwick/bundles/JobwickVk7300.plugin/Info.plist",
                           "lib/jobwick/bundles/JobwickVk410e.plugin/JobwickVk410e.so",
                           "share/man/man1/jobwick.1", "share/doc/jobwick/jobwick.md"}) {
    EXPECT_TRUE(fs::exists(prefix.path() / file)) << file;
  }
  // With GTK: the dialog program beside jobwick, and a valid desktop entry
  // that runs it for PDF and PostScript files.
  if (fs::exists(JOBWICK_BUILD_DIR "/gtk/jobwick-dialog")) {
    const fs::path entry = prefix.path() / "share/applications/jobwick-print.desktop";
    ASSERT_TRUE(fs::exists(entry));
    auto valid = runCommand({"/usr/bin/desktop-file-validate", entry.string()});
    EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
    EXPECT_EQ(valid.out + valid.err, "");
    const std::string text = readFile(entry);
    for (const char* line : {"Name=Print with Jobwick\n", "Exec=jobwick dialog %f\n",
                             "MimeType=application/pdf;application/postscript;\n"}) {
      EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    auto help = runCommand({jobwick.string(), "dialog", "--help"}, {{"DISPLAY", std::nullopt}});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_NE(help.out.find("Usage: jobwick dialog [FILE]"), std::string::npos) << help.out;
  }
  const std::map<std::string, std::optional<std::string>> noBundleDir = {
      {"JOBWICK_BUNDLE_DIR", std::nullopt}, {"HOME", prefix.path().string()}};
  auto info = runCommand({jobwick.string(), "info", "vk7300"}, noBundleDir);
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find((prefix.path() / "lib/jobwick/bundles").string()), std::string::npos)
      << info.out;

  JOBWICK_NEED_CUPSD(cupsd);
  auto environment = noBundleDir;
  environment["CUPS_SERVER"] = cupsd->server();
  environment["JOBWICK_PREFS_DIR"] = (prefix.path() / "prefs").string();
  auto dryRun = runCommand({jobwick.string(), "print", JOBWICK_SOURCE_DIR "/README.md", "--printer",
                            "Vk7300", "--dry-run"},
                           environment);
  EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err;
  EXPECT_NE(dryRun.out.find("nothing sent to queue Vk7300 (bundle JobwickVk7300.plugin)"),
            std::string::npos)
      << dryRun.out;
}

}  // namespace
}  // namespace hosttest
