// SPDX-License-Identifier: Apache-2.0
// What every subsystem agrees on about the panel's state, defined once: the
// layout of the folder pop-up and the folder matrix, the folder entry behind
// a pop-up item, and the readings of lock buttons and check boxes. A missing
// control reads as the zero state: off, row or item 0, no folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pde/JC.h"
#include "platform/controls.h"

namespace jobwick::panel {

// ---- The folder pop-up ----
// Two fixed items, then, once the printer's folders are known, a separator
// and one item per folder: item kFirstFolderItem + i is folderList[i].
inline constexpr std::int64_t kQuickFileItem = 0;
inline constexpr std::int64_t kMainFolderItem = 1;
inline constexpr std::int64_t kSeparatorItem = 2;
inline constexpr std::int64_t kFirstFolderItem = 3;
/// The items a pop-up keeps when its folders are rebuilt.
inline constexpr std::int64_t kFixedItems = kSeparatorItem;

// ---- The folder matrix (the models with a typed folder name) ----
inline constexpr std::int64_t kQuickFileRow = 0;
inline constexpr std::int64_t kMainFolderRow = 1;
inline constexpr std::int64_t kCustomFolderRow = 2;

/// The pop-up item showing folderList[position].
constexpr std::int64_t menuIndexOfFolder(std::size_t position) {
  return kFirstFolderItem + static_cast<std::int64_t>(position);
}

/// The folder entry behind pop-up item `index`; null for the fixed items,
/// the separator, an item past the list's end and when there is no list.
inline const FolderEntry* folderAtMenuIndex(const std::optional<FolderList>& list,
                                            std::int64_t index) {
  if (!list || index < kFirstFolderItem) return nullptr;
  const auto position = static_cast<std::size_t>(index - kFirstFolderItem);
  return position < list->size() ? &(*list)[position] : nullptr;
}

/// The folder entry the pop-up shows; null when it shows none (see
/// folderAtMenuIndex) or there is no pop-up.
inline const FolderEntry* selectedFolder(const JC& jc) {
  if (!jc.folderSelectionPopup) return nullptr;
  return folderAtMenuIndex(jc.folderList, jc.folderSelectionPopup->indexOfSelectedItem());
}

// folderName and folderIsProtected, the readings of a folder entry, are
// defined with the folder list (pde/folder_list.h).

// ---- Buttons ----
// A lock button has three states. The job ticket and the rules treat only
// "on" as locked; the preference record keeps every lock that is not off,
// so a mixed button counts there.

/// The button or cell is exactly on (a check box ticked, a radio cell
/// chosen); false for a missing one.
inline bool isSwitchedOn(const platform::Button* button) {
  return button && button->state() == platform::NSOnState;
}
inline bool isSwitchedOn(const platform::ButtonCell* cell) {
  return cell && cell->state() == platform::NSOnState;
}

/// The lock button is on: the value it guards is kept. False when missing.
inline bool isLockedOn(const platform::Button* lock) {
  return isSwitchedOn(lock);
}

/// The lock button is in any state but off (on or mixed). False when missing.
inline bool isNotUnlocked(const platform::Button* lock) {
  return lock && lock->state() != platform::NSOffState;
}

/// The lock button is off, or missing.
inline bool isUnlocked(const platform::Button* lock) {
  return !isNotUnlocked(lock);
}

}  // namespace jobwick::panel
