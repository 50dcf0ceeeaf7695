// SPDX-License-Identifier: Apache-2.0
// Driving a loaded panel through its controls.
#include "host/engine/panel_driver.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/image.h"
#include "platform/strings.h"

namespace jobwick::host {
namespace {

using json = nlohmann::ordered_json;
using platform::Box;
using platform::Button;
using platform::ButtonCell;
using platform::Control;
using platform::Matrix;
using platform::PopUpButton;
using platform::ProgressIndicator;
using platform::TabView;
using platform::TextField;
using platform::View;

void walk(View* view, const std::function<void(View*)>& visit) {
  if (!view) return;
  visit(view);
  for (const auto& child : view->subviews()) walk(child.get(), visit);
}

std::string describe(const View* view) {
  if (!view->identifier().empty()) return "\"" + view->identifier() + "\"";
  return std::string("unnamed ") + view->kind();
}

/// Why the control takes no user event, or nullopt when it takes them.
std::optional<std::string> refusal(const View* view) {
  if (const auto* control = dynamic_cast<const Control*>(view); control && !control->isEnabled()) {
    return "it is disabled";
  }
  for (const View* v = view; v; v = v->superview()) {
    if (!v->isHidden()) continue;
    if (v == view) return "it is hidden";
    return "it is inside the hidden " + std::string(v->kind()) + " " + describe(v);
  }
  return std::nullopt;
}

std::optional<std::string> fieldRefusal(const TextField* field) {
  if (auto reason = refusal(field)) return reason;
  if (!field->isEditable()) return "it is not editable";
  return std::nullopt;
}

EventOutcome refused(std::string message) {
  EventOutcome outcome;
  outcome.status = EventOutcome::Status::kRefused;
  outcome.message = std::move(message);
  return outcome;
}

std::size_t characterCount(std::string_view utf8) {
  return std::size_t(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

const char* buttonTypeName(platform::ButtonType type) {
  switch (type) {
    case platform::ButtonType::CheckBox:
      return "checkbox";
    case platform::ButtonType::Radio:
      return "radio";
    case platform::ButtonType::Toggle:
      return "toggle";
    default:
      return "push";
  }
}

json imageName(const platform::Image* image) {
  return image ? json(image->name()) : json(nullptr);
}

json cellJson(const ButtonCell& cell, std::int64_t row) {
  return json{{"identifier", cell.identifier()}, {"row", row},
              {"title", cell.title()},           {"state", cell.state()},
              {"enabled", cell.isEnabled()},     {"tag", cell.tag()}};
}

bool hiddenOnScreen(const View* view) {
  for (const View* v = view; v; v = v->superview()) {
    if (v->isHidden()) return true;
  }
  return false;
}

TextField* textFieldOf(const ControlRef& control) {
  return control.view ? dynamic_cast<TextField*>(control.view) : nullptr;
}

/// Makes the field the first responder, as the user's click into it does.
void focus(TextField* field, platform::Window* window) {
  if (window && window->firstResponder() != field) window->makeFirstResponder(field);
}

EventOutcome chooseRow(Matrix& matrix, std::int64_t row) {
  if (auto reason = refusal(&matrix)) return refused(reason.value());
  ButtonCell* cell = matrix.cellAtRow(row);
  if (!cell) {
    return refused("row " + std::to_string(row) + " does not exist (the matrix has " +
                   std::to_string(matrix.numberOfRows()) + " rows)");
  }
  if (!cell->isEnabled()) return refused("its row " + std::to_string(row) + " is disabled");
  if (!matrix.selectRowByUser(row)) return refused("the matrix refused the choice");
  return EventOutcome{};
}

}  // namespace

const char* statusName(EventOutcome::Status status) {
  switch (status) {
    case EventOutcome::Status::kPartial:
      return "partial";
    case EventOutcome::Status::kRefused:
      return "refused";
    default:
      return "done";
  }
}

PanelWindow::~PanelWindow() {
  detach();
}

bool PanelWindow::attach(platform::PDEPanel& panel) {
  View* view = panel.panelView();
  if (!view) return false;
  if (window_ && root_ == view) return true;
  // The panel holds its loaded view among its top-level objects; the window
  // shares it. A view held some other way is shown without a reference.
  std::shared_ptr<View> shared;
  for (const auto& object : panel.topLevelObjects()) {
    if (object.get() == view) shared = std::static_pointer_cast<View>(object);
  }
  if (!shared) shared = std::shared_ptr<View>(std::shared_ptr<View>(), view);
  window_ = std::make_unique<platform::Window>();
  window_->setContentView(std::move(shared));
  root_ = view;
  return true;
}

void PanelWindow::detach() {
  window_.reset();
  root_ = nullptr;
}

std::optional<ControlRef> PanelWindow::find(std::string_view identifier) const {
  if (!root_ || identifier.empty()) return std::nullopt;
  if (View* view = root_->findViewWithIdentifier(identifier))
    return ControlRef{view, nullptr, nullptr, -1};
  std::optional<ControlRef> found;
  walk(root_, [&](View* view) {
    auto* matrix = dynamic_cast<Matrix*>(view);
    if (!matrix || found) return;
    for (std::int64_t row = 0; row < matrix->numberOfRows(); ++row) {
      ButtonCell* cell = matrix->cellAtRow(row);
      if (cell && cell->identifier() == identifier) {
        found = ControlRef{nullptr, cell, matrix, row};
        return;
      }
    }
  });
  return found;
}

std::vector<std::string> PanelWindow::identifiers() const {
  std::vector<std::string> names;
  walk(root_, [&](View* view) {
    if (!view->identifier().empty()) names.push_back(view->identifier());
    if (auto* matrix = dynamic_cast<Matrix*>(view)) {
      for (const auto& cell : matrix->cells()) {
        if (cell && !cell->identifier().empty()) names.push_back(cell->identifier());
      }
    }
  });
  return names;
}

json PanelWindow::dumpControl(const ControlRef& control) const {
  if (control.cell) {
    json entry = {{"kind", "cell"}, {"identifier", control.cell->identifier()}};
    entry["matrix"] = control.matrix ? json(control.matrix->identifier()) : json(nullptr);
    entry["row"] = control.row;
    entry["title"] = control.cell->title();
    entry["state"] = control.cell->state();
    entry["enabled"] =
        control.cell->isEnabled() && (!control.matrix || control.matrix->isEnabled());
    entry["selected"] = control.matrix && control.matrix->selectedRow() == control.row;
    entry["visible"] = !(control.matrix && hiddenOnScreen(control.matrix));
    return entry;
  }
  View* view = control.view;
  json entry = {{"kind", view->kind()}, {"identifier", view->identifier()}};
  const View* parent = view->superview();
  while (parent && parent->identifier().empty()) parent = parent->superview();
  entry["parent"] = parent ? json(parent->identifier()) : json(nullptr);
  entry["tag"] = view->tag();
  entry["hidden"] = view->isHidden();
  entry["visible"] = !hiddenOnScreen(view);
  if (const auto* c = dynamic_cast<const Control*>(view)) entry["enabled"] = c->isEnabled();
  entry["focus"] = window_ && window_->firstResponder() == view;

  if (const auto* button = dynamic_cast<const Button*>(view)) {
    entry["title"] = button->title();
    entry["type"] = buttonTypeName(button->buttonType());
    entry["state"] = button->state();
    entry["image"] = imageName(button->image());
    entry["alternateImage"] = imageName(button->alternateImage());
  } else if (const auto* matrix = dynamic_cast<const Matrix*>(view)) {
    entry["selectedRow"] = matrix->selectedRow();
    const ButtonCell* selected = matrix->selectedCell();
    entry["selectedTitle"] = selected ? json(selected->title()) : json(nullptr);
    json cells = json::array();
    for (std::int64_t row = 0; row < matrix->numberOfRows(); ++row) {
      if (const ButtonCell* cell = matrix->cellAtRow(row)) cells.push_back(cellJson(*cell, row));
    }
    entry["cells"] = std::move(cells);
  } else if (const auto* field = dynamic_cast<const TextField*>(view)) {
    entry["text"] = field->stringValue();
    entry["editable"] = field->isEditable();
    entry["selectable"] = field->isSelectable();
    entry["colour"] = platform::colorName(field->textColor());
    entry["filtered"] = field->formatter() != nullptr;
  } else if (const auto* popup = dynamic_cast<const PopUpButton*>(view)) {
    entry["selectedIndex"] = popup->indexOfSelectedItem();
    const platform::MenuItem* selected = popup->selectedItem();
    entry["selectedTitle"] = selected ? json(selected->title()) : json(nullptr);
    json items = json::array();
    for (std::int64_t index = 0; index < popup->numberOfItems(); ++index) {
      const platform::MenuItem* item = popup->menu()->itemAtIndex(index);
      if (!item) continue;
      if (item->isSeparatorItem()) {
        items.push_back({{"index", index}, {"separator", true}});
      } else {
        items.push_back({{"index", index},
                         {"title", item->title()},
                         {"enabled", item->isEnabled()},
                         {"image", imageName(item->image())}});
      }
    }
    entry["items"] = std::move(items);
  } else if (const auto* tabs = dynamic_cast<const TabView*>(view)) {
    entry["selectedIndex"] = tabs->indexOfSelectedTabViewItem();
    json labels = json::array();
    for (const auto& item : tabs->items()) labels.push_back(item->label());
    entry["tabs"] = std::move(labels);
    const platform::TabViewItem* selected =
        tabs->tabViewItemAtIndex(tabs->indexOfSelectedTabViewItem());
    entry["selectedTitle"] = selected ? json(selected->label()) : json(nullptr);
  } else if (const auto* box = dynamic_cast<const Box*>(view)) {
    entry["title"] = box->title();
  } else if (const auto* progress = dynamic_cast<const ProgressIndicator*>(view)) {
    entry["animating"] = progress->isAnimating();
  }
  return entry;
}

json PanelWindow::dumpPanel() const {
  json controls = json::array();
  walk(root_, [&](View* view) {
    if (!view->identifier().empty())
      controls.push_back(dumpControl(ControlRef{view, nullptr, nullptr, -1}));
  });
  View* focused = window_ ? window_->firstResponder() : nullptr;
  json focus = focused ? json(focused->identifier()) : json(nullptr);
  return json{{"focus", std::move(focus)}, {"controls", std::move(controls)}};
}

std::vector<std::string> closeMatches(std::string_view name,
                                      const std::vector<std::string>& candidates,
                                      std::size_t limit) {
  auto lower = [](std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  const std::string wanted = lower(name);
  auto distance = [](const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
        diagonal = above;
      }
    }
    return row[b.size()];
  };
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (const auto& candidate : candidates) {
    const std::string other = lower(candidate);
    std::size_t score = distance(wanted, other);
    const bool contains = !wanted.empty() && (other.find(wanted) != std::string::npos ||
                                              wanted.find(other) != std::string::npos);
    const std::size_t allowed = std::max<std::size_t>(2, wanted.size() / 3);
    // A name that contains the one asked for (or is contained in it) comes
    // first, the shorter difference first; then the near misses.
    if (contains) {
      scored.emplace_back(other.size() > wanted.size() ? other.size() - wanted.size()
                                                       : wanted.size() - other.size(),
                          candidate);
    } else if (score <= allowed) {
      scored.emplace_back(1000 + score, candidate);
    }
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  for (const auto& [score, candidate] : scored) {
    if (std::find(names.begin(), names.end(), candidate) == names.end()) names.push_back(candidate);
    if (names.size() == limit) break;
  }
  return names;
}

EventOutcome clickControl(const ControlRef& control) {
  if (control.cell) return chooseRow(*control.matrix, control.row);
  auto* button = dynamic_cast<Button*>(control.view);
  if (!button) return refused(std::string("a ") + control.view->kind() + " cannot be clicked");
  if (auto reason = refusal(button)) return refused(*reason);
  if (!button->performClick()) return refused("the button refused the click");
  return EventOutcome{};
}

EventOutcome typeInto(const ControlRef& control, std::string_view text, platform::Window* window) {
  TextField* field = textFieldOf(control);
  if (!field) return refused("it is not a text field");
  if (auto reason = fieldRefusal(field)) {
    EventOutcome outcome = refused(*reason);
    outcome.offered = characterCount(text);
    return outcome;
  }
  focus(field, window);
  EventOutcome outcome;
  outcome.offered = characterCount(text);
  outcome.accepted = field->typeText(text);
  if (outcome.offered > 0 && outcome.accepted == 0) {
    outcome.status = EventOutcome::Status::kRefused;
    outcome.message = "the field's input filter took none of the " +
                      std::to_string(outcome.offered) + " characters";
  } else if (outcome.accepted < outcome.offered) {
    outcome.status = EventOutcome::Status::kPartial;
    outcome.message = "the field's input filter took " + std::to_string(outcome.accepted) + " of " +
                      std::to_string(outcome.offered) + " characters";
  }
  return outcome;
}

EventOutcome pasteInto(const ControlRef& control, std::string_view text, platform::Window* window) {
  TextField* field = textFieldOf(control);
  if (!field) return refused("it is not a text field");
  if (auto reason = fieldRefusal(field)) return refused(*reason);
  focus(field, window);
  EventOutcome outcome;
  outcome.offered = characterCount(text);
  if (!field->pasteText(text)) return refused("the field's input filter refused the pasted text");
  outcome.accepted = outcome.offered;
  return outcome;
}

EventOutcome clearField(const ControlRef& control, platform::Window* window) {
  TextField* field = textFieldOf(control);
  if (!field) return refused("it is not a text field");
  if (auto reason = fieldRefusal(field)) return refused(*reason);
  focus(field, window);
  if (!field->clearByUser()) return refused("the field's input filter refused the deletion");
  return EventOutcome{};
}

EventOutcome deleteBackward(const ControlRef& control, std::size_t count,
                            platform::Window* window) {
  TextField* field = textFieldOf(control);
  if (!field) return refused("it is not a text field");
  if (auto reason = fieldRefusal(field)) return refused(*reason);
  focus(field, window);
  EventOutcome outcome;
  outcome.offered = count;
  // Each deletion takes at least one UTF-16 unit, and one that does nothing
  // leaves the field as it was, so the next would do nothing either: a
  // count far beyond the text costs no more than the text.
  const std::size_t possible = std::min(count, platform::utf16Length(field->stringValue()));
  for (std::size_t i = 0; i < possible && field->deleteBackward(); ++i) ++outcome.accepted;
  if (count > 0 && outcome.accepted == 0) {
    return refused("nothing was deleted (the field is empty or its filter refused)");
  }
  if (outcome.accepted < count) {
    outcome.status = EventOutcome::Status::kPartial;
    outcome.message =
        std::to_string(outcome.accepted) + " of " + std::to_string(count) + " deletions happened";
  }
  return outcome;
}

EventOutcome chooseIn(const ControlRef& control, std::optional<std::int64_t> index,
                      const std::optional<std::string>& title) {
  if (control.cell) return chooseRow(*control.matrix, control.row);
  View* view = control.view;
  // The index asked for, or the one the title names (-1: none).
  std::int64_t wanted = index ? *index : -1;
  bool found = false;
  if (auto* matrix = dynamic_cast<Matrix*>(view)) {
    if (title) {
      found = false;
      for (std::int64_t row = 0; row < matrix->numberOfRows(); ++row) {
        if (matrix->cellAtRow(row) && matrix->cellAtRow(row)->title() == *title) {
          wanted = row;
          found = true;
        }
      }
      if (!found) return refused("no row is titled \"" + *title + "\"");
    }
    return chooseRow(*matrix, wanted);
  }
  if (auto* popup = dynamic_cast<PopUpButton*>(view)) {
    if (auto reason = refusal(popup)) return refused(*reason);
    if (title) {
      found = false;
      for (std::int64_t i = 0; i < popup->numberOfItems(); ++i) {
        const platform::MenuItem* item = popup->menu()->itemAtIndex(i);
        if (item && !item->isSeparatorItem() && item->title() == *title) {
          wanted = i;
          found = true;
          break;
        }
      }
      if (!found) return refused("no menu item is titled \"" + *title + "\"");
    }
    const platform::MenuItem* item = popup->menu()->itemAtIndex(wanted);
    if (!item) {
      return refused("item " + std::to_string(wanted) + " does not exist (the menu has " +
                     std::to_string(popup->numberOfItems()) + " items)");
    }
    if (item->isSeparatorItem())
      return refused("item " + std::to_string(wanted) + " is a separator");
    if (!item->isEnabled()) return refused("item " + std::to_string(wanted) + " is disabled");
    if (!popup->selectItemByUser(wanted)) return refused("the menu refused the choice");
    return EventOutcome{};
  }
  if (auto* tabs = dynamic_cast<TabView*>(view)) {
    // A tab view has no user-event entry point of its own: a click on a tab
    // selects it and sends the tab view's action.
    if (auto reason = refusal(tabs)) return refused(*reason);
    if (title) {
      found = false;
      for (std::int64_t i = 0; i < tabs->numberOfTabViewItems(); ++i) {
        if (tabs->tabViewItemAtIndex(i)->label() == *title) {
          wanted = i;
          found = true;
        }
      }
      if (!found) return refused("no tab is labelled \"" + *title + "\"");
    }
    if (!tabs->tabViewItemAtIndex(wanted)) {
      return refused("tab " + std::to_string(wanted) + " does not exist (there are " +
                     std::to_string(tabs->numberOfTabViewItems()) + " tabs)");
    }
    tabs->selectTabViewItemAtIndex(wanted);
    tabs->sendAction();
    return EventOutcome{};
  }
  return refused(std::string("a ") + view->kind() + " offers nothing to choose");
}

bool isSecret(const ControlRef& control) {
  const auto* field = dynamic_cast<const platform::TextField*>(control.view);
  return field && field->isSecure();
}

bool isSecret(const PanelWindow& window, std::string_view identifier) {
  if (!window.attached()) return false;
  const auto control = window.find(identifier);
  return control && isSecret(*control);
}

std::string maskedText(std::string_view text) {
  std::string out;
  for (std::size_t i = platform::utf16Length(text); i > 0; --i) out += "\u2022";
  return out;
}

void maskSecrets(const PanelWindow& window, nlohmann::ordered_json& dump) {
  if (!dump.contains("controls")) return;
  for (auto& entry : dump["controls"]) {
    if (entry.contains("identifier") && entry.contains("text") && entry["text"].is_string() &&
        isSecret(window, entry["identifier"].get<std::string>())) {
      entry["text"] = maskedText(entry["text"].get<std::string>());
      entry["masked"] = true;
    }
  }
}

}  // namespace jobwick::host
