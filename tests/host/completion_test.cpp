// SPDX-License-Identifier: Apache-2.0
// The bash completion of jobwick: the words it offers after a command line,
// as bash asks for them, against the built program and a private scheduler.
#include <gtest/gtest.h>

#include <sstream>

#include "cups_fixture.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace {

/// What the completion offers for `line` (the word under the cursor is the
/// last one; a line ending in a space completes an empty word).
std::vector<std::string> completions(const std::string& line, const std::string& server,
                                     const std::string& lang = "C.UTF-8") {
  const std::string script =
      "source \"$1\"; read -ra COMP_WORDS <<< \"$2\"; [[ \"$2\" == *' ' ]] && COMP_WORDS+=('');"
      " COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_WORDS[0]=\"$3\"; _jobwick;"
      " printf '%s\\n' \"${COMPREPLY[@]}\"";
  auto result = runCommand({"/bin/bash", "-c", script, "bash",
                            JOBWICK_SOURCE_DIR "/resources/completion/jobwick", line, JOBWICK_HOST},
                           {{"CUPS_SERVER", server},
                            {"JOBWICK_BUNDLE_DIR", std::nullopt},
                            {"LANG", lang},
                            {"LANGUAGE", std::nullopt}});
  EXPECT_EQ(result.exitCode, 0) << line << ": " << result.err;
  std::vector<std::string> words;
  std::istringstream lines(result.out);
  for (std::string word; std::getline(lines, word);)
    if (!word.empty()) words.push_back(word);
  return words;
}

TEST(Completion, OffersCommandsOptionsQueuesAndModels) {
  JOBWICK_NEED_CUPSD(cupsd);
  struct Case {
    std::string line;
    std::vector<std::string> offered;
  };
  const Case cases[] = {
      {"jobwick se", {"session", "setup"}},
      {"jobwick ticket ", {"show"}},
      {"jobwick setup --m", {"--max-hold-time", "--model"}},
      {"jobwick print doc.ps --pr", {"--prefs-dir", "--printer"}},
      {"jobwick print doc.ps --printer Vk7", {"Vk7300"}},
      {"jobwick info v", {"vk410e", "vk7300"}},
      {"jobwick session demo.json --bundle vk4", {"vk410e"}},
      {"jobwick ticket show t.json --format l", {"lines", "lpoptions"}},
  };
  for (const Case& c : cases) EXPECT_EQ(completions(c.line, cupsd->server()), c.offered) << c.line;
  // The help the completion reads is translated for a Japanese user.
  EXPECT_EQ(completions("jobwick se", cupsd->server(), "ja_JP.UTF-8"),
            (std::vector<std::string>{"session", "setup"}));
}

}  // namespace
}  // namespace hosttest
