// SPDX-License-Identifier: Apache-2.0
// The folder pop-up menu and the search of a folder by name.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "pde/panel_state.h"
#include "platform/image.h"
#include "platform/strings.h"
#include "ui/panel_test.h"

namespace jwtest {
namespace {

class FolderMenuTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    makePanel();
  }

  platform::Menu& menu() { return *jc->folderSelectionPopup->menu(); }

  std::vector<std::string> titles() {
    std::vector<std::string> result;
    for (const auto& item : menu().items()) {
      result.push_back(item->isSeparatorItem() ? "---" : item->title());
    }
    return result;
  }
};

TEST_F(FolderMenuTest, NoFoldersLeavesTheTwoFixedItems) {
  for (auto list : {std::optional<FolderList>(), std::optional<FolderList>(FolderList{})}) {
    jc->folderList = list;
    jc->makeFolderPopup();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Quick File", "Main Folder"}));
    for (const auto& item : menu().items()) EXPECT_EQ(item->imageRef(), jc->spaceImage);
  }
}

TEST_F(FolderMenuTest, FoldersFollowASeparatorWithPadlocksOnProtectedOnes) {
  setFolders({folder("Sales"), folder("Finance", true), folder("Archive", std::nullopt)});
  ASSERT_EQ(titles(), (std::vector<std::string>{"Quick File", "Main Folder", "---", "Sales",
                                                "Finance", "Archive"}));
  EXPECT_EQ(menu().itemAtIndex(0)->imageRef(), jc->spaceImage);
  EXPECT_EQ(menu().itemAtIndex(1)->imageRef(), jc->spaceImage);
  EXPECT_EQ(menu().itemAtIndex(2)->image(), nullptr);
  EXPECT_EQ(menu().itemAtIndex(3)->imageRef(), jc->spaceImage);
  ASSERT_NE(menu().itemAtIndex(4)->image(), nullptr);
  EXPECT_EQ(menu().itemAtIndex(4)->image()->name(), "icon:lock");
  EXPECT_EQ(menu().itemAtIndex(4)->image()->size(), (platform::Size{18, 18}));
  EXPECT_EQ(menu().itemAtIndex(5)->imageRef(), jc->spaceImage);
  // Folder items carry no action of their own: the pop-up's action fires.
  EXPECT_EQ(menu().itemAtIndex(3)->action(), "");
  EXPECT_EQ(menu().itemAtIndex(3)->keyEquivalent(), "");
}

TEST_F(FolderMenuTest, RebuildsReplaceTheFoldersWithoutAccumulating) {
  setFolders({folder("A"), folder("B"), folder("C")});
  setFolders({folder("A"), folder("B"), folder("C")});
  EXPECT_EQ(menu().numberOfItems(), 6);
  setFolders({folder("Z", true)});
  EXPECT_EQ(titles(), (std::vector<std::string>{"Quick File", "Main Folder", "---", "Z"}));
  EXPECT_EQ(menu().itemAtIndex(3)->image()->name(), "icon:lock");
  setFolders({});
  EXPECT_EQ(titles(), (std::vector<std::string>{"Quick File", "Main Folder"}));
}

// A rebuild reuses the folder items it takes away: what an item was made to
// be before (disabled, given an action or a padlock) must not show through,
// and an item someone else still holds must stay as that holder saw it.
TEST_F(FolderMenuTest, ReusedItemsCarryNothingOverAndHeldItemsStayAsTheyWere) {
  setFolders({folder("Old", true), folder("Kept"), folder("Third")});
  menu().itemAtIndex(3)->setEnabled(false);
  const std::shared_ptr<platform::MenuItem> held = menu().items()[4];
  setFolders({folder("New"), folder("Other", true), folder("Last")});
  ASSERT_EQ(titles(),
            (std::vector<std::string>{"Quick File", "Main Folder", "---", "New", "Other", "Last"}));
  EXPECT_TRUE(menu().itemAtIndex(3)->isEnabled());
  EXPECT_EQ(menu().itemAtIndex(3)->imageRef(), jc->spaceImage);
  EXPECT_EQ(menu().itemAtIndex(4)->image()->name(), "icon:lock");
  EXPECT_NE(menu().itemAtIndex(4), held.get());
  EXPECT_EQ(held->title(), "Kept");
  EXPECT_EQ(held->imageRef(), jc->spaceImage);
  // A selected folder item that goes gives way to the main folder, as when
  // the items are removed.
  jc->folderSelectionPopup->selectItemAtIndex(5);
  setFolders({folder("Only")});
  EXPECT_EQ(jc->folderSelectionPopup->indexOfSelectedItem(), 1);
  EXPECT_TRUE(menu().itemAtIndex(2)->isSeparatorItem());
}

// Items of a large menu are made side by side in shared blocks. An item
// someone still holds must outlive the menu's other items and the panel,
// and items made later (after the menu shrank) must not land on it.
TEST_F(FolderMenuTest, HeldItemsOfALargeMenuOutliveTheRestAndThePanel) {
  FolderList many;
  for (int i = 0; i < 600; ++i) many.push_back(folder("Folder " + std::to_string(i)));
  setFolders(many);
  ASSERT_EQ(menu().numberOfItems(), 603);
  const std::shared_ptr<platform::MenuItem> early = menu().items()[3];
  const std::shared_ptr<platform::MenuItem> late = menu().items()[602];
  const std::weak_ptr<platform::MenuItem> gone = menu().items()[300];

  setFolders({folder("Only")});
  EXPECT_TRUE(gone.expired());
  FolderList others;
  for (int i = 0; i < 600; ++i) others.push_back(folder("Other " + std::to_string(i), true));
  setFolders(others);
  EXPECT_EQ(menu().itemAtIndex(602)->title(), "Other 599");
  EXPECT_EQ(early->title(), "Folder 0");
  EXPECT_EQ(late->title(), "Folder 599");

  jc.reset();  // the panel and its menu go; the held items stay
  EXPECT_EQ(early->title(), "Folder 0");
  EXPECT_EQ(late->title(), "Folder 599");
}

// A list from the cache is read only when the menu is looked at past its
// fixed items, and then shows exactly what the same list read at once does.
TEST_F(FolderMenuTest, ACachedListIsShownWhenFirstLookedAt) {
  const FolderList made = {folder("Sales"), folder("Finance", true), folder("Archive")};
  platform::plist::Array stored;
  for (const FolderEntry& entry : made) stored.emplace_back(entry);
  const auto entryOf = [](const platform::plist::Value& item) -> std::optional<FolderEntry> {
    return *item.asDict();
  };
  setFolders(made);
  const std::vector<std::string> shown = titles();
  std::vector<std::string> pictures;
  for (const auto& item : menu().items())
    pictures.push_back(item->image() ? item->image()->name() : "");

  jc->setFolderList(FolderList::ofStored(platform::plist::Value(stored), entryOf));
  jc->makeFolderPopup();
  jc->folderSelectionPopup->selectItemAtIndex(0);
  EXPECT_EQ(jc->folderSelectionPopup->indexOfSelectedItem(), 0);
  EXPECT_EQ(menu().itemAtIndex(1)->title(), "Main Folder");
  EXPECT_FALSE(jc->folderList->isMade()) << "nobody looked past the fixed items yet";

  EXPECT_EQ(titles(), shown);
  EXPECT_TRUE(jc->folderList->isMade());
  std::vector<std::string> cachedPictures;
  for (const auto& item : menu().items()) {
    cachedPictures.push_back(item->image() ? item->image()->name() : "");
  }
  EXPECT_EQ(cachedPictures, pictures);

  // A choice past the fixed items and the search make the list as well.
  jc->setFolderList(FolderList::ofStored(platform::plist::Value(stored), entryOf));
  jc->makeFolderPopup();
  jc->folderSelectionPopup->selectItemAtIndex(4);
  EXPECT_EQ(jc->folderSelectionPopup->titleOfSelectedItem(), "Finance");
  jc->setFolderList(FolderList::ofStored(platform::plist::Value(stored), entryOf));
  jc->makeFolderPopup();
  EXPECT_EQ(jc->SearchSameFolderName("archive"), 5);
  EXPECT_EQ(menu().itemAtIndex(5)->title(), "Archive");

  // A smaller list made at once replaces what was left to be made.
  jc->setFolderList(FolderList::ofStored(platform::plist::Value(stored), entryOf));
  jc->makeFolderPopup();
  setFolders({folder("Only")});
  EXPECT_EQ(titles(), (std::vector<std::string>{"Quick File", "Main Folder", "---", "Only"}));
}

TEST_F(FolderMenuTest, EntryWithoutNameKeepsItsPlace) {
  FolderEntry nameless = folder("x");
  nameless.erase("name");
  setFolders({nameless, folder("Second", true)});
  ASSERT_EQ(menu().numberOfItems(), 5);
  EXPECT_EQ(menu().itemAtIndex(4)->title(), "Second");
  EXPECT_EQ(menu().itemAtIndex(4)->image()->name(), "icon:lock");
}

// A "name" that is not a string and a "password" that is not a boolean
// count as missing, for the menu and for the search alike.
TEST_F(FolderMenuTest, MembersOfOtherTypesCountAsMissing) {
  FolderEntry numbered = folder("x");
  numbered["name"] = std::int64_t(7);
  FolderEntry worded = folder("Worded");
  worded["password"] = std::string("true");
  setFolders({numbered, worded, folder("Locked", true)});
  ASSERT_EQ(menu().numberOfItems(), 6);
  EXPECT_EQ(menu().itemAtIndex(3)->title(), "");
  EXPECT_EQ(menu().itemAtIndex(4)->imageRef(), jc->spaceImage);
  EXPECT_EQ(menu().itemAtIndex(5)->image()->name(), "icon:lock");
  EXPECT_EQ(jc->SearchSameFolderName(std::string("worded")), 4);
  EXPECT_EQ(jc->SearchSameFolderName(std::string("7")), 1);
}

// Names come from the printer: an item shows a name so that it can neither
// pass for another folder or a fixed item nor stretch the panel, while the
// folder behind the item keeps its own name for the ticket.
TEST_F(FolderMenuTest, FolderTitlesShowWhatTheNameReallyIs) {
  struct Case {
    std::string name;
    std::string title;
  };
  const Case cases[] = {
      {"Board", "Board"},
      {"\xE2\x80\xAE"
       "draoB",
       "<U+202E>draoB"},
      {"Invoice\xE2\x80\xAE"
       "fdp.exe",
       "Invoice<U+202E>fdp.exe"},
      {"Two\nLines", "Two\xE2\x90\x8ALines"},
      {"Main Folder", "Main Folder (printer folder)"},
      {"QUICK FILE", "QUICK FILE (printer folder)"},
      {"Quick  Fi1e ", "Quick  Fi1e  (printer folder)"},
      {"Main Folders", "Main Folders"},
      {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",
       "\xE2\x81\xA8\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D\xE2\x81\xA9"},
  };
  FolderList list;
  for (const Case& c : cases) list.push_back(folder(c.name));
  list.push_back(folder(std::string(4096, 'W')));
  setFolders(list);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto index = jobwick::panel::menuIndexOfFolder(i);
    EXPECT_EQ(menu().itemAtIndex(index)->title(), cases[i].title) << cases[i].name;
    // The ticket takes the folder's own name, not the title.
    const FolderEntry* entry = jobwick::panel::folderAtMenuIndex(jc->folderList, index);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(*jobwick::panel::folderName(*entry), cases[i].name);
  }
  const std::string wide =
      menu().itemAtIndex(jobwick::panel::menuIndexOfFolder(std::size(cases)))->title();
  EXPECT_EQ(platform::utf16Length(wide), 48u);
  EXPECT_EQ(titles()[0], "Quick File");
  EXPECT_EQ(titles()[1], "Main Folder");
}

struct SearchCase {
  const char* name;
  std::optional<FolderList> list;
  std::optional<std::string> search;
  std::int64_t expected;
};

class SearchSameFolderNameTest : public PanelTest,
                                 public ::testing::WithParamInterface<SearchCase> {};

TEST_P(SearchSameFolderNameTest, FindsTheMenuIndex) {
  makePanel();
  jc->folderList = GetParam().list;
  EXPECT_EQ(jc->SearchSameFolderName(GetParam().search), GetParam().expected);
}

const SearchCase kSearchCases[] = {
    {"ExactFirst", FolderList{folder("Sales"), folder("Finance")}, "Sales", 3},
    {"CaseOfFirstDiffers", FolderList{folder("Sales"), folder("Finance")}, "sALES", 3},
    {"Second", FolderList{folder("Sales"), folder("Finance")}, "FINANCE", 4},
    {"FirstOfTwoCaseTwins", FolderList{folder("x"), folder("abc"), folder("ABC")}, "Abc", 4},
    // An exact name wins over an earlier one that differs only in case.
    {"ExactTwinAfterCaseTwin", FolderList{folder("Sales"), folder("SALES", true)}, "SALES", 4},
    {"ExactTwinBeforeCaseTwin", FolderList{folder("SALES", true), folder("Sales")}, "Sales", 4},
    {"FullWidthLetters",
     FolderList{folder("x"),
                folder("\xEF\xBC\xB3\xEF\xBC\xA1\xEF\xBC\xAC\xEF\xBC\xA5\xEF\xBC\xB3")},
     "\xEF\xBD\x93\xEF\xBD\x81\xEF\xBD\x8C\xEF\xBD\x85\xEF\xBD\x93", 4},
    {"FullCaseFolding", FolderList{folder("x"), folder("STRASSE")},
     "Stra\xC3\x9F"
     "e",
     4},
    {"NonAsciiLetters",
     FolderList{folder("Gr\xC3\xBC\xC3\x9F"
                       "e"),
                folder("\xC3\x84rger")},
     "\xC3\xA4rger", 4},
    {"Unknown", FolderList{folder("Sales")}, "Sale", 1},
    {"NoName", FolderList{folder("Sales")}, std::nullopt, 1},
    {"NoList", std::nullopt, "Sales", 1},
    {"EmptyList", FolderList{}, "Sales", 1},
    {"EmptyNameMatchesEmptyName", FolderList{folder("")}, "", 3},
};

INSTANTIATE_TEST_SUITE_P(Folders, SearchSameFolderNameTest, ::testing::ValuesIn(kSearchCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jwtest
