// SPDX-License-Identifier: Apache-2.0
// The GTK view over a real vk7300 panel, in this process, on an X server of
// the test's own: the widgets follow every change of the controls (views
// added and removed included), and GTK's own edits of a text field (typing,
// pasting or deleting over a selection) reach the control as the headless
// host's edits do.
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "gtk/panel_view.h"
#include "host/engine/panel_driver.h"
#include "platform/system.h"
#include "shown_panel.h"
#include "xserver.h"

namespace {

using json = nlohmann::ordered_json;

using gtktest::drain;

class PanelViewTest : public gtktest::ShownPanelTest<::testing::Test> {
 protected:
  static void SetUpTestSuite() {
    server_ = new gtktest::XServer();
    if (server_->display().empty()) return;
    setenv("DISPLAY", server_->display().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("GDK_BACKEND", "x11", 1);
    setenv("GSK_RENDERER", "cairo", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    gtkUp_ = gtk_init_check();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(gtkUp_) << "no GTK on the test's own X server";
    platform::setCurrentTimeOverride(1796688307.0);
    platform::setTimeZoneOffsetOverride(9 * 3600);
    platform::setUserNamesOverride(std::string("jdoe"), std::string("Jane Doe"));
    showPanel("vk7300", "view");
  }

  jobwick::host::ControlRef control(const std::string& identifier) {
    auto found = window_.find(identifier);
    EXPECT_TRUE(found) << identifier;
    return found.value_or(jobwick::host::ControlRef{});
  }
  template <typename T>
  T* viewNamed(const std::string& identifier) {
    return dynamic_cast<T*>(window_.root()->findViewWithIdentifier(identifier));
  }

  /// Every member the controls' dump and the widgets' states both carry
  /// agrees, and every control has its widget.
  void expectWidgetsShowTheControls(const std::string& step) {
    const json widgets = view_->widgetStates();
    std::map<std::string, json> byId;
    for (const auto& entry : widgets["controls"]) byId[entry["identifier"]] = entry;
    const json dump = window_.dumpPanel();
    for (const auto& control : dump["controls"]) {
      const std::string id = control["identifier"];
      ASSERT_TRUE(byId.count(id)) << step << ": no widget for " << id;
      const json& widget = byId[id];
      for (const char* member : {"visible", "enabled", "state", "selectedRow", "selectedIndex",
                                 "animating", "colour", "focus", "title", "text"}) {
        if (!control.contains(member) || !widget.contains(member)) continue;
        if (std::string(member) == "state" && control.value("type", "") == "push") continue;
        if (std::string(member) == "text" && widget.value("masked", false)) continue;
        EXPECT_EQ(widget[member], control[member]) << step << ": " << id << "." << member;
      }
      for (const char* list : {"tabs", "cells", "items"}) {
        if (control.contains(list) && widget.contains(list)) {
          EXPECT_EQ(widget[list].size(), control[list].size()) << step << ": " << id << "." << list;
        }
      }
    }
  }

  json stateOf(const std::string& identifier) {
    const json states = view_->widgetStates();
    for (const auto& entry : states["controls"])
      if (entry["identifier"] == identifier) return entry;
    return json();
  }

  static gtktest::XServer* server_;
  static bool gtkUp_;
};

gtktest::XServer* PanelViewTest::server_ = nullptr;
bool PanelViewTest::gtkUp_ = false;

// Each change the plug-in can make, one after the other on the same panel:
// after a sync the widgets show it, and everything else still agrees.
TEST_F(PanelViewTest, WidgetsFollowEveryChangeOfTheControls) {
  auto* tabs = viewNamed<platform::TabView>("tabView");
  ASSERT_NE(tabs, nullptr);
  std::shared_ptr<platform::TabViewItem> extraTab;
  std::shared_ptr<platform::View> extraLabel;
  struct Change {
    const char* name;
    std::function<void()> make;
    std::function<void()> check;
  };
  const std::vector<Change> changes = {
      {"a tab added",
       [&] {
         extraTab = std::make_shared<platform::TabViewItem>();
         extraTab->setLabel("Extra");
         auto page = std::make_shared<platform::View>();
         auto box = std::make_shared<platform::Button>();
         box->setButtonType(platform::ButtonType::CheckBox);
         box->setIdentifier("extraCheckBox");
         box->setTitle("Extra");
         page->addSubview(box);
         extraTab->setView(page);
         tabs->addTabViewItem(extraTab);
         tabs->selectTabViewItemAtIndex(tabs->numberOfTabViewItems() - 1);
       },
       [&] {
         EXPECT_EQ(stateOf("tabView")["tabs"].back(), "Extra");
         EXPECT_EQ(stateOf("extraCheckBox")["visible"], true);
       }},
      {"the tab removed again (and released)",
       [&] {
         tabs->removeTabViewItem(extraTab.get());
         extraTab.reset();
       },
       [&] {
         EXPECT_EQ(view_->widgetFor("extraCheckBox"), nullptr);
         EXPECT_EQ(stateOf("tabView")["tabs"].size(), std::size_t(tabs->numberOfTabViewItems()));
       }},
      {"a label added to a box",
       [&] {
         auto label = std::make_shared<platform::TextField>();
         label->setEditable(false);
         label->setSelectable(false);
         label->setIdentifier("extraStaticText");
         label->setStringValue("Added");
         viewNamed<platform::Box>("suspendBox")->addSubview(label);
         extraLabel = label;
       },
       [&] { EXPECT_EQ(stateOf("extraStaticText")["text"], "Added"); }},
      {"the label removed",
       [&] {
         extraLabel->removeFromSuperview();
         extraLabel.reset();
       },
       [&] { EXPECT_EQ(view_->widgetFor("extraStaticText"), nullptr); }},
      {"a matrix row added and chosen",
       [&] {
         auto* matrix = viewNamed<platform::Matrix>("suspendMatrix");
         auto cell = std::make_shared<platform::ButtonCell>();
         cell->setTitle("Fourth");
         matrix->addRow(cell);
         matrix->selectCellAtRow(3);
       },
       [&] { EXPECT_EQ(stateOf("suspendMatrix")["cells"][3]["title"], "Fourth"); }},
      {"state and title",
       [&] {
         auto* check = viewNamed<platform::Button>("retentionCheckBox");
         check->setState(platform::NSOnState);
         check->setTitle("Keep");
         viewNamed<platform::Box>("suspendBox")->setTitle("Mode");
       },
       [&] { EXPECT_EQ(stateOf("retentionCheckBox")["title"], "Keep"); }},
      {"text, grey text, disabled, hidden",
       [&] {
         auto* job = viewNamed<platform::TextField>("jobNameEditText");
         job->setStringValue("Report");
         job->setTextColor(platform::Color::Grey);
         viewNamed<platform::TextField>("userNameEditText")->setEnabled(false);
         viewNamed<platform::View>("accountNumberEditText")->setHidden(true);
       },
       [&] {
         EXPECT_EQ(stateOf("jobNameEditText")["colour"], "grey");
         EXPECT_EQ(stateOf("accountNumberEditText")["visible"], false);
       }},
      {"keyboard focus given",
       [&] { window_.window()->makeFirstResponder(viewNamed<platform::View>("jobNameEditText")); },
       [&] { EXPECT_EQ(stateOf("jobNameEditText")["focus"], true); }},
      {"keyboard focus taken away", [&] { window_.window()->makeFirstResponder(nullptr); },
       [&] { EXPECT_EQ(stateOf("jobNameEditText")["focus"], false); }},
      {"the lock turned on",
       [&] { viewNamed<platform::Button>("suspendKeyButton")->setState(platform::NSOnState); },
       [&] { EXPECT_EQ(stateOf("suspendKeyButton")["image"], "icon:lock"); }},
      {"the spinner started",
       [&] {
         std::function<void(platform::View*)> start = [&](platform::View* at) {
           if (auto* spinner = dynamic_cast<platform::ProgressIndicator*>(at))
             spinner->startAnimation();
           for (const auto& child : at->subviews()) start(child.get());
         };
         start(window_.root());
       },
       [] {}},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    change.make();
    view_->sync();
    drain();
    change.check();
    expectWidgetsShowTheControls(change.name);
  }
}

// The folder pop-up's menu rebuilt with a protected folder: the new item
// shows, and its padlock is drawn once it is chosen.
TEST_F(PanelViewTest, RebuiltMenuItemsShowWithTheirImages) {
  auto* popup = viewNamed<platform::PopUpButton>("folderSelectionPopup");
  if (!popup) GTEST_SKIP() << "this interface file has no folder pop-up";
  popup->menu()->addItem(platform::MenuItem::separatorItem());
  auto item = std::make_shared<platform::MenuItem>("Board", "", "");
  item->setImage(platform::Image::iconForFileType(platform::fourCharCode("lock")));
  popup->menu()->addItem(item);
  popup->selectItemAtIndex(popup->numberOfItems() - 1);
  view_->sync();
  drain();
  const json shown = stateOf("folderSelectionPopup");
  EXPECT_EQ(shown["items"].back(), "Board");
  EXPECT_EQ(shown["selectedImage"], "icon:lock");
  EXPECT_EQ(shown["imageDrawn"], true);
  popup->selectItemAtIndex(0);
  view_->sync();
  drain();
  EXPECT_EQ(stateOf("folderSelectionPopup")["selectedImage"], "file:space.png");
  expectWidgetsShowTheControls("menu rebuilt");
}

// The pop-up reads its menu again only when the menu changed: each change
// of the folder menu shows after a sync, and between changes the pop-up
// keeps what it shows.
TEST_F(PanelViewTest, FolderMenuChangesShowAfterSync) {
  auto* popup = viewNamed<platform::PopUpButton>("folderSelectionPopup");
  if (!popup) GTEST_SKIP() << "this interface file has no folder pop-up";
  platform::Menu& menu = *popup->menu();
  auto titles = [&] {
    json shown = json::array();
    for (const auto& item : menu.items())
      shown.push_back(item->isSeparatorItem() ? json(nullptr) : json(item->title()));
    return shown;
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"folders listed",
       [&] {
         menu.addItem(platform::MenuItem::separatorItem());
         for (const char* name : {"Sales", "Design", "Board"})
           menu.addItem(std::make_shared<platform::MenuItem>(name, "", ""));
       }},
      {"a folder renamed", [&] { menu.itemAtIndex(menu.numberOfItems() - 1)->setTitle("Audit"); }},
      {"the last folder gone", [&] { menu.removeItemAtIndex(menu.numberOfItems() - 1); }},
      {"the list cut after the main folder", [&] { menu.removeItemsFromIndex(2); }},
  };
  for (const auto& [name, make] : changes) {
    SCOPED_TRACE(name);
    make();
    view_->sync();
    drain();
    EXPECT_EQ(stateOf("folderSelectionPopup")["items"], titles());
    view_->sync();
    EXPECT_EQ(stateOf("folderSelectionPopup")["items"], titles()) << "a sync with no change";
  }
  expectWidgetsShowTheControls("folder menu changes");
}

/// GTK's text widget inside an entry.
GtkWidget* textOf(GtkWidget* entry) {
  return GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(entry)));
}

/// What a keyboard's input method hands the text widget when a person types.
void commitTyping(GtkWidget* text, const char* typed) {
  GListModel* controllers = gtk_widget_observe_controllers(text);
  for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
    auto* controller = static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
    if (GTK_IS_EVENT_CONTROLLER_KEY(controller)) {
      GtkIMContext* im =
          gtk_event_controller_key_get_im_context(GTK_EVENT_CONTROLLER_KEY(controller));
      if (im) g_signal_emit_by_name(im, "commit", typed);
    }
    g_object_unref(controller);
  }
  g_object_unref(controllers);
}

/// Selects [from, to) in `entry` and lets the X server's answers to it
/// arrive: a selection also claims the X primary selection, and a late
/// notice that an earlier claim ended would otherwise clear the selection
/// in the middle of an edit. False when the selection does not hold.
bool selectAndSettle(GtkWidget* entry, int from, int to) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    gtk_editable_select_region(GTK_EDITABLE(entry), from, to);
    gdk_display_sync(gtk_widget_get_display(entry));
    drain();
    int start = 0, end = 0;
    if (gtk_editable_get_selection_bounds(GTK_EDITABLE(entry), &start, &end) && start == from &&
        end == to) {
      return true;
    }
  }
  return false;
}

// Typing, pasting and deleting over a selection of the digits-only pass
// code, as GTK does them (delete the selection, then insert), end as the
// same edit through the field's filter does headless.
TEST_F(PanelViewTest, EditsOverASelectionMatchTheHeadlessPath) {
  view_->click(control("retentionCheckBox"));
  auto* field = viewNamed<platform::TextField>("suspendKeyEditText");
  ASSERT_NE(field, nullptr);
  GtkWidget* entry = view_->widgetFor("suspendKeyEditText");
  ASSERT_NE(entry, nullptr);
  struct Case {
    const char* before;
    int from, to;
    const char* how;  // "type", "paste" or "delete"
    const char* input;
    const char* after;
  };
  const Case cases[] = {
      {"12345", 1, 3, "type", "9", "1945"},
      {"12345", 1, 3, "type", "a", "12345"},        // refused: nothing is lost
      {"12345678", 1, 3, "type", "9", "12345678"},  // full: the filter refuses
      {"12345", 1, 3, "paste", "78", "17845"},
      {"12345", 0, 5, "paste", "x1", "12345"},
      {"12345", 1, 3, "delete", "", "145"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.how) + " \"" + c.input + "\" over " + c.before + "[" +
                 std::to_string(c.from) + "," + std::to_string(c.to) + ")");
    field->setStringValue(c.before);
    view_->sync();
    gtk_widget_grab_focus(entry);
    ASSERT_TRUE(selectAndSettle(entry, c.from, c.to));
    const std::string how = c.how;
    if (how == "type") {
      commitTyping(textOf(entry), c.input);
    } else if (how == "paste") {
      gdk_clipboard_set_text(gtk_widget_get_clipboard(textOf(entry)), c.input);
      g_signal_emit_by_name(textOf(entry), "paste-clipboard");
      // The clipboard is read asynchronously; a refused paste changes nothing.
      for (int i = 0; i < 200 && field->stringValue() == c.before; ++i)
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    } else {
      g_signal_emit_by_name(textOf(entry), "backspace");
    }
    drain();
    const std::string widgets = field->stringValue();
    EXPECT_EQ(std::string(gtk_editable_get_text(GTK_EDITABLE(entry))), widgets);

    field->setStringValue(c.before);
    field->setSelectedRange({std::size_t(c.from), std::size_t(c.to - c.from)});
    if (how == "delete")
      field->deleteBackward();
    else
      field->replaceSelection(c.input);
    EXPECT_EQ(widgets, field->stringValue()) << "differs from the headless edit";
    EXPECT_EQ(widgets, c.after);
  }
}

// ---- Layout, keyboard ----

/// Runs GLib's main loop until `done` or a second has passed (a button
/// activated by the keyboard is released, and clicked, after a moment).
void settle(const std::function<bool()>& done) {
  const gint64 until = g_get_monotonic_time() + G_USEC_PER_SEC;
  while (!done() && g_get_monotonic_time() < until) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(5000);
  }
}

/// `widget`'s bounds in its window, or an empty rectangle when it is not laid out.
graphene_rect_t boundsOf(GtkWidget* widget) {
  graphene_rect_t bounds;
  if (!gtk_widget_compute_bounds(widget, GTK_WIDGET(gtk_widget_get_root(widget)), &bounds))
    graphene_rect_init(&bounds, 0, 0, 0, 0);
  return bounds;
}

/// The label that names a row's field: the row's caption when it shows,
/// else the first label in the row.
GtkWidget* labelOfRow(GtkWidget* row) {
  GtkWidget* caption = gtk_widget_get_first_child(row);
  if (caption && gtk_widget_get_visible(caption)) return caption;
  GtkWidget* inner = caption ? gtk_widget_get_next_sibling(caption) : nullptr;
  return inner ? gtk_widget_get_first_child(inner) : nullptr;
}

// Each row as GTK's own tabs lay one out, in a wide window: the label left
// of its field, the field as wide as its limit, the lock right of it with a
// tooltip saying what it remembers and whether it is locked; the label
// names the field with a mnemonic; fields side by side in a tab line up.
TEST_F(PanelViewTest, RowsLayLabelFieldAndLockSideBySide) {
  gtk_window_set_default_size(gtkWindow_, 1200, 700);
  struct Row {
    int tab;
    const char *row, *field, *lock, *remembered;
  };
  const std::vector<Row> rows = {
      {0, "suspendKeyRow", "suspendKeyEditText", "suspendKeyButton", "pass code"},
      {1, "loginNameRow", "loginNameEditText", "loginNameButton", "login name"},
      {1, "passwordRow", "passwordEditText", "passwordButton", "password"},
      {1, "userNumberRow", "userNumberEditText", "userNumberButton", "user number"},
      {1, "accountNumberRow", "accountNumberEditText", "accountNumberButton", "account number"},
  };
  auto* tabs = viewNamed<platform::TabView>("tabView");
  std::map<int, float> fieldColumn;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.row);
    tabs->selectTabViewItemAtIndex(r.tab);
    view_->sync();
    drain();
    GtkWidget* label = labelOfRow(view_->widgetFor(r.row));
    GtkWidget* field = view_->widgetFor(r.field);
    GtkWidget* lock = view_->widgetFor(r.lock);
    ASSERT_TRUE(label && GTK_IS_LABEL(label) && field && lock);
    EXPECT_STRNE(gtk_label_get_text(GTK_LABEL(label)), "");
    EXPECT_EQ(gtk_label_get_mnemonic_widget(GTK_LABEL(label)), field);
    EXPECT_TRUE(gtk_label_get_use_underline(GTK_LABEL(label)));
    const graphene_rect_t l = boundsOf(label), f = boundsOf(field), k = boundsOf(lock);
    EXPECT_LE(l.origin.x + l.size.width, f.origin.x);
    EXPECT_LE(f.origin.x + f.size.width, k.origin.x);
    EXPECT_NEAR(l.origin.y + l.size.height / 2, f.origin.y + f.size.height / 2, 4);
    EXPECT_NEAR(k.origin.y + k.size.height / 2, f.origin.y + f.size.height / 2, 4);
    EXPECT_GT(f.size.width, 40);
    EXPECT_LT(f.size.width, 360);
    EXPECT_GE(f.origin.x, 12);  // the page's margin
    if (fieldColumn.count(r.tab))
      EXPECT_EQ(f.origin.x, fieldColumn[r.tab]);
    else
      fieldColumn[r.tab] = f.origin.x;
    const std::string off =
        gtk_widget_get_tooltip_text(lock) ? gtk_widget_get_tooltip_text(lock) : "";
    EXPECT_NE(off.find("Not locked"), std::string::npos) << off;
    EXPECT_NE(off.find(r.remembered), std::string::npos) << off;
    auto* button = viewNamed<platform::Button>(r.lock);
    button->setState(platform::NSOnState);
    view_->sync();
    const std::string on =
        gtk_widget_get_tooltip_text(lock) ? gtk_widget_get_tooltip_text(lock) : "";
    EXPECT_EQ(on.rfind("Locked", 0), 0u) << on;
    button->setState(platform::NSOffState);
    view_->sync();
  }
}

// The print dialog with the panel as a tab fits a 1280x720 screen (and so
// 1366x768): its pages scroll rather than grow. Room is left for the
// window's title bar and a desktop's top bar.
TEST_F(PanelViewTest, PrintDialogWithThePanelFitsASmallScreen) {
  setenv("GTK_PRINT_BACKENDS", "file", 1);
  gtk_window_set_child(gtkWindow_, nullptr);
  GtkWidget* dialog = gtk_print_unix_dialog_new("Print", nullptr);
  gtk_print_unix_dialog_add_custom_tab(GTK_PRINT_UNIX_DIALOG(dialog), view_->widget(),
                                       gtk_label_new("Job Handling"));
  int minimum = 0, natural = 0, minimumWidth = 0, naturalWidth = 0;
  gtk_widget_measure(dialog, GTK_ORIENTATION_VERTICAL, -1, &minimum, &natural, nullptr, nullptr);
  gtk_widget_measure(dialog, GTK_ORIENTATION_HORIZONTAL, -1, &minimumWidth, &naturalWidth, nullptr,
                     nullptr);
  EXPECT_LE(minimum, 720 - 80);
  EXPECT_LE(natural, 720 - 80);
  EXPECT_LE(naturalWidth, 1280);
  gtk_window_destroy(GTK_WINDOW(dialog));
  drain();
}

// A person's keyboard: a lock button keeps the focus it was toggled with,
// dimmed fields take no focus, Return in a field presses the window's
// default button.
TEST_F(PanelViewTest, KeyboardStaysWhereAPersonPutsIt) {
  view_->setFocusFollowsWidgets(true);
  viewNamed<platform::TabView>("tabView")->selectTabViewItemAtIndex(1);
  view_->sync();
  drain();
  for (const char* lock : {"loginNameButton", "passwordButton", "accountNumberButton"}) {
    SCOPED_TRACE(lock);
    GtkWidget* button = view_->widgetFor(lock);
    ASSERT_TRUE(gtk_widget_grab_focus(button));
    auto* control = viewNamed<platform::Button>(lock);
    for (int press = 0; press < 2; ++press) {
      const int before = control->state();
      gtk_widget_activate(button);  // as Space does
      settle([&] { return control->state() != before; });
      EXPECT_NE(control->state(), before);
      EXPECT_TRUE(gtk_widget_has_focus(button));
    }
  }
  std::size_t dimmed = 0;
  for (const char* id : {"loginNameEditText", "passwordEditText", "userNumberEditText",
                         "accountNumberEditText", "userNameEditText", "jobNameEditText"}) {
    SCOPED_TRACE(id);
    auto* field = viewNamed<platform::TextField>(id);
    const bool takesFocus = field->isEditable() || field->isSelectable();
    dimmed += takesFocus ? 0 : 1;
    EXPECT_EQ(bool(gtk_widget_grab_focus(view_->widgetFor(id))), takesFocus);
  }
  EXPECT_GT(dimmed, 0u);  // with login by name, the user number is dimmed

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* print = gtk_button_new_with_label("Print");
  int pressed = 0;
  g_signal_connect(print, "clicked",
                   G_CALLBACK(+[](GtkButton*, gpointer count) { ++*static_cast<int*>(count); }),
                   &pressed);
  gtk_window_set_child(gtkWindow_, box);
  gtk_box_append(GTK_BOX(box), view_->widget());
  gtk_box_append(GTK_BOX(box), print);
  gtk_window_set_default_widget(gtkWindow_, print);
  drain();
  for (const char* id : {"accountNumberEditText", "passwordEditText"}) {
    SCOPED_TRACE(id);
    const int before = pressed;
    g_signal_emit_by_name(gtk_editable_get_delegate(GTK_EDITABLE(view_->widgetFor(id))),
                          "activate");  // as Return does
    settle([&] { return pressed > before; });
    EXPECT_EQ(pressed, before + 1);
  }
}

}  // namespace
