// SPDX-License-Identifier: Apache-2.0
// openPPD against libcups' parse of the whole file: the same attributes in
// the same order, the same model name and encoding, the same refusals on
// the same lines, with the option blocks left out where they can be.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ppd.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace platform {
namespace {

namespace fs = std::filesystem;

class PPDParse : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "jobwick-ppdparse-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string write(const std::string& name, const std::string& content) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  fs::path folder_;
};

std::set<std::string> optionNames(const ppd_file_t* ppd) {
  std::set<std::string> names;
  auto add = [&](const ppd_group_t& group) {
    for (int o = 0; o < group.num_options; ++o) names.insert(group.options[o].keyword);
  };
  for (int g = 0; g < ppd->num_groups; ++g) {
    add(ppd->groups[g]);
    for (int s = 0; s < ppd->groups[g].num_subgroups; ++s) add(ppd->groups[g].subgroups[s]);
  }
  return names;
}

std::string orEmpty(const char* text) {
  return text != nullptr ? text : "(null)";
}

std::string describe(const ppd_attr_t* a) {
  return std::string(a->name) + " " + a->spec + "/" + a->text + ": " + orEmpty(a->value);
}

// Compares openPPD(path) with libcups' ppdOpenFile(path); answers whether
// openPPD left options out.
bool expectSameAsWholeParse(const std::string& path) {
  PPDFile whole(ppdOpenFile(path.c_str()));
  int wholeLine = 0;
  const ppd_status_t wholeStatus = ppdLastError(&wholeLine);
  std::string error;
  PPDFile lean = openPPD(path, &error);
  EXPECT_EQ(static_cast<bool>(whole), static_cast<bool>(lean)) << error;
  if (!whole || !lean) {
    EXPECT_EQ(error,
              path + ": " + ppdErrorString(wholeStatus) + " on line " + std::to_string(wholeLine));
    return false;
  }
  EXPECT_EQ(error, "");
  EXPECT_EQ(orEmpty(lean->modelname), orEmpty(whole->modelname));
  EXPECT_EQ(orEmpty(lean->lang_encoding), orEmpty(whole->lang_encoding));
  EXPECT_EQ(orEmpty(lean->nickname), orEmpty(whole->nickname));
  // The same attributes in the same order, but for the *Default of each
  // option openPPD left out.
  std::set<std::string> leftOut = optionNames(whole.get());
  for (const std::string& name : optionNames(lean.get())) leftOut.erase(name);
  int at = 0;
  for (int i = 0; i < whole->num_attrs; ++i) {
    const std::string expected = describe(whole->attrs[i]);
    if (at < lean->num_attrs && describe(lean->attrs[at]) == expected) {
      ++at;
    } else {
      const std::string name = whole->attrs[i]->name;
      EXPECT_TRUE(name.starts_with("Default") && leftOut.contains(name.substr(7)))
          << "attribute " << i << " missing: " << expected;
    }
  }
  EXPECT_EQ(at, lean->num_attrs) << "attributes the whole parse lacks";
  for (const char* keyword :
       {"ARDocumentFiling", "ARQuivoPrintSystem", "ARActiveDirectory", "LanguageEncoding"}) {
    EXPECT_EQ(ppdAttributeValue(lean.get(), keyword), ppdAttributeValue(whole.get(), keyword))
        << keyword;
  }
  return optionNames(lean.get()).size() < optionNames(whole.get()).size();
}

const char kHead[] =
    "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageEncoding: ISOLatin1\n"
    "*ModelName: \"Quivo VK7300\"\n*NickName: \"Quivo VK7300\"\n";

std::string block(const std::string& name, const std::string& inside = "") {
  return "*OpenUI *" + name + "/The " + name + ": PickOne\n*Default" + name + ": On\n" + inside +
         "*" + name + " On/On: \"<</" + name + " true>>setpagedevice\"\n*" + name +
         " Off/Off: \"\"\n*CloseUI: *" + name + "\n";
}

std::string manyBlocks(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += block("Opt" + std::to_string(i));
  return text;
}

std::string withLineEnds(std::string text, const std::string& end) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

// Attributes enough to pass the 64 KiB pieces the lean text is written in.
std::string manyAttributes(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "*cupsBench" + std::to_string(i) + ": \"kept\"\n";
  return text;
}

TEST_F(PPDParse, AnswersAsTheWholeParseDoes) {
  const std::string flags =
      "*ARDocumentFiling: False\n*ARQuivoPrintSystem: True\n*ARActiveDirectory Main/On: TRUE\n";
  const std::string bad = "no asterisk here\n";
  const struct {
    std::string name, body;
    bool blanked;  // openPPD leaves options out
  } cases[] = {
      {"flags after many blocks", manyBlocks(200) + flags, true},
      {"a default outside its block", "*DefaultOut: On\n" + block("Out") + flags, true},
      {"flags inside blocks",
       block("Duplex",
             "*ARDocumentFiling: False\n*% comment\n\n*OrderDependency: 10 AnySetup *Duplex\n") +
           block("Staple", "*ARActiveDirectory: True\n*End\n"),
       true},
      {"include and translations",
       "*Include: \"other.ppd\"\n" + block("Tray") +
           "*ARDocumentFiling Main/Filing <E9>t\xE9: True\n*arQuivoPrintSystem: False\n",
       true},
      {"quoted code over lines",
       block("Code",
             "*Code Long/Long: \"one\n*ModelName: \"inside\"\n*CloseUI: *Code\nthree\"\n*End\n") +
           flags,
       true},
      {"hex strings",
       block("Hex", "*Hex X/<41>lpha: \"<1B>%-12345X@PJL\"\n") +
           "*ARActiveDirectory: \"<54>RUE\"\n",
       true},
      {"JCL block kept, others left out",
       "*JCLOpenUI *JCLPin: PickOne\n*DefaultJCLPin: A\n*JCLPin A: \"@PJL\"\n*JCLCloseUI: "
       "*JCLPin\n" +
           manyBlocks(3) + flags,
       true},
      {"CRLF", withLineEnds(manyBlocks(5) + flags, "\r\n"), true},
      {"CR", withLineEnds(manyBlocks(5) + flags, "\r"), true},
      {"refused after blocks", manyBlocks(5) + bad, false},
      {"refused after blocks, CRLF", withLineEnds(manyBlocks(5) + bad, "\r\n"), false},
      {"refused after blocks, CR", withLineEnds(manyBlocks(5) + bad, "\r"), false},
      {"refused inside a block", block("Bad", bad), false},
      {"choice line too long", block("Long", "*Long X: \"" + std::string(300, 'x') + "\"\n"),
       false},
      {"choice without a value", block("Nov", "*Nov X\n"), false},
      {"block never closed", manyBlocks(2) + "*OpenUI *Open: PickOne\n*Open A: \"\"\n" + flags,
       true},  // the blocks before it are left out
      {"nested blocks", "*OpenUI *Outer: PickOne\n" + block("Inner") + "*Outer A: \"\"\n" + flags,
       false},
      {"group inside a block", block("Grp", "*OpenGroup: Extra\n*CloseGroup: Extra\n") + flags,
       false},
      {"UI keyword inside another block", block("Media", "*PageSize A4: \"\"\n") + flags, false},
      {"choice with no name", block("Empty", "*Empty : \"\"\n") + flags, false},
      {"unterminated quote", block("Quote", "*Quote X: \"never closed\n") + flags, false},
      {"bad OpenUI", "*OpenUI *Odd\n*Odd A: \"\"\n*CloseUI: *Odd\n" + flags, false},
      {"control byte", block("Sub", "*Sub X: \"a\x1a\"\n") + flags, false},
      {"keyword byte above 127 inside a block", block("Hi", "*Caf\xE9: True\n") + flags, false},
      {"keyword form feed inside a block", block("Ff", "*Form\fFeed: True\n") + flags, false},
      {"work set", manyBlocks(2) + "*%APLWORKSET START\n" + flags, true},
      // An option left out that a kept entry makes again: the whole text.
      {"an option opened again",
       block("Again") + "*OpenUI *Again: PickOne\n*OpenGroup: X\n*CloseUI: *Again\n" + flags,
       false},
      // Past the pieces the lean text is written in: a long kept run between
      // blocks, and a reopened option found after pieces went out.
      {"long kept text between blocks",
       manyBlocks(40) + manyAttributes(4000) + manyBlocks(40) + flags, true},
      {"an option opened again after pieces went out",
       manyBlocks(40) + manyAttributes(4000) + block("Late") + manyAttributes(10) +
           "*OpenUI *Late: PickOne\n*OpenGroup: X\n*CloseUI: *Late\n" + flags,
       false},
      {"a UI keyword after its block", block("PageSize") + "*PageSize Letter: \"x\"\n" + flags,
       false},
      {"too long after blocks", manyBlocks(2) + "*Long: \"" + std::string(300, 'x') + "\"\n",
       false},
      {"too long after blocks, CR",
       withLineEnds(manyBlocks(2) + "*Long: \"" + std::string(300, 'x') + "\"\n", "\r"), false},
      {"mixed line ends", manyBlocks(1) + withLineEnds(manyBlocks(1), "\r") + manyBlocks(1) + bad,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = write("case.ppd", kHead + c.body);
    EXPECT_EQ(expectSameAsWholeParse(path), c.blanked);
  }
}

TEST_F(PPDParse, RepositoryPPDsAnswerAsTheWholeParse) {
  for (const auto& entry : fs::directory_iterator(fs::path(JOBWICK_SOURCE_DIR) / "examples/ppd")) {
    SCOPED_TRACE(entry.path().string());
    expectSameAsWholeParse(entry.path().string());
  }
}

TEST_F(PPDParse, ReadOnceThenScannedAndOpened) {
  const std::string path = write("once.ppd", kHead + manyBlocks(3));
  std::string error = "stale";
  const auto text = PPDText::read(path, true, &error);
  ASSERT_TRUE(text) << error;
  const auto keywords = scanPPDKeywords(text->bytes(), path, {"ModelName"}, &error);
  ASSERT_TRUE(keywords) << error;
  EXPECT_EQ(keywords->at("ModelName"), "Quivo VK7300");
  PPDFile ppd = openPPDText(text->bytes(), path, &error);
  ASSERT_TRUE(ppd) << error;
  EXPECT_EQ(ppdModelNameBytes(ppd.get()), "Quivo VK7300");

  EXPECT_FALSE(openPPDText("hello\n", "named.ppd", &error));
  EXPECT_EQ(error, "named.ppd: Missing asterisk in column 1 on line 1");
  EXPECT_FALSE(PPDText::read((folder_ / "missing.ppd").string(), false, &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace platform
