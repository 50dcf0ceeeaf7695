// SPDX-License-Identifier: Apache-2.0
// What the parts of PanelView share and nobody else sees: the binding of a
// control to its widget, the widgets' signal handlers, and the text offsets
// both directions of an edit convert. The view is split by concern:
//
//   panel_view.cpp         the view's life and its look-ups
//   panel_view_build.cpp   widgets for controls, following the control tree
//   panel_view_edits.cpp   a person's edit on a widget handed to its control
//   panel_view_sync.cpp    every widget made to show its control
//   panel_view_rows.cpp    a row's label, field and lock button as one; the
//                          controls' names for screen readers
//   panel_view_states.cpp  what the widgets show (widgetStates)
//   panel_view_input.cpp   synthesised clicks, typing and choices
//   panel_view_png.cpp     a widget drawn into a PNG file
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtk/panel_view.h"

namespace jobwick::gtkui {

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
  GtkWidget* image = nullptr;       // a toggle's padlock
  GtkWidget* heading = nullptr;     // a box's bold title
  GtkWidget* caption = nullptr;     // a row's name for its field where no label names it
  std::string accessibleName;       // the name last given to screen readers
  GtkWidget* labelledBy = nullptr;  // the label last related to the widget
  std::vector<GtkWidget*> cells;    // a matrix's radio buttons, by row
  std::vector<const platform::ButtonCell*> shownCells;
  GtkStringList* items = nullptr;                 // a pop-up's menu as shown
  std::vector<std::string> shownItems;            // the item titles shown ("\n" for a separator)
  std::vector<std::string> itemLooks;             // and what else each item shows
  std::optional<std::uint64_t> menuRevision;      // the menu's revision they show
  GtkListItemFactory* factory = nullptr;          // a pop-up's item factory
  GtkEventController* focusController = nullptr;  // an entry's
  host::ControlRef ref() const { return host::ControlRef{view, nullptr, nullptr, -1}; }
};

/// The widgets' signal handlers, connected by the build: the edit handlers
/// (panel_view_edits.cpp) hand the user's edit to the control, the item
/// factory's (panel_view_build.cpp) make and fill a pop-up's menu rows.
struct Signals {
  static void clicked(GtkButton*, gpointer data);
  static void toggled(GtkWidget*, gpointer data);
  static void cellToggled(GtkCheckButton* button, gpointer data);
  static void selected(GObject* object, GParamSpec*, gpointer data);
  static void page(GObject* object, GParamSpec*, gpointer data);
  static void insertText(GtkEditable* editable, const char* text, int length, int* position,
                         gpointer data);
  static void deleteText(GtkEditable* editable, int start, int end, gpointer data);
  static void focusEnter(GtkEventControllerFocus*, gpointer data);
  static void setupItem(GtkSignalListItemFactory*, GtkListItem* item, gpointer);
  static void bindItem(GtkSignalListItemFactory*, GtkListItem* item, gpointer data);
};

namespace panelview {

/// The key under which a GtkImage keeps the name of the picture the view
/// last gave it.
inline constexpr char kShownImageKey[] = "jobwick-image";

/// UTF-16 offset of the `chars`-th character of `text` (clamped; a negative
/// count means the end).
std::size_t utf16OffsetOfCharacter(const std::string& text, long chars);

/// Character offset of the UTF-16 offset `units` of `text` (clamped).
int characterOfUtf16Offset(const std::string& text, std::size_t units);

/// Whether the keyboard focus of `widget`'s window is on it or inside it
/// (an entry's focus is on its text child). False when it is in no window.
bool holdsFocus(GtkWidget* widget);

/// An outcome of status kRefused with `message`.
host::EventOutcome refusedOutcome(std::string message);

/// Disconnects every handler of `binding`'s widgets, so that a widget that
/// outlives its binding (in a container, or in GTK's hands) never reaches it.
void disconnect(PanelView::Binding& binding);

}  // namespace panelview

}  // namespace jobwick::gtkui
