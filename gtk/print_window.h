// SPDX-License-Identifier: Apache-2.0
// The GTK print dialog for a document: the panel of the selected queue's
// plug-in bundle in a tab of its own, and the job printed through
// GtkPrintJob with every job-ticket entry as the print setting "cups-KEY".
#pragma once

#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "gtk/main_loop.h"
#include "gtk/panel_view.h"
#include "gtk/queue_tab.h"
#include "host/cups/cups_queue.h"
#include "host/engine/panel_driver.h"
#include "host/engine/print_dialog.h"

namespace jobwick::gtkui {

/// The GtkPrintSettings entries that carry a job ticket to CUPS: each entry
/// KEY=VALUE as "cups-KEY" with the value as it stands, and
/// job-hold-until no-hold (a job with its ticket is not held for the agent).
std::vector<std::pair<std::string, std::string>> cupsSettingsFor(
    const platform::PrintSettings& ticket);

class PrintWindow {
 public:
  enum class Outcome { kOpen, kPrinted, kCancelled, kFailed };

  /// A print dialog for `document`. `jobAndUser` is the job and the user
  /// (print settings, language, preferences folder) every queue's panel
  /// opens with; the printer comes from the queue. With `dismissAlerts` the
  /// plug-in's alert dialogs are answered as soon as they show (scripted
  /// use).
  PrintWindow(std::filesystem::path document, host::DialogSetup jobAndUser, bool dismissAlerts);
  PrintWindow(const PrintWindow&) = delete;
  PrintWindow& operator=(const PrintWindow&) = delete;
  ~PrintWindow();

  /// Shows the dialog, selecting queue `printer` once the printer list has
  /// it (else the dialog's own choice).
  void present(const std::optional<std::string>& printer);

  /// Hands the panel over to a session (scripted use): from now on the tab
  /// shows what `show` puts there, Print asks `dialog`'s panel, and choosing
  /// another printer no longer swaps the panel. Null gives it back.
  void followSession(host::PrintDialog* dialog);
  /// Puts `child` (or, when null, nothing) into the tab, labelled `label`.
  void setTabContent(GtkWidget* child, const std::string& label);

  /// Picks queue `name` once the dialog lists it and pumps the main loop
  /// until its panel (or, for a queue no bundle serves, the note) shows.
  /// False when that has not happened within `seconds`.
  bool choosePrinter(const std::string& name, double seconds);
  /// The printers the dialog lists, in its order.
  std::vector<std::string> printers() const;
  /// Picks queue `name` in the dialog's printer list as a click on its row
  /// does. False when the list has no such printer.
  bool selectPrinter(const std::string& name);

  /// Presses a button of the dialog: GTK_RESPONSE_OK is Print.
  void respond(int response);
  /// Runs GLib's main loop while a job Print sent is on its way, until GTK
  /// says how it went: printed, or failed (the dialog is then open again,
  /// its error dialog dismissed, and failures() counts it).
  void waitForSending();
  /// Runs GLib's main loop until the dialog is done with.
  Outcome run();

  Outcome outcome() const { return outcome_; }
  /// Why printing failed (kFailed).
  const std::string& error() const { return error_; }
  /// The times a Print went wrong after the panel let the job go (the queue
  /// refused it, or sending it failed): an error dialog said why and the
  /// dialog stayed open with everything entered.
  unsigned failures() const { return failures_; }
  /// Why the last of those failed, naming the queue; empty when none did.
  const std::string& failure() const { return failure_; }
  /// The queue whose panel (or reason) the tab shows; empty before any.
  const std::string& queue() const { return queue_; }
  /// The times the panel refused Print (the dialog stayed open).
  unsigned refusals() const { return refusals_; }
  /// Why the last Print was refused for the queue's privacy (the ticket
  /// carries secrets other users of the queue could read); empty when not.
  const std::string& exposure() const { return exposure_; }
  unsigned alertDialogs() const { return alertDialogs_; }
  bool visible() const;
  GtkWindow* window() const { return GTK_WINDOW(dialog_); }
  /// What the tab shows: {"queue", "label", "bundle" or null, "notice" (the
  /// note for a queue no bundle serves) or null, "reason" (its details) or
  /// null, "controls": identifiers}.
  nlohmann::ordered_json tabState() const;
  /// The panel the tab shows for the selected queue, and its view (not a
  /// session's: see followSession); null when the tab shows none.
  host::PanelWindow* panelWindow() const { return panel_ ? &panel_->window : nullptr; }
  PanelView* panelView() const { return panel_ ? panel_->view.get() : nullptr; }
  /// The job name of the job printed (or to be printed).
  const std::string& jobName() const { return jobName_; }

 private:
  static void onPrinterNotify(GObject*, GParamSpec*, gpointer self);
  static gboolean onResponseEmitted(GSignalInvocationHint*, guint count, const GValue* values,
                                    gpointer self);
  static void onResponse(GtkDialog*, int response, gpointer self);
  static void onSent(GtkPrintJob*, gpointer self, const GError* error);
  static void onTabMapped(GtkWidget*, gpointer self);

  void showQueue(const std::string& name);
  void showNotice(const std::string& why);
  // The dialog's own text `key` in the user's language.
  std::string translated(const std::string& key) const;
  std::unique_ptr<QueueTab> openTab(const std::string& name, std::string* error);
  host::PrintDialog* activeDialog() const;
  void print();
  // Tells the user, in an alert, that the panel could not save its
  // preferences during the last check.
  void warnUnsavedPreferences();
  bool sendJob(const platform::PrintSettings& ticket);
  // Asks the scheduler whether the selected queue takes jobs now; when it
  // does not, says why in an error dialog and answers false.
  bool queueTakesJobs();
  // Tells the user, in an error dialog over the print dialog (which stays
  // open as it was), that the document was not printed and why.
  void showPrintFailure(const std::string& reason);
  // Refuses, with an alert, a ticket whose secrets the selected queue would
  // show other users; true when the job may go.
  bool ticketMayGo(host::PrintDialog& dialog);

  std::filesystem::path document_;
  host::DialogSetup jobAndUser_;
  bool dismissAlerts_;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* tab_ = nullptr;
  GtkWidget* tabLabel_ = nullptr;
  gulong responseHook_ = 0;
  std::unique_ptr<QueueTab> panel_;
  host::PrintDialog* session_ = nullptr;
  bool following_ = false;
  std::string queue_;
  std::string notice_;
  std::string noticeReason_;
  Outcome outcome_ = Outcome::kOpen;
  bool sending_ = false;
  std::string error_;
  std::string jobName_;
  unsigned refusals_ = 0;
  unsigned alertDialogs_ = 0;
  std::string exposure_;
  unsigned failures_ = 0;
  std::string failure_;
};

/// Answers a shown file chooser in place of its user: called once the
/// chooser is up; false, with the reason in `error`, when it cannot.
using ChooserAnswer = std::function<bool(std::string* error)>;

/// A PDF or PostScript file asked for with the GTK file chooser. Answers
/// nullopt when the user chooses none; with `answer` the chooser is
/// answered by it, and nullopt with `error` set means it could not be.
std::optional<std::filesystem::path> chooseDocument(const ChooserAnswer& answer,
                                                    std::string* error);

/// The exit status for how `window` ended, with its message: "Printed FILE
/// on QUEUE" on stdout (unless `quiet`), else the reason on stderr.
int reportOutcome(const PrintWindow& window, const std::string& file, bool quiet);

}  // namespace jobwick::gtkui
