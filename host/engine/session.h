// SPDX-License-Identifier: Apache-2.0
// Dialog sessions: a session script's steps taken in a print dialog's panel
// as a person (or the dialog) would, each step reported as it runs, and the
// print settings the panel leaves. `jobwick session`, `jobwick print
// --session` and jobwick-dialog's scripted runs are front ends over this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/common/exit_status.h"
#include "host/cups/cups_queue.h"
#include "host/engine/panel_driver.h"
#include "host/engine/print_dialog.h"
#include "host/engine/session_script.h"
#include "platform/alert.h"

namespace jobwick::host {

/// How a session's user events reach the panel. The headless session sends
/// them straight to the controls (panel_driver.h); a windowing host sends
/// them to its widgets, which pass them on to the same controls.
class SessionInput {
 public:
  virtual ~SessionInput() = default;
  /// A print dialog has been opened for the session (again after a reopen);
  /// it lives until the session ends or reopens.
  virtual void dialogOpened(PrintDialog& dialog) {}
  /// The panel's view has just been put into `window` (once per dialog).
  virtual void attached(PanelWindow& window) {}
  /// The window is about to go (a reopen, the end of the session).
  virtual void detaching() {}
  /// A step is over: whatever the plug-in changed is to be shown.
  virtual void stepDone() {}
  /// The plug-in showed an alert (it is already recorded).
  virtual void alertShown(const platform::Alert& alert) {}
  /// The last step ran; the window is still there. Answers false (with
  /// the reason in `error`) when the host's own output cannot be made.
  virtual bool finished(PanelWindow& window, std::string* error) { return true; }

  // The user events; each answers what the control did with it.
  virtual EventOutcome click(const ControlRef& control) { return clickControl(control); }
  virtual EventOutcome type(const ControlRef& control, std::string_view text,
                            platform::Window* window) {
    return typeInto(control, text, window);
  }
  virtual EventOutcome paste(const ControlRef& control, std::string_view text,
                             platform::Window* window) {
    return pasteInto(control, text, window);
  }
  virtual EventOutcome clear(const ControlRef& control, platform::Window* window) {
    return clearField(control, window);
  }
  virtual EventOutcome erase(const ControlRef& control, std::size_t count,
                             platform::Window* window) {
    return deleteBackward(control, count, window);
  }
  virtual EventOutcome choose(const ControlRef& control, std::optional<std::int64_t> index,
                              const std::optional<std::string>& title) {
    return chooseIn(control, index, title);
  }
};

/// What a front end puts over a session script's own printer, job and user.
/// Unset members leave the script's choice (or the default) in place.
struct SessionOptions {
  std::optional<std::string> bundle;  ///< path or bare model name
  std::optional<std::filesystem::path> ppd;
  /// The bytes of `ppd`, when already read (DialogSetup::ppdText).
  std::shared_ptr<const platform::PPDText> ppdText;
  std::optional<std::string> printerId;
  std::optional<std::string> deviceURI;
  bool noConstraintHandling = false;
  std::optional<std::filesystem::path> settingsFile;
  /// Single settings (key, value), applied after the settings file.
  std::vector<std::pair<std::string, std::string>> settingOverrides;
  /// Settings saved for the printer outside the dialog (a CUPS queue's
  /// defaults and lpoptions entries): the print settings start from them,
  /// under the script's own settings, the settings file and the single
  /// settings, so the panel restores them as the job's own.
  std::vector<std::pair<std::string, std::string>> savedSettings;
  std::optional<std::string> language;
  /// The user's preferences folder; without it (and without the script's
  /// "prefsDir") a session starts in an empty temporary one.
  std::optional<std::filesystem::path> prefsDir;
  /// Where the final print settings are written (JSON), if anywhere.
  std::optional<std::filesystem::path> saveSettings;
};

/// Where a session reports: each step on `out` as it runs (or one JSON
/// document with `json`), messages on `err`. `command` names the front end
/// in error messages ("session", "print").
struct SessionReport {
  std::ostream& out;
  std::ostream& err;
  bool json = false;
  std::string_view command = "session";
};

/// Runs `script` with `options` over it, the user's events going through
/// `input`, and reports on `report`. With `pressPrint`, Print is pressed
/// after the last step (when every step ran and every expectation held) and
/// its verdict stored there. Answers the exit status: success, failure (an
/// expectation failed, the bundle or PPD cannot be used), badInput (a
/// settings file cannot be read, the script cannot run as written).
ExitStatus runSession(SessionScript script, const SessionOptions& options,
                      const SessionReport& report, SessionInput& input,
                      PrintVerdict* pressPrint = nullptr);

/// `jobAndUser` with the printer of CUPS queue `target`: its bundle, its
/// PPD (the file `target` holds), the queue name as printer id and its
/// device URI. An unset preferences folder becomes the user's own (not a
/// temporary one: a print remembers what the user locked). Never fails.
SessionOptions sessionOptionsForQueue(const QueueTarget& target, SessionOptions jobAndUser);

/// The session of `jobwick print` for CUPS queue `target`: `script`'s steps
/// (or, without one, the restore of the job's print settings), then Print.
/// The printer is the queue (setupForQueue); the job and user come from
/// `jobAndUser`, whose unset preferences folder means the user's own (not a
/// temporary one: a print remembers what the user locked). Step reports go
/// nowhere; errors go to `err` as "jobwick: COMMAND: ...". Answers the exit
/// status of the session; `verdict` is filled only on success.
ExitStatus runPanelForQueue(const QueueTarget& target, std::optional<SessionScript> script,
                            SessionOptions jobAndUser, const SessionReport& errors,
                            PrintVerdict* verdict);

}  // namespace jobwick::host
