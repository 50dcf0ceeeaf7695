// SPDX-License-Identifier: Apache-2.0
// Helpers for tests that restore the panel from a job ticket: a controller
// with the model's real interface file, ticket values in their stored forms,
// and a snapshot of what the panel shows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/strings.h"
#include "support/harness.h"
#include "ticket/keys.h"

namespace jwtest {

/// Full ticket key of a short name ("jobSuspend" -> "jp.co...jobSuspend").
inline std::string ticketKey(const std::string& shortName) {
  return std::string(jobwick::ticket::kKeyPrefix) + shortName;
}

/// PPD lines that put the vk7300 build in active-directory mode.
inline std::vector<std::string> activeDirectoryPPD() {
  return {"*ARActiveDirectory: True"};
}

/// What the panel shows: values, selections and lock states.
struct PanelSnapshot {
  bool retention = false;
  std::int64_t retentionRow = -1;
  std::int64_t folderItem = -1;  ///< pop-up item, -1 without a pop-up
  std::int64_t folderRow = -1;   ///< folder-matrix row, -1 without a matrix
  std::string folderName;
  std::int64_t authenticationRow = -1;
  std::string passCode, loginField, heldLoginName, password, userNumber, accountNumber, userName,
      jobName, folderPassword;
  bool loginLockFlag = false;
  std::uint32_t locks = 0;  ///< the lock buttons that are on, as a hold-button mask

  bool operator==(const PanelSnapshot&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const PanelSnapshot& s) {
  return out << "{retention " << s.retention << " row " << s.retentionRow << ", folder item "
             << s.folderItem << " row " << s.folderRow << " name '" << s.folderName
             << "', auth row " << s.authenticationRow << ", pass code '" << s.passCode
             << "', login '" << s.loginField << "' held '" << s.heldLoginName << "' flag "
             << s.loginLockFlag << ", password '" << s.password << "', user number '"
             << s.userNumber << "', account '" << s.accountNumber << "', user name '" << s.userName
             << "', job name '" << s.jobName << "', folder password '" << s.folderPassword
             << "', locks " << s.locks << "}";
}

inline std::string textOf(const platform::TextField* field) {
  return field ? field->stringValue() : std::string();
}

inline bool lockOn(const platform::Button* button) {
  return button && button->state() != platform::NSOffState;
}

inline PanelSnapshot snapshot(const JC& jc) {
  namespace tk = jobwick::ticket;
  PanelSnapshot s;
  s.retention = lockOn(jc.retentionCheckBox);
  s.retentionRow = jc.suspendMatrix ? jc.suspendMatrix->selectedRow() : -1;
  s.folderItem = jc.folderSelectionPopup ? jc.folderSelectionPopup->indexOfSelectedItem() : -1;
  s.folderRow = jc.folderSelectionMatrix ? jc.folderSelectionMatrix->selectedRow() : -1;
  s.folderName = textOf(jc.folderNameEditText);
  s.authenticationRow = jc.authenticationMatrix ? jc.authenticationMatrix->selectedRow() : -1;
  s.passCode = textOf(jc.suspendKeyEditText);
  s.loginField = textOf(jc.loginNameEditText);
  s.heldLoginName = jc.loginNameStringRef.value_or("");
  s.loginLockFlag = jc.loginNameLockFlag;
  s.password = textOf(jc.passwordEditText);
  s.userNumber = textOf(jc.userNumberEditText);
  s.accountNumber = textOf(jc.accountNumberEditText);
  s.userName = textOf(jc.userNameEditText);
  s.jobName = textOf(jc.jobNameEditText);
  s.folderPassword = textOf(jc.folderPasswordEditText);
  const std::pair<const platform::Button*, std::uint32_t> buttons[] = {
      {jc.suspendKeyButton, tk::kHoldPassCode},
      {jc.loginNameButton, tk::kHoldLoginName},
      {jc.passwordButton, tk::kHoldPassword},
      {jc.userNameButton, tk::kHoldUserName},
      {jc.jobNameButton, tk::kHoldJobName},
      {jc.folderPasswordButton, tk::kHoldFolderPassword},
      {jc.userNumberButton, tk::kHoldUserNumber},
      {jc.accountNumberButton, tk::kHoldAccountNumber},
      {jc.folderNameButton, tk::kHoldFolderName},
  };
  for (const auto& [button, bit] : buttons) {
    if (lockOn(button)) s.locks |= bit;
  }
  return s;
}

/// The login name a snapshot stands for: the held one while locked.
inline std::string loginNameOf(const PanelSnapshot& s) {
  return s.loginLockFlag ? s.heldLoginName : s.loginField;
}

/// Every text a snapshot holds is valid UTF-8.
inline bool allTextsValid(const PanelSnapshot& s) {
  for (const std::string* text :
       {&s.folderName, &s.passCode, &s.loginField, &s.heldLoginName, &s.password, &s.userNumber,
        &s.accountNumber, &s.userName, &s.jobName, &s.folderPassword}) {
    if (!platform::isValidUtf8(*text)) return false;
  }
  return true;
}

/// Fixture: a controller for a host whose print settings hold a ticket,
/// restored the way the print dialog restores it.
class TicketPanelTest : public ControllerTest {
 protected:
  /// A controller with its panel shown, not yet restored.
  std::shared_ptr<JC> panelFor(std::shared_ptr<FakeHost> host) {
    auto jc = makeController(std::move(host));
    EXPECT_TRUE(jc);
    if (jc) {
      EXPECT_NE(showPanel(*jc), nullptr);
    }
    return jc;
  }

  /// A controller restored from `host`'s print settings.
  std::shared_ptr<JC> restored(std::shared_ptr<FakeHost> host) {
    auto jc = panelFor(std::move(host));
    if (jc) {
      EXPECT_TRUE(jc->restoreValuesAndReturnError(nullptr));
    }
    return jc;
  }

  static void put(FakeHost& host, const std::string& shortName, const std::string& value) {
    host.settings.setValue(ticketKey(shortName), value);
  }
};

}  // namespace jwtest
