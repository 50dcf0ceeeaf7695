// SPDX-License-Identifier: Apache-2.0
// The GTK print dialog for a document, with the queue's panel as a tab.
// What tests and scripts make of it is in print_window_script.cpp.
#include "gtk/print_window.h"

#include <iostream>
#include <utility>

#include "host/cups/ticket_privacy.h"
#include "host/engine/plugin_loader.h"
#include "host/engine/session.h"
#include "platform/user_defaults.h"

namespace jobwick::gtkui {

namespace fs = std::filesystem;

std::vector<std::pair<std::string, std::string>> cupsSettingsFor(
    const platform::PrintSettings& ticket) {
  std::vector<std::pair<std::string, std::string>> settings;
  for (const auto& [key, value] : ticket.entries()) settings.emplace_back("cups-" + key, value);
  // The job carries its ticket already: a queue that holds jobs for the
  // agent lets it go.
  settings.emplace_back("cups-job-hold-until", "no-hold");
  return settings;
}

namespace {

void removeChildren(GtkWidget* box) {
  while (GtkWidget* child = gtk_widget_get_first_child(box)) gtk_box_remove(GTK_BOX(box), child);
}

/// The dialog's list of printers (the selection model of its printer list
/// view): what a click on a row selects in.
GListModel* printerList(GtkWidget* widget) {
  if (GTK_IS_COLUMN_VIEW(widget)) {
    GListModel* model = G_LIST_MODEL(gtk_column_view_get_model(GTK_COLUMN_VIEW(widget)));
    if (model && g_list_model_get_item_type(model) == GTK_TYPE_PRINTER) return model;
    if (model && g_list_model_get_n_items(model) > 0) {
      GObject* first = G_OBJECT(g_list_model_get_item(model, 0));
      const bool printers = GTK_IS_PRINTER(first);
      g_object_unref(first);
      if (printers) return model;
    }
  }
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child)) {
    if (GListModel* found = printerList(child)) return found;
  }
  return nullptr;
}

}  // namespace

PrintWindow::PrintWindow(fs::path document, host::DialogSetup jobAndUser, bool dismissAlerts)
    : document_(std::move(document)),
      jobAndUser_(std::move(jobAndUser)),
      dismissAlerts_(dismissAlerts) {
  const std::string title = "Print " + document_.filename().string();
  dialog_ = gtk_print_unix_dialog_new(title.c_str(), nullptr);
  g_object_ref_sink(dialog_);
  auto* dialog = GTK_PRINT_UNIX_DIALOG(dialog_);
  // The document is printed as it is: GTK has no pages of its own to lay out.
  gtk_print_unix_dialog_set_manual_capabilities(
      dialog, GtkPrintCapabilities(GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_GENERATE_PDF |
                                   GTK_PRINT_CAPABILITY_GENERATE_PS));
  gtk_print_unix_dialog_set_embed_page_setup(dialog, FALSE);
  tab_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_margin_start(tab_, 12);
  gtk_widget_set_margin_end(tab_, 12);
  gtk_widget_set_margin_top(tab_, 12);
  gtk_widget_set_margin_bottom(tab_, 12);
  tabLabel_ = gtk_label_new("Jobwick");
  // GTK 4 cannot take a custom tab out again: this one tab stays, and its
  // content changes with the printer.
  gtk_print_unix_dialog_add_custom_tab(dialog, tab_, tabLabel_);
  g_signal_connect(dialog_, "notify::selected-printer", G_CALLBACK(onPrinterNotify), this);
  // The dialog's buttons are heard before GTK's own handler of "response",
  // which ends the emission for a printer it is not ready for (one that
  // rejects jobs, say): Print must always get an answer.
  responseHook_ = g_signal_add_emission_hook(g_signal_lookup("response", GTK_TYPE_DIALOG), 0,
                                             onResponseEmitted, this, nullptr);
  g_signal_connect(tab_, "map", G_CALLBACK(onTabMapped), this);
}

PrintWindow::~PrintWindow() {
  g_signal_remove_emission_hook(g_signal_lookup("response", GTK_TYPE_DIALOG), responseHook_);
  g_signal_handlers_disconnect_by_data(dialog_, this);
  g_signal_handlers_disconnect_by_data(tab_, this);
  removeChildren(tab_);
  panel_.reset();
  gtk_window_destroy(GTK_WINDOW(dialog_));
  g_object_unref(dialog_);
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

void PrintWindow::present(const std::optional<std::string>& printer) {
  if (printer) {
    GtkPrintSettings* settings = gtk_print_settings_new();
    gtk_print_settings_set_printer(settings, printer->c_str());
    gtk_print_unix_dialog_set_settings(GTK_PRINT_UNIX_DIALOG(dialog_), settings);
    g_object_unref(settings);
  }
  gtk_window_present(GTK_WINDOW(dialog_));
}

void PrintWindow::followSession(host::PrintDialog* dialog) {
  if (!following_) {
    // One plug-in at a time: the dialog's own panel goes before the
    // session loads its own.
    setTabContent(nullptr, "Jobwick");
    panel_.reset();
  }
  following_ = dialog != nullptr;
  session_ = dialog;
}

void PrintWindow::setTabContent(GtkWidget* child, const std::string& label) {
  removeChildren(tab_);
  if (child) gtk_box_append(GTK_BOX(tab_), child);
  gtk_label_set_text(GTK_LABEL(tabLabel_), label.c_str());
}

bool PrintWindow::visible() const {
  return gtk_widget_get_visible(dialog_);
}

void PrintWindow::onPrinterNotify(GObject*, GParamSpec*, gpointer self) {
  auto* window = static_cast<PrintWindow*>(self);
  GtkPrinter* printer =
      gtk_print_unix_dialog_get_selected_printer(GTK_PRINT_UNIX_DIALOG(window->dialog_));
  if (!printer || window->following_) return;
  const std::string name = gtk_printer_get_name(printer);
  if (name != window->queue_) window->showQueue(name);
}

void PrintWindow::onTabMapped(GtkWidget*, gpointer self) {
  // The tab comes into view: the panel is told, as a dialog tells a panel
  // it is about to show. A session says "show" itself.
  auto* window = static_cast<PrintWindow*>(self);
  if (!window->following_ && window->panel_) window->panel_->dialog->panels().front()->willShow();
}

std::unique_ptr<QueueTab> PrintWindow::openTab(const std::string& name, std::string* error) {
  host::DialogSetup setup = jobAndUser_;
  setup.alertListener = [this](const platform::Alert& alert) {
    // The dialog is closing: what an exchange it ended reports is moot.
    if (outcome_ != Outcome::kOpen) return;
    ++alertDialogs_;
    runAlertDialog(GTK_WINDOW(dialog_), alert, dismissAlerts_);
  };
  return openQueueTab(name, setup, error);
}

void PrintWindow::showQueue(const std::string& name) {
  // What the user entered stays with the job: the old panel saves it into
  // the print settings, which the next printer's panel restores from.
  if (panel_) jobAndUser_ = panel_->dialog->handOver();
  // The old panel goes before the new one is loaded: one plug-in at a time.
  // The tab keeps its label meanwhile.
  setTabContent(nullptr, gtk_label_get_text(GTK_LABEL(tabLabel_)));
  panel_.reset();
  queue_ = name;
  notice_.clear();
  noticeReason_.clear();
  std::string error;
  auto tab = openTab(name, &error);
  if (!tab) {
    showNotice(error);
    return;
  }
  panel_ = std::move(tab);
  setTabContent(panel_->view->widget(), panel_->dialog->panels().front()->panelName());
  if (gtk_widget_get_mapped(tab_)) panel_->dialog->panels().front()->willShow();
}

void PrintWindow::showNotice(const std::string& why) {
  // A short note for the user; the scheduler's or the bundle's words only
  // for whoever opens the details. The tab keeps the label of the panel
  // it showed last.
  notice_ = translated("No job handling for this printer");
  noticeReason_ = why;
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  GtkWidget* note = gtk_label_new(notice_.c_str());
  gtk_label_set_wrap(GTK_LABEL(note), TRUE);
  gtk_label_set_xalign(GTK_LABEL(note), 0.0f);
  gtk_box_append(GTK_BOX(box), note);
  GtkWidget* details = gtk_expander_new(translated("Details").c_str());
  GtkWidget* reason = gtk_label_new(why.c_str());
  gtk_label_set_wrap(GTK_LABEL(reason), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(reason), 60);
  gtk_label_set_xalign(GTK_LABEL(reason), 0.0f);
  gtk_label_set_selectable(GTK_LABEL(reason), TRUE);
  gtk_widget_add_css_class(reason, "dim-label");
  gtk_expander_set_child(GTK_EXPANDER(details), reason);
  gtk_box_append(GTK_BOX(box), details);
  setTabContent(box, gtk_label_get_text(GTK_LABEL(tabLabel_)));
}

std::string PrintWindow::translated(const std::string& key) const {
  return bundleText(key, jobAndUser_.language);
}

bool PrintWindow::choosePrinter(const std::string& name, double seconds) {
  // The printer list fills as the print backends answer.
  auto listed = [&] {
    for (const auto& printer : printers())
      if (printer == name) return true;
    return false;
  };
  if (!pumpMainLoopUntil(listed, seconds)) return false;
  if (queue_ != name && !selectPrinter(name)) return false;
  return pumpMainLoopUntil([&] { return queue_ == name; }, seconds);
}

std::vector<std::string> PrintWindow::printers() const {
  std::vector<std::string> names;
  GListModel* list = printerList(dialog_);
  for (guint i = 0; list && i < g_list_model_get_n_items(list); ++i) {
    GObject* item = G_OBJECT(g_list_model_get_item(list, i));
    if (GTK_IS_PRINTER(item)) names.emplace_back(gtk_printer_get_name(GTK_PRINTER(item)));
    g_object_unref(item);
  }
  return names;
}

bool PrintWindow::selectPrinter(const std::string& name) {
  GListModel* list = printerList(dialog_);
  for (guint i = 0; list && i < g_list_model_get_n_items(list); ++i) {
    GObject* item = G_OBJECT(g_list_model_get_item(list, i));
    const bool match = GTK_IS_PRINTER(item) && name == gtk_printer_get_name(GTK_PRINTER(item));
    g_object_unref(item);
    if (match) return gtk_selection_model_select_item(GTK_SELECTION_MODEL(list), i, TRUE);
  }
  return false;
}

void PrintWindow::respond(int response) {
  gtk_dialog_response(GTK_DIALOG(dialog_), response);
}

void PrintWindow::waitForSending() {
  while (sending_) g_main_context_iteration(nullptr, TRUE);
}

PrintWindow::Outcome PrintWindow::run() {
  while (outcome_ == Outcome::kOpen) g_main_context_iteration(nullptr, TRUE);
  return outcome_;
}

gboolean PrintWindow::onResponseEmitted(GSignalInvocationHint*, guint count, const GValue* values,
                                        gpointer self) {
  auto* window = static_cast<PrintWindow*>(self);
  if (count >= 2 && g_value_get_object(&values[0]) == window->dialog_)
    onResponse(GTK_DIALOG(window->dialog_), g_value_get_int(&values[1]), self);
  return TRUE;  // stays hooked
}

void PrintWindow::onResponse(GtkDialog*, int response, gpointer self) {
  auto* window = static_cast<PrintWindow*>(self);
  if (window->sending_ || window->outcome_ != Outcome::kOpen) return;
  if (response == GTK_RESPONSE_OK) {
    window->print();
  } else {
    // Closed while the panel waits for a printer: the exchange ends now,
    // not at its time-out.
    window->outcome_ = Outcome::kCancelled;
    abandonRunLoopWait();
  }
}

host::PrintDialog* PrintWindow::activeDialog() const {
  if (following_) return session_;
  return panel_ ? panel_->dialog.get() : nullptr;
}

void PrintWindow::print() {
  host::PrintDialog* dialog = activeDialog();
  if (!dialog) {
    // Without a panel there is no job ticket: the printer cannot take the job.
    ++refusals_;
    platform::Alert alert;
    alert.title = "Cannot print";
    alert.message = notice_.empty() ? "No printer with a Jobwick panel is selected." : notice_;
    alert.detail = noticeReason_;
    alert.defaultButton = "OK";
    ++alertDialogs_;
    runAlertDialog(GTK_WINDOW(dialog_), alert, dismissAlerts_);
    return;
  }
  platform::PDEPanel& panel = *dialog->panels().front();
  panel.saveValuesAndReturnError(nullptr);
  if (!panel.shouldPrint()) {
    // The panel has shown its alert; the dialog stays as the user left it.
    ++refusals_;
    return;
  }
  warnUnsavedPreferences();
  if (!ticketMayGo(*dialog) || !queueTakesJobs()) return;
  if (!sendJob(dialog->host().settings())) showPrintFailure(error_);
}

bool PrintWindow::queueTakesJobs() {
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(GTK_PRINT_UNIX_DIALOG(dialog_));
  if (!printer) return true;  // sendJob says so
  // Asked afresh: GTK's printer object may still call a queue that has
  // since been told to reject jobs accepting, and a job sent to it is
  // never answered.
  std::string error;
  const auto queue = host::describeQueue(gtk_printer_get_name(printer), &error);
  const std::string refusal = queue ? host::jobRefusal(*queue) : error;
  if (refusal.empty()) return true;
  showPrintFailure(refusal);
  return false;
}

void PrintWindow::showPrintFailure(const std::string& reason) {
  ++failures_;
  failure_ = reason;
  if (!gtk_widget_get_visible(dialog_)) gtk_window_present(GTK_WINDOW(dialog_));
  platform::Alert alert;
  alert.title = "Could not print " + document_.filename().string() +
                (queue_.empty() ? std::string() : " on " + queue_);
  alert.message = reason;
  alert.defaultButton = "OK";
  ++alertDialogs_;
  runAlertDialog(GTK_WINDOW(dialog_), alert, dismissAlerts_, GTK_MESSAGE_ERROR);
}

bool PrintWindow::ticketMayGo(host::PrintDialog& dialog) {
  exposure_.clear();
  if (jobAndUser_.allowExposedTicket) return true;
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(GTK_PRINT_UNIX_DIALOG(dialog_));
  if (!printer) return true;
  const std::string name = gtk_printer_get_name(printer);
  std::optional<host::QueueInfo> queue;
  if (dialog.queue() && dialog.queue()->queue.name == name) queue = dialog.queue()->queue;
  std::string error;
  if (!queue) queue = host::describeQueue(name, &error);
  exposure_ = queue ? host::exposedTicketProblem(*queue, dialog.host().settings())
                    : error + "; nothing was submitted";
  if (exposure_.empty()) return true;
  ++refusals_;
  platform::Alert alert;
  alert.title = "Job not sent";
  alert.message = exposure_;
  alert.defaultButton = "OK";
  ++alertDialogs_;
  runAlertDialog(GTK_WINDOW(dialog_), alert, dismissAlerts_);
  return false;
}

void PrintWindow::warnUnsavedPreferences() {
  const auto failed = platform::UserDefaults::takeFailedWrites();
  if (failed.empty()) return;
  // The job goes all the same; the user learns that the locked entries will
  // not come back next time.
  platform::Alert alert;
  alert.title = "Preferences not saved";
  alert.message = "The entries you locked could not be remembered for this printer (" +
                  failed.back().reason + "). The job is printed all the same.";
  alert.defaultButton = "OK";
  ++alertDialogs_;
  runAlertDialog(GTK_WINDOW(dialog_), alert, dismissAlerts_);
}

bool PrintWindow::sendJob(const platform::PrintSettings& ticket) {
  auto* dialog = GTK_PRINT_UNIX_DIALOG(dialog_);
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog);
  if (!printer) {
    error_ = "no printer is selected";
    return false;
  }
  GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(dialog);
  for (const auto& [key, value] : cupsSettingsFor(ticket))
    gtk_print_settings_set(settings, key.c_str(), value.c_str());
  jobName_ = ticket.jobName().value_or(document_.filename().string());
  GtkPrintJob* job = gtk_print_job_new(jobName_.c_str(), printer, settings,
                                       gtk_print_unix_dialog_get_page_setup(dialog));
  g_object_unref(settings);
  GError* failure = nullptr;
  if (!gtk_print_job_set_source_file(job, document_.c_str(), &failure)) {
    error_ = document_.string() + ": " + (failure ? failure->message : "cannot be printed");
    if (failure) g_error_free(failure);
    g_object_unref(job);
    return false;
  }
  sending_ = true;
  gtk_widget_set_visible(dialog_, FALSE);
  gtk_print_job_send(job, onSent, this, nullptr);
  g_object_unref(job);
  return true;
}

void PrintWindow::onSent(GtkPrintJob* job, gpointer self, const GError* error) {
  auto* window = static_cast<PrintWindow*>(self);
  window->sending_ = false;
  if (!error) {
    window->outcome_ = Outcome::kPrinted;
    return;
  }
  // GTK's words are the transport's; the scheduler may say more about the
  // queue (it was told to reject jobs meanwhile).
  std::string reason = std::string("the job was not sent: ") + error->message;
  GtkPrinter* printer = gtk_print_job_get_printer(job);
  std::string ignored;
  const std::string name = printer ? gtk_printer_get_name(printer) : "";
  std::string refusal;
  if (const auto queue = printer ? host::describeQueue(name, &ignored) : std::nullopt)
    refusal = host::jobRefusal(*queue);
  // Or the scheduler would not take a document of that size: GTK only
  // says that it gave up sending it.
  std::error_code unknown;
  const std::uintmax_t bytes = fs::file_size(window->document_, unknown);
  if (refusal.empty() && printer && !unknown) refusal = host::documentRefusal(name, bytes);
  if (!refusal.empty()) reason = refusal + " (" + reason + ")";
  // The dialog comes back as the user left it, and says why.
  window->showPrintFailure(reason);
}

nlohmann::ordered_json PrintWindow::tabState() const {
  nlohmann::ordered_json state;
  state["queue"] = queue_;
  state["label"] = gtk_label_get_text(GTK_LABEL(tabLabel_));
  state["bundle"] =
      panel_ ? nlohmann::ordered_json(panel_->dialog->queue()->bundle.filename().string())
             : nlohmann::ordered_json();
  state["notice"] = notice_.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(notice_);
  state["reason"] =
      notice_.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(noticeReason_);
  state["controls"] = panel_ ? nlohmann::ordered_json(panel_->window.identifiers())
                             : nlohmann::ordered_json::array();
  return state;
}

std::optional<fs::path> chooseDocument(const ChooserAnswer& answer, std::string* error) {
  GRef<GtkFileChooserNative> chooser(gtk_file_chooser_native_new(
      "Print with Jobwick", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Print", "_Cancel"));
  GRef<GtkFileFilter> filter(gtk_file_filter_new());
  gtk_file_filter_set_name(filter.get(), "PDF and PostScript");
  gtk_file_filter_add_mime_type(filter.get(), "application/pdf");
  gtk_file_filter_add_mime_type(filter.get(), "application/postscript");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser.get()), filter.get());
  struct Chosen {
    bool done = false;
    std::optional<fs::path> file;
  } chosen;
  g_signal_connect(chooser.get(), "response",
                   G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
                     auto* result = static_cast<Chosen*>(data);
                     if (response == GTK_RESPONSE_ACCEPT) {
                       GRef<GFile> file(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog)));
                       if (char* path = file.get() ? g_file_get_path(file.get()) : nullptr) {
                         result->file = fs::path(path);
                         g_free(path);
                       }
                     }
                     result->done = true;
                   }),
                   &chosen);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser.get()));
  if (answer && !answer(error)) {
    g_signal_handlers_disconnect_by_data(chooser.get(), &chosen);
    gtk_native_dialog_hide(GTK_NATIVE_DIALOG(chooser.get()));
    chosen.done = true;
  }
  while (!chosen.done) g_main_context_iteration(nullptr, TRUE);
  return chosen.file;
}

int reportOutcome(const PrintWindow& window, const std::string& file, bool quiet) {
  switch (window.outcome()) {
    case PrintWindow::Outcome::kPrinted:
      if (!quiet) std::cout << "Printed " << file << " on " << window.queue() << "\n";
      return host::kExitSuccess;
    case PrintWindow::Outcome::kFailed:
      std::cerr << "jobwick: dialog: " << window.error() << "\n";
      return host::kExitFailure;
    default:
      if (!window.exposure().empty() && window.outcome() == PrintWindow::Outcome::kCancelled) {
        std::cerr << "jobwick: dialog: " << window.exposure() << "\n";
        return host::kExitFailure;
      }
      if (window.failures() > 0 && window.outcome() == PrintWindow::Outcome::kCancelled) {
        std::cerr << "jobwick: dialog: " << window.failure() << "; nothing was printed\n";
        return host::kExitFailure;
      }
      if (window.refusals() > 0 && window.outcome() == PrintWindow::Outcome::kCancelled) {
        std::cerr << "jobwick: dialog: the panel refused to print on " << window.queue()
                  << "; nothing was submitted\n";
        return host::kExitProblems;
      }
      std::cerr << "jobwick: dialog: cancelled; nothing was printed\n";
      return host::kExitFailure;
  }
}

}  // namespace jobwick::gtkui
