// SPDX-License-Identifier: Apache-2.0
// Controls: formatter-guarded edits, focus safety, selections that survive
// removals, and the rule that only user events send actions.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/image.h"

using namespace platform;

namespace {

// Records every action sent to it.
class Recorder : public Object {
 public:
  bool performAction(std::string_view selector, Object* sender) override {
    calls.emplace_back(selector);
    senders.push_back(sender);
    return true;
  }
  std::vector<std::string> calls;
  std::vector<Object*> senders;
};

// Records what the field shows the formatter and answers by `accept`.
struct Seen {
  std::string partial;
  Range proposed;
  std::string original;
  Range originalSelection;
};

class ScriptedFormatter : public Formatter {
 public:
  ScriptedFormatter(std::vector<Seen>* seen, std::function<bool(const Seen&)> accept)
      : seen_(seen), accept_(std::move(accept)) {}
  bool isPartialStringValid(std::string* partial, Range* proposedSelection,
                            const std::string& original, Range originalSelection,
                            std::string* error) override {
    Seen s{*partial, *proposedSelection, original, originalSelection};
    seen_->push_back(s);
    return accept_(s);
  }

 private:
  std::vector<Seen>* seen_;
  std::function<bool(const Seen&)> accept_;
};

std::shared_ptr<TextField> fieldWith(const std::string& text, std::vector<Seen>* seen,
                                     std::function<bool(const Seen&)> accept) {
  auto field = std::make_shared<TextField>();
  field->setStringValue(text);
  field->setFormatter(std::make_unique<ScriptedFormatter>(seen, std::move(accept)));
  return field;
}

}  // namespace

TEST(TextFieldEdits, RefusedEditsLeaveTextAndSelectionAlone) {
  struct Case {
    const char* name;
    std::function<bool(TextField&)> edit;
  };
  const std::vector<Case> cases = {
      {"replace", [](TextField& f) { return f.replaceSelection("x"); }},
      {"type", [](TextField& f) { return f.typeText("xyz") != 0; }},
      {"paste", [](TextField& f) { return f.pasteText("xyz"); }},
      {"delete", [](TextField& f) { return f.deleteBackward(); }},
      {"clear", [](TextField& f) { return f.clearByUser(); }},
  };
  for (const auto& c : cases) {
    std::vector<Seen> seen;
    auto field = fieldWith("abcd", &seen, [](const Seen&) { return false; });
    field->setSelectedRange({1, 2});
    EXPECT_FALSE(c.edit(*field)) << c.name;
    EXPECT_EQ(field->stringValue(), "abcd") << c.name;
    EXPECT_EQ(field->selectedRange(), (Range{1, 2})) << c.name;
    EXPECT_FALSE(seen.empty()) << c.name << ": the formatter was not asked";
  }
}

TEST(TextFieldEdits, FormatterSeesUtf16UnitsAndCaretFollowsInsertion) {
  std::vector<Seen> seen;
  // "日" is one unit, "😀" two.
  auto field = fieldWith("日😀", &seen, [](const Seen&) { return true; });
  field->setSelectedRange({1, 2});  // the emoji
  ASSERT_TRUE(field->replaceSelection("ab"));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].original, "日😀");
  EXPECT_EQ(seen[0].originalSelection, (Range{1, 2}));
  EXPECT_EQ(seen[0].partial, "日ab");
  EXPECT_EQ(seen[0].proposed, (Range{3, 0}));
  EXPECT_EQ(field->stringValue(), "日ab");
  EXPECT_EQ(field->selectedRange(), (Range{3, 0}));

  // Pasting goes to the end as one edit whatever the selection was.
  field->setSelectedRange({0, 1});
  ASSERT_TRUE(field->pasteText("😀"));
  EXPECT_EQ(seen.back().originalSelection, (Range{3, 0}));
  EXPECT_EQ(field->stringValue(), "日ab😀");
  EXPECT_EQ(field->selectedRange(), (Range{5, 0}));
}

TEST(TextFieldEdits, TypingAsksPerCharacterAndCountsWhatWasTaken) {
  std::vector<Seen> seen;
  // A digits-only rule that looks at the inserted character.
  auto field = fieldWith("", &seen, [](const Seen& s) {
    const std::string& p = s.partial;
    return p.size() <= s.original.size() || (p.back() >= '0' && p.back() <= '9');
  });
  EXPECT_EQ(field->typeText("1a2"), 2u);
  EXPECT_EQ(field->stringValue(), "12");
  EXPECT_EQ(seen.size(), 3u);
}

TEST(TextFieldEdits, TypingOffersEachCharacterAtTheEndOfTheTextSoFar) {
  // The field starts with an invalid byte (shown as U+FFFD once edited) and
  // the caret at the start; "b" is refused, the rest taken.
  std::vector<Seen> seen;
  auto field = fieldWith("a\xff", &seen, [](const Seen& s) { return s.partial.back() != 'b'; });
  field->setSelectedRange({0, 0});
  EXPECT_EQ(field->typeText("\xf0\x9f\x98\x80"
                            "bc"),
            2u);
  const std::string shown = "a\xef\xbf\xbd\xf0\x9f\x98\x80";
  ASSERT_EQ(seen.size(), 3u);
  const std::vector<Seen> expected = {
      {shown, {4, 0}, "a\xff", {2, 0}},
      {shown + "b", {5, 0}, shown, {4, 0}},
      {shown + "c", {5, 0}, shown, {4, 0}},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(seen[i].partial, expected[i].partial) << i;
    EXPECT_EQ(seen[i].proposed, expected[i].proposed) << i;
    EXPECT_EQ(seen[i].original, expected[i].original) << i;
    EXPECT_EQ(seen[i].originalSelection, expected[i].originalSelection) << i;
  }
  EXPECT_EQ(field->stringValue(), shown + "c");
  EXPECT_EQ(field->selectedRange(), (Range{5, 0}));
}

TEST(TextFieldEdits, UserEditsSendTheActionCodeAndRefusalsDoNot) {
  Recorder target;
  std::vector<Seen> seen;
  auto field =
      fieldWith("", &seen, [](const Seen& s) { return s.partial.find('x') == s.partial.npos; });
  field->setTarget(&target);
  field->setAction("codeETextProc:");
  field->setStringValue("12");
  field->setSelectedRange({0, 1});
  EXPECT_TRUE(target.calls.empty());
  EXPECT_EQ(field->typeText("34"), 2u);
  EXPECT_EQ(target.calls.size(), 1u) << "one action for the typed text";
  EXPECT_FALSE(field->pasteText("x"));
  EXPECT_EQ(field->typeText("x"), 0u);
  EXPECT_EQ(target.calls.size(), 1u);
  EXPECT_TRUE(field->deleteBackward());
  EXPECT_TRUE(field->pasteText("5"));
  EXPECT_TRUE(field->clearByUser());
  EXPECT_EQ(target.calls.size(), 4u);
}

TEST(TextFieldEdits, DeletingNeverSplitsACharacter) {
  std::vector<Seen> seen;
  auto field = fieldWith("a😀", &seen, [](const Seen&) { return true; });
  ASSERT_TRUE(field->deleteBackward());
  EXPECT_EQ(field->stringValue(), "a");
  // A selection set in the middle of a surrogate pair is widened.
  field->setStringValue("😀b");
  field->setSelectedRange({1, 2});
  EXPECT_EQ(field->selectedRange(), (Range{0, 3}));
  ASSERT_TRUE(field->clearByUser());
  EXPECT_EQ(field->stringValue(), "");
  EXPECT_FALSE(field->deleteBackward()) << "nothing before the caret";
}

TEST(TextFieldEdits, UnavailableFieldsRefuseWithoutAskingTheFormatter) {
  struct Case {
    const char* name;
    std::function<void(TextField&, View&)> setUp;
  };
  const std::vector<Case> cases = {
      {"not editable", [](TextField& f, View&) { f.setEditable(false); }},
      {"disabled", [](TextField& f, View&) { f.setEnabled(false); }},
      {"hidden", [](TextField& f, View&) { f.setHidden(true); }},
      {"inside a hidden box", [](TextField&, View& box) { box.setHidden(true); }},
  };
  for (const auto& c : cases) {
    std::vector<Seen> seen;
    auto box = std::make_shared<Box>();
    auto field = fieldWith("12", &seen, [](const Seen&) { return true; });
    box->addSubview(field);
    c.setUp(*field, *box);
    EXPECT_FALSE(field->replaceSelection("3")) << c.name;
    EXPECT_EQ(field->typeText("3"), 0u) << c.name;
    EXPECT_FALSE(field->pasteText("3")) << c.name;
    EXPECT_FALSE(field->deleteBackward()) << c.name;
    EXPECT_FALSE(field->clearByUser()) << c.name;
    EXPECT_EQ(field->stringValue(), "12") << c.name;
    EXPECT_TRUE(seen.empty()) << c.name;
  }
}

TEST(Focus, FocusIsDroppedWhenTheFocusedViewLeavesOrDies) {
  struct Case {
    const char* name;
    std::function<void(Window&, std::shared_ptr<View>&, std::shared_ptr<Box>&)> leave;
  };
  const std::vector<Case> cases = {
      {"field removed and released",
       [](Window&, std::shared_ptr<View>& field, std::shared_ptr<Box>&) {
         View* raw = field.get();
         field.reset();
         raw->removeFromSuperview();
       }},
      {"field removed but kept alive", [](Window&, std::shared_ptr<View>& field,
                                          std::shared_ptr<Box>&) { field->removeFromSuperview(); }},
      {"enclosing box removed",
       [](Window&, std::shared_ptr<View>& field, std::shared_ptr<Box>& box) {
         field.reset();
         View* raw = box.get();
         box.reset();
         raw->removeFromSuperview();
       }},
      {"content view replaced",
       [](Window& window, std::shared_ptr<View>& field, std::shared_ptr<Box>& box) {
         field.reset();
         box.reset();
         window.setContentView(std::make_shared<View>());
       }},
  };
  for (const auto& c : cases) {
    Window window;
    auto root = std::make_shared<View>();
    auto box = std::make_shared<Box>();
    std::shared_ptr<View> field = std::make_shared<TextField>();
    box->addSubview(field);
    root->addSubview(box);
    window.setContentView(root);
    root.reset();
    ASSERT_TRUE(window.makeFirstResponder(field.get())) << c.name;
    c.leave(window, field, box);
    EXPECT_EQ(window.firstResponder(), nullptr) << c.name;
  }
}

TEST(Focus, OnlyViewsOfTheWindowTakeFocusAndTheWindowLetsGoWhenItDies) {
  auto root = std::make_shared<View>();
  auto inside = std::make_shared<TextField>();
  root->addSubview(inside);
  auto outside = std::make_shared<TextField>();
  {
    Window window;
    window.setContentView(root);
    EXPECT_EQ(inside->window(), &window);
    EXPECT_FALSE(window.makeFirstResponder(outside.get()));
    EXPECT_TRUE(window.makeFirstResponder(inside.get()));
    EXPECT_FALSE(window.makeFirstResponder(outside.get()));
    EXPECT_EQ(window.firstResponder(), inside.get());
  }
  EXPECT_EQ(inside->window(), nullptr);

  // A hierarchy attached to a window by hand lets go of the focus as it dies.
  Window window;
  {
    auto page = std::make_shared<View>();
    auto field = std::make_shared<TextField>();
    page->addSubview(field);
    page->setWindow(&window);
    ASSERT_TRUE(window.makeFirstResponder(field.get()));
  }
  EXPECT_EQ(window.firstResponder(), nullptr);
}

TEST(Focus, RemovedTabTakesItsFocusAlong) {
  Window window;
  auto tabs = std::make_shared<TabView>();
  std::vector<TextField*> fields;
  for (int i = 0; i < 3; ++i) {
    auto item = std::make_shared<TabViewItem>();
    auto page = std::make_shared<View>();
    auto field = std::make_shared<TextField>();
    fields.push_back(field.get());
    page->addSubview(field);
    item->setView(page);
    tabs->addTabViewItem(item);
  }
  window.setContentView(tabs);
  ASSERT_TRUE(window.makeFirstResponder(fields[2]));
  tabs->selectTabViewItemAtIndex(2);
  tabs->removeTabViewItem(tabs->tabViewItemAtIndex(2));
  EXPECT_EQ(window.firstResponder(), nullptr);
  EXPECT_EQ(tabs->numberOfTabViewItems(), 2);
  EXPECT_EQ(tabs->indexOfSelectedTabViewItem(), 1);
  tabs->removeTabViewItem(tabs->tabViewItemAtIndex(0));
  EXPECT_EQ(tabs->indexOfSelectedTabViewItem(), 0) << "the selected tab moved down one place";
}

TEST(PopUpButton, SelectionStaysInRangeAndOnItsItemAsItemsGo) {
  struct Case {
    const char* name;
    int items;
    std::int64_t selected;
    std::vector<std::int64_t> removals;
    std::int64_t expected;
  };
  const std::vector<Case> cases = {
      {"earlier item removed", 5, 3, {1}, 2},          {"later item removed", 5, 1, {3}, 1},
      {"selected item removed", 5, 2, {2}, 2},         {"selected last item removed", 5, 4, {4}, 3},
      {"folder items rebuilt", 6, 4, {2, 2, 2, 2}, 1}, {"everything removed", 3, 1, {0, 0, 0}, -1},
      {"out of range removal", 3, 2, {7, -1}, 2},
  };
  for (const auto& c : cases) {
    PopUpButton popUp;
    for (int i = 0; i < c.items; ++i) {
      popUp.menu()->addItem(std::make_shared<MenuItem>("item" + std::to_string(i), "", ""));
    }
    popUp.selectItemAtIndex(c.selected);
    for (std::int64_t index : c.removals) popUp.menu()->removeItemAtIndex(index);
    EXPECT_EQ(popUp.indexOfSelectedItem(), c.expected) << c.name;
    if (c.expected >= 0) {
      EXPECT_EQ(popUp.selectedItem(), popUp.menu()->itemAtIndex(c.expected)) << c.name;
    } else {
      EXPECT_EQ(popUp.selectedItem(), nullptr) << c.name;
      EXPECT_EQ(popUp.titleOfSelectedItem(), "") << c.name;
    }
  }
}

TEST(PopUpButton, RemovingTheTailInOneStepMatchesRemovingItemByItem) {
  // (items, selected, from): the tail removal must leave the items and the
  // selection exactly as removing at `from` one item at a time does.
  const std::vector<std::array<std::int64_t, 3>> cases = {
      {6, 4, 2}, {6, 2, 2}, {6, 1, 2},  {6, -1, 2}, {3, 1, 0},
      {3, 2, 3}, {3, 2, 9}, {3, 2, -4}, {2, 1, 2},  {0, -1, 0},
  };
  for (const auto& [items, selected, from] : cases) {
    PopUpButton bulk;
    PopUpButton single;
    for (int i = 0; i < items; ++i) {
      bulk.menu()->addItem(std::make_shared<MenuItem>("item" + std::to_string(i), "", ""));
      single.menu()->addItem(bulk.menu()->items().back());
    }
    bulk.selectItemAtIndex(selected);
    single.selectItemAtIndex(selected);
    bulk.menu()->removeItemsFromIndex(from);
    const std::int64_t start = std::max<std::int64_t>(from, 0);
    while (single.numberOfItems() > start) single.menu()->removeItemAtIndex(start);
    const std::string name =
        std::to_string(items) + "/" + std::to_string(selected) + "/" + std::to_string(from);
    EXPECT_EQ(bulk.menu()->items(), single.menu()->items()) << name;
    EXPECT_EQ(bulk.indexOfSelectedItem(), single.indexOfSelectedItem()) << name;
  }
}

// Whoever draws a menu redraws it only when its revision moves: every change
// that shows moves it, a setter that changes nothing does not, and an item
// no longer in the menu changes it no more.
TEST(Menu, RevisionMovesWithEveryChangeThatShows) {
  PopUpButton popUp;
  Menu& menu = *popUp.menu();
  for (int i = 0; i < 4; ++i)
    menu.addItem(std::make_shared<MenuItem>("item" + std::to_string(i), "", ""));
  auto removed = menu.items()[3];
  auto tail = menu.items()[2];
  const auto picture = Image::iconForFileType(fourCharCode("lock"));
  struct Change {
    const char* name;
    std::function<void()> make;
    bool shows;
  };
  const std::vector<Change> changes = {
      {"title", [&] { menu.itemAtIndex(0)->setTitle("Sales"); }, true},
      {"same title", [&] { menu.itemAtIndex(0)->setTitle("Sales"); }, false},
      {"disabled", [&] { menu.itemAtIndex(1)->setEnabled(false); }, true},
      {"still disabled", [&] { menu.itemAtIndex(1)->setEnabled(false); }, false},
      {"picture", [&] { menu.itemAtIndex(1)->setImage(picture); }, true},
      {"same picture", [&] { menu.itemAtIndex(1)->setImage(picture); }, false},
      {"one item removed", [&] { menu.removeItemAtIndex(3); }, true},
      {"a removed item renamed", [&] { removed->setTitle("gone"); }, false},
      {"the tail removed", [&] { menu.removeItemsFromIndex(2); }, true},
      {"a removed tail item dimmed", [&] { tail->setEnabled(false); }, false},
      {"a separator added", [&] { menu.addItem(MenuItem::separatorItem()); }, true},
      {"nothing removed past the end", [&] { menu.removeItemsFromIndex(9); }, false},
  };
  for (const Change& change : changes) {
    const std::uint64_t before = menu.revision();
    change.make();
    EXPECT_EQ(menu.revision() != before, change.shows) << change.name;
  }
}

// Items left to be made: made at the first look past the items made so far
// (or any change), never for a look at those, and never once the items they
// would be are removed.
TEST(Menu, PendingItemsAreMadeAtTheFirstLookPastTheMadeOnes) {
  struct Case {
    const char* name;
    std::function<void(PopUpButton&)> look;
    bool makes;
    std::int64_t items;  // in the end, whatever asks
  };
  const std::vector<Case> cases = {
      {"a fixed item", [](PopUpButton& p) { p.menu()->itemAtIndex(1); }, false, 5},
      {"the selection", [](PopUpButton& p) { p.indexOfSelectedItem(); }, false, 5},
      {"a fixed item selected", [](PopUpButton& p) { p.selectItemAtIndex(0); }, false, 5},
      {"the selected title", [](PopUpButton& p) { p.titleOfSelectedItem(); }, false, 5},
      {"removed from the pending ones", [](PopUpButton& p) { p.menu()->removeItemsFromIndex(2); },
       false, 2},
      {"removed from a fixed one", [](PopUpButton& p) { p.menu()->removeItemsFromIndex(1); }, false,
       1},
      {"an old item past the fixed ones", [](PopUpButton& p) { p.menu()->itemAtIndex(2); }, true,
       5},
      {"a new item", [](PopUpButton& p) { p.menu()->itemAtIndex(4); }, true, 5},
      {"the count", [](PopUpButton& p) { p.numberOfItems(); }, true, 5},
      {"the items", [](PopUpButton& p) { p.menu()->items(); }, true, 5},
      {"the revision", [](PopUpButton& p) { p.menu()->revision(); }, true, 5},
      {"a folder selected", [](PopUpButton& p) { p.selectItemAtIndex(4); }, true, 5},
      {"a folder chosen", [](PopUpButton& p) { p.selectItemByUser(4); }, true, 5},
      {"an item added", [](PopUpButton& p) { p.menu()->addItem(MenuItem::separatorItem()); }, true,
       6},
      {"one item removed", [](PopUpButton& p) { p.menu()->removeItemAtIndex(0); }, true, 4},
      {"removed after the pending start", [](PopUpButton& p) { p.menu()->removeItemsFromIndex(4); },
       true, 4},
  };
  for (const Case& c : cases) {
    PopUpButton popUp;
    Menu& menu = *popUp.menu();
    for (const char* title : {"quick", "main", "old separator", "old folder"}) {
      menu.addItem(std::make_shared<MenuItem>(title, "", ""));
    }
    popUp.selectItemAtIndex(1);
    int made = 0;
    menu.setPendingItems(2, [&] {
      ++made;
      menu.removeItemsFromIndex(2);
      menu.addItem(MenuItem::separatorItem());
      for (const char* title : {"Sales", "Legal"}) {
        menu.addItem(std::make_shared<MenuItem>(title, "", ""));
      }
    });
    c.look(popUp);
    EXPECT_EQ(made, c.makes ? 1 : 0) << c.name;
    // Made once at most; the old items are never seen again.
    EXPECT_EQ(popUp.numberOfItems(), c.items) << c.name;
    EXPECT_LE(made, 1) << c.name;
    for (const auto& item : menu.items()) EXPECT_NE(item->title(), "old folder") << c.name;
  }
}

TEST(UserEvents, OnlyUserEventsSendActionsAndUnavailableControlsRefuse) {
  Recorder target;
  auto box = std::make_shared<Box>();
  auto check = std::make_shared<Button>();
  auto matrix = std::make_shared<Matrix>();
  auto popUp = std::make_shared<PopUpButton>();
  for (auto* control : std::initializer_list<Control*>{check.get(), matrix.get(), popUp.get()}) {
    control->setTarget(&target);
    control->setAction("proc:");
  }
  box->addSubview(check);
  box->addSubview(matrix);
  box->addSubview(popUp);
  check->setButtonType(ButtonType::CheckBox);
  for (int i = 0; i < 3; ++i) matrix->addRow(std::make_shared<ButtonCell>());
  popUp->menu()->addItem(std::make_shared<MenuItem>("a", "", ""));
  popUp->menu()->addItem(MenuItem::separatorItem());
  popUp->menu()->addItem(std::make_shared<MenuItem>("b", "", ""));

  // Changes from code.
  check->setState(NSOnState);
  matrix->selectCellAtRow(1);
  popUp->selectItemAtIndex(2);
  EXPECT_TRUE(target.calls.empty());

  // Refused user events.
  matrix->cellAtRow(2)->setEnabled(false);
  EXPECT_FALSE(matrix->selectRowByUser(2)) << "disabled cell";
  EXPECT_FALSE(matrix->selectRowByUser(3)) << "no such row";
  EXPECT_FALSE(popUp->selectItemByUser(1)) << "separator";
  EXPECT_FALSE(popUp->selectItemByUser(5)) << "no such item";
  check->setEnabled(false);
  EXPECT_FALSE(check->performClick());
  check->setEnabled(true);
  box->setHidden(true);
  EXPECT_FALSE(check->performClick()) << "inside a hidden box";
  EXPECT_FALSE(popUp->selectItemByUser(0)) << "inside a hidden box";
  EXPECT_TRUE(target.calls.empty());
  EXPECT_EQ(check->state(), NSOnState);
  EXPECT_EQ(matrix->selectedRow(), 1);
  box->setHidden(false);

  // Taken user events.
  EXPECT_TRUE(check->performClick());
  EXPECT_EQ(check->state(), NSOffState);
  EXPECT_TRUE(matrix->selectRowByUser(0));
  EXPECT_EQ(matrix->cellAtRow(0)->state(), NSOnState);
  EXPECT_EQ(matrix->cellAtRow(1)->state(), NSOffState);
  EXPECT_TRUE(popUp->selectItemByUser(0));
  EXPECT_EQ(target.calls.size(), 3u);
  EXPECT_EQ(target.senders, (std::vector<Object*>{check.get(), matrix.get(), popUp.get()}));

  // An out-of-range selection from code clears the matrix.
  matrix->selectCellAtRow(9);
  EXPECT_EQ(matrix->selectedRow(), -1);
  EXPECT_EQ(matrix->selectedCell(), nullptr);
  EXPECT_EQ(matrix->cellAtRow(0)->state(), NSOffState);
}

TEST(Hierarchy, SubviewsMoveRatherThanDuplicateAndCyclesAreRefused) {
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  auto child = std::make_shared<View>();
  child->setIdentifier("child");
  a->addSubview(child);
  b->addSubview(child);
  EXPECT_TRUE(a->subviews().empty());
  EXPECT_EQ(child->superview(), b.get());
  EXPECT_EQ(b->findViewWithIdentifier("child"), child.get());
  child->addSubview(b);  // b is child's parent: refused
  EXPECT_TRUE(child->subviews().empty());
  b.reset();  // the parent dies; the child lives on without it
  EXPECT_EQ(child->superview(), nullptr);
}
