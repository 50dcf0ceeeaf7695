// SPDX-License-Identifier: Apache-2.0
// Fixture for tests of the panel's construction, rules and actions: a real
// controller (with the model's bundle) and a hand-built panel in a window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/harness.h"
#include "ui/hand_panel.h"

namespace jwtest {

class PanelTest : public ControllerTest {
 protected:
  /// Makes the controller for a printer whose PPD has `ppdLines`, builds
  /// the panel, shows it and (when `initialize`) prepares it.
  void makePanel(const std::vector<std::string>& ppdLines = {}, HandPanelOptions options = {},
                 bool initialize = true) {
    jc = makeController(makeHost(ppdLines));
    ASSERT_TRUE(jc);
    panel = std::make_unique<HandPanel>(*jc, options);
    window->setContentView(panel->root);
    if (initialize) jc->initializeUI();
  }

  /// Replaces the folder list and rebuilds the menu.
  void setFolders(FolderList folders) {
    jc->folderList = std::move(folders);
    jc->makeFolderPopup();
  }

  void TearDown() override {
    jc.reset();
    panel.reset();
    ControllerTest::TearDown();
  }

  std::shared_ptr<JC> jc;
  std::unique_ptr<HandPanel> panel;
};

}  // namespace jwtest
