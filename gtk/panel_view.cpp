// SPDX-License-Identifier: Apache-2.0
// The panel's controls as GTK 4 widgets: the view's life, its look-ups and
// the helpers its parts share (panel_view_binding.h lists the parts).
#include "gtk/panel_view.h"

#include "gtk/panel_view_binding.h"

namespace jobwick::gtkui {

using host::ControlRef;
using host::EventOutcome;

namespace panelview {

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

}  // namespace panelview

PanelView::PanelView(host::PanelWindow& window) : window_(window) {
  rootBinding_ = &build(window.root(), nullptr);
  root_.reset(GTK_WIDGET(g_object_ref_sink(rootBinding_->widget)));
  sync();
}

PanelView::~PanelView() {
  syncing_ = true;
  if (pendingSource_) g_source_remove(pendingSource_);
  for (const auto& binding : bindings_) panelview::disconnect(*binding);
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

}  // namespace jobwick::gtkui
