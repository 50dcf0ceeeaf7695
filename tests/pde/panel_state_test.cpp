// SPDX-License-Identifier: Apache-2.0
// The shared readings of the panel's state: which folder a pop-up item
// shows, the folder list's readings of its entries, and what each lock reading makes of a missing,
// off, on or mixed button.
#include "pde/panel_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

namespace panel = jobwick::panel;
using platform::plist::Dict;

TEST(PanelState, FolderBehindEachMenuItem) {
  const std::optional<FolderList> list =
      FolderList{Dict{{"name", "A"}}, Dict{{"name", "B"}, {"password", true}}, Dict{}};
  const struct {
    std::int64_t index;
    const FolderEntry* expected;
  } cases[] = {
      {-1, nullptr},                     // nothing selected
      {panel::kQuickFileItem, nullptr},  // fixed items and separator
      {panel::kMainFolderItem, nullptr},
      {panel::kSeparatorItem, nullptr},
      {panel::kFirstFolderItem, &(*list)[0]},
      {panel::menuIndexOfFolder(2), &(*list)[2]},  // an entry without a name keeps its place
      {panel::menuIndexOfFolder(3), nullptr},      // past the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(panel::folderAtMenuIndex(list, c.index), c.expected) << c.index;
  }
  EXPECT_EQ(panel::folderAtMenuIndex(std::nullopt, panel::kFirstFolderItem), nullptr);

  EXPECT_EQ(*panel::folderName((*list)[0]), "A");
  EXPECT_EQ(panel::folderName((*list)[2]), nullptr);
  EXPECT_EQ(panel::folderName(Dict{{"name", 7}}), nullptr);
  EXPECT_FALSE(panel::folderIsProtected((*list)[0]));
  EXPECT_TRUE(panel::folderIsProtected((*list)[1]));
  EXPECT_FALSE(panel::folderIsProtected(Dict{{"password", "true"}}));  // only a boolean counts
}

// The list's readings must describe its own entries after every way the
// list changes (appends that move the entries, copies, moves, removal).
void expectReadingsOfOwnEntries(const FolderList& list, const char* step) {
  SCOPED_TRACE(step);
  ASSERT_EQ(list.looks().size(), list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    const FolderLook& look = list.looks()[i];
    const std::string* name = panel::folderName(list[i]);
    EXPECT_EQ(look.hasName, name != nullptr) << i;
    EXPECT_EQ(list.nameOf(look), name ? *name : std::string()) << i;
    EXPECT_EQ(look.isProtected, panel::folderIsProtected(list[i])) << i;
  }
}

TEST(PanelState, FolderListReadingsFollowEveryChange) {
  FolderList grown;
  for (int i = 0; i < 100; ++i) {  // several reallocations of the entries
    Dict entry{{"name", "Folder " + std::to_string(i) + (i % 5 == 0 ? " with a long name" : "")}};
    if (i % 3 == 0) entry["password"] = true;
    if (i % 7 == 0) entry = Dict{{"password", true}};  // no name
    grown.push_back(std::move(entry));
  }
  grown.push_back(Dict{{"name", ""}});  // an empty name is a name
  expectReadingsOfOwnEntries(grown, "appended");
  EXPECT_EQ(grown.nameOf(grown.looks()[3]), "Folder 3");
  EXPECT_TRUE(grown.looks()[7].isProtected);
  EXPECT_FALSE(grown.looks()[7].hasName);
  EXPECT_TRUE(grown.looks()[100].hasName);

  auto copy = std::make_unique<FolderList>(grown);
  expectReadingsOfOwnEntries(*copy, "copied");
  grown = FolderList{Dict{{"name", "Only"}}};  // the source goes
  expectReadingsOfOwnEntries(*copy, "copied, source replaced");
  expectReadingsOfOwnEntries(grown, "assigned from a list of one");
  EXPECT_EQ(*copy, FolderList(*copy));

  FolderList moved = std::move(*copy);
  copy.reset();
  expectReadingsOfOwnEntries(moved, "moved");
  EXPECT_EQ(moved.nameOf(moved.looks()[99]), "Folder 99");

  const auto next = moved.erase(moved.begin() + 1);
  EXPECT_EQ(next, moved.begin() + 1);
  expectReadingsOfOwnEntries(moved, "erased");
  EXPECT_EQ(moved.nameOf(moved.looks()[1]), "Folder 2");

  FolderList assigned;
  assigned = moved;
  moved = FolderList{};
  expectReadingsOfOwnEntries(assigned, "copy-assigned");
  expectReadingsOfOwnEntries(moved, "emptied");
  EXPECT_TRUE(moved.looks().empty());
}

TEST(PanelState, LockReadingsOfEveryState) {
  constexpr int kMixed = -1;
  const struct {
    std::optional<int> state;  // none: no button
    bool lockedOn, notUnlocked, unlocked;
  } cases[] = {
      {std::nullopt, false, false, true},
      {platform::NSOffState, false, false, true},
      {platform::NSOnState, true, true, false},
      {kMixed, false, true, false},
  };
  for (const auto& c : cases) {
    platform::Button button;
    if (c.state) button.setState(*c.state);
    const platform::Button* lock = c.state ? &button : nullptr;
    SCOPED_TRACE(c.state ? std::to_string(*c.state) : "missing");
    EXPECT_EQ(panel::isLockedOn(lock), c.lockedOn);
    EXPECT_EQ(panel::isSwitchedOn(lock), c.lockedOn);
    EXPECT_EQ(panel::isNotUnlocked(lock), c.notUnlocked);
    EXPECT_EQ(panel::isUnlocked(lock), c.unlocked);
    EXPECT_EQ(panel::isSwitchedOn(c.state ? &button.cell() : nullptr), c.lockedOn);
  }
}

}  // namespace
