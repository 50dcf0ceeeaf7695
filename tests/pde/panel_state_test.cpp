// The shared readings of the panel's state: which folder a pop-up item
// shows, and what each lock reading makes of a missing, off, on or mixed
// button.
#include "pde/panel_state.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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
