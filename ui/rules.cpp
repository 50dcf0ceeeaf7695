// SPDX-License-Identifier: Apache-2.0
// Enablement rules: each one reads the current state of the controls,
// computes one yes/no answer and applies it to the one control it is named
// after, either by enabling it or by highlighting it as normal or dimmed.
// Nothing is cached; a missing control is skipped.
#include <cstdint>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"
#include "ui/panel_state.h"

namespace jobwick::ui {

bool retentionOn(const JC& jc) {
  return jc.retentionCheckBox && jc.retentionCheckBox->state() != platform::NSOffState;
}

bool quickFile(const JC& jc) {
  if (jc.folderSelectionPopup &&
      jc.folderSelectionPopup->indexOfSelectedItem() == panel::kQuickFileItem) {
    return true;
  }
  return jc.folderSelectionMatrix &&
         jc.folderSelectionMatrix->selectedRow() == panel::kQuickFileRow;
}

bool protectedFolder(const JC& jc) {
  const FolderEntry* entry = panel::selectedFolder(jc);
  return entry && panel::folderIsProtected(*entry);
}

bool customFolderRow(const JC& jc) {
  return jc.folderSelectionMatrix &&
         jc.folderSelectionMatrix->selectedRow() == panel::kCustomFolderRow;
}

bool folderNeedsPassword(const JC& jc) {
  return protectedFolder(jc) || customFolderRow(jc);
}

bool loginMethod(const JC& jc) {
  return selectedRowOf(jc.authenticationMatrix) == 0;
}

}  // namespace jobwick::ui

namespace {

using namespace jobwick::ui;

void enable(platform::Control* control, bool enabled) {
  if (control) control->setEnabled(enabled);
}

void highlight(platform::TextField* field, bool normal) {
  myJCHilite(field, !normal);
}

}  // namespace

// ---- Retention and filing ----

void JC::suspendMatrixEnabled() {
  enable(suspendMatrix, retentionOn(*this));
}

void JC::suspendKeyStaticTextEnabled() {
  highlight(suspendKeyStaticText, retentionOn(*this) && !quickFile(*this));
}

void JC::suspendKeyEditTextEnabled() {
  highlight(suspendKeyEditText,
            retentionOn(*this) && !isLockedOn(suspendKeyButton) && !quickFile(*this));
}

void JC::suspendKeyButtonEnabled() {
  enable(suspendKeyButton, retentionOn(*this) && !quickFile(*this));
}

void JC::folderSelectionStaticTextEnabled() {
  highlight(folderSelectionStaticText, retentionOn(*this));
}

void JC::folderSelectionPopupEnabled() {
  enable(folderSelectionPopup, retentionOn(*this));
}

void JC::folderPasswordStaticTextEnabled() {
  highlight(folderPasswordStaticText, retentionOn(*this) && folderNeedsPassword(*this));
}

void JC::folderPasswordEditTextEnabled() {
  highlight(folderPasswordEditText,
            retentionOn(*this) && !isLockedOn(folderPasswordButton) && folderNeedsPassword(*this));
}

void JC::folderPasswordButtonEnabled() {
  enable(folderPasswordButton, retentionOn(*this) && folderNeedsPassword(*this));
}

void JC::folderSelectionMatrixEnabled() {
  enable(folderSelectionMatrix, retentionOn(*this));
}

void JC::folderNameEditTextEnabled() {
  highlight(folderNameEditText,
            retentionOn(*this) && !isLockedOn(folderNameButton) && customFolderRow(*this));
}

void JC::folderNameButtonEnabled() {
  enable(folderNameButton, retentionOn(*this) && customFolderRow(*this));
}

// ---- Authentication ----

void JC::loginNameStaticTextEnabled() {
  highlight(loginNameStaticText, loginMethod(*this));
}

void JC::loginNameEditTextEnabled() {
  highlight(loginNameEditText, loginMethod(*this) && !isLockedOn(loginNameButton));
}

void JC::loginNameButtonEnabled() {
  enable(loginNameButton, loginMethod(*this));
}

void JC::passwordStaticTextEnabled() {
  highlight(passwordStaticText, loginMethod(*this));
}

void JC::passwordEditTextEnabled() {
  highlight(passwordEditText, loginMethod(*this) && !isLockedOn(passwordButton));
}

void JC::passwordButtonEnabled() {
  enable(passwordButton, loginMethod(*this));
}

void JC::userNumberEditTextEnabled() {
  highlight(userNumberEditText, !loginMethod(*this) && !isLockedOn(userNumberButton));
}

void JC::userNumberButtonEnabled() {
  enable(userNumberButton, !loginMethod(*this));
}

// ---- Job identification ----

void JC::userNameEditTextEnabled() {
  highlight(userNameEditText, !isLockedOn(userNameButton));
}

void JC::jobNameEditTextEnabled() {
  highlight(jobNameEditText, !isLockedOn(jobNameButton));
}

void JC::accountNumberEditTextEnabled() {
  highlight(accountNumberEditText, !isLockedOn(accountNumberButton));
}

// The account-number lock button stays enabled whatever the panel shows.
void JC::accountNumberButtonEnabled() {}
