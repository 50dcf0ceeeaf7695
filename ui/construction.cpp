// SPDX-License-Identifier: Apache-2.0
// One-time preparation of the loaded panel: localised texts, input filters,
// padlock icons, the folder menu, the controls the printer model lacks, the
// printer's address and the hidden activity indicator. Every step skips a
// control the interface file does not have.
#include <cstdint>
#include <memory>
#include <string>

#include "pde/JC.h"
#include "pde/models/profile.h"
#include "platform/controls.h"
#include "platform/image.h"
#include "platform/trace.h"
#include "ui/filters.h"

namespace {

// Digit limits of the models whose profile has no pass-code maximum.
constexpr std::int64_t kDefaultCodeDigits = 8;
constexpr std::int64_t kDefaultAccountDigits = 5;
constexpr std::int64_t kPasswordCharacters = 31;
constexpr const char kNumberFormat[] = "##0";

// Titled controls: buttons, cells and boxes keep their text as a title.
template <class Titled>
void localizeTitle(JC& jc, Titled* control) {
  if (!control) return;
  if (auto text = jc.localizedStringValue(control)) control->setTitle(std::move(*text));
}

void localizeText(JC& jc, platform::TextField* field) {
  if (!field) return;
  if (auto text = jc.localizedStringValue(field)) field->setStringValue(std::move(*text));
}

void attachDigitsFilter(platform::TextField* field, std::int64_t maxCharacters) {
  if (!field) return;
  auto filter = std::make_unique<MyIntegerNumberFilter>();
  filter->setFormat(kNumberFormat);
  filter->SetmaxCharactersCount(maxCharacters);
  field->setFormatter(std::move(filter));
}

void attachFreeTextFilter(platform::TextField* field, std::int64_t maxCharacters) {
  if (!field) return;
  auto filter = std::make_unique<MyRomanFilter>();
  filter->setFormat(kNumberFormat);
  filter->SetmaxCharactersCount(maxCharacters);
  field->setFormatter(std::move(filter));
}

void attachLoginNameFilter(platform::TextField* field, LoginnameInputFilterCallback* callback) {
  if (!field) return;
  auto filter = std::make_unique<LoginnameInputFilter>();
  filter->setCallback(callback);
  field->setFormatter(std::move(filter));
}

/// Open padlock while the button is off, closed padlock while it is on.
void setLockIcons(platform::Button* button) {
  if (!button) return;
  button->setImage(initWithSystemIconType(platform::fourCharCode("ulck")));
  button->setAlternateImage(initWithSystemIconType(platform::fourCharCode("lock")));
}

void hide(platform::View* view) {
  if (view) view->setHidden(true);
}

}  // namespace

void JC::initializeUI() {
  platform::_PDEProlog(this, "--initializeUI:");
  if (hasInited) {
    platform::_PDEEpilog(this, "--initializeUI:=void");
    return;
  }

  const bool modelFlagsApply = jobwick::kModelProfile.readsPPDModelFlags;
  const std::int64_t passwordMax = getPasswordMax();
  const std::int64_t codeDigits = passwordMax > 0 ? passwordMax : kDefaultCodeDigits;
  const std::int64_t accountDigits = passwordMax > 0 ? passwordMax : kDefaultAccountDigits;

  // Tabs: localise the labels, drop the third tab where the printer has no
  // filing or runs its print system, and start on the first tab.
  if (tabView) {
    const std::int64_t count = tabView->numberOfTabViewItems();
    for (std::int64_t index = 0; index < 3 && index < count; ++index) {
      platform::TabViewItem* item = tabView->tabViewItemAtIndex(index);
      if (!item) continue;
      if (auto label = localizedStringValue(item->label())) item->setLabel(std::move(*label));
    }
    if (modelFlagsApply && count >= 3 && (!document_filing_model || quivo_print_system)) {
      // Outlets may point at controls on the removed tab; the controller
      // keeps the tab alive so that those outlets never dangle.
      std::shared_ptr<platform::TabViewItem> third = tabView->items()[2];
      adoptTopLevelObject(third);
      tabView->removeTabViewItem(third.get());
    }
    tabView->selectFirstTabViewItem();
  }

  // Retention group.
  localizeTitle(*this, retentionCheckBox);
  localizeTitle(*this, suspendBox);
  localizeTitle(*this, holdOnlyRadioButton);
  localizeTitle(*this, holdAfterRadioButton);
  localizeTitle(*this, samplePrintRadioButton);
  localizeText(*this, suspendKeyStaticText);
  attachDigitsFilter(suspendKeyEditText, codeDigits);
  setLockIcons(suspendKeyButton);

  // Controls the printer model lacks.
  if (modelFlagsApply) {
    if (!document_filing_model) hide(filingBox);
    if (quivo_print_system) {
      hide(folderPasswordStaticText);
      hide(folderPasswordEditText);
      hide(folderPasswordButton);
    }
  }

  // Filing group.
  localizeTitle(*this, filingBox);
  localizeText(*this, folderSelectionStaticText);
  makeFolderPopup();
  localizeTitle(*this, quickFileRadioButton);
  localizeTitle(*this, mainFolderRadioButton);
  localizeTitle(*this, customFolderRadioButton);
  localizeText(*this, folderPasswordStaticText);
  attachDigitsFilter(folderPasswordEditText, codeDigits);
  setLockIcons(folderPasswordButton);

  // Authentication.
  localizeTitle(*this, authenticationRadioButton);
  localizeText(*this, loginNameStaticText);
  attachLoginNameFilter(loginNameEditText, this);
  setLockIcons(loginNameButton);

  localizeText(*this, passwordStaticText);
  attachFreeTextFilter(passwordEditText, kPasswordCharacters);
  setLockIcons(passwordButton);

  localizeTitle(*this, userNumberRadioButton);
  attachDigitsFilter(userNumberEditText, codeDigits);
  setLockIcons(userNumberButton);

  localizeText(*this, accountNumberStaticText);
  attachDigitsFilter(accountNumberEditText, accountDigits);
  setLockIcons(accountNumberButton);

  // Job identification: the user-name and job-name fields take any text.
  localizeTitle(*this, jobIDBox);
  localizeText(*this, userNameStaticText);
  setLockIcons(userNameButton);
  localizeText(*this, jobNameStaticText);
  setLockIcons(jobNameButton);

  // Printer address: the device URI's host wins over the interface file.
  localizeText(*this, printersAddressStaticText);
  if (mfpURL && printersAddressEditText) printersAddressEditText->setStringValue(*mfpURL);

  localizeTitle(*this, getFolderNameButton);
  setLockIcons(folderNameButton);

  hide(chasingArrow);

  hasInited = true;
  platform::_PDEEpilog(this, "--initializeUI:=void");
}

void JC::updateUI() {
  platform::_PDEProlog(this, "--updateUI:");
  platform::_PDEEpilog(this, "--updateUI:");
}
