// SPDX-License-Identifier: Apache-2.0
// The plug-in's alerts in words, as every front end reports them: on one
// line, with whatever came from a printer or a bundle escaped so that it
// can neither forge output lines nor drive the terminal.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/alert.h"

namespace jobwick::host {

/// "TITLE: MESSAGE [BUTTON]" (no "TITLE: " for an untitled alert), the
/// message's line breaks written as " / ", everything escaped (escapeText).
/// Without `withButton` the "[BUTTON]" part is left out. Never fails.
std::string alertText(const platform::Alert& alert, bool withButton = true);

/// {"title", "message", "defaultButton"}: the alert as JSON reports show it.
nlohmann::ordered_json alertJson(const platform::Alert& alert);

/// `text` on one line ("\n" becomes " / "), escaped as escapeText does.
std::string oneLine(std::string text);

}  // namespace jobwick::host
