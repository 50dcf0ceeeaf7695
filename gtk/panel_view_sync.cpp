// SPDX-License-Identifier: Apache-2.0
// Every widget made to show its control's present state: the control tree
// followed first (widgets built or dropped), then each widget's looks, then
// the keyboard focus. A widget is changed only where it differs, so that
// GTK emits no signal for a value it already has.
#include "gtk/panel_view.h"
#include "gtk/panel_view_binding.h"

namespace jobwick::gtkui {

using panelview::characterOfUtf16Offset;
using panelview::holdsFocus;

namespace {

/// The theme icon that stands for a system icon; "" when there is none.
const char* iconNameFor(const platform::Image* image) {
  if (!image) return "";
  if (image->name() == "icon:lock") return "changes-prevent-symbolic";
  if (image->name() == "icon:ulck") return "changes-allow-symbolic";
  return "";
}

}  // namespace

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
  if (b.caption) syncRow(b);
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
    // A person's focus stays where it is when the controls merely drop
    // theirs (a lock button dims its field), or move it while the person
    // works a button: Tab goes on from there.
    if (focusFollowsWidgets_ && (!responder || keepingFocus_)) focusPending_ = false;
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
  const auto* shown =
      static_cast<const char*>(g_object_get_data(G_OBJECT(image), panelview::kShownImageKey));
  if (shown && name == shown) return;
  g_object_set_data_full(G_OBJECT(image), panelview::kShownImageKey, g_strdup(name.c_str()),
                         g_free);
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

namespace {

// What a widget of each kind shows of its control; each changes only what
// differs, so that GTK emits no signal for a value it already has.

void syncBox(PanelView::Binding& b) {
  auto* box = static_cast<platform::Box*>(b.view);
  if (box->title() != gtk_label_get_text(GTK_LABEL(b.heading)))
    gtk_label_set_text(GTK_LABEL(b.heading), box->title().c_str());
  if (bool(gtk_widget_get_visible(b.heading)) == box->title().empty())
    gtk_widget_set_visible(b.heading, !box->title().empty());
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
  if (GTK_IS_ENTRY(w) && bool(gtk_entry_get_visibility(GTK_ENTRY(w))) == field.isSecure()) {
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
  // A dimmed field (neither editable nor selectable) takes no focus, no
  // click and shows no caret: Tab passes it by.
  const bool takesFocus = field.isEditable() || field.isSelectable();
  GtkWidget* text = GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(w)));
  if (bool(gtk_widget_get_focusable(text)) != takesFocus)
    gtk_widget_set_focusable(text, takesFocus);
  if (bool(gtk_widget_get_can_target(w)) != takesFocus) gtk_widget_set_can_target(w, takesFocus);
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

/// The pop-up's menu as shown again, when the menu has changed since it
/// was last shown. A menu's items are read only then: a keystroke elsewhere
/// costs the same with a few folders listed or with tens of thousands.
void syncMenuItems(PanelView::Binding& b, const platform::Menu& menu) {
  if (b.menuRevision == menu.revision()) return;
  b.menuRevision = menu.revision();
  // Titles, pictures and enabled states: a change in any of them binds the
  // items again.
  std::vector<std::string> titles;
  std::vector<std::string> looks;
  titles.reserve(menu.items().size());
  looks.reserve(menu.items().size());
  for (const auto& item : menu.items()) {
    const bool separator = !item || item->isSeparatorItem();
    titles.push_back(separator ? "\n" : item->title());
    looks.push_back(separator ? ""
                              : (item->isEnabled() ? "1" : "0") +
                                    (item->image() ? item->image()->name() : ""));
  }
  if (titles == b.shownItems && looks == b.itemLooks) return;
  std::vector<const char*> strings;
  strings.reserve(titles.size() + 1);
  for (const auto& title : titles) strings.push_back(title.c_str());
  strings.push_back(nullptr);
  gtk_string_list_splice(b.items, 0, guint(b.shownItems.size()), strings.data());
  b.shownItems = std::move(titles);
  b.itemLooks = std::move(looks);
}

void syncPopup(PanelView::Binding& b) {
  auto* popup = static_cast<platform::PopUpButton*>(b.view);
  syncMenuItems(b, *popup->menu());
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
  // An untitled lock button is explained by its row (syncRow).
  const char* tooltip = button->title().c_str();
  if (!button->title().empty() && g_strcmp0(gtk_widget_get_tooltip_text(w), tooltip) != 0)
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
  syncAccessibleName(b);
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

}  // namespace jobwick::gtkui
