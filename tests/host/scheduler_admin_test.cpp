// SPDX-License-Identifier: Apache-2.0
// The scheduler configuration edit of `jobwick setup` and the rule that
// keeps tickets with secrets from queues other users can read.
#include <gtest/gtest.h>

#include "host/cups/scheduler_admin.h"
#include "host/cups/ticket_privacy.h"

namespace hosttest {
namespace {

using jobwick::host::PolicyEdit;
using jobwick::host::privatePolicyBlock;

constexpr char kShipped[] =
    "LogLevel warn\n"
    "<Policy default>\n"
    "  <Limit All>\n"
    "    Order deny,allow\n"
    "  </Limit>\n"
    "</Policy>\n";

TEST(SchedulerConfig, ThePolicyIsAddedOnceAndNothingElseChanges) {
  struct Case {
    const char* name;
    std::string config;
    PolicyEdit edit;
    std::string expected;
  };
  const std::string block = privatePolicyBlock();
  const std::string stale = "<Policy jobwick>\n  JobPrivateValues default\n</Policy>\n";
  const Case cases[] = {
      {"missing", kShipped, PolicyEdit::kAdded, std::string(kShipped) + block},
      {"no final line break", "LogLevel warn", PolicyEdit::kAdded, "LogLevel warn\n" + block},
      {"empty", "", PolicyEdit::kAdded, block},
      {"there already", std::string(kShipped) + block, PolicyEdit::kUnchanged,
       std::string(kShipped) + block},
      {"stale, in the middle", "A 1\n" + stale + "B 2\n", PolicyEdit::kReplaced,
       "A 1\n" + block + "B 2\n"},
      {"other case, indented", "  <policy JOBWICK >\n</POLICY>\nB 2\n", PolicyEdit::kReplaced,
       block + "B 2\n"},
      {"left open", "A 1\n<Policy jobwick>\n  Order deny,allow", PolicyEdit::kReplaced,
       "A 1\n" + block},
      {"another name", "<Policy jobwick2>\n</Policy>\n", PolicyEdit::kAdded,
       "<Policy jobwick2>\n</Policy>\n" + block},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string config = c.config;
    EXPECT_EQ(jobwick::host::withPrivatePolicy(&config), c.edit);
    EXPECT_EQ(config, c.expected);
    // Once in, the block stays as it is.
    EXPECT_EQ(jobwick::host::withPrivatePolicy(&config), PolicyEdit::kUnchanged);
  }
}

TEST(SchedulerConfig, ThePolicyKeepsValuesAndJobOperationsToTheOwner) {
  const std::string& block = privatePolicyBlock();
  EXPECT_NE(block.find("JobPrivateValues all\n"), std::string::npos);
  // Jobs are still made and sent as the shipped policy allows (lp would
  // fail otherwise); reading and acting on them needs authentication.
  EXPECT_NE(block.find("<Limit Send-Document Send-URI Close-Job>\n    Require user @OWNER "
                       "@SYSTEM\n    Order deny,allow\n"),
            std::string::npos);
  EXPECT_NE(block.find("<Limit Get-Jobs Get-Job-Attributes>\n    AuthType Default\n    Require "
                       "valid-user\n"),
            std::string::npos);
  for (const char* operation : {"Hold-Job", "Release-Job", "Set-Job-Attributes", "Cancel-Job",
                                "Restart-Job", "CUPS-Move-Job", "Purge-Jobs", "Cancel-My-Jobs"}) {
    const auto at = block.find(std::string(" ") + operation + " ");
    ASSERT_NE(at, std::string::npos) << operation;
    EXPECT_EQ(block.find("    AuthType Default\n    Require user @OWNER @SYSTEM\n", at),
              block.find('\n', at) + 1)
        << operation;
  }
}

TEST(SchedulerConfig, LogLevelsThatWriteTicketsAreFound) {
  EXPECT_EQ(jobwick::host::logLevelOf(kShipped), "warn");
  EXPECT_EQ(jobwick::host::logLevelOf("LogLevel warn\n  loglevel Debug2\n"), "debug2");
  EXPECT_EQ(jobwick::host::logLevelOf("# LogLevel debug\n"), "");
  EXPECT_TRUE(jobwick::host::logsTickets("debug"));
  EXPECT_TRUE(jobwick::host::logsTickets("debug2"));
  EXPECT_FALSE(jobwick::host::logsTickets("info"));
  EXPECT_FALSE(jobwick::host::logsTickets(""));
}

platform::PrintSettings settingsOf(
    std::initializer_list<std::pair<std::string, std::string>> entries) {
  platform::PrintSettings settings;
  for (const auto& [key, value] : entries) settings.setValue(key, value);
  return settings;
}

TEST(TicketPrivacy, EverySecretIsFoundByItsEntries) {
  const std::string p = "jp.co.quivo.print.PrintSettings.";
  struct Case {
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<std::string> secrets;
  };
  const Case cases[] = {
      {{{p + "accountNumber", "04711"}, {p + "userName", "6A"}, {p + "jobName", "4A"}}, {}},
      {{{p + "jobSuspendKey", "d067"}}, {"pass code"}},
      {{{p + "jobSuspend2Key", "C462"}}, {"pass code"}},
      {{{p + "folderPassword2", "9A53"}}, {"folder password"}},
      {{{p + "loginName12", "4f"}}, {"login name"}},
      {{{p + "password31", "eRRJ"}}, {"password"}},
      {{{p + "userNumber", "90210"}}, {"user number"}},
      // Empty values carry nothing; keys outside the ticket are not its.
      {{{p + "password", ""}, {p + "loginName1", ""}, {"password", "x"}}, {}},
      {{{p + "userNumber2", "CC"}, {p + "jobSuspendKey", "d0"}, {p + "password", "PW"}},
       {"pass code", "password", "user number"}},
  };
  for (const auto& c : cases) {
    platform::PrintSettings settings;
    for (const auto& [key, value] : c.entries) settings.setValue(key, value);
    EXPECT_EQ(jobwick::host::ticketSecrets(settings), c.secrets) << c.entries.front().first;
  }
}

TEST(TicketPrivacy, SecretsGoOnlyToPrivateQueues) {
  const auto secret = settingsOf({{"jp.co.quivo.print.PrintSettings.jobSuspendKey", "d0"},
                                  {"jp.co.quivo.print.PrintSettings.password", "PW"}});
  const auto plain = settingsOf({{"jp.co.quivo.print.PrintSettings.accountNumber", "04711"}});
  jobwick::host::QueueInfo open, closed;
  open.name = "Office $1";
  open.opPolicy = "default";
  closed.name = "Office";
  closed.opPolicy = "jobwick";
  EXPECT_EQ(jobwick::host::exposedTicketProblem(closed, secret), "");
  EXPECT_EQ(jobwick::host::exposedTicketProblem(open, plain), "");
  EXPECT_EQ(jobwick::host::exposedTicketProblem(open, secret),
            "queue Office $1 lets other users read its job tickets (policy default) and this "
            "ticket carries a pass code and a password; nothing was submitted (an administrator "
            "makes its tickets private with \"jobwick setup 'Office $1'\"; "
            "--allow-exposed-ticket sends the ticket anyway)");
  // A scheduler that does not say is taken as one that does not protect.
  jobwick::host::QueueInfo unknown;
  unknown.name = "Q";
  EXPECT_NE(jobwick::host::exposedTicketProblem(unknown, secret).find("(policy unknown)"),
            std::string::npos);
}

}  // namespace
}  // namespace hosttest
