// The folder pop-up menu of the filing group, built to the layout of
// pde/panel_state.h: quick file and the main folder (both fixed items of the
// interface file), then, when folders are known, a separator and one item
// per folder of folderList.
#include <cstdint>
#include <memory>
#include <string>

#include "pde/JC.h"
#include "pde/panel_state.h"
#include "platform/controls.h"
#include "platform/image.h"
#include "platform/strings.h"

namespace {

using jobwick::panel::folderIsProtected;
using jobwick::panel::folderName;
using jobwick::panel::kFixedItems;
// Answer for a name the list does not know: the main-folder item.
using jobwick::panel::kMainFolderItem;
using jobwick::panel::menuIndexOfFolder;

}  // namespace

void JC::makeFolderPopup() {
  if (!folderSelectionPopup) return;
  platform::Menu* menu = folderSelectionPopup->menu();
  if (!menu) return;

  // Every rebuild starts again from the two fixed items.
  menu->removeItemsFromIndex(kFixedItems);

  for (std::int64_t index = 0; index < kFixedItems; ++index) {
    platform::MenuItem* item = menu->itemAtIndex(index);
    if (!item) continue;
    if (auto title = localizedStringValue(item->title())) item->setTitle(std::move(*title));
    item->setImage(spaceImage);
  }

  if (!folderList || folderList->empty()) return;
  menu->addItem(platform::MenuItem::separatorItem());
  const std::shared_ptr<platform::Image> padlock =
      initWithSystemIconType(platform::fourCharCode("lock"));
  for (const FolderEntry& entry : *folderList) {
    // An entry without a name still takes its place, so that item
    // menuIndexOfFolder(i) stays folderList[i].
    const std::string* name = folderName(entry);
    auto item = std::make_shared<platform::MenuItem>(name ? *name : std::string(), std::string(),
                                                     std::string());
    item->setImage(folderIsProtected(entry) ? padlock : spaceImage);
    menu->addItem(std::move(item));
  }
}

std::int64_t JC::SearchSameFolderName(const std::optional<std::string>& name) {
  if (!name || !folderList || folderList->empty()) return kMainFolderItem;
  for (std::size_t i = 0; i < folderList->size(); ++i) {
    const std::string* entry = folderName((*folderList)[i]);
    if (entry && platform::equalsIgnoringCase(*entry, *name)) {
      return menuIndexOfFolder(i);
    }
  }
  return kMainFolderItem;
}
