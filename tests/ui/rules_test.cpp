// SPDX-License-Identifier: Apache-2.0
// The enablement rules over the conditions that decide them. Each case sets
// the deciding controls, runs every rule from an all-available and from an
// all-unavailable start, and lists exactly the governed controls that must
// end up available (enabled buttons/matrices/pop-up, editable input fields,
// black labels).
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ui/panel_test.h"

namespace jwtest {
namespace {

// Hold-button bits of the lock buttons.
enum Lock : unsigned {
  kSuspendKey = 1,
  kLoginName = 2,
  kPassword = 4,
  kUserName = 8,
  kJobName = 16,
  kFolderPassword = 32,
  kUserNumber = 64,
  kAccountNumber = 128,
  kFolderName = 256,
};

struct RuleCase {
  const char* name;
  int retention;            // check-box state
  std::int64_t popup;       // selected item; -1: the panel has no pop-up
  std::int64_t matrix;      // selected row; -1: the panel has no folder matrix
  std::int64_t auth;        // selected row; -1: none selected
  unsigned locks;           // lock buttons that are on
  std::string available;    // governed controls that must be available
  bool listShrunk = false;  // the folder list lost entries after the menu was built
};

void runAllRules(JC& jc) {
  jc.suspendMatrixEnabled();
  jc.suspendKeyStaticTextEnabled();
  jc.suspendKeyEditTextEnabled();
  jc.suspendKeyButtonEnabled();
  jc.folderSelectionStaticTextEnabled();
  jc.folderSelectionPopupEnabled();
  jc.folderPasswordStaticTextEnabled();
  jc.folderPasswordEditTextEnabled();
  jc.folderPasswordButtonEnabled();
  jc.folderSelectionMatrixEnabled();
  jc.folderNameEditTextEnabled();
  jc.folderNameButtonEnabled();
  jc.loginNameStaticTextEnabled();
  jc.loginNameEditTextEnabled();
  jc.loginNameButtonEnabled();
  jc.passwordStaticTextEnabled();
  jc.passwordEditTextEnabled();
  jc.passwordButtonEnabled();
  jc.userNumberEditTextEnabled();
  jc.userNumberButtonEnabled();
  jc.userNameEditTextEnabled();
  jc.jobNameEditTextEnabled();
  jc.accountNumberEditTextEnabled();
  jc.accountNumberButtonEnabled();
}

struct Governed {
  std::string name;
  platform::Control* control;  // enabled or not
  platform::TextField* text;   // editable field or black label
};

std::vector<Governed> governed(JC& jc) {
  std::vector<Governed> all = {
      {"suspendMatrix", jc.suspendMatrix, nullptr},
      {"suspendKeyStaticText", nullptr, jc.suspendKeyStaticText},
      {"suspendKeyEditText", nullptr, jc.suspendKeyEditText},
      {"suspendKeyButton", jc.suspendKeyButton, nullptr},
      {"folderSelectionStaticText", nullptr, jc.folderSelectionStaticText},
      {"folderSelectionPopup", jc.folderSelectionPopup, nullptr},
      {"folderPasswordStaticText", nullptr, jc.folderPasswordStaticText},
      {"folderPasswordEditText", nullptr, jc.folderPasswordEditText},
      {"folderPasswordButton", jc.folderPasswordButton, nullptr},
      {"folderSelectionMatrix", jc.folderSelectionMatrix, nullptr},
      {"folderNameEditText", nullptr, jc.folderNameEditText},
      {"folderNameButton", jc.folderNameButton, nullptr},
      {"loginNameStaticText", nullptr, jc.loginNameStaticText},
      {"loginNameEditText", nullptr, jc.loginNameEditText},
      {"loginNameButton", jc.loginNameButton, nullptr},
      {"passwordStaticText", nullptr, jc.passwordStaticText},
      {"passwordEditText", nullptr, jc.passwordEditText},
      {"passwordButton", jc.passwordButton, nullptr},
      {"userNumberEditText", nullptr, jc.userNumberEditText},
      {"userNumberButton", jc.userNumberButton, nullptr},
      {"userNameEditText", nullptr, jc.userNameEditText},
      {"jobNameEditText", nullptr, jc.jobNameEditText},
      {"accountNumberEditText", nullptr, jc.accountNumberEditText},
  };
  std::erase_if(all, [](const Governed& g) { return !g.control && !g.text; });
  return all;
}

void prime(JC& jc, bool available) {
  for (const Governed& g : governed(jc)) {
    if (g.control) g.control->setEnabled(available);
    if (g.text) {
      g.text->setTextColor(available ? platform::Color::Black : platform::Color::Grey);
      if (g.text->tag() != 0) g.text->setEditable(available);
    }
  }
}

std::set<std::string> availableNow(JC& jc) {
  std::set<std::string> result;
  for (const Governed& g : governed(jc)) {
    bool available = false;
    if (g.control) {
      available = g.control->isEnabled();
    } else if (g.text->tag() != 0) {
      available = g.text->isEditable() && g.text->isSelectable() &&
                  g.text->textColor() == platform::Color::Black;
    } else {
      available = g.text->textColor() == platform::Color::Black;
    }
    if (available) result.insert(g.name);
  }
  return result;
}

std::set<std::string> words(const std::string& text) {
  std::set<std::string> result;
  std::istringstream in(text);
  for (std::string word; in >> word;) result.insert(word);
  return result;
}

class RuleTableTest : public PanelTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(RuleTableTest, GovernedControlsFollowTheirConditions) {
  const RuleCase& c = GetParam();
  makePanel({}, {.folderPopup = c.popup >= 0, .folderMatrix = c.matrix >= 0});
  setFolders({folder("Open", false), folder("Secret", true), folder("Plain", std::nullopt)});
  if (c.listShrunk) jc->folderList = FolderList{folder("Open", false)};

  jc->retentionCheckBox->setState(c.retention);
  if (jc->folderSelectionPopup) jc->folderSelectionPopup->selectItemAtIndex(c.popup);
  if (jc->folderSelectionMatrix) jc->folderSelectionMatrix->selectCellAtRow(c.matrix);
  jc->authenticationMatrix->selectCellAtRow(c.auth);
  const std::pair<unsigned, platform::Button*> locks[] = {
      {kSuspendKey, jc->suspendKeyButton}, {kLoginName, jc->loginNameButton},
      {kPassword, jc->passwordButton},     {kUserName, jc->userNameButton},
      {kJobName, jc->jobNameButton},       {kFolderPassword, jc->folderPasswordButton},
      {kUserNumber, jc->userNumberButton}, {kAccountNumber, jc->accountNumberButton},
      {kFolderName, jc->folderNameButton}};
  for (const auto& [bit, button] : locks) {
    if (button) button->setState(c.locks & bit ? platform::NSOnState : platform::NSOffState);
  }

  const std::set<std::string> expected = words(c.available);
  for (bool start : {true, false}) {
    SCOPED_TRACE(start ? "from all available" : "from all unavailable");
    prime(*jc, start);
    runAllRules(*jc);
    EXPECT_EQ(availableNow(*jc), expected);
  }
  // No rule touches the retention check box or changes a value.
  EXPECT_TRUE(jc->retentionCheckBox->isEnabled());
  EXPECT_EQ(jc->retentionCheckBox->state(), c.retention);
}

#define FILING_CHOICE "suspendMatrix folderSelectionStaticText "
#define POPUP " folderSelectionPopup "
#define MATRIX " folderSelectionMatrix "
#define PASSCODE " suspendKeyStaticText suspendKeyEditText suspendKeyButton "
#define FOLDER_PASSWORD " folderPasswordStaticText folderPasswordEditText folderPasswordButton "
#define FOLDER_NAME " folderNameEditText folderNameButton "
#define LOGIN                                                                  \
  " loginNameStaticText loginNameEditText loginNameButton passwordStaticText " \
  "passwordEditText passwordButton "
#define USER_NUMBER " userNumberEditText userNumberButton "
#define JOB_ID " userNameEditText jobNameEditText accountNumberEditText "

const unsigned kAllLocks = 511;

const RuleCase kRuleCases[] = {
    // Retention off decides alone.
    {"RetentionOffWithProtectedFolderAndCustomRow", 0, 4, 2, 0, 0, LOGIN JOB_ID},
    {"RetentionOffAllLocked", 0, 0, 0, 0, kAllLocks,
     "loginNameStaticText loginNameButton passwordStaticText passwordButton"},
    {"RetentionMixedStateCountsAsOn", -1, 1, 1, 0, 0,
     FILING_CHOICE POPUP MATRIX PASSCODE LOGIN JOB_ID},
    {"MainFolderOnBoth", 1, 1, 1, 0, 0, FILING_CHOICE POPUP MATRIX PASSCODE LOGIN JOB_ID},
    // Quick file on either control excludes the pass code.
    {"QuickFileOnPopup", 1, 0, 1, 0, 0, FILING_CHOICE POPUP MATRIX LOGIN JOB_ID},
    {"QuickFileOnMatrix", 1, 1, 0, 0, 0, FILING_CHOICE POPUP MATRIX LOGIN JOB_ID},
    {"QuickFilePopupOnly", 1, 0, -1, 0, 0, FILING_CHOICE POPUP LOGIN JOB_ID},
    {"QuickFileMatrixOnly", 1, -1, 0, 0, 0, FILING_CHOICE MATRIX LOGIN JOB_ID},
    // Folder password from a protected pop-up folder or the custom row.
    {"ProtectedFolder", 1, 4, 1, 0, 0,
     FILING_CHOICE POPUP MATRIX PASSCODE FOLDER_PASSWORD LOGIN JOB_ID},
    {"UnprotectedFolder", 1, 3, 1, 0, 0, FILING_CHOICE POPUP MATRIX PASSCODE LOGIN JOB_ID},
    {"FolderWithoutPasswordAttribute", 1, 5, 1, 0, 0,
     FILING_CHOICE POPUP MATRIX PASSCODE LOGIN JOB_ID},
    {"FolderIndexBeyondTheList", 1, 5, 1, 0, 0, FILING_CHOICE POPUP MATRIX PASSCODE LOGIN JOB_ID,
     true},
    {"ProtectedFolderWithoutMatrix", 1, 4, -1, 0, 0,
     FILING_CHOICE POPUP PASSCODE FOLDER_PASSWORD LOGIN JOB_ID},
    {"CustomFolderRow", 1, 1, 2, 0, 0,
     FILING_CHOICE POPUP MATRIX PASSCODE FOLDER_PASSWORD FOLDER_NAME LOGIN JOB_ID},
    {"CustomFolderRowWithoutPopup", 1, -1, 2, 0, 0,
     FILING_CHOICE MATRIX PASSCODE FOLDER_PASSWORD FOLDER_NAME LOGIN JOB_ID},
    {"ProtectedFolderAndQuickFileRow", 1, 4, 0, 0, 0,
     FILING_CHOICE POPUP MATRIX FOLDER_PASSWORD LOGIN JOB_ID},
    // Locked fields are dimmed, their lock buttons stay enabled.
    {"CustomRowFieldsLocked", 1, 1, 2, 0, kFolderPassword | kFolderName,
     FILING_CHOICE POPUP MATRIX PASSCODE
     "folderPasswordStaticText folderPasswordButton folderNameButton" LOGIN JOB_ID},
    {"PassCodeLocked", 1, 1, 1, 0, kSuspendKey,
     FILING_CHOICE POPUP MATRIX "suspendKeyStaticText suspendKeyButton" LOGIN JOB_ID},
    {"LoginFieldsLocked", 1, 1, 1, 0, kLoginName | kPassword,
     FILING_CHOICE POPUP MATRIX PASSCODE
     "loginNameStaticText loginNameButton passwordStaticText passwordButton" JOB_ID},
    {"JobIdentificationLocked", 1, 1, 1, 0, kUserName | kJobName | kAccountNumber,
     FILING_CHOICE POPUP MATRIX PASSCODE LOGIN},
    // Authentication method.
    {"UserNumberMethod", 1, 1, 1, 1, 0, FILING_CHOICE POPUP MATRIX PASSCODE USER_NUMBER JOB_ID},
    {"NoAuthenticationSelection", 1, 1, 1, -1, 0,
     FILING_CHOICE POPUP MATRIX PASSCODE USER_NUMBER JOB_ID},
    {"UserNumberLocked", 1, 1, 1, 1, kUserNumber,
     FILING_CHOICE POPUP MATRIX PASSCODE "userNumberButton" JOB_ID},
};

INSTANTIATE_TEST_SUITE_P(Rules, RuleTableTest, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

using RuleFocusTest = PanelTest;

TEST_F(RuleFocusTest, NormalFieldTakesTheFocusDimmedFieldDropsIt) {
  makePanel();
  jc->retentionCheckBox->setState(platform::NSOnState);
  jc->folderSelectionMatrix->selectCellAtRow(2);
  jc->folderNameEditTextEnabled();
  EXPECT_EQ(window->firstResponder(), jc->folderNameEditText);
  jc->folderSelectionMatrix->selectCellAtRow(1);
  jc->folderPasswordStaticTextEnabled();  // a label leaves the focus alone
  EXPECT_EQ(window->firstResponder(), jc->folderNameEditText);
  jc->folderPasswordEditTextEnabled();  // dimmed: nobody keeps the focus
  EXPECT_EQ(window->firstResponder(), nullptr);
}

}  // namespace
}  // namespace jwtest
