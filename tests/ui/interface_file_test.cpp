// SPDX-License-Identifier: Apache-2.0
// The panel as the model's real interface files build it: construction by
// the PPD flags, and the actions working on every loaded control, including
// those on a tab that construction took away.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pde/models/profile.h"
#include "support/harness.h"

namespace jwtest {
namespace {

struct FileCase {
  const char* name;
  std::vector<std::string> ppdLines;
  std::int64_t vk7300Tabs;
  bool vk7300FilingHidden;
  bool vk7300FolderPasswordHidden;
};

class InterfaceFileTest : public ControllerTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(InterfaceFileTest, ConstructsByTheFlagsAndRunsEveryAction) {
  const FileCase& c = GetParam();
  auto jc = makeController(makeHost(c.ppdLines));
  ASSERT_NE(showPanel(*jc), nullptr);
  ASSERT_TRUE(jc->hasInited);
  ASSERT_NE(jc->tabView, nullptr);

  const bool vk7300 = isVk7300();
  EXPECT_EQ(jc->tabView->numberOfTabViewItems(), vk7300 ? c.vk7300Tabs : 3);
  EXPECT_EQ(jc->tabView->indexOfSelectedTabViewItem(), 0);
  ASSERT_NE(jc->filingBox, nullptr);
  EXPECT_EQ(jc->filingBox->isHidden(), vk7300 && c.vk7300FilingHidden);
  ASSERT_NE(jc->folderPasswordEditText, nullptr);
  EXPECT_EQ(jc->folderPasswordEditText->isHidden(), vk7300 && c.vk7300FolderPasswordHidden);
  EXPECT_EQ(jc->printersAddressEditText->stringValue(), "10.0.0.5");

  // Every action, on whatever tab its controls ended up.
  jc->retentionCheckBox->setState(platform::NSOnState);
  jc->retentionCBoxProc(jc->retentionCheckBox);
  if (jc->folderSelectionPopup) {
    jc->folderSelectionPopup->selectItemAtIndex(0);
    jc->folderSelectionPopUpButtonProc(jc->folderSelectionPopup);
  }
  if (jc->folderSelectionMatrix) {
    jc->folderSelectionMatrix->selectCellAtRow(0);
    jc->folderSelectionMatrixProc(jc->folderSelectionMatrix);
  }
  EXPECT_EQ(jc->suspendMatrix->selectedRow(), 1);
  jc->suspendMatrix->selectCellAtRow(0);
  jc->suspendKeyMatrixProc(jc->suspendMatrix);
  jc->authenticationMatrix->selectCellAtRow(1);
  jc->authenticationMatrixProc(jc->authenticationMatrix);
  jc->folderPasswordButton->setState(platform::NSOnState);
  jc->folderPasswordButtonProc(jc->folderPasswordButton);
  jc->retentionCheckBox->setState(platform::NSOffState);
  jc->retentionCBoxProc(jc->retentionCheckBox);
  EXPECT_FALSE(jc->folderPasswordEditText->isEditable());

  // The digit fields take the model's number of digits.
  const std::size_t digits = vk7300 ? 8 : 5;
  jc->authenticationMatrixProc(jc->authenticationMatrix);
  EXPECT_EQ(jc->userNumberEditText->typeText("1234567890"), digits);
}

const FileCase kFileCases[] = {
    {"FilingWithoutPrintSystem", {}, 3, false, false},
    {"NoFiling", {"*ARDocumentFiling: False"}, 2, true, false},
    {"FilingWithPrintSystem", {"*ARQuivoPrintSystem: True"}, 2, false, true},
    {"NoFilingWithPrintSystem",
     {"*ARDocumentFiling: False", "*ARQuivoPrintSystem: True"},
     2,
     true,
     true},
    {"DirectoryAuthentication", {"*ARActiveDirectory: True"}, 3, false, false},
    {"DirectoryAuthenticationWithPrintSystem",
     {"*ARActiveDirectory: True", "*ARQuivoPrintSystem: True"},
     2,
     false,
     true},
};

INSTANTIATE_TEST_SUITE_P(Files, InterfaceFileTest, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jwtest
