// SPDX-License-Identifier: Apache-2.0
// The agent's window for one held job: what the job is (document, queue,
// size) and the queue's panel, the same view as the print dialog's tab;
// Print writes the panel's ticket onto the job and releases it, Cancel
// cancels the job.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "gtk/queue_tab.h"
#include "host/cups/held_jobs.h"
#include "host/engine/print_dialog.h"

namespace jobwick::gtkui {

class AgentWindow {
 public:
  enum class Outcome { kOpen, kPrinted, kCancelled, kGone, kDismissed };

  /// A window for `job`; `jobAndUser` is the user (language, preferences
  /// folder) the panel opens with. With `dismissAlerts` the plug-in's alert
  /// dialogs are answered as soon as they show (scripted use).
  AgentWindow(host::HeldJob job, host::DialogSetup jobAndUser, bool dismissAlerts);
  ~AgentWindow();
  AgentWindow(const AgentWindow&) = delete;
  AgentWindow& operator=(const AgentWindow&) = delete;

  /// Opens the queue's panel (restored, with the job's name) and shows the
  /// window. False, with `error` naming the queue and the reason, when the
  /// panel cannot be had.
  bool open(std::string* error);

  /// Hands the panel over to a session (scripted use): Print then asks
  /// `dialog`'s panel, and `content` is shown in its place. Null gives it
  /// back.
  void followSession(host::PrintDialog* dialog, GtkWidget* content);

  /// Presses Print (true) or Cancel (false), as a click would.
  void respond(bool print);
  /// The job was released or cancelled elsewhere: the window closes.
  void jobGone();
  /// Closes the window and leaves the job held, as closing it does; the
  /// message says why when Print was refused.
  void leaveHeld();

  Outcome outcome() const { return outcome_; }
  const host::HeldJob& job() const { return job_; }
  /// What happened, in words ("job Q-12 released with its ticket").
  const std::string& message() const { return message_; }
  /// The times Print was refused (by the panel or the scheduler).
  unsigned refusals() const { return refusals_; }
  GtkWindow* window() const { return GTK_WINDOW(window_); }
  /// The panel's view in the window; null while a session shows its own.
  PanelView* view() const { return tab_ ? tab_->view.get() : nullptr; }

 private:
  static void onPrint(GtkButton*, gpointer self);
  static void onCancel(GtkButton*, gpointer self);
  static gboolean onClose(GtkWindow*, gpointer self);
  void print();
  void cancel();
  void setContent(GtkWidget* child);
  void fail(const std::string& title, const std::string& why);
  /// One of the bundles' common strings in the panel's language.
  std::string text(const std::string& key) const;

  host::HeldJob job_;
  host::DialogSetup jobAndUser_;
  bool dismissAlerts_;
  GtkWidget* window_ = nullptr;
  GtkWidget* content_ = nullptr;
  std::unique_ptr<QueueTab> tab_;
  host::PrintDialog* session_ = nullptr;
  Outcome outcome_ = Outcome::kOpen;
  std::string message_;
  unsigned refusals_ = 0;
};

/// "letter.pdf · Office_MFP · 3 pages · 120 KB": the job in a line, its
/// words through `text` (the user's language).
std::string describeHeldJob(const host::HeldJob& job,
                            const std::function<std::string(const std::string&)>& text);

}  // namespace jobwick::gtkui
