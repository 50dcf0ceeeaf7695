// SPDX-License-Identifier: Apache-2.0
// The plug-in's alerts in words.
#include "host/common/alert_text.h"

#include "host/common/escape.h"

namespace jobwick::host {

std::string oneLine(std::string text) {
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos;)
    text.replace(at, 1, " / ");
  return escapeText(text);
}

std::string alertText(const platform::Alert& alert, bool withButton) {
  std::string line =
      (alert.title.empty() ? "" : escapeText(alert.title) + ": ") + oneLine(alert.message);
  if (withButton) line += " [" + escapeText(alert.defaultButton) + "]";
  return line;
}

nlohmann::ordered_json alertJson(const platform::Alert& alert) {
  return {
      {"title", alert.title}, {"message", alert.message}, {"defaultButton", alert.defaultButton}};
}

}  // namespace jobwick::host
