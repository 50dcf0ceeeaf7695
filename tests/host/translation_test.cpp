// SPDX-License-Identifier: Apache-2.0
// The command line's own texts follow the language the panel follows, so
// that no line mixes languages: Japanese from the catalog where the user's
// language is Japanese (even when its C locale is not installed), English
// otherwise.
#include <gtest/gtest.h>

#include "jobwick_fixture.h"

namespace hosttest {
namespace {

class TranslationTest : public JobwickTest {};

TEST_F(TranslationTest, UsageErrorsAndTheCommandListInTheUsersLanguage) {
  struct Case {
    std::map<std::string, std::optional<std::string>> env;
    std::vector<std::string> args;
    std::string expected;  ///< in stdout (help) or stderr (errors)
    std::string absent;
  };
  const std::map<std::string, std::optional<std::string>> japanese = {{"LANG", "ja_JP.UTF-8"}};
  const std::map<std::string, std::optional<std::string>> preferringJapanese = {
      {"LANG", "C.UTF-8"}, {"LANGUAGE", "ja:en"}};
  const Case cases[] = {
      {japanese,
       {"frobnicate"},
       "jobwick: 不明なコマンド 'frobnicate'\n使い方は 'jobwick --help' で表示されます。\n",
       "unknown"},
      {preferringJapanese,
       {"info", "vk7300", "--bogus"},
       "jobwick: info: 不明なオプション --bogus\n使い方は 'jobwick info --help' で表示されます。\n",
       "Run"},
      {japanese, {"print"}, "jobwick: print: FILE がありません\n", "missing"},
      {japanese,
       {"help"},
       "  print         パネルのジョブチケットを付けて CUPS のキューでファイルを印刷する\n",
       "print a file on a CUPS queue"},
      {{{"LANG", "C.UTF-8"}}, {"frobnicate"}, "jobwick: unknown command 'frobnicate'\n", "不明"},
      {{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "en:ja"}}, {"help"}, "Commands:\n", "コマンド"},
  };
  for (const Case& c : cases) {
    auto result = jobwick(c.args, c.env);
    const std::string shown = c.args.front() == "help" ? result.out : result.err;
    EXPECT_NE(shown.find(c.expected), std::string::npos) << c.args.front() << ":\n" << shown;
    EXPECT_EQ(shown.find(c.absent), std::string::npos) << c.args.front() << ":\n" << shown;
  }
}

}  // namespace
}  // namespace hosttest
