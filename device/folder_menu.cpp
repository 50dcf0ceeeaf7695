// The folder pop-up menu of the filing group, built to the layout of
// pde/panel_state.h: quick file and the main folder (both fixed items of the
// interface file), then, when folders are known, a separator and one item
// per folder of folderList.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"
#include "platform/image.h"
#include "platform/strings.h"

namespace {

using jobwick::panel::kFixedItems;
// Answer for a name the list does not know: the main-folder item.
using jobwick::panel::kMainFolderItem;
using jobwick::panel::menuIndexOfFolder;

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
  if (!folderList || folderList->empty()) {
    menu->removeItemsFromIndex(kFixedItems);
    return;
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
  // The list's readings of its entries, not the entries themselves: two
  // arrays read from start to end (see pde/folder_list.h).
  for (const FolderLook& look : folderList->looks()) {
    // An entry without a name still takes its place (an item with an empty
    // title), so that item menuIndexOfFolder(i) stays folderList[i].
    const std::string_view name = folderList->nameOf(look);
    const std::shared_ptr<platform::Image>& image = look.isProtected ? padlock : spaceImage;
    if (reusable(false)) {
      // What is already right is left alone: a rebuild of the same list
      // then only reads the items (no string copies, no reference counts
      // going up and down), which keeps a large menu's rebuild from being
      // bound by writing memory.
      platform::MenuItem& item = *items[std::size_t(index)];
      if (item.title() != name) item.setTitle(std::string(name));
      if (!item.isEnabled()) item.setEnabled(true);
      if (item.imageRef() != image) item.setImage(image);
    } else {
      menu->removeItemsFromIndex(index);
      auto item =
          std::make_shared<platform::MenuItem>(std::string(name), std::string(), std::string());
      item->setImage(image);
      menu->addItem(std::move(item));
    }
    ++index;
  }
  menu->removeItemsFromIndex(index);
}

std::int64_t JC::SearchSameFolderName(const std::optional<std::string>& name) {
  if (!name || !folderList || folderList->empty()) return kMainFolderItem;
  // The name is folded once, not once per folder.
  const platform::CaseFoldedText wanted(*name);
  const std::vector<FolderLook>& looks = folderList->looks();
  for (std::size_t i = 0; i < looks.size(); ++i) {
    if (looks[i].hasName && wanted.matches(folderList->nameOf(looks[i]))) {
      return menuIndexOfFolder(i);
    }
  }
  return kMainFolderItem;
}
