// SPDX-License-Identifier: Apache-2.0
// The panel as a screen reader meets it: the GTK view over a real panel of
// each model, on an X server of the test's own, read back through the
// accessibility bus (AT-SPI over D-Bus) of a private session bus that
// dbus-run-session starts for this test alone. Every control has a name,
// fields are labelled by their visible labels, secrets are password text,
// lock buttons are named for what they remember and show their state, and
// the application has a name.
#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gtk/main_loop.h"
#include "gtk/panel_view.h"
#include "shown_panel.h"
#include "xserver.h"

namespace {

// AT-SPI's numbers (atspi-constants.h).
enum Role : guint32 {
  kCheckBox = 7,
  kComboBox = 11,
  kPageTab = 37,
  kPasswordText = 40,
  kPushButton = 43,
  kRadioButton = 44,
  kSpinButton = 52,
  kText = 61,
  kToggleButton = 62,
  kEntry = 79,
};
constexpr guint32 kLabelledBy = 2;  // ATSPI_RELATION_LABELLED_BY

const std::set<guint32> kControls = {kCheckBox,     kComboBox,    kPageTab,    kPasswordText,
                                     kPushButton,   kRadioButton, kSpinButton, kText,
                                     kToggleButton, kEntry};

using gtktest::drain;

/// One accessible object as read from the bus. (GTK 4.8 gives toggle
/// buttons the push-button role, their state telling them apart.)
struct Node {
  std::string name;
  guint32 role = 0;
  std::vector<guint32> states;
  bool labelled = false;
};

class AccessibilityTest : public gtktest::ShownPanelTest<::testing::TestWithParam<const char*>> {
 protected:
  static void SetUpTestSuite() {
    if (!getenv("DBUS_SESSION_BUS_ADDRESS")) return;  // not under dbus-run-session
    // The accessibility bus of this session (the bus launcher is started on
    // demand by the private session bus).
    GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!session) return;
    GVariant* reply = g_dbus_connection_call_sync(
        session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    g_object_unref(session);
    if (!reply) return;
    const char* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    setenv("AT_SPI_BUS_ADDRESS", address, 1);
    bus_ = g_dbus_connection_new_for_address_sync(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_variant_unref(reply);
    server_ = new gtktest::XServer();
    if (server_->display().empty()) return;
    setenv("DISPLAY", server_->display().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("GDK_BACKEND", "x11", 1);
    setenv("GSK_RENDERER", "cairo", 1);
    setenv("GTK_A11Y", "atspi", 1);
    gtkUp_ = bus_ && jobwick::gtkui::openDisplay();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(gtkUp_) << "needs dbus-run-session, at-spi2-core and Xvfb";
    showPanel(GetParam(), "a11y");
  }

  /// A method call answered while this process's main loop runs (GTK
  /// answers for the panel from it); null on an error.
  static GVariant* call(const std::string& destination, const std::string& path,
                        const char* interface, const char* method, GVariant* parameters,
                        const char* replyType) {
    struct Wait {
      GVariant* reply = nullptr;
      bool done = false;
    } wait;
    g_dbus_connection_call(
        bus_, destination.c_str(), path.c_str(), interface, method, parameters,
        G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* w = static_cast<Wait*>(data);
          w->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
          w->done = true;
        },
        &wait);
    while (!wait.done) g_main_context_iteration(nullptr, TRUE);
    return wait.reply;
  }

  /// The children of an accessible object, as (bus name, path).
  static std::vector<std::pair<std::string, std::string>> children(const std::string& bus,
                                                                   const std::string& path) {
    std::vector<std::pair<std::string, std::string>> result;
    GVariant* reply =
        call(bus, path, "org.a11y.atspi.Accessible", "GetChildren", nullptr, "(a(so))");
    if (!reply) return result;
    GVariantIter* iter = nullptr;
    const char* name = nullptr;
    const char* child = nullptr;
    g_variant_get(reply, "(a(so))", &iter);
    while (g_variant_iter_next(iter, "(&s&o)", &name, &child)) result.emplace_back(name, child);
    g_variant_iter_free(iter);
    g_variant_unref(reply);
    return result;
  }

  static Node read(const std::string& bus, const std::string& path) {
    Node node;
    if (GVariant* r = call(bus, path, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", "org.a11y.atspi.Accessible", "Name"), "(v)")) {
      GVariant* value = nullptr;
      g_variant_get(r, "(v)", &value);
      node.name = g_variant_get_string(value, nullptr);
      g_variant_unref(value);
      g_variant_unref(r);
    }
    if (GVariant* r = call(bus, path, "org.a11y.atspi.Accessible", "GetRole", nullptr, "(u)")) {
      g_variant_get(r, "(u)", &node.role);
      g_variant_unref(r);
    }
    if (GVariant* r = call(bus, path, "org.a11y.atspi.Accessible", "GetState", nullptr, "(au)")) {
      GVariantIter* iter = nullptr;
      guint32 bits = 0;
      g_variant_get(r, "(au)", &iter);
      while (g_variant_iter_next(iter, "u", &bits)) node.states.push_back(bits);
      g_variant_iter_free(iter);
      g_variant_unref(r);
    }
    if (GVariant* r = call(bus, path, "org.a11y.atspi.Accessible", "GetRelationSet", nullptr,
                           "(a(ua(so)))")) {
      GVariantIter* iter = nullptr;
      guint32 type = 0;
      GVariant* targets = nullptr;
      g_variant_get(r, "(a(ua(so)))", &iter);
      while (g_variant_iter_next(iter, "(u@a(so))", &type, &targets)) {
        if (type == kLabelledBy && g_variant_n_children(targets) > 0) node.labelled = true;
        g_variant_unref(targets);
      }
      g_variant_iter_free(iter);
      g_variant_unref(r);
    }
    return node;
  }

  /// This process's application on the bus (its bus name), once GTK has
  /// registered it; "" when it never does.
  static std::string application() {
    for (int attempt = 0; attempt < 50; ++attempt) {
      for (const auto& [bus, path] :
           children("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")) {
        if (bus == g_dbus_connection_get_unique_name(bus_)) continue;
        return bus;
      }
      g_usleep(100000);
      drain();
    }
    return "";
  }

  /// Every object below the application's root, depth first.
  static std::vector<Node> tree(const std::string& bus) {
    std::vector<Node> nodes;
    std::vector<std::string> paths = {"/org/a11y/atspi/accessible/root"};
    while (!paths.empty() && nodes.size() < 2000) {
      const std::string path = paths.back();
      paths.pop_back();
      nodes.push_back(read(bus, path));
      for (const auto& [name, child] : children(bus, path)) paths.push_back(child);
    }
    return nodes;
  }

  static gtktest::XServer* server_;
  static GDBusConnection* bus_;
  static bool gtkUp_;
};

gtktest::XServer* AccessibilityTest::server_ = nullptr;
GDBusConnection* AccessibilityTest::bus_ = nullptr;
bool AccessibilityTest::gtkUp_ = false;

std::string describe(const Node& node) {
  return "role " + std::to_string(node.role) + " \"" + node.name + "\"";
}

/// A label's text as the name it gives: without its colon.
std::string withoutColon(std::string name) {
  if (!name.empty() && name.back() == ':') name.pop_back();
  return name;
}

// The whole panel (every tab's page is in the tree), read as a screen
// reader reads it.
TEST_P(AccessibilityTest, EveryControlIsNamedAndEveryFieldLabelled) {
  const std::string app = application();
  ASSERT_FALSE(app.empty()) << "GTK never registered with the accessibility bus";
  EXPECT_EQ(read(app, "/org/a11y/atspi/accessible/root").name, "jobwick-dialog");
  std::set<std::string> passwordTexts, locks, radios, tabs;
  std::size_t controls = 0;
  for (const Node& node : tree(app)) {
    if (!kControls.count(node.role)) continue;
    ++controls;
    EXPECT_FALSE(node.name.empty() || node.name.rfind("Gtk", 0) == 0 || node.name == "Tab")
        << "a control without a name of its own: " << describe(node);
    if (node.role == kText || node.role == kPasswordText || node.role == kComboBox) {
      EXPECT_TRUE(node.labelled) << describe(node) << " is labelled by no label";
    }
    if (node.role == kPasswordText) passwordTexts.insert(withoutColon(node.name));
    if (node.role == kText) {
      EXPECT_EQ(node.name.find("Pass"), std::string::npos) << describe(node) << " is plain text";
    }
    if (node.role == kPushButton && node.name.rfind("Remember ", 0) == 0) locks.insert(node.name);
    if (node.role == kRadioButton) radios.insert(node.name);
    if (node.role == kPageTab) tabs.insert(node.name);
  }
  EXPECT_GT(controls, 20u);
  const std::set<std::string> secrets = {"Pass Code", "Password", "User Number", "Folder Password"};
  EXPECT_EQ(passwordTexts, secrets);
  for (const char* lock :
       {"Remember pass code", "Remember login name", "Remember password", "Remember user number",
        "Remember account number", "Remember user name", "Remember job name"})
    EXPECT_TRUE(locks.count(lock)) << lock;
  for (const char* radio : {"Hold Only", "Hold After Print", "Sample Print", "User Number"})
    EXPECT_TRUE(radios.count(radio)) << radio;
  EXPECT_EQ(tabs, (std::set<std::string>{"Retention", "Authentication", "Document Filing"}));
}

// A lock button's state is read out: it changes when the button is locked.
TEST_P(AccessibilityTest, LockButtonsShowTheirState) {
  const std::string app = application();
  ASSERT_FALSE(app.empty());
  auto statesOfLock = [&] {
    for (const Node& node : tree(app))
      if (node.role == kPushButton && node.name == "Remember login name") return node.states;
    return std::vector<guint32>();
  };
  auto* tabs = dynamic_cast<platform::TabView*>(window_.root()->findViewWithIdentifier("tabView"));
  tabs->selectTabViewItemAtIndex(1);
  view_->sync();
  drain();
  const std::vector<guint32> open = statesOfLock();
  ASSERT_FALSE(open.empty());
  auto lock = window_.find("loginNameButton");
  ASSERT_TRUE(lock);
  view_->click(*lock);
  drain();
  EXPECT_NE(statesOfLock(), open);
}

INSTANTIATE_TEST_SUITE_P(Models, AccessibilityTest, ::testing::Values("vk7300", "vk410e"));

}  // namespace
