// SPDX-License-Identifier: Apache-2.0
// Readings of the panel's controls shared by the enablement rules and the
// control actions, built on pde/panel_state.h. A missing control reads as the zero state: a check
// box or lock button that is off, a matrix on row 0.
#pragma once

#include <cstdint>
#include <string>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"

namespace jobwick::ui {

// The lock readings and the folder layout are the panel's (pde/panel_state.h).
using panel::isLockedOn;
using panel::isUnlocked;

/// The selected row of a matrix; a missing matrix reads as row 0.
inline std::int64_t selectedRowOf(const platform::Matrix* matrix) {
  return matrix ? matrix->selectedRow() : 0;
}

/// Retention is on: the check box is in any state but off.
bool retentionOn(const JC& jc);
/// Quick file is chosen on the folder pop-up or on the folder matrix.
bool quickFile(const JC& jc);
/// The pop-up shows a folder of the list whose entry says "password" true.
bool protectedFolder(const JC& jc);
/// The folder matrix is on its custom-folder row.
bool customFolderRow(const JC& jc);
/// The chosen destination asks for a folder password.
bool folderNeedsPassword(const JC& jc);
/// The authentication matrix is on the login-name row.
bool loginMethod(const JC& jc);

/// Empties a text field (no-op for a missing field).
inline void clearField(platform::TextField* field) {
  if (field) field->setStringValue(std::string());
}

/// Empties `field` unless its lock button is on.
inline void clearUnlessLocked(platform::TextField* field, const platform::Button* lock) {
  if (isUnlocked(lock)) clearField(field);
}

}  // namespace jobwick::ui
