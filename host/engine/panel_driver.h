// SPDX-License-Identifier: Apache-2.0
// Driving a loaded panel as a person would: the panel's view in a window (so
// that keyboard focus works), its controls found by identifier, user events
// sent through the controls' own entry points (so that input filters and
// actions run), and the state of every control as JSON.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/controls.h"
#include "platform/pde.h"

namespace jobwick::host {

/// A control found by identifier: a view, or a cell of a matrix.
struct ControlRef {
  platform::View* view = nullptr;  ///< the view (null for a cell)
  platform::ButtonCell* cell = nullptr;
  platform::Matrix* matrix = nullptr;  ///< the matrix of a cell
  std::int64_t row = -1;               ///< the row of a cell
};

/// What a user event did.
struct EventOutcome {
  enum class Status { kDone, kPartial, kRefused };
  Status status = Status::kDone;
  std::string message;       ///< why it was refused, or what was only partly taken
  std::size_t accepted = 0;  ///< characters taken (type)
  std::size_t offered = 0;   ///< characters offered (type)
};

/// "done", "partial" or "refused".
const char* statusName(EventOutcome::Status status);

/// The panel's view hierarchy in a window of its own.
class PanelWindow {
 public:
  PanelWindow() = default;
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;
  /// Releases the window (and its reference to the view).
  ~PanelWindow();

  /// Asks the panel for its view (loading it when needed, as a dialog does
  /// before showing a panel) and makes it the window's content. Answers
  /// false when the panel has no view. Calling it again changes nothing.
  bool attach(platform::PDEPanel& panel);
  /// Releases the window; call before the panel goes.
  void detach();
  bool attached() const { return window_ != nullptr; }

  platform::Window* window() const { return window_.get(); }
  platform::View* root() const { return root_; }

  /// The control with this identifier: a view of the hierarchy or a cell
  /// of one of its matrices. nullopt when there is none.
  std::optional<ControlRef> find(std::string_view identifier) const;
  /// Every identifier of the hierarchy (views and cells), in order.
  std::vector<std::string> identifiers() const;

  /// The state of one control (see dumpPanel for the members).
  nlohmann::ordered_json dumpControl(const ControlRef& control) const;
  /// Every control with an identifier, in hierarchy order, and the focus:
  /// {"focus": identifier or null, "controls": [...]}.
  nlohmann::ordered_json dumpPanel() const;

 private:
  std::unique_ptr<platform::Window> window_;
  platform::View* root_ = nullptr;
};

// Secrets. Which controls hold one is the interface file's word (a text
// field marked "secure"); every report and view of a panel masks their text
// the same way, one bullet per character as the fields count characters
// (UTF-16 units).

/// Whether `control` holds a secret: a text field its interface file marks
/// secure.
bool isSecret(const ControlRef& control);

/// Whether the control `identifier` of `window` holds a secret; false when
/// there is no such control or no view yet.
bool isSecret(const PanelWindow& window, std::string_view identifier);

/// One bullet (U+2022) per UTF-16 unit of `text`.
std::string maskedText(std::string_view text);

/// Masks the "text" of every secret control in `dump` (the shape of
/// PanelWindow::dumpPanel) and marks it "masked": true.
void maskSecrets(const PanelWindow& window, nlohmann::ordered_json& dump);

/// Up to `limit` identifiers from `candidates` that look like `name`
/// (small edit distance, or one contains the other), closest first.
std::vector<std::string> closeMatches(std::string_view name,
                                      const std::vector<std::string>& candidates,
                                      std::size_t limit = 4);

// User events. Each refuses, with the reason in the outcome, what the control
// would refuse (disabled, hidden, not editable, an edit the input filter
// turns down); nothing is forced.

/// A click: a button is pressed, a matrix cell is chosen in its matrix.
EventOutcome clickControl(const ControlRef& control);
/// Typing into a text field, character by character through its filter.
/// The field first takes the keyboard focus, as when the user clicks into it.
EventOutcome typeInto(const ControlRef& control, std::string_view text, platform::Window* window);
/// Pasting `text` at the end of a text field as one edit.
EventOutcome pasteInto(const ControlRef& control, std::string_view text, platform::Window* window);
/// Selecting all of a field's text and deleting it.
EventOutcome clearField(const ControlRef& control, platform::Window* window);
/// Pressing the delete key `count` times.
EventOutcome deleteBackward(const ControlRef& control, std::size_t count, platform::Window* window);
/// Choosing a matrix row, a pop-up item or a tab by index or by title.
EventOutcome chooseIn(const ControlRef& control, std::optional<std::int64_t> index,
                      const std::optional<std::string>& title);

}  // namespace jobwick::host
