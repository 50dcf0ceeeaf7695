// SPDX-License-Identifier: Apache-2.0
// Construction of the panel controller from real PPD files read by libcups,
// the host protocol around it, and the model queries.
#include <gtest/gtest.h>

#include "pde/JC.h"
#include "pde/plugin_bundle.h"
#include "platform/bundle.h"
#include "platform/encoding.h"
#include "support/harness.h"

using jobwick::kModelProfile;

namespace jwtest {
namespace {

class ConstructionTest : public ControllerTest {};

struct FlagCase {
  std::vector<std::string> lines;
  bool filing, printSystem, directory;
};

TEST_F(ConstructionTest, PPDModelFlagsFollowTheKeywordValues) {
  const std::vector<FlagCase> cases = {
      {{}, true, false, false},
      {{"*ARDocumentFiling: False"}, false, false, false},
      {{"*ARDocumentFiling: TRUE"}, true, false, false},
      {{"*ARDocumentFiling: True"}, true, false, false},
      {{"*ARDocumentFiling: yes"}, false, false, false},
      {{"*ARQuivoPrintSystem: True"}, true, true, false},
      {{"*ARQuivoPrintSystem: Maybe"}, true, true, false},
      {{"*ARQuivoPrintSystem: \"\""}, true, true, false},
      {{"*ARQuivoPrintSystem: FALSE"}, true, false, false},
      {{"*ARQuivoPrintSystem: False"}, true, false, false},
      {{"*ARActiveDirectory: True"}, true, false, true},
      {{"*ARActiveDirectory: TRUE"}, true, false, true},
      {{"*ARActiveDirectory: true"}, true, false, false},
      {{"*ARActiveDirectory: False"}, true, false, false},
      {{"*ARActiveDirectory: \"\""}, true, false, false},
      {{"*ARDocumentFiling: False", "*ARQuivoPrintSystem: True", "*ARActiveDirectory: True"},
       false,
       true,
       true},
  };
  for (const auto& c : cases) {
    auto jc = makeController(makeHost(c.lines));
    const std::string label = c.lines.empty() ? "(none)" : c.lines.front();
    if (isVk7300()) {
      EXPECT_EQ(jc->document_filing_model, c.filing) << label;
      EXPECT_EQ(jc->quivo_print_system, c.printSystem) << label;
      EXPECT_EQ(jc->active_directory, c.directory) << label;
      EXPECT_EQ(jc->getUIMode(), c.directory ? 5 : 4) << label;
    } else {
      // This model reads no PPD flags: the defaults stand whatever the PPD says.
      EXPECT_TRUE(jc->document_filing_model) << label;
      EXPECT_FALSE(jc->quivo_print_system) << label;
      EXPECT_FALSE(jc->active_directory) << label;
      EXPECT_EQ(jc->getUIMode(), 1) << label;
    }
  }
}

TEST_F(ConstructionTest, InterfaceModeFollowsTheDirectoryFlagAtEachCall) {
  auto jc = makeController();
  const auto before = jc->getUIMode();
  jc->active_directory = true;
  EXPECT_EQ(jc->getUIMode(), isVk7300() ? 5 : 1);
  jc->active_directory = false;
  EXPECT_EQ(jc->getUIMode(), before);
}

TEST_F(ConstructionTest, EncodingOfThePPDTexts) {
  const std::vector<std::pair<std::string, platform::NSStringEncoding>> cases = {
      {"ISOLatin1", 5}, {"WindowsANSI", 12}, {"JIS83-RKSJ", 8},   {"UTF-8", 4},
      {"UTF8", 4},      {"utf-8", 30},       {"MacStandard", 30}, {"", 30},
  };
  for (const auto& [name, expected] : cases) {
    auto path = writeFile(temp->path(), "enc.ppd", ppdText("Quivo vk7300", {}, name));
    auto ppd = platform::openPPD(path.string());
    ASSERT_TRUE(ppd) << name;
    EXPECT_EQ(getEncodingFromPPD(ppd.get()), expected) << name;
  }
  EXPECT_EQ(getEncodingFromPPD(nullptr), 30u);
}

TEST_F(ConstructionTest, ModelNameIsDecodedWithThePPDEncoding) {
  auto host = std::make_shared<FakeHost>();
  auto path = writeFile(temp->path(), "latin.ppd", ppdText("Quivo B\xE9ta", {}, "ISOLatin1"));
  host->ppd = platform::openPPD(path.string());
  ASSERT_TRUE(host->ppd);
  host->session.emplace(platform::Printer("P", std::nullopt));
  auto jc = makeController(host);
  ASSERT_TRUE(jc->modelStringRef);
  EXPECT_EQ(*jc->modelStringRef, "Quivo B\xC3\xA9ta");
  EXPECT_EQ(jc->ppdEncoding, 5u);
}

TEST_F(ConstructionTest, PrinterAddressComesOnlyFromIppLpdAndSocketURIs) {
  const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> cases = {
      {"ipp://10.0.0.5:631/ipp/print", "10.0.0.5"},
      {"lpd://10.0.0.5/queue", "10.0.0.5"},
      {"socket://10.0.0.5:9100", "10.0.0.5"},
      {"socket://mfp.example.lan", "mfp.example.lan"},
      {"http://10.0.0.5/ipp", std::nullopt},
      {"ipps://10.0.0.5/ipp/print", std::nullopt},
      {"IPP://10.0.0.5/ipp/print", std::nullopt},
      {"usb://Quivo/vk7300", std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& [uri, expected] : cases) {
    auto jc = makeController(makeHost({}, "Office_MFP", uri));
    EXPECT_EQ(jc->mfpURL, expected) << uri.value_or("(no uri)");
  }
}

TEST_F(ConstructionTest, PreferenceDomainIsNamedAfterThePrinter) {
  auto jc = makeController(makeHost({}, "Office_MFP"));
  EXPECT_EQ(jc->preferenceName, "jp.co.quivo.mfp.Office_MFP");
}

TEST_F(ConstructionTest, NoCurrentPrinterMeansNoPreferenceDomain) {
  auto host = makeHost();
  host->hasSession = false;
  auto jc = makeController(host);
  EXPECT_FALSE(jc->preferenceName);
  EXPECT_FALSE(jc->mfpURL);
  EXPECT_TRUE(jc->modelStringRef);
}

TEST_F(ConstructionTest, HostWithoutConstraintHandlingGivesNoPPD) {
  auto host = makeHost({"*ARDocumentFiling: False", "*ARActiveDirectory: True"});
  host->constraintHandling = false;
  auto jc = makeController(host);
  EXPECT_FALSE(jc->useConstraintHandling);
  EXPECT_EQ(jc->ppd, nullptr);
  EXPECT_FALSE(jc->preferenceName);
  EXPECT_FALSE(jc->modelStringRef);
  EXPECT_FALSE(jc->mfpURL);
  EXPECT_FALSE(jc->requestData);
  EXPECT_TRUE(jc->document_filing_model);
  EXPECT_FALSE(jc->active_directory);
  EXPECT_EQ(jc->systemEncoding, platform::NSMacOSRomanStringEncoding);
  EXPECT_TRUE(jc->spaceImage);

  // Restore and save still answer YES and run without a PPD.
  EXPECT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_TRUE(jc->saveValuesAndReturnError(nullptr));
}

TEST_F(ConstructionTest, SystemEncodingFollowsThePlatform) {
  platform::setSystemEncodingOverride(platform::kCFStringEncodingMacJapanese);
  auto jc = makeController();
  EXPECT_EQ(jc->systemEncoding, 0x80000001u);
}

TEST_F(ConstructionTest, ResourcesAreReadFromTheBundle) {
  auto jc = makeController();
  ASSERT_TRUE(jc->pdeBundle);
  EXPECT_TRUE(jc->spaceImage);
}

TEST_F(ConstructionTest, OnlyThePrintDialogPanelTypeGetsAPanel) {
  JCPDEPlugIn plugin;
  EXPECT_TRUE(plugin.initWithBundle(nullptr));
  auto host = makeHost();
  auto none = plugin.PDEPanelsForType("9F3D8A10-0000-0000-0000-000000000000", host);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  auto lower = plugin.PDEPanelsForType("bdb091f4-e57f-11d3-b5cc-0050e4603277", host);
  ASSERT_TRUE(lower);
  EXPECT_TRUE(lower->empty());
  auto panels = plugin.PDEPanelsForType(platform::kPrintDialogPanelType, host);
  ASSERT_TRUE(panels);
  ASSERT_EQ(panels->size(), 1u);
  EXPECT_EQ((*panels)[0]->panelKind(), kModelProfile.panelKind);
}

TEST_F(ConstructionTest, HostProtocolConstants) {
  auto jc = makeController();
  EXPECT_EQ(jc->panelName(), isVk7300() ? "Job Handling" : "Jobwick");
  EXPECT_EQ(jc->panelName(), jc->panelName());
  EXPECT_EQ(jc->panelNameLookups, 1);
  EXPECT_EQ(jc->panelKind(), isVk7300() ? "jp.co.quivo.print.pde.vk7300.JobwickKind"
                                        : "jp.co.quivo.print.pde.vk410e.JobwickKind");
  EXPECT_TRUE(jc->supportedPPDOptionKeys().empty());
  EXPECT_TRUE(jc->shouldHide());
  EXPECT_TRUE(jc->shouldShowHelp());
  EXPECT_EQ(jc->CheckHardDisk(), isVk7300());
  EXPECT_EQ(jc->getPasswordMax(), isVk7300() ? 0 : 5);
}

TEST_F(ConstructionTest, RestoreBeforePanelViewLoadsTheViewOnceAndKeepsIt) {
  auto jc = makeController();
  ASSERT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_TRUE(jc->isPanelViewRetain);
  ASSERT_NE(jc->panelViewOutlet, nullptr);
  EXPECT_TRUE(jc->panelViewReference);
  EXPECT_TRUE(jc->callRestoreValuesFunction);
  const auto loaded = jc->topLevelObjects().size();
  platform::View* view = jc->panelView();
  EXPECT_EQ(view, jc->panelViewOutlet);
  EXPECT_EQ(jc->topLevelObjects().size(), loaded);
}

TEST_F(ConstructionTest, PanelViewLoadsTheInterfaceFileOfTheMode) {
  auto jc = makeController();
  platform::View* view = jc->panelView();
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(jc->isPanelViewRetain);
  EXPECT_NE(jc->retentionCheckBox, nullptr);
  EXPECT_NE(jc->jobNameEditText, nullptr);
  EXPECT_EQ(jc->userNumberStaticText != nullptr, kModelProfile.hasUserNumberStaticText);
  const bool popup = jc->folderSelectionPopup != nullptr;
  const bool matrix = jc->folderSelectionMatrix != nullptr;
  EXPECT_TRUE(popup || matrix);
}

TEST_F(ConstructionTest, ControllerWithoutBundleHasNoViewButWorks) {
  jobwick::setPluginBundleOverride(nullptr);
  auto jc = makeController();
  EXPECT_EQ(jc->panelView(), nullptr);
  EXPECT_EQ(jc->panelName(), kModelProfile.panelNameKey);
  EXPECT_TRUE(jc->restoreValuesAndReturnError(nullptr));
  EXPECT_TRUE(jc->saveValuesAndReturnError(nullptr));
  EXPECT_TRUE(jc->summaryInfo().empty() || jc->hasInited);
}

}  // namespace
}  // namespace jwtest
