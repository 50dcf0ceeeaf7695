// One exit-status table for every command, JSON error objects under --json,
// and help for the command groups.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "jobwick_fixture.h"

namespace hosttest {
namespace {

using ::testing::HasSubstr;

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
  EXPECT_THAT(unknown.err, HasSubstr("the commands are info, session, ticket show"));
}

// Input that never ends, or is a folder, is refused at the bound rather than
// read whole (or read as an empty ticket).
TEST_F(JobwickErrors, EndlessAndFolderInputIsRefused) {
  const auto folder = temp().path() / "settings-folder";
  std::filesystem::create_directories(folder);
  const auto script = scratchFile("endless.json", R"({"bundle": "vk7300", "settingsFile": "/dev/zero",
      "steps": [{"do": "dump"}]})");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"ticket", "show", "/dev/zero"}, "/dev/zero: cannot read settings file: larger than 1 MiB"},
      {{"session", script.string()}, "/dev/zero: cannot read settings file: larger than 1 MiB"},
      {{"session", "/dev/zero"}, "/dev/zero: cannot read session script: larger than 1 MiB"},
      {{"info", "vk7300", "--settings", folder.string()}, "cannot read settings file: it is a folder"},
      {{"info", "vk7300", "--settings", "/dev/zero"}, "larger than 1 MiB (the limit)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    CommandResult result = jobwick(c.args);
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.message));
  }
}

TEST_F(JobwickErrors, TopHelpHasTheExitStatusTable) {
  CommandResult top = jobwick({"--help"});
  EXPECT_THAT(top.out, HasSubstr("Exit status (every command):\n  0  done\n"));
  EXPECT_THAT(top.out, HasSubstr("\n  4  an input file"));
}

}  // namespace
}  // namespace hosttest
