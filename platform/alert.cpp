// SPDX-License-Identifier: Apache-2.0
// Informational alerts: recorded always, shown through the host's presenter.
#include "platform/alert.h"

namespace platform {
namespace {

AlertPresenter& presenter() {
  static AlertPresenter instance;
  return instance;
}

std::vector<Alert>& alerts() {
  static std::vector<Alert> instance;
  return instance;
}

}  // namespace

void setAlertPresenter(AlertPresenter newPresenter) {
  presenter() = std::move(newPresenter);
}

void NSRunInformationalAlertPanel(const std::string& title, const std::string& message,
                                  const std::string& defaultButton, const std::string& detail) {
  Alert alert{title, message, defaultButton, detail};
  alerts().push_back(alert);
  // A copy, so a presenter that replaces itself while showing stays alive.
  const AlertPresenter show = presenter();
  if (show) show(alert);
}

const std::vector<Alert>& shownAlerts() {
  return alerts();
}

void clearShownAlerts() {
  alerts().clear();
}

}  // namespace platform
