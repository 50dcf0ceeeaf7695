// SPDX-License-Identifier: Apache-2.0
// The print dialog driven by the options for tests and scripts: a session's
// steps on the tab's widgets, the buttons pressed, the file chooser answered
// and what the dialog showed written down.
#include "gtk/print_window_script.h"

#include "host/cups/saved_options.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "gtk/main_loop.h"
#include "gtk/widget_session_input.h"
#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/json_text.h"
#include "host/engine/plugin_loader.h"
#include "host/engine/session.h"

namespace jobwick::gtkui {

namespace fs = std::filesystem;

namespace {

/// A session's steps on the widgets of the panel inside the print dialog's
/// tab; when the steps are done, Print (or Cancel) is pressed.
class TabSessionInput : public WidgetSessionInput {
 public:
  TabSessionInput(PrintWindow& window, bool pressPrint)
      : window_(window), pressPrint_(pressPrint) {}
  ~TabSessionInput() override { detaching(); }

  void dialogOpened(host::PrintDialog& dialog) override {
    dialog_ = &dialog;
    window_.followSession(&dialog);
  }

  void attached(host::PanelWindow& panelWindow) override {
    detaching();
    view_ = std::make_unique<PanelView>(panelWindow);
    window_.setTabContent(view_->widget(), dialog_->panels().front()->panelName());
    bridge_ = std::make_unique<MainLoopBridge>([this] {
      if (view_) view_->sync();
    });
    drainMainLoop(view_->widget(), 5.0);
  }

  void detaching() override {
    bridge_.reset();
    if (view_) window_.setTabContent(nullptr, "Jobwick");
    view_.reset();
  }

  void stepDone() override {
    if (view_) view_->sync();
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  }

  void alertShown(const platform::Alert& alert) override {
    if (window_.outcome() != PrintWindow::Outcome::kOpen) return;  // closing
    ++alerts_;
    runAlertDialog(window_.window(), alert, true);
  }

  bool finished(host::PanelWindow&, std::string* error) override {
    if (view_) view_->sync();
    if (view_) drainMainLoop(view_->widget(), 5.0);
    if (!pressPrint_) {
      window_.respond(GTK_RESPONSE_CANCEL);
      return true;
    }
    window_.respond(GTK_RESPONSE_OK);
    window_.waitForSending();
    if (window_.outcome() == PrintWindow::Outcome::kOpen &&
        window_.refusals() + window_.failures() > 0) {
      // Refused, or the queue would not take the job: the dialog must still
      // be there, with the panel as it was.
      stayedOpen_ = window_.visible();
      if (view_) panelAfterRefusal_ = view_->widgetStates();
      window_.respond(GTK_RESPONSE_CANCEL);
      return true;
    }
    window_.run();
    if (window_.outcome() == PrintWindow::Outcome::kFailed) {
      *error = "dialog: " + window_.error();
      return false;
    }
    return true;
  }

  unsigned alerts() const { return alerts_; }
  bool stayedOpen() const { return stayedOpen_; }
  const nlohmann::ordered_json& panelAfterRefusal() const { return panelAfterRefusal_; }

 private:
  PrintWindow& window_;
  bool pressPrint_;
  host::PrintDialog* dialog_ = nullptr;
  std::unique_ptr<MainLoopBridge> bridge_;
  unsigned alerts_ = 0;
  bool stayedOpen_ = false;
  nlohmann::ordered_json panelAfterRefusal_;
};

/// The dialog the file chooser shows in this process (GtkFileChooserNative
/// shows a GtkFileChooserDialog where no desktop portal serves it); null
/// while none is shown.
GtkWidget* shownFileChooserDialog() {
  GListModel* toplevels = gtk_window_get_toplevels();
  for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
    GRef<GObject> item(G_OBJECT(g_list_model_get_item(toplevels, i)));
    if (GTK_IS_FILE_CHOOSER_DIALOG(item.get()) && gtk_widget_get_visible(GTK_WIDGET(item.get())))
      return GTK_WIDGET(item.get());  // the list of toplevels keeps it
  }
  return nullptr;
}

/// Answers the shown chooser as its user would (scripted use): selects
/// `pick` in it and presses Print, or, without `pick`, presses Cancel.
/// False, with `error` saying why, when the chooser does not let it.
bool answerChooser(const std::optional<fs::path>& pick, std::string* error) {
  GtkWidget* dialog = nullptr;
  if (!pumpMainLoopUntil([&] { return (dialog = shownFileChooserDialog()) != nullptr; }, 10.0)) {
    *error =
        "the file chooser showed no dialog in this program (a desktop portal may serve it; "
        "GTK_USE_PORTAL=0 keeps it here)";
    return false;
  }
  if (pick) {
    GRef<GFile> wanted(g_file_new_for_path(pick->c_str()));
    GError* failure = nullptr;
    if (!gtk_file_chooser_set_file(GTK_FILE_CHOOSER(dialog), wanted.get(), &failure)) {
      *error = "the file chooser cannot select " + pick->string() + ": " +
               (failure ? failure->message : "refused");
      if (failure) g_error_free(failure);
      return false;
    }
    // The chooser selects the file once it has listed the file's folder.
    auto selected = [&] {
      GRef<GFile> file(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog)));
      return file.get() && g_file_equal(file.get(), wanted.get());
    };
    if (!pumpMainLoopUntil(selected, 10.0)) {
      *error =
          "the file chooser did not select " + pick->string() + " (not a PDF or PostScript file?)";
      return false;
    }
  }
  GtkWidget* button = gtk_dialog_get_widget_for_response(
      GTK_DIALOG(dialog), pick ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
  if (!button || !gtk_widget_activate(button)) {
    *error = std::string("the file chooser's ") + (pick ? "Print" : "Cancel") +
             " button cannot be pressed";
    return false;
  }
  return true;
}

/// Presses the dialog's Cancel a while after it is made (--cancel-after),
/// as a person does who gives up waiting, and keeps when it pressed.
class LateCancel {
 public:
  LateCancel(PrintWindow& window, double seconds) : window_(window) {
    source_ = g_timeout_add(guint(seconds * 1000), &LateCancel::fire, this);
  }
  LateCancel(const LateCancel&) = delete;
  LateCancel& operator=(const LateCancel&) = delete;
  ~LateCancel() {
    if (source_) g_source_remove(source_);
  }
  /// Seconds from the press to now; nullopt when it has not pressed.
  std::optional<double> secondsSincePress() const {
    if (!pressedAt_) return std::nullopt;
    return double(g_get_monotonic_time() - *pressedAt_) / G_USEC_PER_SEC;
  }

 private:
  static gboolean fire(gpointer data) {
    auto* self = static_cast<LateCancel*>(data);
    self->source_ = 0;
    self->pressedAt_ = g_get_monotonic_time();
    self->window_.respond(GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
  }
  PrintWindow& window_;
  guint source_ = 0;
  std::optional<gint64> pressedAt_;
};

/// The user's entries on the panel the dialog shows (--enter, then --click),
/// each through its widget. False, with `error`, when a control is missing
/// or refuses; the dialog closing meanwhile ends them.
bool enterAndClick(PrintWindow& window, const host::ParsedArgs& args, std::string* error) {
  std::vector<std::pair<std::string, std::optional<std::string>>> steps;
  for (const auto& entry : args.values("--enter")) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      *error = "--enter " + entry + ": give IDENTIFIER=TEXT";
      return false;
    }
    steps.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
  }
  for (const auto& identifier : args.values("--click"))
    steps.emplace_back(identifier, std::nullopt);
  for (const auto& [identifier, text] : steps) {
    if (window.outcome() != PrintWindow::Outcome::kOpen) return true;
    PanelView* view = window.panelView();
    const auto control = view ? window.panelWindow()->find(identifier) : std::nullopt;
    if (!control) {
      *error = "the panel shows no control " + identifier;
      return false;
    }
    host::EventOutcome outcome;
    if (text) {
      view->clear(*control);
      if (!text->empty()) outcome = view->paste(*control, *text);
    } else {
      outcome = view->click(*control);
    }
    if (outcome.status == host::EventOutcome::Status::kRefused &&
        window.outcome() == PrintWindow::Outcome::kOpen) {
      *error = identifier + " refused: " + outcome.message;
      return false;
    }
  }
  return true;
}

/// Writes what the dialog showed (for tests); false when it cannot.
bool writeStates(const host::ParsedArgs& args, const nlohmann::ordered_json& states) {
  auto path = args.value("--widget-states");
  if (!path) return true;
  std::ofstream out(*path);
  out << host::jsonText(states, 2) << "\n";
  if (out) return true;
  std::cerr << "jobwick: dialog: " << *path << ": cannot write the widget states\n";
  return false;
}

}  // namespace

bool DialogScript::active() const {
  for (const char* name :
       {"--script", "--print", "--cancel", "--select-printer", "--choose-file", "--widget-states",
        "--enter", "--click", "--cancel-after", "--screenshot"}) {
    if (args_.has(name)) return true;
  }
  return false;
}

bool DialogScript::automatic() const {
  return args_.has("--script") || args_.has("--print") || args_.has("--cancel") ||
         args_.has("--cancel-after") || args_.has("--screenshot");
}

std::optional<int> DialogScript::check() const {
  if (args_.has("--screenshot") && (args_.has("--script") || !args_.value("--printer"))) {
    std::cerr << "jobwick: dialog: --screenshot with a FILE needs --printer QUEUE and takes no "
                 "--script\n";
    return host::kExitUsage;
  }
  if (args_.has("--script") && !args_.value("--printer")) {
    std::cerr << "jobwick: dialog: --script with a FILE needs --printer QUEUE\n";
    return host::kExitUsage;
  }
  if (const auto seconds = args_.value("--cancel-after")) {
    char* end = nullptr;
    const double value = std::strtod(seconds->c_str(), &end);
    if (seconds->empty() || *end != '\0' || !(value > 0 && value < 600)) {
      std::cerr << "jobwick: dialog: --cancel-after " << *seconds
                << ": give the seconds to wait, more than 0 and less than 600\n";
      return host::kExitUsage;
    }
  }
  std::error_code ec;
  if (const auto pick = args_.value("--choose-file"); pick && !fs::is_regular_file(*pick, ec)) {
    std::cerr << "jobwick: dialog: --choose-file " << *pick << ": cannot be read (no such file)\n";
    return host::kExitFailure;
  }
  return std::nullopt;
}

ChooserAnswer DialogScript::chooserAnswer() const {
  const auto pick = args_.value("--choose-file");
  if (!pick && !args_.has("--cancel")) return {};
  std::optional<fs::path> file;
  if (pick) file = fs::absolute(*pick);
  return [file](std::string* error) { return answerChooser(file, error); };
}

int DialogScript::run(PrintWindow& window, const std::string& file) const {
  const auto printer = args_.value("--printer");
  if (printer && !window.choosePrinter(*printer, automatic() ? 30.0 : 10.0) && automatic()) {
    std::string listed;
    for (const auto& name : window.printers()) listed += (listed.empty() ? "" : ", ") + name;
    std::cerr << "jobwick: dialog: the print dialog did not show queue " << *printer
              << " (the CUPS scheduler at " << host::schedulerName() << "; the dialog lists "
              << (listed.empty() ? std::string("no printers") : listed)
              << "; showing: " << (window.queue().empty() ? std::string("none") : window.queue())
              << ")\n";
    return host::kExitFailure;
  }
  return args_.has("--script") ? runSession(window, file) : pressButtons(window, file);
}

/// A session script's steps in the dialog's tab, then Print or Cancel.
int DialogScript::runSession(PrintWindow& window, const std::string& file) const {
  const std::string queue = *args_.value("--printer");
  std::string error;
  auto target = host::resolveQueue(queue, host::defaultBundleDir(), &error);
  if (!target) {
    std::cerr << "jobwick: dialog: " << error << "\n";
    return host::kExitFailure;
  }
  auto script =
      host::readSessionScript(*args_.value("--script"), host::variablesFrom(args_), &error);
  if (!script) {
    std::cerr << "jobwick: dialog: " << error << "\n";
    return host::kExitBadInput;
  }
  // The queue's printer, the job and user of the options; the user's own
  // preferences, as for any print.
  host::SessionOptions options = host::sessionOptionsFromArgs(args_);
  options.prefsDir = host::preferencesFolderFor(args_);
  // The ticket entries saved for the queue, as the dialog a person uses
  // starts from them.
  options.savedSettings = host::savedOptionsFor(target->queue.name).ticket;
  options = host::sessionOptionsForQueue(*target, std::move(options));
  TabSessionInput input(window, !args_.has("--cancel"));
  window.followSession(nullptr);
  const int status = int(host::runSession(
      std::move(*script), options, {std::cout, std::cerr, args_.has("--json"), "dialog"}, input));
  window.followSession(nullptr);
  nlohmann::ordered_json states = {{"tab", window.tabState()},
                                   {"printed", window.outcome() == PrintWindow::Outcome::kPrinted},
                                   {"jobName", window.jobName()},
                                   {"refusals", window.refusals()},
                                   {"failures", window.failures()},
                                   {"stayedOpen", input.stayedOpen()},
                                   {"alertDialogs", input.alerts()},
                                   {"panelAfterRefusal", input.panelAfterRefusal()}};
  if (!writeStates(args_, states)) return host::kExitFailure;
  if (status != host::kExitSuccess) return status;
  return reportOutcome(window, file, args_.has("--json"));
}

namespace {

/// The first notebook in `widget`'s tree (the print dialog's pages), or null.
GtkNotebook* notebookIn(GtkWidget* widget) {
  if (GTK_IS_NOTEBOOK(widget)) return GTK_NOTEBOOK(widget);
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child)) {
    if (GtkNotebook* found = notebookIn(child)) return found;
  }
  return nullptr;
}

}  // namespace

/// The whole dialog, the panel's tab showing, drawn into
/// `picture` once GTK has laid it out.
bool DialogScript::drawDialog(PrintWindow& window, const std::string& picture,
                              std::string* error) const {
  GtkNotebook* pages = notebookIn(GTK_WIDGET(window.window()));
  const std::string label = window.tabState().value("label", "");
  for (int page = 0; pages && page < gtk_notebook_get_n_pages(pages); ++page) {
    GtkWidget* tab = gtk_notebook_get_tab_label(pages, gtk_notebook_get_nth_page(pages, page));
    if (tab && GTK_IS_LABEL(tab) && label == gtk_label_get_text(GTK_LABEL(tab)))
      gtk_notebook_set_current_page(pages, page);
  }
  const gint64 until = g_get_monotonic_time() + 500 * 1000;
  while (g_get_monotonic_time() < until) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(10 * 1000);
  }
  return saveWidgetPng(GTK_WIDGET(window.window()), picture, error);
}

/// The user's entries on the first panel, the printers chosen in turn,
/// then Print or Cancel pressed as asked.
int DialogScript::pressButtons(PrintWindow& window, const std::string& file) const {
  const bool recorded = args_.has("--widget-states");
  auto shown = [&] {
    nlohmann::ordered_json tab = window.tabState();
    if (recorded && window.panelView()) tab["widgets"] = window.panelView()->widgetStates();
    return tab;
  };
  std::unique_ptr<LateCancel> lateCancel;
  if (const auto seconds = args_.value("--cancel-after"))
    lateCancel = std::make_unique<LateCancel>(window, std::stod(*seconds));
  std::string error;
  if (!enterAndClick(window, args_, &error)) {
    std::cerr << "jobwick: dialog: " << error << "\n";
    return host::kExitFailure;
  }
  nlohmann::ordered_json tabs = nlohmann::ordered_json::array();
  if (automatic()) tabs.push_back(shown());
  for (const auto& queue : args_.values("--select-printer")) {
    if (window.outcome() != PrintWindow::Outcome::kOpen) break;
    if (!window.choosePrinter(queue, 30.0)) {
      std::cerr << "jobwick: dialog: the print dialog has no printer " << queue << "\n";
      return host::kExitFailure;
    }
    tabs.push_back(shown());
  }
  if (const auto picture = args_.value("--screenshot")) {
    std::string error;
    if (!drawDialog(window, *picture, &error)) {
      std::cerr << "jobwick: dialog: " << error << "\n";
      return host::kExitFailure;
    }
  }
  nlohmann::ordered_json afterPrint;
  if (args_.has("--print")) {
    window.respond(GTK_RESPONSE_OK);
    // A job on its way may yet fail (the scheduler refuses the document as
    // it arrives): then too the dialog must still be there.
    window.waitForSending();
    if (window.outcome() == PrintWindow::Outcome::kOpen &&
        window.refusals() + window.failures() > 0) {
      // Refused, or the queue would not take the job: what the dialog still
      // shows, before Cancel ends it.
      afterPrint = {{"visible", window.visible()}, {"tab", shown()}};
      window.respond(GTK_RESPONSE_CANCEL);
    }
  }
  // A picture alone: the dialog goes once it is drawn.
  if (args_.has("--screenshot") && !args_.has("--print")) {
    window.respond(GTK_RESPONSE_CANCEL);
  }
  if (args_.has("--cancel")) window.respond(GTK_RESPONSE_CANCEL);
  window.run();
  nlohmann::ordered_json states = {{"tabs", tabs},
                                   {"refusals", window.refusals()},
                                   {"failures", window.failures()},
                                   {"alertDialogs", window.alertDialogs()},
                                   {"afterPrint", afterPrint}};
  if (const auto since = lateCancel ? lateCancel->secondsSincePress() : std::nullopt)
    states["closedAfterCancel"] = *since;
  if (!writeStates(args_, states)) return host::kExitFailure;
  return reportOutcome(window, file, false);
}

}  // namespace jobwick::gtkui
