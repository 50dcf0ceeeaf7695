// SPDX-License-Identifier: Apache-2.0
// The controller's operations on state that more than one subsystem writes:
// each such field is changed here and nowhere else.
#include <utility>

#include "pde/JC.h"

bool JC::takeRememberedHoldBit(std::uint32_t bit) {
  const bool set = (prefHoldButtonFlag & bit) != 0;
  prefHoldButtonFlag &= ~bit;
  return set;
}

void JC::keepLockedLoginName(std::optional<std::string> name) {
  loginNameStringRef = std::move(name);
  loginNameLockFlag = true;
}

void JC::forgetLockedLoginName() {
  loginNameStringRef.reset();
  loginNameLockFlag = false;
}

void JC::setFolderList(FolderList list) {
  folderList = std::move(list);
}
