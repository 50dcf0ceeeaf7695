// jobwick-dialog: the panel in GTK 4 widgets. `jobwick dialog` runs this
// program, so that the headless jobwick never loads GTK.
//
//   jobwick-dialog [FILE] [--printer QUEUE]
//
// opens the GTK print dialog for FILE with the queue's panel as a tab, and
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
#include "gtk/print_window.h"
#include "gtk/widget_session_input.h"
#include "host/commands.h"
#include "host/session_input.h"

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

 private:
  const host::ParsedArgs& args_;
  GtkWindow* window_ = nullptr;
  std::unique_ptr<MainLoopBridge> bridge_;
  unsigned alerts_ = 0;
  bool shown_ = false;
};

const char kUsage[] =
    "Usage: jobwick dialog [FILE] [--printer QUEUE] [options]\n"
    "       jobwick dialog FILE --printer QUEUE --script SESSION [--print | --cancel]\n"
    "       jobwick dialog --script SESSION --screenshot OUT.png [options]\n"
    "\n"
    "Opens the GTK print dialog for FILE (a PDF or PostScript file; without FILE a file\n"
    "chooser asks for one). The queue selected in the dialog (--printer picks it first)\n"
    "is served by the plug-in bundle its PPD names, as for 'jobwick print': the bundle's\n"
    "panel shows as a tab of the dialog, and choosing a queue of the other model swaps\n"
    "it. Print asks the panel (save, then shouldPrint): when it refuses, its alert shows\n"
    "and the dialog stays open; else FILE is printed through GTK with every job-ticket\n"
    "entry as the job option of the same name. Cancel prints nothing.\n"
    "\n"
    "With FILE (or --choose-file FILE), --printer and --script SESSION, the session's\n"
    "steps are made on the widgets of that tab and Print is pressed afterwards (--cancel\n"
    "presses Cancel).\n"
    "\n"
    "With --script SESSION and --screenshot OUT.png (no FILE), the session runs through\n"
    "the panel's GTK widgets in a window of their own and the panel is drawn into\n"
    "OUT.png; the printer is the script's own.\n"
    "\n"
    "The options of 'jobwick session' apply (--save-settings FILE saves the print\n"
    "settings, --json writes the session's report, --language ja shows the panel in\n"
    "Japanese). Needs a display (DISPLAY or WAYLAND_DISPLAY).\n"
    "\n"
    "Exit status: 0 printed (or screenshot made), 1 cancelled, no file chosen or a\n"
    "failure, 2 usage, 3 the panel refused to print, 4 bad input.\n"
    "\n"
    "  --printer QUEUE         the CUPS queue to select first\n"
    "  --print, --cancel       press Print or Cancel once the panel shows (scripts)\n"
    "  --select-printer QUEUE  choose QUEUE in the printer list first (repeatable; tests)\n"
    "  --choose-file FILE      without FILE: pick FILE in the file chooser once it shows\n"
    "                          and press its Print button (tests; --cancel alone presses\n"
    "                          the chooser's Cancel)\n"
    "  --widget-states FILE    write what the widgets show as JSON (for tests)\n";

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
  options.push_back({"--printer", "QUEUE", "the queue to select first"});
  options.push_back({"--print", "", "press Print once the panel shows"});
  options.push_back({"--cancel", "", "press Cancel once the panel shows"});
  options.push_back({"--select-printer", "QUEUE", "choose QUEUE in the printer list", true});
  options.push_back({"--choose-file", "FILE", "pick FILE in the file chooser once it shows"});
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
  const bool choose = parsed->has("--choose-file");
  if (!parsed->has("--screenshot") &&
      (!parsed->has("--script") || !parsed->positionals.empty() || choose)) {
    if (parsed->positionals.size() > 1) {
      std::cerr << "jobwick: dialog: one FILE at a time\nRun 'jobwick dialog --help' for usage.\n";
      return host::kExitUsage;
    }
    if (choose && !parsed->positionals.empty()) {
      std::cerr << "jobwick: dialog: --choose-file answers the file chooser, which does not show "
                   "with a FILE; give one or the other\n";
      return host::kExitUsage;
    }
    if (parsed->has("--print") && parsed->has("--cancel")) {
      std::cerr << "jobwick: dialog: give --print or --cancel, not both\n";
      return host::kExitUsage;
    }
    return runPrintDialog(*parsed);
  }
  if (choose) {
    std::cerr << "jobwick: dialog: --choose-file answers the print dialog's file chooser; "
                 "--screenshot shows none\nRun 'jobwick dialog --help' for usage.\n";
    return host::kExitUsage;
  }
  if (!parsed->positionals.empty()) {
    std::cerr << "jobwick: dialog: --screenshot draws a session's panel; it takes no FILE\n"
                 "Run 'jobwick dialog --help' for usage.\n";
    return host::kExitUsage;
  }
  if (!parsed->has("--script")) {
    std::cerr << "jobwick: dialog: --screenshot needs --script SESSION\nRun 'jobwick dialog "
                 "--help' for usage.\n";
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
  ScriptedWindowInput input(*parsed);
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
