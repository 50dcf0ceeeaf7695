// How a session's user events reach the panel. The headless session sends
// them straight to the controls (panel_driver.h); a windowing host sends them
// to its widgets, which pass them on to the same controls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/commands.h"
#include "host/panel_driver.h"
#include "platform/alert.h"

namespace jobwick::host {

class PrintDialog;

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

/// Runs the session of `invocation` (as `jobwick session`) with the user's
/// events going through `input`. Answers the exit code, as runSession.
int runSessionWith(const Invocation& invocation, SessionInput& input);

}  // namespace jobwick::host
