// SPDX-License-Identifier: Apache-2.0
// The command line's own texts follow the language the panel follows, so
// that no line mixes languages: Japanese from the catalog where the user's
// language is Japanese (even when its C locale is not installed), English
// otherwise.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "jobwick_fixture.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;

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

/// `text` without its quoted parts ("tickets private"), its example
/// command lines and its option names: what remains must not hold English.
std::string proseOf(const std::string& text) {
  std::string prose;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("  jobwick ") || line.starts_with("      ")) continue;
    prose += std::regex_replace(line, std::regex("\"[^\"]*\"|'[^']*'|--[a-z-]+"), " ") + "\n";
  }
  return prose;
}

// Every command's help and the work errors of print under a Japanese
// locale: each expected Japanese line is there, and no English sentence
// (four English words in a row) is left outside quotes and examples.
TEST_F(TranslationTest, HelpAndWorkErrorsHaveNoEnglishSentenceInJapanese) {
  const std::map<std::string, std::optional<std::string>> japanese = {
      {"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", std::nullopt}, {"CUPS_SERVER", "127.0.0.1:1"}};
  const std::string missing = (temp().path() / "missing.ps").string();
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string expected;  ///< in stdout (help) or stderr (errors)
  };
  const Case cases[] = {
      {{"print", "--help"}, 0, "使い方: jobwick print FILE [オプション]\n"},
      {{"info", "--help"}, 0, "オプション:\n"},
      {{"session", "--help"}, 0, "  --help                    このヘルプを表示する (-h も可)\n"},
      {{"queues", "--help"}, 0, "例:\n"},
      {{"setup", "--help"}, 0, "終了ステータス: 0 キューを設定した"},
      {{"agent", "--help"}, 0, "最も古い保留ジョブを処理して終了する"},
      {{"ticket", "show", "--help"}, 0, "ジョブチケットの全項目を言葉で説明する。"},
      {{"folders", "--help"}, 0, "プリンターのネットワークアドレス (必須)"},
      {{"prefs", "show", "--help"}, 0, "使い方: jobwick prefs show PRINTER-ID [オプション]"},
      {{"ticket", "--help"}, 0, "サブコマンド:\n"},
      {{"help"}, 0, "Jobwick のキューで保留されたユーザーのジョブにパネルを表示する"},
      {{"print", missing, "--printer", "Vk7300"},
       4,
       "jobwick: print: " + missing + ": 読み込めません (ファイルがありません)\n"},
      {{"print", "-", "--printer", "Vk7300"},
       1,
       "jobwick: print: 127.0.0.1:1 の CUPS スケジューラーに接続できません: "},
      {{"print", "-", "--session", "a.json", "--settings", "b.json"},
       2,
       "jobwick: print: --session と --settings はどちらか一方だけを指定してください\n"},
  };
  const std::regex english("[A-Za-z]+ [a-z]+ [a-z]+ [a-z]+");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    auto result = jobwick(c.args, japanese);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    const std::string& shown = c.exitCode == 0 ? result.out : result.err;
    EXPECT_NE(shown.find(c.expected), std::string::npos) << shown;
    std::smatch found;
    const std::string prose = proseOf(shown);
    EXPECT_FALSE(std::regex_search(prose, found, english)) << found.str(0) << " in:\n" << shown;
  }
}

// The work errors and reports of setup, folders, prefs show, ticket show
// and the windowed dialog and agent, each reached without a scheduler (the
// one named is not there): Japanese, and no English sentence left.
TEST_F(TranslationTest, WorkErrorsOfTheOtherCommandsHaveNoEnglishSentenceInJapanese) {
  const std::map<std::string, std::optional<std::string>> japanese = {
      {"LANG", "ja_JP.UTF-8"},
      {"LANGUAGE", std::nullopt},
      {"CUPS_SERVER", "127.0.0.1:1"},
      {"DISPLAY", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt}};
  const fs::path other = temp().path() / "other.ppd";
  writeFile(other, "*PPD-Adobe: \"4.3\"\n*ModelName: \"Other Laser 9\"\n*NickName: \"Other\"\n");
  const std::string prefs = temp().path().string();
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string expected;  ///< in stdout (help) or stderr (errors)
  };
  const Case cases[] = {
      {{"setup", "Q", "--ppd", "a.ppd", "--model", "vk7300"},
       2,
       "jobwick: setup: --ppd と --model はどちらか一方だけを指定してください\n"},
      {{"setup", "Q", "--max-hold-time", "0"}, 2, "1 から 999999999 までの秒数を指定してください"},
      {{"setup", "Q", "--ppd", other.string()},
       4,
       "PPD " + other.string() +
           " は Jobwick プリンターのものではありません: そのプリンターを担当するバンドルがありませ"
           "ん (*JobwickDialogExtension がなく、モデル名 \"Other Laser 9\" の末尾に一致するモデ"
           "ルのバンドルもありません)。バンドル: "},
      {{"folders", "--address", "http://printer"}, 2, "HOST または HOST:PORT で指定してください"},
      {{"folders", "--address", "printer", "--prefs-dir", prefs},
       2,
       "--prefs-dir には --printer-id (キャッシュを書き込むプリンター) が必要です\n"},
      {{"prefs", "show", "Office", "--model", "vk9"}, 2, "(指定: \"vk9\")\n"},
      {{"prefs", "show", "Office", "--prefs-dir", prefs},
       1,
       "\n" + prefs + " に設定を持つプリンターはありません。\n"},
      {{"ticket", "show", "t.json", "--format", "xml"},
       2,
       "いずれかを指定してください (指定: \"xml\")"},
      {{"dialog", "--help"}, 0, "使い方: jobwick dialog [FILE] [オプション]\n"},
      {{"dialog", "a.pdf", "b.pdf"},
       2,
       "jobwick: dialog: FILE は一度に 1 つだけ指定してください\n"},
      {{"agent", "--jobs", "1"}, 1, "jobwick: agent: ディスプレイを開けません"},
  };
  const std::regex english("[A-Za-z]+ [a-z]+ [a-z]+ [a-z]+");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    auto result = jobwick(c.args, japanese);
    // GTK's own warnings (a locale the C library lacks) come before ours.
    const std::string& output = c.exitCode == 0 ? result.out : result.err;
    const std::string shown =
        c.exitCode == 0 ? output : output.substr(std::min(output.find("jobwick: "), output.size()));
    if (c.args.front() == "dialog" || c.args.front() == "agent") {
      // A build without GTK has no dialog program.
      if (output.find("not installed") != std::string::npos) continue;
    }
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(shown.find(c.expected), std::string::npos) << shown;
    std::smatch found;
    const std::string prose = proseOf(shown);
    EXPECT_FALSE(std::regex_search(prose, found, english)) << found.str(0) << " in:\n" << shown;
  }
}

/// A PO string literal's text ("a\\n" is "a" and a line end).
std::string literalOf(const std::string& quoted) {
  std::string value;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 2 < quoted.size()) {
      const char next = quoted[++i];
      value += next == 'n' ? '\n' : next == 't' ? '\t' : next;
    } else {
      value += quoted[i];
    }
  }
  return value;
}

/// The msgid -> msgstr pairs of a PO file (entries apart by blank lines);
/// a fuzzy entry's msgstr counts as empty, and the header is left out.
std::map<std::string, std::string> catalogOf(const std::string& text) {
  std::map<std::string, std::string> entries;
  std::string id, str;
  std::string* into = nullptr;
  bool fuzzy = false;
  std::istringstream lines(text + "\n\n");
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) {
      if (!id.empty()) entries[id] = fuzzy ? "" : str;
      id.clear();
      str.clear();
      into = nullptr;
      fuzzy = false;
    } else if (line.starts_with("#,")) {
      fuzzy = line.find("fuzzy") != std::string::npos;
    } else if (line.starts_with("msgid ")) {
      into = &id;
      id = literalOf(line.substr(6));
    } else if (line.starts_with("msgstr ")) {
      into = &str;
      str = literalOf(line.substr(7));
    } else if (line.starts_with("\"") && into) {
      *into += literalOf(line);
    }
  }
  return entries;
}

/// The placeholders (%1, %2, ...) of a text, in order of their numbers.
std::set<std::string> placeholdersOf(const std::string& text) {
  std::set<std::string> found;
  const std::regex placeholder("%[0-9]");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder);
       it != std::sregex_iterator(); ++it)
    found.insert(it->str());
  return found;
}

// Every text the sources mark for the catalogs (extracted afresh, as
// scripts/update-po.sh does) has a Japanese translation with the same
// placeholders: a text added without one would show English in a
// Japanese line.
TEST_F(TranslationTest, EveryMarkedTextIsTranslatedIntoJapanese) {
  const fs::path pot = temp().path() / "jobwick.pot";
  auto listed = runCommand({"/bin/sh", "-c",
                            "cd \"$1\" && find host gtk -name '*.cpp' -o -name '*.h' | xargs "
                            "xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=tr "
                            "--keyword=trf:1 --keyword=N_ --output=\"$2\"",
                            "sh", JOBWICK_SOURCE_DIR, pot.string()});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const auto marked = catalogOf(readFile(pot));
  const auto japanese = catalogOf(readFile(source("po/ja.po")));
  ASSERT_GT(marked.size(), 100u);
  for (const auto& [english, unused] : marked) {
    const auto found = japanese.find(english);
    ASSERT_TRUE(found != japanese.end() && !found->second.empty()) << "untranslated: " << english;
    EXPECT_EQ(placeholdersOf(found->second), placeholdersOf(english)) << english;
  }
}

}  // namespace
}  // namespace hosttest
