// SPDX-License-Identifier: Apache-2.0
// The readers of the ticket forms CUPS gives back: lpoptions output and
// ipptool's listing of a job's attributes.
#include "host/cups/cups_options.h"

#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using jobwick::host::looksLikeIpptoolOutput;
using jobwick::host::parseIpptoolOutput;
using jobwick::host::parseLpoptionsOutput;
using jobwick::host::parseTicketText;
using platform::PrintSettings;

constexpr const char kFiling[] = "jp.co.quivo.print.PrintSettings.filing";

TEST(IpptoolOutput, ReadsOnlyWellFormedLines) {
  const struct {
    const char* name;
    std::string line;
    bool matches;
    std::string filing;  // the value read, when it matches
  } cases[] = {
      {"indented", std::string("    ") + kFiling + " (textWithoutLanguage) = 3", true, "3"},
      {"tab", std::string("\t") + kFiling + " (text) = 3", true, "3"},
      {"value with brackets and =", std::string(" ") + kFiling + " (text) = a (b) = c", true,
       "a (b) = c"},
      {"empty value", std::string(" ") + kFiling + " (text) = ", true, ""},
      {"type with spaces", std::string(" ") + kFiling + " (1setOf text) = x", true, "x"},
      {"long value", std::string(" ") + kFiling + " (text) = " + std::string(300000, '7'), true,
       std::string(300000, '7')},
      {"not indented", std::string(kFiling) + " (text) = 3", false, ""},
      {"name starts with a digit", "    1job (text) = 3", false, ""},
      {"no type", std::string("    ") + kFiling + " = 3", false, ""},
      {"no space before =", std::string("    ") + kFiling + " (text)= 3", false, ""},
      {"carriage return", std::string("    ") + kFiling + " (text) = 3\r", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PrintSettings settings;
    std::string error;
    EXPECT_EQ(looksLikeIpptoolOutput(c.line), c.matches);
    EXPECT_EQ(parseIpptoolOutput(c.line + "\n", &settings, &error), c.matches);
    if (c.matches) {
      EXPECT_EQ(settings.value(kFiling), c.filing);
    } else {
      EXPECT_THAT(error, ::testing::HasSubstr("no \"NAME (TYPE) = VALUE\" lines"));
    }
  }
}

TEST(IpptoolOutput, TakesTheJobNameAndLeavesOtherAttributes) {
  PrintSettings settings;
  ASSERT_TRUE(
      parseIpptoolOutput("\"get-job-attributes.test\":\n"
                         "    job-id (integer) = 17\n"
                         "    job-name (nameWithoutLanguage) = Quarterly report\n",
                         &settings, nullptr));
  EXPECT_EQ(settings.jobName(), "Quarterly report");
  EXPECT_TRUE(settings.entries().empty());
}

TEST(LpoptionsOutput, KeepsTicketEntriesWithTheirQuoting) {
  PrintSettings settings;
  ASSERT_TRUE(parseLpoptionsOutput(std::string("copies=1 printer-info='Office MFP' sides ") +
                                       kFiling + "='a b' jp.co.quivo.print.PrintSettings.jobName=" +
                                       "52\\ 8E jp.co.quivo.print.PrintSettings.holdButton",
                                   &settings, nullptr));
  EXPECT_EQ(settings.value(kFiling), "a b");
  EXPECT_EQ(settings.value("jp.co.quivo.print.PrintSettings.jobName"), "52 8E");
  EXPECT_EQ(settings.value("printer-info"), std::nullopt);
  std::string error;
  EXPECT_FALSE(parseLpoptionsOutput("  \n", &settings, &error));
  EXPECT_THAT(error, ::testing::HasSubstr("no options"));
}

TEST(TicketText, FormatPicksTheReader) {
  const std::string listing = std::string("    ") + kFiling + " (text) = 2\n";
  for (const char* format : {"auto", "ipptool"}) {
    PrintSettings settings;
    EXPECT_TRUE(parseTicketText(listing, format, &settings, nullptr)) << format;
    EXPECT_EQ(settings.value(kFiling), "2") << format;
  }
  // Named as lines, a listing is read as option lines: the key is all
  // before the "=".
  PrintSettings lines;
  EXPECT_TRUE(parseTicketText(listing, "lines", &lines, nullptr));
  EXPECT_EQ(lines.value(kFiling), std::nullopt);
  EXPECT_EQ(lines.value(std::string(kFiling) + " (text)"), " 2");
  PrintSettings lpoptions;
  EXPECT_TRUE(parseTicketText(std::string(kFiling) + "=1", "lpoptions", &lpoptions, nullptr));
  EXPECT_EQ(lpoptions.value(kFiling), "1");
}

}  // namespace
