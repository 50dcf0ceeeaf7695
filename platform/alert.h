// SPDX-License-Identifier: Apache-2.0
// Modal informational alerts. The host installs a presenter that shows the
// alert and returns when the user dismissed it; without one, alerts are
// only recorded.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct Alert {
  std::string title;
  std::string message;
  std::string defaultButton;
  /// Why it happened, in words, when the caller knows (shown below the
  /// message); empty when not.
  std::string detail;
};

using AlertPresenter = std::function<void(const Alert&)>;

/// Installs the presenter (an empty function restores the recording one).
void setAlertPresenter(AlertPresenter presenter);

/// Shows an informational alert with one button and waits until it is
/// dismissed. `message` is used as it stands (callers format it first).
/// `detail`, when given, says why (see Alert::detail).
void NSRunInformationalAlertPanel(const std::string& title, const std::string& message,
                                  const std::string& defaultButton,
                                  const std::string& detail = std::string());

/// Every alert shown in this process, oldest first (for hosts and tests).
const std::vector<Alert>& shownAlerts();
void clearShownAlerts();

}  // namespace platform
