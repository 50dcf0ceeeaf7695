// Readings of the panel's controls shared by the enablement rules and the
// control actions. A missing control reads as the zero state: a check box or
// lock button that is off, a matrix on row 0.
#pragma once

#include <cstdint>
#include <string>

#include "pde/JC.h"
#include "platform/controls.h"

namespace jobwick::ui {

/// Whether a lock button is on (the value it guards is kept).
inline bool isLocked(const platform::Button* button) {
  return button && button->state() == platform::NSOnState;
}

/// Whether a lock button is off; a missing button counts as off.
inline bool isUnlocked(const platform::Button* button) {
  return !button || button->state() == platform::NSOffState;
}

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
