// SPDX-License-Identifier: Apache-2.0
// The dialog engine at its entry points, in this process: a dialog opened for
// a PPD and printer id or for a CUPS queue, restored, Print pressed (the
// ticket, or the panel's refusal), the job submitted; sessions run from code;
// the one rule for secrets.
#include <cups/cups.h>

#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cups_fixture.h"
#include "host/cups/cups_options.h"
#include "host/cups/submit.h"
#include "host/engine/print_dialog.h"
#include "host/engine/session.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace engine_test {

namespace fs = std::filesystem;
using jobwick::host::DialogSetup;
using jobwick::host::ExitStatus;
using jobwick::host::PrintDialog;
using jobwick::host::PrintVerdict;
using ::testing::HasSubstr;

/// Points libcups of this process at a scheduler while it lives.
class SchedulerScope {
 public:
  explicit SchedulerScope(const std::string& server) { cupsSetServer(server.c_str()); }
  ~SchedulerScope() { cupsSetServer(nullptr); }
  SchedulerScope(const SchedulerScope&) = delete;
  SchedulerScope& operator=(const SchedulerScope&) = delete;
};

class EngineTest : public JobwickTest {
 protected:
  /// A dialog setup for one of the example PPDs, with a preferences folder
  /// of the test's own.
  DialogSetup setupFor(const std::string& bundle, const std::string& ppd) {
    DialogSetup setup;
    setup.bundle = bundle;
    setup.ppd = source("examples/ppd/" + ppd);
    setup.printerId = "EnginePrinter";
    setup.prefsDir = prefsDir();
    setup.alertListener = [](const platform::Alert&) {};
    return setup;
  }

  static std::size_t ticketEntries(const platform::PrintSettings& settings) {
    std::size_t count = 0;
    for (const auto& [key, value] : settings.entries()) count += key.starts_with(kPrefix);
    return count;
  }
};

TEST_F(EngineTest, OpenRestorePressPrintGivesTheTicket) {
  for (const auto& [bundle, ppd] : {std::pair{"vk7300", "vk7300.ppd"}, {"vk410e", "vk410e.ppd"}}) {
    SCOPED_TRACE(bundle);
    DialogSetup setup = setupFor(bundle, ppd);
    setup.settingOverrides = {{"com.example.other", "kept"}};
    std::string error;
    auto dialog = PrintDialog::open(setup, &error);
    ASSERT_TRUE(dialog) << error;
    EXPECT_EQ(dialog->queue(), nullptr);
    dialog->restore();
    const PrintVerdict verdict = dialog->pressPrint();
    EXPECT_TRUE(verdict.shouldPrint);
    EXPECT_TRUE(verdict.alerts.empty());
    EXPECT_GT(ticketEntries(verdict.settings), 5u);
    // The panel's save stamped the job; settings of others stay.
    EXPECT_TRUE(verdict.settings.value(std::string(kPrefix) + "spoolTime"));
    EXPECT_EQ(verdict.settings.value("com.example.other"), "kept");
    EXPECT_EQ(verdict.settings.entries(), dialog->host().settings().entries());
  }
}

TEST_F(EngineTest, PressPrintReportsTheRefusalAndItsAlert) {
  // The print-system model refuses while the login name is empty.
  std::string error;
  auto dialog = PrintDialog::open(setupFor("vk7300", "vk7300-print-system.ppd"), &error);
  ASSERT_TRUE(dialog) << error;
  const PrintVerdict verdict = dialog->pressPrint();
  EXPECT_FALSE(verdict.shouldPrint);
  ASSERT_EQ(verdict.alerts.size(), 1u);
  EXPECT_THAT(verdict.alerts.front().message + verdict.alerts.front().title,
              HasSubstr("Login Name"));
  EXPECT_EQ(dialog->alerts().size(), 1u);
}

TEST_F(EngineTest, OpenFailsNamingTheInputAndItsKind) {
  struct Case {
    std::string what;
    DialogSetup setup;
    ExitStatus status;
    std::string message;
  };
  DialogSetup noBundle = setupFor("vk9999", "vk7300.ppd");
  DialogSetup noPPD = setupFor("vk7300", "vk7300.ppd");
  noPPD.ppd = temp().path() / "missing.ppd";
  DialogSetup badSettings = setupFor("vk7300", "vk7300.ppd");
  badSettings.settingsFile = scratchFile("bad.json", "{\"settings\": 3}");
  const Case cases[] = {
      {"unknown bundle", noBundle, ExitStatus::failure, "vk9999"},
      {"missing PPD", noPPD, ExitStatus::badInput, "cannot read PPD"},
      {"malformed settings", badSettings, ExitStatus::badInput, "bad.json"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    ExitStatus status = ExitStatus::success;
    EXPECT_FALSE(PrintDialog::open(c.setup, &error, &status));
    EXPECT_EQ(status, c.status);
    EXPECT_THAT(error, HasSubstr(c.message));
  }
}

TEST_F(EngineTest, QueueDialogPrintsAndItsJobCarriesTheTicket) {
  JOBWICK_NEED_CUPSD(cupsd);
  SchedulerScope scope(cupsd->server());
  DialogSetup base;
  base.prefsDir = prefsDir();
  base.alertListener = [](const platform::Alert&) {};
  base.initialSettings.emplace();
  base.initialSettings->setJobName("Engine report");
  std::string error;
  EXPECT_FALSE(PrintDialog::openQueue("NoSuchQueue", base, JOBWICK_BUNDLE_DIR, &error));
  EXPECT_THAT(error, HasSubstr("NoSuchQueue"));

  auto dialog = PrintDialog::openQueue("Vk410e", base, JOBWICK_BUNDLE_DIR, &error);
  ASSERT_TRUE(dialog) << error;
  ASSERT_NE(dialog->queue(), nullptr);
  EXPECT_EQ(dialog->queue()->bundle.filename(), "JobwickVk410e.plugin");
  EXPECT_EQ(dialog->setup().printerId, "Vk410e");
  dialog->restore();
  const PrintVerdict verdict = dialog->pressPrint();
  ASSERT_TRUE(verdict.shouldPrint);

  const auto job =
      jobwick::host::jobForTicket("Vk410e", verdict.settings, "engine.ps", "%!PS\nshowpage\n");
  EXPECT_EQ(job.jobName, "Engine report");
  auto id = jobwick::host::submitJob(job, &error);
  ASSERT_TRUE(id) << error;

  platform::PrintSettings kept;
  ASSERT_TRUE(jobwick::host::readJobTicket("Vk410e-" + std::to_string(*id), &kept, &error))
      << error;
  EXPECT_EQ(kept.jobName(), "Engine report");
  std::size_t compared = 0;
  for (const auto& [key, value] : verdict.settings.entries()) {
    if (!jobwick::host::isTicketKey(key)) continue;
    ++compared;
    EXPECT_EQ(kept.value(key), value) << key;
  }
  EXPECT_EQ(compared, ticketEntries(verdict.settings));
}

// A job-ticket entry among the queue's defaults is a print setting the
// panel restores (under the dialog's own), never an option of its own.
TEST_F(EngineTest, QueueDialogStartsFromTheQueuesSavedTicketEntries) {
  JOBWICK_NEED_CUPSD(cupsd);
  SchedulerScope scope(cupsd->server());
  const std::string userName = "jp.co.quivo.print.PrintSettings.userName";
  std::string error;
  ASSERT_TRUE(cupsd->addQueue("Saved7300", source("examples/ppd/vk7300.ppd"), &error)) << error;
  ASSERT_TRUE(cupsd->run("lpadmin -p Saved7300 -o " + userName + "-default=6c7075736572", &error))
      << error;
  DialogSetup base;
  base.prefsDir = prefsDir();
  base.alertListener = [](const platform::Alert&) {};
  auto dialog = PrintDialog::openQueue("Saved7300", base, JOBWICK_BUNDLE_DIR, &error);
  ASSERT_TRUE(dialog) << error;
  ASSERT_TRUE(dialog->setup().initialSettings);
  EXPECT_EQ(dialog->setup().initialSettings->value(userName), "6c7075736572");
  dialog->restore();
  const PrintVerdict verdict = dialog->pressPrint();
  EXPECT_TRUE(verdict.settings.value(userName));

  base.initialSettings.emplace();
  base.initialSettings->setValue(userName, "6f74686572");
  dialog = PrintDialog::openQueue("Saved7300", base, JOBWICK_BUNDLE_DIR, &error);
  ASSERT_TRUE(dialog) << error;
  EXPECT_EQ(dialog->setup().initialSettings->value(userName), "6f74686572");
  dialog.reset();
  EXPECT_TRUE(cupsd->run("lpadmin -x Saved7300", &error)) << error;
}

TEST_F(EngineTest, SessionFromCodeRunsStepsAndPressesPrint) {
  const std::string text = R"({"bundle": "vk7300",
    "printer": {"ppd": ")" +
                           source("examples/ppd/vk7300.ppd").string() +
                           R"(", "id": "CodePrinter"},
    "steps": [{"do": "restore"},
              {"do": "type", "control": "accountNumberEditText", "text": "31337"},
              {"do": "expect", "control": "accountNumberEditText", "text": "31337"}]})";
  std::string error;
  auto script = jobwick::host::parseSessionScript(text, temp().path() / "code.json", {}, &error);
  ASSERT_TRUE(script) << error;
  jobwick::host::SessionOptions options;
  options.prefsDir = prefsDir();
  std::ostringstream out, err;
  jobwick::host::SessionInput direct;
  PrintVerdict verdict;
  const ExitStatus status =
      jobwick::host::runSession(*script, options, {out, err, true, "test"}, direct, &verdict);
  EXPECT_EQ(status, ExitStatus::success) << err.str();
  EXPECT_TRUE(verdict.shouldPrint);
  EXPECT_EQ(verdict.settings.value(std::string(kPrefix) + "accountNumber"), "31337");
  EXPECT_EQ(nlohmann::json::parse(out.str())["ok"], true);

  // A settings file that cannot be read is bad input, reported through the
  // front end's error path (JSON with --json) under its name.
  options.settingsFile = temp().path() / "absent.json";
  std::ostringstream out2, err2;
  EXPECT_EQ(jobwick::host::runSession(*script, options, {out2, err2, true, "test"}, direct),
            ExitStatus::badInput);
  EXPECT_THAT(err2.str(), HasSubstr("jobwick: test: "));
  EXPECT_EQ(nlohmann::json::parse(out2.str())["error"]["kind"], "bad-input");
}

// The user picks another printer and back: each panel restores what the
// one before saved, so entries typed for one model survive the other
// model's panel (a confidential job must not lose its retention).
TEST_F(EngineTest, HandOverKeepsTheEntriesAcrossPrinters) {
  using jobwick::host::PanelWindow;
  struct Field {
    const char* identifier;
    const char* member;
    nlohmann::ordered_json value;
  };
  const Field typed[] = {{"retentionCheckBox", "state", 1},
                         {"suspendKeyEditText", "text", "4321"},
                         {"accountNumberEditText", "text", "999"},
                         {"loginNameEditText", "text", "kato"},
                         {"jobNameEditText", "text", "Minutes"}};
  auto shows = [](const PanelWindow& window, const Field& field) {
    auto control = window.find(field.identifier);
    return control ? window.dumpControl(*control)[field.member] : nlohmann::ordered_json();
  };
  DialogSetup setup = setupFor("vk7300", "vk7300.ppd");
  std::string error;
  auto dialog = PrintDialog::open(setup, &error);
  ASSERT_TRUE(dialog) << error;
  {
    PanelWindow window;
    ASSERT_TRUE(window.attach(dialog->panel()));
    dialog->restore();
    ASSERT_EQ(jobwick::host::clickControl(*window.find("retentionCheckBox")).message, "");
    for (const auto& field : typed) {
      if (field.value.is_string()) {
        auto control = *window.find(field.identifier);
        jobwick::host::clearField(control, window.window());
        jobwick::host::typeInto(control, field.value.get<std::string>(), window.window());
      }
      ASSERT_EQ(shows(window, field), field.value) << field.identifier;
    }
    window.detach();
  }
  for (const auto& [bundle, ppd] : {std::pair{"vk410e", "vk410e.ppd"}, {"vk7300", "vk7300.ppd"}}) {
    SCOPED_TRACE(bundle);
    DialogSetup next = dialog->handOver();
    next.bundle = bundle;
    next.ppd = source(std::string("examples/ppd/") + ppd);
    dialog.reset();
    dialog = PrintDialog::open(next, &error);
    ASSERT_TRUE(dialog) << error;
    PanelWindow window;
    ASSERT_TRUE(window.attach(dialog->panel()));
    dialog->restore();
    for (const auto& field : typed)
      EXPECT_EQ(shows(window, field), field.value) << field.identifier;
    window.detach();
  }
  const PrintVerdict verdict = dialog->pressPrint();
  EXPECT_EQ(verdict.settings.value(std::string(kPrefix) + "jobSuspend"), "2");
  EXPECT_THAT(verdict.settings.value(std::string(kPrefix) + "accountNumber").value_or(""),
              ::testing::EndsWith("999"));
}

TEST_F(EngineTest, SecretsAreTheSecureFieldsMaskedPerUtf16Unit) {
  EXPECT_EQ(jobwick::host::maskedText(""), "");
  // "ab" and one character outside the BMP (two UTF-16 units).
  EXPECT_EQ(jobwick::host::maskedText("ab\xF0\x9F\x98\x80"), "\u2022\u2022\u2022\u2022");
  EXPECT_EQ(jobwick::host::maskedText("\xC3\xA9"), "\u2022");

  std::string error;
  auto dialog = PrintDialog::open(setupFor("vk7300", "vk7300.ppd"), &error);
  ASSERT_TRUE(dialog) << error;
  jobwick::host::PanelWindow window;
  ASSERT_TRUE(window.attach(dialog->panel()));
  for (const char* secret :
       {"suspendKeyEditText", "passwordEditText", "folderPasswordEditText", "userNumberEditText"}) {
    EXPECT_TRUE(jobwick::host::isSecret(window, secret)) << secret;
  }
  for (const char* plain : {"loginNameEditText", "accountNumberEditText", "jobNameEditText",
                            "retentionCheckBox", "noSuchControl"}) {
    EXPECT_FALSE(jobwick::host::isSecret(window, plain)) << plain;
  }
  window.detach();
}

}  // namespace engine_test
}  // namespace hosttest
