// SPDX-License-Identifier: Apache-2.0
// Controls of the panel: views, tab view, boxes, buttons, matrices of button
// cells, text fields with formatters, pop-up buttons with menus, progress
// indicators, and the window that holds the keyboard focus.
//
// Changing a control from code never sends its action; only the user-event
// entry points (click, selectRowByUser, selectItemByUser, typeText, ...) do.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image.h"
#include "platform/object.h"

namespace platform {

class Window;
class Formatter;
class PopUpButton;
class Menu;

/// A range of UTF-16 units.
struct Range {
  std::size_t location = 0;
  std::size_t length = 0;
  bool operator==(const Range&) const = default;
};

enum class Color { Black, Grey, Other };
const char* colorName(Color color);

/// Control states.
inline constexpr int NSOffState = 0;
inline constexpr int NSOnState = 1;

class View : public Object {
 public:
  /// A dying view gives up the keyboard focus of its window.
  ~View() override;
  /// Kind name used by interface files and state dumps ("view", "button"...).
  virtual const char* kind() const { return "view"; }

  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string id) { identifier_ = std::move(id); }
  std::int64_t tag() const { return tag_; }
  void setTag(std::int64_t tag) { tag_ = tag; }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; }

  // Layout hints for a host that draws the panel; the controls ignore them.
  /// The subviews sit side by side (a label, its field, its lock button)
  /// rather than one below the other.
  bool arrangesInRow() const { return inRow_; }
  void setArrangesInRow(bool inRow) { inRow_ = inRow; }
  /// The identifier of the control (or matrix cell) whose title names this
  /// view when no label beside it does; "" for none.
  const std::string& labelledBy() const { return labelledBy_; }
  void setLabelledBy(std::string id) { labelledBy_ = std::move(id); }

  View* superview() const { return superview_; }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  void addSubview(std::shared_ptr<View> view);
  /// Detaches this view from its superview (it is released if nobody else holds it).
  void removeFromSuperview();

  /// The window of the view hierarchy, or null.
  Window* window() const;
  /// Attaches the root of a hierarchy to a window (done by Window).
  void setWindow(Window* window) { window_ = window; }

  /// Finds a view with this identifier in the hierarchy below (self included).
  View* findViewWithIdentifier(std::string_view id);

 private:
  std::string identifier_;
  std::int64_t tag_ = 0;
  bool hidden_ = false;
  bool inRow_ = false;
  std::string labelledBy_;
  View* superview_ = nullptr;
  Window* window_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
};

/// A control: a view with enabled state and a target/action.
class Control : public View {
 public:
  const char* kind() const override { return "control"; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  Object* target() const { return target_; }
  const std::string& action() const { return action_; }
  void setTarget(Object* target) { target_ = target; }
  void setAction(std::string selector) { action_ = std::move(selector); }
  /// Sends the action to the target with this control as sender. Answers
  /// false when there is no target or it has no such action.
  bool sendAction();

 private:
  bool enabled_ = true;
  Object* target_ = nullptr;
  std::string action_;
};

class TabViewItem : public Object {
 public:
  const std::string& label() const { return label_; }
  void setLabel(std::string label) { label_ = std::move(label); }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string id) { identifier_ = std::move(id); }
  View* view() const { return view_.get(); }
  const std::shared_ptr<View>& viewRef() const { return view_; }
  void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

 private:
  std::string label_;
  std::string identifier_;
  std::shared_ptr<View> view_;
};

class TabView : public Control {
 public:
  const char* kind() const override { return "tabview"; }
  std::int64_t numberOfTabViewItems() const { return std::int64_t(items_.size()); }
  /// The item at `index`, or null when out of range.
  TabViewItem* tabViewItemAtIndex(std::int64_t index) const;
  /// Appends an item; its view (set before adding) becomes a subview of the
  /// tab view, so that controls on every tab belong to the window. The first
  /// item added becomes the selected one.
  void addTabViewItem(std::shared_ptr<TabViewItem> item);
  /// Removes the item and detaches its view (a no-op for an item of another
  /// tab view). The selection stays on the same item, or moves to its
  /// neighbour when the selected item goes.
  void removeTabViewItem(TabViewItem* item);
  void selectTabViewItemAtIndex(std::int64_t index);
  void selectFirstTabViewItem() { selectTabViewItemAtIndex(0); }
  /// Index of the selected item, -1 when there is none.
  std::int64_t indexOfSelectedTabViewItem() const { return selected_; }
  const std::vector<std::shared_ptr<TabViewItem>>& items() const { return items_; }

 private:
  std::vector<std::shared_ptr<TabViewItem>> items_;
  std::int64_t selected_ = -1;
};

class Box : public View {
 public:
  const char* kind() const override { return "box"; }
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }

 private:
  std::string title_;
};

enum class ButtonType { Push, CheckBox, Radio, Toggle };

/// Title, state and images of a button; shared by buttons and matrix cells.
class ButtonCell : public Object {
 public:
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  int state() const { return state_; }
  void setState(int state) { state_ = state; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  std::int64_t tag() const { return tag_; }
  void setTag(std::int64_t tag) { tag_ = tag; }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string id) { identifier_ = std::move(id); }
  ButtonType buttonType() const { return type_; }
  void setButtonType(ButtonType type) { type_ = type; }
  Image* image() const { return image_.get(); }
  void setImage(std::shared_ptr<Image> image) { image_ = std::move(image); }
  Image* alternateImage() const { return alternateImage_.get(); }
  void setAlternateImage(std::shared_ptr<Image> image) { alternateImage_ = std::move(image); }

 private:
  std::string title_;
  std::string identifier_;
  int state_ = NSOffState;
  bool enabled_ = true;
  std::int64_t tag_ = 0;
  ButtonType type_ = ButtonType::Push;
  std::shared_ptr<Image> image_;
  std::shared_ptr<Image> alternateImage_;
};

class Button : public Control {
 public:
  const char* kind() const override { return "button"; }
  ButtonCell& cell() { return cell_; }
  const ButtonCell& cell() const { return cell_; }
  const std::string& title() const { return cell_.title(); }
  void setTitle(std::string title) { cell_.setTitle(std::move(title)); }
  int state() const { return cell_.state(); }
  void setState(int state) { cell_.setState(state); }
  ButtonType buttonType() const { return cell_.buttonType(); }
  void setButtonType(ButtonType type) { cell_.setButtonType(type); }
  Image* image() const { return cell_.image(); }
  void setImage(std::shared_ptr<Image> image) { cell_.setImage(std::move(image)); }
  Image* alternateImage() const { return cell_.alternateImage(); }
  void setAlternateImage(std::shared_ptr<Image> image) {
    cell_.setAlternateImage(std::move(image));
  }

  /// The user clicks: does nothing when disabled or hidden; check boxes and
  /// toggles flip their state, radio buttons turn on; then the action is
  /// sent. Answers whether the click was taken.
  bool performClick();

 private:
  ButtonCell cell_;
};

/// A matrix of radio cells, one column.
class Matrix : public Control {
 public:
  const char* kind() const override { return "matrix"; }
  std::int64_t numberOfRows() const { return std::int64_t(cells_.size()); }
  /// The cell at (row, column), or null when out of range.
  ButtonCell* cellAtRow(std::int64_t row, std::int64_t column = 0) const;
  void addRow(std::shared_ptr<ButtonCell> cell);
  /// Selects one cell (its state on, the others off); an out-of-range row
  /// clears the selection.
  void selectCellAtRow(std::int64_t row, std::int64_t column = 0);
  /// The selected row, -1 when none.
  std::int64_t selectedRow() const { return selectedRow_; }
  ButtonCell* selectedCell() const { return cellAtRow(selectedRow_); }
  const std::vector<std::shared_ptr<ButtonCell>>& cells() const { return cells_; }

  /// The user picks a row: refused when the matrix or the cell is disabled
  /// or the row does not exist; otherwise selects it and sends the action.
  bool selectRowByUser(std::int64_t row);

 private:
  std::vector<std::shared_ptr<ButtonCell>> cells_;
  std::int64_t selectedRow_ = -1;
};

/// Decides whether an edit of a text field may happen.
class Formatter : public Object {
 public:
  /// Text shown for an object value; here values are strings.
  virtual std::string stringForObjectValue(const std::string& value) { return value; }
  /// Object value for a text; always succeeds with the text itself.
  virtual bool getObjectValue(std::string* value, const std::string& text, std::string* error) {
    if (value) *value = text;
    return true;
  }
  /// The edit check: `partial` is the text after the edit, `proposedSelection`
  /// the selection after it, `original`/`originalSelection` before it.
  /// Answer true to let the edit happen. The field takes no changes made to
  /// `partial` or `proposedSelection`; a formatter leaves them as they are.
  virtual bool isPartialStringValid(std::string* partial, Range* proposedSelection,
                                    const std::string& original, Range originalSelection,
                                    std::string* error) {
    return true;
  }
  /// The most UTF-16 units the formatter lets the field hold; 0 for no limit.
  virtual std::int64_t maximumLength() const { return 0; }
};

/// A number formatter: keeps a format text that the panel's filters carry
/// but never apply.
class NumberFormatter : public Formatter {
 public:
  const std::string& format() const { return format_; }
  void setFormat(std::string format) { format_ = std::move(format); }

 private:
  std::string format_;
};

class TextField : public Control {
 public:
  const char* kind() const override { return isEditable() ? "textfield" : "label"; }
  const std::string& stringValue() const { return text_; }
  void setStringValue(std::string text);
  bool isEditable() const { return editable_; }
  void setEditable(bool editable) { editable_ = editable; }
  bool isSelectable() const { return selectable_; }
  void setSelectable(bool selectable) { selectable_ = selectable; }
  /// A secure field holds a secret (a pass code, a password): a host that
  /// draws it shows a bullet for each character and never copies it out.
  bool isSecure() const { return secure_; }
  void setSecure(bool secure) { secure_ = secure; }
  Color textColor() const { return color_; }
  void setTextColor(Color color) { color_ = color; }
  Formatter* formatter() const { return formatter_.get(); }
  /// The field owns its formatter.
  void setFormatter(std::unique_ptr<Formatter> formatter) { formatter_ = std::move(formatter); }
  /// The selection (caret when its length is 0), in UTF-16 units.
  Range selectedRange() const { return selection_; }
  void setSelectedRange(Range range);

  // Every user edit below that changes the text sends the field's action
  // (typeText once for the whole text).

  /// The user replaces the selection with `text` (typing or pasting):
  /// refused when the field is not editable, hidden, or the formatter
  /// refuses the edit; then the text stays as it was. On success the caret
  /// follows the inserted text. Answers whether the edit happened.
  bool replaceSelection(std::string_view text);
  /// Moves the caret to the end and types `text` one character at a time,
  /// each through the formatter. Answers the number of characters taken.
  std::size_t typeText(std::string_view text);
  /// Moves the caret to the end and pastes `text` as one edit.
  bool pasteText(std::string_view text);
  /// Deletes the selection, or the character before the caret.
  bool deleteBackward();
  /// Selects everything and deletes it.
  bool clearByUser();

 private:
  bool applyEdit(const std::string& proposed, Range proposedSelection);

  std::string text_;
  bool editable_ = true;
  bool selectable_ = true;
  bool secure_ = false;
  Color color_ = Color::Black;
  std::unique_ptr<Formatter> formatter_;
  Range selection_;
};

class MenuItem : public Object {
 public:
  MenuItem() = default;
  MenuItem(std::string title, std::string action, std::string keyEquivalent)
      : title_(std::move(title)), action_(std::move(action)), key_(std::move(keyEquivalent)) {}
  static std::shared_ptr<MenuItem> separatorItem();

  bool isSeparatorItem() const { return separator_; }
  const std::string& title() const { return title_; }
  void setTitle(std::string title);
  const std::string& action() const { return action_; }
  const std::string& keyEquivalent() const { return key_; }
  Image* image() const { return image_.get(); }
  const std::shared_ptr<Image>& imageRef() const { return image_; }
  void setImage(std::shared_ptr<Image> image);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);

 private:
  friend class Menu;
  std::string title_;
  std::string action_;
  std::string key_;
  bool separator_ = false;
  bool enabled_ = true;
  std::shared_ptr<Image> image_;
  Menu* menu_ = nullptr;  // the menu holding this item, told about its changes
};

class Menu : public Object {
 public:
  Menu() = default;
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;
  ~Menu() override;
  std::int64_t numberOfItems() const {
    makePendingItems();
    return std::int64_t(items_.size());
  }
  MenuItem* itemAtIndex(std::int64_t index) const;
  void addItem(std::shared_ptr<MenuItem> item);
  /// Removes the item at `index` (out of range: nothing happens); the pop-up
  /// button showing this menu keeps its selection in range.
  void removeItemAtIndex(std::int64_t index);
  /// Removes every item from `index` on in one step (nothing when `index` is
  /// at or past the end; a negative index counts as 0). The pop-up button's
  /// selection ends where removing the items one at a time at `index` would
  /// leave it: a selected removed item gives way to item `index` - 1.
  void removeItemsFromIndex(std::int64_t index);
  const std::vector<std::shared_ptr<MenuItem>>& items() const {
    makePendingItems();
    return items_;
  }
  /// Grows whenever the menu shows something new: an item added or removed,
  /// or an item's title, picture or enabled state changed. Whoever draws the
  /// menu redraws it only when this differs from what it last drew.
  std::uint64_t revision() const {
    makePendingItems();
    return revision_;
  }
  /// Leaves the items from index `from` on to `make`, which makes them over
  /// (changing, adding and removing items with the calls above) the first
  /// time anyone asks for the items, their number, the revision or an item
  /// at `from` or after, or changes the menu; until then the menu costs
  /// nothing for them. Removing the items from `from` or before on drops
  /// `make` unmade, as does an empty `make`. The menu may outlive whatever
  /// `make` makes the items from: `make` checks that it is still there.
  void setPendingItems(std::int64_t from, std::function<void()> make);

 private:
  friend class PopUpButton;
  friend class MenuItem;
  void itemsGone(std::size_t from);
  void makePendingItems() const;
  // Whether item `index` is already made (it never needs the pending ones).
  bool hasMadeItem(std::int64_t index) const {
    return index >= 0 && std::size_t(index) < items_.size() &&
           (!pendingItems_ || std::size_t(index) < pendingFrom_);
  }
  mutable std::function<void()> pendingItems_;
  std::size_t pendingFrom_ = 0;
  std::vector<std::shared_ptr<MenuItem>> items_;
  std::uint64_t revision_ = 0;
  PopUpButton* popUp_ = nullptr;  // the button showing this menu, told about removals
};

class PopUpButton : public Control {
 public:
  PopUpButton();
  const char* kind() const override { return "popup"; }
  Menu* menu() const { return menu_.get(); }
  std::int64_t numberOfItems() const { return menu_->numberOfItems(); }
  /// Index of the selected item, -1 when none. Kept in range when items go.
  std::int64_t indexOfSelectedItem() const;
  void selectItemAtIndex(std::int64_t index);
  MenuItem* selectedItem() const { return menu_->itemAtIndex(indexOfSelectedItem()); }
  std::string titleOfSelectedItem() const;

  /// The user chooses an item: refused when disabled, out of range or a
  /// separator; otherwise selects it and sends the action.
  bool selectItemByUser(std::int64_t index);

 private:
  friend class Menu;
  void itemRemoved(std::int64_t index);
  void itemsRemovedFrom(std::int64_t index);

  std::shared_ptr<Menu> menu_;
  std::int64_t selected_ = -1;
};

class ProgressIndicator : public View {
 public:
  const char* kind() const override { return "progress"; }
  bool isAnimating() const { return animating_; }
  void startAnimation() { animating_ = true; }
  void stopAnimation() { animating_ = false; }

 private:
  bool animating_ = false;
};

/// A window: holds the content view and the keyboard focus.
class Window : public Object {
 public:
  Window() = default;
  ~Window() override;
  void setContentView(std::shared_ptr<View> view);
  View* contentView() const { return content_.get(); }
  /// The view with the keyboard focus, or null.
  View* firstResponder() const { return firstResponder_; }
  /// Gives the focus to `view` (null removes it). Answers false, keeping
  /// the focus as it was, when `view` is not in this window.
  bool makeFirstResponder(View* view);
  /// Called by a dying view so that the focus never points at it.
  void forgetView(const View* view) {
    if (firstResponder_ == view) firstResponder_ = nullptr;
  }

 private:
  std::shared_ptr<View> content_;
  View* firstResponder_ = nullptr;
};

}  // namespace platform
