// SPDX-License-Identifier: Apache-2.0
// Control actions. Each action ignores its sender and reads the controls it
// is named after; it enforces the fixed combinations (quick file only with
// hold after print), clears entries that no longer apply unless they are
// locked, masks a locked login name, and re-runs the enablement rules in a
// fixed order. The order matters: a normal input field takes the keyboard
// focus and a dimmed one drops it, so the last input field of a run decides
// where the focus ends.
#include <cstdint>
#include <string>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/strings.h"
#include "ui/panel_state.h"

namespace {

using namespace jobwick::ui;

// Retention rows. The folder choices are the panel's (pde/panel_state.h).
constexpr std::int64_t kHoldOnlyRow = 0;
constexpr std::int64_t kHoldAfterPrintRow = 1;
using jobwick::panel::kMainFolderItem;
using jobwick::panel::kMainFolderRow;
using jobwick::panel::kQuickFileItem;
using jobwick::panel::kQuickFileRow;
constexpr std::int64_t kLoginRow = 0;

/// U+2022 BULLET in UTF-8.
constexpr const char kBullet[] = "\xE2\x80\xA2";

/// Rules re-run when retention is switched.
void runRetention(JC& jc) {
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
}

/// Rules re-run when the folder pop-up changes.
void runFolderPopup(JC& jc) {
  jc.suspendKeyStaticTextEnabled();
  jc.suspendKeyEditTextEnabled();
  jc.suspendKeyButtonEnabled();
  jc.folderPasswordStaticTextEnabled();
  jc.folderPasswordEditTextEnabled();
  jc.folderPasswordButtonEnabled();
  jc.folderNameButtonEnabled();
}

/// Rules re-run when the folder matrix changes.
void runFolderMatrix(JC& jc) {
  jc.suspendKeyStaticTextEnabled();
  jc.suspendKeyEditTextEnabled();
  jc.suspendKeyButtonEnabled();
  jc.folderPasswordStaticTextEnabled();
  jc.folderPasswordEditTextEnabled();
  jc.folderPasswordButtonEnabled();
  jc.folderNameEditTextEnabled();
  jc.folderNameButtonEnabled();
}

/// Rules re-run when the authentication method changes.
void runAuthentication(JC& jc) {
  jc.loginNameStaticTextEnabled();
  jc.loginNameEditTextEnabled();
  jc.loginNameButtonEnabled();
  jc.passwordStaticTextEnabled();
  jc.passwordEditTextEnabled();
  jc.passwordButtonEnabled();
  jc.userNumberEditTextEnabled();
  jc.userNumberButtonEnabled();
}

/// Quick file goes only with hold after print: move the retention matrix
/// there and drop an unlocked pass code, which quick file does not use.
void enterQuickFile(JC& jc) {
  if (jc.suspendMatrix && jc.suspendMatrix->selectedRow() != kHoldAfterPrintRow) {
    jc.suspendMatrix->selectCellAtRow(kHoldAfterPrintRow);
  }
  clearUnlessLocked(jc.suspendKeyEditText, jc.suspendKeyButton);
}

/// Leaves quick file for the main folder on whichever folder control shows
/// it, running that control's action.
void leaveQuickFile(JC& jc) {
  if (jc.folderSelectionPopup && jc.folderSelectionPopup->indexOfSelectedItem() == kQuickFileItem) {
    jc.folderSelectionPopup->selectItemAtIndex(kMainFolderItem);
    jc.folderSelectionPopUpButtonProc(jc.folderSelectionPopup);
  }
  if (jc.folderSelectionMatrix && jc.folderSelectionMatrix->selectedRow() == kQuickFileRow) {
    jc.folderSelectionMatrix->selectCellAtRow(kMainFolderRow);
    jc.folderSelectionMatrixProc(jc.folderSelectionMatrix);
  }
}

/// Gives the keyboard focus to `field` when it exists and can be selected.
bool focusIfSelectable(platform::TextField* field) {
  if (!field || !field->isSelectable()) return false;
  if (platform::Window* window = field->window()) window->makeFirstResponder(field);
  return true;
}

std::string bullets(std::size_t count) {
  std::string text;
  text.reserve(count * (sizeof(kBullet) - 1));
  for (std::size_t i = 0; i < count; ++i) text += kBullet;
  return text;
}

}  // namespace

void JC::retentionCBoxProc(platform::Object* /*sender*/) {
  if (!retentionCheckBox) return;
  if (retentionCheckBox->state() != platform::NSOnState) {
    // Retention switched off: back to hold only, and drop what no longer
    // applies unless the user locked it.
    if (suspendMatrix) suspendMatrix->selectCellAtRow(kHoldOnlyRow);
    clearUnlessLocked(suspendKeyEditText, suspendKeyButton);
    leaveQuickFile(*this);
    clearUnlessLocked(folderPasswordEditText, folderPasswordButton);
    clearUnlessLocked(folderNameEditText, folderNameButton);
  }
  runRetention(*this);
}

void JC::suspendKeyMatrixProc(platform::Object* /*sender*/) {
  if (!suspendMatrix || suspendMatrix->selectedRow() == kHoldAfterPrintRow) return;
  // Hold only and sample print do not go with quick file.
  leaveQuickFile(*this);
}

void JC::folderSelectionPopUpButtonProc(platform::Object* /*sender*/) {
  if (!folderSelectionPopup) return;
  if (folderSelectionPopup->indexOfSelectedItem() == kQuickFileItem) enterQuickFile(*this);
  runFolderPopup(*this);
}

void JC::folderSelectionMatrixProc(platform::Object* /*sender*/) {
  if (!folderSelectionMatrix) return;
  const std::int64_t row = folderSelectionMatrix->selectedRow();
  if (row == kQuickFileRow) enterQuickFile(*this);
  if (row == kQuickFileRow || row == kMainFolderRow) {
    // Neither quick file nor the main folder takes a folder name or password.
    clearUnlessLocked(folderPasswordEditText, folderPasswordButton);
    clearUnlessLocked(folderNameEditText, folderNameButton);
  }
  runFolderMatrix(*this);
}

void JC::authenticationMatrixProc(platform::Object* /*sender*/) {
  if (!authenticationMatrix) return;
  runAuthentication(*this);
  if (authenticationMatrix->selectedRow() != kLoginRow) {
    clearUnlessLocked(loginNameEditText, loginNameButton);
    clearUnlessLocked(passwordEditText, passwordButton);
    focusIfSelectable(userNumberEditText);
  } else {
    clearUnlessLocked(userNumberEditText, userNumberButton);
    if (!focusIfSelectable(loginNameEditText)) focusIfSelectable(passwordEditText);
  }
}

void JC::loginNameButtonProc(platform::Object* /*sender*/) {
  if (!loginNameButton) return;
  if (loginNameButton->state() == platform::NSOnState) {
    // Locking: keep the real name and show one bullet per UTF-16 unit. A
    // second lock without an unlock in between keeps the stored name.
    if (!loginNameLockFlag) {
      if (loginNameEditText) {
        const std::string name = loginNameEditText->stringValue();
        keepLockedLoginName(name);
        const std::size_t length = platform::utf16Length(name);
        if (length > 0) loginNameEditText->setStringValue(bullets(length));
      } else {
        keepLockedLoginName(std::nullopt);
      }
    }
  } else {
    // Unlocking: the stored name is dropped and the field starts empty.
    clearField(loginNameEditText);
    forgetLockedLoginName();
  }
  loginNameEditTextEnabled();
}

void JC::suspendKeyButtonProc(platform::Object* /*sender*/) {
  suspendKeyEditTextEnabled();
}

void JC::folderPasswordButtonProc(platform::Object* /*sender*/) {
  folderPasswordEditTextEnabled();
}

void JC::folderNameButtonProc(platform::Object* /*sender*/) {
  folderNameEditTextEnabled();
}

void JC::passwordButtonProc(platform::Object* /*sender*/) {
  passwordEditTextEnabled();
}

void JC::userNumberButtonProc(platform::Object* /*sender*/) {
  userNumberEditTextEnabled();
}

void JC::userNameButtonProc(platform::Object* /*sender*/) {
  userNameEditTextEnabled();
}

void JC::jobNameButtonProc(platform::Object* /*sender*/) {
  jobNameEditTextEnabled();
}

void JC::accountNumberButtonProc(platform::Object* /*sender*/) {
  accountNumberEditTextEnabled();
}

// Actions an interface file may connect that need no response.
void JC::tabProc(platform::Object* /*sender*/) {}
void JC::suspendKeyETextProc(platform::Object* /*sender*/) {}
void JC::folderPasswordETextProc(platform::Object* /*sender*/) {}
void JC::loginNameETextProc(platform::Object* /*sender*/) {}
void JC::passwordETextProc(platform::Object* /*sender*/) {}
void JC::userNumberETextProc(platform::Object* /*sender*/) {}
void JC::userNameETextProc(platform::Object* /*sender*/) {}
void JC::jobNameETextProc(platform::Object* /*sender*/) {}
void JC::accountNumberETextProc(platform::Object* /*sender*/) {}
void JC::printersAddressButtonProc(platform::Object* /*sender*/) {}
