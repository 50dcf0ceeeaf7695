// SPDX-License-Identifier: Apache-2.0
// Synthesised user input: what a person's mouse and keys do, made on the
// widgets so that each event takes the path a person's would (the widget's
// signal, then the control). Where the widget cannot take the event (it is
// insensitive, hidden or not of the kind), the control is asked directly
// and says why it refuses.
#include "gtk/panel_view.h"
#include "gtk/panel_view_binding.h"

namespace jobwick::gtkui {

using host::ControlRef;
using host::EventOutcome;
using panelview::refusedOutcome;

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

}  // namespace jobwick::gtkui
