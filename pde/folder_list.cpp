#include "pde/folder_list.h"

#include <utility>

namespace {

FolderLook lookOf(const FolderEntry& entry) {
  return {jobwick::panel::folderName(entry), jobwick::panel::folderIsProtected(entry)};
}

}  // namespace

FolderList::FolderList(std::initializer_list<FolderEntry> entries) : entries_(entries) {
  takeLooks();
}

FolderList::FolderList(const FolderList& other) : entries_(other.entries_) {
  takeLooks();
}

FolderList& FolderList::operator=(const FolderList& other) {
  if (this != &other) {
    entries_ = other.entries_;
    takeLooks();
  }
  return *this;
}

void FolderList::reserve(std::size_t count) {
  entries_.reserve(count);
  looks_.reserve(count);
}

void FolderList::push_back(FolderEntry entry) {
  entries_.push_back(std::move(entry));
  looks_.push_back(lookOf(entries_.back()));
}

FolderList::const_iterator FolderList::erase(const_iterator position) {
  const auto offset = position - entries_.begin();
  entries_.erase(position);
  // The entries after it moved up a place; their readings are taken again
  // rather than trust that a moved tree kept its nodes.
  takeLooks();
  return entries_.begin() + offset;
}

void FolderList::takeLooks() {
  looks_.clear();
  looks_.reserve(entries_.size());
  for (const FolderEntry& entry : entries_) looks_.push_back(lookOf(entry));
}
