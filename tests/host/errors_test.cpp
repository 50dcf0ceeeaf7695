// SPDX-License-Identifier: Apache-2.0
// One exit-status table for every command, JSON error objects under --json,
// and help for the command groups.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/common/escape.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class JobwickErrors : public JobwickTest {};

// The same fault, an input file that is not in its format or cannot be read,
// ends every command with the same status.
TEST_F(JobwickErrors, BadInputFilesShareOneStatus) {
  const auto notJson = scratchFile("broken.json", "{ not json");
  const auto folder = temp().path() / "a-folder";
  std::filesystem::create_directories(folder);
  struct Case {
    std::vector<std::string> args;
  };
  const std::vector<Case> cases = {
      {{"session", notJson.string()}},
      {{"ticket", "show", notJson.string()}},
      {{"session", (temp().path() / "missing.json").string()}},
      {{"ticket", "show", (temp().path() / "missing.json").string()}},
      {{"ticket", "show", folder.string()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    CommandResult result = jobwick(c.args);
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_THAT(result.err, HasSubstr("jobwick: "));
  }
}

// With --json a failure is also a JSON object on standard output, carrying
// the status, its kind, the command and the message that standard error gets.
TEST_F(JobwickErrors, JsonErrorsAreObjectsOnStandardOutput) {
  const auto notJson = scratchFile("broken.json", "{ not json");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string kind;
    std::string command;
  };
  const std::vector<Case> cases = {
      {{"ticket", "show", notJson.string(), "--json"}, 4, "bad-input", "ticket show"},
      {{"session", notJson.string(), "--json"}, 4, "bad-input", "session"},
      {{"ticket", "show", "--json"}, 2, "usage", "ticket show"},
      {{"info", "vk7300", "--json", "--bogus"}, 2, "usage", "info"},
      {{"prefs", "show", "a/b", "--json"}, 2, "usage", "prefs show"},
      {{"folders", "--json"}, 2, "usage", "folders"},
      {{"prefs", "show", "Nobody", "--json", "--prefs-dir", prefsDir().string()},
       1,
       "failure",
       "prefs show"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + " " + c.args.back());
    CommandResult result = jobwick(c.args);
    EXPECT_EQ(result.exitCode, c.status) << result.err;
    const auto document = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_TRUE(document.is_object()) << result.out;
    const auto& error = document["error"];
    EXPECT_EQ(error["status"], c.status);
    EXPECT_EQ(error["kind"], c.kind);
    EXPECT_EQ(error["command"], c.command);
    ASSERT_TRUE(error["message"].is_string());
    EXPECT_THAT(result.err, HasSubstr(error["message"].get<std::string>()));
  }
}

TEST_F(JobwickErrors, GroupsListTheirSubcommands) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"help", "ticket"}, {"ticket", "--help"}}) {
    CommandResult result = jobwick(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("jobwick ticket show SETTINGS"));
  }
  CommandResult prefs = jobwick({"help", "prefs"});
  EXPECT_EQ(prefs.exitCode, 0) << prefs.err;
  EXPECT_THAT(prefs.out, HasSubstr("jobwick prefs show PRINTER-ID"));

  CommandResult unknown = jobwick({"help", "tickets"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_THAT(
      unknown.err,
      HasSubstr("the commands are info, session, print, queues, setup, agent, ticket show"));
}

// Input that never ends, or is a folder, is refused at the bound rather than
// read whole (or read as an empty ticket).
TEST_F(JobwickErrors, EndlessAndFolderInputIsRefused) {
  const auto folder = temp().path() / "settings-folder";
  std::filesystem::create_directories(folder);
  const auto script =
      scratchFile("endless.json", R"({"bundle": "vk7300", "settingsFile": "/dev/zero",
      "steps": [{"do": "dump"}]})");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"ticket", "show", "/dev/zero"}, "/dev/zero: cannot read settings file: larger than 1 MiB"},
      {{"session", script.string()}, "/dev/zero: cannot read settings file: larger than 1 MiB"},
      {{"session", "/dev/zero"}, "/dev/zero: cannot read session script: larger than 1 MiB"},
      {{"info", "vk7300", "--settings", folder.string()},
       "cannot read settings file: it is a folder"},
      {{"info", "vk7300", "--settings", "/dev/zero"}, "larger than 1 MiB (the limit)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    CommandResult result = jobwick(c.args);
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.message));
  }
}

// A spoolTime shorter than a key used to be quoted from past its end.
TEST_F(JobwickErrors, ShortSpoolTimeIsAProblemNotAnOverRead) {
  const auto ticket = scratchFile("short.txt", "jp.co.quivo.print.PrintSettings.spoolTime=3431\n");
  CommandResult result = jobwick({"ticket", "show", ticket.string()});
  EXPECT_EQ(result.exitCode, 3) << result.err;
  EXPECT_THAT(result.out, HasSubstr("too short for a key"));
  EXPECT_THAT(result.out, HasSubstr("shorter than the 16 characters"));
}

// Text from outside can neither break lines nor reach the terminal raw.
TEST(EscapeText, ControlCharactersAndBadBytesAreEscaped) {
  using jobwick::host::escapeText;
  using jobwick::host::quoteText;
  struct Case {
    std::string in, escaped, quoted;
  };
  const std::vector<Case> cases = {
      {"Sales", "Sales", "\"Sales\""},
      {"a\n  [protected] FAKE", "a\\n  [protected] FAKE", "\"a\\n  [protected] FAKE\""},
      {"\x1b[2Jx\r\t", "\\x1b[2Jx\\r\\t", "\"\\x1b[2Jx\\r\\t\""},
      {"Caf\xc3\xa9 \xe6\x97\xa5", "Caf\xc3\xa9 \xe6\x97\xa5", "\"Caf\xc3\xa9 \xe6\x97\xa5\""},
      {"\xff\xc3", "\\xff\\xc3", "\"\\xff\\xc3\""},
      {"\xc2\x85", "\\xc2\\x85", "\"\\xc2\\x85\""},  // C1 next line
      {"q\"b\\", "q\"b\\", "\"q\\\"b\\\\\""},
      {std::string("n\0ul", 4), "n\\x00ul", "\"n\\x00ul\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escapeText(c.in), c.escaped);
    EXPECT_EQ(quoteText(c.in), c.quoted);
    EXPECT_EQ(escapeText(escapeText(c.in)), escapeText(c.in));
  }
}

// A printer's folder name with a line break cannot forge a folder line.
TEST_F(JobwickErrors, FolderNamesFromThePrinterAreEscaped) {
  auto simulator = SharedPrinter::start({"--folder", "Sales\n  [protected] FAKE", "--folder", "Ok"},
                                        temp().path() / "log");
  CommandResult result =
      jobwick({"folders", "--address", "127.0.0.1:" + std::to_string(simulator->port())});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("  Sales\\n  [protected] FAKE  (directory)\n"));
  EXPECT_THAT(result.out, ::testing::Not(HasSubstr("\n  [protected] FAKE")));
}

// The cause of a failed fetch is added to the panel's own alert.
TEST_F(JobwickErrors, FolderFetchFailureNamesTheCause) {
  CommandResult result =
      jobwick({"folders", "--address", "127.0.0.1:" + std::to_string(SharedPrinter::closedPort())});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("Could not retrieve Folder Names."));
  EXPECT_THAT(result.err,
              ::testing::ContainsRegex("Could not retrieve Folder Names\\. \\(.*[Cc]onnect"));
}

// info only shows: neither the named preferences folder nor the default one
// changes, also when the panel would reset a record made for another model.
TEST_F(JobwickErrors, InfoWritesNoPreferences) {
  const auto folder = temp().path() / "prefs-info";
  std::filesystem::create_directories(folder);
  const auto ppd = source("examples/ppd/vk7300.ppd").string();
  CommandResult fresh = jobwick({"info", "vk7300", "--ppd", ppd, "--printer-id", "Office"},
                                {{"JOBWICK_PREFS_DIR", folder.string()}});
  ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
  EXPECT_THAT(fresh.out, HasSubstr(folder.string()));
  EXPECT_TRUE(std::filesystem::is_empty(folder));

  // A record of another model, which the panel would drop.
  const std::string record =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>Job Handling</key><dict><key>Model Name</key><string>Quivo VK-410E</string></dict>"
      "</dict></plist>\n";
  const auto file = writeFile(folder / "jp.co.quivo.mfp.Office.plist", record);
  CommandResult other = jobwick(
      {"info", "vk7300", "--ppd", ppd, "--printer-id", "Office", "--prefs-dir", folder.string()});
  ASSERT_EQ(other.exitCode, 0) << other.err;
  EXPECT_EQ(readFile(file), record);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

  // Without a folder named, the user's own preferences stay untouched.
  const auto config = temp().path() / "config";
  CommandResult plain =
      jobwick({"info", "vk7300", "--ppd", ppd},
              {{"JOBWICK_PREFS_DIR", std::nullopt}, {"XDG_CONFIG_HOME", config.string()}});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  std::error_code ec;
  EXPECT_FALSE(std::filesystem::exists(
      config / "jobwick" / "preferences" / "jp.co.quivo.mfp.vk7300.plist", ec));
}

TEST_F(JobwickErrors, InfoNamesModelsAndLanguages) {
  for (const char* name : {"vk7301", "VK7300"}) {
    CommandResult wrong = jobwick({"info", name});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_THAT(wrong.err, HasSubstr("the models there are vk410e, vk7300"));
  }
  CommandResult mismatch =
      jobwick({"info", "vk7300", "--ppd", source("examples/ppd/vk410e.ppd").string()});
  EXPECT_EQ(mismatch.exitCode, 3);
  EXPECT_THAT(mismatch.err, HasSubstr("warning: the vk7300 bundle is not for this printer"));
  EXPECT_THAT(mismatch.err, HasSubstr("names \"Quivo VK-410E\""));

  CommandResult language = jobwick({"info", "vk7300", "--language", "xx"});
  EXPECT_EQ(language.exitCode, 0);
  EXPECT_THAT(language.err, HasSubstr("warning: option --language: the bundle has no language "
                                      "\"xx\" (it has en, ja, "));
  EXPECT_EQ(jobwick({"info", "vk7300", "--language", "ja-JP"}).exitCode, 0);

  // The commands that only read stored texts warn the same way.
  const auto ticket = scratchFile("ticket.json", R"({"filing": "3"})");
  const std::vector<std::vector<std::string>> readers = {
      {"ticket", "show", ticket.string(), "--language", "xx"},
      {"prefs", "show", "nobody", "--prefs-dir", temp().path().string(), "--language", "xx"}};
  for (const auto& args : readers) {
    SCOPED_TRACE(args[0]);
    EXPECT_THAT(jobwick(args).err,
                HasSubstr("warning: option --language: the bundle has no language \"xx\""));
    std::vector<std::string> known = args;
    known.back() = "ja";
    EXPECT_THAT(jobwick(known).err, Not(HasSubstr("warning: option --language")));
  }
}

TEST_F(JobwickErrors, TopHelpHasTheExitStatusTable) {
  CommandResult top = jobwick({"--help"});
  EXPECT_THAT(top.out, HasSubstr("Exit status (every command):\n  0  done\n"));
  EXPECT_THAT(top.out, HasSubstr("\n  4  an input file"));
  // The GTK dialog is a program of its own, listed with the commands.
  EXPECT_THAT(top.out, HasSubstr("\n  dialog "));
  EXPECT_THAT(top.out, HasSubstr("  jobwick dialog letter.pdf --printer Vk7300\n"));
}

}  // namespace
}  // namespace hosttest
