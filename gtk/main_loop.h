// SPDX-License-Identifier: Apache-2.0
// The run loop inside GLib's main loop while GTK is up, and the plug-in's
// alerts as modal GTK dialogs.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "platform/alert.h"

namespace jobwick::gtkui {

/// Names the program "Jobwick" (the name screen readers and window lists
/// show; GTK takes it when the display opens) and opens GTK's display.
/// False when there is no display.
bool openDisplay();

/// While it lives, the platform run loop waits inside GLib's main loop (so a
/// folder fetch keeps the windows drawing and the spinner turning) and the
/// run loop's timers fire from GLib's loop when nobody pumps the run loop.
/// `beforeWait` runs before each wait (the panel view's sync).
class MainLoopBridge {
 public:
  explicit MainLoopBridge(std::function<void()> beforeWait);
  MainLoopBridge(const MainLoopBridge&) = delete;
  MainLoopBridge& operator=(const MainLoopBridge&) = delete;
  ~MainLoopBridge();

  /// Frames drawn by `widget`'s window since the bridge was made (counted
  /// from the first call on).
  void countFramesOf(GtkWidget* widget);
  unsigned framesDrawn() const { return frames_; }
  /// The frames drawn while the run loop was waiting.
  unsigned framesWhileWaiting() const { return framesWaiting_; }

 private:
  static void afterPaint(GdkFrameClock*, gpointer data);
  std::function<void()> beforeWait_;
  guint timerSource_ = 0;
  GdkFrameClock* clock_ = nullptr;
  gulong paintHandler_ = 0;
  unsigned frames_ = 0;
  unsigned framesWaiting_ = 0;
  bool waiting_ = false;
};

/// Gives up the wait the plug-in is in (a folder fetch, when its dialog is
/// closed): the run loop's runUntilDate answers false after this turn of
/// GLib's loop. Nothing happens when the plug-in is not waiting.
void abandonRunLoopWait();

/// Shows `alert` as a modal message dialog over `parent` and returns when
/// it is dismissed. With `dismiss` set, the dialog's button is pressed as
/// soon as the dialog is on screen (scripted sessions). `type` is the
/// dialog's kind (an error's icon and role for GTK_MESSAGE_ERROR).
void runAlertDialog(GtkWindow* parent, const platform::Alert& alert, bool dismiss,
                    GtkMessageType type = GTK_MESSAGE_INFO);

/// Lets GLib's main loop handle everything pending (events, drawing) and
/// waits until `widget`'s window has drawn a frame (at most `seconds`).
void drainMainLoop(GtkWidget* widget, double seconds);

/// Lets GLib's main loop run until `done()` holds or `seconds` pass (time of
/// the loop, not a measurement). False when the time ran out first.
template <typename Done>
bool pumpMainLoopUntil(Done done, double seconds) {
  const gint64 until = g_get_monotonic_time() + gint64(seconds * G_USEC_PER_SEC);
  while (!done()) {
    if (g_get_monotonic_time() > until) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  return true;
}

}  // namespace jobwick::gtkui
