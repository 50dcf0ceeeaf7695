// SPDX-License-Identifier: Apache-2.0
// Control actions: the fixed combinations, the clearing of unlocked
// entries, the login-name lock and where the keyboard focus ends.
#include <gtest/gtest.h>

#include <string>

#include "ui/panel_test.h"

namespace jwtest {
namespace {

constexpr const char kBullet[] = "\xE2\x80\xA2";

std::string bullets(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += kBullet;
  return s;
}

class ActionsTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    makePanel();
    setFolders({folder("Open", false), folder("Secret", true)});
    jc->retentionCheckBox->setState(platform::NSOnState);
    jc->suspendKeyEditText->setStringValue("1111");
    jc->folderPasswordEditText->setStringValue("2222");
    jc->folderNameEditText->setStringValue("Box");
    jc->loginNameEditText->setStringValue("jdoe");
    jc->passwordEditText->setStringValue("secret");
    jc->userNumberEditText->setStringValue("3333");
  }

  void lock(platform::Button* button, bool on = true) {
    button->setState(on ? platform::NSOnState : platform::NSOffState);
  }
};

// ---- Retention check box ----

class RetentionOffTest : public ActionsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RetentionOffTest, ClearsOnlyUnlockedEntries) {
  const bool locked = GetParam();
  for (auto* b : {jc->suspendKeyButton, jc->folderPasswordButton, jc->folderNameButton}) {
    lock(b, locked);
  }
  jc->suspendMatrix->selectCellAtRow(2);
  jc->folderSelectionMatrix->selectCellAtRow(2);
  jc->retentionCheckBox->setState(platform::NSOffState);
  jc->retentionCBoxProc(jc->retentionCheckBox);

  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 0);
  EXPECT_EQ(jc->suspendKeyEditText->stringValue(), locked ? "1111" : "");
  EXPECT_EQ(jc->folderPasswordEditText->stringValue(), locked ? "2222" : "");
  EXPECT_EQ(jc->folderNameEditText->stringValue(), locked ? "Box" : "");
  // Values of other groups are never touched.
  EXPECT_EQ(jc->loginNameEditText->stringValue(), "jdoe");
  // Everything of the retention group is dimmed or disabled; focus is gone.
  EXPECT_FALSE(jc->suspendMatrix->isEnabled());
  EXPECT_FALSE(jc->suspendKeyEditText->isEditable());
  EXPECT_FALSE(jc->folderNameButton->isEnabled());
  EXPECT_EQ(window->firstResponder(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Locks, RetentionOffTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Locked" : "Unlocked"; });

TEST_F(ActionsTest, RetentionOffLeavesQuickFileForTheMainFolder) {
  jc->suspendMatrix->selectCellAtRow(1);
  jc->folderSelectionPopup->selectItemAtIndex(0);
  jc->folderSelectionMatrix->selectCellAtRow(0);
  jc->retentionCheckBox->setState(platform::NSOffState);
  jc->retentionCBoxProc(nullptr);
  EXPECT_EQ(jc->folderSelectionPopup->indexOfSelectedItem(), 1);
  EXPECT_EQ(jc->folderSelectionMatrix->selectedRow(), 1);
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 0);
}

TEST_F(ActionsTest, RetentionOnChangesNoValueAndFocusEndsOnTheLastNormalField) {
  jc->suspendMatrix->selectCellAtRow(2);
  jc->folderSelectionPopup->selectItemAtIndex(4);
  jc->folderSelectionMatrix->selectCellAtRow(2);
  jc->retentionCBoxProc(nullptr);
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 2);
  EXPECT_EQ(jc->folderSelectionPopup->indexOfSelectedItem(), 4);
  EXPECT_EQ(jc->folderSelectionMatrix->selectedRow(), 2);
  EXPECT_EQ(jc->suspendKeyEditText->stringValue(), "1111");
  EXPECT_EQ(jc->folderPasswordEditText->stringValue(), "2222");
  EXPECT_EQ(jc->folderNameEditText->stringValue(), "Box");
  EXPECT_TRUE(jc->folderNameEditText->isEditable());
  EXPECT_EQ(window->firstResponder(), jc->folderNameEditText);

  // With the folder name locked the run ends on a dimmed field: no focus.
  lock(jc->folderNameButton);
  jc->retentionCBoxProc(nullptr);
  EXPECT_EQ(window->firstResponder(), nullptr);
}

TEST_F(ActionsTest, MissingCheckBoxDoesNothing) {
  jc->retentionCheckBox = nullptr;
  jc->suspendMatrix->selectCellAtRow(2);
  jc->retentionCBoxProc(nullptr);
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 2);
  EXPECT_EQ(jc->suspendKeyEditText->stringValue(), "1111");
}

// ---- Quick file and the retention mode ----

struct QuickFileCase {
  const char* name;
  bool viaPopup;
  std::int64_t retentionRow;
  bool passCodeLocked;
};

class QuickFileTest : public ActionsTest, public ::testing::WithParamInterface<QuickFileCase> {};

TEST_P(QuickFileTest, GoesWithHoldAfterPrintAndDropsAnUnlockedPassCode) {
  const QuickFileCase& c = GetParam();
  jc->suspendMatrix->selectCellAtRow(c.retentionRow);
  lock(jc->suspendKeyButton, c.passCodeLocked);
  if (c.viaPopup) {
    jc->folderSelectionPopup->selectItemAtIndex(0);
    jc->folderSelectionPopUpButtonProc(nullptr);
  } else {
    jc->folderSelectionMatrix->selectCellAtRow(0);
    jc->folderSelectionMatrixProc(nullptr);
  }
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 1);
  EXPECT_EQ(jc->suspendKeyEditText->stringValue(), c.passCodeLocked ? "1111" : "");
  EXPECT_FALSE(jc->suspendKeyEditText->isEditable());
  EXPECT_FALSE(jc->suspendKeyButton->isEnabled());
  // Only the matrix drops the folder password and name with quick file.
  EXPECT_EQ(jc->folderPasswordEditText->stringValue(), c.viaPopup ? "2222" : "");
  EXPECT_EQ(jc->folderNameEditText->stringValue(), c.viaPopup ? "Box" : "");
}

const QuickFileCase kQuickFileCases[] = {
    {"PopupFromHoldOnly", true, 0, false},       {"PopupFromSamplePrint", true, 2, false},
    {"PopupAlreadyHoldAfter", true, 1, false},   {"PopupPassCodeLocked", true, 0, true},
    {"MatrixFromHoldOnly", false, 0, false},     {"MatrixFromSamplePrint", false, 2, false},
    {"MatrixAlreadyHoldAfter", false, 1, false}, {"MatrixPassCodeLocked", false, 2, true},
};

INSTANTIATE_TEST_SUITE_P(QuickFile, QuickFileTest, ::testing::ValuesIn(kQuickFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct RetentionModeCase {
  const char* name;
  std::int64_t row;
  bool leavesQuickFile;
};

class RetentionModeTest : public ActionsTest,
                          public ::testing::WithParamInterface<RetentionModeCase> {};

TEST_P(RetentionModeTest, OnlyHoldAfterPrintKeepsQuickFile) {
  jc->folderSelectionPopup->selectItemAtIndex(0);
  jc->folderSelectionMatrix->selectCellAtRow(0);
  jc->suspendMatrix->selectCellAtRow(GetParam().row);
  jc->suspendKeyMatrixProc(nullptr);
  const std::int64_t expected = GetParam().leavesQuickFile ? 1 : 0;
  EXPECT_EQ(jc->folderSelectionPopup->indexOfSelectedItem(), expected);
  EXPECT_EQ(jc->folderSelectionMatrix->selectedRow(), expected);
  // The retention mode the user chose stays.
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), GetParam().row);
}

const RetentionModeCase kRetentionModeCases[] = {
    {"HoldOnly", 0, true}, {"HoldAfterPrint", 1, false}, {"SamplePrint", 2, true}};

INSTANTIATE_TEST_SUITE_P(Modes, RetentionModeTest, ::testing::ValuesIn(kRetentionModeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Folder choices ----

TEST_F(ActionsTest, FolderMatrixRowsClearOnlyWhatTheyDoNotUse) {
  struct Case {
    std::int64_t row;
    bool cleared;
  };
  for (const Case& c : {Case{1, true}, Case{2, false}}) {
    SCOPED_TRACE(c.row);
    jc->folderPasswordEditText->setStringValue("2222");
    jc->folderNameEditText->setStringValue("Box");
    jc->folderSelectionMatrix->selectCellAtRow(c.row);
    jc->folderSelectionMatrixProc(nullptr);
    EXPECT_EQ(jc->folderPasswordEditText->stringValue(), c.cleared ? "" : "2222");
    EXPECT_EQ(jc->folderNameEditText->stringValue(), c.cleared ? "" : "Box");
  }
  // Locked entries survive the main folder.
  lock(jc->folderPasswordButton);
  lock(jc->folderNameButton);
  jc->folderSelectionMatrix->selectCellAtRow(1);
  jc->folderSelectionMatrixProc(nullptr);
  EXPECT_EQ(jc->folderPasswordEditText->stringValue(), "2222");
  EXPECT_EQ(jc->folderNameEditText->stringValue(), "Box");
}

TEST_F(ActionsTest, PopupFolderChoicesNeverClearTheFolderPassword) {
  for (std::int64_t index : {1, 3, 4}) {
    jc->folderSelectionPopup->selectItemAtIndex(index);
    jc->folderSelectionPopUpButtonProc(nullptr);
    EXPECT_EQ(jc->folderPasswordEditText->stringValue(), "2222");
  }
  // The protected folder leaves the folder-password field normal, and the
  // run ends on it (the matrix is on the main folder, so no folder name).
  EXPECT_TRUE(jc->folderPasswordEditText->isEditable());
  EXPECT_EQ(window->firstResponder(), jc->folderPasswordEditText);
}

TEST_F(ActionsTest, FolderActionsWithoutTheirControlDoNothing) {
  jc->folderSelectionMatrix = nullptr;
  jc->folderSelectionMatrixProc(nullptr);
  jc->folderSelectionPopup = nullptr;
  jc->folderSelectionPopUpButtonProc(nullptr);
  jc->suspendMatrix->selectCellAtRow(0);
  jc->suspendKeyMatrixProc(nullptr);
  EXPECT_EQ(jc->suspendKeyEditText->stringValue(), "1111");
  EXPECT_EQ(jc->folderPasswordEditText->stringValue(), "2222");
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 0);
}

// ---- Authentication ----

struct AuthCase {
  const char* name;
  std::int64_t row;
  unsigned locked;  // 1 login name, 2 password, 4 user number
  const char* login;
  const char* password;
  const char* userNumber;
  const char* focus;  // outlet name or "" for none
};

class AuthenticationTest : public ActionsTest, public ::testing::WithParamInterface<AuthCase> {};

TEST_P(AuthenticationTest, ClearsTheOtherMethodAndMovesTheFocus) {
  const AuthCase& c = GetParam();
  lock(jc->loginNameButton, c.locked & 1);
  lock(jc->passwordButton, c.locked & 2);
  lock(jc->userNumberButton, c.locked & 4);
  window->makeFirstResponder(jc->jobNameEditText);
  jc->authenticationMatrix->selectCellAtRow(c.row);
  jc->authenticationMatrixProc(nullptr);

  EXPECT_EQ(jc->loginNameEditText->stringValue(), c.login);
  EXPECT_EQ(jc->passwordEditText->stringValue(), c.password);
  EXPECT_EQ(jc->userNumberEditText->stringValue(), c.userNumber);
  const std::string focus = c.focus;
  platform::View* expected = focus == "loginNameEditText"    ? jc->loginNameEditText
                             : focus == "passwordEditText"   ? jc->passwordEditText
                             : focus == "userNumberEditText" ? jc->userNumberEditText
                                                             : nullptr;
  EXPECT_EQ(window->firstResponder(), expected);
}

const AuthCase kAuthCases[] = {
    {"ToUserNumber", 1, 0, "", "", "3333", "userNumberEditText"},
    {"ToUserNumberLoginLocked", 1, 1 | 2, "jdoe", "secret", "3333", "userNumberEditText"},
    {"ToUserNumberItselfLocked", 1, 4, "", "", "3333", ""},
    {"NoSelectionIsUserNumber", -1, 0, "", "", "3333", "userNumberEditText"},
    {"ToLogin", 0, 0, "jdoe", "secret", "", "loginNameEditText"},
    {"ToLoginNameLocked", 0, 1, "jdoe", "secret", "", "passwordEditText"},
    {"ToLoginBothLocked", 0, 1 | 2, "jdoe", "secret", "", ""},
    {"ToLoginUserNumberLocked", 0, 4, "jdoe", "secret", "3333", "loginNameEditText"},
};

INSTANTIATE_TEST_SUITE_P(Methods, AuthenticationTest, ::testing::ValuesIn(kAuthCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Login-name lock ----

TEST_F(ActionsTest, LockingMasksOneBulletPerUtf16Unit) {
  struct Case {
    const char* name;
    int bulletCount;
  };
  const Case cases[] = {{"jdoe5", 5}, {"\xE5\xB1\xB1\xE7\x94\xB0", 2}, {"a\xF0\x9F\x98\x80", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lock(jc->loginNameButton, false);
    jc->loginNameButtonProc(nullptr);
    jc->loginNameEditText->setStringValue(c.name);
    lock(jc->loginNameButton);
    jc->loginNameButtonProc(nullptr);
    EXPECT_EQ(jc->loginNameEditText->stringValue(), bullets(c.bulletCount));
    EXPECT_EQ(jc->loginNameStringRef, std::optional<std::string>(c.name));
    EXPECT_TRUE(jc->loginNameLockFlag);
    EXPECT_FALSE(jc->loginNameEditText->isEditable());
  }
}

TEST_F(ActionsTest, LockingAnEmptyNameSetsTheFlagOnly) {
  jc->loginNameEditText->setStringValue("");
  lock(jc->loginNameButton);
  jc->loginNameButtonProc(nullptr);
  EXPECT_EQ(jc->loginNameEditText->stringValue(), "");
  EXPECT_TRUE(jc->loginNameLockFlag);
  EXPECT_EQ(jc->loginNameStringRef, std::optional<std::string>(""));
}

TEST_F(ActionsTest, RelockWithoutUnlockKeepsTheStoredName) {
  lock(jc->loginNameButton);
  jc->loginNameButtonProc(nullptr);
  jc->loginNameButtonProc(nullptr);
  EXPECT_EQ(jc->loginNameStringRef, std::optional<std::string>("jdoe"));
  EXPECT_EQ(jc->loginNameEditText->stringValue(), bullets(4));
}

TEST_F(ActionsTest, UnlockingEmptiesTheField) {
  lock(jc->loginNameButton);
  jc->loginNameButtonProc(nullptr);
  lock(jc->loginNameButton, false);
  jc->loginNameButtonProc(nullptr);
  EXPECT_EQ(jc->loginNameEditText->stringValue(), "");
  EXPECT_FALSE(jc->loginNameStringRef.has_value());
  EXPECT_FALSE(jc->loginNameLockFlag);
  EXPECT_TRUE(jc->loginNameEditText->isEditable());
  EXPECT_EQ(window->firstResponder(), jc->loginNameEditText);
}

TEST_F(ActionsTest, UnlockedLoginNameStaysDimmedUnderTheUserNumberMethod) {
  jc->authenticationMatrix->selectCellAtRow(1);
  jc->loginNameButtonProc(nullptr);  // unlocking under the user-number method
  EXPECT_FALSE(jc->loginNameEditText->isEditable());
}

// ---- Lock buttons and inert actions ----

TEST_F(ActionsTest, LockButtonsOnlyDimTheirField) {
  struct Pair {
    platform::Button* button;
    platform::TextField* field;
    void (JC::*action)(platform::Object*);
  };
  jc->folderSelectionMatrix->selectCellAtRow(2);
  const Pair pairs[] = {
      {jc->suspendKeyButton, jc->suspendKeyEditText, &JC::suspendKeyButtonProc},
      {jc->folderPasswordButton, jc->folderPasswordEditText, &JC::folderPasswordButtonProc},
      {jc->folderNameButton, jc->folderNameEditText, &JC::folderNameButtonProc},
      {jc->passwordButton, jc->passwordEditText, &JC::passwordButtonProc},
      {jc->userNameButton, jc->userNameEditText, &JC::userNameButtonProc},
      {jc->jobNameButton, jc->jobNameEditText, &JC::jobNameButtonProc},
      {jc->accountNumberButton, jc->accountNumberEditText, &JC::accountNumberButtonProc},
  };
  for (const Pair& p : pairs) {
    const std::string before = p.field->stringValue();
    lock(p.button);
    ((*jc).*p.action)(p.button);
    EXPECT_FALSE(p.field->isEditable());
    EXPECT_EQ(p.field->stringValue(), before);
    lock(p.button, false);
    ((*jc).*p.action)(p.button);
    EXPECT_TRUE(p.field->isEditable());
    EXPECT_EQ(window->firstResponder(), p.field);
  }
  // The user-number lock acts under the user-number method.
  jc->authenticationMatrix->selectCellAtRow(1);
  lock(jc->userNumberButton);
  jc->userNumberButtonProc(nullptr);
  EXPECT_FALSE(jc->userNumberEditText->isEditable());
  EXPECT_EQ(jc->userNumberEditText->stringValue(), "3333");
}

}  // namespace
}  // namespace jwtest
