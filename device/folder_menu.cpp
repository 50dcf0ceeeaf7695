// The folder pop-up menu of the filing group. Item 0 is quick file and item
// 1 the main folder (both fixed items of the interface file); when folders
// are known, item 2 is a separator and item 3 + i the folder folderList[i].
// The job-ticket writer and reader and the enablement rules rely on this
// layout.
#include <cstdint>
#include <memory>
#include <string>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/image.h"
#include "platform/strings.h"

namespace {

constexpr std::int64_t kFixedItems = 2;
constexpr std::int64_t kFirstFolderItem = 3;
// Answer for a name the list does not know: the main-folder item.
constexpr std::int64_t kMainFolderItem = 1;

const std::string* entryName(const FolderEntry& entry) {
  const auto found = entry.find("name");
  return found == entry.end() ? nullptr : found->second.asString();
}

bool entryIsProtected(const FolderEntry& entry) {
  const auto found = entry.find("password");
  if (found == entry.end()) return false;
  const bool* flag = found->second.asBool();
  return flag && *flag;
}

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
    // An entry without a name still takes its place, so that item 3 + i
    // stays folderList[i].
    const std::string* name = entryName(entry);
    auto item = std::make_shared<platform::MenuItem>(name ? *name : std::string(), std::string(),
                                                     std::string());
    item->setImage(entryIsProtected(entry) ? padlock : spaceImage);
    menu->addItem(std::move(item));
  }
}

std::int64_t JC::SearchSameFolderName(const std::optional<std::string>& name) {
  if (!name || !folderList || folderList->empty()) return kMainFolderItem;
  for (std::size_t i = 0; i < folderList->size(); ++i) {
    const std::string* entry = entryName((*folderList)[i]);
    if (entry && platform::equalsIgnoringCase(*entry, *name)) {
      return kFirstFolderItem + static_cast<std::int64_t>(i);
    }
  }
  return kMainFolderItem;
}
