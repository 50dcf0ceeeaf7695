// SPDX-License-Identifier: Apache-2.0
// The print-time check (shouldPrint) and the dialog's summary (summaryInfo),
// on the model's real interface files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/alert.h"
#include "platform/bundle.h"
#include "platform/controls.h"
#include "platform/user_defaults.h"
#include "support/harness.h"
#include "ticket/keys.h"

using jobwick::kModelProfile;

namespace jwtest {
namespace {

const std::vector<std::string> kPrintSystem = {"*ARQuivoPrintSystem: True"};
const std::vector<std::string> kActiveDirectory = {"*ARActiveDirectory: True"};

std::string key(const char* shortName) {
  return std::string(jobwick::ticket::kKeyPrefix) + shortName;
}

class PrintCheckTest : public ControllerTest {
 protected:
  /// A controller with its panel shown and restored from an empty ticket.
  std::shared_ptr<JC> shownPanel(const std::vector<std::string>& ppdLines = {},
                                 const std::string& printerId = "Office_MFP") {
    auto jc = makeController(makeHost(ppdLines, printerId));
    EXPECT_NE(showPanel(*jc), nullptr);
    EXPECT_TRUE(jc->restoreValuesAndReturnError(nullptr));
    return jc;
  }

  /// Every file below the preferences folder with its content.
  std::map<std::string, std::string> preferenceFiles() const {
    std::map<std::string, std::string> files;
    const auto folder = temp->path() / "prefs";
    if (!std::filesystem::exists(folder)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      files[entry.path().string()] = content.str();
    }
    return files;
  }

  static void chooseLoginMethod(JC& jc, bool login) {
    jc.authenticationMatrix->selectCellAtRow(login ? 0 : 1);
    jc.authenticationMatrixProc(jc.authenticationMatrix);
  }

  static void lockLoginName(JC& jc) {
    jc.loginNameButton->setState(platform::NSOnState);
    jc.loginNameButtonProc(jc.loginNameButton);
  }
};

// ---- The authentication check ----

struct CheckCase {
  const char* what;
  bool loginMethod;
  const char* loginName;  // typed into the field
  bool lockLogin;
  bool dropHeldName;  // locked, but the held name is gone
  const char* userNumber;
  bool refused;
};

TEST_F(PrintCheckTest, AuthenticationCheckRefusesAnEmptyMandatoryEntry) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build checks authentication";
  const CheckCase cases[] = {
      {"login method, empty name", true, "", false, false, "", true},
      {"login method, typed name", true, "jdoe", false, false, "", false},
      {"login locked with a held name", true, "jdoe", true, false, "", false},
      {"login locked, nothing held", true, "jdoe", true, true, "", true},
      {"login locked while empty", true, "", true, false, "", true},
      {"user-number method, empty number", false, "jdoe", true, false, "", true},
      {"user-number method with a number", false, "", false, false, "1234", false},
  };
  int printer = 0;
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.what);
    platform::clearShownAlerts();
    // A printer of its own, so that no case sees what another remembered.
    auto jc = shownPanel(kPrintSystem, "Printer_" + std::to_string(++printer));
    ASSERT_TRUE(jc->quivo_print_system);
    chooseLoginMethod(*jc, c.loginMethod);
    jc->loginNameEditText->setStringValue(c.loginName);
    jc->userNumberEditText->setStringValue(c.userNumber);
    if (c.lockLogin) lockLoginName(*jc);
    if (c.dropHeldName) jc->loginNameStringRef.reset();
    const auto before = preferenceFiles();

    EXPECT_EQ(jc->shouldPrint(), !c.refused);
    ASSERT_EQ(platform::shownAlerts().size(), c.refused ? 1u : 0u);
    if (c.refused) {
      const platform::Alert& alert = platform::shownAlerts().front();
      EXPECT_EQ(alert.title, "Information");
      EXPECT_EQ(alert.message,
                "Please confirm the following setting items.\nLogin Name\nUser Number");
      EXPECT_EQ(alert.defaultButton, "OK");
      // Nothing is remembered after a refusal.
      EXPECT_EQ(preferenceFiles(), before);
    } else {
      EXPECT_NE(preferenceFiles(), before);
    }
  }
}

TEST_F(PrintCheckTest, RefusedPrintCanBeConfirmedAfterTheEntryIsFixed) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build checks authentication";
  auto jc = shownPanel(kPrintSystem);
  EXPECT_FALSE(jc->shouldPrint());
  jc->loginNameEditText->setStringValue("jdoe");
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_EQ(platform::shownAlerts().size(), 1u);
}

TEST_F(PrintCheckTest, AlertSpeaksTheUsersLanguage) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build checks authentication";
  platform::setPreferredLanguagesOverride({"ja"});
  auto jc = shownPanel(kPrintSystem);
  EXPECT_FALSE(jc->shouldPrint());
  ASSERT_EQ(platform::shownAlerts().size(), 1u);
  EXPECT_EQ(platform::shownAlerts()[0].title, "\u304a\u77e5\u3089\u305b");
  EXPECT_EQ(platform::shownAlerts()[0].message.find("%@"), std::string::npos);
}

TEST_F(PrintCheckTest, NoCheckWithoutThePrintSystemOrOnTheOtherModel) {
  // Every authentication entry empty.
  for (const auto& lines : {std::vector<std::string>{}, kPrintSystem}) {
    auto jc = shownPanel(lines);
    if (lines.empty() || !isVk7300()) {
      EXPECT_FALSE(jc->quivo_print_system);
    }
    if (jc->quivo_print_system) continue;  // the checked case is above
    chooseLoginMethod(*jc, false);
    EXPECT_TRUE(jc->shouldPrint());
    chooseLoginMethod(*jc, true);
    EXPECT_TRUE(jc->shouldPrint());
  }
  EXPECT_TRUE(platform::shownAlerts().empty());
}

TEST_F(PrintCheckTest, MissingEntryFieldMeansNoCheck) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build checks authentication";
  auto jc = shownPanel(kPrintSystem);
  jc->loginNameEditText = nullptr;
  EXPECT_TRUE(jc->shouldPrint());
  auto jc2 = shownPanel(kPrintSystem);
  chooseLoginMethod(*jc2, false);
  jc2->userNumberEditText = nullptr;
  EXPECT_TRUE(jc2->shouldPrint());
  EXPECT_TRUE(platform::shownAlerts().empty());
}

// ---- Restore, save and the remembered entries ----

TEST_F(PrintCheckTest, RestoresAndSavesOnlyWhenTheHostNeverDid) {
  auto host = makeHost();
  host->settings.setValue(key("jobName"), jobwick::ticket::hexOfBytes("From ticket"));
  auto jc = makeController(host);
  ASSERT_NE(showPanel(*jc), nullptr);

  // The host called neither: the panel is filled from the ticket and the
  // ticket rewritten from the panel.
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_TRUE(jc->callRestoreValuesFunction);
  EXPECT_TRUE(jc->callSaveValuesFunction);
  EXPECT_EQ(jc->jobNameEditText->stringValue(), "From ticket");
  EXPECT_TRUE(host->settings.contains(key("holdButton")));

  // Once both ran, a change in the panel is neither overwritten by a restore
  // nor written by a save.
  jc->jobNameEditText->setStringValue("Changed later");
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_EQ(jc->jobNameEditText->stringValue(), "Changed later");
  EXPECT_EQ(host->settings.value(key("jobName")), jobwick::ticket::hexOfBytes("From ticket"));
}

TEST_F(PrintCheckTest, SavesWhenOnlyTheRestoreRan) {
  auto jc = shownPanel();
  EXPECT_FALSE(jc->callSaveValuesFunction);
  jc->jobNameEditText->setStringValue("Typed");
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_EQ(lastHost->settings.value(key("jobName")), jobwick::ticket::hexOfBytes("Typed"));
}

TEST_F(PrintCheckTest, RemembersTheLockedEntriesAndReloadsThem) {
  auto jc = shownPanel();
  jc->jobNameEditText->setStringValue("Monthly");
  jc->jobNameButton->setState(platform::NSOnState);
  jc->jobNameButtonProc(jc->jobNameButton);
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_EQ(jc->prefHoldButtonFlag, unsigned(jobwick::ticket::kHoldJobName));
  EXPECT_EQ(jc->prefJobNameStringRef, "Monthly");

  // A new dialog for the same printer starts with the remembered name.
  auto next = shownPanel();
  EXPECT_EQ(next->jobNameEditText->stringValue(), "Monthly");
  EXPECT_EQ(next->jobNameButton->state(), platform::NSOnState);
}

TEST_F(PrintCheckTest, NoPrintSettingsStoresNothing) {
  auto host = makeHost();
  host->hasSettings = false;
  auto jc = makeController(host);
  ASSERT_NE(showPanel(*jc), nullptr);
  const auto before = preferenceFiles();
  EXPECT_TRUE(jc->shouldPrint());
  EXPECT_EQ(preferenceFiles(), before);
}

// ---- Summary ----

TEST_F(PrintCheckTest, SummaryBeforeThePanelIsPreparedIsEmpty) {
  auto jc = makeController();
  EXPECT_TRUE(jc->summaryInfo().empty());
}

TEST_F(PrintCheckTest, SummaryListsRetentionFolderModeAndNames) {
  auto jc = shownPanel();
  jc->retentionCheckBox->setState(platform::NSOnState);
  jc->retentionCBoxProc(jc->retentionCheckBox);
  jc->suspendMatrix->selectCellAtRow(1);
  jc->userNameEditText->setStringValue("Jane Doe");
  const std::map<std::string, std::string> expected = {
      {"Retention", "On"},
      {"Folder", "Main Folder"},
      {"Retention Mode", "Hold After Print"},
      {"User Name", "Jane Doe"},
      {"Job Name", "Quarterly Report"},
  };
  EXPECT_EQ(jc->summaryInfo(), expected);

  jc->retentionCheckBox->setState(platform::NSOffState);
  const std::map<std::string, std::string> off = {
      {"Retention", "Off"}, {"User Name", "Jane Doe"}, {"Job Name", "Quarterly Report"}};
  EXPECT_EQ(jc->summaryInfo(), off);
}

TEST_F(PrintCheckTest, SummaryInTheUsersLanguage) {
  platform::setPreferredLanguagesOverride({"ja"});
  auto jc = shownPanel();
  const auto summary = jc->summaryInfo();
  EXPECT_EQ(summary.at("\u30ea\u30c6\u30f3\u30b7\u30e7\u30f3"), "\u30aa\u30d5");  // Retention: Off
  EXPECT_EQ(summary.at("\u30b8\u30e7\u30d6\u540d"), "Quarterly Report");          // Job Name
}

TEST_F(PrintCheckTest, SummaryKeysLoseOnlyTheirOuterColons) {
  auto jc = shownPanel();
  jc->userNameStaticText->setStringValue("Owner : name:");
  jc->jobNameStaticText->setStringValue(":Job:Title::");
  const auto summary = jc->summaryInfo();
  EXPECT_EQ(summary.count("Owner : name"), 1u);
  EXPECT_EQ(summary.count("Job:Title"), 1u);
}

TEST_F(PrintCheckTest, SummaryLeavesOutEntriesWithoutACaption) {
  auto jc = shownPanel();
  jc->retentionCheckBox->setState(platform::NSOnState);
  jc->folderSelectionStaticText = nullptr;
  jc->suspendBox = nullptr;
  jc->userNameStaticText = nullptr;
  const std::map<std::string, std::string> expected = {{"Retention", "On"},
                                                       {"Job Name", "Quarterly Report"}};
  EXPECT_EQ(jc->summaryInfo(), expected);
}

TEST_F(PrintCheckTest, SummaryOfTheActiveDirectoryPanelHasOnlyTheJobName) {
  if (!isVk7300()) GTEST_SKIP() << "only the vk7300 build reads the active-directory flag";
  auto jc = shownPanel(kActiveDirectory);
  ASSERT_TRUE(jc->active_directory);
  const std::map<std::string, std::string> expected = {{"Job Name", "Quarterly Report"}};
  EXPECT_EQ(jc->summaryInfo(), expected);
}

}  // namespace
}  // namespace jwtest
