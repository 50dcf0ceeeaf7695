// SPDX-License-Identifier: Apache-2.0
// End-to-end tests of `jobwick folders` against the printer simulator and of
// `jobwick prefs show` on the records the panel writes; and the help of
// every command.
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "jobwick_fixture.h"

namespace {

namespace fs = std::filesystem;
using hosttest::CommandResult;
using hosttest::JobwickTest;
using hosttest::SharedPrinter;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(JobwickTest, FoldersListsThePrintersFoldersWithTheirMarks) {
  const std::string address = SharedPrinter::address();
  CommandResult text = jobwick({"folders", "--address", address});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_THAT(text.out, HasSubstr("3 folders on " + address + ":\n"));
  EXPECT_THAT(text.out, HasSubstr("              Sales"));
  EXPECT_THAT(text.out, HasSubstr("  [protected] Board"));
  EXPECT_THAT(text.err, HasSubstr("Asking " + address + " for its folders...\n"));
  EXPECT_THAT(text.err, HasSubstr(address + " answered in "));

  for (const char* bundle : {"vk7300", "vk410e"}) {
    int status = -1;
    json list =
        jobwickJson({"folders", "--address", address, "--bundle", bundle, "--json"}, &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(list["folders"].size(), 3u) << bundle;
    EXPECT_EQ(list["folders"][1],
              (json{{"name", "Board"}, {"protected", true}, {"directory", true}}));
    EXPECT_EQ(list["folders"][2]["name"], "Design Team");
    EXPECT_EQ(list["cache"], nullptr);
  }
  // Without a printer nothing is left in the user's preferences.
  EXPECT_FALSE(fs::exists(prefsDir()));
}

TEST_F(JobwickTest, FoldersCachesTheListWhereThePanelFindsIt) {
  const std::string address = SharedPrinter::address();
  const std::string ppd = source("examples/ppd/vk7300.ppd").string();
  CommandResult cached =
      jobwick({"folders", "--address", address, "--printer-id", "Office_MFP", "--ppd", ppd});
  ASSERT_EQ(cached.exitCode, 0) << cached.err;
  EXPECT_THAT(cached.out, HasSubstr("Cached for printer Office_MFP in " +
                                    (prefsDir() / "jp.co.quivo.mfp.Office_MFP.plist").string()));

  // The next dialog for the printer offers them without asking it.
  auto script = scratchFile("menu.json", R"({"bundle": "vk7300",
    "printer": {"ppd": ")" + ppd + R"(", "id": "Office_MFP"},
    "steps": [{"do": "restore"}, {"do": "expect", "control": "folderSelectionPopup",
               "items": [{"index": 0, "title": "Quick File", "enabled": true, "image": "file:space.png"},
                         {"index": 1, "title": "Main Folder", "enabled": true, "image": "file:space.png"},
                         {"index": 2, "separator": true},
                         {"index": 3, "title": "Sales", "enabled": true, "image": "file:space.png"},
                         {"index": 4, "title": "Board", "enabled": true, "image": "icon:lock"},
                         {"index": 5, "title": "Design Team", "enabled": true, "image": "file:space.png"}]}]})");
  CommandResult session = jobwick({"session", script.string(), "--prefs-dir", prefsDir().string()});
  EXPECT_EQ(session.exitCode, 0) << session.out << session.err;

  int status = -1;
  json prefs = jobwickJson({"prefs", "show", "Office_MFP", "--json"}, &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(prefs["records"].size(), 1u);
  const json& record = prefs["records"][0];
  EXPECT_EQ(record["recordKey"], "Job Handling");
  ASSERT_EQ(record["folders"].size(), 3u);
  EXPECT_EQ(record["folders"][1]["protected"], true);
  bool sawAddress = false;
  for (const auto& entry : record["entries"]) {
    if (entry["key"] == "address") {
      sawAddress = true;
      EXPECT_EQ(entry["text"], address);
    }
  }
  EXPECT_TRUE(sawAddress);
}

TEST_F(JobwickTest, FoldersRefusesToResetAnotherModelsRecord) {
  const std::string address = SharedPrinter::address();
  ASSERT_EQ(jobwick({"folders", "--address", address, "--printer-id", "Shared", "--ppd",
                     source("examples/ppd/vk7300.ppd").string()})
                .exitCode,
            0);
  const fs::path file = prefsDir() / "jp.co.quivo.mfp.Shared.plist";
  const std::string before = hosttest::readFile(file);
  // The same printer described by a PPD of another model.
  std::string ppd = hosttest::readFile(source("examples/ppd/vk7300.ppd"));
  const std::string model = "*ModelName: \"Quivo VK-7300\"";
  ASSERT_NE(ppd.find(model), std::string::npos);
  ppd.replace(ppd.find(model), model.size(), "*ModelName: \"Quivo VK-7300 Plus\"");
  const fs::path other = scratchFile("other.ppd", ppd);
  CommandResult refused =
      jobwick({"folders", "--address", address, "--printer-id", "Shared", "--ppd", other.string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(refused.err, HasSubstr("belong to model \"Quivo VK-7300\""));
  EXPECT_EQ(hosttest::readFile(file), before);
}

TEST_F(JobwickTest, FoldersFailuresNameTheCause) {
  const int closed = SharedPrinter::closedPort();
  CommandResult unreachable =
      jobwick({"folders", "--address", "127.0.0.1:" + std::to_string(closed)});
  EXPECT_EQ(unreachable.exitCode, 1);
  EXPECT_THAT(unreachable.err,
              HasSubstr("could not get the folder list from 127.0.0.1:" + std::to_string(closed) +
                        ": Could not retrieve Folder Names."));

  struct Mode {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Mode modes[] = {
      {{"--result-code", "unsupported-operation", "--folder", "A"},
       "the printer answered with result code \"unsupported-operation\""},
      {{"--mode", "malformed"}, "the printer's answer is not an XML document"},
      {{"--mode", "error", "--status", "500"}, "the printer's answer holds no folder list"},
  };
  for (const Mode& mode : modes) {
    auto simulator = SharedPrinter::start(mode.arguments, temp().path() / "log");
    CommandResult result =
        jobwick({"folders", "--address", "127.0.0.1:" + std::to_string(simulator->port())});
    EXPECT_EQ(result.exitCode, 1) << mode.message;
    EXPECT_THAT(result.err, HasSubstr(mode.message));
  }
}

TEST_F(JobwickTest, FoldersCommandLineErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"folders"}, "missing --address HOST[:PORT]"},
      {{"folders", "--address", ""}, "--address needs the printer's address"},
      {{"folders", "--address", "http://10.0.0.5"}, "without \"http://\" or a path"},
      {{"folders", "--address", "10.0.0.5/x"}, "without \"http://\" or a path"},
      {{"folders", "--address", "a b"}, "\"a b\" is not a host name"},
      {{"folders", "--address", "h", "--printer-id", "P"}, "--printer-id needs the printer's PPD"},
      {{"folders", "--address", "h", "--prefs-dir", "/tmp"}, "--prefs-dir needs --printer-id"},
      {{"folders", "extra", "--address", "h"}, "unexpected argument 'extra'"},
  };
  for (const Case& c : cases) {
    CommandResult result = jobwick(c.args);
    EXPECT_EQ(result.exitCode, 2) << c.message;
    EXPECT_THAT(result.err, HasSubstr(c.message));
  }
  CommandResult noButton = jobwick({"folders", "--address", "h", "--ppd",
                                    source("examples/ppd/vk7300-print-system.ppd").string()});
  EXPECT_EQ(noButton.exitCode, 1);
  EXPECT_THAT(noButton.err, HasSubstr("has no folder-list button"));
}

TEST_F(JobwickTest, PrefsShowDecipheresTheRememberedEntries) {
  ASSERT_EQ(jobwick({"session", source("examples/sessions/vk7300-authentication.json").string(),
                     "--prefs-dir", prefsDir().string()})
                .exitCode,
            0);
  int status = -1;
  json prefs = jobwickJson({"prefs", "show", "Office_MFP", "--json"}, &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(prefs["records"].size(), 1u);
  const json& record = prefs["records"][0];
  EXPECT_EQ(record["holdButton"], 206);
  EXPECT_EQ(record["locks"],
            (json{"login name", "password", "user name", "user number", "account number"}));
  std::map<std::string, json> entries;
  for (const auto& entry : record["entries"]) entries[entry["key"]] = entry;
  EXPECT_EQ(entries["user login name"]["text"], "alice");
  EXPECT_EQ(entries["user login name"]["locked"], true);
  EXPECT_EQ(entries["user password"]["text"], "s3cret pass");
  EXPECT_EQ(entries["user number"]["text"], "42");
  EXPECT_EQ(entries["account number"]["text"], "12345");
  EXPECT_EQ(entries["user name"]["text"], "Alice Example");
  EXPECT_EQ(entries["job name"]["locked"], false);
  EXPECT_EQ(entries["Model Name"]["text"], "Quivo VK-7300");

  CommandResult text = jobwick({"prefs", "show", "Office_MFP"});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, ::testing::ContainsRegex("user login name +\\[locked\\] +\"alice\""));
  EXPECT_THAT(text.out, ::testing::ContainsRegex("job name +\\[unlocked\\]"));
}

TEST_F(JobwickTest, PrefsShowReportsMissingAndDamagedFiles) {
  CommandResult none = jobwick({"prefs", "show", "Nowhere"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_THAT(none.err, HasSubstr("jp.co.quivo.mfp.Nowhere.plist: no such preference file"));

  const fs::path damaged = hosttest::writeFile(prefsDir() / "jp.co.quivo.mfp.Broken.plist",
                                               "<?xml version=\"1.0\"?><plist><dict><key>");
  CommandResult broken = jobwick({"prefs", "show", "Broken"});
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_THAT(broken.err, HasSubstr("not a property list"));
  EXPECT_TRUE(fs::exists(damaged)) << "a read-only command must not move the file aside";

  CommandResult known = jobwick({"prefs", "show", "Nowhere"});
  EXPECT_THAT(known.err,
              HasSubstr("Printers with preferences in " + prefsDir().string() + ": Broken"));

  // A record whose secret was changed on disk: shown, and reported.
  hosttest::writeFile(prefsDir() / "jp.co.quivo.mfp.Edited.plist",
                      R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>Jobwick</key><dict>
<key>Model Name</key><string>Quivo VK-410E</string>
<key>Release Number</key><string>1.00</string>
<key>hold button</key><integer>1</integer>
<key>pass code</key><string>0123456789ABCDEF0123456789ABCDEF</string>
</dict><key>Other</key><string>x</string></dict></plist>)");
  CommandResult edited = jobwick({"prefs", "show", "Edited", "--model", "vk410e"});
  EXPECT_EQ(edited.exitCode, 3);
  EXPECT_THAT(edited.out, HasSubstr("Record \"Jobwick\" (vk410e build)"));
  EXPECT_THAT(edited.out, HasSubstr("the panel resets a record of another release"));
  EXPECT_THAT(edited.out, HasSubstr("problem: does not decipher to text"));
  EXPECT_THAT(edited.out, HasSubstr("Other entries of the domain: \"Other\""));
  EXPECT_EQ(jobwick({"prefs", "show", "Edited", "--model", "vk7300"}).exitCode, 1);

  EXPECT_EQ(jobwick({"prefs", "show", "Edited", "--model", "vk9"}).exitCode, 2);
  EXPECT_EQ(jobwick({"prefs", "show", "a/b"}).exitCode, 2);
  EXPECT_EQ(jobwick({"prefs", "show"}).exitCode, 2);
}

TEST_F(JobwickTest, EveryCommandHasHelpWithExamples) {
  for (const std::vector<std::string>& command : {std::vector<std::string>{"info"},
                                                  {"session"},
                                                  {"ticket", "show"},
                                                  {"folders"},
                                                  {"prefs", "show"}}) {
    std::vector<std::string> args = command;
    args.push_back("--help");
    CommandResult result = jobwick(args);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, HasSubstr("Usage: jobwick " + command[0]));
    EXPECT_THAT(result.out, HasSubstr("Examples:\n  jobwick " + command[0]));
    EXPECT_THAT(result.out, HasSubstr("Exit status:"));
  }
  CommandResult list = jobwick({"--help"});
  for (const char* name : {"info", "session", "ticket show", "folders", "prefs show"}) {
    EXPECT_THAT(list.out, HasSubstr("  " + std::string(name) + " "));
  }
  CommandResult partial = jobwick({"prefs"});
  EXPECT_EQ(partial.exitCode, 2);
  EXPECT_THAT(partial.err, HasSubstr("'prefs' needs a subcommand: 'jobwick prefs show'"));
}

// The panel cannot save its preferences (here the folder cannot be made,
// as with a full disk): the command warns and keeps its status.
TEST_F(JobwickTest, AFailedPreferenceWriteIsAWarningOnly) {
  const std::string ppd = source("examples/ppd/vk7300.ppd").string();
  const fs::path script = scratchFile(
      "print.json",
      json{{"bundle", "vk7300"},
           {"printer", {{"ppd", ppd}, {"id", "Office_MFP"}}},
           {"steps", json::array({json{{"do", "restore"}}, json{{"do", "save"}},
                                  json{{"do", "shouldPrint"}, {"expectResult", true}}})}}
          .dump());
  const fs::path blocker = scratchFile("blocker", "a plain file");
  const std::vector<std::vector<std::string>> commands = {
      {"session", script.string()},
      {"session", script.string(), "--json"},
  };
  for (const auto& command : commands) {
    for (const bool writable : {false, true}) {
      std::vector<std::string> args = command;
      args.insert(args.end(),
                  {"--prefs-dir", (writable ? prefsDir() : blocker / "prefs").string()});
      const CommandResult result = jobwick(args);
      EXPECT_EQ(result.exitCode, 0) << command[0] << result.err;
      if (writable) {
        EXPECT_THAT(result.err, Not(HasSubstr("warning"))) << command[0];
      } else {
        EXPECT_THAT(result.err,
                    HasSubstr("jobwick: warning: the panel's preferences were not saved "
                              "(\"jp.co.quivo.mfp.Office_MFP\": Not a directory)"))
            << command[0];
      }
    }
  }
}

}  // namespace
