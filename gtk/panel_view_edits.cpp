// SPDX-License-Identifier: Apache-2.0
// A person's edit on a widget handed to its control, through the host's
// event path (input filter, then action), after which the widgets show the
// controls again. GTK's replacement of a selected text (a deletion, then an
// insertion) reaches the control as the one edit it is.
#include <algorithm>

#include "gtk/panel_view.h"
#include "gtk/panel_view_binding.h"

namespace jobwick::gtkui {

using host::ControlRef;
using host::EventOutcome;
using panelview::characterOfUtf16Offset;
using panelview::holdsFocus;
using panelview::refusedOutcome;
using panelview::utf16OffsetOfCharacter;

void Signals::clicked(GtkButton*, gpointer data) {
  auto* b = static_cast<PanelView::Binding*>(data);
  PanelView& owner = *b->owner;
  if (owner.syncing_) return;
  // A person's Space on a button leaves the keyboard focus on it, wherever
  // the panel puts its own focus (a lock button's rules focus a field).
  owner.keepingFocus_ = owner.focusFollowsWidgets_ && holdsFocus(b->widget);
  owner.lastOutcome_ = owner.afterEvent(host::clickControl(b->ref()));
  owner.keepingFocus_ = false;
}

void Signals::toggled(GtkWidget*, gpointer data) {
  clicked(nullptr, data);
}

void Signals::cellToggled(GtkCheckButton* button, gpointer data) {
  auto* b = static_cast<PanelView::Binding*>(data);
  if (b->owner->syncing_ || !gtk_check_button_get_active(button)) return;
  auto* matrix = static_cast<platform::Matrix*>(b->view);
  const auto at = std::find(b->cells.begin(), b->cells.end(), GTK_WIDGET(button));
  const std::int64_t row = at - b->cells.begin();
  ControlRef cell{nullptr, matrix->cellAtRow(row), matrix, row};
  if (!cell.cell) return;
  b->owner->lastOutcome_ = b->owner->afterEvent(host::clickControl(cell));
}

void Signals::selected(GObject* object, GParamSpec*, gpointer data) {
  auto* b = static_cast<PanelView::Binding*>(data);
  if (b->owner->syncing_) return;
  const guint index = gtk_drop_down_get_selected(GTK_DROP_DOWN(object));
  if (index == GTK_INVALID_LIST_POSITION) return;
  b->owner->lastOutcome_ =
      b->owner->afterEvent(host::chooseIn(b->ref(), std::int64_t(index), std::nullopt));
}

void Signals::page(GObject* object, GParamSpec*, gpointer data) {
  auto* b = static_cast<PanelView::Binding*>(data);
  if (b->owner->syncing_) return;
  const int index = gtk_notebook_get_current_page(GTK_NOTEBOOK(object));
  if (index < 0) return;
  b->owner->lastOutcome_ =
      b->owner->afterEvent(host::chooseIn(b->ref(), std::int64_t(index), std::nullopt));
}

void Signals::insertText(GtkEditable* editable, const char* text, int length, int* position,
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

void Signals::deleteText(GtkEditable* editable, int start, int end, gpointer data) {
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

void Signals::focusEnter(GtkEventControllerFocus*, gpointer data) {
  auto* b = static_cast<PanelView::Binding*>(data);
  if (b->owner->syncing_ || !b->owner->focusFollowsWidgets_) return;
  if (platform::Window* window = b->owner->window_.window()) window->makeFirstResponder(b->view);
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

}  // namespace jobwick::gtkui
