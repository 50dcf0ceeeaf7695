// SPDX-License-Identifier: Apache-2.0
// One-time preparation of the panel: texts, filters, icons, model-dependent
// removals, the printer's address.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pde/models/profile.h"
#include "platform/bundle.h"
#include "platform/image.h"
#include "ui/filters.h"
#include "ui/panel_test.h"

namespace jwtest {
namespace {

using ConstructionTest = PanelTest;

TEST_F(ConstructionTest, LocalisesTextsKeepingTheColon) {
  platform::setPreferredLanguagesOverride({"ja"});
  makePanel();
  EXPECT_EQ(jc->holdOnlyRadioButton->title(), "ホールドのみ");
  EXPECT_EQ(jc->suspendKeyStaticText->stringValue(), "パスコード:");
  EXPECT_EQ(jc->tabView->tabViewItemAtIndex(1)->label(), "ユーザー認証");
  EXPECT_EQ(jc->folderSelectionPopup->menu()->itemAtIndex(0)->title(), "クイックファイル");
  EXPECT_EQ(jc->jobIDBox->title(), "ジョブID");
  // Input fields are not localised.
  EXPECT_EQ(jc->printersAddressEditText->stringValue(), "10.0.0.5");
}

struct LimitCase {
  const char* outlet;
  std::int64_t vk7300Limit;
};

TEST_F(ConstructionTest, DigitFieldsStopAtTheModelsLimit) {
  makePanel();
  const std::int64_t passwordMax = jc->getPasswordMax();
  const LimitCase cases[] = {{"suspendKeyEditText", 8},
                             {"folderPasswordEditText", 8},
                             {"userNumberEditText", 8},
                             {"accountNumberEditText", 5}};
  platform::TextField* fields[] = {jc->suspendKeyEditText, jc->folderPasswordEditText,
                                   jc->userNumberEditText, jc->accountNumberEditText};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].outlet);
    const std::int64_t limit = isVk7300() ? cases[i].vk7300Limit : 5;
    if (!isVk7300()) {
      EXPECT_EQ(passwordMax, 5);
    }
    EXPECT_EQ(fields[i]->typeText("123456789012"), std::size_t(limit));
    EXPECT_EQ(fields[i]->typeText("x"), 0u);
    auto* filter = dynamic_cast<MyIntegerNumberFilter*>(fields[i]->formatter());
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->format(), "##0");
  }
}

TEST_F(ConstructionTest, PasswordLoginNameAndPlainFields) {
  makePanel();
  auto* password = dynamic_cast<MyRomanFilter*>(jc->passwordEditText->formatter());
  ASSERT_NE(password, nullptr);
  EXPECT_EQ(password->maxValue, 31);
  auto* login = dynamic_cast<LoginnameInputFilter*>(jc->loginNameEditText->formatter());
  ASSERT_NE(login, nullptr);
  EXPECT_EQ(login->m_context, static_cast<LoginnameInputFilterCallback*>(jc.get()));
  for (auto* field : {jc->userNameEditText, jc->jobNameEditText, jc->folderNameEditText,
                      jc->printersAddressEditText}) {
    EXPECT_EQ(field->formatter(), nullptr);
  }
}

TEST_F(ConstructionTest, LockButtonsShowOpenAndClosedPadlocks) {
  makePanel();
  for (auto* button : {jc->suspendKeyButton, jc->folderPasswordButton, jc->folderNameButton,
                       jc->loginNameButton, jc->passwordButton, jc->userNumberButton,
                       jc->accountNumberButton, jc->userNameButton, jc->jobNameButton}) {
    ASSERT_NE(button->image(), nullptr);
    ASSERT_NE(button->alternateImage(), nullptr);
    EXPECT_EQ(button->image()->name(), "icon:ulck");
    EXPECT_EQ(button->alternateImage()->name(), "icon:lock");
    EXPECT_EQ(button->image()->size(), (platform::Size{18, 18}));
  }
}

TEST_F(ConstructionTest, AddressFromTheDeviceUriAndHiddenIndicator) {
  makePanel();
  EXPECT_EQ(jc->printersAddressEditText->stringValue(), "10.0.0.5");
  EXPECT_TRUE(jc->chasingArrow->isHidden());
  EXPECT_TRUE(jc->hasInited);

  // A device URI without a usable host leaves the interface file's text.
  auto other = makeController(makeHost({}, "Office_MFP", std::string("usb://Quivo/MFP")));
  HandPanel second(*other);
  other->initializeUI();
  EXPECT_EQ(other->printersAddressEditText->stringValue(), "printer.example");
}

TEST_F(ConstructionTest, SecondCallChangesNothing) {
  makePanel();
  platform::Formatter* filter = jc->suspendKeyEditText->formatter();
  jc->suspendKeyStaticText->setStringValue("Pass Code: changed later");
  jc->tabView->tabViewItemAtIndex(0)->setLabel("Tab: later");
  jc->tabView->selectTabViewItemAtIndex(1);
  jc->chasingArrow->setHidden(false);
  jc->printersAddressEditText->setStringValue("typed by the user");
  const auto items = jc->folderSelectionPopup->numberOfItems();
  jc->folderList = FolderList{folder("New")};

  jc->initializeUI();

  EXPECT_EQ(jc->suspendKeyEditText->formatter(), filter);
  EXPECT_EQ(jc->suspendKeyStaticText->stringValue(), "Pass Code: changed later");
  EXPECT_EQ(jc->tabView->tabViewItemAtIndex(0)->label(), "Tab: later");
  EXPECT_EQ(jc->tabView->indexOfSelectedTabViewItem(), 1);
  EXPECT_FALSE(jc->chasingArrow->isHidden());
  EXPECT_EQ(jc->printersAddressEditText->stringValue(), "typed by the user");
  EXPECT_EQ(jc->folderSelectionPopup->numberOfItems(), items);
}

TEST_F(ConstructionTest, MissingControlsAreSkipped) {
  jc = makeController(makeHost());
  jc->initializeUI();  // nothing connected at all
  EXPECT_TRUE(jc->hasInited);

  auto bare = makeController(makeHost({"*ARDocumentFiling: False", "*ARQuivoPrintSystem: True"}));
  HandPanel panelWithout(*bare, {.folderPopup = false, .folderMatrix = false, .tabView = false});
  bare->initializeUI();
  EXPECT_TRUE(bare->hasInited);
}

}  // namespace
}  // namespace jwtest
