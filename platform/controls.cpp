// SPDX-License-Identifier: Apache-2.0
// Controls of the panel. The hierarchy is held by shared pointers from
// parent to child; children know their parent and the root knows its window
// through plain pointers, which are cleared whenever a link is cut so that
// no pointer outlives what it points at. The window's keyboard focus is a
// plain pointer too: every way a view can leave its window (removal, death,
// replacement of the content view, the window's own death) drops the focus
// when it was inside the leaving part.
#include "platform/controls.h"

#include <algorithm>
#include <utility>

#include "platform/strings.h"

namespace platform {

namespace {

// Tells `window` that `view` and everything below it are leaving it.
void forgetSubtree(Window* window, const View* view) {
  if (!window || !view) return;
  window->forgetView(view);
  for (const auto& sub : view->subviews()) forgetSubtree(window, sub.get());
}

// Hidden itself or inside a hidden view: the user cannot reach it.
bool isHiddenOnScreen(const View* view) {
  for (const View* v = view; v; v = v->superview()) {
    if (v->isHidden()) return true;
  }
  return false;
}

bool isHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Clamps `range` to `text` and widens it so that it never splits a
// surrogate pair (an edit there would corrupt the character).
Range clampRange(Range range, const std::u16string& text) {
  std::size_t start = std::min(range.location, text.size());
  std::size_t end = start + std::min(range.length, text.size() - start);
  if (start > 0 && start < text.size() && isLowSurrogate(text[start]) &&
      isHighSurrogate(text[start - 1])) {
    --start;
  }
  if (end > 0 && end < text.size() && isLowSurrogate(text[end]) && isHighSurrogate(text[end - 1])) {
    ++end;
  }
  return Range{start, end - start};
}

// Length in UTF-16 units of the character that ends at `end`.
std::size_t lengthOfCharacterBefore(const std::u16string& text, std::size_t end) {
  if (end == 0) return 0;
  if (end >= 2 && isLowSurrogate(text[end - 1]) && isHighSurrogate(text[end - 2])) return 2;
  return 1;
}

}  // namespace

const char* colorName(Color color) {
  switch (color) {
    case Color::Black:
      return "black";
    case Color::Grey:
      return "grey";
    case Color::Other:
      return "other";
  }
  return "other";
}

// ---- View ----

View::~View() {
  forgetSubtree(window(), this);
  // Children that live on (held elsewhere) no longer have a parent.
  for (auto& sub : subviews_) {
    if (sub) sub->superview_ = nullptr;
  }
}

void View::addSubview(std::shared_ptr<View> view) {
  if (!view || view.get() == this) return;
  // Refuse to make an ancestor a child: that would be a cycle of owners.
  for (const View* v = superview_; v; v = v->superview_) {
    if (v == view.get()) return;
  }
  if (view->superview_ == this) return;
  if (view->superview_) view->removeFromSuperview();
  // A window's content view that moves into another hierarchy leaves its window.
  if (view->window_) {
    Window* old = view->window_;
    if (old->contentView() == view.get()) {
      old->setContentView(nullptr);
    } else {
      view->window_ = nullptr;
    }
  }
  view->superview_ = this;
  subviews_.push_back(std::move(view));
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (!parent) return;
  forgetSubtree(window(), this);
  auto it = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                         [this](const std::shared_ptr<View>& v) { return v.get() == this; });
  superview_ = nullptr;
  if (it == parent->subviews_.end()) return;
  // Keep this view alive until the function is done with it.
  std::shared_ptr<View> self = std::move(*it);
  parent->subviews_.erase(it);
}

Window* View::window() const {
  const View* root = this;
  while (root->superview_) root = root->superview_;
  return root->window_;
}

View* View::findViewWithIdentifier(std::string_view id) {
  if (identifier_ == id) return this;
  for (const auto& sub : subviews_) {
    if (View* found = sub->findViewWithIdentifier(id)) return found;
  }
  return nullptr;
}

// ---- Control ----

bool Control::sendAction() {
  if (!target_ || action_.empty()) return false;
  return target_->performAction(action_, this);
}

// ---- TabView ----

TabViewItem* TabView::tabViewItemAtIndex(std::int64_t index) const {
  if (index < 0 || index >= numberOfTabViewItems()) return nullptr;
  return items_[std::size_t(index)].get();
}

void TabView::addTabViewItem(std::shared_ptr<TabViewItem> item) {
  if (!item) return;
  if (std::find(items_.begin(), items_.end(), item) != items_.end()) return;
  if (item->viewRef()) addSubview(item->viewRef());
  items_.push_back(std::move(item));
  if (selected_ < 0) selected_ = 0;
}

void TabView::removeTabViewItem(TabViewItem* item) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [item](const std::shared_ptr<TabViewItem>& i) { return i.get() == item; });
  if (it == items_.end()) return;
  const std::int64_t index = it - items_.begin();
  std::shared_ptr<TabViewItem> keep = std::move(*it);
  items_.erase(it);
  if (View* view = keep->view(); view && view->superview() == this) view->removeFromSuperview();
  const std::int64_t count = numberOfTabViewItems();
  if (index < selected_) {
    --selected_;
  } else if (index == selected_) {
    selected_ = std::min(selected_, count - 1);
  }
}

void TabView::selectTabViewItemAtIndex(std::int64_t index) {
  if (index < 0 || index >= numberOfTabViewItems()) return;
  selected_ = index;
}

// ---- Button ----

bool Button::performClick() {
  if (!isEnabled() || isHiddenOnScreen(this)) return false;
  switch (buttonType()) {
    case ButtonType::CheckBox:
    case ButtonType::Toggle:
      setState(state() != NSOffState ? NSOffState : NSOnState);
      break;
    case ButtonType::Radio:
      setState(NSOnState);
      break;
    case ButtonType::Push:
      break;
  }
  sendAction();
  return true;
}

// ---- Matrix ----

ButtonCell* Matrix::cellAtRow(std::int64_t row, std::int64_t column) const {
  if (column != 0 || row < 0 || row >= numberOfRows()) return nullptr;
  return cells_[std::size_t(row)].get();
}

void Matrix::addRow(std::shared_ptr<ButtonCell> cell) {
  if (!cell) return;
  cells_.push_back(std::move(cell));
}

void Matrix::selectCellAtRow(std::int64_t row, std::int64_t column) {
  const bool valid = cellAtRow(row, column) != nullptr;
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    cells_[i]->setState(valid && std::int64_t(i) == row ? NSOnState : NSOffState);
  }
  selectedRow_ = valid ? row : -1;
}

bool Matrix::selectRowByUser(std::int64_t row) {
  ButtonCell* cell = cellAtRow(row);
  if (!cell || !isEnabled() || !cell->isEnabled() || isHiddenOnScreen(this)) return false;
  selectCellAtRow(row);
  sendAction();
  return true;
}

// ---- TextField ----

void TextField::setStringValue(std::string text) {
  text_ = std::move(text);
  selection_ = Range{utf16Length(text_), 0};
}

void TextField::setSelectedRange(Range range) {
  selection_ = clampRange(range, toUtf16(text_));
}

bool TextField::applyEdit(const std::string& proposed, Range proposedSelection) {
  if (formatter_) {
    std::string partial = proposed;
    Range selection = proposedSelection;
    std::string error;
    if (!formatter_->isPartialStringValid(&partial, &selection, text_, selection_, &error)) {
      return false;
    }
  }
  text_ = proposed;
  selection_ = clampRange(proposedSelection, toUtf16(text_));
  return true;
}

namespace {

// The text after one range is replaced, and the caret after the insertion.
struct EditParts {
  std::string proposed;
  Range caret;
};

EditParts replaceRange(const std::u16string& text, Range replaced, const std::u16string& insert) {
  std::u16string result = text.substr(0, replaced.location);
  result += insert;
  result += text.substr(replaced.location + replaced.length);
  return EditParts{fromUtf16(result), Range{replaced.location + insert.size(), 0}};
}

}  // namespace

bool TextField::replaceSelection(std::string_view text) {
  if (!editable_ || !isEnabled() || isHiddenOnScreen(this)) return false;
  const std::u16string current = toUtf16(text_);
  const Range selection = clampRange(selection_, current);
  const EditParts edit = replaceRange(current, selection, toUtf16(text));
  const Range saved = selection_;
  selection_ = selection;
  if (!applyEdit(edit.proposed, edit.caret)) {
    selection_ = saved;
    return false;
  }
  sendAction();
  return true;
}

std::size_t TextField::typeText(std::string_view text) {
  if (!editable_ || !isEnabled() || isHiddenOnScreen(this)) return 0;
  const std::u16string units = toUtf16(text);
  // Each character is offered at the end of the text as the field holds it
  // after the characters before it. The text and the proposal grow in place,
  // so that typing costs no more than the formatter's own look at the text.
  std::string proposed = fromUtf16(toUtf16(text_));
  bool textIsNormal = proposed == text_;  // text_ holds no invalid UTF-8
  std::size_t length = utf16Length(text_);
  std::size_t taken = 0;
  for (std::size_t i = 0; i < units.size();) {
    std::size_t n = 1;
    if (i + 1 < units.size() && isHighSurrogate(units[i]) && isLowSurrogate(units[i + 1])) n = 2;
    const std::string character = fromUtf16(std::u16string_view(units).substr(i, n));
    i += n;
    const Range saved = selection_;
    const std::size_t base = proposed.size();
    selection_ = Range{length, 0};
    proposed += character;
    bool accepted = true;
    if (formatter_) {
      Range selection{length + n, 0};
      std::string error;
      accepted = formatter_->isPartialStringValid(&proposed, &selection, text_, selection_, &error);
      if (proposed.size() != base + character.size()) {
        proposed = fromUtf16(toUtf16(text_)) + character;  // its changes are not taken
      }
    }
    if (accepted) {
      if (textIsNormal) {
        text_ += character;
      } else {
        text_ = proposed;
        textIsNormal = true;
      }
      length += n;
      selection_ = Range{length, 0};
      ++taken;
    } else {
      proposed.resize(proposed.size() - character.size());
      selection_ = saved;
    }
  }
  if (taken > 0) sendAction();
  return taken;
}

bool TextField::pasteText(std::string_view text) {
  if (!editable_ || !isEnabled() || isHiddenOnScreen(this)) return false;
  const Range saved = selection_;
  selection_ = Range{utf16Length(text_), 0};
  if (replaceSelection(text)) return true;
  selection_ = saved;
  return false;
}

bool TextField::deleteBackward() {
  if (!editable_ || !isEnabled() || isHiddenOnScreen(this)) return false;
  const std::u16string current = toUtf16(text_);
  Range removed = clampRange(selection_, current);
  if (removed.length == 0) {
    const std::size_t n = lengthOfCharacterBefore(current, removed.location);
    if (n == 0) return false;
    removed = Range{removed.location - n, n};
  }
  const EditParts edit = replaceRange(current, removed, u"");
  if (!applyEdit(edit.proposed, edit.caret)) return false;
  sendAction();
  return true;
}

bool TextField::clearByUser() {
  if (!editable_ || !isEnabled() || isHiddenOnScreen(this)) return false;
  if (text_.empty()) return true;
  const Range saved = selection_;
  selection_ = Range{0, utf16Length(text_)};
  if (deleteBackward()) return true;
  selection_ = saved;
  return false;
}

// ---- Menus ----

std::shared_ptr<MenuItem> MenuItem::separatorItem() {
  auto item = std::make_shared<MenuItem>();
  item->separator_ = true;
  return item;
}

void MenuItem::setTitle(std::string title) {
  if (title == title_) return;
  title_ = std::move(title);
  if (menu_) ++menu_->revision_;
}

void MenuItem::setImage(std::shared_ptr<Image> image) {
  if (image == image_) return;
  image_ = std::move(image);
  if (menu_) ++menu_->revision_;
}

void MenuItem::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (menu_) ++menu_->revision_;
}

Menu::~Menu() {
  itemsGone(0);
}

void Menu::itemsGone(std::size_t from) {
  // An item outliving its menu (someone else holds it) no longer reports
  // to it.
  for (std::size_t i = from; i < items_.size(); ++i) {
    if (items_[i] && items_[i]->menu_ == this) items_[i]->menu_ = nullptr;
  }
}

void Menu::makePendingItems() const {
  if (!pendingItems_) return;
  // Taken first: `make` changes the menu through the usual calls.
  const std::function<void()> make = std::exchange(pendingItems_, nullptr);
  make();
}

void Menu::setPendingItems(std::int64_t from, std::function<void()> make) {
  pendingFrom_ = std::size_t(std::max<std::int64_t>(from, 0));
  pendingItems_ = std::move(make);
}

MenuItem* Menu::itemAtIndex(std::int64_t index) const {
  if (hasMadeItem(index)) return items_[std::size_t(index)].get();
  if (index < 0 || index >= numberOfItems()) return nullptr;
  return items_[std::size_t(index)].get();
}

void Menu::addItem(std::shared_ptr<MenuItem> item) {
  makePendingItems();
  if (item) item->menu_ = this;
  items_.push_back(std::move(item));
  ++revision_;
}

void Menu::removeItemAtIndex(std::int64_t index) {
  makePendingItems();
  if (index < 0 || index >= numberOfItems()) return;
  MenuItem* item = items_[std::size_t(index)].get();
  if (item && item->menu_ == this) item->menu_ = nullptr;
  items_.erase(items_.begin() + index);
  ++revision_;
  if (popUp_) popUp_->itemRemoved(index);
}

void Menu::removeItemsFromIndex(std::int64_t index) {
  index = std::max<std::int64_t>(index, 0);
  // Items still to be made from `index` on would go at once: never made.
  if (pendingItems_ && std::size_t(index) <= pendingFrom_) pendingItems_ = nullptr;
  if (index >= numberOfItems()) return;
  itemsGone(std::size_t(index));
  items_.erase(items_.begin() + index, items_.end());
  ++revision_;
  if (popUp_) popUp_->itemsRemovedFrom(index);
}

PopUpButton::PopUpButton() : menu_(std::make_shared<Menu>()) {
  menu_->popUp_ = this;
}

void PopUpButton::itemRemoved(std::int64_t index) {
  if (selected_ < 0) return;
  if (index < selected_) {
    --selected_;
  } else if (index == selected_) {
    // The item that took the removed one's place, or the new last item.
    selected_ = std::min(selected_, numberOfItems() - 1);
  }
}

void PopUpButton::itemsRemovedFrom(std::int64_t index) {
  if (selected_ >= index) selected_ = index - 1;
}

std::int64_t PopUpButton::indexOfSelectedItem() const {
  if (menu_->hasMadeItem(selected_)) return selected_;
  const std::int64_t count = numberOfItems();
  if (selected_ < 0 || count == 0) return -1;
  return std::min(selected_, count - 1);
}

void PopUpButton::selectItemAtIndex(std::int64_t index) {
  if (menu_->hasMadeItem(index)) {
    selected_ = index;
    return;
  }
  selected_ = (index >= 0 && index < numberOfItems()) ? index : -1;
}

std::string PopUpButton::titleOfSelectedItem() const {
  const MenuItem* item = selectedItem();
  return item ? item->title() : std::string();
}

bool PopUpButton::selectItemByUser(std::int64_t index) {
  const MenuItem* item = menu_->itemAtIndex(index);
  if (!item || item->isSeparatorItem() || !item->isEnabled() || !isEnabled() ||
      isHiddenOnScreen(this)) {
    return false;
  }
  selectItemAtIndex(index);
  sendAction();
  return true;
}

// ---- Window ----

Window::~Window() {
  if (content_ && content_->window() == this) content_->setWindow(nullptr);
  firstResponder_ = nullptr;
}

void Window::setContentView(std::shared_ptr<View> view) {
  if (view == content_) return;
  if (view) {
    // A content view is the root of its hierarchy and belongs to one window.
    view->removeFromSuperview();
    if (Window* other = view->window(); other && other != this) other->setContentView(nullptr);
  }
  std::shared_ptr<View> old = std::move(content_);
  content_ = std::move(view);
  if (old) {
    forgetSubtree(this, old.get());
    if (old->window() == this) old->setWindow(nullptr);
  }
  if (content_) content_->setWindow(this);
}

bool Window::makeFirstResponder(View* view) {
  if (view && view->window() != this) return false;
  firstResponder_ = view;
  return true;
}

}  // namespace platform
