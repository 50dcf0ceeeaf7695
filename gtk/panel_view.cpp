// The panel's controls as GTK 4 widgets.
#include "gtk/panel_view.h"

#include <algorithm>

#include "platform/strings.h"

namespace jobwick::gtkui {
namespace {

using json = nlohmann::ordered_json;
using host::ControlRef;
using host::EventOutcome;

/// The theme icon that stands for a system icon; "" when there is none.
const char* iconNameFor(const platform::Image* image) {
  if (!image) return "";
  if (image->name() == "icon:lock") return "changes-prevent-symbolic";
  if (image->name() == "icon:ulck") return "changes-allow-symbolic";
  return "";
}

/// The name of the picture a GtkImage was last given by the view.
constexpr char kShownImageKey[] = "jobwick-image";

/// UTF-16 offset of the `chars`-th character of `text` (clamped; a negative
/// count means the end).
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

/// Character offset of the UTF-16 offset `units` of `text` (clamped).
int characterOfUtf16Offset(const std::string& text, std::size_t units) {
  std::size_t seenUnits = 0;
  int chars = 0;
  for (std::size_t i = 0; i < text.size() && seenUnits < units; ++chars) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    seenUnits += n == 4 ? 2 : 1;
    i += n;
  }
  return chars;
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
  Binding* parent = nullptr;
  // What the widget holds of the control tree, to notice the plug-in adding,
  // removing or moving views: a view's subviews (second null), a tab view's
  // items with their views. `children` (null for a tab without a view) and
  // a tab view's `pages` and `tabLabels` are in the same order. The pointers
  // are compared only: a view that is gone is never reached through them.
  std::vector<std::pair<const void*, const void*>> shown;
  std::vector<Binding*> children;
  GtkWidget* container = nullptr;  // the box the subviews' widgets go into
  std::vector<GtkWidget*> pages;
  std::vector<GtkWidget*> tabLabels;
  GtkWidget* image = nullptr;     // a toggle's padlock
  std::vector<GtkWidget*> cells;  // a matrix's radio buttons, by row
  std::vector<const platform::ButtonCell*> shownCells;
  GtkStringList* items = nullptr;                 // a pop-up's menu as shown
  std::vector<std::string> shownItems;            // the item titles shown ("\n" for a separator)
  std::vector<std::string> itemLooks;             // and what else each item shows
  GtkListItemFactory* factory = nullptr;          // a pop-up's item factory
  GtkEventController* focusController = nullptr;  // an entry's
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
      owner.flushPendingDeletion();
      owner.lastOutcome_ = owner.afterEvent(host::typeInto(b->ref(), inserted, window));
      return;
    }
    // The caret where the widget's was, or GTK's selection it has just
    // asked to delete, then the same edit as typing or pasting over it.
    int from = *position;
    int to = *position;
    if (owner.pending_ && owner.pending_->binding == b && *position >= owner.pending_->start &&
        *position <= owner.pending_->end) {
      from = owner.pending_->start;
      to = owner.pending_->end;
      owner.pending_.reset();
    } else if (owner.pending_) {
      const PanelView::PendingDeletion held = *owner.pending_;
      owner.flushPendingDeletion();
      if (held.binding == b && from > held.end) from = to = from - (held.end - held.start);
    }
    if (window && window->firstResponder() != field) window->makeFirstResponder(field);
    const std::string& before = field->stringValue();
    const std::size_t start = utf16OffsetOfCharacter(before, from);
    field->setSelectedRange({start, utf16OffsetOfCharacter(before, to) - start});
    const bool taken = field->replaceSelection(inserted);
    if (taken) {
      const platform::Range caret = field->selectedRange();
      *position = characterOfUtf16Offset(field->stringValue(), caret.location + caret.length);
    }
    owner.lastOutcome_ = owner.afterEvent(
        taken ? EventOutcome{} : refusedOutcome("the field's input filter refused the text"));
  }
  static void deleteText(GtkEditable* editable, int start, int end, gpointer data) {
    auto* b = static_cast<PanelView::Binding*>(data);
    PanelView& owner = *b->owner;
    if (owner.syncing_) return;
    g_signal_stop_emission_by_name(editable, "delete-text");
    owner.flushPendingDeletion();
    int selectionStart = 0;
    int selectionEnd = 0;
    if (!owner.synthesised_ &&
        gtk_editable_get_selection_bounds(editable, &selectionStart, &selectionEnd) &&
        selectionStart == start && selectionEnd == end) {
      // Perhaps the first half of typing or pasting over the selection: the
      // insertion that follows at once makes it one edit; without one the
      // deletion happens before anything else is handled.
      owner.pending_ = PanelView::PendingDeletion{b, start, end};
      owner.pendingSource_ =
          g_idle_add_full(G_PRIORITY_HIGH, &PanelView::pendingDeletionDue, &owner, nullptr);
      return;
    }
    owner.lastOutcome_ = owner.deleteNow(*b, start, end);
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
    const platform::Image* picture = isSeparator ? nullptr : entry->image();
    b->owner->showImage(image, picture);
    gtk_widget_set_visible(image, picture != nullptr);
    gtk_label_set_text(GTK_LABEL(label), isSeparator ? "" : entry->title().c_str());
    gtk_widget_set_visible(label, !isSeparator);
    gtk_widget_set_visible(separator, isSeparator);
    gtk_widget_set_sensitive(row, isSeparator || entry->isEnabled());
  }
};

PanelView::PanelView(host::PanelWindow& window) : window_(window) {
  rootBinding_ = &build(window.root(), nullptr);
  root_.reset(GTK_WIDGET(g_object_ref_sink(rootBinding_->widget)));
  sync();
}

namespace {

/// Disconnects every handler of `binding`'s widgets, so that a widget that
/// outlives its binding (in a container, or in GTK's hands) never reaches it.
void disconnect(PanelView::Binding& binding) {
  auto drop = [&binding](gpointer instance) {
    if (instance) {
      g_signal_handlers_disconnect_matched(instance, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                           &binding);
    }
  };
  drop(binding.widget);
  if (GTK_IS_ENTRY(binding.widget)) drop(gtk_editable_get_delegate(GTK_EDITABLE(binding.widget)));
  drop(binding.focusController);
  drop(binding.factory);
  for (GtkWidget* cell : binding.cells) drop(cell);
}

}  // namespace

PanelView::~PanelView() {
  syncing_ = true;
  if (pendingSource_) g_source_remove(pendingSource_);
  for (const auto& binding : bindings_) disconnect(*binding);
}

PanelView::Binding& PanelView::bind(platform::View* view, GtkWidget* widget, Binding* parent) {
  auto binding = std::make_unique<Binding>();
  binding->owner = this;
  binding->view = view;
  binding->widget = widget;
  binding->parent = parent;
  if (!view->identifier().empty()) gtk_widget_set_name(widget, view->identifier().c_str());
  bindings_.push_back(std::move(binding));
  return *bindings_.back();
}

PanelView::Binding& PanelView::build(platform::View* view, Binding* parent) {
  using Kind = Binding::Kind;
  if (dynamic_cast<platform::TabView*>(view)) {
    GtkWidget* notebook = gtk_notebook_new();
    Binding& b = bind(view, notebook, parent);
    b.kind = Kind::Tabs;
    followTabs(b);
    g_signal_connect(notebook, "notify::page", G_CALLBACK(Signals::page), &b);
    return b;
  }
  if (dynamic_cast<platform::Box*>(view)) {
    GtkWidget* frame = gtk_frame_new(nullptr);
    GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_widget_set_margin_start(inner, 6);
    gtk_widget_set_margin_end(inner, 6);
    gtk_widget_set_margin_bottom(inner, 4);
    gtk_frame_set_child(GTK_FRAME(frame), inner);
    Binding& b = bind(view, frame, parent);
    b.kind = Kind::Box;
    b.container = inner;
    followChildren(b);
    return b;
  }
  if (auto* button = dynamic_cast<platform::Button*>(view)) return buildButton(*button, parent);
  if (dynamic_cast<platform::Matrix*>(view)) {
    Binding& b = bind(view, gtk_box_new(GTK_ORIENTATION_VERTICAL, 2), parent);
    b.kind = Kind::Matrix;
    followCells(b);
    return b;
  }
  if (auto* field = dynamic_cast<platform::TextField*>(view)) return buildField(*field, parent);
  if (dynamic_cast<platform::PopUpButton*>(view)) return buildPopup(view, parent);
  if (dynamic_cast<platform::ProgressIndicator*>(view)) {
    Binding& b = bind(view, gtk_spinner_new(), parent);
    gtk_widget_set_halign(b.widget, GTK_ALIGN_START);
    b.kind = Kind::Progress;
    return b;
  }
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  Binding& b = bind(view, box, parent);
  b.kind = Kind::View;
  b.container = box;
  followChildren(b);
  return b;
}

PanelView::Binding& PanelView::buildButton(platform::Button& button, Binding* parent) {
  using Kind = Binding::Kind;
  Binding* b = nullptr;
  switch (button.buttonType()) {
    case platform::ButtonType::CheckBox:
    case platform::ButtonType::Radio:
      b = &bind(&button, gtk_check_button_new_with_label(button.title().c_str()), parent);
      b->kind = Kind::Check;
      g_signal_connect(b->widget, "toggled", G_CALLBACK(Signals::toggled), b);
      break;
    case platform::ButtonType::Toggle:
      b = &bind(&button, gtk_toggle_button_new(), parent);
      b->kind = Kind::Toggle;
      b->image = gtk_image_new();
      gtk_button_set_child(GTK_BUTTON(b->widget), b->image);
      g_signal_connect(b->widget, "toggled", G_CALLBACK(Signals::toggled), b);
      break;
    default:
      b = &bind(&button, gtk_button_new_with_label(button.title().c_str()), parent);
      b->kind = Kind::Push;
      g_signal_connect(b->widget, "clicked", G_CALLBACK(Signals::clicked), b);
      break;
  }
  gtk_widget_set_halign(b->widget, GTK_ALIGN_START);
  return *b;
}

PanelView::Binding& PanelView::buildField(platform::TextField& field, Binding* parent) {
  // A field the plug-in may make editable (it has an input filter, or is
  // editable or selectable now) is an entry; the rest are labels.
  if (!field.isEditable() && !field.isSelectable() && !field.formatter()) {
    GtkWidget* label = gtk_label_new(field.stringValue().c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_selectable(GTK_LABEL(label), field.isSelectable());
    Binding& b = bind(&field, label, parent);
    b.kind = Binding::Kind::Label;
    return b;
  }
  GtkWidget* entry = gtk_entry_new();
  Binding& b = bind(&field, entry, parent);
  b.kind = Binding::Kind::Entry;
  GtkEditable* delegate = gtk_editable_get_delegate(GTK_EDITABLE(entry));
  g_signal_connect(delegate, "insert-text", G_CALLBACK(Signals::insertText), &b);
  g_signal_connect(delegate, "delete-text", G_CALLBACK(Signals::deleteText), &b);
  b.focusController = gtk_event_controller_focus_new();
  g_signal_connect(b.focusController, "enter", G_CALLBACK(Signals::focusEnter), &b);
  gtk_widget_add_controller(entry, b.focusController);
  return b;
}

PanelView::Binding& PanelView::buildPopup(platform::View* view, Binding* parent) {
  GtkStringList* list = gtk_string_list_new(nullptr);
  GtkWidget* dropDown = gtk_drop_down_new(G_LIST_MODEL(list), nullptr);
  Binding& b = bind(view, dropDown, parent);
  b.kind = Binding::Kind::Popup;
  b.items = list;
  b.factory = gtk_signal_list_item_factory_new();
  g_signal_connect(b.factory, "setup", G_CALLBACK(Signals::setupItem), &b);
  g_signal_connect(b.factory, "bind", G_CALLBACK(Signals::bindItem), &b);
  gtk_drop_down_set_factory(GTK_DROP_DOWN(dropDown), b.factory);
  g_object_unref(b.factory);  // the drop-down holds it
  gtk_widget_set_halign(dropDown, GTK_ALIGN_START);
  g_signal_connect(dropDown, "notify::selected", G_CALLBACK(Signals::selected), &b);
  return b;
}

// ---- Following the control tree ----

void PanelView::followTree(Binding& b) {
  if (b.kind == Binding::Kind::Tabs) followTabs(b);
  if (b.container) followChildren(b);
  if (b.kind == Binding::Kind::Matrix) followCells(b);
  for (Binding* child : b.children)
    if (child) followTree(*child);
}

void PanelView::followChildren(Binding& b) {
  std::vector<std::pair<const void*, const void*>> wanted;
  for (const auto& child : b.view->subviews()) wanted.emplace_back(child.get(), nullptr);
  if (wanted == b.shown) return;
  std::vector<Binding*> kept(b.children);
  std::vector<Binding*> children;
  for (const auto& child : b.view->subviews()) {
    Binding* reused = nullptr;
    for (std::size_t i = 0; i < b.shown.size() && !reused; ++i) {
      if (b.shown[i].first == child.get() && kept[i]) std::swap(reused, kept[i]);
    }
    children.push_back(reused ? reused : &build(child.get(), &b));
  }
  for (Binding* gone : kept) {
    if (!gone) continue;
    GtkWidget* widget = gone->widget;
    dropTree(gone);
    gtk_box_remove(GTK_BOX(b.container), widget);
  }
  GtkWidget* previous = nullptr;
  for (Binding* child : children) {
    if (gtk_widget_get_parent(child->widget) == b.container)
      gtk_box_reorder_child_after(GTK_BOX(b.container), child->widget, previous);
    else
      gtk_box_insert_child_after(GTK_BOX(b.container), child->widget, previous);
    previous = child->widget;
  }
  b.children = std::move(children);
  b.shown = std::move(wanted);
}

void PanelView::followTabs(Binding& b) {
  auto* tabs = static_cast<platform::TabView*>(b.view);
  std::vector<std::pair<const void*, const void*>> wanted;
  for (const auto& item : tabs->items()) wanted.emplace_back(item.get(), item->view());
  if (wanted == b.shown) return;
  GtkNotebook* notebook = GTK_NOTEBOOK(b.widget);
  std::vector<bool> taken(b.shown.size(), false);
  std::vector<Binding*> children;
  std::vector<GtkWidget*> pages;
  std::vector<GtkWidget*> labels;
  for (const auto& item : tabs->items()) {
    std::size_t at = 0;
    while (at < b.shown.size() && (taken[at] || b.shown[at] != wanted[pages.size()])) ++at;
    if (at < b.shown.size()) {
      taken[at] = true;
      children.push_back(b.children[at]);
      pages.push_back(b.pages[at]);
      labels.push_back(b.tabLabels[at]);
      continue;
    }
    Binding* page = item->view() ? &build(item->view(), &b) : nullptr;
    children.push_back(page);
    pages.push_back(page ? page->widget : gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    labels.push_back(gtk_label_new(item->label().c_str()));
  }
  for (std::size_t i = 0; i < b.shown.size(); ++i) {
    if (taken[i]) continue;
    if (b.children[i]) dropTree(b.children[i]);
    gtk_notebook_remove_page(notebook, gtk_notebook_page_num(notebook, b.pages[i]));
  }
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (gtk_notebook_page_num(notebook, pages[i]) < 0)
      gtk_notebook_insert_page(notebook, pages[i], labels[i], int(i));
    else
      gtk_notebook_reorder_child(notebook, pages[i], int(i));
  }
  b.children = std::move(children);
  b.pages = std::move(pages);
  b.tabLabels = std::move(labels);
  b.shown = std::move(wanted);
}

void PanelView::followCells(Binding& b) {
  auto* matrix = static_cast<platform::Matrix*>(b.view);
  std::vector<const platform::ButtonCell*> wanted;
  for (const auto& cell : matrix->cells()) wanted.push_back(cell.get());
  if (wanted == b.shownCells) return;
  for (GtkWidget* radio : b.cells) {
    g_signal_handlers_disconnect_matched(radio, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, &b);
    gtk_box_remove(GTK_BOX(b.widget), radio);
  }
  b.cells.clear();
  GtkCheckButton* group = nullptr;
  for (const platform::ButtonCell* cell : wanted) {
    GtkWidget* radio = gtk_check_button_new_with_label(cell ? cell->title().c_str() : "");
    if (group) gtk_check_button_set_group(GTK_CHECK_BUTTON(radio), group);
    group = group ? group : GTK_CHECK_BUTTON(radio);
    if (cell && !cell->identifier().empty()) gtk_widget_set_name(radio, cell->identifier().c_str());
    g_signal_connect(radio, "toggled", G_CALLBACK(Signals::cellToggled), &b);
    gtk_box_append(GTK_BOX(b.widget), radio);
    b.cells.push_back(radio);
  }
  b.shownCells = std::move(wanted);
}

void PanelView::dropTree(Binding* binding) {
  std::vector<Binding*> gone = {binding};
  for (std::size_t i = 0; i < gone.size(); ++i) {
    for (Binding* child : gone[i]->children)
      if (child) gone.push_back(child);
  }
  for (Binding* b : gone) {
    disconnect(*b);
    if (pending_ && pending_->binding == b) pending_.reset();
  }
  std::erase_if(bindings_, [&gone](const std::unique_ptr<Binding>& b) {
    return std::find(gone.begin(), gone.end(), b.get()) != gone.end();
  });
}

void PanelView::sync() {
  const bool was = syncing_;
  syncing_ = true;
  flushPendingDeletion();
  followTree(*rootBinding_);
  syncTree(*rootBinding_);
  syncFocus();
  syncing_ = was;
}

void PanelView::syncTree(Binding& b) {
  syncOne(b);
  for (Binding* child : b.children)
    if (child) syncTree(*child);
}

void PanelView::syncFocus() {
  platform::Window* window = window_.window();
  const platform::View* responder = window ? window->firstResponder() : nullptr;
  // Scripted, nobody but the controls moves the focus: GTK's own moves
  // (a page switched away from the focused field) are undone. With the
  // focus following the widgets only a change of the controls' focus moves
  // the widgets' focus, so that a person's own moves are not undone.
  if (responder != shownResponder_ || !focusFollowsWidgets_) {
    shownResponder_ = responder;
    focusPending_ = true;
  }
  GtkRoot* root = gtk_widget_get_root(root_.get());
  if (!focusPending_ || !root) return;
  Binding* b = responder ? bindingOf(responder) : nullptr;
  if (!b) {
    if (holdsFocus(root_.get())) gtk_root_set_focus(root, nullptr);
    focusPending_ = false;
    return;
  }
  if (!holdsFocus(b->widget)) {
    if (b->kind == Binding::Kind::Entry) {
      // A read-only text takes no focus by itself in GTK; the plug-in's
      // focus is shown all the same.
      gtk_widget_set_focusable(GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(b->widget))),
                               TRUE);
    }
    gtk_widget_grab_focus(b->widget);
    if (b->kind == Binding::Kind::Entry && holdsFocus(b->widget)) {
      // GTK selects the whole text of a field it focuses; the control's
      // selection is what the next keystroke replaces.
      auto* field = static_cast<platform::TextField*>(b->view);
      const platform::Range range = field->selectedRange();
      const std::string& text = field->stringValue();
      gtk_editable_select_region(GTK_EDITABLE(b->widget),
                                 characterOfUtf16Offset(text, range.location),
                                 characterOfUtf16Offset(text, range.location + range.length));
    }
  }
  focusPending_ = !holdsFocus(b->widget);
}

void PanelView::showImage(GtkWidget* image, const platform::Image* picture) {
  const std::string name = picture ? picture->name() : std::string();
  const auto* shown = static_cast<const char*>(g_object_get_data(G_OBJECT(image), kShownImageKey));
  if (shown && name == shown) return;
  g_object_set_data_full(G_OBJECT(image), kShownImageKey, g_strdup(name.c_str()), g_free);
  if (!picture) {
    gtk_image_clear(GTK_IMAGE(image));
    return;
  }
  if (!picture->file().empty()) {
    GRef<GdkTexture>& texture = textures_[picture->file()];
    if (!texture.get()) {
      texture.reset(gdk_texture_new_from_filename(picture->file().c_str(), nullptr));
    }
    if (texture.get())
      gtk_image_set_from_paintable(GTK_IMAGE(image), GDK_PAINTABLE(texture.get()));
    else
      gtk_image_clear(GTK_IMAGE(image));
  } else if (*iconNameFor(picture) != '\0') {
    gtk_image_set_from_icon_name(GTK_IMAGE(image), iconNameFor(picture));
  } else {
    gtk_image_clear(GTK_IMAGE(image));
  }
  if (picture->size().width > 0)
    gtk_image_set_pixel_size(GTK_IMAGE(image), int(picture->size().width));
}

EventOutcome PanelView::deleteNow(Binding& b, int start, int end) {
  auto* field = static_cast<platform::TextField*>(b.view);
  platform::Window* window = window_.window();
  if (window && window->firstResponder() != field) window->makeFirstResponder(field);
  const std::string& text = field->stringValue();
  const std::size_t from = utf16OffsetOfCharacter(text, start);
  const std::size_t to = utf16OffsetOfCharacter(text, end);
  field->setSelectedRange({from, to > from ? to - from : 0});
  return afterEvent(field->deleteBackward()
                        ? EventOutcome{}
                        : refusedOutcome("the field's input filter refused the deletion"));
}

void PanelView::flushPendingDeletion() {
  if (pendingSource_) {
    g_source_remove(pendingSource_);
    pendingSource_ = 0;
  }
  if (!pending_) return;
  const PendingDeletion held = *pending_;
  pending_.reset();
  const bool was = syncing_;
  syncing_ = false;
  lastOutcome_ = deleteNow(*held.binding, held.start, held.end);
  syncing_ = was;
}

gboolean PanelView::pendingDeletionDue(gpointer data) {
  auto* view = static_cast<PanelView*>(data);
  view->pendingSource_ = 0;
  view->flushPendingDeletion();
  return G_SOURCE_REMOVE;
}

namespace {

// What a widget of each kind shows of its control; each changes only what
// differs, so that GTK emits no signal for a value it already has.

void syncBox(PanelView::Binding& b) {
  auto* box = static_cast<platform::Box*>(b.view);
  const char* shown = gtk_frame_get_label(GTK_FRAME(b.widget));
  if (box->title() != (shown ? shown : ""))
    gtk_frame_set_label(GTK_FRAME(b.widget), box->title().c_str());
}

void syncTabs(PanelView::Binding& b) {
  auto* tabs = static_cast<platform::TabView*>(b.view);
  for (std::size_t i = 0; i < b.tabLabels.size() && i < tabs->items().size(); ++i) {
    const std::string& label = tabs->items()[i]->label();
    if (label != gtk_label_get_text(GTK_LABEL(b.tabLabels[i])))
      gtk_label_set_text(GTK_LABEL(b.tabLabels[i]), label.c_str());
  }
  const auto selected = int(tabs->indexOfSelectedTabViewItem());
  if (selected >= 0 && gtk_notebook_get_current_page(GTK_NOTEBOOK(b.widget)) != selected)
    gtk_notebook_set_current_page(GTK_NOTEBOOK(b.widget), selected);
}

/// A push button or a check box (or radio button).
void syncButton(PanelView::Binding& b) {
  using Kind = PanelView::Binding::Kind;
  GtkWidget* w = b.widget;
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
}

void syncMatrix(PanelView::Binding& b) {
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
}

/// An entry: masking, text (with the caret where the control's is) and
/// whether it takes typing.
void syncEntry(GtkWidget* w, const platform::TextField& field) {
  if (bool(gtk_entry_get_visibility(GTK_ENTRY(w))) == field.isSecure()) {
    gtk_entry_set_visibility(GTK_ENTRY(w), !field.isSecure());
    gtk_entry_set_input_purpose(
        GTK_ENTRY(w), field.isSecure() ? GTK_INPUT_PURPOSE_PASSWORD : GTK_INPUT_PURPOSE_FREE_FORM);
  }
  if (field.stringValue() != gtk_editable_get_text(GTK_EDITABLE(w))) {
    gtk_editable_set_text(GTK_EDITABLE(w), field.stringValue().c_str());
    // The caret where the control's is (after the text it took).
    const platform::Range caret = field.selectedRange();
    gtk_editable_set_position(
        GTK_EDITABLE(w),
        characterOfUtf16Offset(field.stringValue(), caret.location + caret.length));
  }
  if (bool(gtk_editable_get_editable(GTK_EDITABLE(w))) != field.isEditable())
    gtk_editable_set_editable(GTK_EDITABLE(w), field.isEditable());
}

/// A text field, as an entry or a label, greyed as the control's text is.
void syncField(PanelView::Binding& b) {
  GtkWidget* w = b.widget;
  auto* field = static_cast<platform::TextField*>(b.view);
  if (b.kind == PanelView::Binding::Kind::Entry) {
    syncEntry(w, *field);
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
}

void syncPopup(PanelView::Binding& b) {
  auto* popup = static_cast<platform::PopUpButton*>(b.view);
  // Titles, pictures and enabled states: a change in any of them binds the
  // items again.
  std::vector<std::string> titles;
  std::vector<std::string> looks;
  for (const auto& item : popup->menu()->items()) {
    const bool separator = !item || item->isSeparatorItem();
    titles.push_back(separator ? "\n" : item->title());
    looks.push_back(separator ? ""
                              : (item->isEnabled() ? "1" : "0") +
                                    (item->image() ? item->image()->name() : ""));
  }
  if (titles != b.shownItems || looks != b.itemLooks) {
    std::vector<const char*> strings;
    for (const auto& title : titles) strings.push_back(title.c_str());
    strings.push_back(nullptr);
    gtk_string_list_splice(b.items, 0, guint(b.shownItems.size()), strings.data());
    b.shownItems = std::move(titles);
    b.itemLooks = std::move(looks);
  }
  const std::int64_t index = popup->indexOfSelectedItem();
  const guint wanted = index < 0 ? GTK_INVALID_LIST_POSITION : guint(index);
  if (gtk_drop_down_get_selected(GTK_DROP_DOWN(b.widget)) != wanted)
    gtk_drop_down_set_selected(GTK_DROP_DOWN(b.widget), wanted);
}

void syncProgress(PanelView::Binding& b) {
  const bool animating = static_cast<platform::ProgressIndicator*>(b.view)->isAnimating();
  if (bool(gtk_spinner_get_spinning(GTK_SPINNER(b.widget))) != animating)
    gtk_spinner_set_spinning(GTK_SPINNER(b.widget), animating);
}

}  // namespace

void PanelView::syncToggle(Binding& b) {
  GtkWidget* w = b.widget;
  auto* button = static_cast<platform::Button*>(b.view);
  const bool on = button->state() != 0;
  if (bool(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w))) != on)
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), on);
  // The alternate image (the closed padlock) while the button is on.
  showImage(b.image, on && button->alternateImage() ? button->alternateImage() : button->image());
  // Only a changed tooltip is set: setting one asks the display where the
  // pointer is, a round trip to the X server on every sync.
  const char* tooltip = button->title().empty() ? nullptr : button->title().c_str();
  if (g_strcmp0(gtk_widget_get_tooltip_text(w), tooltip) != 0)
    gtk_widget_set_tooltip_text(w, tooltip);
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
  switch (b.kind) {
    case Kind::Box:
      syncBox(b);
      break;
    case Kind::Tabs:
      syncTabs(b);
      break;
    case Kind::Push:
    case Kind::Check:
      syncButton(b);
      break;
    case Kind::Toggle:
      syncToggle(b);
      break;
    case Kind::Matrix:
      syncMatrix(b);
      break;
    case Kind::Entry:
    case Kind::Label:
      syncField(b);
      break;
    case Kind::Popup:
      syncPopup(b);
      break;
    case Kind::Progress:
      syncProgress(b);
      break;
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
  return bindingOf(control.cell ? control.matrix : control.view);
}

PanelView::Binding* PanelView::bindingOf(const platform::View* view) const {
  for (const auto& b : bindings_) {
    if (b->view == view) return b.get();
  }
  return nullptr;
}

namespace {

/// What a GtkImage shows: the picture's name (null when none) and whether
/// it is drawn (a loaded file, an icon the theme has).
void describeImage(GtkWidget* image, const char* member, json& entry) {
  const auto* name = static_cast<const char*>(g_object_get_data(G_OBJECT(image), kShownImageKey));
  const GtkImageType type = gtk_image_get_storage_type(GTK_IMAGE(image));
  bool drawn = type == GTK_IMAGE_PAINTABLE;
  if (type == GTK_IMAGE_ICON_NAME) {
    GtkIconTheme* theme = gtk_icon_theme_get_for_display(gtk_widget_get_display(image));
    drawn = gtk_icon_theme_has_icon(theme, gtk_image_get_icon_name(GTK_IMAGE(image)));
  }
  entry[member] = name && *name ? json(name) : json(nullptr);
  entry["imageDrawn"] = drawn;
}

/// The first picture inside `widget` outside its pop-overs: what a drop-
/// down's button shows of its selected item.
GtkWidget* firstImageIn(GtkWidget* widget) {
  if (GTK_IS_POPOVER(widget)) return nullptr;
  if (GTK_IS_IMAGE(widget) && gtk_widget_get_visible(widget)) return widget;
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child)) {
    if (GtkWidget* found = firstImageIn(child)) return found;
  }
  return nullptr;
}

std::string bullets(const char* text) {
  std::string out;
  for (glong n = g_utf8_strlen(text, -1); n > 0; --n) out += "\u2022";
  return out;
}

}  // namespace

json PanelView::widgetStates() const {
  json controls = json::array();
  stateOf(*rootBinding_, controls);
  return json{{"controls", std::move(controls)}};
}

namespace {

// What a widget of each kind shows, added to its entry of widgetStates().

void tabsState(GtkWidget* w, json& entry) {
  entry["selectedIndex"] = gtk_notebook_get_current_page(GTK_NOTEBOOK(w));
  json tabs = json::array();
  for (int i = 0; i < gtk_notebook_get_n_pages(GTK_NOTEBOOK(w)); ++i) {
    GtkWidget* label =
        gtk_notebook_get_tab_label(GTK_NOTEBOOK(w), gtk_notebook_get_nth_page(GTK_NOTEBOOK(w), i));
    tabs.push_back(GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "");
  }
  entry["tabs"] = std::move(tabs);
}

void matrixState(const PanelView::Binding& b, json& entry) {
  std::int64_t row = -1;
  json cells = json::array();
  for (std::size_t i = 0; i < b.cells.size(); ++i) {
    if (gtk_check_button_get_active(GTK_CHECK_BUTTON(b.cells[i]))) row = std::int64_t(i);
    const char* title = gtk_check_button_get_label(GTK_CHECK_BUTTON(b.cells[i]));
    cells.push_back(
        {{"title", title ? title : ""}, {"enabled", bool(gtk_widget_get_sensitive(b.cells[i]))}});
  }
  entry["selectedRow"] = row;
  entry["cells"] = std::move(cells);
}

void entryState(GtkWidget* w, json& entry) {
  const char* text = gtk_editable_get_text(GTK_EDITABLE(w));
  if (gtk_entry_get_visibility(GTK_ENTRY(w))) {
    entry["text"] = text;
  } else {
    // What the screen shows of a secret, never the secret.
    entry["text"] = bullets(text);
    entry["masked"] = true;
  }
  entry["colour"] = gtk_widget_has_css_class(w, "dim-label") ? "grey" : "black";
  entry["focus"] = holdsFocus(w);
}

void popupState(const PanelView::Binding& b, json& entry) {
  const guint index = gtk_drop_down_get_selected(GTK_DROP_DOWN(b.widget));
  entry["selectedIndex"] = index == GTK_INVALID_LIST_POSITION ? -1 : std::int64_t(index);
  json items = json::array();
  for (const auto& title : b.shownItems)
    items.push_back(title == "\n" ? json(nullptr) : json(title));
  entry["items"] = std::move(items);
  if (GtkWidget* image = firstImageIn(b.widget)) describeImage(image, "selectedImage", entry);
}

/// What the widget of `b` shows beyond "identifier", "visible" and "enabled".
void kindState(const PanelView::Binding& b, json& entry) {
  using Kind = PanelView::Binding::Kind;
  GtkWidget* w = b.widget;
  switch (b.kind) {
    case Kind::Tabs:
      tabsState(w, entry);
      break;
    case Kind::Box: {
      const char* label = gtk_frame_get_label(GTK_FRAME(w));
      entry["title"] = label ? label : "";
      break;
    }
    case Kind::Check:
      entry["state"] = gtk_check_button_get_active(GTK_CHECK_BUTTON(w)) ? 1 : 0;
      entry["title"] = gtk_check_button_get_label(GTK_CHECK_BUTTON(w))
                           ? gtk_check_button_get_label(GTK_CHECK_BUTTON(w))
                           : "";
      break;
    case Kind::Toggle:
      entry["state"] = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)) ? 1 : 0;
      describeImage(b.image, "image", entry);
      break;
    case Kind::Push:
      entry["state"] = static_cast<platform::Button*>(b.view)->state();
      entry["title"] =
          gtk_button_get_label(GTK_BUTTON(w)) ? gtk_button_get_label(GTK_BUTTON(w)) : "";
      break;
    case Kind::Matrix:
      matrixState(b, entry);
      break;
    case Kind::Entry:
      entryState(w, entry);
      break;
    case Kind::Label:
      entry["text"] = gtk_label_get_text(GTK_LABEL(w));
      entry["colour"] = gtk_widget_has_css_class(w, "dim-label") ? "grey" : "black";
      entry["focus"] = holdsFocus(w);
      break;
    case Kind::Popup:
      popupState(b, entry);
      break;
    case Kind::Progress:
      entry["animating"] = bool(gtk_spinner_get_spinning(GTK_SPINNER(w)));
      break;
    case Kind::View:
      break;
  }
}

}  // namespace

void PanelView::stateOf(const Binding& b, json& controls) const {
  auto shownOnScreen = [this](GtkWidget* w) {
    for (GtkWidget* at = w; at; at = gtk_widget_get_parent(at)) {
      if (!gtk_widget_get_visible(at)) return false;
      if (at == root_.get()) break;
    }
    return true;
  };
  auto children = [&] {
    for (const Binding* child : b.children)
      if (child) stateOf(*child, controls);
  };
  if (b.view->identifier().empty()) return children();
  GtkWidget* w = b.widget;
  json entry = {{"identifier", b.view->identifier()}, {"visible", shownOnScreen(w)}};
  if (dynamic_cast<platform::Control*>(b.view))
    entry["enabled"] = bool(gtk_widget_get_sensitive(w));
  kindState(b, entry);
  controls.push_back(std::move(entry));
  children();
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
  synthesised_ = true;
  gtk_editable_delete_text(GTK_EDITABLE(b->widget), 0, -1);
  synthesised_ = false;
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
    synthesised_ = true;
    gtk_editable_delete_text(GTK_EDITABLE(b->widget), length - 1, length);
    synthesised_ = false;
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
