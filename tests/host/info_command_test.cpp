// SPDX-License-Identifier: Apache-2.0
// End-to-end tests of `jobwick info`: the built command loads the built
// bundles, acts as their host and reports what they answer.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "run_command.h"

namespace {

namespace fs = std::filesystem;
using hosttest::CommandResult;
using hosttest::readFile;
using hosttest::runCommand;
using hosttest::TempDir;
using hosttest::writeFile;
using nlohmann::json;
using ::testing::HasSubstr;

constexpr const char kVk7300Kind[] = "jp.co.quivo.print.pde.vk7300.JobwickKind";
constexpr const char kVk410eKind[] = "jp.co.quivo.print.pde.vk410e.JobwickKind";

fs::path examplePPD(const std::string& name) {
  return fs::path(JOBWICK_SOURCE_DIR) / "examples" / "ppd" / name;
}

class JobwickInfo : public ::testing::Test {
 protected:
  /// Runs the built jobwick with a private preferences folder, home, config
  /// and temporary folder, a neutral language, and `env` on top.
  CommandResult jobwick(std::vector<std::string> args,
                        std::map<std::string, std::optional<std::string>> env = {}) {
    args.insert(args.begin(), JOBWICK_HOST);
    std::map<std::string, std::optional<std::string>> base = {
        {"JOBWICK_PREFS_DIR", (temp_.path() / "prefs").string()},
        {"HOME", (temp_.path() / "home").string()},
        {"XDG_CONFIG_HOME", (temp_.path() / "config").string()},
        {"TMPDIR", temp_.path().string()},
        {"LANG", "C.UTF-8"},
        {"LANGUAGE", std::nullopt},
        {"LC_ALL", std::nullopt},
        {"LC_MESSAGES", std::nullopt},
        {"JOBWICK_BUNDLE_DIR", std::nullopt},
    };
    if (!std::getenv("ASAN_OPTIONS")) base["ASAN_OPTIONS"] = "detect_leaks=0";
    for (auto& [name, value] : env) base[name] = value;
    return runCommand(args, base);
  }

  /// `jobwick info ... --json`, parsed; fails the test when it is not JSON.
  json infoJson(std::vector<std::string> args,
                std::map<std::string, std::optional<std::string>> env = {}) {
    args.insert(args.begin(), "info");
    args.push_back("--json");
    CommandResult result = jobwick(args, env);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    json document = json::parse(result.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << result.out;
    return document;
  }

  /// A copy of a built bundle in the temporary folder, its manifest changed
  /// by `edit`.
  fs::path copyBundle(const std::string& bundleName, const fs::path& folder,
                      const std::function<std::string(std::string)>& edit) {
    fs::path copy = folder / bundleName;
    fs::create_directories(folder);
    fs::copy(fs::path(JOBWICK_BUNDLE_DIR) / bundleName, copy, fs::copy_options::recursive);
    writeFile(copy / "Info.plist", edit(readFile(copy / "Info.plist")));
    return copy;
  }

  const TempDir& temp() const { return temp_; }

 private:
  TempDir temp_;
};

std::string removeManifestKey(const std::string& plist, const std::string& key) {
  return std::regex_replace(plist, std::regex("<key>" + key + "</key>\\s*<string>[^<]*</string>"),
                            "");
}

std::string setManifestValue(const std::string& plist, const std::string& key,
                             const std::string& value) {
  std::smatch match;
  if (!std::regex_search(plist, match, std::regex("<key>" + key + "</key>\\s*<string>[^<]*"))) {
    return plist;
  }
  std::string replaced = match.str();
  replaced = replaced.substr(0, replaced.rfind('>') + 1) + value;
  return match.prefix().str() + replaced + match.suffix().str();
}

struct ModelCase {
  const char* model;
  const char* ppd;
  const char* panelName;
  const char* kind;
  const char* principalClass;
};

class JobwickInfoModels : public JobwickInfo, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(JobwickInfoModels, TextReportNamesThePanel) {
  const ModelCase& c = GetParam();
  CommandResult result = jobwick({"info", c.model, "--ppd", examplePPD(c.ppd).string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("Panel 1: " + std::string(c.panelName) + "\n"));
  EXPECT_THAT(result.out, ::testing::ContainsRegex(std::string("kind +") + c.kind));
  EXPECT_THAT(result.out, ::testing::ContainsRegex("PPD option keys +\\(none\\)"));
  EXPECT_THAT(result.out, HasSubstr(c.principalClass));
  EXPECT_EQ(result.err, "");
}

TEST_P(JobwickInfoModels, JsonReportParses) {
  const ModelCase& c = GetParam();
  json info = infoJson({c.model, "--ppd", examplePPD(c.ppd).string()});
  ASSERT_EQ(info["panels"].size(), 1u);
  const json& panel = info["panels"][0];
  EXPECT_EQ(panel["name"], c.panelName);
  EXPECT_EQ(panel["kind"], c.kind);
  EXPECT_EQ(panel["supportedPPDOptionKeys"], json::array());
  EXPECT_EQ(info["bundle"]["principalClass"], c.principalClass);
  EXPECT_EQ(info["panelType"], "BDB091F4-E57F-11D3-B5CC-0050E4603277");
  // The printer is named after its PPD when no identifier is given.
  EXPECT_EQ(info["printer"]["identifier"], fs::path(c.ppd).stem().string());
  EXPECT_EQ(info["host"]["constraintHandling"], true);
  EXPECT_EQ(info["host"]["prefsDir"], (temp().path() / "prefs").string());
}

INSTANTIATE_TEST_SUITE_P(Bundles, JobwickInfoModels,
                         ::testing::Values(ModelCase{"vk7300", "vk7300.ppd", "Job Handling",
                                                     kVk7300Kind,
                                                     "JpCoQuivoPrintPdeVk7300JCPDEPlugIn"},
                                           ModelCase{"vk410e", "vk410e.ppd", "Jobwick", kVk410eKind,
                                                     "JpCoQuivoPrintPdeVk410eJCPDEPlugIn"}),
                         [](const auto& info) { return std::string(info.param.model); });

struct FlagCase {
  const char* model;
  const char* ppd;
  const char* interfaceMode;
  const char* documentFiling;
  const char* printSystem;
  const char* activeDirectory;
};

TEST_F(JobwickInfo, SamplePrintersGiveTheirModelFlags) {
  const FlagCase cases[] = {
      {"vk7300", "vk7300.ppd", "4", "YES", "NO", "NO"},
      {"vk7300", "vk7300-active-directory.ppd", "5", "YES", "NO", "YES"},
      {"vk7300", "vk7300-print-system.ppd", "4", "YES", "YES", "NO"},
      {"vk7300", "vk7300-no-filing.ppd", "4", "NO", "NO", "NO"},
      {"vk7300", "vk7300-plain.ppd", "4", "YES", "NO", "NO"},
      {"vk7300", "vk7300-ja.ppd", "4", "YES", "NO", "NO"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ppd);
    json props =
        infoJson({c.model, "--ppd", examplePPD(c.ppd).string()})["panels"][0]["properties"];
    EXPECT_EQ(props["interfaceMode"], c.interfaceMode);
    EXPECT_EQ(props["document_filing_model"], c.documentFiling);
    EXPECT_EQ(props["quivo_print_system"], c.printSystem);
    EXPECT_EQ(props["active_directory"], c.activeDirectory);
  }
  // The vk410e build has one interface mode, whatever its PPD says.
  json props =
      infoJson({"vk410e", "--ppd", examplePPD("vk410e.ppd").string()})["panels"][0]["properties"];
  EXPECT_EQ(props["interfaceMode"], "1");
}

TEST_F(JobwickInfo, PrinterOptionsReachThePanel) {
  json info = infoJson({"vk7300", "--ppd", examplePPD("vk7300.ppd").string(), "--printer-id",
                        "Office_MFP", "--device-uri", "ipp://10.0.0.5:631/ipp/print"});
  const json& props = info["panels"][0]["properties"];
  EXPECT_EQ(props["mfpURL"], "10.0.0.5");
  EXPECT_EQ(props["preferenceName"], "jp.co.quivo.mfp.Office_MFP");
  EXPECT_EQ(props["modelName"], "Quivo VK-7300");
  EXPECT_EQ(info["printer"]["deviceURI"], "ipp://10.0.0.5:631/ipp/print");
  EXPECT_EQ(info["host"]["ppdFileRequests"], 1);
}

TEST_F(JobwickInfo, PrintSettingsComeFromFileAndOptions) {
  fs::path file = writeFile(temp().path() / "job.options", "# ticket\na=1\nb=2\n");
  json info = infoJson({"vk410e", "--settings", file.string(), "--set", "b=3", "--set", "c=x=y"});
  EXPECT_EQ(info["host"]["printSettingsCount"], 3);
}

TEST_F(JobwickInfo, ShiftJisModelNameIsDecoded) {
  json props = infoJson(
      {"vk7300", "--ppd", examplePPD("vk7300-ja.ppd").string()})["panels"][0]["properties"];
  EXPECT_EQ(props["modelName"], "クイボ複合機 VK-7300");
}

TEST_F(JobwickInfo, WithoutConstraintHandlingThePanelGetsNoPPD) {
  json info = infoJson({"vk7300", "--ppd", examplePPD("vk7300-active-directory.ppd").string(),
                        "--no-constraint-handling"});
  EXPECT_EQ(info["host"]["constraintHandling"], false);
  EXPECT_EQ(info["host"]["ppdFileRequests"], 0);
  const json& props = info["panels"][0]["properties"];
  EXPECT_EQ(props["hasPPD"], "NO");
  EXPECT_EQ(props["active_directory"], "NO");
  EXPECT_FALSE(props.contains("preferenceName"));
}

TEST_F(JobwickInfo, LanguageAndPreferencesFolderOptions) {
  fs::path fromOption = temp().path() / "other-prefs";
  json ja = infoJson({"vk7300", "--language", "ja", "--prefs-dir", fromOption.string()});
  json en = infoJson({"vk7300", "--language", "en"});
  ASSERT_FALSE(ja["host"]["languages"].empty());
  EXPECT_EQ(ja["host"]["languages"][0], "ja");
  EXPECT_EQ(en["host"]["languages"][0], "en");
  // A Japanese user has another system text encoding than an English one.
  EXPECT_NE(ja["panels"][0]["properties"]["systemEncoding"],
            en["panels"][0]["properties"]["systemEncoding"]);
  // The panel name comes from the Japanese catalog.
  EXPECT_EQ(en["panels"][0]["name"], "Job Handling");
  EXPECT_NE(ja["panels"][0]["name"], "Job Handling");
  // --prefs-dir wins over JOBWICK_PREFS_DIR.
  EXPECT_EQ(ja["host"]["prefsDir"], fromOption.string());
}

TEST_F(JobwickInfo, SaysWhichSystemEncodingTheLanguageChose) {
  const std::pair<const char*, const char*> cases[] = {
      {"ja", "Mac Japanese"}, {"zh-Hant", "Mac Traditional Chinese"},
      {"ko", "Mac Korean"},   {"zh-Hans", "Mac Simplified Chinese"},
      {"ru", "Mac Cyrillic"}, {"pl", "Mac Central European"},
      {"en", "Mac OS Roman"},
  };
  for (const auto& [language, encoding] : cases) {
    json info = infoJson({"vk7300", "--language", language});
    EXPECT_EQ(info["host"]["systemEncoding"], encoding) << language;
  }
  const CommandResult result = jobwick({"info", "vk7300", "--language", "ko"});
  EXPECT_THAT(result.out, ::testing::ContainsRegex("system encoding +Mac Korean"));
  // Korean users see the Korean catalog.
  EXPECT_THAT(result.out, HasSubstr("작업 처리"));
}

TEST_F(JobwickInfo, BareNamesAreLookedUpInTheBundleFolder) {
  fs::path folder = temp().path() / "bundles";
  copyBundle("JobwickVk7300.plugin", folder, [](std::string plist) {
    return setManifestValue(plist, "CFBundleShortVersionString", "9.99");
  });
  json info = infoJson({"vk7300"}, {{"JOBWICK_BUNDLE_DIR", folder.string()}});
  EXPECT_EQ(info["bundle"]["version"], "9.99");
  EXPECT_EQ(info["bundle"]["path"], (folder / "JobwickVk7300.plugin").string());
  EXPECT_EQ(info["panels"][0]["name"], "Job Handling");
  // A path is taken as it stands.
  json byPath = infoJson({(folder / "JobwickVk7300.plugin").string()});
  EXPECT_EQ(byPath["bundle"]["version"], "9.99");
}

struct ErrorCase {
  std::string name;
  std::vector<std::string> args;
  int exitCode;
  std::vector<std::string> messageParts;
};

TEST_F(JobwickInfo, FailuresAreReportedWithTheInputAtFault) {
  fs::path folder = temp().path() / "broken";
  fs::path noPrincipal = copyBundle("JobwickVk7300.plugin", folder / "a", [](std::string plist) {
    return removeManifestKey(plist, "NSPrincipalClass");
  });
  fs::path wrongPrincipal = copyBundle("JobwickVk410e.plugin", folder / "b", [](std::string plist) {
    return setManifestValue(plist, "NSPrincipalClass", "NoSuchPlugIn");
  });
  fs::path notAPPD = writeFile(temp().path() / "garbage.ppd", "this is not a PPD file\n");
  fs::path badJson =
      writeFile(temp().path() / "job.json", "{\"jobName\": \"x\",\n  \"settings\": [}\n");
  fs::path missingPPD = temp().path() / "missing.ppd";
  fs::path missingBundle = temp().path() / "Nowhere.plugin";

  const ErrorCase cases[] = {
      {"missing bundle path", {"info", missingBundle.string()}, 1, {missingBundle.string()}},
      {"unknown model name", {"info", "vk9999"}, 1, {"vk9999", "JOBWICK_BUNDLE_DIR"}},
      {"manifest without principal class",
       {"info", noPrincipal.string()},
       1,
       {noPrincipal.string(), "NSPrincipalClass"}},
      {"principal class not in the shared object",
       {"info", wrongPrincipal.string()},
       1,
       {wrongPrincipal.string(), "NoSuchPlugIn_alloc"}},
      {"PPD that does not exist",
       {"info", "vk7300", "--ppd", missingPPD.string()},
       4,
       {"cannot read PPD", missingPPD.string()}},
      {"file that is not a PPD",
       {"info", "vk7300", "--ppd", notAPPD.string()},
       4,
       {"cannot read PPD", notAPPD.string()}},
      {"malformed settings JSON",
       {"info", "vk7300", "--settings", badJson.string()},
       4,
       {badJson.string(), "line 2, column"}},
      {"unknown option", {"info", "vk7300", "--bogus"}, 2, {"--bogus", "jobwick info --help"}},
      {"option without its value", {"info", "vk7300", "--ppd"}, 2, {"--ppd", "FILE"}},
      {"missing bundle argument", {"info"}, 2, {"missing BUNDLE"}},
      {"second bundle argument", {"info", "vk7300", "vk410e"}, 2, {"vk410e"}},
      {"--set without =", {"info", "vk7300", "--set", "novalue"}, 2, {"--set", "novalue"}},
      {"unknown command", {"inform", "vk7300"}, 2, {"inform"}},
      {"no command", {}, 2, {"Usage: jobwick"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandResult result = jobwick(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(result.out, "");
    for (const auto& part : c.messageParts) EXPECT_THAT(result.err, HasSubstr(part));
  }
}

TEST_F(JobwickInfo, HelpTexts) {
  CommandResult top = jobwick({"--help"});
  EXPECT_EQ(top.exitCode, 0);
  EXPECT_THAT(top.out, ::testing::ContainsRegex("\n  info +load a plug-in bundle"));

  CommandResult info = jobwick({"info", "--help"});
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_THAT(info.out, HasSubstr("Usage: jobwick info BUNDLE [options]"));
  EXPECT_THAT(info.out, HasSubstr("Examples:\n  jobwick info vk7300"));
  for (const char* option :
       {"--ppd FILE", "--printer-id ID", "--device-uri URI", "--no-constraint-handling",
        "--language LANG", "--prefs-dir DIR", "--json"}) {
    EXPECT_THAT(info.out, HasSubstr(option));
  }
  EXPECT_EQ(jobwick({"help", "info"}).out, info.out);
  EXPECT_EQ(jobwick({"help", "nothing"}).exitCode, 2);
}

}  // namespace
