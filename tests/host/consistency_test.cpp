// SPDX-License-Identifier: Apache-2.0
// The same fault ends every command the same way: the same exit status, a
// JSON error with --json, and a usage error leaves nothing behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jobwick_fixture.h"

namespace hosttest {
namespace consistency_test {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

/// Every regular file under `folder` (none when it does not exist).
std::vector<fs::path> filesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(it->path());
  }
  return files;
}

class ConsistencyTest : public JobwickTest {
 protected:
  void SetUp() override {
    session_ = source("examples/sessions/vk7300-retention.json").string();
    document_ = scratchFile("doc.ps", "%!PS\nshowpage\n").string();
    missing_ = (temp().path() / "missing.json").string();
    malformed_ = scratchFile("malformed.json", "{\"steps\": [").string();
    // Nothing here may reach a scheduler: the inputs are checked first.
    closed_ = "127.0.0.1:" + std::to_string(SharedPrinter::closedPort());
  }

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };

  void expectAll(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
      std::string line;
      for (const auto& word : c.args) line += word + " ";
      SCOPED_TRACE(line);
      for (const bool json : {false, true}) {
        std::vector<std::string> args = c.args;
        if (json) args.push_back("--json");
        const CommandResult result = jobwick(args, {{"CUPS_SERVER", closed_}});
        EXPECT_EQ(result.exitCode, c.status) << result.err;
        EXPECT_THAT(result.err, HasSubstr(c.message));
        if (json) {
          const auto document = nlohmann::json::parse(result.out, nullptr, false);
          ASSERT_TRUE(document.is_object()) << result.out;
          EXPECT_EQ(document["error"]["status"], c.status) << result.out;
        } else {
          EXPECT_EQ(result.out, "");
        }
      }
    }
    // No command wrote a preference, in the folder named or in the home.
    for (const auto& folder : {prefsDir(), temp().path() / "home", temp().path() / "config"}) {
      EXPECT_THAT(filesUnder(folder), ::testing::IsEmpty()) << folder;
    }
  }

  std::string session_, document_, missing_, malformed_, closed_;
};

TEST_F(ConsistencyTest, UnreadableOrMalformedInputsAreBadInputEverywhere) {
  expectAll({
      {{"info", "vk7300", "--settings", missing_}, 4, "missing.json"},
      {{"session", session_, "--settings", missing_}, 4, "missing.json"},
      {{"ticket", "show", missing_}, 4, "missing.json"},
      {{"print", document_, "--printer", "Q", "--settings", missing_}, 4, "missing.json"},
      {{"session", malformed_}, 4, "malformed.json"},
      {{"print", document_, "--printer", "Q", "--session", malformed_}, 4, "malformed.json"},
      {{"print", missing_, "--printer", "Q"}, 4, "missing.json"},
      {{"info", "vk7300", "--ppd", missing_}, 4, "cannot read PPD"},
      {{"session", session_, "--ppd", missing_}, 4, "cannot read PPD"},
  });
}

TEST_F(ConsistencyTest, EmptyOrWrongOptionValuesAreUsageErrorsWithoutSideEffects) {
  const std::string ppd = source("examples/ppd/vk7300.ppd").string();
  expectAll({
      {{"info", "vk7300", "--prefs-dir="}, 2, "--prefs-dir"},
      {{"session", session_, "--prefs-dir="}, 2, "--prefs-dir"},
      {{"prefs", "show", "P", "--prefs-dir="}, 2, "--prefs-dir"},
      {{"folders", "--address", "127.0.0.1:1", "--printer-id", "P", "--ppd", ppd, "--prefs-dir="},
       2,
       "--prefs-dir"},
      {{"print", document_, "--printer", "Q", "--prefs-dir="}, 2, "--prefs-dir"},
      {{"session", session_, "--language="}, 2, "--language"},
      {{"session", session_, "--var", "NOVALUE"}, 2, "--var"},
      {{"print", document_, "--printer", "Q", "--var", "=x"}, 2, "--var"},
      {{"print", document_, "--printer", "Q", "--copies", "0"}, 2, "--copies"},
      {{"print", document_, "--printer", "Q", "--copies", "99999999999999999999"}, 2, "--copies"},
      {{"info", "vk7300", "--set", "novalue"}, 2, "--set"},
  });
}

TEST_F(ConsistencyTest, HelpAnswersForEveryListedCommand) {
  const CommandResult list = jobwick({"--help"});
  ASSERT_EQ(list.exitCode, 0);
  for (const std::string command :
       {"info", "session", "print", "queues", "ticket show", "folders", "prefs show", "dialog"}) {
    SCOPED_TRACE(command);
    EXPECT_THAT(list.out, HasSubstr("  " + command + " "));
    std::vector<std::string> args = {"help"};
    for (std::size_t at = 0, next; at != std::string::npos; at = next) {
      next = command.find(' ', at);
      args.push_back(command.substr(at, next == std::string::npos ? next : next - at));
      if (next != std::string::npos) ++next;
    }
    const CommandResult help = jobwick(args);
    if (command == "dialog" && help.err.find("not installed") != std::string::npos) {
      continue;  // a build without GTK has no dialog program
    }
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_THAT(help.out, HasSubstr("Usage: jobwick " + command));
  }
}

TEST_F(ConsistencyTest, SchedulerDownIsAJsonErrorForQueues) {
  const CommandResult run = jobwick({"queues", "--json"}, {{"CUPS_SERVER", closed_}});
  EXPECT_EQ(run.exitCode, 1);
  const auto document = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(document.is_object()) << run.out;
  EXPECT_EQ(document["error"]["kind"], "failure");
  EXPECT_THAT(document["error"]["message"].get<std::string>(), HasSubstr(closed_));
}

}  // namespace consistency_test
}  // namespace hosttest
