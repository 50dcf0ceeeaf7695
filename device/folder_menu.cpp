// SPDX-License-Identifier: Apache-2.0
// The folder pop-up menu of the filing group, built to the layout of
// pde/panel_state.h: quick file and the main folder (both fixed items of the
// interface file), then, when folders are known, a separator and one item
// per folder of folderList.
//
// A folder's name comes from the printer, so its item shows it as one safe
// line (platform/display_text.h): hidden and direction-changing characters
// shown by their code, right-to-left names isolated, the width bounded. A
// name that looks like one of the fixed items is marked as the printer's
// folder. Only the title is made so: the job ticket takes the name from
// folderList.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"
#include "platform/display_text.h"
#include "platform/image.h"
#include "platform/strings.h"

namespace {

using jobwick::panel::kFixedItems;
// Answer for a name the list does not know: the main-folder item.
using jobwick::panel::kMainFolderItem;
using jobwick::panel::menuIndexOfFolder;

// Storage for the folder items one build makes, side by side. A rebuild of a
// large menu reads every item; items that lie in the order of the menu are
// a stream the processor fetches ahead, while items put wherever the heap
// had room when the menu grew cost a cache miss each once the menu no
// longer fits in the cache. A block is freed when the last item in it goes
// (each item's allocator holds it); parts of it whose item went are
// poisoned for AddressSanitizer, so a use after free is still caught.
class ItemBlock {
 public:
  explicit ItemBlock(std::size_t bytes)
      : size_(roundUp(bytes)), storage_(new std::max_align_t[size_ / kAlign]) {
    ASAN_POISON_MEMORY_REGION(storage_.get(), size_);
  }
  ~ItemBlock() { ASAN_UNPOISON_MEMORY_REGION(storage_.get(), size_); }
  ItemBlock(const ItemBlock&) = delete;
  ItemBlock& operator=(const ItemBlock&) = delete;

  /// `bytes` from the block; null when it has no room left for them.
  void* take(std::size_t bytes) {
    bytes = roundUp(bytes);
    if (bytes > size_ - used_) return nullptr;
    std::byte* part = base() + used_;
    used_ += bytes;
    ASAN_UNPOISON_MEMORY_REGION(part, bytes);
    return part;
  }
  /// Gives back a part that take() answered; false for memory not from here.
  bool giveBack(void* part, std::size_t bytes) {
    std::byte* at = static_cast<std::byte*>(part);
    if (at < base() || at >= base() + size_) return false;
    ASAN_POISON_MEMORY_REGION(at, roundUp(bytes));
    return true;
  }
  std::size_t room() const { return size_ - used_; }

 private:
  static constexpr std::size_t kAlign = alignof(std::max_align_t);
  static std::size_t roundUp(std::size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; }
  std::byte* base() const { return reinterpret_cast<std::byte*>(storage_.get()); }

  std::size_t size_;
  std::size_t used_ = 0;
  std::unique_ptr<std::max_align_t[]> storage_;
};

/// Allocates from one ItemBlock (from the heap once it is full) and keeps
/// that block alive as long as the allocation's owner keeps the allocator.
template <class T>
class ItemBlockAllocator {
 public:
  using value_type = T;
  static_assert(alignof(T) <= alignof(std::max_align_t));

  explicit ItemBlockAllocator(std::shared_ptr<ItemBlock> block) : block_(std::move(block)) {}
  template <class U>
  ItemBlockAllocator(const ItemBlockAllocator<U>& other) : block_(other.block()) {}

  T* allocate(std::size_t count) {
    if (void* part = block_->take(count * sizeof(T))) return static_cast<T*>(part);
    return std::allocator<T>().allocate(count);
  }
  void deallocate(T* part, std::size_t count) {
    if (!block_->giveBack(part, count * sizeof(T))) std::allocator<T>().deallocate(part, count);
  }
  const std::shared_ptr<ItemBlock>& block() const { return block_; }
  template <class U>
  bool operator==(const ItemBlockAllocator<U>& other) const {
    return block_ == other.block();
  }

 private:
  std::shared_ptr<ItemBlock> block_;
};

// Widest folder title, in UTF-16 units: room for any folder name a printer
// offers, while a name of kilobytes cannot stretch the panel.
constexpr std::size_t kFolderTitleUnits = 48;
// The mark of a printer folder whose name looks like a fixed item.
constexpr const char* kPrinterFolderFormat = "%@ (printer folder)";

/// How the folder items are titled for one rebuild.
class FolderTitles {
 public:
  FolderTitles(std::vector<platform::LookAlike> fixedItems, std::string markFormat)
      : fixedItems_(std::move(fixedItems)), markFormat_(std::move(markFormat)) {}

  std::string titleOf(std::string_view name) const {
    std::string title = platform::visibleLine(name, kFolderTitleUnits);
    for (const platform::LookAlike& fixed : fixedItems_) {
      if (!fixed.matches(title)) continue;
      std::string marked = markFormat_;
      if (const auto at = marked.find("%@"); at != std::string::npos) {
        marked.replace(at, 2, title);
      } else {
        marked = title + " " + marked;
      }
      return marked;
    }
    return title;
  }

 private:
  std::vector<platform::LookAlike> fixedItems_;
  std::string markFormat_;
};

// A folder item with its reference count takes about this much of a block.
constexpr std::size_t kItemBytes = sizeof(platform::MenuItem) + 64;
// Items per block at most: what one item that stays in the menu can keep
// from being freed.
constexpr std::size_t kItemsPerBlock = 256;

/// A new plain folder item, from `block` while it has room; else from a new
/// block sized for the `comingItems` still to be made (this one included).
std::shared_ptr<platform::MenuItem> makeFolderItem(std::string_view title,
                                                   std::shared_ptr<ItemBlock>& block,
                                                   std::size_t comingItems) {
  if (!block || block->room() < kItemBytes) {
    block = std::make_shared<ItemBlock>(std::min(comingItems, kItemsPerBlock) * kItemBytes);
  }
  return std::allocate_shared<platform::MenuItem>(ItemBlockAllocator<platform::MenuItem>(block),
                                                  std::string(title), std::string(), std::string());
}

// The separator and the folder items after the fixed ones, for the list as
// it is now; whatever stands after the fixed items is made over.
void makeFolderItems(JC& jc) {
  platform::Menu* menu = jc.folderSelectionPopup ? jc.folderSelectionPopup->menu() : nullptr;
  if (!menu) return;
  if (!jc.folderList || jc.folderList->empty()) {
    menu->removeItemsFromIndex(kFixedItems);
    return;
  }
  std::vector<platform::LookAlike> fixedTitles;
  for (std::int64_t index = 0; index < kFixedItems; ++index) {
    if (const platform::MenuItem* item = menu->itemAtIndex(index)) {
      fixedTitles.emplace_back(item->title());
    }
  }
  // The separator and folder items already there are made over in place
  // rather than freed and allocated again (a rebuild of a large menu then
  // touches each item once), as far as they are plain items that nobody
  // else holds; from the first other one on, the items are new.
  std::int64_t index = kFixedItems;
  const auto& items = menu->items();
  const auto reusable = [&](bool separator) {
    if (index >= menu->numberOfItems()) return false;
    const std::shared_ptr<platform::MenuItem>& item = items[std::size_t(index)];
    return item.use_count() == 1 && item->isSeparatorItem() == separator &&
           item->action().empty() && item->keyEquivalent().empty() &&
           item->topLevelObjects().empty();
  };
  if (reusable(true)) {
    items[std::size_t(index)]->setEnabled(true);
    items[std::size_t(index)]->setImage(nullptr);
    ++index;
  } else {
    menu->removeItemsFromIndex(index);
    menu->addItem(platform::MenuItem::separatorItem());
    ++index;
  }
  const std::shared_ptr<platform::Image> padlock =
      initWithSystemIconType(platform::fourCharCode("lock"));
  const FolderTitles titles(
      std::move(fixedTitles),
      jc.localizedStringValue(std::string(kPrinterFolderFormat)).value_or(kPrinterFolderFormat));
  // The list's readings of its entries, not the entries themselves: two
  // arrays read from start to end (see pde/folder_list.h).
  std::shared_ptr<ItemBlock> block;
  std::size_t position = 0;
  const FolderList& list = *jc.folderList;
  const std::size_t folderCount = list.looks().size();
  for (const FolderLook& look : list.looks()) {
    // An entry without a name still takes its place (an item with an empty
    // title), so that item menuIndexOfFolder(i) stays folderList[i].
    const std::string title = titles.titleOf(list.nameOf(look));
    const std::shared_ptr<platform::Image>& image = look.isProtected ? padlock : jc.spaceImage;
    if (reusable(false)) {
      // What is already right is left alone: a rebuild of the same list
      // then only reads the items (no string copies, no reference counts
      // going up and down), which keeps a large menu's rebuild from being
      // bound by writing memory.
      platform::MenuItem& item = *items[std::size_t(index)];
      if (item.title() != title) item.setTitle(title);
      if (!item.isEnabled()) item.setEnabled(true);
      if (item.imageRef() != image) item.setImage(image);
    } else {
      menu->removeItemsFromIndex(index);
      auto item = makeFolderItem(title, block, folderCount - position);
      item->setImage(image);
      menu->addItem(std::move(item));
    }
    ++index;
    ++position;
  }
  menu->removeItemsFromIndex(index);
}

}  // namespace

void JC::makeFolderPopup() {
  if (!folderSelectionPopup) return;
  platform::Menu* menu = folderSelectionPopup->menu();
  if (!menu) return;

  for (std::int64_t index = 0; index < kFixedItems; ++index) {
    platform::MenuItem* item = menu->itemAtIndex(index);
    if (!item) continue;
    if (auto title = localizedStringValue(item->title())) item->setTitle(std::move(*title));
    item->setImage(spaceImage);
  }

  // Every rebuild starts again from the two fixed items, as if every item
  // after them were removed: a selected folder item gives way to the main
  // folder.
  if (folderSelectionPopup->indexOfSelectedItem() >= kFixedItems) {
    folderSelectionPopup->selectItemAtIndex(kFixedItems - 1);
  }
  // The folder items are made when someone first looks past the fixed
  // items (the view, a search of the menu, a choice of a folder): a dialog
  // that never shows its folders never reads the list, which may be a cache
  // of tens of thousands. The items past the new list's end go now, the
  // others are made over then (see makeFolderItems). Once the controller
  // is gone there is nothing to make them from.
  menu->setPendingItems(kFixedItems, nullptr);
  if (!folderList || (folderList->isMade() && folderList->empty())) {
    menu->removeItemsFromIndex(kFixedItems);
    return;
  }
  if (folderList->isMade()) {
    menu->removeItemsFromIndex(jobwick::panel::menuIndexOfFolder(folderList->size()));
  } else {
    menu->removeItemsFromIndex(kFixedItems);
  }
  menu->setPendingItems(kFixedItems, [this, alive = std::weak_ptr<const bool>(alive_)] {
    if (!alive.expired()) makeFolderItems(*this);
  });
}

std::int64_t JC::SearchSameFolderName(const std::optional<std::string>& name) {
  if (!name || !folderList || folderList->empty()) return kMainFolderItem;
  // The folder of exactly this name, wherever it stands: a folder whose
  // name differs only in case is another folder (maybe with another
  // password), taken only when there is no exact one.
  const std::vector<FolderLook>& looks = folderList->looks();
  for (std::size_t i = 0; i < looks.size(); ++i) {
    if (looks[i].hasName && folderList->nameOf(looks[i]) == *name) return menuIndexOfFolder(i);
  }
  // The name is folded once, not once per folder.
  const platform::CaseFoldedText wanted(*name);
  for (std::size_t i = 0; i < looks.size(); ++i) {
    if (looks[i].hasName && wanted.matches(folderList->nameOf(looks[i]))) {
      return menuIndexOfFolder(i);
    }
  }
  return kMainFolderItem;
}
