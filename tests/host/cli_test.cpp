// SPDX-License-Identifier: Apache-2.0
// Command-line parsing, dispatch and bundle lookup of jobwick, in process.
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/cli/cli.h"
#include "host/cli/commands.h"
#include "host/engine/plugin_loader.h"
#include "run_command.h"

namespace {

namespace fs = std::filesystem;
using jobwick::host::OptionSpec;
using jobwick::host::parseArguments;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::vector<OptionSpec> kSpecs = {
    {"--ppd", "FILE", "the PPD"},
    {"--set", "KEY=VALUE", "a setting", true},
    {"--json", "", "JSON"},
    {"--help", "", "help"},
};

TEST(ParseArguments, AcceptsTheUsualForms) {
  std::string error;
  auto parsed = parseArguments(
      {"--ppd", "a.ppd", "BUNDLE", "--set=k=v", "--json", "--set", "x=y", "--", "--json"}, kSpecs,
      &error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->value("--ppd"), "a.ppd");
  EXPECT_THAT(parsed->values("--set"), ElementsAre("k=v", "x=y"));
  EXPECT_TRUE(parsed->has("--json"));
  EXPECT_FALSE(parsed->has("--help"));
  // After "--" everything is an argument, and so is a lone "-".
  EXPECT_THAT(parsed->positionals, ElementsAre("BUNDLE", "--json"));
  EXPECT_THAT(parseArguments({"-", "-h"}, kSpecs)->positionals, ElementsAre("-"));
  EXPECT_TRUE(parseArguments({"-h"}, kSpecs)->has("--help"));
  EXPECT_EQ(parseArguments({"--ppd="}, kSpecs)->value("--ppd"), "");
}

TEST(ParseArguments, RejectsWithTheOptionNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* expected;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--bogus=1"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{"--ppd"}, "option --ppd needs a value (FILE)"},
      {{"--json=yes"}, "option --json takes no value"},
      {{"--ppd", "a", "--ppd", "b"}, "option --ppd given twice"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(parseArguments(c.args, kSpecs, &error));
    EXPECT_EQ(error, c.expected);
  }
}

TEST(FormatOptions, WrapsHelpBesideTheNames) {
  std::string text = jobwick::host::formatOptions(
      {{"--a", "", "short"},
       {"--a-very-long-option-name", "VALUE", "goes below"},
       {"--b", "",
        std::string_view("word word word word word word word word word word word word "
                         "word word word word")}});
  EXPECT_THAT(text, HasSubstr("  --a                       short\n"));
  EXPECT_THAT(
      text,
      HasSubstr("  --a-very-long-option-name VALUE\n                            goes below\n"));
  for (std::istringstream lines(text); !lines.eof();) {
    std::string line;
    std::getline(lines, line);
    EXPECT_LE(line.size(), 79u) << line;
  }
}

struct InProcessRun {
  int code;
  std::string out;
  std::string err;
};

InProcessRun jobwick(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = jobwick::host::runJobwick(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(RunJobwick, VersionAndHelpGoToStandardOutput) {
  InProcessRun version = jobwick({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_THAT(version.out, ::testing::StartsWith("jobwick "));
  InProcessRun help = jobwick({"help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out, jobwick::host::commandHelp());
  // Every subcommand in the table has a help text with its examples.
  for (const auto& command : jobwick::host::subcommands()) {
    std::vector<std::string> args(command.words.begin(), command.words.end());
    args.push_back("--help");
    InProcessRun own = jobwick(args);
    EXPECT_EQ(own.code, 0);
    EXPECT_THAT(own.out, HasSubstr("Examples:\n  jobwick "));
  }
}

TEST(RunJobwick, UsageErrorsExitWithTwo) {
  InProcessRun unknown = jobwick({"frobnicate"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_THAT(unknown.err, HasSubstr("unknown command 'frobnicate'"));
  InProcessRun bad = jobwick({"info", "vk7300", "--language="});
  EXPECT_EQ(bad.code, 2);
  EXPECT_THAT(bad.err, HasSubstr("--language"));
  EXPECT_EQ(bad.out, "");
}

TEST(ResolveBundlePath, FindsBundlesByModelName) {
  hosttest::TempDir temp;
  fs::create_directories(temp.path() / "JobwickVk7300.plugin");
  fs::create_directories(temp.path() / "Other.plugin");
  std::string error;
  EXPECT_EQ(jobwick::host::resolveBundlePath("vk7300", temp.path(), &error),
            temp.path() / "JobwickVk7300.plugin");
  EXPECT_EQ(jobwick::host::resolveBundlePath("Other", temp.path(), &error),
            temp.path() / "Other.plugin");
  EXPECT_FALSE(jobwick::host::resolveBundlePath("vk410e", temp.path(), &error));
  EXPECT_THAT(error, HasSubstr("JobwickVk410e.plugin"));
  EXPECT_THAT(error, HasSubstr(temp.path().string()));
  EXPECT_FALSE(jobwick::host::resolveBundlePath("sub/vk7300", temp.path(), &error));
  EXPECT_THAT(error, HasSubstr("no bundle at sub/vk7300"));
  EXPECT_FALSE(jobwick::host::resolveBundlePath("", temp.path(), &error));
}

// A folder in the current directory named like a model is not the model's
// bundle; written as a path it is.
TEST(ResolveBundlePath, BareNamesNeverMeanTheCurrentDirectory) {
  hosttest::TempDir bundles, work;
  fs::create_directories(bundles.path() / "JobwickVk7300.plugin");
  fs::create_directories(work.path() / "vk7300");
  fs::create_directories(work.path() / "JobwickVk7300.plugin");
  const fs::path before = fs::current_path();
  fs::current_path(work.path());
  struct Case {
    const char* argument;
    std::optional<fs::path> found;
  };
  for (const Case& c : {Case{"vk7300", bundles.path() / "JobwickVk7300.plugin"},
                        Case{"JobwickVk7300.plugin", bundles.path() / "JobwickVk7300.plugin"},
                        Case{"./vk7300", fs::path("./vk7300")}, Case{"vk410e", std::nullopt}}) {
    std::string error;
    EXPECT_EQ(jobwick::host::resolveBundlePath(c.argument, bundles.path(), &error), c.found)
        << c.argument << ": " << error;
  }
  fs::current_path(before);
}

}  // namespace

namespace {

TEST(WrapText, KeepsParagraphsAndLongWords) {
  EXPECT_EQ(jobwick::host::wrapText("aa bb cc\n\ndd", 5), "aa bb\ncc\n\ndd");
  EXPECT_EQ(jobwick::host::wrapText("abcdefgh ij", 4, 2), "  abcdefgh\n  ij");
  EXPECT_EQ(jobwick::host::wrapText("", 10), "");
}

// Japanese has no spaces: lines break between its characters, counted two
// columns each, never before 、 or 。; English words stay whole, hyphens
// and all.
TEST(WrapText, BreaksJapaneseByColumnsAndLineBreakingRules) {
  struct Case {
    std::string text;
    std::size_t width;
    std::size_t indent;
    std::string wrapped;
  };
  const Case cases[] = {
      {"印刷設定を保存します", 8, 0, "印刷設定\nを保存し\nます"},
      {"キューに送信します。", 8, 0, "キューに\n送信しま\nす。"},
      {"印刷設定を保存、送信", 10, 0, "印刷設定を\n保存、送信"},
      {"CUPS のキューです", 10, 2, "  CUPS の\n  キューで\n  す"},
      {"print-settings entry", 10, 0, "print-settings\nentry"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(jobwick::host::wrapText(c.text, c.width, c.indent), c.wrapped) << c.text;
  }
}

}  // namespace
