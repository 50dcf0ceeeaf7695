// SPDX-License-Identifier: Apache-2.0
#include "pde/folder_list.h"

#include <utility>

FolderList::FolderList(std::initializer_list<FolderEntry> entries) : entries_(entries) {
  takeLooks();
}

FolderList FolderList::ofStored(platform::plist::Value stored, EntryOfStored entryOf) {
  FolderList list;
  list.stored_ = Stored{std::move(stored), entryOf};
  return list;
}

void FolderList::makeEntries() const {
  const Stored stored = std::move(*stored_);
  stored_.reset();
  const platform::plist::Array* items = stored.items.asArray();
  if (!items) return;
  entries_.reserve(items->size());
  looks_.reserve(items->size());
  for (const platform::plist::Value& item : *items) {
    std::optional<FolderEntry> entry = stored.entryOf(item);
    if (!entry) continue;
    entries_.push_back(std::move(*entry));
    takeLook(entries_.back());
  }
}

void FolderList::push_back(FolderEntry entry) {
  made();
  entries_.push_back(std::move(entry));
  takeLook(entries_.back());
}

FolderList::const_iterator FolderList::erase(const_iterator position) {
  // An iterator comes from a made list.
  const auto offset = position - entries_.begin();
  entries_.erase(position);
  takeLooks();
  return entries_.begin() + offset;
}

void FolderList::takeLook(const FolderEntry& entry) const {
  FolderLook look;
  if (const std::string* name = jobwick::panel::folderName(entry)) {
    look.hasName = true;
    look.nameStart = names_.size();
    look.nameLength = name->size();
    names_ += *name;
  }
  look.isProtected = jobwick::panel::folderIsProtected(entry);
  looks_.push_back(look);
}

void FolderList::takeLooks() {
  looks_.clear();
  names_.clear();
  looks_.reserve(entries_.size());
  for (const FolderEntry& entry : entries_) takeLook(entry);
}
