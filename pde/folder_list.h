// SPDX-License-Identifier: Apache-2.0
// The printer's filing folders as the panel holds them. Each folder is a
// property-list dictionary, the form of the printer's answer and of the
// preference cache: "name" (string), "password", "dir", "add" (booleans),
// kept in the printer's order.
//
// Beside the entries the list keeps, for each folder, the two readings that
// the folder menu and the folder-name search make of every entry (its name
// and whether it asks for a password): one small record per folder in one
// array, and a copy of every name in one text. A rebuild of a large menu
// then reads those two from start to end rather than walk every entry's
// tree of keys, which at ten thousand folders no longer fits in the cache
// and lies wherever the parser's allocations put it.
//
// The readings stay true because entries are read-only once in the list: a
// list is changed only by assigning it, or by appending or removing whole
// entries.
//
// A list taken from the preference cache makes its entries only when first
// asked for anything (its size, an entry, the readings...): a dialog that
// never shows its folders never reads the cached array (which, kept as its
// text, is then not even parsed).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist.h"

/// A folder entry: "name" (string), "password", "dir", "add" (booleans).
using FolderEntry = platform::plist::Dict;

namespace jobwick::panel {

/// A folder entry's "name"; null when it has none or it is not a string.
inline const std::string* folderName(const FolderEntry& entry) {
  const auto found = entry.find("name");
  return found == entry.end() ? nullptr : found->second.asString();
}

/// Whether a folder entry's "password" is true (it asks for a password).
inline bool folderIsProtected(const FolderEntry& entry) {
  const auto found = entry.find("password");
  if (found == entry.end()) return false;
  const bool* flag = found->second.asBool();
  return flag && *flag;
}

}  // namespace jobwick::panel

/// What folderName and folderIsProtected answer for one entry of a list;
/// the name itself is FolderList::nameOf(look).
struct FolderLook {
  std::size_t nameStart = 0;  // where the copy of the name starts in the list's text
  std::size_t nameLength = 0;
  bool hasName = false;  // false: the entry has no "name" string
  bool isProtected = false;
};

class FolderList {
 public:
  using value_type = FolderEntry;
  using const_iterator = std::vector<FolderEntry>::const_iterator;
  using iterator = const_iterator;
  using size_type = std::size_t;

  FolderList() = default;
  FolderList(std::initializer_list<FolderEntry> entries);

  /// How a stored item becomes an entry: nullopt leaves it out.
  using EntryOfStored = std::optional<FolderEntry> (*)(const platform::plist::Value& stored);
  /// The list of the items of the array `stored`, each made into an entry
  /// by `entryOf` when the list is first asked for anything.
  static FolderList ofStored(platform::plist::Value stored, EntryOfStored entryOf);
  /// Whether the entries are made (always, but for a list of stored items
  /// nobody has asked for yet).
  bool isMade() const { return !stored_; }

  /// Appends `entry` at the end and takes its readings.
  void push_back(FolderEntry entry);
  /// Removes the entry at `position`; answers the position after it.
  const_iterator erase(const_iterator position);

  std::size_t size() const { return made().entries_.size(); }
  bool empty() const { return made().entries_.empty(); }
  const_iterator begin() const { return made().entries_.begin(); }
  const_iterator end() const { return made().entries_.end(); }
  const FolderEntry& operator[](std::size_t position) const { return made().entries_[position]; }
  /// The entry at `position`; throws std::out_of_range past the end.
  const FolderEntry& at(std::size_t position) const { return made().entries_.at(position); }

  /// The readings of every entry, in the list's order (looks()[i] is that
  /// of (*this)[i]); valid until the list is next changed.
  const std::vector<FolderLook>& looks() const { return made().looks_; }
  /// The name a reading of this list records (empty when it has none);
  /// valid until the list is next changed.
  std::string_view nameOf(const FolderLook& look) const {
    return std::string_view(names_).substr(look.nameStart, look.nameLength);
  }

  friend bool operator==(const FolderList& a, const FolderList& b) {
    return a.made().entries_ == b.made().entries_;
  }

 private:
  struct Stored {
    platform::plist::Value items;
    EntryOfStored entryOf = nullptr;
  };
  // This list with its entries made.
  const FolderList& made() const {
    if (stored_) makeEntries();
    return *this;
  }
  void makeEntries() const;
  void takeLooks();
  void takeLook(const FolderEntry& entry) const;

  // The entries and their readings are made from stored_ by a const look
  // at the list, which changes nothing that can be seen.
  mutable std::vector<FolderEntry> entries_;
  mutable std::vector<FolderLook> looks_;
  mutable std::string names_;             // every name, one after the other
  mutable std::optional<Stored> stored_;  // the items, until the entries are made
};
