// SPDX-License-Identifier: Apache-2.0
// End-to-end tests of `jobwick ticket show` on tickets written by both
// builds (through their example sessions), with chunked names, tampered
// entries, both file forms and standard input.
#include <filesystem>
#include <map>
#include <string>

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

class TicketShow : public JobwickTest {
 protected:
  /// Runs an example session and answers the ticket file it saved.
  fs::path writtenTicket(const std::string& session) {
    const fs::path file = temp().path() / (session + ".ticket.json");
    CommandResult result =
        jobwick({"session", source("examples/sessions/" + session + ".json").string(), "--var",
                 "PRINTER=" + SharedPrinter::address(), "--save-settings", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return file;
  }

  json show(const fs::path& ticket, int expectedStatus = 0, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"ticket", "show", ticket.string(), "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    int status = -1;
    json report = jobwickJson(args, &status);
    EXPECT_EQ(status, expectedStatus) << report.dump(2);
    return report;
  }

  static std::map<std::string, json> fieldsByName(const json& report) {
    std::map<std::string, json> fields;
    for (const auto& field : report["fields"]) fields[field["name"].get<std::string>()] = field;
    return fields;
  }

  static void tamper(const fs::path& ticket, const std::string& key, const std::string& value) {
    json document = json::parse(hosttest::readFile(ticket));
    document["settings"][std::string(kPrefix) + key] = value;
    hosttest::writeFile(ticket, document.dump(2));
  }
};

TEST_F(TicketShow, Vk7300TicketWithEveryKeyAndChunkedNames) {
  json report = show(writtenTicket("vk7300-every-key"));
  EXPECT_EQ(report["consistent"], true);
  EXPECT_EQ(report["spoolTime"], "Tue, 8 Dec 2026 09:05:07 +0900");
  auto fields = fieldsByName(report);
  for (const char* name :
       {"spoolTime",      "filing",          "folderPath",     "folderPath2",    "folderPath3",
        "jobSuspend",     "jobSuspendKey",   "jobSuspend2Key", "Authentication", "loginName1",
        "loginName0",     "loginName2",      "password",       "password2",      "password3",
        "userNumber",     "userNumber2",     "accountNumber",  "accountNumber2", "userName",
        "userName2",      "userName3",       "jobName",        "jobName2",       "jobName3",
        "folderPassword", "folderPassword2", "holdButton"}) {
    ASSERT_TRUE(fields.count(name)) << name;
    EXPECT_EQ(fields[name]["problem"], nullptr) << name;
  }
  const std::string login =
      "a.very.long.login.name.for.the.directory.service.of.the.head.office.which.keeps.going."
      "until.its.cipher.needs.two.pieces.in.the.job.ticket.because.it.is.longer.than.192.bytes@"
      "corp.example.org";
  for (const char* name : {"loginName1", "loginName0", "loginName2"}) {
    EXPECT_EQ(fields[name]["text"], login) << name;
    EXPECT_EQ(fields[name]["keys"].size(), 2u) << name;
  }
  EXPECT_EQ(fields["jobName3"]["keys"].size(), 2u);
  EXPECT_THAT(fields["jobName3"]["text"].get<std::string>(),
              HasSubstr("東京オフィスの四半期報告書"));
  EXPECT_EQ(fields["folderPath"]["text"], "Réunions 2026");
  EXPECT_EQ(fields["folderPath2"]["text"], "Réunions 2026");
  EXPECT_EQ(fields["password3"]["text"], "pässwörd");
  EXPECT_EQ(fields["jobSuspend2Key"]["text"], "7");
  EXPECT_EQ(fields["folderPassword2"]["text"], "24680");
  EXPECT_EQ(fields["userNumber2"]["text"], "90210");
  EXPECT_EQ(fields["filing"]["meaning"], "3: custom folder");
  EXPECT_EQ(fields["jobSuspend"]["meaning"], "3: sample print");
  std::map<std::string, std::string> checks;
  for (const auto& check : report["checks"]) checks[check["name"]] = check["status"];
  EXPECT_EQ(checks, (std::map<std::string, std::string>{{"jobSuspendKey", "match"},
                                                        {"folderPassword", "match"},
                                                        {"userNumber", "match"},
                                                        {"accountNumber", "match"},
                                                        {"password", "match"}}));
}

TEST_F(TicketShow, Vk410eTicketWithEveryKey) {
  json report = show(writtenTicket("vk410e-every-key"));
  EXPECT_EQ(report["consistent"], true);
  auto fields = fieldsByName(report);
  for (const char* name :
       {"spoolTime",      "filing",          "folderPath",     "folderPath2", "jobSuspend",
        "jobSuspendKey",  "jobSuspend2Key",  "Authentication", "loginName1",  "loginName0",
        "password",       "password2",       "userNumber",     "userNumber2", "accountNumber",
        "accountNumber2", "userName",        "userName2",      "jobName",     "jobName2",
        "folderPassword", "folderPassword2", "holdButton"}) {
    ASSERT_TRUE(fields.count(name)) << name;
  }
  for (const char* name : {"folderPath3", "loginName2", "password3", "userName3", "jobName3"}) {
    EXPECT_FALSE(fields.count(name)) << name;
  }
  EXPECT_EQ(fields["filing"]["meaning"], "0: no filing");
  EXPECT_EQ(fields["folderPath"]["meaning"], "main folder (*standard)");
  EXPECT_EQ(fields["userName"]["text"], "Jürgen Weiß");
  EXPECT_EQ(fields["userName2"]["text"], "Jürgen Weiß");
  EXPECT_EQ(fields["password"]["text"], "Grüße");
  EXPECT_EQ(fields["folderPassword2"]["text"], "1357");
}

TEST_F(TicketShow, TamperedDigestsAndSpoolTimeAreReported) {
  const fs::path ticket = writtenTicket("vk7300-every-key");
  tamper(ticket, "jobSuspendKey", std::string(32, '0'));
  json report = show(ticket, 3);
  EXPECT_EQ(report["consistent"], false);
  ASSERT_EQ(report["problems"].size(), 1u);
  EXPECT_THAT(report["problems"][0].get<std::string>(), HasSubstr("jobSuspendKey: md5(pad5(code)"));

  // Another spool time: neither digest holds and the spool-key ciphers fail.
  const fs::path other = writtenTicket("vk7300-every-key");
  std::string spool = "Tue, 8 Dec 2026 09:05:08 +0900";
  std::string hex;
  for (unsigned char c : spool) {
    static const char digits[] = "0123456789ABCDEF";
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  tamper(other, "spoolTime", hex);
  CommandResult text = jobwick({"ticket", "show", other.string()});
  EXPECT_EQ(text.exitCode, 3);
  EXPECT_THAT(text.out, HasSubstr("jobSuspendKey    MISMATCH"));
  EXPECT_THAT(text.out, HasSubstr("folderPassword   MISMATCH"));
  EXPECT_THAT(text.out, HasSubstr("loginName2: does not decipher to text with this ticket's "
                                  "spool-time key"));
}

TEST_F(TicketShow, ReadsOptionLinesAndStandardInput) {
  json fromLines = show(source("examples/tickets/vk7300-full.txt"));
  json fromJson = show(source("examples/tickets/vk7300-full.json"));
  EXPECT_EQ(fromLines["fields"], fromJson["fields"]);
  EXPECT_EQ(fromLines["consistent"], true);

  // "-" reads standard input; the test's runner gives it /dev/null: no ticket.
  CommandResult empty = jobwick({"ticket", "show", "-"});
  EXPECT_EQ(empty.exitCode, 0) << empty.err;
  EXPECT_THAT(empty.out, HasSubstr("hold no job ticket"));
}

// A file of ipptool's listing is found from its text, as on standard
// input; before, only "-" looked for it and a file failed as option lines.
TEST_F(TicketShow, IpptoolListingInAFileIsFoundFromItsText) {
  const std::string listing =
      "\"/usr/share/cups/ipptool/get-job-attributes.test\":\n"
      "    Get-Job-Attributes:\n"
      "        job-id (integer) = 17\n"
      "        job-name (nameWithoutLanguage) = Quarterly report\n"
      "        jp.co.quivo.print.PrintSettings.filing (textWithoutLanguage) = 1\n";
  const fs::path file = scratchFile("job.txt", listing);
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"--format", "ipptool"}}) {
    json report = show(file, 0, extra);
    EXPECT_EQ(report["jobName"], "Quarterly report");
    EXPECT_EQ(fieldsByName(report)["filing"]["meaning"], "1: quick file") << report.dump(2);
  }
}

TEST_F(TicketShow, LanguageChoosesTheWritersEncoding) {
  // A ticket written on a Japanese system reads cleanly as such.
  auto script = scratchFile("ja.json", R"({
    "bundle": "vk7300", "printer": {"ppd": ")" +
                                           source("examples/ppd/vk7300-ja.ppd").string() +
                                           R"("}, "language": "ja",
    "clock": "2026-12-08T09:05:07+09:00", "user": {"login": "yamada", "fullName": "山田 太郎"},
    "steps": [{"do": "restore"}, {"do": "type", "control": "passwordEditText", "text": "pass"},
              {"do": "save"}]})");
  const fs::path ticket = temp().path() / "ja.ticket.json";
  ASSERT_EQ(jobwick({"session", script.string(), "--save-settings", ticket.string()}).exitCode, 0);
  json japanese = show(ticket, 0, {"--language", "ja"});
  EXPECT_EQ(japanese["systemEncoding"], "Mac Japanese");
  EXPECT_EQ(japanese["secondVariantEncoding"], "Mac Japanese");
  auto fields = fieldsByName(japanese);
  EXPECT_EQ(fields["userName"]["text"], "山田 太郎");
  EXPECT_EQ(fields["userName2"]["text"], "山田 太郎");
  EXPECT_EQ(fields["password"]["text"], "pass");

  // The Mac OS Roman example read as Japanese: its accented names do not read.
  json roman = show(source("examples/tickets/vk7300-full.json"), 3, {"--language", "ja"});
  EXPECT_THAT(roman["problems"].dump(), HasSubstr("not valid Mac Japanese text"));
}

TEST_F(TicketShow, UnreadableInputIsAnError) {
  CommandResult missing = jobwick({"ticket", "show", (temp().path() / "none.json").string()});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_THAT(missing.err, HasSubstr("none.json: cannot read settings file"));

  auto broken = scratchFile("broken.json", "{\"settings\": {\n  \"a\": 1,\n}");
  CommandResult malformed = jobwick({"ticket", "show", broken.string()});
  EXPECT_EQ(malformed.exitCode, 4);
  EXPECT_THAT(malformed.err, HasSubstr("broken.json: line 3, column 1"));

  auto lines = scratchFile("lines.txt", "a=1\nno equals sign\n");
  CommandResult badLine = jobwick({"ticket", "show", lines.string()});
  EXPECT_EQ(badLine.exitCode, 4);
  EXPECT_THAT(badLine.err, HasSubstr("lines.txt: line 2"));

  CommandResult usage = jobwick({"ticket", "show"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_THAT(usage.err, HasSubstr("missing SETTINGS"));
  EXPECT_EQ(jobwick({"ticket", "show", "x", "--language", ""}).exitCode, 2);
}

}  // namespace
