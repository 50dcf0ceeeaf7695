// SPDX-License-Identifier: Apache-2.0
// The agent's window for one held job.
#include "gtk/agent_window.h"

#include <utility>

#include "gtk/main_loop.h"
#include "host/common/translate.h"
#include "host/engine/agent.h"
#include "host/engine/plugin_loader.h"

namespace jobwick::gtkui {

namespace {

/// `format` with its one "%@" replaced by `argument`.
std::string withArgument(std::string format, const std::string& argument) {
  if (auto at = format.find("%@"); at != std::string::npos) format.replace(at, 2, argument);
  return format;
}

}  // namespace

std::string describeHeldJob(const host::HeldJob& job,
                            const std::function<std::string(const std::string&)>& text) {
  std::string line =
      (job.name.empty() ? withArgument(text("Job %@"), std::to_string(job.id)) : job.name) + " · " +
      job.queue;
  if (job.pages == 1) line += " · " + text("1 page");
  if (job.pages > 1) line += " · " + withArgument(text("%@ pages"), std::to_string(job.pages));
  if (job.kilobytes >= 0) line += " · " + std::to_string(job.kilobytes) + " KB";
  return line;
}

AgentWindow::AgentWindow(host::HeldJob job, host::DialogSetup jobAndUser, bool dismissAlerts)
    : job_(std::move(job)), jobAndUser_(std::move(jobAndUser)), dismissAlerts_(dismissAlerts) {
  window_ = gtk_window_new();
  g_object_ref_sink(window_);
  const std::string title =
      withArgument(text("Print %@"), job_.name.empty() ? job_.queue : job_.name);
  gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
  g_signal_connect(window_, "close-request", G_CALLBACK(onClose), this);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  for (auto side : {&gtk_widget_set_margin_top, &gtk_widget_set_margin_bottom,
                    &gtk_widget_set_margin_start, &gtk_widget_set_margin_end})
    side(box, 12);
  GtkWidget* heading = gtk_label_new(
      describeHeldJob(job_, [this](const std::string& key) { return text(key); }).c_str());
  gtk_label_set_xalign(GTK_LABEL(heading), 0.0f);
  gtk_label_set_wrap(GTK_LABEL(heading), TRUE);
  gtk_widget_add_css_class(heading, "heading");
  gtk_box_append(GTK_BOX(box), heading);
  content_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_vexpand(content_, TRUE);
  gtk_box_append(GTK_BOX(box), content_);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  GtkWidget* cancel = gtk_button_new_with_mnemonic(text("_Cancel Job").c_str());
  GtkWidget* print = gtk_button_new_with_mnemonic(text("_Print").c_str());
  gtk_widget_add_css_class(print, "suggested-action");
  g_signal_connect(cancel, "clicked", G_CALLBACK(onCancel), this);
  g_signal_connect(print, "clicked", G_CALLBACK(onPrint), this);
  gtk_box_append(GTK_BOX(buttons), cancel);
  gtk_box_append(GTK_BOX(buttons), print);
  gtk_box_append(GTK_BOX(box), buttons);
  gtk_window_set_child(GTK_WINDOW(window_), box);
  gtk_window_set_default_widget(GTK_WINDOW(window_), print);
}

AgentWindow::~AgentWindow() {
  setContent(nullptr);
  tab_.reset();
  gtk_window_destroy(GTK_WINDOW(window_));
  g_object_unref(window_);
}

bool AgentWindow::open(std::string* error) {
  host::DialogSetup setup = jobAndUser_;
  // The job's own name is the job name the panel shows, as the ticket
  // reader takes it from the print settings.
  platform::PrintSettings settings = setup.initialSettings.value_or(platform::PrintSettings());
  if (!settings.jobName() && !job_.name.empty()) settings.setJobName(job_.name);
  setup.initialSettings = std::move(settings);
  setup.alertListener = [this](const platform::Alert& alert) {
    if (outcome_ == Outcome::kOpen) runAlertDialog(window(), alert, dismissAlerts_);
  };
  auto tab = openQueueTab(job_.queue, setup, error);
  if (!tab) return false;
  tab_ = std::move(tab);
  setContent(tab_->view->widget());
  gtk_window_present(window());
  tab_->dialog->panel().willShow();
  return true;
}

std::string AgentWindow::text(const std::string& key) const {
  return bundleText(key, jobAndUser_.language);
}

void AgentWindow::followSession(host::PrintDialog* dialog, GtkWidget* content) {
  session_ = dialog;
  setContent(content ? content : (tab_ ? tab_->view->widget() : nullptr));
}

void AgentWindow::setContent(GtkWidget* child) {
  while (GtkWidget* old = gtk_widget_get_first_child(content_))
    gtk_box_remove(GTK_BOX(content_), old);
  if (child) gtk_box_append(GTK_BOX(content_), child);
}

void AgentWindow::respond(bool print) {
  if (print) {
    this->print();
  } else {
    cancel();
  }
}

void AgentWindow::jobGone() {
  if (outcome_ != Outcome::kOpen) return;
  outcome_ = Outcome::kGone;
  message_ = host::trf("job %1 was released or cancelled elsewhere",
                       {job_.queue + "-" + std::to_string(job_.id)});
  gtk_widget_set_visible(window_, FALSE);
}

void AgentWindow::fail(const std::string& title, const std::string& why) {
  ++refusals_;
  message_ = why;
  platform::Alert alert;
  alert.title = title;
  alert.message = why;
  alert.defaultButton = text("OK");
  runAlertDialog(window(), alert, dismissAlerts_);
}

void AgentWindow::print() {
  if (outcome_ != Outcome::kOpen) return;
  host::PrintDialog* dialog = session_ ? session_ : (tab_ ? tab_->dialog.get() : nullptr);
  if (!dialog || !tab_) return;
  platform::PDEPanel& panel = *dialog->panels().front();
  panel.saveValuesAndReturnError(nullptr);
  if (!panel.shouldPrint()) {
    // The panel has shown its alert; the window stays as the user left it.
    ++refusals_;
    message_ = host::trf("job %1 stays held: %2", {job_.queue + "-" + std::to_string(job_.id),
                                                   host::tr("the panel refused to print")});
    return;
  }
  std::string message;
  const host::AgentOutcome outcome =
      host::releaseHeldJob(job_, tab_->dialog->queue()->queue, dialog->host().settings(), &message);
  if (outcome != host::AgentOutcome::kPrinted) {
    fail(text("Job not released"), message);
    return;
  }
  message_ = message;
  outcome_ = Outcome::kPrinted;
  gtk_widget_set_visible(window_, FALSE);
}

void AgentWindow::cancel() {
  if (outcome_ != Outcome::kOpen) return;
  std::string error;
  if (!host::cancelHeldJob(job_, &error)) {
    fail(text("Job not cancelled"), error);
    return;
  }
  message_ = host::trf("job %1 cancelled", {job_.queue + "-" + std::to_string(job_.id)});
  outcome_ = Outcome::kCancelled;
  gtk_widget_set_visible(window_, FALSE);
}

void AgentWindow::onPrint(GtkButton*, gpointer self) {
  static_cast<AgentWindow*>(self)->print();
}

void AgentWindow::onCancel(GtkButton*, gpointer self) {
  static_cast<AgentWindow*>(self)->cancel();
}

gboolean AgentWindow::onClose(GtkWindow*, gpointer self) {
  static_cast<AgentWindow*>(self)->leaveHeld();
  return TRUE;
}

void AgentWindow::leaveHeld() {
  // The job waits for the agent's next run (or the scheduler's
  // MaxHoldTime).
  if (outcome_ == Outcome::kOpen) {
    outcome_ = Outcome::kDismissed;
    // After a refusal the message says why (and names the job) already.
    if (refusals_ == 0)
      message_ = host::trf("job %1 left held", {job_.queue + "-" + std::to_string(job_.id)});
  }
  gtk_widget_set_visible(window_, FALSE);
}

}  // namespace jobwick::gtkui
