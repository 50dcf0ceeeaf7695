// SPDX-License-Identifier: Apache-2.0
// A session's panel in a window of its own, drawn into a PNG file.
#include "gtk/screenshot_session.h"

#include <gtk/gtk.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "gtk/main_loop.h"
#include "gtk/panel_view.h"
#include "gtk/widget_session_input.h"
#include "host/cli/commands.h"
#include "host/common/json_text.h"
#include "host/engine/session.h"

namespace jobwick::gtkui {
namespace {

/// A session's user events on the GTK widgets of the panel.
class ScriptedWindowInput : public WidgetSessionInput {
 public:
  explicit ScriptedWindowInput(const host::ParsedArgs& args) : args_(args) {}
  ~ScriptedWindowInput() override { detaching(); }

  void attached(host::PanelWindow& window) override {
    detaching();
    window_ = GTK_WINDOW(gtk_window_new());
    g_object_ref_sink(window_);
    gtk_window_set_title(window_, "Jobwick");
    view_ = std::make_unique<PanelView>(window);
    GtkWidget* frame = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_margin_start(view_->widget(), 12);
    gtk_widget_set_margin_end(view_->widget(), 12);
    gtk_widget_set_margin_top(view_->widget(), 12);
    gtk_widget_set_margin_bottom(view_->widget(), 12);
    gtk_box_append(GTK_BOX(frame), view_->widget());
    gtk_window_set_child(window_, frame);
    bridge_ = std::make_unique<MainLoopBridge>([this] {
      if (view_) view_->sync();
    });
    gtk_window_present(window_);
    drainMainLoop(view_->widget(), 5.0);
    bridge_->countFramesOf(view_->widget());
    shown_ = true;
  }

  void detaching() override {
    bridge_.reset();
    view_.reset();
    if (window_) {
      gtk_window_destroy(window_);
      g_object_unref(window_);
      window_ = nullptr;
      while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    }
  }

  void stepDone() override {
    if (!view_) return;
    view_->sync();
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  }

  void alertShown(const platform::Alert& alert) override {
    ++alerts_;
    runAlertDialog(window_, alert, true);
  }

  bool finished(host::PanelWindow&, std::string* error) override {
    if (!view_) return true;
    view_->sync();
    drainMainLoop(view_->widget(), 5.0);
    if (auto path = args_.value("--widget-states")) {
      nlohmann::ordered_json states = view_->widgetStates();
      states["framesDrawn"] = bridge_->framesDrawn();
      states["framesWhileWaiting"] = bridge_->framesWhileWaiting();
      states["alertDialogs"] = alerts_;
      std::ofstream out(*path);
      out << host::jsonText(states, 2) << "\n";
      if (!out) {
        *error = "dialog: " + *path + ": cannot write the widget states";
        return false;
      }
    }
    if (auto path = args_.value("--screenshot")) {
      std::string why;
      if (!saveWidgetPng(view_->widget(), *path, &why)) {
        *error = "dialog: " + why;
        return false;
      }
    }
    return true;
  }

  bool shown() const { return shown_; }

 private:
  const host::ParsedArgs& args_;
  GtkWindow* window_ = nullptr;
  std::unique_ptr<MainLoopBridge> bridge_;
  unsigned alerts_ = 0;
  bool shown_ = false;
};

}  // namespace

int runScreenshotSession(host::ParsedArgs& args) {
  if (!openDisplay()) {
    std::cerr << "jobwick: dialog: cannot open the display (is DISPLAY set?)\n";
    return host::kExitFailure;
  }
  ScriptedWindowInput input(args);
  const int status = host::runSessionScript(host::Invocation{args, std::cout, std::cerr, "dialog"},
                                            *args.value("--script"), input);
  if (status == host::kExitSuccess && !input.shown()) {
    std::cerr << "jobwick: dialog: the session never showed the panel (add a \"restore\" or "
                 "\"show\" step), so there is no screenshot\n";
    return host::kExitFailure;
  }
  return status;
}

}  // namespace jobwick::gtkui
