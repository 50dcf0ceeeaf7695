// SPDX-License-Identifier: Apache-2.0
// Print settings files: JSON and option lines, read and written.
#include "host/common/settings_io.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run_command.h"

namespace {

namespace fs = std::filesystem;
using jobwick::host::orderedObjectOf;
using jobwick::host::parseOptionLines;
using jobwick::host::parseSettingsJson;
using jobwick::host::readSettingsFile;
using jobwick::host::settingsDocument;
using jobwick::host::settingsToJson;
using jobwick::host::writeSettingsFile;
using platform::PrintSettings;
using ::testing::HasSubstr;

constexpr const char kHold[] = "jp.co.quivo.print.PrintSettings.holdButton";
constexpr const char kJobName[] = "jp.co.quivo.print.PrintSettings.jobName";

TEST(SettingsJson, RoundTripKeepsEveryEntryAndTheJobName) {
  PrintSettings settings;
  settings.setJobName("月次報告 \"Q3\"");
  settings.setValue(kHold, "17");
  settings.setValue(kJobName, "E69C88E6ACA1");
  settings.setValue("empty", "");

  PrintSettings read;
  std::string error;
  ASSERT_TRUE(parseSettingsJson(settingsToJson(settings), &read, &error)) << error;
  EXPECT_EQ(read.jobName(), settings.jobName());
  EXPECT_EQ(read.entries(), settings.entries());

  // A job without a name stays without one.
  PrintSettings unnamed;
  unnamed.setValue(kHold, "0");
  EXPECT_THAT(settingsToJson(unnamed), ::testing::Not(HasSubstr("jobName")));
  ASSERT_TRUE(parseSettingsJson(settingsToJson(unnamed), &read, &error));
}

TEST(SettingsJson, RejectsWhatIsNotASettingsDocument) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"{\"settings\": {\"a\": \"1\",\n  \"b\": x}}", "line 2, column 8"},
      {"{\n", "line 2, column 1"},
      {"", "line 1, column 1"},
      {"{\"jobName\": \"a\"} trailing", "expected end of input"},
      {"[1, 2]", "expected a JSON object"},
      {"{\"jobName\": 7}", "\"jobName\" must be a string"},
      {"{\"settings\": [\"a\"]}", "\"settings\" must be an object"},
      {"{\"settings\": {\"copies\": 2}}", "setting \"copies\" must be a string"},
      {"{\"setting\": {}}", "unknown member \"setting\""},
      // Beyond a double: refused by name, where it used to end the process.
      {"{\"jobName\": \"x\",\n \"settings\": {\"a\": 1e999}}",
       "line 2, column 20: number overflow parsing '1e999'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    PrintSettings settings;
    settings.setValue("kept", "yes");
    std::string error;
    EXPECT_FALSE(parseSettingsJson(c.text, &settings, &error));
    EXPECT_THAT(error, HasSubstr(c.expected));
    // Nothing is applied from a document that fails.
    EXPECT_EQ(settings.entries().size(), 1u);
    EXPECT_FALSE(settings.jobName());
  }
}

TEST(SettingsJson, NullJobNameMeansNoName) {
  PrintSettings settings;
  settings.setJobName("old");
  ASSERT_TRUE(parseSettingsJson(R"({"jobName": null, "settings": {}})", &settings, nullptr));
  EXPECT_FALSE(settings.jobName());
}

// The session's report shows the settings as ordered JSON built directly
// (parsing the written document again took time quadratic in the number of
// entries); it must be the document the settings file gets.
TEST(SettingsJson, OrderedDocumentIsTheWrittenOne) {
  using Ordered = nlohmann::ordered_json;
  struct Case {
    const char* name;
    std::optional<std::string> jobName;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  const Case cases[] = {
      {"empty", std::nullopt, {}},
      {"job name only", "Quarterly", {}},
      {"sorted by key, not by insertion",
       "月次報告",
       {{"zeta", "1"}, {kHold, "17"}, {"Alpha", "2"}, {"alpha", ""}, {"é", "ü"}}},
      {"invalid UTF-8 replaced alike", std::nullopt, {{"bad\xff", "\xc3("}, {"ok", "\xe2\x82"}}},
  };
  for (const Case& c : cases) {
    PrintSettings settings;
    settings.setJobName(c.jobName);
    for (const auto& [key, value] : c.entries) settings.setValue(key, value);
    const auto dump = [](const Ordered& document) {
      return document.dump(2, ' ', false, Ordered::error_handler_t::replace);
    };
    EXPECT_EQ(dump(settingsDocument(settings)), dump(Ordered::parse(settingsToJson(settings))))
        << c.name;
  }
}

TEST(SettingsJson, OrderedObjectKeepsTheGivenOrder) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"b", "1"}, {"a", "2"}, {"c", "3"}};
  nlohmann::ordered_json assigned = nlohmann::ordered_json::object();
  for (const auto& [key, value] : entries) assigned[key] = value;
  EXPECT_EQ(orderedObjectOf(entries).dump(), assigned.dump());
  EXPECT_EQ(orderedObjectOf(std::vector<std::pair<std::string, std::string>>{}).dump(), "{}");
}

TEST(OptionLines, ReadsKeyValueLines) {
  PrintSettings settings;
  std::string error;
  ASSERT_TRUE(
      parseOptionLines("# job ticket\r\n"
                       "  jp.co.quivo.print.PrintSettings.holdButton = 3\r\n"
                       "\n"
                       "url=http://h/p?a=b\n"
                       "spaces=  kept  \n"
                       "last=no newline",
                       &settings, &error))
      << error;
  EXPECT_EQ(settings.value(kHold), " 3");
  EXPECT_EQ(settings.value("url"), "http://h/p?a=b");
  EXPECT_EQ(settings.value("spaces"), "  kept  ");
  EXPECT_EQ(settings.value("last"), "no newline");
  EXPECT_EQ(settings.entries().size(), 4u);
}

TEST(OptionLines, NamesTheBadLine) {
  PrintSettings settings;
  std::string error;
  EXPECT_FALSE(parseOptionLines("a=1\n# c\nnovalue\n", &settings, &error));
  EXPECT_THAT(error, HasSubstr("line 3"));
  EXPECT_THAT(error, HasSubstr("novalue"));
  EXPECT_TRUE(settings.entries().empty());
  EXPECT_FALSE(parseOptionLines("a=1\n =2\n", &settings, &error));
  EXPECT_THAT(error, HasSubstr("line 2: empty key"));
}

TEST(SettingsFile, ReadsEitherFormAndWritesAtomically) {
  hosttest::TempDir temp;
  fs::path json = hosttest::writeFile(temp.path() / "job.json",
                                      "\n  {\"jobName\": \"J\", \"settings\": {\"a\": \"1\"}}");
  fs::path lines = hosttest::writeFile(temp.path() / "job.options", "a=2\n");
  PrintSettings settings;
  std::string error;
  ASSERT_TRUE(readSettingsFile(json, &settings, &error)) << error;
  EXPECT_EQ(settings.value("a"), "1");
  ASSERT_TRUE(readSettingsFile(lines, &settings, &error)) << error;
  EXPECT_EQ(settings.value("a"), "2");
  EXPECT_EQ(settings.jobName(), "J");

  fs::path out = temp.path() / "out.json";
  hosttest::writeFile(out, "old");
  ASSERT_TRUE(writeSettingsFile(out, settings, &error)) << error;
  EXPECT_EQ(hosttest::readFile(out), settingsToJson(settings));
  // Only the two inputs and the output: no temporary file left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 3);

  fs::path missing = temp.path() / "none.json";
  EXPECT_FALSE(readSettingsFile(missing, &settings, &error));
  EXPECT_THAT(error, HasSubstr(missing.string()));
  fs::path noFolder = temp.path() / "no" / "such" / "out.json";
  EXPECT_FALSE(writeSettingsFile(noFolder, settings, &error));
  EXPECT_THAT(error, HasSubstr(noFolder.string()));

  fs::path bad = hosttest::writeFile(temp.path() / "bad.json", "{\"settings\": {\"a\": }}");
  EXPECT_FALSE(readSettingsFile(bad, &settings, &error));
  EXPECT_THAT(error, HasSubstr(bad.string() + ": line 1, column 20"));
}

}  // namespace

// A NUL would cut a key or value where the ticket is handed on as C
// strings, making a second entry of the rest: refused, naming the place.
TEST(SettingsText, NulInAKeyOrValueIsRefusedWithItsPlace) {
  using namespace std::string_literals;
  const struct {
    std::string text, message;
  } cases[] = {
      {R"({"settings": {"jp.co.quivo.print.PrintSettings.filing\u0000x": "3"}})",
       R"(setting "jp.co.quivo.print.PrintSettings.filing\x00x": a NUL character in the key)"},
      {R"({"settings": {"a": "0\u00003"}})", R"(setting "a": a NUL character in the value)"},
      {R"({"jobName": "r\u0000x", "settings": {}})", "\"jobName\": a NUL character in the name"},
      {"a=1\nfiling\0x=3\n"s, R"(line 2: setting "filing\x00x": a NUL character in the key)"},
      {"a=1\nb=0\0003\n"s, R"(line 2: setting "b": a NUL character in the value)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    PrintSettings settings;
    std::string error;
    EXPECT_FALSE(jobwick::host::parseSettingsText(c.text, &settings, &error));
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(settings.entries().empty());
  }
}
