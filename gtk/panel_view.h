// The panel's controls as GTK 4 widgets. The controls stay the one source
// of truth: a user's edit on a widget is handed to the control through the
// host's event path (input filter, then action), and sync() makes every
// widget show its control again. The view syncs after each event it passes
// on and whenever the run loop waits (see main_loop.h), so whatever the
// plug-in changes is on screen before the next frame is drawn.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/panel_driver.h"

namespace jobwick::gtkui {

/// A GObject reference released with the holder.
template <typename T>
class GRef {
 public:
  GRef() = default;
  explicit GRef(T* object) : object_(object) {}
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  ~GRef() {
    if (object_) g_object_unref(object_);
  }
  T* get() const { return object_; }
  /// Takes over `object` (a reference the caller owned), releasing the old one.
  void reset(T* object) {
    if (object_) g_object_unref(object_);
    object_ = object;
  }

 private:
  T* object_ = nullptr;
};

class PanelView {
 public:
  /// Builds the widgets for the controls under `window`'s content view.
  /// `window` must outlive this view.
  explicit PanelView(host::PanelWindow& window);
  PanelView(const PanelView&) = delete;
  PanelView& operator=(const PanelView&) = delete;
  ~PanelView();

  /// The root widget (held by this view; put it into a window or tab).
  GtkWidget* widget() const { return root_.get(); }
  /// Makes every widget show its control's present state.
  void sync();

  /// The widget of the control with this identifier (a view or a matrix
  /// cell), or null.
  GtkWidget* widgetFor(std::string_view identifier) const;

  /// What the widgets show, one entry per identified control in the shape
  /// of PanelWindow::dumpPanel ("visible", "enabled", "state", "text",
  /// "selectedIndex"/"selectedRow", "animating", "focus", "title").
  nlohmann::ordered_json widgetStates() const;

  // Synthesised user input on the widgets (what a person's mouse and keys
  // do); each answers what the control made of it.
  host::EventOutcome click(const host::ControlRef& control);
  host::EventOutcome type(const host::ControlRef& control, std::string_view text);
  host::EventOutcome paste(const host::ControlRef& control, std::string_view text);
  host::EventOutcome clear(const host::ControlRef& control);
  host::EventOutcome erase(const host::ControlRef& control, std::size_t count);
  host::EventOutcome choose(const host::ControlRef& control, std::optional<std::int64_t> index,
                            const std::optional<std::string>& title);

  /// Whether the keyboard focus moving between the widgets (a person's
  /// click or Tab key) moves the controls' focus. Off by default: scripted
  /// events give a field the focus themselves, as the headless host does,
  /// and GTK's own first choice of focus is not the user's.
  void setFocusFollowsWidgets(bool follows) { focusFollowsWidgets_ = follows; }

  struct Binding;

 private:
  GtkWidget* build(platform::View* view);
  Binding& bind(platform::View* view, GtkWidget* widget);
  Binding* bindingFor(const host::ControlRef& control) const;
  void syncOne(Binding& binding);
  host::EventOutcome afterEvent(host::EventOutcome outcome);

  friend struct Signals;
  host::PanelWindow& window_;
  GRef<GtkWidget> root_;
  std::vector<std::unique_ptr<Binding>> bindings_;
  bool syncing_ = false;  // widget changes made by sync() are not user edits
  bool typing_ = false;
  bool focusFollowsWidgets_ = false;  // an insertion is typed (one character at a time)
  std::optional<host::EventOutcome> lastOutcome_;
};

/// Writes a PNG of `widget` as it is drawn now. Answers false (with the
/// reason in `error`) when the widget cannot be drawn or the file written.
bool saveWidgetPng(GtkWidget* widget, const std::filesystem::path& path, std::string* error);

}  // namespace jobwick::gtkui
