// SPDX-License-Identifier: Apache-2.0
// End-to-end tests of `jobwick session`: every example session runs through
// the built command against the built bundles, and each kind of script
// mistake is reported with the place it happened.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
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

using hosttest::kPrefix;

std::vector<std::string> exampleSessions() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(JobwickTest::source("examples/sessions"))) {
    if (entry.path().extension() == ".json") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ExampleSession : public JobwickTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ExampleSession, RunsWithEveryExpectationHolding) {
  const fs::path script = source("examples/sessions") / GetParam();
  int status = -1;
  json result = jobwickJson(
      {"session", script.string(), "--json", "--var", "PRINTER=" + SharedPrinter::address()},
      &status);
  EXPECT_EQ(status, 0) << result.dump(2);
  EXPECT_EQ(result["ok"], true);
  EXPECT_EQ(result["failures"], json::array());
  EXPECT_EQ(result["error"], nullptr);
  // Every step ran, and no fetch of the printer's folders failed.
  json scriptJson = json::parse(hosttest::readFile(script));
  EXPECT_EQ(result["steps"].size(), scriptJson["steps"].size());
  for (const auto& step : result["steps"]) {
    if (step["do"] == "fetchFolders") {
      EXPECT_EQ(step["folderCount"], 3) << step.dump();
      EXPECT_FALSE(step.contains("alerts")) << step.dump();
    }
  }
  // Every session that saves leaves a job ticket with its spool time.
  const bool saves = std::any_of(scriptJson["steps"].begin(), scriptJson["steps"].end(),
                                 [](const json& s) { return s["do"] == "save"; });
  if (saves) {
    EXPECT_TRUE(result["settings"]["settings"].contains(std::string(kPrefix) + "spoolTime"));
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleSession, ::testing::ValuesIn(exampleSessions()),
                         [](const auto& info) {
                           std::string name = fs::path(info.param).stem().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST_F(JobwickTest, ExamplesCoverBothModelsAndEveryArea) {
  std::string all;
  for (const auto& name : exampleSessions())
    all += hosttest::readFile(source("examples/sessions") / name);
  for (const char* needle :
       {"\"bundle\": \"vk7300\"", "\"bundle\": \"vk410e\"", "vk7300-active-directory.ppd",
        "vk7300-print-system.ppd", "suspendKeyEditText", "folderSelectionPopup",
        "folderSelectionMatrix", "folderNameEditText", "loginNameButton", "userNumberEditText",
        "accountNumberEditText", "userNameEditText", "jobNameEditText", "\"do\": \"summary\"",
        "\"expectResult\": false", "\"do\": \"reopen\"", "\"do\": \"fetchFolders\""}) {
    EXPECT_THAT(all, HasSubstr(needle));
  }
}

TEST_F(JobwickTest, SessionKeyResults) {
  // The demo: a protected folder from the printer, a locked login name.
  json demo = jobwickJson({"session", source("examples/sessions/demo.json").string(), "--json",
                           "--var", "PRINTER=" + SharedPrinter::address()});
  const json& ticket = demo["settings"]["settings"];
  EXPECT_EQ(ticket[std::string(kPrefix) + "filing"], "3");
  EXPECT_EQ(ticket[std::string(kPrefix) + "folderPath"], "426F617264");  // "Board"
  EXPECT_EQ(ticket[std::string(kPrefix) + "holdButton"], "2");
  EXPECT_EQ(demo["summary"]["Folder"], "Board");
  // The popup lists the printer's folders, the protected one with a padlock.
  const json& popup = demo["dumps"][0]["controls"][3];
  ASSERT_EQ(popup["identifier"], "folderSelectionPopup");
  ASSERT_EQ(popup["items"].size(), 6u);
  EXPECT_EQ(popup["items"][2]["separator"], true);
  EXPECT_EQ(popup["items"][4]["title"], "Board");
  EXPECT_EQ(popup["items"][4]["image"], "icon:lock");
  EXPECT_NE(popup["items"][3]["image"], "icon:lock");

  // The print-system printer: two refusals, each with its alert.
  json printSystem = jobwickJson(
      {"session", source("examples/sessions/vk7300-print-system.json").string(), "--json"});
  ASSERT_EQ(printSystem["alerts"].size(), 2u);
  EXPECT_EQ(printSystem["alerts"][0]["title"], "Information");
  EXPECT_THAT(printSystem["alerts"][0]["message"].get<std::string>(), HasSubstr("Login Name"));
  EXPECT_EQ(printSystem["alerts"][0]["step"], 5);
  EXPECT_EQ(printSystem["steps"][4]["result"], false);
}

TEST_F(JobwickTest, SessionTextModeShowsStepsAlertsAndSettings) {
  CommandResult result =
      jobwick({"session", source("examples/sessions/vk7300-print-system.json").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("step 5: shouldPrint \"empty login name: refused\"\n"
                                    "  alert: Information: Please confirm"));
  EXPECT_THAT(result.out, HasSubstr("answer: NO (printing refused)"));
  EXPECT_THAT(result.out, HasSubstr("Print settings after the session:"));
  EXPECT_THAT(result.out, HasSubstr("0 failed, 0 events refused"));
}

TEST_F(JobwickTest, SessionReportsRefusedEventsAndGoesOn) {
  auto script = scratchFile("refused.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" + source("examples/ppd/vk7300.ppd").string() +
                                                R"("},
    "steps": [
      {"do": "restore"},
      {"do": "type", "control": "suspendKeyEditText", "text": "12"},
      {"do": "click", "control": "suspendKeyButton"},
      {"do": "type", "control": "accountNumberEditText", "text": "x"},
      {"do": "type", "control": "accountNumberEditText", "text": "1a2"},
      {"do": "delete", "control": "accountNumberEditText", "count": 5}
    ]})");
  int status = -1;
  json result = jobwickJson({"session", script.string(), "--json"}, &status);
  EXPECT_EQ(status, 0);
  const json& steps = result["steps"];
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[1]["status"], "refused");
  EXPECT_EQ(steps[1]["message"], "it is not editable");
  EXPECT_EQ(steps[2]["status"], "refused");
  EXPECT_EQ(steps[2]["message"], "it is disabled");
  EXPECT_EQ(steps[3]["status"], "refused");
  EXPECT_THAT(steps[3]["message"].get<std::string>(), HasSubstr("input filter took none"));
  EXPECT_EQ(steps[4]["status"], "partial");
  EXPECT_EQ(steps[4]["accepted"], 2);
  EXPECT_EQ(steps[4]["text"], "12");
  EXPECT_EQ(steps[5]["status"], "partial");
  EXPECT_EQ(steps[5]["text"], "");
  EXPECT_EQ(result["refusedSteps"], 3);
}

// Deleting far more than the field holds costs no more than the field.
TEST_F(JobwickTest, DeleteCountBeyondTheTextStopsAtTheText) {
  auto script = scratchFile("delete.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" +
                                               source("examples/ppd/vk7300.ppd").string() +
                                               R"("},
    "steps": [
      {"do": "restore"},
      {"do": "type", "control": "jobNameEditText", "text": "report"},
      {"do": "delete", "control": "jobNameEditText", "count": 1000000000}
    ]})");
  const auto started = std::chrono::steady_clock::now();
  int status = -1;
  json result = jobwickJson({"session", script.string(), "--json"}, &status);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  ASSERT_EQ(status, 0) << result.dump();
  const json& steps = result["steps"];
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[2]["status"], "partial");
  EXPECT_EQ(steps[2]["text"], "");
  EXPECT_EQ(steps[2]["message"], "6 of 1000000000 deletions happened");
}

TEST_F(JobwickTest, SessionFailedExpectationsNameTheStep) {
  auto script = scratchFile("expect.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" +
                                               source("examples/ppd/vk7300.ppd").string() + R"("},
    "steps": [
      {"do": "restore"},
      {"name": "retention on", "do": "expect", "control": "retentionCheckBox", "state": 1},
      {"do": "type", "control": "loginNameEditText", "text": "x", "expectRefused": true},
      {"do": "shouldPrint", "expectResult": false},
      {"do": "expect", "settings": {"filing": "3", "holdButton": null, "jobSuspend": true},
       "summary": {"Retention": "On"}, "alerts": 1}
    ]})");
  CommandResult result = jobwick({"session", script.string()});
  EXPECT_EQ(result.exitCode, 1);
  for (const char* message :
       {"step 2 \"retention on\" (expect): retentionCheckBox.state is 0, expected 1",
        "step 3 (type): the event was taken, expected it to be refused",
        "step 4 (shouldPrint): shouldPrint answered YES, expected NO",
        "step 5 (expect): filing is \"0\", expected \"3\"",
        "step 5 (expect): holdButton is \"0\", expected it to be absent",
        "step 5 (expect): summary \"Retention\" is \"Off\", expected \"On\"",
        "step 5 (expect): 0 alerts were shown, expected 1"}) {
    EXPECT_THAT(result.err, HasSubstr(message));
  }
  EXPECT_THAT(result.out, HasSubstr("FAILED: retentionCheckBox.state is 0, expected 1"));
}

// Text from the script, the panel or a settings file never forges an output
// line or reaches the terminal as a control character: step names, typed
// text, failed expectations and the settings shown are all escaped.
TEST_F(JobwickTest, SessionOutputEscapesTextFromOutside) {
  auto script = scratchFile("forge.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" +
                                              source("examples/ppd/vk7300.ppd").string() + R"("},
    "steps": [
      {"do": "restore"},
      {"name": "x\nFAKE step 9: done\u001b[2J", "do": "expect", "control": "retentionCheckBox",
       "state": 1},
      {"do": "type", "control": "jobNameEditText", "text": "a\nFAKE\u0007"},
      {"do": "dump", "controls": ["jobNameEditText"]},
      {"do": "save"},
      {"do": "expect", "settings": {"filing": "\nFAKE"}}
    ]})");
  CommandResult result = jobwick({"session", script.string()});
  EXPECT_EQ(result.exitCode, 1);
  for (const std::string& stream : {result.out, result.err}) {
    EXPECT_EQ(stream.find('\x1b'), std::string::npos);
    EXPECT_EQ(stream.find('\x07'), std::string::npos);
    std::istringstream lines(stream);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_FALSE(line.starts_with("FAKE")) << line;
    }
  }
  EXPECT_THAT(result.out, HasSubstr(R"(step 2: expect "x\nFAKE step 9: done\x1b[2J")"));
  EXPECT_THAT(result.err, HasSubstr(R"(expected "\nFAKE")"));
}

struct ScriptError {
  const char* name;
  std::string script;
  std::vector<std::string> extraArgs;
  int status;
  std::vector<std::string> messages;
};

class SessionScriptErrors : public JobwickTest,
                            public ::testing::WithParamInterface<ScriptError> {};

TEST_P(SessionScriptErrors, AreReportedWithTheirPlace) {
  const ScriptError& c = GetParam();
  auto path = scratchFile("script.json", c.script);
  std::vector<std::string> args = {"session", path.string()};
  args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
  CommandResult result = jobwick(args);
  EXPECT_EQ(result.exitCode, c.status) << result.err;
  for (const auto& message : c.messages) EXPECT_THAT(result.err, HasSubstr(message));
}

const std::string kOk = R"("bundle": "vk7300", )";

INSTANTIATE_TEST_SUITE_P(
    Session, SessionScriptErrors,
    ::testing::Values(
        ScriptError{"MalformedJson",
                    "{\"bundle\": \"vk7300\",\n \"steps\": [\n  {\"do\": \"save\"},\n ]\n}",
                    {},
                    4,
                    {"script.json: line 4, column 2: syntax error"}},
        ScriptError{"NotAnObject", "[1, 2]", {}, 4, {"a session script is a JSON object"}},
        ScriptError{"NumberTooLarge",
                    "{" + kOk + R"("steps": [{"do": "delete", "control": "a", "count": 1e999}]})",
                    {},
                    4,
                    {"script.json: line 1, column 74: number overflow parsing '1e999'"}},
        ScriptError{"UnknownStep",
                    "{" + kOk + R"("steps": [{"do": "save"}, {"do": "clik"}]})",
                    {},
                    4,
                    {"steps[1]: unknown step \"clik\" (did you mean click?)"}},
        ScriptError{"StepWithoutDo",
                    "{" + kOk + R"("steps": [{"control": "x"}]})",
                    {},
                    4,
                    {"steps[0]: a step needs \"do\""}},
        ScriptError{"UnknownMember",
                    "{" + kOk + R"("steps": [{"do": "type", "control": "a", "txt": "b"}]})",
                    {},
                    4,
                    {"step 1 (type): unknown member \"txt\" (type takes control, text"}},
        ScriptError{"MissingMember",
                    "{" + kOk + R"("steps": [{"do": "click"}]})",
                    {},
                    4,
                    {"step 1 (click): missing member \"control\""}},
        ScriptError{"WrongType",
                    "{" + kOk + R"("steps": [{"do": "choose", "control": "a", "index": "1"}]})",
                    {},
                    4,
                    {"step 1 (choose): \"index\" must be an integer"}},
        ScriptError{
            "ChooseBoth",
            "{" + kOk + R"("steps": [{"do": "choose", "control": "a", "index": 1, "title": "b"}]})",
            {},
            4,
            {"give either \"index\" or \"title\""}},
        ScriptError{
            "UnknownTopMember", "{" + kOk + R"("stepz": []})", {}, 4, {"unknown member \"stepz\""}},
        ScriptError{
            "NoSteps", "{" + kOk + R"("description": "x"})", {}, 4, {"missing member \"steps\""}},
        ScriptError{"NoBundle", R"({"steps": []})", {}, 4, {"the script names no bundle"}},
        ScriptError{"BadClock",
                    "{" + kOk + R"("clock": "tomorrow", "steps": []})",
                    {},
                    4,
                    {"\"clock\": \"tomorrow\" is not a moment"}},
        ScriptError{"UndefinedVariable",
                    "{" + kOk + R"("steps": [{"do": "fetchFolders", "address": "${PRINTER}"}]})",
                    {},
                    4,
                    {"step 1 (fetchFolders): ${PRINTER} has no value (give --var PRINTER=VALUE"}},
        ScriptError{"BadVarOption",
                    "{" + kOk + R"("steps": []})",
                    {"--var", "PRINTER"},
                    2,
                    {"option --var needs NAME=VALUE"}},
        ScriptError{
            "UnknownControl",
            "{" + kOk + R"("steps": [{"do": "type", "control": "loginNameEdit", "text": "a"}]})",
            {},
            4,
            {"step 1 (type): no control \"loginNameEdit\" in the panel; close matches: "
             "loginNameEditText"}},
        ScriptError{
            "WrongKindOfControl",
            "{" + kOk +
                R"("steps": [{"do": "type", "control": "retentionCheckBox", "text": "a"}]})",
            {},
            4,
            {"\"retentionCheckBox\" is a button, not a text field"}},
        ScriptError{
            "UnknownProperty",
            "{" + kOk +
                R"("steps": [{"do": "expect", "control": "loginNameEditText", "stat": 1}]})",
            {},
            4,
            {"has no property \"stat\"; it has: kind, identifier"}},
        ScriptError{"UnreadablePPD",
                    "{" + kOk + R"("printer": {"ppd": "missing.ppd"}, "steps": []})",
                    {},
                    4,
                    {"cannot read PPD", "missing.ppd"}},
        ScriptError{"UnknownBundle", R"({"bundle": "vk9999", "steps": []})", {}, 1, {"vk9999"}},
        ScriptError{"NulInTypedText",
                    "{" + kOk + R"("steps": [{"do": "type", "control": "a", "text": "1\u00002"}]})",
                    {},
                    4,
                    {"step 1 (type): \"text\" holds a NUL character"}},
        ScriptError{
            "NulInASettingsKey",
            "{" + kOk +
                R"("settings": {"settings": {"jp.co.quivo.print.PrintSettings.filing\u0000x":
                        "3"}}, "steps": []})",
            {},
            4,
            {R"("settings": setting "jp.co.quivo.print.PrintSettings.filing\x00x": a NUL )"
             R"(character in the key)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobwickTest, SessionWithoutScriptFileFails) {
  CommandResult result = jobwick({"session", (temp().path() / "none.json").string()});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_THAT(result.err, HasSubstr("none.json: no such session script"));
}

TEST_F(JobwickTest, SessionOptionsOverrideTheScriptAndSaveTheSettings) {
  auto script = scratchFile("options.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" + source("examples/ppd/vk7300.ppd").string() +
                                                R"("},
    "steps": [{"do": "restore"}, {"do": "save"}]})");
  const fs::path saved = temp().path() / "saved.json";
  CommandResult result =
      jobwick({"session", script.string(), "--bundle", "vk410e", "--ppd",
               source("examples/ppd/vk410e.ppd").string(), "--set", "com.example.copies=2",
               "--save-settings", saved.string(), "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  json output = json::parse(result.out);
  EXPECT_EQ(output["bundle"], "vk410e");
  json file = json::parse(hosttest::readFile(saved));
  EXPECT_EQ(file["settings"]["com.example.copies"], "2");
  EXPECT_EQ(file, output["settings"]);
  // The vk410e build writes no UTF-8 variants.
  EXPECT_FALSE(file["settings"].contains(std::string(kPrefix) + "userName31"));
}

TEST_F(JobwickTest, SessionUsesItsOwnPreferencesUnlessTold) {
  const std::string script = source("examples/sessions/vk7300-authentication.json").string();
  ASSERT_EQ(jobwick({"session", script}).exitCode, 0);
  EXPECT_FALSE(fs::exists(prefsDir() / "jp.co.quivo.mfp.Office_MFP.plist"));
  ASSERT_EQ(jobwick({"session", script, "--prefs-dir", prefsDir().string()}).exitCode, 0);
  EXPECT_TRUE(fs::exists(prefsDir() / "jp.co.quivo.mfp.Office_MFP.plist"));
}

TEST_F(JobwickTest, FetchFoldersFromAnUnreachablePrinterShowsTheAlert) {
  auto script = scratchFile("fetch.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" +
                                              source("examples/ppd/vk7300.ppd").string() + R"("},
    "steps": [{"do": "restore"}, {"do": "fetchFolders", "address": "127.0.0.1:${PORT}"}]})");
  int status = -1;
  json result = jobwickJson({"session", script.string(), "--json", "--var",
                             "PORT=" + std::to_string(SharedPrinter::closedPort())},
                            &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(result["alerts"].size(), 1u);
  EXPECT_EQ(result["alerts"][0]["message"], "Could not retrieve Folder Names.");
  EXPECT_EQ(result["steps"][1]["folderCount"], nullptr);
}

}  // namespace

namespace jwtest_secrets {

// A session's output (text and JSON) shows the secret fields masked: the
// pass code and password typed in never appear in plain text. Which fields
// are secret is the interface file's word, as in the GTK view: the login
// name is an ordinary field there. (The user number is carried in plain
// text by the ticket itself.)
TEST_F(JobwickTest, SessionOutputNeverShowsTypedSecrets) {
  const std::string session = source("examples/sessions/vk410e-panel.json").string();
  for (const bool asJson : {false, true}) {
    std::vector<std::string> args = {"session", session};
    if (asJson) args.push_back("--json");
    const CommandResult run = jobwick(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const std::string secret : {"98765", "open sesame"}) {
      EXPECT_EQ(run.out.find(secret), std::string::npos) << secret << (asJson ? " (json)" : "");
      EXPECT_EQ(run.err.find(secret), std::string::npos) << secret << (asJson ? " (json)" : "");
    }
  }
}

}  // namespace jwtest_secrets
