// SPDX-License-Identifier: Apache-2.0
// What the widgets show, read back from GTK rather than from the controls,
// so that a test compares the screen with the controls' own dump. A secure
// field's text never leaves the view: its entry shows a bullet a character.
#include "gtk/panel_view.h"
#include "gtk/panel_view_binding.h"

namespace jobwick::gtkui {

using json = nlohmann::ordered_json;
using panelview::holdsFocus;

namespace {

/// What a GtkImage shows: the picture's name (null when none) and whether
/// it is drawn (a loaded file, an icon the theme has).
void describeImage(GtkWidget* image, const char* member, json& entry) {
  const auto* name =
      static_cast<const char*>(g_object_get_data(G_OBJECT(image), panelview::kShownImageKey));
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

void entryState(const PanelView::Binding& b, json& entry) {
  GtkWidget* w = b.widget;
  const char* text = gtk_editable_get_text(GTK_EDITABLE(w));
  if (!host::isSecret(host::ControlRef{b.view})) {
    entry["text"] = text;
  } else {
    // What the screen shows of a secret, never the secret: masked by the
    // one rule every report of a panel follows.
    entry["text"] = host::maskedText(text);
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
      entry["title"] = gtk_label_get_text(GTK_LABEL(b.heading));
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
      entryState(b, entry);
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

}  // namespace jobwick::gtkui
