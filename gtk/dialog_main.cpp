// jobwick-dialog: the panel in GTK 4 widgets. `jobwick dialog` runs this
// program, so that the headless jobwick never loads GTK.
//
//   jobwick-dialog --script SESSION --screenshot OUT.png [session options]
//
// runs a dialog session (as `jobwick session`) with every user event going
// through the GTK widgets, and draws the panel into OUT.png afterwards.
#include <gtk/gtk.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "gtk/main_loop.h"
#include "gtk/panel_view.h"
#include "host/commands.h"
#include "host/session_input.h"

namespace jobwick::gtkui {
namespace {

using host::ControlRef;
using host::EventOutcome;

/// A session's user events on the GTK widgets of the panel.
class WidgetSessionInput : public host::SessionInput {
 public:
  explicit WidgetSessionInput(const host::ParsedArgs& args) : args_(args) {}
  ~WidgetSessionInput() override { detaching(); }

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
      out << states.dump(2) << "\n";
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

  EventOutcome click(const ControlRef& control) override { return view_->click(control); }
  EventOutcome type(const ControlRef& control, std::string_view text, platform::Window*) override {
    return view_->type(control, text);
  }
  EventOutcome paste(const ControlRef& control, std::string_view text, platform::Window*) override {
    return view_->paste(control, text);
  }
  EventOutcome clear(const ControlRef& control, platform::Window*) override {
    return view_->clear(control);
  }
  EventOutcome erase(const ControlRef& control, std::size_t count, platform::Window*) override {
    return view_->erase(control, count);
  }
  EventOutcome choose(const ControlRef& control, std::optional<std::int64_t> index,
                      const std::optional<std::string>& title) override {
    return view_->choose(control, index, title);
  }

 private:
  const host::ParsedArgs& args_;
  GtkWindow* window_ = nullptr;
  std::unique_ptr<PanelView> view_;
  std::unique_ptr<MainLoopBridge> bridge_;
  unsigned alerts_ = 0;
  bool shown_ = false;
};

const char kUsage[] =
    "Usage: jobwick dialog --script SESSION --screenshot OUT.png [options]\n"
    "\n"
    "Shows the panel in GTK 4 widgets and runs the dialog session SESSION through them:\n"
    "every step's typing, clicks and choices are made on the widgets, which hand them to\n"
    "the panel's controls (input filters, then actions). Afterwards the panel is drawn\n"
    "into OUT.png. The options of 'jobwick session' apply (--save-settings FILE saves\n"
    "the print settings, --json writes the session's report, --language ja shows the\n"
    "panel in Japanese). Needs a display (DISPLAY or WAYLAND_DISPLAY).\n"
    "\n"
    "  --widget-states FILE  write what the widgets show as JSON (for tests)\n";

int run(const std::vector<std::string>& words) {
  const host::Subcommand* session = nullptr;
  for (const auto& command : host::subcommands()) {
    if (command.words.size() == 1 && command.words.front() == "session") session = &command;
  }
  if (!session) return host::kExitFailure;
  std::vector<host::OptionSpec> options = session->options;
  options.push_back({"--script", "SESSION", "the session script to run"});
  options.push_back({"--screenshot", "OUT.png", "where the picture of the panel goes"});
  options.push_back({"--widget-states", "FILE", "what the widgets show, as JSON"});
  std::string error;
  auto parsed = host::parseArguments(words, options, &error);
  if (!parsed) {
    std::cerr << "jobwick: dialog: " << error << "\nRun 'jobwick dialog --help' for usage.\n";
    return host::kExitUsage;
  }
  if (parsed->has("--help")) {
    std::cout << kUsage;
    return host::kExitSuccess;
  }
  if (!parsed->has("--script") || !parsed->positionals.empty()) {
    std::cerr << "jobwick: dialog: this version shows the panel for a session script only: "
                 "give --script SESSION (printing a file through the GTK print dialog is not "
                 "built yet)\nRun 'jobwick dialog --help' for usage.\n";
    return host::kExitUsage;
  }
  if (!parsed->has("--screenshot")) {
    std::cerr << "jobwick: dialog: --script needs --screenshot OUT.png\n";
    return host::kExitUsage;
  }
  if (!gtk_init_check()) {
    std::cerr << "jobwick: dialog: cannot open the display (is DISPLAY set?)\n";
    return host::kExitFailure;
  }
  parsed->positionals.push_back(*parsed->value("--script"));
  WidgetSessionInput input(*parsed);
  const int status = host::runSessionWith(host::Invocation{*parsed, std::cout, std::cerr}, input);
  if (status == host::kExitSuccess && !input.shown()) {
    std::cerr << "jobwick: dialog: the session never showed the panel (add a \"restore\" or "
                 "\"show\" step), so there is no screenshot\n";
    return host::kExitFailure;
  }
  return status;
}

}  // namespace
}  // namespace jobwick::gtkui

int main(int argc, char** argv) {
  try {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && words.front() == "dialog") words.erase(words.begin());
    const int status = jobwick::gtkui::run(words);
    std::cout.flush();
    return status;
  } catch (const std::exception& e) {
    std::cerr << "jobwick: dialog: internal error: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "jobwick: dialog: internal error\n";
  }
  return jobwick::host::kExitFailure;
}
