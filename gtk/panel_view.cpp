// The panel's controls as GTK 4 widgets.
#include "gtk/panel_view.h"

#include <algorithm>

#include "platform/strings.h"

namespace jobwick::gtkui {
namespace {

using json = nlohmann::ordered_json;
using host::ControlRef;
using host::EventOutcome;

/// The icon shown for a control's image; "" when there is none to show.
const char* iconNameFor(const platform::Image* image) {
  if (!image) return "";
  if (image->name() == "icon:lock") return "changes-prevent-symbolic";
  if (image->name() == "icon:ulck") return "changes-allow-symbolic";
  return "";
}

/// UTF-16 offset of the `chars`-th character of `text` (clamped).
std::size_t utf16OffsetOfCharacter(const std::string& text, long chars) {
  std::size_t units = 0;
  long seen = 0;
  for (std::size_t i = 0; i < text.size() && (chars < 0 || seen < chars);) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    units += n == 4 ? 2 : 1;
    i += n;
    ++seen;
  }
  return units;
}

/// Whether the keyboard focus of `widget`'s window is on it or inside it
/// (an entry's focus is on its text child).
bool holdsFocus(GtkWidget* widget) {
  GtkRoot* root = gtk_widget_get_root(widget);
  GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
  return focus && (focus == widget || gtk_widget_is_ancestor(focus, widget));
}

EventOutcome refusedOutcome(std::string message) {
  EventOutcome outcome;
  outcome.status = EventOutcome::Status::kRefused;
  outcome.message = std::move(message);
  return outcome;
}

}  // namespace

/// One control and its widget.
struct PanelView::Binding {
  enum class Kind { View, Box, Tabs, Push, Check, Toggle, Matrix, Entry, Label, Popup, Progress };
  PanelView* owner = nullptr;
  Kind kind = Kind::View;
  platform::View* view = nullptr;
  GtkWidget* widget = nullptr;
  GtkWidget* image = nullptr;           // a toggle's padlock
  std::vector<GtkWidget*> cells;        // a matrix's radio buttons, by row
  GtkStringList* items = nullptr;       // a pop-up's menu as shown
  std::vector<std::string> shownItems;  // the item titles shown ("\n" for a separator)
  std::vector<GtkWidget*> tabLabels;    // a tab view's labels
  ControlRef ref() const { return ControlRef{view, nullptr, nullptr, -1}; }
};

/// The widgets' signal handlers: each hands the user's edit to the control.
struct Signals {
  static void clicked(GtkButton*, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    if (b->owner->syncing_) return;
    b->owner->lastOutcome_ = b->owner->afterEvent(host::clickControl(b->ref()));
  }
  static void toggled(GtkWidget*, gpointer data) { clicked(nullptr, data); }
  static void cellToggled(GtkCheckButton* button, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    if (b->owner->syncing_ || !gtk_check_button_get_active(button)) return;
    auto* matrix = static_cast<platform::Matrix*>(b->view);
    const auto at = std::find(b->cells.begin(), b->cells.end(), GTK_WIDGET(button));
    const std::int64_t row = at - b->cells.begin();
    ControlRef cell{nullptr, matrix->cellAtRow(row), matrix, row};
    if (!cell.cell) return;
    b->owner->lastOutcome_ = b->owner->afterEvent(host::clickControl(cell));
  }
  static void selected(GObject* object, GParamSpec*, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    if (b->owner->syncing_) return;
    const guint index = gtk_drop_down_get_selected(GTK_DROP_DOWN(object));
    if (index == GTK_INVALID_LIST_POSITION) return;
    b->owner->lastOutcome_ =
        b->owner->afterEvent(host::chooseIn(b->ref(), std::int64_t(index), std::nullopt));
  }
  static void page(GObject* object, GParamSpec*, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    if (b->owner->syncing_) return;
    const int index = gtk_notebook_get_current_page(GTK_NOTEBOOK(object));
    if (index < 0) return;
    b->owner->lastOutcome_ =
        b->owner->afterEvent(host::chooseIn(b->ref(), std::int64_t(index), std::nullopt));
  }
  static void insertText(GtkEditable* editable, const char* text, int length, int* position,
                         gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    PanelView& owner = *b->owner;
    if (owner.syncing_) return;
    g_signal_stop_emission_by_name(editable, "insert-text");
    auto* field = static_cast<platform::TextField*>(b->view);
    const std::string inserted = length < 0 ? std::string(text) : std::string(text, length);
    platform::Window* window = owner.window_.window();
    if (owner.typing_) {
      owner.lastOutcome_ = host::typeInto(b->ref(), inserted, window);
    } else {
      // The caret where the widget's was, then the same edit as a paste.
      if (window && window->firstResponder() != field) window->makeFirstResponder(field);
      field->setSelectedRange({utf16OffsetOfCharacter(field->stringValue(), *position), 0});
      owner.lastOutcome_ = field->replaceSelection(inserted)
                               ? EventOutcome{}
                               : refusedOutcome("the field's input filter refused the text");
    }
    owner.lastOutcome_ = owner.afterEvent(*owner.lastOutcome_);
  }
  static void deleteText(GtkEditable* editable, int start, int end, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    PanelView& owner = *b->owner;
    if (owner.syncing_) return;
    g_signal_stop_emission_by_name(editable, "delete-text");
    auto* field = static_cast<platform::TextField*>(b->view);
    platform::Window* window = owner.window_.window();
    if (window && window->firstResponder() != field) window->makeFirstResponder(field);
    const std::string& text = field->stringValue();
    const std::size_t from = utf16OffsetOfCharacter(text, start);
    const std::size_t to = utf16OffsetOfCharacter(text, end);
    field->setSelectedRange({from, to > from ? to - from : 0});
    owner.lastOutcome_ = owner.afterEvent(
        field->deleteBackward() ? EventOutcome{}
                                : refusedOutcome("the field's input filter refused the deletion"));
  }
  static void focusEnter(GtkEventControllerFocus*, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    if (b->owner->syncing_ || !b->owner->focusFollowsWidgets_) return;
    if (platform::Window* window = b->owner->window_.window()) window->makeFirstResponder(b->view);
  }
  static void setupItem(GtkSignalListItemFactory*, GtkListItem* item, gpointer) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_append(GTK_BOX(row), gtk_image_new());
    gtk_box_append(GTK_BOX(row), gtk_label_new(""));
    GtkWidget* separator = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_widget_set_hexpand(separator, TRUE);
    gtk_box_append(GTK_BOX(row), separator);
    gtk_list_item_set_child(item, row);
  }
  static void bindItem(GtkSignalListItemFactory*, GtkListItem* item, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    auto* popup = static_cast<platform::PopUpButton*>(b->view);
    const platform::MenuItem* entry =
        popup->menu()->itemAtIndex(std::int64_t(gtk_list_item_get_position(item)));
    GtkWidget* row = gtk_list_item_get_child(item);
    GtkWidget* image = gtk_widget_get_first_child(row);
    GtkWidget* label = gtk_widget_get_next_sibling(image);
    GtkWidget* separator = gtk_widget_get_next_sibling(label);
    const bool isSeparator = !entry || entry->isSeparatorItem();
    const char* icon = entry ? iconNameFor(entry->image()) : "";
    gtk_image_set_from_icon_name(GTK_IMAGE(image), icon);
    gtk_widget_set_visible(image, !isSeparator && *icon != '\0');
    gtk_label_set_text(GTK_LABEL(label), isSeparator ? "" : entry->title().c_str());
    gtk_widget_set_visible(label, !isSeparator);
    gtk_widget_set_visible(separator, isSeparator);
    gtk_widget_set_sensitive(row, isSeparator || entry->isEnabled());
  }
};

PanelView::PanelView(host::PanelWindow& window) : window_(window) {
  GtkWidget* top = build(window.root());
  root_.reset(GTK_WIDGET(g_object_ref_sink(top)));
  sync();
}

PanelView::~PanelView() {
  syncing_ = true;
  // The widgets may outlive this view in a container; their handlers must
  // not reach the bindings any more.
  for (const auto& binding : bindings_) {
    g_signal_handlers_disconnect_matched(binding->widget, G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                         nullptr, binding.get());
    if (GTK_IS_ENTRY(binding->widget)) {
      g_signal_handlers_disconnect_matched(gtk_editable_get_delegate(GTK_EDITABLE(binding->widget)),
                                           G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                           binding.get());
    }
    for (GtkWidget* cell : binding->cells) {
      g_signal_handlers_disconnect_matched(cell, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                           binding.get());
    }
  }
}

PanelView::Binding& PanelView::bind(platform::View* view, GtkWidget* widget) {
  auto binding = std::make_unique<Binding>();
  binding->owner = this;
  binding->view = view;
  binding->widget = widget;
  if (!view->identifier().empty()) gtk_widget_set_name(widget, view->identifier().c_str());
  bindings_.push_back(std::move(binding));
  return *bindings_.back();
}

GtkWidget* PanelView::build(platform::View* view) {
  using Kind = Binding::Kind;
  auto children = [this](platform::View* parent, GtkWidget* box) {
    for (const auto& child : parent->subviews()) {
      if (dynamic_cast<platform::TabView*>(parent)) break;  // the tabs hold them
      gtk_box_append(GTK_BOX(box), build(child.get()));
    }
  };
  if (auto* tabs = dynamic_cast<platform::TabView*>(view)) {
    GtkWidget* notebook = gtk_notebook_new();
    Binding& b = bind(view, notebook);
    b.kind = Kind::Tabs;
    for (const auto& item : tabs->items()) {
      GtkWidget* label = gtk_label_new(item->label().c_str());
      GtkWidget* page =
          item->view() ? build(item->view()) : gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
      gtk_notebook_append_page(GTK_NOTEBOOK(notebook), page, label);
      b.tabLabels.push_back(label);
    }
    g_signal_connect(notebook, "notify::page", G_CALLBACK(Signals::page), &b);
    return notebook;
  }
  if (auto* box = dynamic_cast<platform::Box*>(view)) {
    GtkWidget* frame = gtk_frame_new(box->title().empty() ? nullptr : box->title().c_str());
    GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_widget_set_margin_start(inner, 6);
    gtk_widget_set_margin_end(inner, 6);
    gtk_widget_set_margin_bottom(inner, 4);
    gtk_frame_set_child(GTK_FRAME(frame), inner);
    bind(view, frame).kind = Kind::Box;
    children(view, inner);
    return frame;
  }
  if (auto* button = dynamic_cast<platform::Button*>(view)) {
    GtkWidget* widget = nullptr;
    Binding* b = nullptr;
    switch (button->buttonType()) {
      case platform::ButtonType::CheckBox:
      case platform::ButtonType::Radio:
        widget = gtk_check_button_new_with_label(button->title().c_str());
        b = &bind(view, widget);
        b->kind = Kind::Check;
        g_signal_connect(widget, "toggled", G_CALLBACK(Signals::toggled), b);
        break;
      case platform::ButtonType::Toggle:
        widget = gtk_toggle_button_new();
        b = &bind(view, widget);
        b->kind = Kind::Toggle;
        b->image = gtk_image_new();
        gtk_button_set_child(GTK_BUTTON(widget), b->image);
        g_signal_connect(widget, "toggled", G_CALLBACK(Signals::toggled), b);
        break;
      default:
        widget = gtk_button_new_with_label(button->title().c_str());
        b = &bind(view, widget);
        b->kind = Kind::Push;
        g_signal_connect(widget, "clicked", G_CALLBACK(Signals::clicked), b);
        break;
    }
    gtk_widget_set_halign(widget, GTK_ALIGN_START);
    return widget;
  }
  if (auto* matrix = dynamic_cast<platform::Matrix*>(view)) {
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    Binding& b = bind(view, column);
    b.kind = Kind::Matrix;
    GtkCheckButton* group = nullptr;
    for (const auto& cell : matrix->cells()) {
      GtkWidget* radio = gtk_check_button_new_with_label(cell ? cell->title().c_str() : "");
      if (group) gtk_check_button_set_group(GTK_CHECK_BUTTON(radio), group);
      group = group ? group : GTK_CHECK_BUTTON(radio);
      if (cell && !cell->identifier().empty())
        gtk_widget_set_name(radio, cell->identifier().c_str());
      g_signal_connect(radio, "toggled", G_CALLBACK(Signals::cellToggled), &b);
      gtk_box_append(GTK_BOX(column), radio);
      b.cells.push_back(radio);
    }
    return column;
  }
  if (auto* field = dynamic_cast<platform::TextField*>(view)) {
    // A field the plug-in may make editable (it has an input filter, or
    // is editable or selectable now) is an entry; the rest are labels.
    if (!field->isEditable() && !field->isSelectable() && !field->formatter()) {
      GtkWidget* label = gtk_label_new(field->stringValue().c_str());
      gtk_label_set_xalign(GTK_LABEL(label), 0);
      gtk_label_set_selectable(GTK_LABEL(label), field->isSelectable());
      bind(view, label).kind = Kind::Label;
      return label;
    }
    GtkWidget* entry = gtk_entry_new();
    Binding& b = bind(view, entry);
    b.kind = Kind::Entry;
    GtkEditable* delegate = gtk_editable_get_delegate(GTK_EDITABLE(entry));
    g_signal_connect(delegate, "insert-text", G_CALLBACK(Signals::insertText), &b);
    g_signal_connect(delegate, "delete-text", G_CALLBACK(Signals::deleteText), &b);
    GtkEventController* focus = gtk_event_controller_focus_new();
    g_signal_connect(focus, "enter", G_CALLBACK(Signals::focusEnter), &b);
    gtk_widget_add_controller(entry, focus);
    return entry;
  }
  if (dynamic_cast<platform::PopUpButton*>(view)) {
    GtkStringList* list = gtk_string_list_new(nullptr);
    GtkWidget* dropDown = gtk_drop_down_new(G_LIST_MODEL(list), nullptr);
    Binding& b = bind(view, dropDown);
    b.kind = Kind::Popup;
    b.items = list;
    GtkListItemFactory* factory = gtk_signal_list_item_factory_new();
    g_signal_connect(factory, "setup", G_CALLBACK(Signals::setupItem), &b);
    g_signal_connect(factory, "bind", G_CALLBACK(Signals::bindItem), &b);
    gtk_drop_down_set_factory(GTK_DROP_DOWN(dropDown), factory);
    g_object_unref(factory);
    gtk_widget_set_halign(dropDown, GTK_ALIGN_START);
    g_signal_connect(dropDown, "notify::selected", G_CALLBACK(Signals::selected), &b);
    return dropDown;
  }
  if (dynamic_cast<platform::ProgressIndicator*>(view)) {
    GtkWidget* spinner = gtk_spinner_new();
    gtk_widget_set_halign(spinner, GTK_ALIGN_START);
    bind(view, spinner).kind = Kind::Progress;
    return spinner;
  }
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  bind(view, box).kind = Kind::View;
  children(view, box);
  return box;
}

void PanelView::sync() {
  const bool was = syncing_;
  syncing_ = true;
  for (const auto& binding : bindings_) syncOne(*binding);
  syncing_ = was;
}

void PanelView::syncOne(Binding& b) {
  using Kind = Binding::Kind;
  GtkWidget* w = b.widget;
  if (gtk_widget_get_visible(w) == b.view->isHidden())
    gtk_widget_set_visible(w, !b.view->isHidden());
  if (auto* control = dynamic_cast<platform::Control*>(b.view)) {
    if (bool(gtk_widget_get_sensitive(w)) != control->isEnabled())
      gtk_widget_set_sensitive(w, control->isEnabled());
  }
  platform::Window* window = window_.window();
  const bool focused = window && window->firstResponder() == b.view;
  switch (b.kind) {
    case Kind::Box: {
      auto* box = static_cast<platform::Box*>(b.view);
      const char* shown = gtk_frame_get_label(GTK_FRAME(w));
      if (box->title() != (shown ? shown : ""))
        gtk_frame_set_label(GTK_FRAME(w), box->title().c_str());
      break;
    }
    case Kind::Tabs: {
      auto* tabs = static_cast<platform::TabView*>(b.view);
      for (std::size_t i = 0; i < b.tabLabels.size() && i < tabs->items().size(); ++i) {
        const std::string& label = tabs->items()[i]->label();
        if (label != gtk_label_get_text(GTK_LABEL(b.tabLabels[i])))
          gtk_label_set_text(GTK_LABEL(b.tabLabels[i]), label.c_str());
      }
      const auto selected = int(tabs->indexOfSelectedTabViewItem());
      if (selected >= 0 && gtk_notebook_get_current_page(GTK_NOTEBOOK(w)) != selected)
        gtk_notebook_set_current_page(GTK_NOTEBOOK(w), selected);
      break;
    }
    case Kind::Push:
    case Kind::Check: {
      auto* button = static_cast<platform::Button*>(b.view);
      const char* shown = b.kind == Kind::Check ? gtk_check_button_get_label(GTK_CHECK_BUTTON(w))
                                                : gtk_button_get_label(GTK_BUTTON(w));
      if (button->title() != (shown ? shown : "")) {
        if (b.kind == Kind::Check)
          gtk_check_button_set_label(GTK_CHECK_BUTTON(w), button->title().c_str());
        else
          gtk_button_set_label(GTK_BUTTON(w), button->title().c_str());
      }
      if (b.kind == Kind::Check &&
          bool(gtk_check_button_get_active(GTK_CHECK_BUTTON(w))) != (button->state() != 0))
        gtk_check_button_set_active(GTK_CHECK_BUTTON(w), button->state() != 0);
      break;
    }
    case Kind::Toggle: {
      auto* button = static_cast<platform::Button*>(b.view);
      const bool on = button->state() != 0;
      if (bool(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w))) != on)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), on);
      const platform::Image* image =
          on && button->alternateImage() ? button->alternateImage() : button->image();
      const char* icon = iconNameFor(image);
      const char* shown = gtk_image_get_icon_name(GTK_IMAGE(b.image));
      if (std::string_view(icon) != (shown ? shown : "")) {
        if (*icon)
          gtk_image_set_from_icon_name(GTK_IMAGE(b.image), icon);
        else
          gtk_image_clear(GTK_IMAGE(b.image));
      }
      gtk_widget_set_tooltip_text(w, button->title().empty() ? nullptr : button->title().c_str());
      break;
    }
    case Kind::Matrix: {
      auto* matrix = static_cast<platform::Matrix*>(b.view);
      for (std::size_t row = 0; row < b.cells.size(); ++row) {
        const platform::ButtonCell* cell = matrix->cellAtRow(std::int64_t(row));
        if (!cell) continue;
        GtkCheckButton* radio = GTK_CHECK_BUTTON(b.cells[row]);
        const char* shown = gtk_check_button_get_label(radio);
        if (cell->title() != (shown ? shown : ""))
          gtk_check_button_set_label(radio, cell->title().c_str());
        if (bool(gtk_widget_get_sensitive(b.cells[row])) != cell->isEnabled())
          gtk_widget_set_sensitive(b.cells[row], cell->isEnabled());
        const bool on = matrix->selectedRow() == std::int64_t(row);
        if (bool(gtk_check_button_get_active(radio)) != on) gtk_check_button_set_active(radio, on);
      }
      break;
    }
    case Kind::Entry:
    case Kind::Label: {
      auto* field = static_cast<platform::TextField*>(b.view);
      if (b.kind == Kind::Entry) {
        if (field->stringValue() != gtk_editable_get_text(GTK_EDITABLE(w))) {
          gtk_editable_set_text(GTK_EDITABLE(w), field->stringValue().c_str());
          gtk_editable_set_position(GTK_EDITABLE(w), -1);
        }
        if (bool(gtk_editable_get_editable(GTK_EDITABLE(w))) != field->isEditable())
          gtk_editable_set_editable(GTK_EDITABLE(w), field->isEditable());
        if (focused && !holdsFocus(w)) {
          // A read-only text takes no focus by itself in GTK; the plug-in's
          // focus is shown all the same.
          gtk_widget_set_focusable(GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(w))), TRUE);
          gtk_widget_grab_focus(w);
        }
      } else if (field->stringValue() != gtk_label_get_text(GTK_LABEL(w))) {
        gtk_label_set_text(GTK_LABEL(w), field->stringValue().c_str());
      }
      const bool grey = field->textColor() == platform::Color::Grey;
      if (bool(gtk_widget_has_css_class(w, "dim-label")) != grey) {
        if (grey)
          gtk_widget_add_css_class(w, "dim-label");
        else
          gtk_widget_remove_css_class(w, "dim-label");
      }
      break;
    }
    case Kind::Popup: {
      auto* popup = static_cast<platform::PopUpButton*>(b.view);
      std::vector<std::string> titles;
      for (const auto& item : popup->menu()->items())
        titles.push_back(!item || item->isSeparatorItem() ? "\n" : item->title());
      if (titles != b.shownItems) {
        std::vector<const char*> strings;
        for (const auto& title : titles) strings.push_back(title.c_str());
        strings.push_back(nullptr);
        gtk_string_list_splice(b.items, 0, guint(b.shownItems.size()), strings.data());
        b.shownItems = std::move(titles);
      }
      const std::int64_t index = popup->indexOfSelectedItem();
      const guint wanted = index < 0 ? GTK_INVALID_LIST_POSITION : guint(index);
      if (gtk_drop_down_get_selected(GTK_DROP_DOWN(w)) != wanted)
        gtk_drop_down_set_selected(GTK_DROP_DOWN(w), wanted);
      break;
    }
    case Kind::Progress: {
      const bool animating = static_cast<platform::ProgressIndicator*>(b.view)->isAnimating();
      if (bool(gtk_spinner_get_spinning(GTK_SPINNER(w))) != animating)
        gtk_spinner_set_spinning(GTK_SPINNER(w), animating);
      break;
    }
    case Kind::View:
      break;
  }
}

EventOutcome PanelView::afterEvent(EventOutcome outcome) {
  sync();
  return outcome;
}

GtkWidget* PanelView::widgetFor(std::string_view identifier) const {
  for (const auto& b : bindings_) {
    if (b->view->identifier() == identifier) return b->widget;
    if (b->kind != Binding::Kind::Matrix) continue;
    auto* matrix = static_cast<platform::Matrix*>(b->view);
    for (std::size_t row = 0; row < b->cells.size(); ++row) {
      const platform::ButtonCell* cell = matrix->cellAtRow(std::int64_t(row));
      if (cell && cell->identifier() == identifier) return b->cells[row];
    }
  }
  return nullptr;
}

PanelView::Binding* PanelView::bindingFor(const ControlRef& control) const {
  platform::View* view = control.cell ? control.matrix : control.view;
  for (const auto& b : bindings_) {
    if (b->view == view) return b.get();
  }
  return nullptr;
}

json PanelView::widgetStates() const {
  using Kind = Binding::Kind;
  auto shownOnScreen = [this](GtkWidget* w) {
    for (GtkWidget* at = w; at; at = gtk_widget_get_parent(at)) {
      if (!gtk_widget_get_visible(at)) return false;
      if (at == root_.get()) break;
    }
    return true;
  };
  json controls = json::array();
  for (const auto& b : bindings_) {
    if (b->view->identifier().empty()) continue;
    GtkWidget* w = b->widget;
    json entry = {{"identifier", b->view->identifier()}, {"visible", shownOnScreen(w)}};
    if (dynamic_cast<platform::Control*>(b->view))
      entry["enabled"] = bool(gtk_widget_get_sensitive(w));
    switch (b->kind) {
      case Kind::Tabs:
        entry["selectedIndex"] = gtk_notebook_get_current_page(GTK_NOTEBOOK(w));
        break;
      case Kind::Box: {
        const char* label = gtk_frame_get_label(GTK_FRAME(w));
        entry["title"] = label ? label : "";
        break;
      }
      case Kind::Check:
        entry["state"] = gtk_check_button_get_active(GTK_CHECK_BUTTON(w)) ? 1 : 0;
        break;
      case Kind::Toggle:
        entry["state"] = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)) ? 1 : 0;
        break;
      case Kind::Push:
        entry["state"] = static_cast<platform::Button*>(b->view)->state();
        break;
      case Kind::Matrix: {
        std::int64_t row = -1;
        for (std::size_t i = 0; i < b->cells.size(); ++i) {
          if (gtk_check_button_get_active(GTK_CHECK_BUTTON(b->cells[i]))) row = std::int64_t(i);
        }
        entry["selectedRow"] = row;
        break;
      }
      case Kind::Entry:
      case Kind::Label:
        entry["text"] = b->kind == Kind::Entry ? gtk_editable_get_text(GTK_EDITABLE(w))
                                               : gtk_label_get_text(GTK_LABEL(w));
        entry["colour"] = gtk_widget_has_css_class(w, "dim-label") ? "grey" : "black";
        entry["focus"] = holdsFocus(w);
        break;
      case Kind::Popup: {
        const guint index = gtk_drop_down_get_selected(GTK_DROP_DOWN(w));
        entry["selectedIndex"] = index == GTK_INVALID_LIST_POSITION ? -1 : std::int64_t(index);
        break;
      }
      case Kind::Progress:
        entry["animating"] = bool(gtk_spinner_get_spinning(GTK_SPINNER(w)));
        break;
      case Kind::View:
        break;
    }
    controls.push_back(std::move(entry));
  }
  return json{{"controls", std::move(controls)}};
}

// ---- Synthesised input ----

EventOutcome PanelView::click(const ControlRef& control) {
  Binding* b = bindingFor(control);
  GtkWidget* w = control.cell ? widgetFor(control.cell->identifier()) : (b ? b->widget : nullptr);
  if (!b || !w) return host::clickControl(control);
  // A widget that is insensitive or not shown takes no click: the control
  // says why.
  if (!gtk_widget_is_sensitive(w) || !gtk_widget_is_visible(w) ||
      (control.cell && gtk_check_button_get_active(GTK_CHECK_BUTTON(w)))) {
    return host::clickControl(control);
  }
  lastOutcome_.reset();
  if (control.cell) {
    gtk_check_button_set_active(GTK_CHECK_BUTTON(w), TRUE);
  } else if (b->kind == Binding::Kind::Check) {
    gtk_check_button_set_active(GTK_CHECK_BUTTON(w),
                                !gtk_check_button_get_active(GTK_CHECK_BUTTON(w)));
  } else if (b->kind == Binding::Kind::Toggle) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w),
                                 !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)));
  } else if (b->kind == Binding::Kind::Push) {
    g_signal_emit_by_name(w, "clicked");
  } else {
    return host::clickControl(control);
  }
  return lastOutcome_ ? *lastOutcome_ : refusedOutcome("the widget did not take the click");
}

EventOutcome PanelView::type(const ControlRef& control, std::string_view text) {
  Binding* b = bindingFor(control);
  if (!b || b->kind != Binding::Kind::Entry || text.empty() ||
      !gtk_widget_is_sensitive(b->widget) || !gtk_widget_is_visible(b->widget))
    return host::typeInto(control, text, window_.window());
  // Typing lands at the end of the text, one character at a time through
  // the filter, as an input method commits what was typed.
  lastOutcome_.reset();
  typing_ = true;
  int position = -1;
  gtk_editable_insert_text(GTK_EDITABLE(b->widget), std::string(text).c_str(), int(text.size()),
                           &position);
  typing_ = false;
  return lastOutcome_ ? *lastOutcome_ : refusedOutcome("the widget did not take the text");
}

EventOutcome PanelView::paste(const ControlRef& control, std::string_view text) {
  Binding* b = bindingFor(control);
  if (!b || b->kind != Binding::Kind::Entry || text.empty() ||
      !gtk_widget_is_sensitive(b->widget) || !gtk_widget_is_visible(b->widget))
    return host::pasteInto(control, text, window_.window());
  lastOutcome_.reset();
  int position = int(g_utf8_strlen(gtk_editable_get_text(GTK_EDITABLE(b->widget)), -1));
  gtk_editable_insert_text(GTK_EDITABLE(b->widget), std::string(text).c_str(), int(text.size()),
                           &position);
  return lastOutcome_ ? *lastOutcome_ : refusedOutcome("the widget did not take the text");
}

EventOutcome PanelView::clear(const ControlRef& control) {
  Binding* b = bindingFor(control);
  if (!b || b->kind != Binding::Kind::Entry || !gtk_widget_is_sensitive(b->widget) ||
      !gtk_widget_is_visible(b->widget) || *gtk_editable_get_text(GTK_EDITABLE(b->widget)) == '\0')
    return host::clearField(control, window_.window());
  lastOutcome_.reset();
  gtk_editable_delete_text(GTK_EDITABLE(b->widget), 0, -1);
  return lastOutcome_ ? *lastOutcome_ : refusedOutcome("the widget did not take the deletion");
}

EventOutcome PanelView::erase(const ControlRef& control, std::size_t count) {
  Binding* b = bindingFor(control);
  if (!b || b->kind != Binding::Kind::Entry || !gtk_widget_is_sensitive(b->widget) ||
      !gtk_widget_is_visible(b->widget))
    return host::deleteBackward(control, count, window_.window());
  EventOutcome outcome;
  outcome.offered = count;
  for (std::size_t i = 0; i < count; ++i) {
    const int length = int(g_utf8_strlen(gtk_editable_get_text(GTK_EDITABLE(b->widget)), -1));
    if (length == 0) break;
    lastOutcome_.reset();
    // The delete key: the character before the caret, which is at the end.
    gtk_editable_delete_text(GTK_EDITABLE(b->widget), length - 1, length);
    if (lastOutcome_ && lastOutcome_->status == EventOutcome::Status::kDone) ++outcome.accepted;
  }
  if (count > 0 && outcome.accepted == 0)
    return refusedOutcome("nothing was deleted (the field is empty or its filter refused)");
  if (outcome.accepted < count) {
    outcome.status = EventOutcome::Status::kPartial;
    outcome.message =
        std::to_string(outcome.accepted) + " of " + std::to_string(count) + " deletions happened";
  }
  return outcome;
}

EventOutcome PanelView::choose(const ControlRef& control, std::optional<std::int64_t> index,
                               const std::optional<std::string>& title) {
  Binding* b = bindingFor(control);
  if (!b || control.cell)
    return control.cell ? click(control) : host::chooseIn(control, index, title);
  // Resolve a title to the index the person would pick; what cannot be
  // picked on the widget is left to the control to refuse.
  std::int64_t wanted = index.value_or(-1);
  if (title) {
    wanted = -1;
    if (b->kind == Binding::Kind::Popup) {
      for (std::size_t i = 0; i < b->shownItems.size(); ++i)
        if (b->shownItems[i] == *title && wanted < 0) wanted = std::int64_t(i);
    } else if (b->kind == Binding::Kind::Matrix) {
      auto* matrix = static_cast<platform::Matrix*>(b->view);
      for (std::int64_t row = 0; row < matrix->numberOfRows(); ++row)
        if (matrix->cellAtRow(row) && matrix->cellAtRow(row)->title() == *title) wanted = row;
    } else if (b->kind == Binding::Kind::Tabs) {
      auto* tabs = static_cast<platform::TabView*>(b->view);
      for (std::int64_t i = 0; i < tabs->numberOfTabViewItems(); ++i)
        if (tabs->tabViewItemAtIndex(i)->label() == *title) wanted = i;
    }
    if (wanted < 0) return host::chooseIn(control, index, title);
  }
  if (!gtk_widget_is_sensitive(b->widget) || !gtk_widget_is_visible(b->widget))
    return host::chooseIn(control, wanted, std::nullopt);
  lastOutcome_.reset();
  if (b->kind == Binding::Kind::Popup && wanted >= 0 &&
      std::size_t(wanted) < b->shownItems.size() &&
      gtk_drop_down_get_selected(GTK_DROP_DOWN(b->widget)) != guint(wanted)) {
    gtk_drop_down_set_selected(GTK_DROP_DOWN(b->widget), guint(wanted));
  } else if (b->kind == Binding::Kind::Matrix && wanted >= 0 &&
             std::size_t(wanted) < b->cells.size()) {
    auto* matrix = static_cast<platform::Matrix*>(b->view);
    return click(ControlRef{nullptr, matrix->cellAtRow(wanted), matrix, wanted});
  } else if (b->kind == Binding::Kind::Tabs && wanted >= 0 &&
             wanted < gtk_notebook_get_n_pages(GTK_NOTEBOOK(b->widget)) &&
             gtk_notebook_get_current_page(GTK_NOTEBOOK(b->widget)) != int(wanted)) {
    gtk_notebook_set_current_page(GTK_NOTEBOOK(b->widget), int(wanted));
  }
  // Choosing what is already shown still sends the control's action.
  if (!lastOutcome_) return afterEvent(host::chooseIn(control, wanted, std::nullopt));
  return *lastOutcome_;
}

bool saveWidgetPng(GtkWidget* widget, const std::filesystem::path& path, std::string* error) {
  GtkNative* native = gtk_widget_get_native(widget);
  GskRenderer* renderer = native ? gtk_native_get_renderer(native) : nullptr;
  const int width = gtk_widget_get_width(widget);
  const int height = gtk_widget_get_height(widget);
  if (!renderer || width <= 0 || height <= 0) {
    if (error) *error = "the panel is not on screen, so it cannot be drawn";
    return false;
  }
  GRef<GdkPaintable> paintable(gtk_widget_paintable_new(widget));
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable.get(), GDK_SNAPSHOT(snapshot), width, height);
  GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
  if (!node) {
    if (error) *error = "the panel drew nothing";
    return false;
  }
  graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
  GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &bounds);
  gsk_render_node_unref(node);
  const bool saved = texture && gdk_texture_save_to_png(texture, path.c_str());
  if (texture) g_object_unref(texture);
  if (!saved && error) *error = path.string() + ": cannot write the PNG file";
  return saved;
}

}  // namespace jobwick::gtkui
