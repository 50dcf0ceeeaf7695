// SPDX-License-Identifier: Apache-2.0
// The panel's controls as GTK 4 widgets. The controls stay the one source
// of truth: a user's edit on a widget is handed to the control through the
// host's event path (input filter, then action), and sync() makes every
// widget show its control again, building widgets for views the plug-in
// added and dropping those of views it removed. The view syncs after each
// event it passes on and whenever the run loop waits (see main_loop.h), so
// whatever the plug-in changes is on screen before the next frame is drawn.
//
// Secure fields show a bullet per character and their text never leaves
// the view (widgetStates masks it). Bundle images are drawn from their PNG
// files, system icons from the icon theme.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/engine/panel_driver.h"

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
  /// "selectedIndex"/"selectedRow", "animating", "focus", "title"), in the
  /// order of the control tree. A masked entry's "text" is one bullet per
  /// character, with "masked": true. Buttons and pop-ups with a picture
  /// name it ("image", "selectedImage": "file:space.png", "icon:lock") and
  /// say whether it is drawn ("imageDrawn"); tab views list their "tabs".
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

  /// The most a tab page grows before it scrolls, in pixels: with it the
  /// print dialog showing the panel fits a 1280x720 screen.
  static constexpr int kPageMaxHeight = 360;

 private:
  /// A deletion of the selected text held back for a moment: GTK replaces
  /// a selection (typing or pasting over it) by deleting it and then
  /// inserting, and the control must see that as one edit.
  struct PendingDeletion {
    Binding* binding = nullptr;
    int start = 0;
    int end = 0;
  };

  Binding& build(platform::View* view, Binding* parent);
  Binding& buildButton(platform::Button& button, Binding* parent);
  Binding& buildField(platform::TextField& field, Binding* parent);
  Binding& buildPopup(platform::View* view, Binding* parent);
  Binding& buildRow(platform::View* view, Binding* parent);
  static GtkWidget* scrolledPage(GtkWidget* content);
  Binding& bind(platform::View* view, GtkWidget* widget, Binding* parent);
  Binding* bindingFor(const host::ControlRef& control) const;
  Binding* bindingOf(const platform::View* view) const;
  void followTree(Binding& binding);
  void followChildren(Binding& binding);
  void followTabs(Binding& binding);
  void followCells(Binding& binding);
  void dropTree(Binding* binding);
  void syncTree(Binding& binding);
  void syncOne(Binding& binding);
  void syncToggle(Binding& binding);
  void syncRow(Binding& row);
  void syncLabelMnemonic(Binding& label, GtkWidget* target);
  void syncAccessibleName(Binding& binding);
  void syncFocus();
  void showImage(GtkWidget* image, const platform::Image* picture);
  void stateOf(const Binding& binding, nlohmann::ordered_json& controls) const;
  host::EventOutcome afterEvent(host::EventOutcome outcome);
  host::EventOutcome deleteNow(Binding& binding, int start, int end);
  void flushPendingDeletion();
  static gboolean pendingDeletionDue(gpointer data);

  friend struct Signals;
  host::PanelWindow& window_;
  GRef<GtkWidget> root_;
  GRef<GtkSizeGroup> labelColumn_{gtk_size_group_new(GTK_SIZE_GROUP_HORIZONTAL)};
  Binding* rootBinding_ = nullptr;
  std::vector<std::unique_ptr<Binding>> bindings_;
  std::map<std::filesystem::path, GRef<GdkTexture>> textures_;
  std::map<const platform::View*, char>
      mnemonics_;             // each label's mnemonic letter  // bundle PNGs, loaded once
  bool syncing_ = false;      // widget changes made by sync() are not user edits
  bool typing_ = false;       // an insertion is typed (one character at a time)
  bool synthesised_ = false;  // an edit of ours, never a half of GTK's replacement
  bool focusFollowsWidgets_ = false;
  bool keepingFocus_ = false;  // a person's button event: the widgets' focus stays
  const platform::View* shownResponder_ = nullptr;  // the control focus last shown
  bool focusPending_ = true;                        // ... not yet on the widgets
  std::optional<PendingDeletion> pending_;
  guint pendingSource_ = 0;
  std::optional<host::EventOutcome> lastOutcome_;
};

/// Writes a PNG of `widget` as it is drawn now. Answers false (with the
/// reason in `error`) when the widget cannot be drawn or the file written.
bool saveWidgetPng(GtkWidget* widget, const std::filesystem::path& path, std::string* error);

}  // namespace jobwick::gtkui
