// SPDX-License-Identifier: Apache-2.0
// A panel built control by control, for tests that need to choose exactly
// which controls exist. Three tabs like the real interface files: retention
// and filing, authentication and account, job identification and address.
// Input fields carry non-zero tags, labels tag 0, lock buttons are toggles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/controls.h"

namespace jwtest {

struct HandPanelOptions {
  bool folderPopup = true;
  bool folderMatrix = true;
  bool tabView = true;
};

class HandPanel {
 public:
  /// Builds the controls and connects them to `jc`'s outlets.
  HandPanel(JC& jc, HandPanelOptions options = {}) {
    root = std::make_shared<platform::View>();
    std::shared_ptr<platform::View> pages[3];
    for (auto& page : pages) page = std::make_shared<platform::View>();
    if (options.tabView) {
      auto tabs = std::make_shared<platform::TabView>();
      const char* labels[3] = {"Retention", "Authentication", "Job ID"};
      for (int i = 0; i < 3; ++i) {
        auto item = std::make_shared<platform::TabViewItem>();
        item->setLabel(labels[i]);
        item->setView(pages[i]);
        tabs->addTabViewItem(item);
      }
      jc.tabView = tabs.get();
      root->addSubview(tabs);
    } else {
      for (auto& page : pages) root->addSubview(page);
    }
    platform::View& retention = *pages[0];
    platform::View& auth = *pages[1];
    platform::View& jobId = *pages[2];

    jc.retentionCheckBox = button(retention, "Retention", platform::ButtonType::CheckBox);
    jc.suspendBox = add<platform::Box>(retention);
    jc.suspendBox->setTitle("Retention");
    jc.suspendMatrix = matrix(retention, {"Hold Only", "Hold After Print", "Sample Print"});
    jc.holdOnlyRadioButton = jc.suspendMatrix->cellAtRow(0);
    jc.holdAfterRadioButton = jc.suspendMatrix->cellAtRow(1);
    jc.samplePrintRadioButton = jc.suspendMatrix->cellAtRow(2);
    jc.suspendMatrix->selectCellAtRow(0);
    jc.suspendKeyStaticText = label(retention, "Pass Code:");
    jc.suspendKeyEditText = field(retention, 1);
    jc.suspendKeyButton = lockButton(retention);

    jc.filingBox = add<platform::Box>(retention);
    jc.filingBox->setTitle("Document Filing");
    jc.folderSelectionStaticText = label(retention, "Stored to:");
    if (options.folderPopup) {
      jc.folderSelectionPopup = add<platform::PopUpButton>(retention);
      auto* menu = jc.folderSelectionPopup->menu();
      menu->addItem(std::make_shared<platform::MenuItem>("Quick File", "", ""));
      menu->addItem(std::make_shared<platform::MenuItem>("Main Folder", "", ""));
      jc.folderSelectionPopup->selectItemAtIndex(1);
    }
    if (options.folderMatrix) {
      jc.folderSelectionMatrix = matrix(retention, {"Quick File", "Main Folder", "Custom Folder"});
      jc.quickFileRadioButton = jc.folderSelectionMatrix->cellAtRow(0);
      jc.mainFolderRadioButton = jc.folderSelectionMatrix->cellAtRow(1);
      jc.customFolderRadioButton = jc.folderSelectionMatrix->cellAtRow(2);
      jc.folderSelectionMatrix->selectCellAtRow(1);
      jc.folderNameEditText = field(retention, 3);
      jc.folderNameButton = lockButton(retention);
    }
    jc.folderPasswordStaticText = label(retention, "Folder Password:");
    jc.folderPasswordEditText = field(retention, 2);
    jc.folderPasswordButton = lockButton(retention);

    jc.authenticationMatrix = matrix(auth, {"Login Name", "User Number"});
    jc.authenticationRadioButton = jc.authenticationMatrix->cellAtRow(0);
    jc.userNumberRadioButton = jc.authenticationMatrix->cellAtRow(1);
    jc.authenticationMatrix->selectCellAtRow(0);
    jc.loginNameStaticText = label(auth, "Login Name:");
    jc.loginNameEditText = field(auth, 4);
    jc.loginNameButton = lockButton(auth);
    jc.passwordStaticText = label(auth, "Password:");
    jc.passwordEditText = field(auth, 5);
    jc.passwordButton = lockButton(auth);
    jc.userNumberEditText = field(auth, 6);
    jc.userNumberButton = lockButton(auth);
    jc.accountNumberStaticText = label(auth, "Account Number:");
    jc.accountNumberEditText = field(auth, 7);
    jc.accountNumberButton = lockButton(auth);

    jc.jobIDBox = add<platform::Box>(jobId);
    jc.jobIDBox->setTitle("Job ID");
    jc.userNameStaticText = label(jobId, "User Name:");
    jc.userNameEditText = field(jobId, 8);
    jc.userNameButton = lockButton(jobId);
    jc.jobNameStaticText = label(jobId, "Job Name:");
    jc.jobNameEditText = field(jobId, 9);
    jc.jobNameButton = lockButton(jobId);
    jc.printersAddressStaticText = label(jobId, "Printer Address:");
    jc.printersAddressEditText = field(jobId, 10);
    jc.printersAddressEditText->setStringValue("printer.example");
    jc.getFolderNameButton = button(jobId, "Get Folder Names", platform::ButtonType::Push);
    jc.chasingArrow = add<platform::ProgressIndicator>(jobId);
  }

  std::shared_ptr<platform::View> root;

 private:
  template <class T>
  T* add(platform::View& parent) {
    auto control = std::make_shared<T>();
    T* raw = control.get();
    parent.addSubview(std::move(control));
    return raw;
  }

  platform::Button* button(platform::View& parent, const std::string& title,
                           platform::ButtonType type) {
    auto* b = add<platform::Button>(parent);
    b->setTitle(title);
    b->setButtonType(type);
    return b;
  }

  platform::Button* lockButton(platform::View& parent) {
    return button(parent, "", platform::ButtonType::Toggle);
  }

  platform::TextField* label(platform::View& parent, const std::string& text) {
    auto* l = add<platform::TextField>(parent);
    l->setStringValue(text);
    l->setEditable(false);
    l->setTag(0);
    return l;
  }

  platform::TextField* field(platform::View& parent, std::int64_t tag) {
    auto* f = add<platform::TextField>(parent);
    f->setTag(tag);
    return f;
  }

  platform::Matrix* matrix(platform::View& parent, const std::vector<std::string>& titles) {
    auto* m = add<platform::Matrix>(parent);
    for (const auto& title : titles) {
      auto cell = std::make_shared<platform::ButtonCell>();
      cell->setTitle(title);
      cell->setButtonType(platform::ButtonType::Radio);
      m->addRow(std::move(cell));
    }
    return m;
  }
};

/// A folder entry of the list the printer reports.
inline FolderEntry folder(const std::string& name, std::optional<bool> password = false) {
  FolderEntry entry;
  entry["name"] = name;
  if (password) entry["password"] = *password;
  entry["dir"] = false;
  entry["add"] = false;
  return entry;
}

}  // namespace jwtest
