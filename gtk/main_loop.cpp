// SPDX-License-Identifier: Apache-2.0
// The run loop inside GLib's main loop.
#include "gtk/main_loop.h"

#include <glib-unix.h>
#include <poll.h>

#include <vector>

#include "platform/run_loop.h"

namespace jobwick::gtkui {

bool openDisplay() {
  if (!g_get_prgname()) g_set_prgname("jobwick-dialog");
  g_set_application_name("Jobwick");
  return gtk_init_check();
}
namespace {

struct Wait {
  bool woken = false;
};

// Set while the plug-in's wait is being given up (abandonRunLoopWait).
bool abandoning = false;
// Waits of the plug-in now running (nested when an alert waits in one).
int waits = 0;

gboolean wake(gpointer data) {
  static_cast<Wait*>(data)->woken = true;
  return G_SOURCE_REMOVE;
}

gboolean fdReady(gint, GIOCondition, gpointer data) {
  static_cast<Wait*>(data)->woken = true;
  return G_SOURCE_REMOVE;
}

GIOCondition conditionFor(short events) {
  int condition = G_IO_ERR | G_IO_HUP;
  if (events & POLLIN) condition |= G_IO_IN | G_IO_PRI;
  if (events & POLLOUT) condition |= G_IO_OUT;
  return GIOCondition(condition);
}

/// Waits for the descriptors or the time-out while GLib's loop runs.
int waitInMainLoop(pollfd* fds, nfds_t count, int timeoutMs) {
  GMainContext* context = g_main_context_default();
  Wait wait;
  std::vector<guint> sources;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].fd < 0) continue;
    sources.push_back(g_unix_fd_add_full(G_PRIORITY_DEFAULT, fds[i].fd, conditionFor(fds[i].events),
                                         fdReady, &wait, nullptr));
  }
  sources.push_back(g_timeout_add_full(G_PRIORITY_DEFAULT, guint(timeoutMs < 0 ? 0 : timeoutMs),
                                       wake, &wait, nullptr));
  ++waits;
  while (!wait.woken && !abandoning) g_main_context_iteration(context, TRUE);
  --waits;
  abandoning = false;
  for (guint id : sources) {
    if (GSource* source = g_main_context_find_source_by_id(context, id)) g_source_destroy(source);
  }
  return ::poll(fds, count, 0);
}

}  // namespace

void abandonRunLoopWait() {
  if (waits == 0) return;
  platform::RunLoop::currentRunLoop().stop();
  abandoning = true;
}

MainLoopBridge::MainLoopBridge(std::function<void()> beforeWait)
    : beforeWait_(std::move(beforeWait)) {
  platform::setRunLoopWaiter([this](pollfd* fds, nfds_t count, int timeoutMs) {
    if (beforeWait_) beforeWait_();
    const bool was = waiting_;
    waiting_ = true;
    const int rc = waitInMainLoop(fds, count, timeoutMs);
    waiting_ = was;
    return rc;
  });
  // Timers the plug-in schedules while nobody pumps the run loop.
  timerSource_ = g_timeout_add(
      20,
      [](gpointer data) -> gboolean {
        auto* self = static_cast<MainLoopBridge*>(data);
        if (self->waiting_) return G_SOURCE_CONTINUE;
        if (platform::RunLoop::currentRunLoop().timerCount() > 0) {
          platform::RunLoop::currentRunLoop().runUntilDate(platform::monotonicNow());
          if (self->beforeWait_) self->beforeWait_();
        }
        return G_SOURCE_CONTINUE;
      },
      this);
}

MainLoopBridge::~MainLoopBridge() {
  platform::setRunLoopWaiter({});
  if (timerSource_) g_source_remove(timerSource_);
  if (clock_ && paintHandler_) g_signal_handler_disconnect(clock_, paintHandler_);
  if (clock_) g_object_unref(clock_);
}

void MainLoopBridge::afterPaint(GdkFrameClock*, gpointer data) {
  auto* self = static_cast<MainLoopBridge*>(data);
  ++self->frames_;
  if (self->waiting_) ++self->framesWaiting_;
}

void MainLoopBridge::countFramesOf(GtkWidget* widget) {
  if (clock_) return;
  GdkFrameClock* clock = gtk_widget_get_frame_clock(widget);
  if (!clock) return;
  clock_ = GDK_FRAME_CLOCK(g_object_ref(clock));
  paintHandler_ = g_signal_connect(clock_, "after-paint", G_CALLBACK(afterPaint), this);
}

void runAlertDialog(GtkWindow* parent, const platform::Alert& alert, bool dismiss,
                    GtkMessageType type) {
  GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, GTK_BUTTONS_NONE, "%s",
                                             alert.title.c_str());
  if (alert.title.empty() && !alert.detail.empty()) {
    // The alert's own text leads; why it happened comes below it.
    g_object_set(dialog, "text", alert.message.c_str(), nullptr);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             alert.detail.c_str());
  } else {
    const std::string text =
        alert.detail.empty() ? alert.message : alert.message + "\n\n" + alert.detail;
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", text.c_str());
  }
  gtk_dialog_add_button(GTK_DIALOG(dialog),
                        alert.defaultButton.empty() ? "OK" : alert.defaultButton.c_str(),
                        GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  bool done = false;
  g_signal_connect(
      dialog, "response",
      G_CALLBACK(+[](GtkDialog*, int, gpointer data) { *static_cast<bool*>(data) = true; }), &done);
  if (dismiss) {
    // Press the button once the dialog is drawn, as a person would.
    g_signal_connect(dialog, "map", G_CALLBACK(+[](GtkWidget* self, gpointer) {
                       g_timeout_add(
                           50,
                           [](gpointer d) -> gboolean {
                             gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
                             return G_SOURCE_REMOVE;
                           },
                           self);
                     }),
                     nullptr);
  }
  gtk_window_present(GTK_WINDOW(dialog));
  while (!done) g_main_context_iteration(nullptr, TRUE);
  gtk_window_destroy(GTK_WINDOW(dialog));
}

void drainMainLoop(GtkWidget* widget, double seconds) {
  GdkFrameClock* clock = widget ? gtk_widget_get_frame_clock(widget) : nullptr;
  bool painted = clock == nullptr;
  gulong handler = 0;
  if (clock) {
    handler = g_signal_connect(
        clock, "after-paint",
        G_CALLBACK(+[](GdkFrameClock*, gpointer d) { *static_cast<bool*>(d) = true; }), &painted);
    gtk_widget_queue_draw(widget);
  }
  // A tick, so that the wait below never outlasts `seconds`.
  const guint tick = g_timeout_add(
      10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  const double until = platform::monotonicNow() + seconds;
  while (platform::monotonicNow() < until) {
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    if (painted) break;
    g_main_context_iteration(nullptr, TRUE);
  }
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  g_source_remove(tick);
  if (clock) g_signal_handler_disconnect(clock, handler);
}

}  // namespace jobwick::gtkui
