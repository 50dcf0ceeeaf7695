// SPDX-License-Identifier: Apache-2.0
// The widgets for the controls: one per control, built as the control tree
// is and following it when the plug-in adds, removes or moves views, tabs
// or matrix rows.
#include <algorithm>

#include "gtk/panel_view.h"
#include "gtk/panel_view_binding.h"

namespace jobwick::gtkui {

namespace {

/// The width, in characters, of a field that takes any number of them (and
/// the most any field is given).
constexpr std::int64_t kUnlimitedFieldChars = 24;

}  // namespace

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
    // A section as GTK's own tabs draw one: a bold heading over its
    // contents, indented.
    GtkWidget* section = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    GtkWidget* heading = gtk_label_new(nullptr);
    gtk_label_set_xalign(GTK_LABEL(heading), 0);
    gtk_widget_add_css_class(heading, "heading");
    GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_set_margin_start(inner, 12);
    gtk_box_append(GTK_BOX(section), heading);
    gtk_box_append(GTK_BOX(section), inner);
    Binding& b = bind(view, section, parent);
    b.kind = Kind::Box;
    b.heading = heading;
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
  if (view->arrangesInRow()) return buildRow(view, parent);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  Binding& b = bind(view, box, parent);
  b.kind = Kind::View;
  b.container = box;
  followChildren(b);
  return b;
}

PanelView::Binding& PanelView::buildRow(platform::View* view, Binding* parent) {
  // A label, its field and its lock button side by side; the caption names
  // the field where no label of the panel does, in the labels' column.
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  GtkWidget* caption = gtk_label_new(nullptr);
  gtk_label_set_xalign(GTK_LABEL(caption), 0);
  gtk_widget_set_margin_end(caption, 6);
  gtk_widget_set_visible(caption, FALSE);
  GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_append(GTK_BOX(row), caption);
  gtk_box_append(GTK_BOX(row), inner);
  Binding& b = bind(view, row, parent);
  b.kind = Binding::Kind::View;
  b.caption = caption;
  b.container = inner;
  gtk_size_group_add_widget(labelColumn_.get(), caption);
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
      gtk_widget_set_valign(b->widget, GTK_ALIGN_CENTER);
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
    // A row's label stands in the labels' column.
    if (parent && parent->caption) gtk_size_group_add_widget(labelColumn_.get(), label);
    gtk_label_set_selectable(GTK_LABEL(label), field.isSelectable());
    Binding& b = bind(&field, label, parent);
    b.kind = Binding::Kind::Label;
    return b;
  }
  // A secret is a password entry (a bullet per character, announced as
  // password text); every entry's Return presses the window's default button.
  GtkWidget* entry = field.isSecure() ? gtk_password_entry_new() : gtk_entry_new();
  g_object_set(entry, "activates-default", TRUE, nullptr);
  // Room for the most characters the field takes (a bullet is wider than
  // a digit), and a little for the caret.
  const std::int64_t limit = field.formatter() ? field.formatter()->maximumLength() : 0;
  const std::int64_t wanted = field.isSecure() ? limit * 3 / 2 + 1 : limit + 1;
  const int chars = int(
      std::clamp<std::int64_t>(limit > 0 ? wanted : kUnlimitedFieldChars, 4, kUnlimitedFieldChars));
  gtk_editable_set_width_chars(GTK_EDITABLE(entry), chars);
  gtk_editable_set_max_width_chars(GTK_EDITABLE(entry), chars);
  gtk_widget_set_halign(entry, GTK_ALIGN_START);
  gtk_widget_set_valign(entry, GTK_ALIGN_CENTER);
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
    pages.push_back(scrolledPage(page ? page->widget : gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)));
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

GtkWidget* PanelView::scrolledPage(GtkWidget* content) {
  // A page scrolls rather than making the dialog taller than the screen.
  gtk_widget_set_margin_start(content, 12);
  gtk_widget_set_margin_end(content, 12);
  gtk_widget_set_margin_top(content, 12);
  gtk_widget_set_margin_bottom(content, 12);
  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scrolled), TRUE);
  gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
  gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scrolled), kPageMaxHeight);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), content);
  return scrolled;
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
    // Announced as a radio button (GTK's check button is a check box).
    GtkWidget* radio =
        GTK_WIDGET(g_object_new(GTK_TYPE_CHECK_BUTTON, "label", cell ? cell->title().c_str() : "",
                                "accessible-role", GTK_ACCESSIBLE_ROLE_RADIO, nullptr));
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
    panelview::disconnect(*b);
    if (pending_ && pending_->binding == b) pending_.reset();
  }
  std::erase_if(bindings_, [&gone](const std::unique_ptr<Binding>& b) {
    return std::find(gone.begin(), gone.end(), b.get()) != gone.end();
  });
}

// ---- A pop-up's menu rows ----

void Signals::setupItem(GtkSignalListItemFactory*, GtkListItem* item, gpointer) {
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_append(GTK_BOX(row), gtk_image_new());
  gtk_box_append(GTK_BOX(row), gtk_label_new(""));
  GtkWidget* separator = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_widget_set_hexpand(separator, TRUE);
  gtk_box_append(GTK_BOX(row), separator);
  gtk_list_item_set_child(item, row);
}

void Signals::bindItem(GtkSignalListItemFactory*, GtkListItem* item, gpointer data) {
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

}  // namespace jobwick::gtkui
